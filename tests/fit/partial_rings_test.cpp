#include "fit/starting_values.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <ostream>
#include <string>
#include <vector>

#include "fit/fit_quality.hpp"
#include "fit/oval_fit.hpp"
#include "fit/own_frame_arc.hpp"
#include "oval_sampling.hpp"

namespace {

constexpr double degree = std::numbers::pi / 180;

/// An oval family and how much of each ring survives: seen from the centre over `span` degrees,
/// ring j from the direction from[j - 1].
struct PartialDrawing {
    double oa, ob, oc, dc;
    double cx, cy, rotationDegrees;
    std::vector<double> ae;
    std::vector<double> from;
    double span;
    std::vector<std::int32_t> points;
    double noise;

    CoefficientVector truth() const {
        CoefficientVector v;
        v.values = {oa, ob, cx, cy, rotationDegrees * degree, oc, dc};
        v.values.insert(v.values.end(), ae.begin(), ae.end());
        return v;
    }
    CurveStore curves(std::uint64_t seed) const {
        const CoefficientVector c = truth();
        const OvalConstruction k = buildOvalConstruction(c);
        std::vector<PerimeterPart> parts;
        for (std::size_t j = 0; j < ae.size(); ++j) parts.push_back(partSeenOver(k, arcRadii(k, ae[j]), from[j], span));
        return curveStoreOf(sampleOvalFamilyByParts(c, points, noise, seed, parts));
    }
};

/// The rms of the fit from the true oval with a tight tolerance: the best a fit can reach.
double bestRms(const CurveStore& curves, const CoefficientVector& truth) {
    OvalFitSettings careful;
    careful.functionTolerance = 1e-15;
    careful.stallFraction = 0;
    return static_cast<double>(ownFrameDeviations(fitOval(curves, truth, careful).coefficients, curves).rms);
}

bool hasCode(const FitQuality& q, const char* code) {
    return std::find(q.warningCodes.begin(), q.warningCodes.end(), std::string(code)) != q.warningCodes.end();
}

// ---------------------------------------------------------------- the automatic fit of partial rings

struct PartialRow {
    std::string name;
    PartialDrawing drawing;
    std::uint64_t seed;
};
void PrintTo(const PartialRow& row, std::ostream* os) { *os << row.name; }

class PartialRingsFit : public ::testing::TestWithParam<PartialRow> {};

// From the points alone, within 2 % of the best rms the fit from the true oval reaches.
TEST_P(PartialRingsFit, EndsWithin2PercentOfTheFitFromTheTruth) {
    const PartialDrawing& d = GetParam().drawing;
    const CurveStore curves = d.curves(GetParam().seed);
    const double best = bestRms(curves, d.truth());
    const std::optional<AutomaticStart> start = startingValues(curves);
    ASSERT_TRUE(start);
    const OvalFit fit = fitOval(curves, start->coefficients, OvalFitSettings{});
    const FitQuality quality = assessFit(curves, fit, OvalFitSettings{});
    EXPECT_LE(static_cast<double>(quality.deviations.rms), 1.02 * best);
    EXPECT_NE(fit.stopReason, StopReason::IterationLimit);
    EXPECT_TRUE(hasCode(quality, warningCode::coverage));
}

INSTANTIATE_TEST_SUITE_P(
    Fit, PartialRingsFit,
    ::testing::Values(
        PartialRow{"quarterRing400",
                   {9.45, 12.48, 5.45, 11.27, 27, -229, -42.3, {19.31}, {104}, 90, {400}, 0.006}, 5},
        PartialRow{"quarterRing15", {5.96, 7.99, 2.01, 3.75, 44, 179, -73.9, {9.24}, {329}, 90, {15}, 0.0045}, 3},
        PartialRow{"twoRingsOver90",
                   {9.89, 24.65, 5.23, 20.83, 10, -8, -79, {16.72, 20.5}, {75, 189}, 90, {400, 60}, 0.011}, 7},
        PartialRow{"twoRingsOver90Sparse",
                   {8.15, 3.49, 4.81, 1.94, -36, -95, -32.4, {9.64, 12.1}, {302, 315}, 90, {15}, 0.008}, 2},
        PartialRow{"thirdOfARing", {13.89, 5.78, 6.92, 7.03, 111, 39, 84.7, {5.21}, {172}, 120, {15}, 0.003}, 4},
        PartialRow{"threeRingsOver120",
                   {14.94, 33.34, 6.99, 19.44, 91, 224, 30.6, {17.05, 20, 23}, {208, 140, 20}, 120, {60}, 0.016},
                   9}),
    [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------- a fit that stops at its start

// A start on a ridge of the sum of squares: the oval of the truth turned by a quarter turn on
// points that are symmetric about both of its axes, where no derivative leads off the ridge. The
// fit from there has to step off it before it may say it converged at the starting values.
TEST(FitAtItsStart, StepsOffARidgeAndReachesTheBest) {
    const CoefficientVector truth = PartialDrawing{10, 6, 8, 5, 0, 0, 0, {3}, {0}, 360, {400}, 0}.truth();
    const CurveStore curves = curveStoreOf(sampleOvalFamily(truth, 400, 0, 1));
    CoefficientVector ridge = truth;
    ridge.coef(coefficient::rotation) = std::numbers::pi / 2;
    const OvalFit first = fitOval(curves, ridge, OvalFitSettings{});
    const OvalFit again = fitOval(curves, first.coefficients, OvalFitSettings{});
    const double rms = static_cast<double>(ownFrameDeviations(again.coefficients, curves).rms);
    EXPECT_LT(rms, 1e-6);
    EXPECT_GT(again.iterations, 0);
}

TEST(FitAtItsStart, AtTheOptimumSaysItConvergedThere) {
    const PartialDrawing d{10, 6, 8, 5, 40, -30, 25, {3}, {30}, 90, {120}, 0.02};
    const CurveStore curves = d.curves(2);
    OvalFitSettings careful;
    careful.functionTolerance = 1e-15;
    careful.stallFraction = 0;
    const OvalFit best = fitOval(curves, d.truth(), careful);
    const OvalFit again = fitOval(curves, best.coefficients, OvalFitSettings{});
    EXPECT_EQ(again.iterations, 0);
    EXPECT_EQ(again.stopReason, StopReason::Converged);
    EXPECT_GT(again.evaluations, 0);  // the steps it tried
}

// ---------------------------------------------------------------- more than one answer

struct OtherAnswerRow {
    std::string name;
    double rotationErrors;   // the other answer's rotation, in standard errors of the fit's
    double semiAxisErrors;   // its ring's AE moved by this many standard errors of the semi-major axis
    double rmsRatio;         // its rms over the fit's
    bool warned;
};
void PrintTo(const OtherAnswerRow& row, std::ostream* os) { *os << row.name; }

class OtherOptimum : public ::testing::TestWithParam<OtherAnswerRow> {};

TEST_P(OtherOptimum, IsNamedOnlyWhenAsGoodAndClearlyElsewhere) {
    const OtherAnswerRow& row = GetParam();
    const PartialDrawing d{10, 6, 8, 5, 40, -30, 25, {3}, {30}, 360, {120}, 0.02};
    const CurveStore curves = d.curves(3);
    const OvalFit fit = fitOval(curves, d.truth(), OvalFitSettings{});
    ASSERT_TRUE(fit.standardErrors);
    FitQuality quality = assessFit(curves, fit, OvalFitSettings{});
    CoefficientVector other = fit.coefficients;
    other.coef(coefficient::rotation) += row.rotationErrors * fit.standardErrors->rotationDegrees * degree;
    other.coef(coefficient::ae(1)) += row.semiAxisErrors * fit.standardErrors->rings[0]->semiMajor;
    const std::size_t before = quality.warnings.size();
    warnOfOtherOptimum(quality, curves, fit, other, quality.deviations.rms * row.rmsRatio);
    EXPECT_EQ(hasCode(quality, warningCode::multipleOptima), row.warned);
    ASSERT_EQ(quality.warnings.size(), before + (row.warned ? 1 : 0));
    if (row.warned) {
        // Both answers, each with its rotation.
        const std::string& text = quality.warnings.back();
        char rotation[32];
        std::snprintf(rotation, sizeof rotation, "rotation %.2f degrees",
                      static_cast<double>(other.coef(coefficient::rotation) / degree));
        EXPECT_NE(text.find(rotation), std::string::npos) << text;
        std::snprintf(rotation, sizeof rotation, "rotation %.2f degrees",
                      static_cast<double>(fit.coefficients.coef(coefficient::rotation) / degree));
        EXPECT_NE(text.find(rotation), std::string::npos) << text;
    }
}

INSTANTIATE_TEST_SUITE_P(Fit, OtherOptimum,
                         ::testing::Values(OtherAnswerRow{"turnedApartAsGood", 10, 0, 1.005, true},
                                           OtherAnswerRow{"turnedApartAndBetter", -10, 0, 0.998, true},
                                           OtherAnswerRow{"largerApartAsGood", 0, 10, 1.0, true},
                                           OtherAnswerRow{"theSameOval", 0, 0, 1.0, false},
                                           OtherAnswerRow{"withinItsErrors", 1, 0, 1.001, false},
                                           OtherAnswerRow{"apartButWorse", 10, 10, 1.05, false}),
                         [](const auto& info) { return info.param.name; });

// Rings well seen, though over a third each: nothing is said of another answer.
TEST(OtherOptimum, NotNamedForAnOrdinaryDrawing) {
    const PartialDrawing d{12, 20, 7, 15, 150, -250, 30, {5, 9, 14}, {10, 100, 200}, 120, {400, 60, 60}, 0.01};
    const CurveStore curves = d.curves(9);
    const std::optional<AutomaticStart> start = startingValues(curves);
    ASSERT_TRUE(start);
    const OvalFit fit = fitOval(curves, start->coefficients, OvalFitSettings{});
    FitQuality quality = assessFit(curves, fit, OvalFitSettings{});
    if (start->runnerUp) warnOfOtherOptimum(quality, curves, fit, start->runnerUp->coefficients, start->runnerUp->rms);
    EXPECT_TRUE(hasCode(quality, warningCode::coverage));
    EXPECT_FALSE(hasCode(quality, warningCode::multipleOptima)) << quality.warnings.back();
}

// ---------------------------------------------------------------- where the wider search starts

struct EllipseArcRow {
    std::string name;
    double cx, cy, semiMajor, aspect, directionDegrees;
    double fromDegrees, spanDegrees;  // of the arc, about the centre in the ellipse's own frame
};
void PrintTo(const EllipseArcRow& row, std::ostream* os) { *os << row.name; }

class RotationSearch : public ::testing::TestWithParam<EllipseArcRow> {};

// An exact ellipse whose axis ratio is one the search tries is found exactly by the rotation that
// is its own, and that one ranks first.
TEST_P(RotationSearch, RanksTheTrueEllipseFirst) {
    const EllipseArcRow& row = GetParam();
    CurveStore store;
    Curve curve;
    const double c = std::cos(row.directionDegrees * degree), s = std::sin(row.directionDegrees * degree);
    for (int i = 0; i < 50; ++i) {
        const double t = (row.fromDegrees + row.spanDegrees * i / 49.0) * degree;
        const double u = row.semiMajor * std::cos(t), v = row.semiMajor * row.aspect * std::sin(t);
        curve.x.push_back(row.cx + u * c - v * s);
        curve.y.push_back(row.cy + u * s + v * c);
    }
    store.totalPointCount = 50;
    store.curves.push_back(curve);
    const std::vector<RingEllipse> found = ellipsesByRotation(store, 12);
    ASSERT_EQ(found.size(), 12u);
    EXPECT_NEAR(std::remainder(found[0].direction - row.directionDegrees * degree, std::numbers::pi), 0, 1e-12);
    EXPECT_NEAR(found[0].centreX, row.cx, 1e-6 * row.semiMajor);
    EXPECT_NEAR(found[0].centreY, row.cy, 1e-6 * row.semiMajor);
    EXPECT_NEAR(found[0].semiMajor, row.semiMajor, 1e-6 * row.semiMajor);
    EXPECT_NEAR(found[0].semiMinor, row.aspect * row.semiMajor, 1e-6 * row.semiMajor);
}

INSTANTIATE_TEST_SUITE_P(Fit, RotationSearch,
                         ::testing::Values(EllipseArcRow{"quarterAboutTheEnd", 100, -40, 20, 0.5, 30, -45, 90},
                                           EllipseArcRow{"sixthAcrossTheTop", -300, 250, 8, 0.7, 150, 60, 60},
                                           EllipseArcRow{"thirdFarAway", 5000, 3000, 50, 0.4, 60, 200, 120}),
                         [](const auto& info) { return info.param.name; });

// A quarter of a ring from the end of its major axis to the top: the curvature of its stretches
// points along the major axis and puts the centre near the true one.
TEST(CurvatureStart, FindsTheAxisOfAQuarterFromTheEndToTheTop) {
    const CoefficientVector truth = PartialDrawing{10, 6, 8, 5, 20, -10, 35, {3}, {0}, 90, {200}, 0}.truth();
    const OvalConstruction k = buildOvalConstruction(truth);
    const ArcRadii radii = arcRadii(k, 3);
    const CurveStore curves = curveStoreOf(
        sampleOvalFamily(truth, std::vector<std::int32_t>{200}, 0, 1, partSeenOver(k, radii, -35, 90)));
    const std::optional<CurvatureStart> start = curvatureStart(curves.curves[0]);
    ASSERT_TRUE(start);
    // A positive rotation turns clockwise: the major axis points at -35 degrees.
    EXPECT_NEAR(std::remainder(start->ellipse.direction + 35 * degree, std::numbers::pi), 0, 10 * degree);
    EXPECT_LT(start->endRadius, start->topRadius);
    EXPECT_LT(std::hypot(start->ellipse.centreX - 20, start->ellipse.centreY + 10), 0.3 * static_cast<double>(radii.rMax));
}

TEST(CurvatureStart, NoneForAnEvenlyBentRing) {
    Curve arc;
    for (int i = 0; i < 40; ++i) {
        arc.x.push_back(7 + 5 * std::cos(i * 0.05));
        arc.y.push_back(-2 + 5 * std::sin(i * 0.05));
    }
    EXPECT_FALSE(curvatureStart(arc));
    arc.x.resize(8);
    arc.y.resize(8);
    EXPECT_FALSE(curvatureStart(arc));
}

}  // namespace
