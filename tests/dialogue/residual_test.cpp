#include "dialogue/residual.hpp"

#include <cmath>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/constants.hpp"
#include "support/example_oval.hpp"

namespace {

using Variant = SectorTestVariant;

struct DeviationRow {
    std::string name;
    Real80 cx, cy;  // centre of the example oval
    Real80 x, y;
    Variant variant;
    OvalArc arc;
    Real80 deviation;
};

void PrintTo(const DeviationRow& row, std::ostream* os) { *os << row.name; }

class ExamplePointDeviation : public ::testing::TestWithParam<DeviationRow> {};

TEST_P(ExamplePointDeviation, GivesArcAndSignedDistance) {
    const DeviationRow& row = GetParam();
    const CoefficientVector v = example::ovalCoefficients(row.cx, row.cy);
    const OvalConstruction k = buildOvalConstruction(v);
    const SectorLines lines = buildSectorLines(k);
    const PointDeviation result = pointDeviation(k, lines, arcRadii(k, 2.0L), row.x, row.y, row.variant);
    EXPECT_EQ(result.arc, row.arc);
    EXPECT_NEAR(result.deviation, row.deviation, 1e-16L);
    EXPECT_EQ(assignArc(lines, row.x, row.y, row.variant), row.arc);
}

// Expected deviations are the exact values (sqrt(146) - 13.7082..., and so on) to 25 digits.
constexpr Real80 topOfOval = 7.708203932499369089227521L;

DeviationRow bothVariants(std::vector<DeviationRow>& rows, DeviationRow row) {
    row.variant = Variant::FitVariant;
    rows.push_back(row);
    row.name += "Listing";
    row.variant = Variant::ListingVariant;
    rows.push_back(row);
    return row;
}

std::vector<DeviationRow> deviationRows() {
    std::vector<DeviationRow> rows;
    const Variant F = Variant::FitVariant;
    const Variant L = Variant::ListingVariant;
    bothVariants(rows, {"rightEndOnOval", 0, 0, 12, 0, F, OvalArc::RightEnd, 0});
    bothVariants(rows, {"topOnOval", 0, 0, 0, topOfOval, F, OvalArc::Top, 0});
    bothVariants(rows, {"topOutside", 0, 0, 0, 8, F, OvalArc::Top, 0.291796067500630910772479L});
    bothVariants(rows, {"leftEndOutside", 0, 0, -13, 0, F, OvalArc::LeftEnd, 1});
    bothVariants(rows, {"bottomInside", 0, 0, 0, -7, F, OvalArc::Bottom, -0.708203932499369089227521L});
    bothVariants(rows, {"centreFallsToUpperRight", 0, 0, 0, 0, F, OvalArc::UpperRight,
                        -3.708203932499369089227521L});
    bothVariants(rows, {"topWedgeInside", 0, 0, 5, 5, F, OvalArc::Top, -1.625157958904797020944682L});
    // On the end arcs at a stored X of exactly 0: X > 0 and X < 0 are strict.
    bothVariants(rows, {"rightEndAtStoredXZeroFallsThrough", -12, 0, 0, 0, F, OvalArc::UpperRight,
                        -0.1642001871818379213558726L});
    bothVariants(rows, {"leftEndAtStoredXZeroFallsThrough", 12, 0, 0, 0, F, OvalArc::UpperRight,
                        7.570616663600337298125495L});
    rows.push_back({"upperLeftWedgeBelowAxisFit", 0, 0, -7, -1, F, OvalArc::Bottom, -3.8087089958877037476157L});
    rows.push_back({"upperLeftWedgeBelowAxisListing", 0, 0, -7, -1, L, OvalArc::UpperLeft,
                    -5.1026526570353797961083L});
    rows.push_back({"movedRightEnd", 100, 50, 112, 50, F, OvalArc::RightEnd, 0});
    rows.push_back({"movedLeftEndMeasuredAgainstUpperRight", 100, 50, 88, 50, F, OvalArc::UpperRight,
                    7.570616663600337298125495L});
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Residual, ExamplePointDeviation, ::testing::ValuesIn(deviationRows()),
                         [](const auto& info) { return info.param.name; });

// Points along every arc, strictly inside its span, lie on the oval and get that arc.
struct ArcSampleRow {
    std::string name;
    Variant variant;
    Real80 ae;
};

void PrintTo(const ArcSampleRow& row, std::ostream* os) { *os << row.name; }

class PointsAlongArcs : public ::testing::TestWithParam<ArcSampleRow> {};

TEST_P(PointsAlongArcs, HaveNoDeviationAndTheirOwnArc) {
    const ArcSampleRow& row = GetParam();
    const OvalConstruction k = buildOvalConstruction(example::ovalCoefficients(0, 0, 0, {row.ae}));
    const SectorLines lines = buildSectorLines(k);
    const ArcRadii radii = arcRadii(k, row.ae);
    int sampled = 0;
    for (const ArcTableRow& arc : arcTable(k, radii)) {
        const Real80 start = std::atan2(arc.startTo.y - arc.startFrom.y, arc.startTo.x - arc.startFrom.x);
        Real80 end = std::atan2(arc.endTo.y - arc.endFrom.y, arc.endTo.x - arc.endFrom.x);
        if (end <= start) end += constant::twoPi;  // counter-clockwise from start to end
        for (int s = 1; s < 20; ++s) {
            const Real80 angle = start + (end - start) * s / 20;
            const Real80 x = arc.centre.x + arc.radius * std::cos(angle);
            const Real80 y = arc.centre.y + arc.radius * std::sin(angle);
            const PointDeviation d = pointDeviation(k, lines, radii, x, y, row.variant);
            EXPECT_EQ(d.arc, arc.arc) << "point (" << static_cast<double>(x) << ", " << static_cast<double>(y) << ")";
            EXPECT_NEAR(d.deviation, 0.0L, 1e-16L);
            ++sampled;
        }
    }
    EXPECT_EQ(sampled, 8 * 19);
}

INSTANTIATE_TEST_SUITE_P(Residual, PointsAlongArcs,
                         ::testing::Values(ArcSampleRow{"fitVariant", Variant::FitVariant, 2.0L},
                                           ArcSampleRow{"listingVariant", Variant::ListingVariant, 2.0L},
                                           ArcSampleRow{"fitVariantWiderCurve", Variant::FitVariant, 5.0L},
                                           ArcSampleRow{"listingVariantWiderCurve", Variant::ListingVariant, 5.0L}),
                         [](const auto& info) { return info.param.name; });

TEST(Residual, MovedOvalNeverUsesArcsTwoToSixInTheFit) {
    const OvalConstruction k = buildOvalConstruction(example::ovalCoefficients(100, 50));
    const SectorLines lines = buildSectorLines(k);
    for (int s = 0; s < 360; ++s) {
        const Real80 angle = s * constant::pi / 180;
        const OvalArc arc = assignArc(lines, 100 + 11 * std::cos(angle), 50 + 9 * std::sin(angle), Variant::FitVariant);
        EXPECT_TRUE(arc == OvalArc::Top || arc == OvalArc::RightEnd || arc == OvalArc::UpperRight)
            << "angle " << s << " gave arc " << static_cast<int>(arc);
    }
}

CurveStore storeOf(std::vector<Curve> curves) {
    CurveStore store;
    store.curves = std::move(curves);
    for (const Curve& c : store.curves) store.totalPointCount += static_cast<std::int32_t>(c.x.size());
    return store;
}

TEST(Residual, TwoPointsOneOutsideEachEndIsExactlyOne) {
    const CurveStore store = storeOf({Curve{{13, -13}, {0, 0}}});
    EXPECT_EQ(ovalResidual(example::ovalCoefficients(), store), 1.0L);
}

TEST(Residual, EachCurveUsesItsOwnAEAndTheStoredTotal) {
    // Curve 1 (AE 2): (13, 0) is 1 outside. Curve 2 (AE 5): (13, 0) is 2 inside, (-15, 0) on it.
    CurveStore store = storeOf({Curve{{13}, {0}}, Curve{{13, -15}, {0, 0}}});
    const CoefficientVector v = example::ovalCoefficients(0, 0, 0, {2.0L, -5.0L});
    EXPECT_EQ(ovalResidual(v, store), std::sqrt(5.0L / 3.0L));
    // The mean is over the stored total, not over the points that were visited.
    store.totalPointCount = 5;
    EXPECT_EQ(ovalResidual(v, store), 1.0L);
}

TEST(Residual, RepeatedEvaluationIsBitForBitTheSame) {
    Curve curve;
    for (int i = 0; i < 500; ++i) {
        const Real80 t = i * 0.0125663706143591729538505735331180L;
        curve.x.push_back(12.3L * std::cos(t) + 0.01L * std::sin(7 * t));
        curve.y.push_back(7.9L * std::sin(t) - 0.02L * std::cos(5 * t));
    }
    const CurveStore store = storeOf({curve});
    const CoefficientVector v = example::ovalCoefficients(0.0123L, -0.0456L, 0.0311L, {2.1L});
    const Real80 first = ovalResidual(v, store);
    EXPECT_GT(first, 0.0L);
    for (int call = 0; call < 5; ++call) {
        const Real80 again = ovalResidual(v, store);
        EXPECT_EQ(std::memcmp(&first, &again, 10), 0);  // the 80 bits of the x87 format
    }
}

// The fit refuses a collapsed vector before measuring it (optimiser_test); measured all the same,
// it is its limiting construction: the end arc of radius AE = 2 about A1 = (10, 0) and the arcs of
// radius 12 about O both pass 1 inside the point (13, 0).
TEST(Residual, CollapsedConstructionIsMeasuredAsItsLimit) {
    const CurveStore store = storeOf({Curve{{13}, {0}}});
    CoefficientVector v = example::ovalCoefficients();
    v.coef(coefficient::ob) = 0;
    v.coef(coefficient::oc) = 0;
    EXPECT_EQ(ovalResidual(v, store), 1.0L);
}

}  // namespace
