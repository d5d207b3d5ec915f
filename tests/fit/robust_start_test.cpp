#include "fit/robust_start.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "fit/oval_fit.hpp"
#include "model/oval_construction.hpp"
#include "oval_sampling.hpp"

namespace {

/// A 40 x 25 oval (semi-axes 20 and 12.5) about (30, 20), turned by 15 degrees: every X positive,
/// so that an X typed too large lies far outside.
CoefficientVector fortyByTwentyFive() {
    CoefficientVector v;
    v.values = {14, 9, 30, 20, 15 * std::numbers::pi / 180, 9, 6, 6};
    return v;
}

/// The semi-axes of the first ring of `c`.
SemiAxes firstRingAxes(const CoefficientVector& c) {
    const OvalConstruction k = buildOvalConstruction(c);
    const Real80 ae = std::fabs(c.coef(coefficient::ae(1)));
    return semiAxes(k, ae, arcRadii(k, ae).rMax);
}

// ---------------------------------------------------------------- one gross slip among 60 points

struct SlipRow {
    std::string name;
    Real80 xFactor;             // the slipped point's X times this...
    std::optional<Real80> x, y;  // ...or the point moved here
};
void PrintTo(const SlipRow& row, std::ostream* os) { *os << row.name; }

class RobustStart : public ::testing::TestWithParam<SlipRow> {};

constexpr std::size_t slipped = 17;  // counted from 0

// The robust fit from the robust start ends where the fit of the good points alone ends, and lists
// the slip, however far it lies.
TEST_P(RobustStart, OneSlipNeitherPullsTheFitNorHidesIt) {
    const SlipRow& row = GetParam();
    const CurveStore good = curveStoreOf(sampleOvalFamily(fortyByTwentyFive(), 60, 0.01L, 3));
    CurveStore curves = good;
    Curve& ring = curves.curves[0];
    ring.x[slipped] = row.x ? *row.x : ring.x[slipped] * row.xFactor;
    if (row.y) ring.y[slipped] = *row.y;

    CurveStore withoutSlip = good;
    withoutSlip.curves[0].x.erase(withoutSlip.curves[0].x.begin() + slipped);
    withoutSlip.curves[0].y.erase(withoutSlip.curves[0].y.begin() + slipped);
    withoutSlip.totalPointCount -= 1;
    const std::optional<AutomaticStart> cleanStart = startingValues(withoutSlip);
    ASSERT_TRUE(cleanStart);
    const OvalFit clean = fitOval(withoutSlip, cleanStart->coefficients, OvalFitSettings{});

    const std::optional<AutomaticStart> start = robustStartingValues(curves);
    ASSERT_TRUE(start);
    OvalFitSettings robust;
    robust.robust = true;
    const OvalFit fit = fitOval(curves, start->coefficients, robust);

    const SemiAxes expected = firstRingAxes(clean.coefficients);
    const SemiAxes found = firstRingAxes(fit.coefficients);
    EXPECT_NEAR(static_cast<double>(found.semiMajor), static_cast<double>(expected.semiMajor), 0.005);
    EXPECT_NEAR(static_cast<double>(found.semiMinor), static_cast<double>(expected.semiMinor), 0.005);
    EXPECT_NEAR(static_cast<double>(fit.coefficients.coef(coefficient::centreX)),
                static_cast<double>(clean.coefficients.coef(coefficient::centreX)), 0.005);
    EXPECT_NEAR(static_cast<double>(fit.coefficients.coef(coefficient::centreY)),
                static_cast<double>(clean.coefficients.coef(coefficient::centreY)), 0.005);
    ASSERT_EQ(fit.downWeighted.size(), 1u);
    EXPECT_EQ(fit.downWeighted[0].ring, 1);
    EXPECT_EQ(fit.downWeighted[0].point, static_cast<std::int32_t>(slipped + 1));
}

INSTANTIATE_TEST_SUITE_P(Fit, RobustStart,
                         ::testing::Values(SlipRow{"xTypedTenTimesTooLarge", 10, {}, {}},
                                           SlipRow{"xTypedAHundredTimesTooLarge", 100, {}, {}},
                                           SlipRow{"xTypedAThousandTimesTooLarge", 1000, {}, {}},
                                           SlipRow{"pointAtAMillion", 1, 1e6L, 5},
                                           SlipRow{"pointAt1e99", 1, 1e99L, -1e99L}),
                         [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------- the consensus ellipse

TEST(ConsensusEllipse, KeepsEveryPointOfACleanRingAndSetsASlipAside) {
    CoefficientVector circle;
    circle.values = {1e-3L, 1e-3L, 5, -5, 0, 0, 0, 10};  // very nearly a circle of radius 10 about (5, -5)
    CurveStore curves = curveStoreOf(sampleOvalFamily(circle, 40, 0, 1));
    std::optional<ConsensusEllipse> clean = consensusRingEllipse(curves.curves[0]);
    ASSERT_TRUE(clean);
    EXPECT_EQ(std::count(clean->kept.begin(), clean->kept.end(), false), 0);
    EXPECT_NEAR(clean->ellipse.centreX, 5, 1e-3);
    EXPECT_NEAR(clean->ellipse.semiMajor, 10, 1e-2);

    curves.curves[0].y[7] += 3;  // 3 units off, where the rest lie on the circle
    const std::optional<ConsensusEllipse> slipped = consensusRingEllipse(curves.curves[0]);
    ASSERT_TRUE(slipped);
    ASSERT_EQ(std::count(slipped->kept.begin(), slipped->kept.end(), false), 1);
    EXPECT_FALSE(slipped->kept[7]);
    EXPECT_EQ(withoutSlips(curves).totalPointCount, 39);
}

TEST(ConsensusEllipse, RadialDistanceIsSignedAlongTheRayFromTheCentre) {
    const RingEllipse e{10, 20, 4, 2, std::numbers::pi / 2};  // major axis along Y
    EXPECT_NEAR(static_cast<double>(radialDistance(e, 10, 26)), 2, 1e-12);   // beyond the end of the major axis
    EXPECT_NEAR(static_cast<double>(radialDistance(e, 11, 20)), -1, 1e-12);  // inside, along the minor axis
    EXPECT_TRUE(std::isfinite(static_cast<double>(radialDistance(e, 1e99L, -1e99L))));
}

}  // namespace
