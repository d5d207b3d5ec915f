#include "model/primitives.hpp"

#include <cmath>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "base/constants.hpp"

namespace {

// A coordinate whose square is exactly the Real80 1e-20: the distance guard's boundary.
constexpr Real80 rootOfDistanceGuard = 0xd.be6fecebdedd5bfp-37L;
// Two differences whose squares add up to exactly the Real80 1e-50: the line guard's boundary.
constexpr Real80 lineGuardDx = 0xa.f12377ee2039bdap-87L;
constexpr Real80 lineGuardDy = 0xa.f12377ee2039c14p-87L;

struct DistanceRow {
    std::string name;
    Real80 x1, y1, x2, y2;
    Real80 expected;
};

void PrintTo(const DistanceRow& row, std::ostream* os) { *os << row.name; }

class PointDistanceTest : public ::testing::TestWithParam<DistanceRow> {};

TEST_P(PointDistanceTest, GivesDistanceAndIsSymmetric) {
    const DistanceRow& row = GetParam();
    EXPECT_EQ(pointDistance(row.x1, row.y1, row.x2, row.y2), row.expected);
    EXPECT_EQ(pointDistance(row.x2, row.y2, row.x1, row.y1), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Primitives, PointDistanceTest,
    ::testing::Values(
        DistanceRow{"samePoint", 2.5L, -1.25L, 2.5L, -1.25L, 0.0L},
        DistanceRow{"threeFourFive", 0.0L, 0.0L, 3.0L, 4.0L, 5.0L},
        DistanceRow{"offsetThreeFourFive", -1.0L, 7.0L, 2.0L, 3.0L, 5.0L},
        DistanceRow{"squareExactlyAtGuardIsZero", 0.0L, 0.0L, rootOfDistanceGuard, 0.0L, 0.0L},
        DistanceRow{"squareBelowGuardIsZero", 1.0L, 1.0L, 1.0L + 5e-11L, 1.0L + 5e-11L, 0.0L},
        DistanceRow{"squareJustAboveGuardIsKept", 0.0L, 0.0L, 1.5e-10L, 0.0L, 1.5e-10L}),
    [](const auto& info) { return info.param.name; });

TEST(PointDistance, GuardBoundaryIsExactlyTheConstant) {
    // Without this the row "squareExactlyAtGuardIsZero" would not test equality.
    ASSERT_EQ(rootOfDistanceGuard * rootOfDistanceGuard, 1e-20L);
    EXPECT_GT(pointDistance(0.0L, 0.0L, std::nextafter(rootOfDistanceGuard, 1.0L), 0.0L), 0.0L);
}

struct RotationRow {
    std::string name;
    Real80 x, y, angle;
    Real80 expectedX, expectedY;
};

void PrintTo(const RotationRow& row, std::ostream* os) { *os << row.name; }

class RotatePointTest : public ::testing::TestWithParam<RotationRow> {};

TEST_P(RotatePointTest, TurnsClockwiseForPositiveAngles) {
    const RotationRow& row = GetParam();
    Real80 xr = 0, yr = 0;
    rotatePoint(row.x, row.y, row.angle, xr, yr);
    EXPECT_NEAR(xr, row.expectedX, 1e-18L);
    EXPECT_NEAR(yr, row.expectedY, 1e-18L);
    EXPECT_NEAR(std::hypot(xr, yr), std::hypot(row.x, row.y), 1e-17L);

    // In place: the out arguments may be the variables that supplied the point.
    Real80 x = row.x, y = row.y;
    rotatePoint(x, y, row.angle, x, y);
    EXPECT_EQ(x, xr);
    EXPECT_EQ(y, yr);
}


INSTANTIATE_TEST_SUITE_P(
    Primitives, RotatePointTest,
    ::testing::Values(RotationRow{"zeroAngleKeepsPoint", 3.25L, -7.5L, 0.0L, 3.25L, -7.5L},
                      RotationRow{"quarterTurnSendsXToMinusY", 1.0L, 0.0L, constant::halfPi, 0.0L, -1.0L},
                      RotationRow{"quarterTurnSendsYToX", 0.0L, 1.0L, constant::halfPi, 1.0L, 0.0L},
                      RotationRow{"negativeQuarterTurnIsCounterClockwise", 1.0L, 0.0L, -constant::halfPi, 0.0L, 1.0L},
                      RotationRow{"halfTurn", 2.0L, 3.0L, 2.0L * constant::halfPi, -2.0L, -3.0L}),
    [](const auto& info) { return info.param.name; });

struct LineRow {
    std::string name;
    Real80 x1, y1, x2, y2;
    Real80 a, b, c;
};

void PrintTo(const LineRow& row, std::ostream* os) { *os << row.name; }

class LineThroughPointsTest : public ::testing::TestWithParam<LineRow> {};

TEST_P(LineThroughPointsTest, GivesUnitNormalToTheLeft) {
    const LineRow& row = GetParam();
    LineEquation line;
    lineThroughPoints(row.x1, row.y1, row.x2, row.y2, line.a, line.b, line.c);
    EXPECT_NEAR(line.a, row.a, 1e-18L);
    EXPECT_NEAR(line.b, row.b, 1e-18L);
    EXPECT_NEAR(line.c, row.c, 1e-18L);
}

INSTANTIATE_TEST_SUITE_P(
    Primitives, LineThroughPointsTest,
    ::testing::Values(LineRow{"alongX", 0.0L, 0.0L, 1.0L, 0.0L, 0.0L, 1.0L, 0.0L},
                      LineRow{"alongMinusX", 1.0L, 0.0L, 0.0L, 0.0L, 0.0L, -1.0L, 0.0L},
                      LineRow{"slopedThroughOrigin", 0.0L, 0.0L, 3.0L, 4.0L, -0.8L, 0.6L, 0.0L},
                      LineRow{"slopedOffset", 1.0L, 1.0L, 4.0L, 5.0L, -0.8L, 0.6L, 0.2L},
                      LineRow{"identicalPointsGiveNoLine", 2.0L, -3.0L, 2.0L, -3.0L, 0.0L, 0.0L, 0.0L},
                      LineRow{"tinyButNotVanishing", 0.0L, 0.0L, 1e-24L, 0.0L, 0.0L, 1.0L, 0.0L}),
    [](const auto& info) { return info.param.name; });

TEST(LineThroughPoints, SquaredLengthExactlyAtGuardIsStillNormalised) {
    ASSERT_EQ(lineGuardDx * lineGuardDx + lineGuardDy * lineGuardDy, 1e-50L);
    LineEquation line;
    lineThroughPoints(0.0L, 0.0L, lineGuardDx, lineGuardDy, line.a, line.b, line.c);
    EXPECT_NEAR(line.a * line.a + line.b * line.b, 1.0L, 1e-17L);
    EXPECT_LT(line.a, 0.0L);
    EXPECT_GT(line.b, 0.0L);

    // Just below the guard there is no line.
    lineThroughPoints(0.0L, 0.0L, std::nextafter(lineGuardDx, 0.0L), lineGuardDy, line.a, line.b, line.c);
    EXPECT_EQ(line.a, 0.0L);
    EXPECT_EQ(line.b, 0.0L);
    EXPECT_EQ(line.c, 0.0L);
}

struct SideRow {
    std::string name;
    LineEquation line;
    Real80 x, y;
    bool right;
};

void PrintTo(const SideRow& row, std::ostream* os) { *os << row.name; }

class IsRightOfLineTest : public ::testing::TestWithParam<SideRow> {};

TEST_P(IsRightOfLineTest, IsStrictlyRight) {
    const SideRow& row = GetParam();
    EXPECT_EQ(isRightOfLine(row.line, row.x, row.y), row.right);
}

// The line from (0, 0) to (1, 0), and the one from (1, 1) to (4, 5).
constexpr LineEquation xAxis{0.0L, 1.0L, 0.0L};
constexpr LineEquation sloped{-0.8L, 0.6L, 0.2L};
constexpr LineEquation noLine{0.0L, 0.0L, 0.0L};

INSTANTIATE_TEST_SUITE_P(
    Primitives, IsRightOfLineTest,
    ::testing::Values(SideRow{"belowXAxisIsRight", xAxis, 0.0L, -1.0L, true},
                      SideRow{"aboveXAxisIsNotRight", xAxis, 0.0L, 1.0L, false},
                      SideRow{"onXAxisIsNotRight", xAxis, 5.0L, 0.0L, false},
                      SideRow{"justBelowXAxisIsRight", xAxis, 5.0L, -1e-4000L, true},
                      SideRow{"rightOfSlopedLine", sloped, 4.0L, 1.0L, true},
                      SideRow{"leftOfSlopedLine", sloped, 1.0L, 5.0L, false},
                      SideRow{"noLineOrigin", noLine, 0.0L, 0.0L, false},
                      SideRow{"noLineFarPoint", noLine, -1e30L, 7e20L, false}),
    [](const auto& info) { return info.param.name; });

}  // namespace
