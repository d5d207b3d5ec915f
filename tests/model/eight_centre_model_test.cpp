#include <cmath>
#include <numbers>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/eight_centre_model.hpp"
#include "model/model_registry.hpp"

namespace {

using M = EightCentreModel;

struct EightCentreFaultRow {
    std::string name;
    CurveParameters parameters;
    M::Fault expected;
    std::string words;
};

void PrintTo(const EightCentreFaultRow& row, std::ostream* os) { *os << row.name; }

class EightCentreFault : public ::testing::TestWithParam<EightCentreFaultRow> {};

TEST_P(EightCentreFault, NamesTheFirstFailedConditionOfTheOwnFrameTest) {
    const EightCentreFaultRow& row = GetParam();
    EXPECT_EQ(M::fault(row.parameters), row.expected);
    // An empty sentence for a fault: the dialogue's construction names it, as the model says.
    const std::string words = row.words.empty() && row.expected != M::Fault::None
                                  ? describeConstructionFault(buildOvalConstruction(coefficientsOf(row.parameters)), row.expected)
                                  : row.words;
    EXPECT_FALSE(words.empty() && row.expected != M::Fault::None);
    EXPECT_EQ(M::describeFault(row.parameters, M::fault(row.parameters)), words);
}

// Shape: OA, OB, the place of C on O A1, the place of D on C1 B1. With OA 10, OB 6 and C halfway,
// C1 B1 is sqrt(25 + 36).
INSTANTIATE_TEST_SUITE_P(
    EightCentreModel, EightCentreFault,
    ::testing::Values(
        EightCentreFaultRow{"proper", {{1, 2, 0.3, 10, 6, 0.5, 0.4}, {{2}, {3}}}, M::Fault::None, ""},
        // D on B: the intermediate arcs become the top arcs (the four-centre's limiting position).
        EightCentreFaultRow{"dOnB", {{0, 0, 0, 10, 6, 0.5, 1}, {{2}}}, M::Fault::DcNotShorterThanCb,
                            "DC (7.81025) is not shorter than C1B1 (7.81025), so the centres D lie beyond B"},
        // C on A: the fit's four-centre collapse that issue 18 reports as a fault.
        EightCentreFaultRow{"cOnA", {{0, 0, 0, 10, 6, 1, 0.4}, {{2}}}, M::Fault::OcNotShorterThanOa,
                            "OC (10) is not shorter than OA (10), so the end arcs turn inside out"},
        EightCentreFaultRow{"dOnC", {{0, 0, 0, 10, 6, 0.5, 0}, {{2}}}, M::Fault::ArcWithoutSweep, ""},
        EightCentreFaultRow{"cOnO", {{0, 0, 0, 10, 6, 0, 0.4}, {{2}}}, M::Fault::ArcWithoutSweep,
                            "the top and bottom arcs sweep no angle (OC 0, DC 2.4), so the oval has fewer than "
                            "eight arcs"},
        EightCentreFaultRow{"cAndBOnO", {{0, 0, 0, 10, 0, 0, 0.4}, {{2}}}, M::Fault::ArcWithoutSweep,
                            "OB and OC are both zero, so the construction of the oval collapses"}),
    [](const auto& info) { return info.param.name; });

TEST(EightCentreModel, ConvertsToTheDialoguesCoefficientsAndBack) {
    const CurveParameters family{{1.5, -2, 0.3, 10, 6, 0.5, 0.4}, {{2}, {3.25}}};
    const CoefficientVector c = coefficientsOf(family);
    ASSERT_EQ(c.curveCount(), 2);
    EXPECT_EQ(c.coef(coefficient::oa), 10);
    EXPECT_EQ(c.coef(coefficient::ob), 6);
    EXPECT_EQ(c.coef(coefficient::oc), 5);
    EXPECT_NEAR(static_cast<double>(c.coef(coefficient::dc)), 0.4 * std::sqrt(61.0), 1e-15);
    EXPECT_EQ(c.coef(coefficient::centreX), 1.5);
    EXPECT_EQ(c.coef(coefficient::rotation), 0.3);
    EXPECT_EQ(c.coef(coefficient::ae(2)), 3.25);
    const CurveParameters back = eightCentreParametersOf(c);
    ASSERT_EQ(back.shared.size(), family.shared.size());
    for (std::size_t k = 0; k < family.shared.size(); ++k) EXPECT_NEAR(back.shared[k], family.shared[k], 1e-15) << k;
    EXPECT_EQ(back.rings, family.rings);
    // Signs are dropped and places beyond their segments come back onto them.
    CoefficientVector far = c;
    far.coef(coefficient::oc) = -12;
    far.coef(coefficient::ae(1)) = -2;
    const CurveParameters clamped = eightCentreParametersOf(far);
    EXPECT_EQ(clamped.shared[placement::count + M::cPlace], 1);
    EXPECT_EQ(clamped.rings[0][M::ae], 2);
}

TEST(EightCentreModel, SemiAxesAreTheConstructions) {
    const CurveParameters family{{0, 0, 0, 10, 6, 0.5, 0.4}, {{2}}};
    const OvalConstruction k = buildOvalConstruction(coefficientsOf(family));
    const ArcRadii radii = arcRadii(k, 2);
    const SemiAxes expected = semiAxes(k, radii.rMin, radii.rMax);
    const RingAxes axes = M::semiAxes(family.shared.data() + placement::count, family.rings[0].data());
    EXPECT_NEAR(axes.semiMajor, static_cast<double>(expected.semiMajor), 1e-13);
    EXPECT_NEAR(axes.semiMinor, static_cast<double>(expected.semiMinor), 1e-13);
    // The folded construction has the construction's D4 and steps.
    const QuadrantOval<Real80> folded = quadrantOvalOf(k);
    const QuadrantOval<double> o = quadrantOvalOf(10.0, 6.0, 0.5, 0.4);
    EXPECT_NEAR(o.dx, static_cast<double>(folded.dx), 1e-13);
    EXPECT_NEAR(o.dy, static_cast<double>(folded.dy), 1e-13);
    EXPECT_NEAR(o.stepMed, static_cast<double>(folded.stepMed), 1e-13);
    EXPECT_NEAR(o.stepMax, static_cast<double>(folded.stepMax), 1e-13);
}

TEST(EightCentreModel, OutlineStartsAtTheTopArcAndTurnsOnceRound) {
    // OA 10, OB 6, C halfway, D at 0.4 of C1 B1: D4 = (3, -2.4), rMed = 2 + |A1 D4| = 2 + 7.4,
    // rMax = rMed + 0.6 sqrt(61); the top arc about B2 = (0, -6) starts in the direction of B2 D4.
    const double shape[] = {10, 6, 0.5, 0.4};
    const double ring[] = {2};
    const double rMax = 2 + 7.4 + 0.6 * std::sqrt(61.0);
    const double beta = std::atan2(3.6, 3.0);
    const OutlinePoint start = M::ownFrameOutlineAt(shape, ring, 0);
    EXPECT_NEAR(start.x, rMax * std::cos(beta), 1e-12);
    EXPECT_NEAR(start.y, -6 + rMax * std::sin(beta), 1e-12);
    EXPECT_NEAR(start.normalX, std::cos(beta), 1e-12);
    // The normal turns once round, never back, and the outline closes.
    double turn = 0;
    OutlinePoint previous = start;
    constexpr int steps = 4000;
    for (int i = 1; i <= steps; ++i) {
        const OutlinePoint p = M::ownFrameOutlineAt(shape, ring, static_cast<double>(i) / steps);
        const double step = std::remainder(std::atan2(p.normalY, p.normalX) - std::atan2(previous.normalY, previous.normalX),
                                           2 * std::numbers::pi);
        EXPECT_GE(step, 0) << "at step " << i;
        turn += step;
        previous = p;
    }
    EXPECT_NEAR(turn, 2 * std::numbers::pi, 1e-9);
    EXPECT_NEAR(previous.x, start.x, 1e-12);
    EXPECT_NEAR(previous.y, start.y, 1e-12);
}

// ---------------------------------------------------------------- the registry

TEST(ModelRegistry, ListsEveryModelOnceInItsOrder) {
    EXPECT_EQ(curveModelNames(), (std::vector<std::string>{"eight-centre", "four-centre", "ellipse"}));
    std::vector<int> parameterCounts;
    forEachCurveModel([&](auto model) {
        using Model = decltype(model);
        parameterCounts.push_back(static_cast<int>(parameterList<Model>(2).size()));
    });
    // Placement 3, then the shape, then two rings' blocks.
    EXPECT_EQ(parameterCounts, (std::vector<int>{3 + 4 + 2, 3 + 2 + 2, 3 + 0 + 4}));
}

struct NamedModelRow {
    std::string label;
    std::string name;
    std::optional<int> shapeCount;  // none: no model has the name
};

void PrintTo(const NamedModelRow& row, std::ostream* os) { *os << row.label; }

class ModelRegistryByName : public ::testing::TestWithParam<NamedModelRow> {};

TEST_P(ModelRegistryByName, CallsTheNamedModelOnly) {
    const NamedModelRow& row = GetParam();
    int calls = 0;
    const std::optional<int> shapeCount = withCurveModel(row.name, [&](auto model) {
        ++calls;
        return decltype(model)::shapeCount;
    });
    EXPECT_EQ(shapeCount, row.shapeCount);
    EXPECT_EQ(calls, row.shapeCount ? 1 : 0);
    // Without a result, whether a model was called.
    const bool found = withCurveModel(row.name, [](auto) {});
    EXPECT_EQ(found, row.shapeCount.has_value());
}

INSTANTIATE_TEST_SUITE_P(ModelRegistry, ModelRegistryByName,
                         ::testing::Values(NamedModelRow{"eightCentre", "eight-centre", 4},
                                           NamedModelRow{"fourCentre", "four-centre", 2},
                                           NamedModelRow{"ellipse", "ellipse", 0},
                                           NamedModelRow{"capitalised", "Ellipse", std::nullopt},
                                           NamedModelRow{"empty", "", std::nullopt}),
                         [](const auto& info) { return info.param.label; });

}  // namespace
