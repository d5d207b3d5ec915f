#include <csignal>
#include <cstdio>

#include "app/commands.hpp"
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

int main(int argc, char** argv) {
    // Every console line is complete when it is written, so a run that ends early still
    // shows everything it said before.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // A console that goes away (a closed pipe) is a failed write like any other, reported
    // with its error code, not a silent death by signal.
    std::signal(SIGPIPE, SIG_IGN);
    if (argc > 1) return runCommandLine(argc, argv);
    // The dialogue's arithmetic never carries an infinity or a NaN: the processor traps them.
    enableFloatingPointTraps();
    return runDialogue(residualEvaluation);
}
