#include "oval_sampling.hpp"

#include <algorithm>
#include <cmath>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "base/constants.hpp"
#include "dialogue/residual.hpp"

namespace {

// ---------------------------------------------------------------- uniformUnit

struct UnitRow {
    std::string name;
    std::uint64_t bits;
    Real80 expected;
};

void PrintTo(const UnitRow& row, std::ostream* os) { *os << row.name; }

class UniformUnit : public ::testing::TestWithParam<UnitRow> {};

TEST_P(UniformUnit, KeepsTheTop53Bits) { EXPECT_EQ(uniformUnit(GetParam().bits), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Sampling, UniformUnit,
    ::testing::Values(UnitRow{"zero", 0, 0}, UnitRow{"lowBitsDropped", (1u << 11) - 1, 0},
                      UnitRow{"lowestKeptBit", 1u << 11, 1.0L / 9007199254740992.0L},
                      UnitRow{"topBitIsOneHalf", 1ull << 63, 0.5L},
                      UnitRow{"allOnesStaysBelowOne", ~0ull, 1 - 1.0L / 9007199254740992.0L}),
    [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------- points on the arcs

struct OvalRow {
    std::string name;
    Real80 oa, ob, oc, dc, cx, cy, theta, ae;
};

void PrintTo(const OvalRow& row, std::ostream* os) { *os << row.name; }

CoefficientVector coefficientsOf(const OvalRow& row, std::initializer_list<Real80> more = {}) {
    CoefficientVector v;
    v.values = {row.oa, row.ob, row.cx, row.cy, row.theta, row.oc, row.dc, row.ae};
    v.values.insert(v.values.end(), more.begin(), more.end());
    return v;
}

class SampledOval : public ::testing::TestWithParam<OvalRow> {};

TEST_P(SampledOval, NoiselessPointsLieOnTheirArcs) {
    const CoefficientVector v = coefficientsOf(GetParam());
    const OvalConstruction k = buildOvalConstruction(v);
    const ArcRadii radii = arcRadii(k, GetParam().ae);
    const SectorLines lines = buildSectorLines(k);
    std::mt19937_64 random(7);
    const auto points = sampleOvalCurve(k, radii, 400, 0, random);
    ASSERT_EQ(points.size(), 400u);
    for (const SampledPoint& p : points) {
        for (SectorTestVariant variant : {SectorTestVariant::FitVariant, SectorTestVariant::ListingVariant}) {
            const PointDeviation d = pointDeviation(k, lines, radii, p.at.x, p.at.y, variant);
            EXPECT_EQ(d.arc, p.arc) << "at (" << static_cast<double>(p.at.x) << ", " << static_cast<double>(p.at.y) << ")";
            EXPECT_NEAR(d.deviation, 0, 1e-14L * radii.rMax);
        }
    }
}

TEST_P(SampledOval, SpreadsPointsByArcLength) {
    const OvalConstruction k = buildOvalConstruction(coefficientsOf(GetParam()));
    const ArcRadii radii = arcRadii(k, GetParam().ae);
    const auto arcs = arcTable(k, radii);
    Real80 perimeter = 0;
    for (const ArcTableRow& row : arcs) perimeter += row.radius * arcSweep(row);

    constexpr int n = 1000;
    std::mt19937_64 random(7);
    const auto points = sampleOvalCurve(k, radii, n, 0, random);
    for (const ArcTableRow& row : arcs) {
        const auto count = std::count_if(points.begin(), points.end(), [&](const SampledPoint& p) { return p.arc == row.arc; });
        EXPECT_NEAR(static_cast<double>(count), static_cast<double>(n * row.radius * arcSweep(row) / perimeter), 1.0)
            << "arc " << static_cast<int>(row.arc);
    }
}

TEST_P(SampledOval, SpacesPointsEvenlyAroundTheWholeOval) {
    const OvalConstruction k = buildOvalConstruction(coefficientsOf(GetParam()));
    const ArcRadii radii = arcRadii(k, GetParam().ae);
    Real80 perimeter = 0;
    for (const ArcTableRow& row : arcTable(k, radii)) perimeter += row.radius * arcSweep(row);

    constexpr int n = 1000;
    std::mt19937_64 random(7);
    const auto points = sampleOvalCurve(k, radii, n, 0, random);
    // A chord is shorter than its arc by about (arc / radius)^2 / 24 of it: far below 1e-3 here.
    for (std::size_t i = 0; i < points.size(); ++i) {
        const PlanePoint& a = points[i].at;
        const PlanePoint& b = points[(i + 1) % points.size()].at;
        EXPECT_NEAR(static_cast<double>(std::hypot(b.x - a.x, b.y - a.y) * n / perimeter), 1.0, 1e-3) << "after point " << i;
    }
}

TEST_P(SampledOval, NoiseStaysWithinItsAmplitudeAndFillsIt) {
    const CoefficientVector v = coefficientsOf(GetParam());
    const OvalConstruction k = buildOvalConstruction(v);
    const ArcRadii radii = arcRadii(k, GetParam().ae);
    const SectorLines lines = buildSectorLines(k);
    const Real80 noise = radii.rMin / 50;
    std::mt19937_64 random(11);
    Real80 low = 0, high = 0;
    for (const SampledPoint& p : sampleOvalCurve(k, radii, 2000, noise, random)) {
        const Real80 d = pointDeviation(k, lines, radii, p.at.x, p.at.y, SectorTestVariant::FitVariant).deviation;
        low = std::min(low, d);
        high = std::max(high, d);
    }
    EXPECT_GE(low, -noise * (1 + 1e-12L));
    EXPECT_LE(high, noise * (1 + 1e-12L));
    EXPECT_LT(low, -0.95L * noise);
    EXPECT_GT(high, 0.95L * noise);
}

// The sector test decides upper from lower by the sign of the stored Y, so the rows keep the
// turn smaller than the angle at which the end arcs meet their neighbours (about 4 degrees
// for the model's example oval, 9 for the arena); beyond it points go to another arc.
INSTANTIATE_TEST_SUITE_P(
    Sampling, SampledOval,
    ::testing::Values(OvalRow{"modelExampleAtOrigin", 10, 6, 8, 5, 0, 0, 0, 2},
                      OvalRow{"turnedAndMovedALittle", 10, 6, 8, 5, 0.3L, -0.2L, 0.05L, 2},
                      OvalRow{"turnedAnticlockwise", 10, 6, 8, 5, -0.2L, 0.1L, -0.03L, 2},
                      OvalRow{"amphitheatreArena", 28, 30, 16, 17, 0.4L, -0.3L, 0.05L, 10}),
    [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------- families

const OvalRow arena{"arena", 28, 30, 16, 17, 0.4L, -0.3L, 0.05L, 10};

TEST(SampledFamily, NoiselessFamilyHasNoResidual) {
    const CoefficientVector v = coefficientsOf(arena, {13.5L, 66});
    const auto family = sampleOvalFamily(v, 90, 0, 1);
    ASSERT_EQ(family.size(), 3u);
    EXPECT_LT(ovalResidual(v, curveStoreOf(family)), 1e-13L);
}

TEST(SampledFamily, UniformNoiseGivesResidualOfAmplitudeOverRootThree) {
    const CoefficientVector v = coefficientsOf(arena, {13.5L, 66});
    const Real80 noise = 0.03L;
    const Real80 residual = ovalResidual(v, curveStoreOf(sampleOvalFamily(v, 2000, noise, 1)));
    EXPECT_NEAR(static_cast<double>(residual), static_cast<double>(noise / std::sqrt(3.0L)), 0.0005);
}

TEST(SampledFamily, FirstCurvesDoNotDependOnTheCurvesAfterThem) {
    const auto one = sampleOvalFamily(coefficientsOf(arena), 60, 0.03L, 5);
    const auto three = sampleOvalFamily(coefficientsOf(arena, {13.5L, 66}), 60, 0.03L, 5);
    ASSERT_EQ(one.size(), 1u);
    ASSERT_EQ(three.size(), 3u);
    for (std::size_t i = 0; i < one[0].size(); ++i) {
        EXPECT_EQ(one[0][i].at.x, three[0][i].at.x);
        EXPECT_EQ(one[0][i].at.y, three[0][i].at.y);
    }
}

TEST(SampledFamily, SeedDecidesTheNoise) {
    const CoefficientVector v = coefficientsOf(arena);
    const auto first = sampleOvalFamily(v, 50, 0.03L, 5);
    const auto again = sampleOvalFamily(v, 50, 0.03L, 5);
    const auto other = sampleOvalFamily(v, 50, 0.03L, 6);
    int differing = 0;
    for (std::size_t i = 0; i < first[0].size(); ++i) {
        EXPECT_EQ(first[0][i].at.x, again[0][i].at.x);
        EXPECT_EQ(first[0][i].at.y, again[0][i].at.y);
        differing += first[0][i].at.x != other[0][i].at.x ? 1 : 0;
    }
    EXPECT_EQ(differing, 50);
}

}  // namespace

// ---------------------------------------------------------------- a stretch seen from the centre

struct SeenRow {
    std::string name;
    Real80 theta, fromDegrees, spanDegrees;
};

void PrintTo(const SeenRow& row, std::ostream* os) { *os << row.name; }

class SeenStretch : public ::testing::TestWithParam<SeenRow> {};

// Every point lies within the span seen from the centre, and the first and last points lie
// within a spacing of its ends.
TEST_P(SeenStretch, CoversTheSpanFromTheCentre) {
    const SeenRow& row = GetParam();
    const OvalRow oval{"", 10, 6, 8, 5, 40, -25, row.theta, 3};
    const CoefficientVector v = coefficientsOf(oval);
    const OvalConstruction k = buildOvalConstruction(v);
    const ArcRadii radii = arcRadii(k, oval.ae);
    const PerimeterPart part = partSeenOver(k, radii, row.fromDegrees, row.spanDegrees);
    std::mt19937_64 random(3);
    constexpr int count = 300;
    const auto points = sampleOvalCurve(k, radii, count, 0, random, part);
    const Real80 degree = constant::pi / 180;
    std::vector<Real80> seen;
    for (const SampledPoint& p : points) {
        Real80 turn = std::atan2(p.at.y - oval.cy, p.at.x - oval.cx) - row.fromDegrees * degree;
        turn = std::fmod(turn, constant::twoPi);
        if (turn < 0) turn += constant::twoPi;
        seen.push_back(turn / degree);
    }
    const Real80 spacing = row.spanDegrees / count * 3;  // the points are even along the curve, not in angle
    EXPECT_LE(*std::max_element(seen.begin(), seen.end()), row.spanDegrees);
    EXPECT_NEAR(static_cast<double>(seen.front()), 0, static_cast<double>(spacing));
    EXPECT_NEAR(static_cast<double>(seen.back()), static_cast<double>(row.spanDegrees), static_cast<double>(spacing));
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
}

INSTANTIATE_TEST_SUITE_P(Sampling, SeenStretch,
                         ::testing::Values(SeenRow{"quarterFromTheXAxis", 0, 0, 90},
                                           SeenRow{"sixthTurnedBackwards", -0.7L, 200, 60},
                                           SeenRow{"thirdAcrossTheStartOfTop", 1.2L, 60, 120},
                                           SeenRow{"almostAll", 0.4L, 300, 350}),
                         [](const auto& info) { return info.param.name; });
