#include "model/oval_construction.hpp"

#include <cmath>
#include <optional>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "base/constants.hpp"
#include "support/example_oval.hpp"

namespace {

using P = ConstructionPoint;

std::string pointName(P point) {
    static const char* const names[] = {"A1", "B1", "A2", "B2", "C1", "C2", "D1", "D2", "D3", "D4"};
    return names[static_cast<int>(point)];
}

struct LocalPointRow {
    P point;
    Real80 x, y;
};

void PrintTo(const LocalPointRow& row, std::ostream* os) { *os << pointName(row.point); }

class ExampleLocalPoint : public ::testing::TestWithParam<LocalPointRow> {};

TEST_P(ExampleLocalPoint, SitsWhereTheConstructionPutsIt) {
    const OvalConstruction k = buildOvalConstruction(example::ovalCoefficients());
    const LocalPointRow& row = GetParam();
    // Every coordinate of this construction is a whole number: no rounding anywhere.
    EXPECT_EQ(k.localPoint(row.point).x, row.x);
    EXPECT_EQ(k.localPoint(row.point).y, row.y);
    EXPECT_EQ(k.placedPoint(row.point).x, row.x);
    EXPECT_EQ(k.placedPoint(row.point).y, row.y);
}

INSTANTIATE_TEST_SUITE_P(
    Construction, ExampleLocalPoint,
    ::testing::Values(LocalPointRow{P::A1, 10, 0}, LocalPointRow{P::B1, 0, 6}, LocalPointRow{P::A2, -10, 0},
                      LocalPointRow{P::B2, 0, -6}, LocalPointRow{P::C1, 8, 0}, LocalPointRow{P::C2, -8, 0},
                      LocalPointRow{P::D1, 4, 3}, LocalPointRow{P::D2, -4, 3}, LocalPointRow{P::D3, -4, -3},
                      LocalPointRow{P::D4, 4, -3}),
    [](const auto& info) { return pointName(info.param.point); });

TEST(Construction, ExampleLengthsRadiiAndSemiAxes) {
    const OvalConstruction k = buildOvalConstruction(example::ovalCoefficients());
    EXPECT_EQ(k.oa, 10.0L);
    EXPECT_EQ(k.ob, 6.0L);
    EXPECT_EQ(k.oc, 8.0L);
    EXPECT_EQ(k.dc, 5.0L);
    EXPECT_EQ(k.cbLength, 10.0L);
    EXPECT_NEAR(k.stepMed, example::sqrt45, 1e-18L);
    EXPECT_EQ(k.stepMax, 5.0L);

    const ArcRadii radii = arcRadii(k, 2.0L);
    EXPECT_EQ(radii.rMin, 2.0L);
    EXPECT_NEAR(radii.rMed, example::rMed, 2e-18L);
    EXPECT_NEAR(radii.rMax, example::rMax, 2e-18L);
    const SemiAxes axes = semiAxes(k, radii.rMin, radii.rMax);
    EXPECT_EQ(axes.semiMajor, 12.0L);
    EXPECT_NEAR(axes.semiMinor, 7.708203932499369089227521L, 2e-18L);
}

TEST(Construction, QuarterTurnAboutMovedCentrePointsOAAxisDown) {
    const OvalConstruction k = buildOvalConstruction(example::ovalCoefficients(100, 50, constant::halfPi));
    EXPECT_NEAR(k.placedPoint(P::A1).x, 100.0L, 1e-15L);
    EXPECT_NEAR(k.placedPoint(P::A1).y, 40.0L, 1e-15L);
    EXPECT_NEAR(k.placedPoint(P::B1).x, 106.0L, 1e-15L);
    EXPECT_NEAR(k.placedPoint(P::B1).y, 50.0L, 1e-15L);
    const PlanePoint end = placePoint(k, 12.0L, 0.0L);  // end of the semi-major axis
    EXPECT_NEAR(end.x, 100.0L, 1e-15L);
    EXPECT_NEAR(end.y, 38.0L, 1e-15L);
    // Lengths are taken before the turn.
    EXPECT_EQ(k.stepMax, 5.0L);
}

struct SignRow {
    std::string name;
    int index;
    bool changesOval;
};

void PrintTo(const SignRow& row, std::ostream* os) { *os << row.name; }

class CoefficientSign : public ::testing::TestWithParam<SignRow> {};

TEST_P(CoefficientSign, MattersOnlyForCentreAndRotation) {
    const SignRow& row = GetParam();
    const CoefficientVector base = example::ovalCoefficients(1.5L, -2.5L, 0.25L);
    CoefficientVector negated = base;
    negated.coef(row.index) = -negated.coef(row.index);
    const OvalConstruction k0 = buildOvalConstruction(base);
    const OvalConstruction k1 = buildOvalConstruction(negated);
    const ArcRadii r0 = arcRadii(k0, base.coef(8));
    const ArcRadii r1 = arcRadii(k1, negated.coef(8));
    bool same = r0.rMin == r1.rMin && r0.rMed == r1.rMed && r0.rMax == r1.rMax;
    for (std::size_t i = 0; i < k0.placed.size(); ++i) {
        same = same && k0.placed[i].x == k1.placed[i].x && k0.placed[i].y == k1.placed[i].y;
    }
    EXPECT_EQ(!same, row.changesOval);
}

INSTANTIATE_TEST_SUITE_P(Construction, CoefficientSign,
                         ::testing::Values(SignRow{"oa", coefficient::oa, false}, SignRow{"ob", coefficient::ob, false},
                                           SignRow{"oc", coefficient::oc, false}, SignRow{"dc", coefficient::dc, false},
                                           SignRow{"ae", coefficient::ae(1), false},
                                           SignRow{"centreX", coefficient::centreX, true},
                                           SignRow{"centreY", coefficient::centreY, true},
                                           SignRow{"rotation", coefficient::rotation, true}),
                         [](const auto& info) { return info.param.name; });

TEST(Construction, RightEndMeetsUpperRightWithoutGap) {
    const OvalConstruction k = buildOvalConstruction(example::ovalCoefficients());
    const ArcRadii radii = arcRadii(k, 2.0L);
    const Real80 ux = 6.0L / example::sqrt45, uy = 3.0L / example::sqrt45;
    const PlanePoint fromA1{10.0L + radii.rMin * ux, 0.0L + radii.rMin * uy};
    const PlanePoint fromD4{4.0L + radii.rMed * ux, -3.0L + radii.rMed * uy};
    EXPECT_NEAR(fromA1.x, 11.789L, 5e-4L);
    EXPECT_NEAR(fromA1.y, 0.894L, 5e-4L);
    EXPECT_NEAR(fromD4.x, fromA1.x, 1e-17L);
    EXPECT_NEAR(fromD4.y, fromA1.y, 1e-17L);
}

TEST(Construction, CurvesWithOtherAEAreParallel) {
    const OvalConstruction k = buildOvalConstruction(example::ovalCoefficients(0, 0, 0, {2.0L, 5.0L}));
    const ArcRadii inner = arcRadii(k, 2.0L);
    const ArcRadii outer = arcRadii(k, -5.0L);
    EXPECT_EQ(outer.rMin - inner.rMin, 3.0L);
    EXPECT_NEAR(outer.rMed - inner.rMed, 3.0L, 2e-18L);
    EXPECT_NEAR(outer.rMax - inner.rMax, 3.0L, 2e-18L);
}

// Where arc k ends and arc k + 1 starts, both arcs reach the same point: each end direction is
// the next start direction, and the radii differ by the distance of the two centres.
struct JunctionRow {
    std::string name;
    Real80 cx, cy, theta;
};

void PrintTo(const JunctionRow& row, std::ostream* os) { *os << row.name; }

class ArcTableJunctions : public ::testing::TestWithParam<JunctionRow> {};

PlanePoint alongDirection(const PlanePoint& centre, const PlanePoint& from, const PlanePoint& to, Real80 radius) {
    const Real80 length = std::hypot(to.x - from.x, to.y - from.y);
    return {centre.x + radius * (to.x - from.x) / length, centre.y + radius * (to.y - from.y) / length};
}

TEST_P(ArcTableJunctions, ConsecutiveArcsMeet) {
    const JunctionRow& row = GetParam();
    const OvalConstruction k = buildOvalConstruction(example::ovalCoefficients(row.cx, row.cy, row.theta));
    const auto table = arcTable(k, arcRadii(k, 2.0L));
    for (std::size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(static_cast<std::size_t>(table[i].arc), i + 1);
        const ArcTableRow& here = table[i];
        const ArcTableRow& next = table[(i + 1) % table.size()];
        const PlanePoint end = alongDirection(here.centre, here.endFrom, here.endTo, here.radius);
        const PlanePoint start = alongDirection(next.centre, next.startFrom, next.startTo, next.radius);
        EXPECT_NEAR(end.x, start.x, 1e-15L) << "arc " << i + 1;
        EXPECT_NEAR(end.y, start.y, 1e-15L) << "arc " << i + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(Construction, ArcTableJunctions,
                         ::testing::Values(JunctionRow{"atOrigin", 0, 0, 0},
                                           JunctionRow{"movedAndTurned", 100, 50, 0.3L},
                                           JunctionRow{"turnedBack", -2, 3, -1.2L}),
                         [](const auto& info) { return info.param.name; });

TEST(Construction, ArcTableCentresAndRadii) {
    const OvalConstruction k = buildOvalConstruction(example::ovalCoefficients());
    const ArcRadii radii = arcRadii(k, 2.0L);
    const auto table = arcTable(k, radii);
    const PlanePoint centres[8] = {{0, -6}, {-4, -3}, {-10, 0}, {-4, 3}, {0, 6}, {4, 3}, {10, 0}, {4, -3}};
    const Real80 expectedRadii[8] = {radii.rMax, radii.rMed, radii.rMin, radii.rMed,
                                     radii.rMax, radii.rMed, radii.rMin, radii.rMed};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(table[i].centre.x, centres[i].x) << "arc " << i + 1;
        EXPECT_EQ(table[i].centre.y, centres[i].y) << "arc " << i + 1;
        EXPECT_EQ(table[i].radius, expectedRadii[i]) << "arc " << i + 1;
    }
    // Top runs from the direction B2->C1 to B2->C2.
    EXPECT_EQ(table[0].startTo.x, 8.0L);
    EXPECT_EQ(table[0].endTo.x, -8.0L);
}

// ---------------------------------------------------------------- collapse

/// Whether OB and OC leave the segment C1-B1 a length; its problem is given back, not ended in.
struct CollapseRow {
    const char* name;
    Real80 ob, oc;
    bool collapses;
};
void PrintTo(const CollapseRow& row, std::ostream* os) { *os << row.name; }

class ConstructionCollapse : public ::testing::TestWithParam<CollapseRow> {};

const char* const collapseSentence =
    "OB and OC are both (nearly) zero, so the construction of the oval collapses (the segment from C1 to B1 has no length); start again with other values for OB and OC.";

TEST_P(ConstructionCollapse, IsGivenBackWithStatus65AndItsSentence) {
    const CollapseRow& row = GetParam();
    CoefficientVector v = example::ovalCoefficients();
    v.coef(coefficient::ob) = row.ob;
    v.coef(coefficient::oc) = row.oc;
    const std::optional<InputProblem> problem = constructionCollapse(v);
    ASSERT_EQ(problem.has_value(), row.collapses);
    if (!row.collapses) return;
    EXPECT_EQ(problem->status, 65);
    EXPECT_EQ(problem->sentence, collapseSentence);
}

INSTANTIATE_TEST_SUITE_P(
    Construction, ConstructionCollapse,
    ::testing::Values(CollapseRow{"BothZero", 0.0L, 0.0L, true},
                      CollapseRow{"BothTinyOfEitherSign", 1e-11L, -1e-11L, true},  // c*c + b*b = 2e-22
                      CollapseRow{"AtTheGuard", 0.0L, 1e-10L, true},               // c*c = 1e-20
                      CollapseRow{"JustAboveTheGuard", 0.0L, 2e-10L, false},       // c*c = 4e-20
                      CollapseRow{"OcAloneZero", 6.0L, 0.0L, false},
                      CollapseRow{"ObAloneZero", 0.0L, 8.0L, false}),
    [](const ::testing::TestParamInfo<CollapseRow>& info) { return std::string(info.param.name); });

// Built all the same, a collapsed construction is its limit: D on C1 (here O), nothing divided by
// the vanished length, and the run goes on.
TEST(Construction, CollapsedConstructionPutsDOnC1) {
    CoefficientVector v = example::ovalCoefficients();
    v.coef(coefficient::ob) = 0.0L;
    v.coef(coefficient::oc) = 0.0L;
    const OvalConstruction k = buildOvalConstruction(v);
    EXPECT_EQ(k.cbLength, 0.0L);
    for (const P d : {P::D1, P::D2, P::D3, P::D4}) {
        EXPECT_EQ(k.localPoint(d).x, 0.0L) << pointName(d);
        EXPECT_EQ(k.localPoint(d).y, 0.0L) << pointName(d);
    }
    EXPECT_EQ(k.stepMax, 0.0L);   // |B2 D4|, both at O
    EXPECT_EQ(k.stepMed, 10.0L);  // |A1 D4| = OA
}

TEST(Construction, NearlyCollapsedConstructionStillBuilds) {
    CoefficientVector v = example::ovalCoefficients();
    v.coef(coefficient::ob) = 0.0L;
    v.coef(coefficient::oc) = 2e-10L;  // c*c = 4e-20, just above the guard
    const OvalConstruction k = buildOvalConstruction(v);
    EXPECT_GT(k.cbLength, 0.0L);
}

}  // namespace

// ---------------------------------------------------------------- proper construction

struct FaultRow {
    const char* name;
    Real80 oa, ob, oc, dc;
    ConstructionFault fault;
};
void PrintTo(const FaultRow& row, std::ostream* os) { *os << row.name; }

class ProperConstruction : public ::testing::TestWithParam<FaultRow> {};

TEST_P(ProperConstruction, NamesTheFirstFailedCondition) {
    const FaultRow& row = GetParam();
    CoefficientVector v = example::ovalCoefficients(3, -2, 0.4L);
    v.coef(coefficient::oa) = row.oa;
    v.coef(coefficient::ob) = row.ob;
    v.coef(coefficient::oc) = row.oc;
    v.coef(coefficient::dc) = row.dc;
    const OvalConstruction k = buildOvalConstruction(v);
    EXPECT_EQ(constructionFault(k), row.fault);
    EXPECT_FALSE(describeConstructionFault(k, constructionFault(k)).empty());
}

// The example has m = |C1B1| = 10; signs never matter.
INSTANTIATE_TEST_SUITE_P(
    Construction, ProperConstruction,
    ::testing::Values(FaultRow{"Example", 10, 6, 8, 5, ConstructionFault::None},
                      FaultRow{"NegativeLengthsCountByValue", -10, -6, -8, -5, ConstructionFault::None},
                      FaultRow{"DcPastB", 10, 6, 8, 10.5L, ConstructionFault::DcNotShorterThanCb},
                      FaultRow{"DcExactlyCb", 10, 6, 8, 10, ConstructionFault::DcNotShorterThanCb},
                      FaultRow{"OcBeyondOa", 10, 6, 10.5L, 5, ConstructionFault::OcNotShorterThanOa},
                      FaultRow{"DcZeroLeavesArcsWithoutSweep", 10, 6, 8, 0, ConstructionFault::SweepsNotOneTurn}),
    [](const auto& info) { return std::string(info.param.name); });
