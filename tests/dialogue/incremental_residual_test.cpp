// The incremental residual against the reference, ovalResidual: the same bits for every
// vector, whatever the points, the order of the vectors and the number of threads.

#include "dialogue/incremental_residual.hpp"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dialogue/coordinate_search.hpp"
#include "dialogue/optimiser.hpp"
#include "dialogue/residual.hpp"
#include "support/example_oval.hpp"
#include "support/noisy_ovals.hpp"

namespace {

using kelmartest::noisyOvalStore;

std::string hex(Real80 value) {
    char text[64];
    std::snprintf(text, sizeof text, "%La", value);
    return text;
}

bool sameBits(Real80 a, Real80 b) { return std::memcmp(&a, &b, 10) == 0; }

#define EXPECT_SAME_RESIDUAL(store, v, fast)                                                          \
    do {                                                                                              \
        const Real80 expected_ = ovalResidual(v, store);                                              \
        const Real80 actual_ = (fast)(v);                                                             \
        EXPECT_TRUE(sameBits(expected_, actual_)) << "reference " << hex(expected_) << ", incremental " \
                                                  << hex(actual_);                                   \
    } while (0)

void addCurve(CurveStore& store, std::vector<PlanePoint> points) {
    Curve curve;
    for (const PlanePoint& p : points) {
        curve.x.push_back(p.x);
        curve.y.push_back(p.y);
    }
    store.totalPointCount += static_cast<std::int32_t>(points.size());
    store.curves.push_back(std::move(curve));
}

CoefficientVector withCurves(CoefficientVector v, std::int32_t curves, Real80 spacing = 1) {
    while (v.coefCount() < 7 + curves) v.values.push_back(v.values.back() + spacing);
    return v;
}

/// Points within a few ulps of every sector line, between and beyond its two construction
/// points and along its equation, and the construction points themselves.
std::vector<PlanePoint> pointsOnSectorLines(const CoefficientVector& v) {
    using P = ConstructionPoint;
    const OvalConstruction k = buildOvalConstruction(v);
    const std::pair<P, P> ends[8] = {{P::B2, P::C1}, {P::B2, P::C2}, {P::B1, P::C2}, {P::B1, P::C1},
                                     {P::D3, P::A2}, {P::D2, P::A2}, {P::D1, P::A1}, {P::D4, P::A1}};
    std::vector<PlanePoint> points;
    for (const auto& [from, to] : ends) {
        const PlanePoint p = k.placedPoint(from);
        const PlanePoint q = k.placedPoint(to);
        for (const Real80 t : {-1.5L, -0.2L, 0.0L, 0.4L, 0.5L, 1.0L, 1.3L, 2.5L}) {
            const Real80 x = p.x + t * (q.x - p.x);
            const Real80 y = p.y + t * (q.y - p.y);
            points.push_back({x, y});
            for (const Real80 towards : {-1e9L, 1e9L}) {
                Real80 nx = x;
                Real80 ny = y;
                for (int s = 0; s < 3; ++s) {
                    nx = std::nextafter(nx, towards);
                    ny = std::nextafter(ny, -towards);
                    points.push_back({nx, y});
                    points.push_back({x, ny});
                    points.push_back({nx, ny});
                }
            }
        }
    }
    for (const LineEquation& line : buildSectorLines(k).lines) {
        for (const Real80 t : {-9.0L, -1.0L, 0.0L, 4.0L, 11.0L}) {
            const Real80 x = -line.a * line.c - t * line.b;
            const Real80 y = -line.b * line.c + t * line.a;
            points.push_back({x, y});
            points.push_back({std::nextafter(x, 1e9L), std::nextafter(y, -1e9L)});
            points.push_back({std::nextafter(x, -1e9L), y});
        }
    }
    for (const PlanePoint& p : k.placed) points.push_back(p);
    return points;
}

struct ThreadRow {
    std::string name;
    IncrementalResidualSettings settings;
};

void PrintTo(const ThreadRow& row, std::ostream* os) { *os << row.name; }

class IncrementalResidualAgrees : public ::testing::TestWithParam<ThreadRow> {
protected:
    IncrementalResidualSettings settings = GetParam().settings;
};

TEST_P(IncrementalResidualAgrees, RandomVectorsOverRandomPoints) {
    std::mt19937_64 random(3);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int trial = 0; trial < 12; ++trial) {
        // Points scattered over the oval's box (the middle falls through to UpperRight), on
        // the axes, and along the curves.
        const CoefficientVector truth = withCurves(example::ovalCoefficients(unit(random), unit(random),
                                                                             0.3 * unit(random)), 1 + trial % 4);
        CurveStore store = noisyOvalStore(truth, 5 + trial, 0.3L, trial);
        std::vector<PlanePoint> scattered;
        for (int n = 0; n < 300; ++n) scattered.push_back({20 * unit(random), 20 * unit(random)});
        for (int n = -10; n <= 10; ++n) scattered.push_back({0.0L, 1.5L * n});
        for (int n = -10; n <= 10; ++n) scattered.push_back({1.5L * n, 0.0L});
        addCurve(store, scattered);
        IncrementalResidual fast(store, settings);
        for (int vector = 0; vector < 25; ++vector) {
            CoefficientVector v = withCurves(truth, store.curveCount());
            for (Real80& c : v.values) c = c * (1 + 0.2L * unit(random)) + 0.05L * unit(random);
            EXPECT_SAME_RESIDUAL(store, v, fast);
        }
    }
}

TEST_P(IncrementalResidualAgrees, PointsOnAndWithinUlpsOfSectorLines) {
    for (const CoefficientVector& v :
         {example::ovalCoefficients(), example::ovalCoefficients(0.4L, -0.3L, 0.35L),
          example::ovalCoefficients(-2.5L, 1.25L, -1.1L, {0.5L}), example::ovalCoefficients(3, 4, 2.9L, {-4.0L})}) {
        CurveStore store;
        addCurve(store, pointsOnSectorLines(v));
        IncrementalResidual fast(store, settings);
        EXPECT_SAME_RESIDUAL(store, v, fast);
        // The same points seen from slightly moved constructions.
        for (const int k : {1, 3, 5, 7}) {
            CoefficientVector moved = v;
            moved.coef(k) = std::nextafter(moved.coef(k), 1e9L);
            EXPECT_SAME_RESIDUAL(store, moved, fast);
        }
        EXPECT_GT(fast.counts().extendedSectorTests, 0) << "no point went to the extended sector test";
    }
}

TEST_P(IncrementalResidualAgrees, DegenerateConstructions) {
    struct Degenerate {
        const char* what;
        Real80 oa, ob, oc, dc;
    };
    const Degenerate rows[] = {
        {"C on A", 8, 6, 8, 5},           {"D on C", 10, 6, 8, 0},   {"D on B", 10, 6, 8, 10},
        {"D beyond B", 10, 6, 8, 14},     {"A at centre", 0, 6, 8, 5}, {"A, C and D at centre", 0, 6, 0, 0},
        {"flat", 10, 1e-9L, 8, 5},        {"negative lengths", -10, -6, -8, -5}, {"OC beyond OA", 5, 6, 9, 3},
    };
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (const Degenerate& row : rows) {
        CoefficientVector v;
        v.values = {row.oa, row.ob, 0.1L, -0.2L, 0.05L, row.oc, row.dc, 2.0L, 0.0L};
        CurveStore store;
        std::vector<PlanePoint> scattered;
        for (int n = 0; n < 400; ++n) scattered.push_back({15 * unit(random), 15 * unit(random)});
        addCurve(store, scattered);
        addCurve(store, pointsOnSectorLines(v));
        IncrementalResidual fast(store, settings);
        SCOPED_TRACE(row.what);
        EXPECT_SAME_RESIDUAL(store, v, fast);
        v.coef(coefficient::ae(2)) = 3;
        EXPECT_SAME_RESIDUAL(store, v, fast);
    }
}

TEST_P(IncrementalResidualAgrees, PointsAtTheDistanceGuardFromArcCentres) {
    // A coordinate whose square is exactly the Real80 1e-20: at that squared distance from its
    // arc's centre a point has distance exactly 0, just beyond it the distance is kept. The
    // ovals are placed so that the centres of Top, RightEnd and LeftEnd lie at the origin.
    const Real80 r = 0xd.be6fecebdedd5bfp-37L;
    ASSERT_EQ(r * r, 1e-20L);
    const Real80 offsets[] = {r, std::nextafter(r, 1.0L), std::nextafter(r, 0.0L)};
    struct Placed {
        Real80 cx, cy;
        bool alongX;  // points (offset, 0) instead of (0, offset)
        Real80 sign;
    };
    for (const Placed& p : {Placed{0, 6, false, 1}, Placed{-10, 0, true, 1}, Placed{10, 0, true, -1}}) {
        CurveStore store;
        std::vector<PlanePoint> points;
        for (const Real80 offset : offsets) {
            points.push_back(p.alongX ? PlanePoint{p.sign * offset, 0} : PlanePoint{0, p.sign * offset});
        }
        addCurve(store, points);
        const CoefficientVector v = example::ovalCoefficients(p.cx, p.cy);
        IncrementalResidual fast(store, settings);
        EXPECT_SAME_RESIDUAL(store, v, fast);
    }
}

TEST_P(IncrementalResidualAgrees, EmptyCurvesAnywhere) {
    const CoefficientVector truth = withCurves(example::ovalCoefficients(0.2L, 0.1L, 0.05L), 3);
    // 256 points a curve: the empty curves begin where the threads' chunks do.
    const CurveStore full = noisyOvalStore(truth, 32, 0.05L, 9);
    // Empty curves first, between others and last, and several in a row.
    CurveStore store;
    store.curves = {Curve{}, full.curves[0], Curve{}, Curve{}, full.curves[1], full.curves[2], Curve{}};
    store.totalPointCount = full.totalPointCount;
    CoefficientVector v = withCurves(example::ovalCoefficients(0.2L, 0.1L, 0.05L), 7);
    IncrementalResidual fast(store, settings);
    EXPECT_SAME_RESIDUAL(store, v, fast);
    for (int j = 1; j <= 7; ++j) {
        v.coef(coefficient::ae(j)) += 0.125L;
        EXPECT_SAME_RESIDUAL(store, v, fast);
        v.coef(coefficient::oa) += 0.001L;
        EXPECT_SAME_RESIDUAL(store, v, fast);
    }
}

TEST_P(IncrementalResidualAgrees, SequenceLikeTheSearch) {
    // One coefficient changed at a time, walks and reversals, shared coefficients and AE
    // interleaved, vectors seen before, signs flipped, and -0 for +0.
    const CoefficientVector truth = withCurves(example::ovalCoefficients(0.3L, -0.2L, 0.02L), 4);
    const CurveStore store = noisyOvalStore(truth, 90, 0.02L, 13);
    std::mt19937_64 random(17);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    CoefficientVector v = truth;
    for (Real80& c : v.values) c = c * (1 + 0.03L * unit(random)) + startOffset;
    IncrementalResidual fast(store, settings);
    std::vector<CoefficientVector> seen;
    for (int sweep = 0; sweep < 6; ++sweep) {
        for (int k = 1; k <= v.coefCount(); ++k) {
            Real80& c = v.coef(k);
            const Real80 step = c / 100 * (sweep + 1);
            EXPECT_SAME_RESIDUAL(store, v, fast);
            EXPECT_SAME_RESIDUAL(store, v, fast);  // the same vector twice
            for (int n = 0; n < 3; ++n) {
                c += step;
                EXPECT_SAME_RESIDUAL(store, v, fast);
            }
            c -= step * 2.5L;
            seen.push_back(v);
        }
        v.coef(coefficient::ae(1 + sweep % 4)) = -v.coef(coefficient::ae(1 + sweep % 4));
        EXPECT_SAME_RESIDUAL(store, v, fast);
        v.coef(coefficient::ae(1)) += 0.01L;
        v.coef(coefficient::rotation) += 1e-4L;
        EXPECT_SAME_RESIDUAL(store, v, fast);
    }
    for (std::size_t n = seen.size(); n-- > 0;) EXPECT_SAME_RESIDUAL(store, seen[n], fast);
    v.coef(coefficient::rotation) = 0.0L;
    EXPECT_SAME_RESIDUAL(store, v, fast);
    v.coef(coefficient::rotation) = -0.0L;
    EXPECT_SAME_RESIDUAL(store, v, fast);
    v.coef(coefficient::ae(4)) = 0.0L;
    EXPECT_SAME_RESIDUAL(store, v, fast);
    v.coef(coefficient::ae(4)) = -0.0L;
    EXPECT_SAME_RESIDUAL(store, v, fast);
}

TEST_P(IncrementalResidualAgrees, WholeSearchEvaluatesTheSameVectorsToTheSameBits) {
    const CoefficientVector truth = withCurves(example::ovalCoefficients(0.2L, -0.1L, 0.02L), 3, 1.5L);
    const CurveStore store = noisyOvalStore(truth, 20, 0.01L, 21);
    CoefficientVector start = truth;
    for (std::size_t k = 0; k < start.values.size(); ++k) start.values[k] = start.values[k] * (1.02L - 0.005L * k) + startOffset;

    struct Recorded {
        std::vector<Real80> residuals;
        std::vector<Real80> reported;
        CoefficientVector coefficients;
        FitTotals totals;
    };
    auto searchWith = [&](auto& evaluate) {
        Recorded r;
        r.coefficients = start;
        auto recording = [&](const CoefficientVector& v) {
            r.residuals.push_back(evaluate(v));
            return r.residuals.back();
        };
        coordinateSearch(r.coefficients, r.totals, checkpointInterval, recording,
                         [&](const CoefficientVector&, const FitTotals& t) { r.reported.push_back(t.residual); });
        return r;
    };
    ReferenceResidual reference{store};
    IncrementalResidual fast(store, settings);
    const Recorded expected = searchWith(reference);
    std::int64_t newConstructions = 0;
    CoefficientVector previous;
    auto countingFast = [&](const CoefficientVector& v) {
        if (previous.values.empty() || !std::equal(v.values.begin(), v.values.begin() + 7, previous.values.begin(),
                                                   [](Real80 a, Real80 b) { return sameBits(a, b); })) {
            ++newConstructions;
        }
        previous = v;
        return fast(v);
    };
    const Recorded actual = searchWith(countingFast);

    ASSERT_EQ(actual.residuals.size(), expected.residuals.size());
    for (std::size_t n = 0; n < expected.residuals.size(); ++n) {
        ASSERT_TRUE(sameBits(actual.residuals[n], expected.residuals[n])) << "evaluation " << n;
    }
    ASSERT_EQ(actual.reported.size(), expected.reported.size());
    for (std::size_t k = 0; k < start.values.size(); ++k) {
        EXPECT_TRUE(sameBits(actual.coefficients.values[k], expected.coefficients.values[k])) << "coefficient " << k + 1;
    }
    EXPECT_TRUE(sameBits(actual.totals.residual, expected.totals.residual));
    // Only a change of OA, OB, centre, rotation, OC or DC measures the points again.
    EXPECT_EQ(fast.counts().constructions, newConstructions);
    EXPECT_LT(newConstructions, static_cast<std::int64_t>(expected.residuals.size()));
}

INSTANTIATE_TEST_SUITE_P(
    IncrementalResidual, IncrementalResidualAgrees,
    ::testing::Values(ThreadRow{"oneThread", {1, defaultMinPointsForThreads}},
                      ThreadRow{"twoThreadsFromTheFirstPoint", {2, 0}},
                      ThreadRow{"threeThreadsFromTheFirstPoint", {3, 0}},
                      ThreadRow{"asTheFitRunsIt", {}}),
    [](const auto& info) { return info.param.name; });

TEST(IncrementalResidual, OnlyChangedRadiiAreMeasuredAgain) {
    const CoefficientVector truth = withCurves(example::ovalCoefficients(), 5);
    const CurveStore store = noisyOvalStore(truth, 10, 0.01L, 1);
    IncrementalResidual fast(store, {1, defaultMinPointsForThreads});
    CoefficientVector v = truth;
    fast(v);
    v.coef(coefficient::ae(4)) += 0.5L;
    fast(v);
    fast(v);
    v.coef(coefficient::ae(2)) += 0.5L;
    v.coef(coefficient::ae(5)) += 0.5L;
    fast(v);
    EXPECT_EQ(fast.counts().constructions, 1);
    EXPECT_EQ(fast.counts().curvesRemeasured, 3);
    v.coef(coefficient::dc) += 0.5L;
    fast(v);
    EXPECT_EQ(fast.counts().constructions, 2);
}

struct FaultRow {
    std::string name;
    Real80 scale;  // of the lengths, the centre and the points
    Real80 tiny;   // magnitude of a further curve of tiny points, or 0
};

void PrintTo(const FaultRow& row, std::ostream* os) { *os << row.name; }

class IncrementalResidualFaults : public ::testing::TestWithParam<FaultRow> {};

// The program stops at any overflow, invalid operation or division by zero: the fast path
// may raise none that the reference does not.
TEST_P(IncrementalResidualFaults, RaisesNoFloatingPointExceptionTheReferenceDoesNot) {
    const Real80 scale = GetParam().scale;
    CoefficientVector v = example::ovalCoefficients(0.5L * scale, -0.25L * scale, 0.1L);
    for (const int k : {1, 2, 6, 7, 8}) v.coef(k) *= scale;
    CurveStore store = noisyOvalStore(v, 12, 0.01L * scale, 2);
    addCurve(store, pointsOnSectorLines(v));
    if (GetParam().tiny != 0) {
        const Real80 t = GetParam().tiny;
        addCurve(store, {{t, -t}, {-3 * t, 2 * t}, {0, t}, {t / 7, 0}});
        v.values.push_back(t);
    }
    const int faults = FE_OVERFLOW | FE_INVALID | FE_DIVBYZERO;

    std::feclearexcept(FE_ALL_EXCEPT);
    const Real80 expected = ovalResidual(v, store);
    const int referenceFaults = std::fetestexcept(faults);
    std::feclearexcept(FE_ALL_EXCEPT);
    IncrementalResidual fast(store, {1, defaultMinPointsForThreads});
    const Real80 actual = fast(v);
    const int fastFaults = std::fetestexcept(faults);
    std::feclearexcept(FE_ALL_EXCEPT);

    EXPECT_TRUE(sameBits(expected, actual)) << hex(expected) << " " << hex(actual);
    EXPECT_EQ(fastFaults & ~referenceFaults, 0);
}

INSTANTIATE_TEST_SUITE_P(IncrementalResidual, IncrementalResidualFaults,
                         ::testing::Values(FaultRow{"ordinary", 1, 0}, FaultRow{"nearTheFilterLimit", 1e149L, 0},
                                           FaultRow{"beyondTheFilterLimit", 1e151L, 0},
                                           FaultRow{"beyondDoubleRange", 1e400L, 0},
                                           FaultRow{"pointsUnderflowingInDouble", 1, 1e-310L},
                                           FaultRow{"pointsBelowDoubleRange", 1, 1e-1000L}),
                         [](const auto& info) { return info.param.name; });

}  // namespace
