#include "fit/oval_fit.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <ostream>
#include <string>
#include <vector>

#include "fit/fit_quality.hpp"
#include "fit/own_frame_arc.hpp"
#include "fit/ring_deviations.hpp"
#include "fit/starting_values.hpp"
#include "oval_sampling.hpp"

namespace {

constexpr double degree = std::numbers::pi / 180;

/// An oval family: the construction, the placement and one AE per ring.
struct Oval {
    double oa, ob, oc, dc;
    double cx, cy, rotationDegrees;
    std::vector<double> ae;

    CoefficientVector coefficients() const {
        CoefficientVector v;
        v.values = {oa, ob, cx, cy, rotationDegrees * degree, oc, dc};
        v.values.insert(v.values.end(), ae.begin(), ae.end());
        return v;
    }
};

const Oval defaultOval{10, 6, 8, 5, 0, 0, 0, {2, 3, 4}};

/// The distance of (x, y) from the nearest point of curve j, arc by arc: measured without any
/// sector test, so that it checks the one the fit uses.
double distanceFromOval(const CoefficientVector& c, std::int32_t j, double x, double y) {
    const OvalConstruction k = buildOvalConstruction(c);
    double nearest = INFINITY;
    for (const ArcTableRow& row : arcTable(k, arcRadii(k, c.coef(coefficient::ae(j))))) {
        const double cx = static_cast<double>(row.centre.x), cy = static_cast<double>(row.centre.y);
        const double r = static_cast<double>(row.radius);
        const double start = static_cast<double>(
            directionAngle(row.startFrom.x, row.startFrom.y, row.startTo.x, row.startTo.y));
        const double sweep = static_cast<double>(arcSweep(row));
        const double along = std::remainder(std::atan2(y - cy, x - cx) - start - std::numbers::pi, 2 * std::numbers::pi) + std::numbers::pi;
        if (along <= sweep) {
            nearest = std::min(nearest, std::fabs(std::hypot(x - cx, y - cy) - r));
        } else {
            for (const double end : {start, start + sweep}) {
                nearest = std::min(nearest, std::hypot(x - cx - r * std::cos(end), y - cy - r * std::sin(end)));
            }
        }
    }
    return nearest;
}

double independentRms(const CoefficientVector& c, const CurveStore& curves) {
    double sum = 0;
    std::int64_t count = 0;
    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
        for (std::int32_t i = 1; i <= curves.pointCount(j); ++i, ++count) {
            const double d = distanceFromOval(c, j, static_cast<double>(curves.x(j, i)), static_cast<double>(curves.y(j, i)));
            sum += d * d;
        }
    }
    return std::sqrt(sum / static_cast<double>(count));
}

// ---------------------------------------------------------------- the arc of a point in the own frame

struct PlacedOvalRow {
    std::string name;
    Oval oval;
};
void PrintTo(const PlacedOvalRow& row, std::ostream* os) { *os << row.name; }

class OwnFrameDeviation : public ::testing::TestWithParam<PlacedOvalRow> {};

// Points on every arc, moved along their arc's radius by a known amount: the deviation is that
// amount wherever the oval lies and however it is turned.
TEST_P(OwnFrameDeviation, IsTheDistanceAlongTheRadiusOfThePointsOwnArc) {
    const CoefficientVector c = GetParam().oval.coefficients();
    const OvalConstruction k = buildOvalConstruction(c);
    const auto arcs = arcTable(k, arcRadii(k, c.coef(coefficient::ae(1))));
    std::mt19937_64 random(3);
    const auto sampled = sampleOvalCurve(k, arcRadii(k, c.coef(coefficient::ae(1))), 200, 0, random);
    CurveStore store;
    store.curves.resize(1);
    std::vector<double> moved;
    for (std::size_t i = 0; i < sampled.size(); ++i) {
        const ArcTableRow& row = arcs[static_cast<std::size_t>(sampled[i].arc) - 1];
        const double shift = (i % 2 == 0 ? 0.4 : -0.7) * static_cast<double>(c.coef(coefficient::ae(1))) / 2;
        const double dx = static_cast<double>(sampled[i].at.x - row.centre.x);
        const double dy = static_cast<double>(sampled[i].at.y - row.centre.y);
        const double length = std::hypot(dx, dy);
        store.curves[0].x.push_back(sampled[i].at.x + shift * dx / length);
        store.curves[0].y.push_back(sampled[i].at.y + shift * dy / length);
        moved.push_back(shift);
    }
    CoefficientVector one = c;
    one.values.resize(coefficient::sharedCount + 1);
    const OwnFrameDeviations d = ownFrameDeviations(one, store);
    for (std::size_t i = 0; i < moved.size(); ++i) ASSERT_NEAR(static_cast<double>(d.byCurve[0][i]), moved[i], 1e-9) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Fit, OwnFrameDeviation,
    ::testing::Values(PlacedOvalRow{"atTheOrigin", defaultOval},
                      PlacedOvalRow{"turned37FarAway", {10, 6, 8, 5, 300, -200, 37, {2}}},
                      PlacedOvalRow{"turnedMinus90", {10, 6, 8, 5, -5, 7, -90, {2}}},
                      PlacedOvalRow{"tallConstruction", {28, 30, 16, 17, 0.42, -0.31, 3.5, {10}}}),
    [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------- derivatives for the solver

class RingDerivatives : public ::testing::TestWithParam<PlacedOvalRow> {};

TEST_P(RingDerivatives, MatchCentralDifferences) {
    const Oval& o = GetParam().oval;
    const CurveStore store = curveStoreOf(sampleOvalFamily(o.coefficients(), std::vector<std::int32_t>{90}, 0.3L, 5, {}));
    RingPoints ring;
    ring.curve = 1;
    for (std::size_t i = 0; i < store.curves[0].x.size(); ++i) {
        ring.x.push_back(static_cast<double>(store.curves[0].x[i]));
        ring.y.push_back(static_cast<double>(store.curves[0].y[i]));
    }
    // A trial oval a little off the one the points came from, as the solver meets it.
    const double m = std::hypot(o.oc, o.ob);
    double shared[sharedVariableCount] = {o.cx + 0.05, o.cy - 0.03, (o.rotationDegrees + 1) * degree,
                                          o.oa * 1.02, o.ob * 0.98, o.oc / o.oa, o.dc / m * 1.01};
    const double ae = o.ae[0] * 1.03;
    const std::size_t n = ring.x.size();
    std::vector<double> deviations(n), sharedRows(n * sharedVariableCount), aeRows(n);
    ASSERT_TRUE(evaluateRing(ring, shared, ae, deviations.data(), sharedRows.data(), aeRows.data()));

    const double h = 1e-6;
    for (int k = 0; k <= sharedVariableCount; ++k) {
        double plusShared[sharedVariableCount], minusShared[sharedVariableCount];
        std::copy(shared, shared + sharedVariableCount, plusShared);
        std::copy(shared, shared + sharedVariableCount, minusShared);
        double plusAe = ae, minusAe = ae;
        if (k < sharedVariableCount) {
            plusShared[k] += h;
            minusShared[k] -= h;
        } else {
            plusAe += h;
            minusAe -= h;
        }
        const std::vector<double> plus = ringDeviations(ring, plusShared, plusAe);
        const std::vector<double> minus = ringDeviations(ring, minusShared, minusAe);
        for (std::size_t i = 0; i < n; ++i) {
            const double numeric = (plus[i] - minus[i]) / (2 * h);
            const double analytic = k < sharedVariableCount ? sharedRows[i * sharedVariableCount + k] : aeRows[i];
            ASSERT_NEAR(analytic, numeric, 1e-5 * (1 + std::fabs(numeric))) << "variable " << k << ", point " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Fit, RingDerivatives,
                         ::testing::Values(PlacedOvalRow{"atTheOrigin", defaultOval},
                                           PlacedOvalRow{"turnedFarAway", {10, 6, 8, 5, 300, -200, 61, {2}}},
                                           PlacedOvalRow{"tallConstruction", {28, 30, 16, 17, 0.4, -0.3, -80, {10}}}),
                         [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------- the ellipse of a ring

struct EllipseRow {
    std::string name;
    double cx, cy, semiMajor, semiMinor, directionDegrees;
    double fromDegrees, spanDegrees;  // the stretch of the ellipse its points cover
};
void PrintTo(const EllipseRow& row, std::ostream* os) { *os << row.name; }

class RingEllipseFit : public ::testing::TestWithParam<EllipseRow> {};

TEST_P(RingEllipseFit, RecoversAnExactEllipse) {
    const EllipseRow& e = GetParam();
    Curve curve;
    for (int i = 0; i < 40; ++i) {
        const double t = (e.fromDegrees + e.spanDegrees * i / 39.0) * degree;
        const double u = e.semiMajor * std::cos(t), v = e.semiMinor * std::sin(t);
        const double d = e.directionDegrees * degree;
        curve.x.push_back(e.cx + u * std::cos(d) - v * std::sin(d));
        curve.y.push_back(e.cy + u * std::sin(d) + v * std::cos(d));
    }
    const std::optional<RingEllipse> found = fitRingEllipse(curve);
    ASSERT_TRUE(found);
    const double tolerance = 1e-7 * e.semiMajor;
    EXPECT_NEAR(found->centreX, e.cx, tolerance);
    EXPECT_NEAR(found->centreY, e.cy, tolerance);
    EXPECT_NEAR(found->semiMajor, e.semiMajor, tolerance);
    EXPECT_NEAR(found->semiMinor, e.semiMinor, tolerance);
    // A direction and its opposite are one axis.
    EXPECT_NEAR(std::remainder(found->direction - e.directionDegrees * degree, std::numbers::pi), 0, 1e-7);
}

INSTANTIATE_TEST_SUITE_P(Fit, RingEllipseFit,
                         ::testing::Values(EllipseRow{"whole", 0, 0, 12, 7, 0, 0, 360},
                                           EllipseRow{"turnedAndFarAway", 5e5, -4e6, 38, 22, 71, 0, 360},
                                           EllipseRow{"halfAcrossTheEnds", -300, 200, 12, 7, -35, 60, 180},
                                           EllipseRow{"quarter", 10, 10, 20, 5, 120, 10, 90}),
                         [](const auto& info) { return info.param.name; });

TEST(RingEllipseFit, NoneForPointsOnALineOrTooFew) {
    Curve line;
    for (int i = 0; i < 10; ++i) {
        line.x.push_back(i);
        line.y.push_back(2 * i + 1);
    }
    EXPECT_FALSE(fitRingEllipse(line));
    line.x.resize(4);
    line.y.resize(4);
    EXPECT_FALSE(fitRingEllipse(line));
}

// ---------------------------------------------------------------- the whole automatic fit

struct DrawingRow {
    std::string name;
    Oval oval;
    std::vector<std::int32_t> points;  // per ring
    PerimeterPart part;
    double noise;
};
void PrintTo(const DrawingRow& row, std::ostream* os) { *os << row.name; }

class AutomaticFit : public ::testing::TestWithParam<DrawingRow> {};

// What `kelmar fit` promises: from the points alone, within 2 % of the best rms a careful fit from
// the true oval reaches, and the rms it reports is the deviation of the points from the oval it
// reports.
TEST_P(AutomaticFit, EndsWithin2PercentOfTheFitFromTheTruth) {
    const DrawingRow& row = GetParam();
    const CoefficientVector truth = row.oval.coefficients();
    const CurveStore curves = curveStoreOf(sampleOvalFamily(truth, row.points, row.noise, 11, row.part));
    OvalFitSettings careful;
    careful.maxIterations = 1000;
    careful.functionTolerance = 1e-15;
    careful.stallFraction = 0;
    const OvalFit best = fitOval(curves, truth, careful);
    const double bestRms = independentRms(best.coefficients, curves);

    const std::optional<AutomaticStart> start = startingValues(curves);
    ASSERT_TRUE(start);
    const OvalFitSettings settings;
    const OvalFit fit = fitOval(curves, start->coefficients, settings);
    const FitQuality quality = assessFit(curves, fit, settings);
    const double rms = independentRms(fit.coefficients, curves);
    EXPECT_LE(rms, 1.02 * bestRms);
    EXPECT_NEAR(static_cast<double>(quality.deviations.rms), rms, 1e-9 * rms);
    EXPECT_EQ(fit.stopReason, StopReason::Converged);
    EXPECT_EQ(quality.fault, ConstructionFault::None);
}

INSTANTIATE_TEST_SUITE_P(
    Fit, AutomaticFit,
    ::testing::Values(
        DrawingRow{"amphitheatre", {28, 30, 16, 17, 0.42, -0.31, 3.5, {10, 13.5, 66}}, {96}, {}, 0.03},
        DrawingRow{"turned90FarAway", {10, 6, 8, 5, 300, 0, 90, {2, 3, 4}}, {60}, {}, 0.01},
        DrawingRow{"halfRingsTurnedMinus75", {10, 6, 8, 5, -200, 150, -75, {2, 3, 4}}, {400}, {0.6L, 0.5L}, 0.02},
        DrawingRow{"uneven400_60_15", {12, 20, 7, 15, 150, -250, 30, {5, 9, 14}}, {400, 60, 15}, {}, 0.05},
        DrawingRow{"nearCircular", {1, 1.2, 0.6, 0.7, -100, -100, 45, {30}}, {60}, {}, 0.05},
        DrawingRow{"fifteenPointsOnHalfARing", {8.1, 5.25, 5.26, 5.66, 41, -115, -38, {15.1}}, {15}, {0.2L, 0.5L}, 0.018},
        DrawingRow{"pointedHalfRing", {6.25, 2.58, 4.66, 1.15, 29, 132, -73, {2.92}}, {60}, {0.75L, 0.5L}, 0.0024}),
    [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------- uncertainty and outliers

// The standard errors are what the semi-axes and the centre actually scatter by from one noisy
// digitisation to the next.
TEST(OvalFit, StandardErrorsMatchTheScatterOverNoiseDraws) {
    const CoefficientVector truth = Oval{10, 6, 8, 5, 40, -30, 25, {3}}.coefficients();
    constexpr int draws = 30;
    std::vector<double> major, centre;
    double reportedMajor = 0, reportedCentre = 0;
    for (int seed = 1; seed <= draws; ++seed) {
        const CurveStore curves = curveStoreOf(sampleOvalFamily(truth, std::vector<std::int32_t>{120}, 0.02L, seed, {}));
        const OvalFit fit = fitOval(curves, truth, OvalFitSettings{});
        ASSERT_TRUE(fit.standardErrors);
        const OvalConstruction k = buildOvalConstruction(fit.coefficients);
        major.push_back(static_cast<double>(k.oa + fit.coefficients.coef(coefficient::ae(1))));
        centre.push_back(static_cast<double>(fit.coefficients.coef(coefficient::centreX)));
        reportedMajor += fit.standardErrors->rings[0]->semiMajor / draws;
        reportedCentre += fit.standardErrors->centreX / draws;
    }
    auto spread = [](const std::vector<double>& v) {
        double mean = 0, square = 0;
        for (const double x : v) mean += x / static_cast<double>(v.size());
        for (const double x : v) square += (x - mean) * (x - mean) / static_cast<double>(v.size() - 1);
        return std::sqrt(square);
    };
    EXPECT_GT(reportedMajor / spread(major), 0.6);
    EXPECT_LT(reportedMajor / spread(major), 1.6);
    EXPECT_GT(reportedCentre / spread(centre), 0.6);
    EXPECT_LT(reportedCentre / spread(centre), 1.6);
}

TEST(OvalFit, RobustLossIgnoresSlipsAndListsThem) {
    const CoefficientVector truth = Oval{10, 6, 8, 5, 50, 0, 20, {2}}.coefficients();
    CurveStore curves = curveStoreOf(sampleOvalFamily(truth, std::vector<std::int32_t>{200}, 0.01L, 4, {}));
    for (const std::size_t slip : {10u, 50u, 120u}) curves.curves[0].x[slip] += 1.5L;

    const OvalFit plain = fitOval(curves, truth, OvalFitSettings{});
    OvalFitSettings robust;
    robust.robust = true;
    const OvalFit fit = fitOval(curves, truth, robust);
    auto centreError = [&](const OvalFit& f) {
        return std::hypot(static_cast<double>(f.coefficients.coef(coefficient::centreX) - 50),
                          static_cast<double>(f.coefficients.coef(coefficient::centreY)));
    };
    EXPECT_LT(centreError(fit), 0.003);
    EXPECT_GT(centreError(plain), 3 * centreError(fit));
    ASSERT_EQ(fit.downWeighted.size(), 3u);
    EXPECT_EQ(fit.downWeighted[0].point, 11);
    EXPECT_EQ(fit.downWeighted[1].point, 51);
    EXPECT_EQ(fit.downWeighted[2].point, 121);
}

// ---------------------------------------------------------------- what the points cover

struct CoverageRow {
    std::string name;
    PerimeterPart part;
    std::int32_t points;
    double degrees;
};
void PrintTo(const CoverageRow& row, std::ostream* os) { *os << row.name; }

class RingCoverage : public ::testing::TestWithParam<CoverageRow> {};

TEST_P(RingCoverage, IsTheAngleThePointsSpanAboutTheCentre) {
    const CoefficientVector c = Oval{10, 6, 8, 5, -20, 30, 50, {2}}.coefficients();
    const CurveStore curves = curveStoreOf(sampleOvalFamily(c, std::vector<std::int32_t>{GetParam().points}, 0, 1, GetParam().part));
    EXPECT_NEAR(coveredAngleDegrees(curves.curves[0], -20, 30), GetParam().degrees, 4);
}

INSTANTIATE_TEST_SUITE_P(Fit, RingCoverage,
                         ::testing::Values(CoverageRow{"wholeRing", {}, 100, 360},
                                           CoverageRow{"halfRing", {0.1L, 0.5L}, 60, 180},
                                           CoverageRow{"sparseHalfRing", {0.3L, 0.5L}, 15, 180}),
                         [](const auto& info) { return info.param.name; });

TEST(FitQualityWarnings, NameAnEmptyRingAndOneThatCoversTooLittle) {
    const CoefficientVector c = defaultOval.coefficients();
    const CurveStore curves = curveStoreOf(sampleOvalFamily(c, std::vector<std::int32_t>{80, 40, 0}, 0.01L, 2, {0.0L, 0.2L}));
    const OvalFit fit = fitOval(curves, c, OvalFitSettings{});
    const FitQuality q = assessFit(curves, fit, OvalFitSettings{});
    auto warned = [&q](const std::string& text) {
        for (const std::string& w : q.warnings) {
            if (w.find(text) != std::string::npos) return true;
        }
        return false;
    };
    EXPECT_TRUE(warned("ring 1's points cover only"));
    EXPECT_TRUE(warned("ring 2's points cover only"));
    EXPECT_TRUE(warned("ring 3 has no points"));
    EXPECT_EQ(fit.coefficients.coef(coefficient::ae(3)), 4);  // not fitted: kept as started
}

}  // namespace
