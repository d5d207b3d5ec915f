#pragma once
/// The end of a run on a problem that a layer below gave back: the only place where a rejected
/// input becomes an exit status and a sentence on standard error.

#include <utility>

#include "base/input_problem.hpp"
#include "base/run_error.hpp"

/// Ends the run with the problem's status and sentence.
[[noreturn]] inline void failOnProblem(const InputProblem& problem) { failInput(problem.status, problem.sentence); }

/// The value of `result`, or the end of the run on its problem.
template <typename Value>
Value valueOrFail(InputResult<Value> result) {
    if (!result.hasValue()) failOnProblem(result.problem());
    return std::move(result.value());
}
