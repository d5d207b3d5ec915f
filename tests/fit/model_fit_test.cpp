#include "fit/model_fit.hpp"

#include <algorithm>
#include <cmath>
#include <ostream>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "fit/own_frame_arc.hpp"
#include "model/eight_centre_model.hpp"
#include "model/ellipse_model.hpp"
#include "model/four_centre_model.hpp"

namespace {

enum class Kind { Ellipse, FourCentre, EightCentre };

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
    switch (row.kind) {
        case Kind::Ellipse: expectRecovered<EllipseModel>(row); break;
        case Kind::FourCentre: expectRecovered<FourCentreModel>(row); break;
        case Kind::EightCentre: expectRecovered<EightCentreModel>(row); break;
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
        RecoveryRow{"flatFourCentre", Kind::FourCentre, {{5, 5, -0.8, 40, 200}, {{1}, {3}}}},
        // Shape: OA, OB, the places of C on O A1 and of D on C1 B1.
        RecoveryRow{"eightCentreAtOrigin", Kind::EightCentre, {{0, 0, 0.1, 10, 6, 0.5, 0.4}, {{2}}}},
        RecoveryRow{"eightCentresTurnedFarAway", Kind::EightCentre, {{-1e6, 1e6, 2.5, 10, 6, 0.3, 0.6}, {{2}, {3.5}, {5}}}},
        RecoveryRow{"eightCentresTallFarAway", Kind::EightCentre, {{3e5, 7e5, -1.3, 4, 9, 0.7, 0.25}, {{6}, {8}}}}),
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
    ASSERT_TRUE(fit.standardErrors.has_value());
    EXPECT_TRUE(fit.standardErrors->rings[0].has_value());
    EXPECT_FALSE(fit.standardErrors->rings[1].has_value());
}

TEST(ModelFit, EightCentreDeviationIsTheOwnFrameDeviation) {
    // The model's deviation and the one the fit's quality is judged by, on points scattered in and
    // around the rings.
    const CurveParameters family{{120.5, -40.25, 0.7, 10, 6, 0.35, 0.55}, {{2}, {4.5}}};
    std::mt19937 random(18);
    std::uniform_real_distribution<double> spread(-25, 25);
    CurveStore curves;
    curves.curves.resize(2);
    for (Curve& curve : curves.curves) {
        for (int i = 0; i < 500; ++i) {
            curve.x.push_back(120.5 + spread(random));
            curve.y.push_back(-40.25 + spread(random));
        }
    }
    const OwnFrameDeviations expected = ownFrameDeviations(coefficientsOf(family), curves);
    for (std::size_t j = 0; j < 2; ++j) {
        for (std::size_t i = 0; i < curves.curves[j].x.size(); ++i) {
            const double d = pointDeviation<EightCentreModel>(family.shared.data(), family.rings[j].data(),
                                                              static_cast<double>(curves.curves[j].x[i]),
                                                              static_cast<double>(curves.curves[j].y[i]));
            EXPECT_NEAR(d, static_cast<double>(expected.byCurve[j][i]), 1e-12) << "ring " << j + 1 << " point " << i;
        }
    }
}

/// A noisy drawing: each point moved along the ring's normal by normal noise of deviation `sigma`.
template <CurveModel M>
std::vector<RingPoints> noisyDrawingOf(const CurveParameters& truth, int count, double sigma, std::mt19937& random) {
    std::normal_distribution<double> noise(0, sigma);
    std::vector<RingPoints> rings;
    for (std::size_t j = 0; j < truth.rings.size(); ++j) {
        RingPoints ring;
        ring.curve = static_cast<std::int32_t>(j + 1);
        for (const OutlinePoint& p : sampledOutline<M>(truth, j, count)) {
            const double e = noise(random);
            ring.x.push_back(p.x + e * p.normalX);
            ring.y.push_back(p.y + e * p.normalY);
        }
        rings.push_back(std::move(ring));
    }
    return rings;
}

TEST(ModelFit, StandardErrorsCoverTheTruthAsOftenAsTheyShould) {
    // 200 drawings of the same family with fresh noise: a standard error is calibrated when the
    // fitted value lies within one of it from the truth about 68 % of the time (2.3 % either way
    // is one binomial deviation over 200 drawings; 10 % is beyond four).
    const CurveParameters truth{{50, -20, 0.4, 10, 6, 0.5, 0.4}, {{2}, {3.5}}};
    constexpr int drawings = 200;
    std::mt19937 random(1818);
    const std::size_t sharedSize = truth.shared.size();
    std::vector<int> covered(sharedSize + 2 + 4, 0);
    for (int n = 0; n < drawings; ++n) {
        const ModelFitResult fit =
            fitCurveModel<EightCentreModel>(noisyDrawingOf<EightCentreModel>(truth, 60, 0.01, random), truth);
        ASSERT_TRUE(fit.standardErrors.has_value()) << "drawing " << n;
        const ModelStandardErrors& e = *fit.standardErrors;
        ASSERT_EQ(e.shared.size(), sharedSize);
        ASSERT_EQ(e.rings.size(), 2u);
        for (std::size_t k = 0; k < sharedSize; ++k) {
            covered[k] += std::fabs(fit.parameters.shared[k] - truth.shared[k]) <= e.shared[k];
        }
        for (std::size_t j = 0; j < 2; ++j) {
            ASSERT_TRUE(e.rings[j].has_value());
            covered[sharedSize + j] += std::fabs(fit.parameters.rings[j][0] - truth.rings[j][0]) <= e.rings[j]->values[0];
            const RingAxes fitted = EightCentreModel::semiAxes(fit.parameters.shared.data() + placement::count,
                                                               fit.parameters.rings[j].data());
            const RingAxes exact = EightCentreModel::semiAxes(truth.shared.data() + placement::count, truth.rings[j].data());
            covered[sharedSize + 2 + 2 * j] += std::fabs(fitted.semiMajor - exact.semiMajor) <= e.rings[j]->axes.semiMajor;
            covered[sharedSize + 3 + 2 * j] += std::fabs(fitted.semiMinor - exact.semiMinor) <= e.rings[j]->axes.semiMinor;
        }
    }
    for (std::size_t k = 0; k < covered.size(); ++k) {
        EXPECT_NEAR(covered[k] / static_cast<double>(drawings), 0.683, 0.1) << "value " << k;
    }
}

TEST(ModelFit, HasNoStandardErrorsWhenThePointsDoNotFixEveryParameter) {
    // A circle fitted as an ellipse leaves its rotation free; three points cannot fix five values.
    const CurveParameters circle{{1, 2, 0.3}, {{5, 5}}};
    const ModelFitResult free = fitCurveModel<EllipseModel>(drawingOf<EllipseModel>(circle, 80), circle);
    EXPECT_LT(free.rms, 1e-9);
    EXPECT_FALSE(free.standardErrors.has_value());
    const CurveParameters ellipse{{1, 2, 0.3}, {{5, 4}}};
    const ModelFitResult fixed = fitCurveModel<EllipseModel>(drawingOf<EllipseModel>(ellipse, 80), ellipse);
    EXPECT_TRUE(fixed.standardErrors.has_value());
    const ModelFitResult few = fitCurveModel<EllipseModel>(drawingOf<EllipseModel>(ellipse, 3), ellipse);
    EXPECT_FALSE(few.standardErrors.has_value());
    ModelFitSettings without;
    without.standardErrors = false;
    EXPECT_FALSE(fitCurveModel<EllipseModel>(drawingOf<EllipseModel>(ellipse, 80), ellipse, without).standardErrors);
}

}  // namespace
