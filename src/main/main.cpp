#include <csignal>
#include <cstdio>

#include "main/run.hpp"
#include "main/run_error.hpp"

int main() {
    // Every console line is complete when it is written, so a run that ends early still
    // shows everything it said before.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // A console that goes away (a closed pipe) is a failed write like any other, reported
    // with its error code, not a silent death by signal.
    std::signal(SIGPIPE, SIG_IGN);
    enableFloatingPointTraps();
    return runProgram();
}
