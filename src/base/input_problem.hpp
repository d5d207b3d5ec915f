#pragma once
/// Why an input cannot be used, as the layers below the program return it: the exit status and
/// the one plain sentence the program ends with. Only the program turns it into the end of a run.

#include <string>
#include <utility>
#include <variant>

/// An input the program rejects: `status` is one of exitStatus (base/run_error.hpp), `sentence`
/// says what is wrong and where, as standard error shows it.
struct InputProblem {
    int status = 0;
    std::string sentence;
};

/// What a reader gives: the value it read, or the problem that stopped it.
template <typename Value>
class InputResult {
public:
    InputResult(Value value) : held_(std::move(value)) {}
    InputResult(InputProblem problem) : held_(std::move(problem)) {}

    /// True when the input could be used.
    bool hasValue() const { return held_.index() == 0; }
    /// The value read; only when hasValue().
    Value& value() { return std::get<0>(held_); }
    const Value& value() const { return std::get<0>(held_); }
    /// The problem; only when !hasValue().
    const InputProblem& problem() const { return std::get<1>(held_); }

private:
    std::variant<Value, InputProblem> held_;
};
