// Floating-point faults end the run with their run-time error numbers.

#include <gtest/gtest.h>

#include <cmath>

#include "base/real80.hpp"
#include "base/run_error.hpp"

namespace {

volatile Real80 zero = 0;
volatile Real80 huge = 1e4900L;
volatile Real80 sink = 0;

void divideByZero() {
    enableFloatingPointTraps();
    sink = 1 / zero;
}

void zeroByZero() {
    enableFloatingPointTraps();
    sink = zero / zero;
}

void overflow() {
    enableFloatingPointTraps();
    sink = huge * huge;
}

TEST(FloatingPointTraps, EachFaultEndsTheRunWithItsNumber) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(divideByZero(), ::testing::ExitedWithCode(200), "division by zero");
    EXPECT_EXIT(zeroByZero(), ::testing::ExitedWithCode(207), "invalid floating-point operation");
    EXPECT_EXIT(overflow(), ::testing::ExitedWithCode(205), "overflow");
}

TEST(FloatingPointTraps, UnderflowAndInexactResultsAreNotFaults) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            enableFloatingPointTraps();
            sink = 1e-4900L * 1e-4900L;
            sink = 1.0L / 3.0L;
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
