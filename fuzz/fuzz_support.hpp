#pragma once
// What every fuzz target shares: failures throw instead of ending the process, and the
// floating-point faults the program traps are trapped while a reader runs, so that one of
// them would show up as a crash.

#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <functional>

#include "base/run_error.hpp"

namespace fuzzing {

constexpr int trappedFaults = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;

inline void prepare() { setFailureMode(FailureMode::ThrowRunEnded); }

/// Runs `read`; a rejected input (RunEnded) is a normal outcome. True when it was accepted.
inline bool accepted(const std::function<void()>& read) {
    std::feclearexcept(FE_ALL_EXCEPT);
    feenableexcept(trappedFaults);
    bool ok = true;
    try {
        read();
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
