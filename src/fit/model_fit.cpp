#include "fit/model_fit.hpp"

#include <ceres/ceres.h>

#include <cmath>
#include <memory>

#include "model/ellipse_model.hpp"
#include "model/four_centre_model.hpp"

namespace {

/// The deviation of one point from its ring, as Ceres asks for it.
template <CurveModel M>
struct PointDeviationCost {
    double x, y;

    template <typename T>
    bool operator()(const T* shared, const T* ring, T* residual) const {
        residual[0] = pointDeviation<M>(shared, ring, T(x), T(y));
        return true;
    }
};

/// Sets the finite bounds of `infos` (from `first` on) on a parameter block.
void boundBlock(ceres::Problem& problem, double* block, const std::vector<ParameterInfo>& infos, std::size_t first,
                int size) {
    for (int k = 0; k < size; ++k) {
        const ParameterInfo& info = infos[first + static_cast<std::size_t>(k)];
        if (std::isfinite(info.lower)) problem.SetParameterLowerBound(block, k, info.lower);
        if (std::isfinite(info.upper)) problem.SetParameterUpperBound(block, k, info.upper);
    }
}

}  // namespace

template <CurveModel M>
ModelFitResult fitCurveModel(const std::vector<RingPoints>& rings, const CurveParameters& start,
                             const ModelFitSettings& settings) {
    constexpr int sharedSize = placement::count + M::shapeCount;
    const std::size_t ringCount = std::min(rings.size(), start.rings.size());

    // The mean of the points becomes the origin.
    double originX = 0, originY = 0;
    std::size_t pointCount = 0;
    for (std::size_t j = 0; j < ringCount; ++j) {
        for (std::size_t i = 0; i < rings[j].x.size(); ++i) {
            originX += rings[j].x[i];
            originY += rings[j].y[i];
        }
        pointCount += rings[j].x.size();
    }
    if (pointCount > 0) {
        originX /= static_cast<double>(pointCount);
        originY /= static_cast<double>(pointCount);
    }

    ModelFitResult result;
    result.parameters = start;
    result.parameters.rings.resize(ringCount);
    std::vector<double>& shared = result.parameters.shared;
    shared[placement::centreX] -= originX;
    shared[placement::centreY] -= originY;

    const std::vector<ParameterInfo> infos = parameterList<M>(static_cast<int>(ringCount));
    ceres::Problem problem;
    problem.AddParameterBlock(shared.data(), sharedSize);
    boundBlock(problem, shared.data(), infos, 0, sharedSize);
    for (std::size_t j = 0; j < ringCount; ++j) {
        double* block = result.parameters.rings[j].data();
        problem.AddParameterBlock(block, M::ringCount);
        boundBlock(problem, block, infos, sharedSize + j * M::ringCount, M::ringCount);
        for (std::size_t i = 0; i < rings[j].x.size(); ++i) {
            auto* cost = new ceres::AutoDiffCostFunction<PointDeviationCost<M>, 1, sharedSize, M::ringCount>(
                new PointDeviationCost<M>{rings[j].x[i] - originX, rings[j].y[i] - originY});
            problem.AddResidualBlock(cost, nullptr, shared.data(), block);
        }
    }

    ceres::Solver::Options options;
    options.trust_region_strategy_type = ceres::LEVENBERG_MARQUARDT;
    options.linear_solver_type = ceres::DENSE_QR;
    options.max_num_iterations = settings.maxIterations;
    options.function_tolerance = settings.functionTolerance;
    options.gradient_tolerance = 1e-16;
    options.parameter_tolerance = 1e-15;
    options.logging_type = ceres::SILENT;
    ceres::Solver::Summary summary;
    if (pointCount > 0) ceres::Solve(options, &problem, &summary);
    result.iterations = static_cast<std::int32_t>(summary.iterations.size());
    result.converged = summary.termination_type == ceres::CONVERGENCE;

    double sumOfSquares = 0;
    for (std::size_t j = 0; j < ringCount; ++j) {
        double ringSum = 0;
        for (std::size_t i = 0; i < rings[j].x.size(); ++i) {
            const double d = pointDeviation<M>(shared.data(), result.parameters.rings[j].data(),
                                               rings[j].x[i] - originX, rings[j].y[i] - originY);
            ringSum += d * d;
        }
        const std::size_t n = rings[j].x.size();
        result.ringRms.push_back(n == 0 ? 0 : std::sqrt(ringSum / static_cast<double>(n)));
        sumOfSquares += ringSum;
    }
    if (pointCount > 0) result.rms = std::sqrt(sumOfSquares / static_cast<double>(pointCount));
    shared[placement::centreX] += originX;
    shared[placement::centreY] += originY;
    return result;
}

template ModelFitResult fitCurveModel<EllipseModel>(const std::vector<RingPoints>&, const CurveParameters&,
                                                    const ModelFitSettings&);
template ModelFitResult fitCurveModel<FourCentreModel>(const std::vector<RingPoints>&, const CurveParameters&,
                                                       const ModelFitSettings&);
