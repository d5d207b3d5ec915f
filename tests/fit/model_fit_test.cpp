#include "fit/model_fit.hpp"

#include <algorithm>
#include <cmath>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "model/ellipse_model.hpp"
#include "model/four_centre_model.hpp"

namespace {

enum class Kind { Ellipse, FourCentre };

struct RecoveryRow {
    std::string name;
    Kind kind;
    CurveParameters truth;
};

void PrintTo(const RecoveryRow& row, std::ostream* os) { *os << row.name; }

/// Each ring of the family drawn without noise, `count` points evenly spaced.
template <CurveModel M>
std::vector<RingPoints> drawingOf(const CurveParameters& truth, int count) {
    std::vector<RingPoints> rings;
    for (std::size_t j = 0; j < truth.rings.size(); ++j) {
        RingPoints ring;
        ring.curve = static_cast<std::int32_t>(j + 1);
        for (const OutlinePoint& p : sampledOutline<M>(truth, j, count)) {
            ring.x.push_back(p.x);
            ring.y.push_back(p.y);
        }
        rings.push_back(std::move(ring));
    }
    return rings;
}

/// A start a few per cent off: lengths 3 % long or short by turns, the centre moved by 2 % of
/// the first ring's size, the rotation turned by 0.03 radians.
CurveParameters startOffFrom(const CurveParameters& truth, double size) {
    CurveParameters start = truth;
    start.shared[placement::centreX] += 0.02 * size;
    start.shared[placement::centreY] -= 0.02 * size;
    start.shared[placement::rotation] += 0.03;
    double sign = 1;
    for (std::size_t k = placement::count; k < start.shared.size(); ++k, sign = -sign) start.shared[k] *= 1 + 0.03 * sign;
    for (std::vector<double>& ring : start.rings) {
        for (double& value : ring) {
            value *= 1 + 0.03 * sign;
            sign = -sign;
        }
    }
    return start;
}

template <CurveModel M>
void expectRecovered(const RecoveryRow& row) {
    const double size = M::semiAxes(row.truth.shared.data() + placement::count, row.truth.rings[0].data()).semiMajor;
    const ModelFitResult fit = fitCurveModel<M>(drawingOf<M>(row.truth, 150), startOffFrom(row.truth, size));
    EXPECT_TRUE(fit.converged);
    EXPECT_LT(fit.rms, 1e-10 * size);
    ASSERT_EQ(fit.ringRms.size(), row.truth.rings.size());
    const double tolerance = 1e-9 * size;
    EXPECT_NEAR(fit.parameters.shared[placement::centreX], row.truth.shared[placement::centreX], tolerance);
    EXPECT_NEAR(fit.parameters.shared[placement::centreY], row.truth.shared[placement::centreY], tolerance);
    EXPECT_NEAR(fit.parameters.shared[placement::rotation], row.truth.shared[placement::rotation], 1e-9);
    for (std::size_t k = placement::count; k < row.truth.shared.size(); ++k) {
        EXPECT_NEAR(fit.parameters.shared[k], row.truth.shared[k], tolerance) << "shape parameter " << k;
    }
    for (std::size_t j = 0; j < row.truth.rings.size(); ++j) {
        for (std::size_t k = 0; k < row.truth.rings[j].size(); ++k) {
            EXPECT_NEAR(fit.parameters.rings[j][k], row.truth.rings[j][k], tolerance) << "ring " << j + 1 << " value " << k;
        }
    }
}

class ModelFitRecovery : public ::testing::TestWithParam<RecoveryRow> {};

TEST_P(ModelFitRecovery, FindsItsOwnNoiselessDrawing) {
    const RecoveryRow& row = GetParam();
    if (row.kind == Kind::Ellipse) {
        expectRecovered<EllipseModel>(row);
    } else {
        expectRecovered<FourCentreModel>(row);
    }
}

INSTANTIATE_TEST_SUITE_P(
    ModelFit, ModelFitRecovery,
    ::testing::Values(
        RecoveryRow{"ellipseAtOrigin", Kind::Ellipse, {{0, 0, 0.2}, {{12, 8}}}},
        RecoveryRow{"ellipsesTurnedFarAway", Kind::Ellipse, {{1e6, -2.5e5, 2.4}, {{12, 8}, {13, 9.5}, {15, 11}}}},
        RecoveryRow{"flatEllipse", Kind::Ellipse, {{-50, 20, -1.2}, {{10, 1}}}},
        RecoveryRow{"fourCentreAtOrigin", Kind::FourCentre, {{0, 0, 0.1, 10, 6}, {{2}}}},
        RecoveryRow{"fourCentresTurnedFarAway", Kind::FourCentre, {{-1e6, 1e6, 2.5, 10, 6}, {{2}, {3.5}, {5}}}},
        RecoveryRow{"flatFourCentre", Kind::FourCentre, {{5, 5, -0.8, 40, 200}, {{1}, {3}}}}),
    [](const auto& info) { return info.param.name; });

TEST(ModelFit, KeepsAParameterWithinItsBounds) {
    // Points of a circle fitted as a four-centre oval: the side arcs' centres head for the
    // centre, where their arcs become the circle, and OB stops at its bound instead of turning
    // negative.
    const CurveParameters circle{{0, 0, 0}, {{5, 5}}};
    std::vector<RingPoints> rings = drawingOf<EllipseModel>(circle, 120);
    const ModelFitResult fit = fitCurveModel<FourCentreModel>(rings, {{0.1, -0.1, 0, 0.5, 1}, {{4.6}}});
    EXPECT_GE(fit.parameters.shared[placement::count + FourCentreModel::oa], 0.0);
    EXPECT_LT(fit.parameters.shared[placement::count + FourCentreModel::ob], 1e-6);
    EXPECT_GE(fit.parameters.shared[placement::count + FourCentreModel::ob], 0.0);
    EXPECT_LT(fit.rms, 1e-6);
}

TEST(ModelFit, RingsWithoutPointsKeepTheirStart) {
    const CurveParameters truth{{1, 2, 0.3}, {{12, 8}, {14, 10}}};
    std::vector<RingPoints> rings = drawingOf<EllipseModel>(truth, 100);
    rings[1].x.clear();
    rings[1].y.clear();
    CurveParameters start = startOffFrom(truth, 12);
    const ModelFitResult fit = fitCurveModel<EllipseModel>(rings, start);
    EXPECT_NEAR(fit.parameters.rings[0][EllipseModel::semiX], 12, 1e-8);
    EXPECT_EQ(fit.parameters.rings[1], start.rings[1]);
    EXPECT_EQ(fit.ringRms[1], 0.0);
}

}  // namespace
