// The four-centre oval as the eight-centre construction in its limiting position: the same curve
// point for point, and the test of a construction collapsed onto a four-centre oval.

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>
#include <vector>

#include "fit/own_frame_arc.hpp"
#include "model/curve_model.hpp"
#include "model/four_centre_limit.hpp"
#include "model/four_centre_model.hpp"
#include "model/oval_construction.hpp"

namespace {

constexpr double degree = M_PI / 180;

struct LimitRow {
    std::string name;
    CurveParameters fourCentre;
};
void PrintTo(const LimitRow& row, std::ostream* os) { *os << row.name; }

class LimitingPosition : public ::testing::TestWithParam<LimitRow> {};

TEST_P(LimitingPosition, IsTheSameCurveAsTheFourCentreOval) {
    const CurveParameters& p = GetParam().fourCentre;
    const CoefficientVector c = limitingEightCentre(p);
    const OvalConstruction k = buildOvalConstruction(c);
    EXPECT_EQ(k.oc, k.oa / 2) << "OC is half of OA";
    EXPECT_EQ(k.dc, k.cbLength) << "D lies on B";
    EXPECT_TRUE(collapsedOntoFourCentre(k));

    // Points on each ring and either side of it, measured both ways.
    CurveStore store;
    std::vector<std::vector<double>> expected;
    for (std::size_t j = 0; j < p.rings.size(); ++j) {
        Curve curve;
        std::vector<double> deviations;
        for (const OutlinePoint& q : sampledOutline<FourCentreModel>(p, j, 240)) {
            for (const double off : {-0.7, 0.0, 0.4}) {
                const double x = q.x + off * q.normalX, y = q.y + off * q.normalY;
                curve.x.push_back(x);
                curve.y.push_back(y);
                deviations.push_back(pointDeviation<FourCentreModel>(p.shared.data(), p.rings[j].data(), x, y));
            }
        }
        store.totalPointCount += static_cast<std::int32_t>(curve.x.size());
        store.curves.push_back(curve);
        expected.push_back(deviations);
    }
    const OwnFrameDeviations measured = ownFrameDeviations(c, store);
    for (std::size_t j = 0; j < expected.size(); ++j) {
        const double size = FourCentreModel::semiAxes(p.shared.data() + placement::count, p.rings[j].data()).semiMajor;
        for (std::size_t i = 0; i < expected[j].size(); ++i) {
            ASSERT_NEAR(static_cast<double>(measured.byCurve[j][i]), expected[j][i], 1e-12 * size)
                << "ring " << j + 1 << " point " << i + 1;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    FourCentreLimit, LimitingPosition,
    ::testing::Values(LimitRow{"AtTheOrigin", {{0, 0, 0, 6, 4}, {{5}, {6}, {7.5}}}},
                      LimitRow{"TurnedAndMoved", {{310.5, -42.25, 33 * degree, 6, 4}, {{5}, {6}}}},
                      LimitRow{"FlatWithFarSideCentres", {{-20, 7, -71 * degree, 9, 30}, {{2}}}},
                      LimitRow{"NearlyRound", {{1, 2, 5 * degree, 0.5, 0.4}, {{10}}}}),
    [](const auto& info) { return info.param.name; });

struct CollapseRow {
    std::string name;
    std::vector<Real80> coefficients;  // OA, OB, X, Y, rotation, OC, DC, AE
    bool collapsed;
};
void PrintTo(const CollapseRow& row, std::ostream* os) { *os << row.name; }

class Collapse : public ::testing::TestWithParam<CollapseRow> {};

TEST_P(Collapse, IsTheFourCentreOvalWithinItsShare) {
    CoefficientVector c;
    c.values = GetParam().coefficients;
    EXPECT_EQ(collapsedOntoFourCentre(buildOvalConstruction(c)), GetParam().collapsed);
}

// |C1 B1| of OC 8, OB 6 is 10; of OC 3, OB 4 it is 5.
INSTANTIATE_TEST_SUITE_P(
    FourCentreLimit, Collapse,
    ::testing::Values(CollapseRow{"ProperOval", {10, 6, 0, 0, 0, 8, 5, 2}, false},
                      CollapseRow{"DOnB", {10, 6, 0, 0, 0, 8, 10, 2}, true},
                      CollapseRow{"DJustShortOfB", {10, 4, 0, 0, 0, 3, 4.996L, 2}, true},
                      CollapseRow{"DShortOfBBeyondTheShare", {10, 4, 0, 0, 0, 3, 4.99L, 2}, false},
                      CollapseRow{"DBeyondB", {10, 4, 0, 0, 0, 3, 6, 2}, false},
                      CollapseRow{"COnA", {10, 6, 0, 0, 0, 10, 5, 2}, true},
                      CollapseRow{"CNearA", {10, 6, 0, 0, 0, 9.995L, 5, 2}, true},
                      CollapseRow{"CBeyondA", {10, 6, 0, 0, 0, 12, 5, 2}, false}),
    [](const auto& info) { return info.param.name; });

}  // namespace
