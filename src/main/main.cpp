#include <cstdio>

#include "main/run.hpp"
#include "main/run_error.hpp"

int main() {
    // Every console line is complete when it is written, so a run that ends early still
    // shows everything it said before.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    enableFloatingPointTraps();
    return runProgram();
}
