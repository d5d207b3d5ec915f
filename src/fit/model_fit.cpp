#include "fit/model_fit.hpp"

#include <ceres/ceres.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

#include "model/eight_centre_model.hpp"
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

/// The gradient of ring axes by the shape's and the ring's parameters (shape first).
struct AxesGradient {
    std::vector<double> semiMajor, semiMinor;
};

/// By automatic derivatives through the model's ownFrameSemiAxes where it has them, by central
/// differences of semiAxes otherwise.
template <CurveModel M>
AxesGradient axesGradient(const double* shape, const double* ring) {
    constexpr int size = M::shapeCount + M::ringCount;
    AxesGradient g{std::vector<double>(size), std::vector<double>(size)};
    if constexpr (requires { M::ownFrameSemiAxes(shape, ring); }) {
        using Jet = ceres::Jet<double, size>;
        std::array<Jet, size> x;
        for (int k = 0; k < size; ++k) x[k] = Jet(k < M::shapeCount ? shape[k] : ring[k - M::shapeCount], k);
        const RingAxesOf<Jet> axes = M::ownFrameSemiAxes(x.data(), x.data() + M::shapeCount);
        for (int k = 0; k < size; ++k) {
            g.semiMajor[k] = axes.semiMajor.v[k];
            g.semiMinor[k] = axes.semiMinor.v[k];
        }
    } else {
        // A step of a millionth of the value (or of the ring's size for a value near 0) leaves the
        // derivative right to about 1e-10 of its size, far below what a standard error needs.
        std::array<double, size> x{};
        for (int k = 0; k < size; ++k) x[k] = k < M::shapeCount ? shape[k] : ring[k - M::shapeCount];
        const double size0 = M::semiAxes(shape, ring).semiMajor;
        for (int k = 0; k < size; ++k) {
            const double h = 1e-6 * std::max(std::fabs(x[k]), std::fabs(size0));
            std::array<double, size> up = x, down = x;
            up[k] += h;
            down[k] -= h;
            const RingAxes above = M::semiAxes(up.data(), up.data() + M::shapeCount);
            const RingAxes below = M::semiAxes(down.data(), down.data() + M::shapeCount);
            g.semiMajor[k] = (above.semiMajor - below.semiMajor) / (2 * h);
            g.semiMinor[k] = (above.semiMinor - below.semiMinor) / (2 * h);
        }
    }
    return g;
}

/// The standard errors of the family from the solver's covariance at `parameters`, scaled by
/// `variance`; none when the Jacobian is rank deficient. `blocks` are the ring blocks in the
/// problem, by ring (null for a ring without points).
template <CurveModel M>
std::optional<ModelStandardErrors> standardErrorsOf(ceres::Problem& problem, const CurveParameters& parameters,
                                                    const std::vector<const double*>& blocks, double variance) {
    constexpr int sharedSize = placement::count + M::shapeCount;
    constexpr int ringSize = M::ringCount;
    const double* shared = parameters.shared.data();
    std::vector<std::pair<const double*, const double*>> pairs{{shared, shared}};
    for (const double* block : blocks) {
        if (block == nullptr) continue;
        pairs.emplace_back(shared, block);
        pairs.emplace_back(block, block);
    }
    ceres::Covariance::Options options;
    // A QR factorisation, as the eight-centre fit's, which reports a rank deficient Jacobian.
    options.algorithm_type = ceres::SPARSE_QR;
    ceres::Covariance covariance(options);
    if (!covariance.Compute(pairs, &problem)) return std::nullopt;

    std::array<double, sharedSize * sharedSize> sharedCov{};
    covariance.GetCovarianceBlock(shared, shared, sharedCov.data());
    ModelStandardErrors errors;
    for (int k = 0; k < sharedSize; ++k) errors.shared.push_back(std::sqrt(std::max(sharedCov[k * sharedSize + k], 0.0) * variance));
    for (const double* block : blocks) {
        if (block == nullptr) {
            errors.rings.emplace_back();
            continue;
        }
        std::array<double, sharedSize * ringSize> cross{};
        std::array<double, ringSize * ringSize> own{};
        covariance.GetCovarianceBlock(shared, block, cross.data());
        covariance.GetCovarianceBlock(block, block, own.data());
        RingStandardErrors ring;
        for (int k = 0; k < ringSize; ++k) ring.values.push_back(std::sqrt(std::max(own[k * ringSize + k], 0.0) * variance));
        // The covariance of (shape, ring) and the axes' gradient by them.
        constexpr int size = M::shapeCount + ringSize;
        auto entry = [&](int r, int c) {
            if (r < M::shapeCount && c < M::shapeCount) {
                return sharedCov[(placement::count + r) * sharedSize + placement::count + c];
            }
            if (r < M::shapeCount) return cross[(placement::count + r) * ringSize + (c - M::shapeCount)];
            if (c < M::shapeCount) return cross[(placement::count + c) * ringSize + (r - M::shapeCount)];
            return own[(r - M::shapeCount) * ringSize + (c - M::shapeCount)];
        };
        const AxesGradient g = axesGradient<M>(shared + placement::count, block);
        double major = 0, minor = 0;
        for (int r = 0; r < size; ++r) {
            for (int c = 0; c < size; ++c) {
                major += g.semiMajor[r] * entry(r, c) * g.semiMajor[c];
                minor += g.semiMinor[r] * entry(r, c) * g.semiMinor[c];
            }
        }
        ring.axes = {std::sqrt(std::max(major, 0.0) * variance), std::sqrt(std::max(minor, 0.0) * variance)};
        errors.rings.emplace_back(std::move(ring));
    }
    return errors;
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
    std::vector<const double*> ringBlocks(ringCount, nullptr);
    ceres::Problem problem;
    problem.AddParameterBlock(shared.data(), sharedSize);
    boundBlock(problem, shared.data(), infos, 0, sharedSize);
    for (std::size_t j = 0; j < ringCount; ++j) {
        double* block = result.parameters.rings[j].data();
        problem.AddParameterBlock(block, M::ringCount);
        boundBlock(problem, block, infos, sharedSize + j * M::ringCount, M::ringCount);
        if (!rings[j].x.empty()) ringBlocks[j] = block;
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
    std::size_t unknowns = sharedSize;
    for (const double* block : ringBlocks) unknowns += block != nullptr ? M::ringCount : 0;
    if (settings.standardErrors && pointCount > unknowns) {
        const double variance = sumOfSquares / static_cast<double>(pointCount - unknowns);
        result.standardErrors = standardErrorsOf<M>(problem, result.parameters, ringBlocks, variance);
    }
    shared[placement::centreX] += originX;
    shared[placement::centreY] += originY;
    return result;
}

template ModelFitResult fitCurveModel<EllipseModel>(const std::vector<RingPoints>&, const CurveParameters&,
                                                    const ModelFitSettings&);
template ModelFitResult fitCurveModel<FourCentreModel>(const std::vector<RingPoints>&, const CurveParameters&,
                                                       const ModelFitSettings&);
template ModelFitResult fitCurveModel<EightCentreModel>(const std::vector<RingPoints>&, const CurveParameters&,
                                                        const ModelFitSettings&);
