#include "dialogue/sector_filter.hpp"

#include <cmath>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/example_oval.hpp"

namespace {

using Variant = SectorTestVariant;

struct Placement {
    std::string name;
    Real80 cx, cy, theta;
};

void PrintTo(const Placement& p, std::ostream* os) { *os << p.name; }

class SectorFilterAgrees : public ::testing::TestWithParam<Placement> {
protected:
    CoefficientVector v = example::ovalCoefficients(GetParam().cx, GetParam().cy, GetParam().theta);
    OvalConstruction k = buildOvalConstruction(v);
    SectorLines lines = buildSectorLines(k);
};

/// Points within `ulps` steps of x and y around points of every sector line: points of the
/// line equation itself, so that a*x + b*y + c is within rounding of zero wherever the line
/// lies (between two distant construction points the equation's c carries their rounding).
std::vector<PlanePoint> pointsHuggingLines(const SectorLines& lines, int ulps) {
    std::vector<PlanePoint> points;
    for (const LineEquation& line : lines.lines) {
        for (const Real80 t : {-12.0L, -3.0L, 0.0L, 2.5L, 7.0L, 15.0L}) {
            const Real80 x = -line.a * line.c - t * line.b;
            const Real80 y = -line.b * line.c + t * line.a;
            for (int dx = -ulps; dx <= ulps; ++dx) {
                for (int dy = -ulps; dy <= ulps; ++dy) {
                    Real80 nx = x;
                    Real80 ny = y;
                    for (int s = 0; s < std::abs(dx); ++s) nx = std::nextafter(nx, dx < 0 ? -1e9L : 1e9L);
                    for (int s = 0; s < std::abs(dy); ++s) ny = std::nextafter(ny, dy < 0 ? -1e9L : 1e9L);
                    points.push_back({nx, ny});
                }
            }
        }
    }
    return points;
}

Real80 maxAbs(const std::vector<PlanePoint>& points, bool ofX) {
    Real80 m = 0;
    for (const PlanePoint& p : points) m = std::max(m, std::fabs(ofX ? p.x : p.y));
    return m;
}

TEST_P(SectorFilterAgrees, DecidedArcsAreTheExtendedTestsArcs) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> coordinate(-20.0, 20.0);
    std::vector<PlanePoint> points;
    for (int n = 0; n < 20000; ++n) points.push_back({coordinate(random), coordinate(random)});
    // Stored coordinates of exactly 0 take neither branch of the strict comparisons.
    for (int n = -20; n <= 20; ++n) {
        points.push_back({0.0L, n * 0.75L});
        points.push_back({n * 0.75L, 0.0L});
    }
    const SectorFilter filter = buildSectorFilter(lines, maxAbs(points, true), maxAbs(points, false));
    ASSERT_TRUE(filter.usable);

    std::vector<double> x, y;
    std::vector<std::uint8_t> signs;
    for (const PlanePoint& p : points) {
        x.push_back(static_cast<double>(p.x));
        y.push_back(static_cast<double>(p.y));
        signs.push_back(coordinateSigns(p.x, p.y));
    }
    std::vector<std::uint8_t> arcs(points.size());
    certainArcs(filter, x.data(), y.data(), signs.data(), points.size(), arcs.data());
    std::size_t decided = 0;
    for (std::size_t n = 0; n < points.size(); ++n) {
        if (arcs[n] == 0) continue;
        ++decided;
        ASSERT_EQ(static_cast<OvalArc>(arcs[n]), assignArc(lines, points[n].x, points[n].y, Variant::FitVariant))
            << "point " << n << " (" << static_cast<double>(points[n].x) << ", " << static_cast<double>(points[n].y)
            << ")";
    }
    // Only points within about 1e-14 of a line are left open: a handful among these.
    EXPECT_GT(decided, points.size() - 10);
}

TEST_P(SectorFilterAgrees, PointsWithinUlpsOfALineAreLeftOpen) {
    const std::vector<PlanePoint> points = pointsHuggingLines(lines, 3);
    const SectorFilter filter = buildSectorFilter(lines, maxAbs(points, true), maxAbs(points, false));
    ASSERT_TRUE(filter.usable);
    for (const PlanePoint& p : points) {
        ASSERT_EQ(certainRightMask(filter, static_cast<double>(p.x), static_cast<double>(p.y)), -1)
            << static_cast<double>(p.x) << ", " << static_cast<double>(p.y);
    }
}

TEST_P(SectorFilterAgrees, PairsAndSinglePointsGiveTheSameArcs) {
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> coordinate(-15.0, 15.0);
    const int count = 101;  // odd: the last point goes through the one-point path
    std::vector<double> x, y;
    std::vector<std::uint8_t> signs;
    for (int n = 0; n < count; ++n) {
        x.push_back(coordinate(random));
        y.push_back(coordinate(random));
        signs.push_back(coordinateSigns(x.back(), y.back()));
    }
    const SectorFilter filter = buildSectorFilter(lines, 15.0L, 15.0L);
    std::vector<std::uint8_t> together(count), alone(count);
    certainArcs(filter, x.data(), y.data(), signs.data(), count, together.data());
    for (int n = 0; n < count; ++n) certainArcs(filter, &x[n], &y[n], &signs[n], 1, &alone[n]);
    EXPECT_EQ(together, alone);
}

TEST_P(SectorFilterAgrees, CoordinatesThatAreNotNumbersAreLeftOpen) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double x[] = {nan, 1.0, nan, 3.0, -2.0};
    const double y[] = {1.0, nan, nan, 4.0, -2.0};
    const std::uint8_t signs[] = {8, 8, 8, 8, 0};
    std::uint8_t arcs[5];
    certainArcs(buildSectorFilter(lines, 20, 20), x, y, signs, 5, arcs);
    EXPECT_EQ(arcs[0], 0);
    EXPECT_EQ(arcs[1], 0);
    EXPECT_EQ(arcs[2], 0);
    EXPECT_NE(arcs[3], 0);
    EXPECT_EQ(certainRightMask(buildSectorFilter(lines, 20, 20), nan, 2.0), -1);
}

INSTANTIATE_TEST_SUITE_P(SectorFilter, SectorFilterAgrees,
                         ::testing::Values(Placement{"centred", 0, 0, 0}, Placement{"turned", 0.4L, -0.3L, 0.35L},
                                           Placement{"turnedBackwards", -1.5L, 2.25L, -2.8L},
                                           Placement{"farFromOrigin", 1e6L, -3e5L, 1.0L}),
                         [](const auto& info) { return info.param.name; });

struct UsableRow {
    std::string name;
    Real80 maxAbsX, maxAbsY;
    Real80 cx;  // centre of the example oval
    bool usable;
};

void PrintTo(const UsableRow& row, std::ostream* os) { *os << row.name; }

class SectorFilterUsable : public ::testing::TestWithParam<UsableRow> {};

TEST_P(SectorFilterUsable, OnlyWhereDoubleProductsCannotOverflow) {
    const UsableRow& row = GetParam();
    const SectorLines lines = buildSectorLines(buildOvalConstruction(example::ovalCoefficients(row.cx)));
    EXPECT_EQ(buildSectorFilter(lines, row.maxAbsX, row.maxAbsY).usable, row.usable);
}

INSTANTIATE_TEST_SUITE_P(
    SectorFilter, SectorFilterUsable,
    ::testing::Values(UsableRow{"ordinary", 20, 20, 0, true}, UsableRow{"pointsAtTheLimit", 1e150L, 1e150L, 0, true},
                      UsableRow{"xBeyondTheLimit", 1.0000001e150L, 1, 0, false},
                      UsableRow{"yBeyondTheLimit", 1, 1e4000L, 0, false},
                      UsableRow{"coordinateNotANumber", std::numeric_limits<Real80>::quiet_NaN(), 1, 0, false},
                      UsableRow{"linesFarBeyondTheLimit", 20, 20, 1e200L, false}),
    [](const auto& info) { return info.param.name; });

TEST(SectorFilter, AllZeroLineLeavesEveryPointOpen) {
    // OC = 0 and DC = 0 put C1, C2 and every D point on the axis; with OA = 0 the lines from
    // D points to A points join coincident points and are all zero.
    CoefficientVector v = example::ovalCoefficients();
    v.coef(coefficient::oa) = 0;
    v.coef(coefficient::oc) = 0;
    v.coef(coefficient::dc) = 0;
    const SectorLines lines = buildSectorLines(buildOvalConstruction(v));
    ASSERT_EQ(lines.lines[4].a, 0.0L);
    ASSERT_EQ(lines.lines[4].c, 0.0L);
    const SectorFilter filter = buildSectorFilter(lines, 10, 10);
    ASSERT_TRUE(filter.usable);
    for (const double x : {-3.0, 0.0, 2.5}) {
        for (const double y : {-1.0, 0.0, 4.0}) EXPECT_EQ(certainRightMask(filter, x, y), -1);
    }
}

TEST(SectorFilter, CoordinateSignsFollowTheStrictComparisons) {
    EXPECT_EQ(coordinateSigns(-1, -1), 0);
    EXPECT_EQ(coordinateSigns(-1, 0), 1);
    EXPECT_EQ(coordinateSigns(0, 2), 5);
    EXPECT_EQ(coordinateSigns(-0.0L, -0.0L), 4);
    EXPECT_EQ(coordinateSigns(std::numeric_limits<Real80>::denorm_min(), -1e-4000L), 6);
}

}  // namespace
