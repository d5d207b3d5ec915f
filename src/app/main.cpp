#include <csignal>
#include <cstdio>

#include "app/dialogue.hpp"
#include "base/run_error.hpp"

namespace {
#ifdef KELMAR_REFERENCE_RESIDUAL
// Only the tests build this: the fit on the reference residual, for whole runs compared byte
// for byte with the program's own.
constexpr ResidualEvaluation residualEvaluation = ResidualEvaluation::Reference;
#else
constexpr ResidualEvaluation residualEvaluation = ResidualEvaluation::Incremental;
#endif
}  // namespace

int main() {
    // Every console line is complete when it is written, so a run that ends early still
    // shows everything it said before.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // A console that goes away (a closed pipe) is a failed write like any other, reported
    // with its error code, not a silent death by signal.
    std::signal(SIGPIPE, SIG_IGN);
    enableFloatingPointTraps();
    return runDialogue(residualEvaluation);
}
