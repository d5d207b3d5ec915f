#pragma once
// What every fuzz target shares: failures throw instead of ending the process, and the
// floating-point faults the program traps are trapped while a reader runs, so that one of
// them would show up as a crash.

#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <type_traits>

#include "base/input_problem.hpp"
#include "base/run_error.hpp"

namespace fuzzing {

constexpr int trappedFaults = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;

inline void prepare() { setFailureMode(FailureMode::ThrowRunEnded); }

/// A problem a reader gives back must carry the status of unusable data and a sentence.
inline void requireSound(const InputProblem& problem) {
    if (problem.status != exitStatus::dataError || problem.sentence.empty()) std::abort();
}

/// The problem a reader gave back, or null when it read the input.
inline const InputProblem* problemIn(const std::optional<InputProblem>& given) { return given ? &*given : nullptr; }
template <typename Value>
const InputProblem* problemIn(const InputResult<Value>& given) {
    return given.hasValue() ? nullptr : &given.problem();
}

/// The result, its value kept in `into` when it has one.
template <typename Value>
InputResult<Value> keep(InputResult<Value> result, Value& into) {
    if (result.hasValue()) into = result.value();
    return result;
}

/// Runs `read`; a rejected input (a problem given back, or RunEnded for a run-time error) is a
/// normal outcome. True when it was accepted.
template <typename Read>
bool accepted(Read&& read) {
    std::feclearexcept(FE_ALL_EXCEPT);
    feenableexcept(trappedFaults);
    bool ok = true;
    try {
        if constexpr (std::is_void_v<std::invoke_result_t<Read&>>) {
            read();
        } else if (const auto given = read(); const InputProblem* problem = problemIn(given)) {
            requireSound(*problem);
            ok = false;
        }
    } catch (const RunEnded& ended) {
        ok = false;
        // Only the statuses the program documents may end a run.
        if (!(ended.status == runtimeError::invalidNumber || ended.status == exitStatus::dataError ||
              ended.status == exitStatus::usage)) {
            std::abort();
        }
        if (ended.sentence.empty()) std::abort();
    }
    fedisableexcept(trappedFaults);
    return ok;
}

/// A stored value must be a finite number: the readers never invent infinities or NaN.
inline void requireFinite(long double value) {
    if (!std::isfinite(value)) std::abort();
}

}  // namespace fuzzing
