#include "fit/model_fit.hpp"

#include <ceres/ceres.h>
#include <glog/logging.h>
#include <Eigen/Dense>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <numbers>

#include "model/eight_centre_model.hpp"
#include "model/ellipse_model.hpp"
#include "model/four_centre_model.hpp"

namespace {

// Bounds of the lengths, in units of the drawing's extent.
constexpr double smallestLength = 1e-9;
constexpr double largestLength = 1e3;

// Drawings from about a thousandth to about a million units across are fitted in their own units,
// as they always were, so that their results keep every digit; others in a power of two near their
// extent.
constexpr int smallestOwnUnitExponent = -10;
constexpr int largestOwnUnitExponent = 20;

double unitOf(double extent) {
    const int exponent = std::ilogb(extent);
    if (exponent >= smallestOwnUnitExponent && exponent <= largestOwnUnitExponent) return 1;
    return std::ldexp(1.0, exponent);
}

/// The median of `values` (reordered).
Real80 medianOf(std::vector<Real80>& values) {
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

FitFrame robustFrameOf(const CurveStore& curves) {
    std::vector<Real80> xs, ys;
    for (const Curve& curve : curves.curves) {
        xs.insert(xs.end(), curve.x.begin(), curve.x.end());
        ys.insert(ys.end(), curve.y.begin(), curve.y.end());
    }
    FitFrame frame;
    if (xs.empty()) return frame;
    frame.originX = medianOf(xs);
    frame.originY = medianOf(ys);
    std::vector<Real80> distances;
    for (const Curve& curve : curves.curves) {
        for (std::size_t i = 0; i < curve.x.size(); ++i) {
            distances.push_back(std::hypot(curve.x[i] - frame.originX, curve.y[i] - frame.originY));
        }
    }
    const double extent = static_cast<double>(4 * medianOf(distances));
    if (extent > 0 && std::isfinite(extent)) frame.extent = extent;
    frame.unit = unitOf(frame.extent);
    return frame;
}

FitFrame meanFrameOf(const CurveStore& curves) {
    FitFrame frame;
    Real80 minX = 0, maxX = 0, minY = 0, maxY = 0, sumX = 0, sumY = 0;
    std::int64_t count = 0;
    for (const Curve& curve : curves.curves) {
        for (std::size_t i = 0; i < curve.x.size(); ++i) {
            if (count == 0) {
                minX = maxX = curve.x[i];
                minY = maxY = curve.y[i];
            }
            minX = std::min(minX, curve.x[i]);
            maxX = std::max(maxX, curve.x[i]);
            minY = std::min(minY, curve.y[i]);
            maxY = std::max(maxY, curve.y[i]);
            sumX += curve.x[i];
            sumY += curve.y[i];
            ++count;
        }
    }
    if (count > 0) {
        frame.originX = sumX / static_cast<Real80>(count);
        frame.originY = sumY / static_cast<Real80>(count);
        const double extent = static_cast<double>(std::hypot(maxX - minX, maxY - minY));
        if (extent > 0 && std::isfinite(extent)) frame.extent = extent;
    }
    frame.unit = unitOf(frame.extent);
    return frame;
}

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

std::string_view stopReasonName(StopReason reason) {
    switch (reason) {
        case StopReason::Converged: return "converged";
        case StopReason::IterationLimit: return "iteration limit";
        case StopReason::NoProgress: break;
    }
    return "no progress";
}

StopReason stopReasonOf(ceres::TerminationType termination, const std::string& message) {
    switch (termination) {
        case ceres::NO_CONVERGENCE: return StopReason::IterationLimit;
        case ceres::CONVERGENCE:
        case ceres::USER_SUCCESS:
            // The trust region shrinks to nothing when no step lowers the sum any more although
            // none of the convergence tests holds.
            return message.find("trust region radius") != std::string::npos ? StopReason::NoProgress
                                                                             : StopReason::Converged;
        default: return StopReason::NoProgress;
    }
}

void silenceSolverLog() {
    static const bool silenced = [] {
        FLAGS_minloglevel = google::GLOG_FATAL;
        return true;
    }();
    (void)silenced;
}

bool StallWatch::stalledAfter(double cost, double fraction) {
    costs_.push_back(cost);
    const std::size_t n = costs_.size();
    return n > stallIterations && costs_[n - 1 - stallIterations] - costs_[n - 1] < fraction * costs_[n - 1];
}

double FitFrame::shortest() const { return smallestLength * extent / unit; }
double FitFrame::longest() const { return largestLength * extent / unit; }

FitFrame fitFrameOf(const CurveStore& curves, bool robust) { return robust ? robustFrameOf(curves) : meanFrameOf(curves); }

std::vector<RingPoints> ringsInFrame(const CurveStore& curves, const FitFrame& frame) {
    std::vector<RingPoints> rings;
    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
        const Curve& curve = curves.curves[static_cast<std::size_t>(j - 1)];
        if (curve.x.empty()) continue;
        RingPoints ring;
        ring.curve = j;
        for (std::size_t i = 0; i < curve.x.size(); ++i) {
            ring.x.push_back(static_cast<double>((curve.x[i] - frame.originX) / frame.unit));
            ring.y.push_back(static_cast<double>((curve.y[i] - frame.originY) / frame.unit));
        }
        rings.push_back(std::move(ring));
    }
    return rings;
}

double robustSigma(std::vector<double> deviations, double floor) {
    if (deviations.empty()) return floor;
    for (double& d : deviations) d = std::fabs(d);
    const auto middle = deviations.begin() + static_cast<std::ptrdiff_t>(deviations.size() / 2);
    std::nth_element(deviations.begin(), middle, deviations.end());
    return std::max(robust::madToSigma * *middle, floor);
}

void applyRobustLoss(const ceres::LossFunction* loss, std::size_t count, double* residuals, double* sharedRows,
                     int sharedWidth, double* ringRows, int ringWidth) {
    if (loss == nullptr) return;
    for (std::size_t i = 0; i < count; ++i) {
        const double e = residuals[i];
        double rho[3];
        loss->Evaluate(e * e, rho);
        const double root = std::sqrt(rho[0]);
        // d/de of sign(e) sqrt(rho(e^2)) = rho'(e^2) |e| / sqrt(rho(e^2)), which tends to 1 at e = 0.
        const double slope = root > 0 ? rho[1] * std::fabs(e) / root : 1;
        residuals[i] = std::copysign(root, e);
        if (sharedRows != nullptr) {
            for (int k = 0; k < sharedWidth; ++k) sharedRows[i * static_cast<std::size_t>(sharedWidth) + k] *= slope;
        }
        if (ringRows != nullptr) {
            for (int k = 0; k < ringWidth; ++k) ringRows[i * static_cast<std::size_t>(ringWidth) + k] *= slope;
        }
    }
}

double probedValue(double value, double sign, const ParameterInfo& info, const FitFrame& frame, double placeMargin) {
    switch (info.unit) {
        case ParameterUnit::Angle: return value + sign * probe::angle;
        case ParameterUnit::Fraction: return std::clamp(value + sign * probe::fraction, placeMargin, 1 - placeMargin);
        case ParameterUnit::Length: break;
    }
    const double stepped = value + sign * probe::length * frame.extent;
    // A length bounded at all (not the centre) keeps within the frame's bounds of a length.
    return std::isfinite(info.lower) || std::isfinite(info.upper)
               ? std::clamp(stepped, frame.shortest(), frame.longest())
               : stepped;
}

double leastCorrelationEigenvalue(const double* covariance, int size) {
    Eigen::MatrixXd correlation(size, size);
    for (int r = 0; r < size; ++r) {
        for (int c = 0; c < size; ++c) {
            const double product = covariance[r * size + r] * covariance[c * size + c];
            correlation(r, c) = product > 0 ? covariance[r * size + c] / std::sqrt(product) : 0;
        }
    }
    const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> solver(correlation, Eigen::EigenvaluesOnly);
    return solver.info() == Eigen::Success ? solver.eigenvalues()(0) : 0;
}

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

    silenceSolverLog();
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
    result.stopReason = stopReasonOf(summary.termination_type, summary.message);

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
