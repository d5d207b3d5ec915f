#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>

#include "app/commands.hpp"
#include "app/dialogue.hpp"
#include "base/output_set.hpp"
#include "base/run_error.hpp"

namespace {
#ifdef KELMAR_REFERENCE_RESIDUAL
// Only the tests build this: the fit on the reference residual, for whole runs compared byte
// for byte with the program's own.
constexpr ResidualEvaluation residualEvaluation = ResidualEvaluation::Reference;
#else
constexpr ResidualEvaluation residualEvaluation = ResidualEvaluation::Incremental;
#endif

// Status of a failure the program did not foresee (sysexits' internal software error).
constexpr int unexpectedFailure = 70;

/// The last resort: anything thrown that nothing handled becomes one sentence and a status.
[[noreturn]] void endUnexpectedly(const std::string& what) {
    removePendingTemporaries();
    std::fflush(stdout);
    std::fprintf(stderr, "kelmar: the run ended on an unexpected failure (%s); files being written were left as they were\n",
                 printableText(what).c_str());
    std::fflush(stderr);
    std::_Exit(unexpectedFailure);
}

[[noreturn]] void onTerminate() {
    try {
        if (std::exception_ptr thrown = std::current_exception()) std::rethrow_exception(thrown);
    } catch (const std::bad_alloc&) {
        endUnexpectedly("out of memory");
    } catch (const std::exception& error) {
        endUnexpectedly(error.what());
    } catch (...) {
    }
    endUnexpectedly("an unknown error");
}

int run(int argc, char** argv) {
    if (argc > 1) {
        setRuntimeErrorLine(false);
        return runCommandLine(argc, argv);
    }
    // The dialogue's arithmetic never carries an infinity or a NaN: the processor traps them.
    enableFloatingPointTraps();
    return runDialogue(residualEvaluation);
}

}  // namespace

int main(int argc, char** argv) {
    // Every console line is complete when it is written, so a run that ends early still
    // shows everything it said before.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // A console that goes away (a closed pipe) is a failed write like any other, reported
    // with its error code, not a silent death by signal.
    std::signal(SIGPIPE, SIG_IGN);
    installInterruptCleanup();
    std::set_terminate(onTerminate);
    int status = 0;
    try {
        status = run(argc, argv);
    } catch (const std::bad_alloc&) {
        endUnexpectedly("out of memory");
    } catch (const std::exception& error) {
        endUnexpectedly(error.what());
    } catch (...) {
        endUnexpectedly("an unknown error");
    }
    finishStandardStreams(KELMAR_HERE);
    return status;
}
