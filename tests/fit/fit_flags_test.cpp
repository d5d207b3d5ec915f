// What kelmar fit says about its oval: proper or not in the oval's own frame, a runaway, standard
// errors that the points cannot back, and the same fit at every size and place of the drawing.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "fit/fit_quality.hpp"
#include "fit/oval_fit.hpp"
#include "fit/starting_values.hpp"
#include "model/oval_construction.hpp"
#include "oval_sampling.hpp"

namespace {

constexpr double degree = std::numbers::pi / 180;

bool hasCode(const FitQuality& q, const std::string& code) {
    return std::find(q.warningCodes.begin(), q.warningCodes.end(), code) != q.warningCodes.end();
}

/// OA 10, OB 6, OC 8, DC 5, rings of AE 2, 3 and 4, `size` times as large, about (3, -2) times the
/// size plus `offset` on both axes, turned by 25 degrees.
CoefficientVector scaledOval(double size, double offset) {
    CoefficientVector v;
    v.values = {10 * size, 6 * size, offset + 3 * size, offset - 2 * size, 25 * degree, 8 * size, 5 * size,
                2 * size,  3 * size, 4 * size};
    return v;
}

// ---------------------------------------------------------------- the drawing's size and place

struct ScaleRow {
    std::string name;
    double size, offset;
    double rmsShare;  // how far the rms (in units of the size) may differ from the unit fit's
};
void PrintTo(const ScaleRow& row, std::ostream* os) { *os << row.name; }

class FitAtAnyScale : public ::testing::TestWithParam<ScaleRow> {};

// The same points in other units or moved far away give the same oval in those units, proper,
// with standard errors in proportion.
TEST_P(FitAtAnyScale, GivesTheUnitFitInItsUnits) {
    const ScaleRow& row = GetParam();
    auto fitOf = [](double size, double offset) {
        const CurveStore curves = curveStoreOf(sampleOvalFamily(scaledOval(size, offset), 60, 0.01L * size, 7));
        const std::optional<AutomaticStart> start = startingValues(curves);
        EXPECT_TRUE(start);
        const OvalFit fit = fitOval(curves, start ? start->coefficients : scaledOval(size, offset), OvalFitSettings{});
        return std::make_pair(fit, assessFit(curves, fit, OvalFitSettings{}));
    };
    const auto [unitFit, unitQuality] = fitOf(1, 0);
    const auto [fit, quality] = fitOf(row.size, row.offset);
    EXPECT_NEAR(static_cast<double>(quality.deviations.rms) / row.size, static_cast<double>(unitQuality.deviations.rms),
                row.rmsShare * static_cast<double>(unitQuality.deviations.rms));
    EXPECT_NEAR(static_cast<double>(fit.coefficients.coef(coefficient::oa)) / row.size,
                static_cast<double>(unitFit.coefficients.coef(coefficient::oa)), 1e-5);
    EXPECT_EQ(quality.fault, ConstructionFault::None) << quality.faultDescription;
    ASSERT_TRUE(fit.standardErrors);
    ASSERT_TRUE(unitFit.standardErrors);
    EXPECT_NEAR(fit.standardErrors->oa / row.size, unitFit.standardErrors->oa, 1e-3 * unitFit.standardErrors->oa);
    EXPECT_NEAR(fit.standardErrors->rotationDegrees, unitFit.standardErrors->rotationDegrees,
                1e-3 * unitFit.standardErrors->rotationDegrees);
    EXPECT_TRUE(quality.warnings.empty()) << quality.warnings.front();
}

INSTANTIATE_TEST_SUITE_P(Fit, FitAtAnyScale,
                         // 1e14 from the origin, the points themselves are rounded to about 1e-5.
                         ::testing::Values(ScaleRow{"aBillionthAcross", 1e-9, 0, 1e-6},
                                           ScaleRow{"aMillionthAcross", 1e-6, 0, 1e-6}, ScaleRow{"unit", 1, 0, 1e-6},
                                           ScaleRow{"aBillionAcross", 1e9, 0, 1e-6},
                                           ScaleRow{"aTrillionAcross", 1e12, 0, 1e-6},
                                           ScaleRow{"fortyAcross1e14FromTheOrigin", 1.5, 1e14, 1e-4}),
                         [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------- proper or not

struct ProperRow {
    std::string name;
    double oc, dc;
    ConstructionFault fault;           // as kelmar fit judges it
    ConstructionFault dialogueFault;   // as the dialogue's own test judges it, unchanged (its placed
                                       // points round a sweep of none to nearly a turn, or to none)
};
void PrintTo(const ProperRow& row, std::ostream* os) { *os << row.name; }

class ProperInOwnFrame : public ::testing::TestWithParam<ProperRow> {};

TEST_P(ProperInOwnFrame, AnArcWithoutSweepIsNotProper) {
    const ProperRow& row = GetParam();
    CoefficientVector c = scaledOval(1, 0);
    c.coef(coefficient::oc) = row.oc;
    c.coef(coefficient::dc) = row.dc;
    const CurveStore curves = curveStoreOf(sampleOvalFamily(c, 40, 0, 2));
    OvalFit fit;
    fit.coefficients = c;
    fit.standardErrors = StandardErrors{};
    const FitQuality q = assessFit(curves, fit, OvalFitSettings{});
    EXPECT_EQ(q.fault, row.fault) << q.faultDescription;
    EXPECT_EQ(hasCode(q, warningCode::improper), row.fault != ConstructionFault::None);
    EXPECT_EQ(constructionFault(buildOvalConstruction(c)), row.dialogueFault);
}

INSTANTIATE_TEST_SUITE_P(
    Fit, ProperInOwnFrame,
    ::testing::Values(
        ProperRow{"proper", 8, 5, ConstructionFault::None, ConstructionFault::None},
        ProperRow{"ocZeroPutsCAtO", 0, 5, ConstructionFault::ArcWithoutSweep, ConstructionFault::None},
        ProperRow{"dcZeroPutsDAtC", 8, 0, ConstructionFault::ArcWithoutSweep, ConstructionFault::SweepsNotOneTurn},
        ProperRow{"ocEqualToOa", 10, 5, ConstructionFault::OcNotShorterThanOa, ConstructionFault::OcNotShorterThanOa}),
    [](const auto& info) { return info.param.name; });

TEST(ArcWithoutSweep, IsNamedInTheFault) {
    CoefficientVector c = scaledOval(1, 0);
    c.coef(coefficient::oc) = 0;
    const OvalConstruction k = buildOvalConstruction(c);
    EXPECT_EQ(describeConstructionFault(k, ownFrameConstructionFault(k)),
              "the top and bottom arcs sweep no angle (OC 0, DC 5), so the oval has fewer than eight arcs");
}

// ---------------------------------------------------------------- a fit that ran away

TEST(RunawayWarning, FollowsAFitStarted1000UnitsOffAndNotOneStartedRight) {
    const CoefficientVector truth = scaledOval(1, 0);
    const CurveStore curves = curveStoreOf(sampleOvalFamily(truth, 60, 0.01L, 9));
    CoefficientVector far = truth;
    far.coef(coefficient::centreX) += 1000;
    const OvalFit ranAway = fitOval(curves, far, OvalFitSettings{});
    const FitQuality q = assessFit(curves, ranAway, OvalFitSettings{});
    EXPECT_TRUE(hasCode(q, warningCode::runaway));
    EXPECT_GT(q.deviations.rms, 1);  // far worse than the noise of 0.01: it did run away

    const OvalFit right = fitOval(curves, truth, OvalFitSettings{});
    EXPECT_FALSE(hasCode(assessFit(curves, right, OvalFitSettings{}), warningCode::runaway));
}

// ---------------------------------------------------------------- standard errors the points cannot back

/// `perArc` points on each arc of every ring of `c` whose OvalArc is in `arcs`, noise `noise`.
CurveStore pointsOnArcs(const CoefficientVector& c, const std::vector<OvalArc>& arcs, int perArc, Real80 noise) {
    std::mt19937_64 random(5);
    CurveStore store;
    const OvalConstruction k = buildOvalConstruction(c);
    for (std::int32_t j = 1; j <= c.curveCount(); ++j) {
        Curve curve;
        for (const ArcTableRow& arc : arcTable(k, arcRadii(k, c.coef(coefficient::ae(j))))) {
            if (std::find(arcs.begin(), arcs.end(), arc.arc) == arcs.end()) continue;
            const Real80 start = directionAngle(arc.startFrom.x, arc.startFrom.y, arc.startTo.x, arc.startTo.y);
            for (int s = 0; s < perArc; ++s) {
                const Real80 angle = start + arcSweep(arc) * (s + 0.5L) / perArc;
                const Real80 radius = arc.radius + noise * (2 * uniformUnit(random()) - 1);
                curve.x.push_back(arc.centre.x + radius * std::cos(angle));
                curve.y.push_back(arc.centre.y + radius * std::sin(angle));
            }
        }
        store.totalPointCount += static_cast<std::int32_t>(curve.x.size());
        store.curves.push_back(std::move(curve));
    }
    return store;
}

CoefficientVector twoRings() {
    CoefficientVector v;
    v.values = {10, 6, 3, -2, 65 * degree, 8, 5, 2, 5};
    return v;
}

enum class Seen { WholeRings, HalfRings, AThirdHeldByItsEnds, AThirdAcrossTheTop };

struct UnreliableRow {
    std::string name;
    Seen seen;
    bool unreliable;
};
void PrintTo(const UnreliableRow& row, std::ostream* os) { *os << row.name; }

class UnreliableErrors : public ::testing::TestWithParam<UnreliableRow> {};

/// 60 points of each of twoRings() over `part` of its perimeter (fractions from the start of the top arc).
CurveStore stretchOfEachRing(Real80 start, Real80 span) {
    return curveStoreOf(sampleOvalFamily(twoRings(), std::vector<std::int32_t>{60}, 0.02L, 1, PerimeterPart{start, span}));
}

// As kelmar fit runs: from the automatic start.
TEST_P(UnreliableErrors, AreFlaggedWhereThePointsLeaveTheShapeOpen) {
    const UnreliableRow& row = GetParam();
    const CoefficientVector truth = twoRings();
    CurveStore curves;
    switch (row.seen) {
        case Seen::WholeRings: curves = curveStoreOf(sampleOvalFamily(truth, 60, 0.02L, 1)); break;
        case Seen::HalfRings: curves = stretchOfEachRing(0.125L, 0.5L); break;
        // Seen from the middle of the top arc round the end: these estimates scatter by about
        // their standard errors.
        case Seen::AThirdHeldByItsEnds: curves = stretchOfEachRing(0.25L, 1 / 3.0L); break;
        // From a little past the start of the top arc: these rotations all lie 15 to 20 degrees
        // off, each within a fraction of a degree by its standard error.
        case Seen::AThirdAcrossTheTop: curves = stretchOfEachRing(0.125L, 1 / 3.0L); break;
    }
    const std::optional<AutomaticStart> start = startingValues(curves);
    ASSERT_TRUE(start);
    const OvalFit fit = fitOval(curves, start->coefficients, OvalFitSettings{});
    const FitQuality q = assessFit(curves, fit, OvalFitSettings{});
    const bool flagged = hasCode(q, warningCode::unreliableErrors) || hasCode(q, warningCode::noStandardErrors);
    EXPECT_EQ(flagged, row.unreliable);
    if (fit.standardErrors && row.unreliable) {
        EXPECT_TRUE(hasCode(q, warningCode::unreliableErrors));
    }
}

INSTANTIATE_TEST_SUITE_P(Fit, UnreliableErrors,
                         ::testing::Values(UnreliableRow{"wholeRings", Seen::WholeRings, false},
                                           UnreliableRow{"halfRings", Seen::HalfRings, false},
                                           UnreliableRow{"aThirdHeldByItsEnds", Seen::AThirdHeldByItsEnds, false},
                                           UnreliableRow{"aThirdAcrossTheTop", Seen::AThirdAcrossTheTop, true}),
                         [](const auto& info) { return info.param.name; });

// An oval whose top and bottom arcs hold none of the points: whatever the covariance says, their
// radius comes only from the arcs beside them.
TEST(UnreliableErrorsOfAnArc, WithoutPointsAreFlaggedAndSaySo) {
    OvalFit fit;
    fit.coefficients = twoRings();
    fit.standardErrors = StandardErrors{};
    fit.leastCorrelationEigenvalue = 1e-2;
    const std::vector<OvalArc> sides{OvalArc::UpperLeft,  OvalArc::LeftEnd,  OvalArc::LowerLeft,
                                     OvalArc::LowerRight, OvalArc::RightEnd, OvalArc::UpperRight};
    const FitQuality q = assessFit(pointsOnArcs(fit.coefficients, sides, 10, 0.02L), fit, OvalFitSettings{});
    ASSERT_TRUE(hasCode(q, warningCode::unreliableErrors));
    bool said = false;
    for (const std::string& w : q.warnings) said = said || w.find("the top and bottom arcs hold 0 points") != std::string::npos;
    EXPECT_TRUE(said);

    std::vector<OvalArc> all = sides;
    all.insert(all.end(), {OvalArc::Top, OvalArc::Bottom});
    EXPECT_FALSE(hasCode(assessFit(pointsOnArcs(fit.coefficients, all, 10, 0.02L), fit, OvalFitSettings{}),
                         warningCode::unreliableErrors));
}

}  // namespace
