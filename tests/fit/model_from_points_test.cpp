#include "fit/model_from_points.hpp"

#include <cmath>
#include <numbers>
#include <ostream>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "model/ellipse_model.hpp"
#include "model/four_centre_model.hpp"

namespace {

enum class Kind { Ellipse, FourCentre };

struct FromPointsRow {
    std::string name;
    Kind kind;
    CurveParameters truth;
    int pointsPerRing;
};

void PrintTo(const FromPointsRow& row, std::ostream* os) { *os << row.name; }

/// Each ring of the family drawn with `count` points evenly spaced, each moved along the
/// curve's normal by a normal deviate of `sigma` (a fixed seed per ring).
template <CurveModel M>
CurveStore noisyDrawing(const CurveParameters& truth, int count, double sigma) {
    CurveStore curves;
    for (std::size_t j = 0; j < truth.rings.size(); ++j) {
        std::mt19937 random(static_cast<unsigned>(17 + j));
        std::normal_distribution<double> noise(0, sigma);
        Curve curve;
        for (const OutlinePoint& p : sampledOutline<M>(truth, j, count)) {
            const double e = noise(random);
            curve.x.push_back(p.x + e * p.normalX);
            curve.y.push_back(p.y + e * p.normalY);
        }
        curves.curves.push_back(std::move(curve));
    }
    return curves;
}

/// The direction of the family's major axis (radians counter-clockwise, modulo pi).
template <CurveModel M>
double majorDirection(const CurveParameters& parameters) {
    double direction = -parameters.shared[placement::rotation];
    if constexpr (std::is_same_v<M, EllipseModel>) {
        const std::vector<double>& ring = parameters.rings[0];
        if (ring[EllipseModel::semiY] > ring[EllipseModel::semiX]) direction += std::numbers::pi / 2;
    }
    return direction;
}

/// The gap between two directions taken modulo pi.
double directionGap(double a, double b) {
    const double gap = std::remainder(a - b, std::numbers::pi);
    return std::abs(gap);
}

template <CurveModel M>
void expectRecovered(const FromPointsRow& row) {
    const double* trueShape = row.truth.shared.data() + placement::count;
    const double size = M::semiAxes(trueShape, row.truth.rings[0].data()).semiMajor;
    // Radial noise of 0.02 % of the size, as a careful survey of a building leaves.
    const double sigma = 2e-4 * size;
    const std::optional<ModelFitResult> fit =
        fitModelFromPoints<M>(noisyDrawing<M>(row.truth, row.pointsPerRing, sigma));
    ASSERT_TRUE(fit.has_value());
    EXPECT_TRUE(fit->standardErrors.has_value());
    // A wrong optimum leaves deviations of the curves' difference, far above the noise.
    EXPECT_GT(fit->rms, 0.8 * sigma);
    EXPECT_LT(fit->rms, 1.2 * sigma);
    ASSERT_EQ(fit->parameters.rings.size(), row.truth.rings.size());
    // The placement and every ring's semi-axes are found to within a few times the noise.
    const double tolerance = 10 * sigma;
    EXPECT_NEAR(fit->parameters.shared[placement::centreX], row.truth.shared[placement::centreX], tolerance);
    EXPECT_NEAR(fit->parameters.shared[placement::centreY], row.truth.shared[placement::centreY], tolerance);
    EXPECT_LT(directionGap(majorDirection<M>(fit->parameters), majorDirection<M>(row.truth)), tolerance / size * 10);
    const double* shape = fit->parameters.shared.data() + placement::count;
    for (std::size_t j = 0; j < row.truth.rings.size(); ++j) {
        const RingAxes found = M::semiAxes(shape, fit->parameters.rings[j].data());
        const RingAxes truth = M::semiAxes(trueShape, row.truth.rings[j].data());
        EXPECT_NEAR(found.semiMajor, truth.semiMajor, tolerance) << "ring " << j + 1;
        EXPECT_NEAR(found.semiMinor, truth.semiMinor, tolerance) << "ring " << j + 1;
    }
    for (int k = 0; k < M::shapeCount; ++k) {
        EXPECT_NEAR(shape[k], trueShape[k], 0.02 * trueShape[k]) << "shape parameter " << k;
    }
}

class FitFromPoints : public ::testing::TestWithParam<FromPointsRow> {};

TEST_P(FitFromPoints, FindsItsOwnNoisyDrawing) {
    const FromPointsRow& row = GetParam();
    if (row.kind == Kind::Ellipse) {
        expectRecovered<EllipseModel>(row);
    } else {
        expectRecovered<FourCentreModel>(row);
    }
}

INSTANTIATE_TEST_SUITE_P(
    ModelFromPoints, FitFromPoints,
    ::testing::Values(
        FromPointsRow{"ellipseAtOrigin", Kind::Ellipse, {{0, 0, 0}, {{60, 40}}}, 300},
        FromPointsRow{"ellipsesTurnedFarAway", Kind::Ellipse,
                      {{2.5e6, -4.1e6, 2.4}, {{60, 40}, {66, 47}, {75, 55}}}, 250},
        FromPointsRow{"nearlyRoundEllipseTurnedBack", Kind::Ellipse, {{310, -120, -1.1}, {{50, 47}}}, 400},
        FromPointsRow{"flatEllipses", Kind::Ellipse, {{-7e5, 3e5, 0.7}, {{90, 30}, {100, 40}}}, 200},
        FromPointsRow{"fourCentreAtOrigin", Kind::FourCentre, {{0, 0, 0, 30, 20}, {{20}}}, 300},
        FromPointsRow{"fourCentresTurnedFarAway", Kind::FourCentre,
                      {{-3.3e6, 5.2e6, 2.9, 30, 20}, {{15}, {20}, {27}}}, 250},
        FromPointsRow{"roundishFourCentre", Kind::FourCentre, {{450, 90, -0.4, 6, 4}, {{40}}}, 400},
        FromPointsRow{"flatFourCentresTurnedBack", Kind::FourCentre, {{8e5, 8e5, -2.2, 60, 90}, {{12}, {20}}}, 150}),
    [](const auto& info) { return info.param.name; });

TEST(ModelFromPoints, NoneWithoutARingThatYieldsAnEllipse) {
    CurveStore curves;
    curves.curves.push_back({{0, 1, 2, 3}, {0, 1, 0, 1}});  // too few points for an ellipse
    curves.curves.push_back({{0, 1, 2, 3, 4, 5}, {0, 0, 0, 0, 0, 0}});  // a line
    EXPECT_FALSE(fitModelFromPoints<EllipseModel>(curves).has_value());
    EXPECT_FALSE(fitModelFromPoints<FourCentreModel>(curves).has_value());
}

TEST(ModelFromPoints, EveryFourCentreCandidateIsProperAndHasTheMeanSemiAxes) {
    MeanEllipse mean{10, -5, 0.3, 50, 30, {{45, 25}, {55, 35}}};
    const std::vector<CurveParameters> candidates = FourCentreModel::startingCandidates(mean);
    ASSERT_GE(candidates.size(), 3u);
    for (const CurveParameters& candidate : candidates) {
        EXPECT_EQ(FourCentreModel::fault(candidate), FourCentreModel::Fault::None);
        ASSERT_EQ(candidate.rings.size(), 2u);
        // The rings' semi-axes differ by the same amount in a four-centre family, so each ring
        // keeps its own mean of the two: 40 and 45 for the rings, as 40 for the mean ellipse.
        const double* shape = candidate.shared.data() + placement::count;
        const RingAxes inner = FourCentreModel::semiAxes(shape, candidate.rings[0].data());
        const RingAxes outer = FourCentreModel::semiAxes(shape, candidate.rings[1].data());
        EXPECT_NEAR(inner.semiMajor - inner.semiMinor, 20, 1e-9);
        EXPECT_NEAR((inner.semiMajor + inner.semiMinor) / 2, 35, 1e-9);
        EXPECT_NEAR((outer.semiMajor + outer.semiMinor) / 2, 45, 1e-9);
    }
    // A round drawing still gets proper candidates.
    mean.semiMinor = mean.semiMajor;
    for (const CurveParameters& candidate : FourCentreModel::startingCandidates(mean)) {
        EXPECT_EQ(FourCentreModel::fault(candidate), FourCentreModel::Fault::None);
    }
}

}  // namespace
