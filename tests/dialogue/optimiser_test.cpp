#include "dialogue/optimiser.hpp"

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <set>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dialogue/coordinate_search.hpp"
#include "dialogue/residual.hpp"
#include "model/oval_construction.hpp"
#include "support/example_oval.hpp"
#include "support/noisy_ovals.hpp"

namespace {

using Values = std::vector<Real80>;

/// A residual that records every vector it is asked about.
struct RecordingResidual {
    std::function<Real80(const Values&)> f;
    std::vector<Values> evaluated;
    Real80 operator()(const CoefficientVector& v) {
        evaluated.push_back(v.values);
        return f(v.values);
    }
};

struct SearchOutcome {
    CoefficientVector coefficients;
    FitTotals totals;
    std::vector<Values> evaluated;
    std::vector<Real80> reportedResiduals;
};

SearchOutcome search(Values start, std::int32_t checkInterval, std::function<Real80(const Values&)> f) {
    SearchOutcome out;
    out.coefficients.values = std::move(start);
    RecordingResidual residual{std::move(f), {}};
    coordinateSearch(out.coefficients, out.totals, checkInterval, residual,
                     [&out](const CoefficientVector&, const FitTotals& totals) {
                         out.reportedResiduals.push_back(totals.residual);
                     });
    out.evaluated = std::move(residual.evaluated);
    return out;
}

Real80 square(Real80 x) { return x * x; }

// ---------------------------------------------------------------- one coordinate at a time

TEST(CoordinateSearch, ZeroStepNeverMovesAndStopsAtSecondCheckpoint) {
    const SearchOutcome out = search({0.0L}, 50, [](const Values& c) { return square(c[0] - 3) + 1; });
    for (const Values& v : out.evaluated) ASSERT_EQ(v[0], 0.0L);
    // Each visit: two probe evaluations and ten walk evaluations; the second checkpoint
    // comes at the 100th walk evaluation, the last one of the tenth visit.
    EXPECT_EQ(out.evaluated.size(), 120u);
    EXPECT_TRUE(out.reportedResiduals.empty());
    EXPECT_EQ(out.totals.residual, 10.0L);
}

TEST(CoordinateSearch, ZeroStepHoldsTheSweepOnItsCoefficient) {
    const SearchOutcome out =
        search({1.0L, 0.0L}, 50, [](const Values& c) { return square(c[0] - 1.5L) + square(c[1] - 1) + 2; });
    std::set<Real80> lateFirstCoefficients;
    for (std::size_t i = 0; i < out.evaluated.size(); ++i) {
        ASSERT_EQ(out.evaluated[i][1], 0.0L);
        if (i >= out.evaluated.size() / 2) lateFirstCoefficients.insert(out.evaluated[i][0]);
    }
    EXPECT_EQ(lateFirstCoefficients.size(), 1u);
    EXPECT_TRUE(out.reportedResiduals.empty());
}

struct ProbeRow {
    std::string name;
    Real80 start;
    Real80 firstProbe;
};

void PrintTo(const ProbeRow& row, std::ostream* os) { *os << row.name; }

class FirstProbe : public ::testing::TestWithParam<ProbeRow> {};

TEST_P(FirstProbe, MovesAwayFromZeroByOneHundredth) {
    const ProbeRow& row = GetParam();
    const SearchOutcome out = search({row.start}, 20, [](const Values& c) { return square(c[0]); });
    ASSERT_GE(out.evaluated.size(), 2u);
    EXPECT_EQ(out.evaluated[0][0], row.start);
    EXPECT_NEAR(out.evaluated[1][0], row.firstProbe, 1e-18L);
}

INSTANTIATE_TEST_SUITE_P(CoordinateSearch, FirstProbe,
                         ::testing::Values(ProbeRow{"negativeCoefficient", -2.0L, -2.02L},
                                           ProbeRow{"positiveCoefficient", 2.0L, 2.02L}),
                         [](const auto& info) { return info.param.name; });

// A single coefficient starting at 1 (step 0.01) on the parabola (c - target)^2.
struct WalkRow {
    std::string name;
    Real80 target;
    int walkSteps;
    Real80 corrected;  // where the next probe starts
    Real80 nextStep;
};

void PrintTo(const WalkRow& row, std::ostream* os) { *os << row.name; }

class WalkAndCorrection : public ::testing::TestWithParam<WalkRow> {};

TEST_P(WalkAndCorrection, EndsWhereTheParabolaSays) {
    const WalkRow& row = GetParam();
    const SearchOutcome out = search({1.0L}, 20, [&row](const Values& c) { return square(c[0] - row.target); });
    const std::size_t nextProbe = 2 + static_cast<std::size_t>(row.walkSteps);
    ASSERT_GT(out.evaluated.size(), nextProbe + 1);
    EXPECT_NEAR(out.evaluated[nextProbe][0], row.corrected, 1e-15L);
    EXPECT_NEAR(out.evaluated[nextProbe + 1][0] - out.evaluated[nextProbe][0], row.nextStep, 1e-15L);
}

INSTANTIATE_TEST_SUITE_P(
    CoordinateSearch, WalkAndCorrection,
    ::testing::Values(
        // probe 1.01 better, walk 1.02 worse: q = 0.8, the vertex 1.012; step 0.01 / 5
        WalkRow{"oneStepLandsOnVertex", 1.012L, 1, 1.012L, 0.002L},
        // probe 1.01 worse, back to 1, walk 0.99 worse: q = 0.6, the vertex 0.996
        WalkRow{"oneStepBackwardsLandsOnVertex", 0.996L, 1, 0.996L, 0.002L},
        // 0.98 is worse than 0.99 but not than the start 1, so the walk reaches 0.97:
        // q = 11/13, coefficient 0.97 + 0.01 * 11/13, step 0.01 * 3 / 5
        WalkRow{"walkComparesWithItsStart", 0.988L, 3, 0.978461538461538461538L, 0.006L}),
    [](const auto& info) { return info.param.name; });

TEST(CoordinateSearch, ProbeThatIsNoBetterTurnsBack) {
    // Flat up to 1.015: the probe to 1.01 is no better than the start, so the walk goes down.
    const SearchOutcome out = search({1.0L}, 20, [](const Values& c) { return c[0] > 1.015L ? 2.0L : 1.0L; });
    ASSERT_GT(out.evaluated.size(), 3u);
    EXPECT_NEAR(out.evaluated[1][0], 1.01L, 1e-15L);
    EXPECT_NEAR(out.evaluated[2][0], 0.99L, 1e-15L);
    EXPECT_NEAR(out.evaluated[3][0], 0.98L, 1e-15L);
}

TEST(CoordinateSearch, TenStepWalkEnlargesStepAndProbesSameCoefficientAgain) {
    const SearchOutcome out =
        search({1.0L, 5.0L}, 20, [](const Values& c) { return square(c[0] - 2) + square(c[1] - 5); });
    ASSERT_GT(out.evaluated.size(), 14u);
    // Probe (2), ten walk steps (10), then the new probe of coefficient 1 (2).
    for (std::size_t i = 0; i < 14; ++i) EXPECT_EQ(out.evaluated[i][1], 5.0L) << "evaluation " << i;
    EXPECT_NEAR(out.evaluated[11][0], 1.11L, 1e-15L);
    EXPECT_NEAR(out.evaluated[12][0], 1.11L, 1e-15L);
    EXPECT_NEAR(out.evaluated[13][0] - out.evaluated[12][0], 0.1L, 1e-15L);
}

TEST(CoordinateSearch, UnchangingResidualStopsAtSecondCheckpointSilently) {
    const SearchOutcome out = search({1.0L, 2.0L, 3.0L}, 500, [](const Values&) { return 7.0L; });
    // 1000 walk evaluations, and two probe evaluations for every ten of them.
    EXPECT_EQ(out.evaluated.size(), 1200u);
    EXPECT_TRUE(out.reportedResiduals.empty());
    EXPECT_EQ(out.totals.residual, 7.0L);
}

TEST(CoordinateSearch, GrowingResidualDoesNotRaiseTheBestCheckpoint) {
    // A flat residual makes every visit two probes and ten walk steps, so with an interval
    // of 20 the checkpoints fall on evaluations 24, 48 and 72: here at residuals 5, 6 and 5.
    int calls = 0;
    const SearchOutcome out = search({1.0L}, 20, [&calls](const Values&) {
        ++calls;
        return calls > 24 && calls <= 48 ? 6.0L : 5.0L;
    });
    // The third checkpoint is no better than the best (5), not than the last (6): it stops.
    EXPECT_EQ(out.reportedResiduals, std::vector<Real80>{6.0L});
    EXPECT_EQ(out.evaluated.size(), 72u);
    EXPECT_EQ(out.totals.residual, 5.0L);
}

struct LimitRow {
    std::string name;
    Real80 first;
    Real80 change;  // per evaluation
};

void PrintTo(const LimitRow& row, std::ostream* os) { *os << row.name; }

class ReportLimit : public ::testing::TestWithParam<LimitRow> {};

TEST_P(ReportLimit, EndsAfterOneHundredSummaries) {
    const LimitRow& row = GetParam();
    Real80 next = row.first;
    const SearchOutcome out = search({1.0L, -1.0L}, 20, [&](const Values&) {
        const Real80 value = next;
        next += row.change;
        return value;
    });
    EXPECT_EQ(out.reportedResiduals.size(), 100u);
    // The run's residual is the one of the vector left behind, the last evaluated.
    EXPECT_EQ(out.totals.residual, next - row.change);
    EXPECT_EQ(out.coefficients.values, out.evaluated.back());
}

INSTANTIATE_TEST_SUITE_P(CoordinateSearch, ReportLimit,
                         ::testing::Values(LimitRow{"fallingResidual", 1000.0L, -0.001L},
                                           LimitRow{"growingResidual", 1.0L, 0.001L}),
                         [](const auto& info) { return info.param.name; });

TEST(CoordinateSearch, NotANumberEndsTheWalkAndSkipsTheCorrection) {
    const SearchOutcome out = search({1.0L}, 20, [](const Values& c) {
        return c[0] > 1.055L ? std::numeric_limits<Real80>::quiet_NaN() : square(c[0] - 2);
    });
    // Probe 1.01, walk 1.02 ... 1.06 (not a number): the next probe starts at 1.06 with the
    // step still 0.01, and from then on every residual is not a number.
    ASSERT_GT(out.evaluated.size(), 9u);
    EXPECT_NEAR(out.evaluated[6][0], 1.06L, 1e-15L);
    EXPECT_NEAR(out.evaluated[7][0], 1.06L, 1e-15L);
    EXPECT_NEAR(out.evaluated[8][0], 1.07L, 1e-15L);
    EXPECT_EQ(out.reportedResiduals.size(), 100u);
    EXPECT_TRUE(std::isnan(out.totals.residual));
}

// ---------------------------------------------------------------- the fit of an oval

/// Noiseless points along the eight arcs of each curve of `truth`.
CurveStore pointsOnOval(const CoefficientVector& truth, int perArc) {
    return kelmartest::noisyOvalStore(truth, perArc, 0.0L, 1);
}

TEST(OptimiseCoefficients, RecoversCentreAndRotationOfNoiselessOval) {
    const CoefficientVector truth = example::ovalCoefficients(0.2L, -0.1L, 0.02L, {2.0L, 3.5L});
    const CurveStore curves = pointsOnOval(truth, 6);
    // A start a few percent off.
    CoefficientVector coefficients;
    coefficients.values = {10.3L, 5.85L, 0.25L, -0.13L, 0.025L, 8.2L, 4.9L, 2.05L, 3.4L};
    const Real80 startResidual = ovalResidual(coefficients, curves);
    FitTotals totals;
    int summaries = 0;
    Real80 lastReported = -1;
    const ProgressReport count = [&](const CoefficientVector& v, const FitTotals& t) {
        ++summaries;
        lastReported = t.residual;
        EXPECT_EQ(&v, &coefficients) << "progress describes the vector being fitted";
    };

    ASSERT_TRUE(optimiseCoefficients(coefficients, totals, curves, checkpointInterval, count).hasValue());

    const Real80 finalResidual = ovalResidual(coefficients, curves);
    EXPECT_EQ(std::memcmp(&totals.residual, &finalResidual, 10), 0);
    // Measured: the residual falls from 0.2777 to 2.69e-4 and the fit stops at the 100-summary
    // limit, still creeping along the flat valley of OA, OC, DC and AE (OA is 0.013 short, AE
    // 0.012 long). Centre and rotation are found to 2.3e-11 and 5.4e-13; the bounds leave room.
    EXPECT_LT(finalResidual, startResidual / 500);
    EXPECT_NEAR(coefficients.coef(coefficient::centreX), 0.2L, 1e-8L);
    EXPECT_NEAR(coefficients.coef(coefficient::centreY), -0.1L, 1e-8L);
    EXPECT_NEAR(coefficients.coef(coefficient::rotation), 0.02L, 1e-10L);
    EXPECT_NEAR(std::fabs(coefficients.coef(coefficient::oa)), 10.0L, 0.05L);
    EXPECT_EQ(summaries, maxProgressReports);
    EXPECT_GT(lastReported, 0);
}

// A vector whose construction collapses is given back as a problem before it is measured, with
// either evaluation: at the start, before anything is reported, or where the search walks into
// one (OC held at 0, OB walking down from just above the guard). The dialogue ends on it with
// status 65.
struct CollapseRow {
    const char* name;
    ResidualEvaluation evaluation;
    Real80 ob;
    Real80 oc;
    bool atStart;
};
void PrintTo(const CollapseRow& row, std::ostream* os) { *os << row.name; }

class CollapsedVector : public ::testing::TestWithParam<CollapseRow> {};

TEST_P(CollapsedVector, IsGivenBackWithoutBeingMeasured) {
    const CollapseRow& row = GetParam();
    const CurveStore curves = pointsOnOval(example::ovalCoefficients(), 2);
    CoefficientVector coefficients = example::ovalCoefficients();
    coefficients.coef(coefficient::ob) = row.ob;
    coefficients.coef(coefficient::oc) = row.oc;
    ASSERT_EQ(constructionCollapse(coefficients).has_value(), row.atStart);
    const CoefficientVector start = coefficients;
    FitTotals totals;
    int summaries = 0;
    const InputResult<SearchEnd> end = optimiseCoefficients(
        coefficients, totals, curves, checkpointInterval, [&](auto&, auto&) { ++summaries; }, row.evaluation);
    ASSERT_FALSE(end.hasValue());
    EXPECT_EQ(end.problem().status, 65);
    EXPECT_EQ(end.problem().sentence,
              "OB and OC are both (nearly) zero, so the construction of the oval collapses (the segment from C1 "
              "to B1 has no length); start again with other values for OB and OC.");
    // The vector left is the one that collapsed.
    EXPECT_TRUE(constructionCollapse(coefficients).has_value());
    if (row.atStart) {
        EXPECT_EQ(summaries, 0);
        EXPECT_EQ(coefficients.values, start.values);
    }
}

INSTANTIATE_TEST_SUITE_P(
    OptimiseCoefficients, CollapsedVector,
    ::testing::Values(CollapseRow{"StartIncremental", ResidualEvaluation::Incremental, 0, 1e-12L, true},
                      CollapseRow{"StartReference", ResidualEvaluation::Reference, 0, 1e-12L, true},
                      CollapseRow{"OnTheWayIncremental", ResidualEvaluation::Incremental, 2.5e-10L, 0, false},
                      CollapseRow{"OnTheWayReference", ResidualEvaluation::Reference, 2.5e-10L, 0, false}),
    [](const ::testing::TestParamInfo<CollapseRow>& info) { return std::string(info.param.name); });

}  // namespace
