#include "fit/model_fit.hpp"

#include <ceres/ceres.h>
#include <glog/logging.h>
#include <Eigen/Dense>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <type_traits>
#include <numbers>

#include "fit/ring_covariance.hpp"
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

double normalisedRotation(double theta) {
    theta = std::remainder(theta, std::numbers::pi);
    return theta <= -std::numbers::pi / 2 ? theta + std::numbers::pi : theta;
}

namespace {

/// The deviations of points [first, first + count) of `ring` from the ring of `shared` and `block`,
/// and, where the row pointers are not null, their derivatives by the shared block and by the
/// ring's (row by row). False when a value is not finite.
template <CurveModel M>
bool evaluateRingStretchOf(const RingPoints& ring, std::size_t first, std::size_t count, const double* shared,
                           const double* block, double* deviations, double* sharedRows, double* ringRows) {
    if constexpr (std::is_same_v<M, EightCentreModel>) {
        // The oval's derivatives by hand through its folded construction, taken once per ring:
        // several times faster than automatic ones point by point, which a million points feel.
        static_assert(placement::count + M::shapeCount == sharedVariableCount && M::ringCount == 1);
        return evaluateRingStretch(ring, first, count, shared, block[M::ae], deviations, sharedRows, ringRows);
    } else {
        constexpr int sharedSize = placement::count + M::shapeCount;
        constexpr int size = sharedSize + M::ringCount;
        using Jet = ceres::Jet<double, size>;
        std::array<Jet, size> x;
        for (int k = 0; k < size; ++k) x[k] = Jet(k < sharedSize ? shared[k] : block[k - sharedSize], k);
        bool finite = true;
        for (std::size_t i = 0; i < count; ++i) {
            const double px = ring.x[first + i], py = ring.y[first + i];
            if (sharedRows == nullptr && ringRows == nullptr) {
                deviations[i] = pointDeviation<M>(shared, block, px, py);
            } else {
                const Jet d = pointDeviation<M>(x.data(), x.data() + sharedSize, Jet(px), Jet(py));
                deviations[i] = d.a;
                for (int k = 0; sharedRows != nullptr && k < sharedSize; ++k) sharedRows[i * sharedSize + k] = d.v[k];
                for (int k = 0; ringRows != nullptr && k < M::ringCount; ++k) {
                    ringRows[i * M::ringCount + k] = d.v[sharedSize + k];
                }
            }
            finite = finite && std::isfinite(deviations[i]);
        }
        return finite;
    }
}

/// The deviation of every point, ring after ring.
template <CurveModel M>
std::vector<double> deviationsOf(const std::vector<RingPoints>& rings, const CurveParameters& parameters) {
    std::vector<double> all;
    for (const RingPoints& ring : rings) {
        std::vector<double> d(ring.x.size());
        evaluateRingStretchOf<M>(ring, 0, ring.x.size(), parameters.shared.data(),
                                 parameters.rings[static_cast<std::size_t>(ring.curve - 1)].data(), d.data(), nullptr,
                                 nullptr);
        all.insert(all.end(), d.begin(), d.end());
    }
    return all;
}

double sumOfSquares(const std::vector<double>& deviations) {
    double sum = 0;
    for (const double d : deviations) sum += d * d;
    return sum;
}

/// The deviations of one ring for the solver, by the shared block and the ring's.
template <CurveModel M>
class RingCost final : public ceres::CostFunction {
public:
    RingCost(const RingPoints& ring, const ceres::LossFunction* loss) : ring_(ring), loss_(loss) {
        set_num_residuals(static_cast<int>(ring.x.size()));
        mutable_parameter_block_sizes()->push_back(placement::count + M::shapeCount);
        mutable_parameter_block_sizes()->push_back(M::ringCount);
    }
    bool Evaluate(double const* const* parameters, double* residuals, double** jacobians) const override {
        double* sharedRows = jacobians != nullptr ? jacobians[0] : nullptr;
        double* ringRows = jacobians != nullptr ? jacobians[1] : nullptr;
        if (!evaluateRingStretchOf<M>(ring_, 0, ring_.x.size(), parameters[0], parameters[1], residuals, sharedRows,
                                      ringRows)) {
            return false;
        }
        applyRobustLoss(loss_, ring_.x.size(), residuals, sharedRows, placement::count + M::shapeCount, ringRows,
                        M::ringCount);
        return true;
    }

private:
    const RingPoints& ring_;
    const ceres::LossFunction* loss_;
};

/// The bounds the solver keeps a parameter within, in the fit's unit (infinite: none).
struct SolverBounds {
    double lower = -HUGE_VAL, upper = HUGE_VAL;
};

SolverBounds solverBounds(const ParameterInfo& info, bool ofShape, const FitFrame& frame, double placeMargin) {
    switch (info.unit) {
        case ParameterUnit::Angle: return {};
        case ParameterUnit::Fraction: return {placeMargin, 1 - placeMargin};
        case ParameterUnit::Length: break;
    }
    if (!std::isfinite(info.lower) && !std::isfinite(info.upper)) return {};
    return {ofShape ? std::max(info.lower, frame.shortest()) : info.lower, std::min(info.upper, frame.longest())};
}

/// Tells the caller of every iteration, and stops a stalled fit.
class IterationRelay final : public ceres::IterationCallback {
public:
    /// `sync` brings the family up to the solver's state.
    IterationRelay(std::function<void()> sync, std::function<double()> robustRms, const CurveParameters& parameters,
                   double unit, std::int64_t pointCount, const RingSolverSettings& settings,
                   const RingSolverReport& report, std::int32_t firstNumber)
        : sync_(std::move(sync)), robustRms_(std::move(robustRms)), parameters_(parameters), unit_(unit),
          pointCount_(pointCount), settings_(settings), report_(report), next_(firstNumber) {}

    ceres::CallbackReturnType operator()(const ceres::IterationSummary& summary) override {
        const bool stalled = stall_.stalledAfter(summary.cost, settings_.stallFraction);
        // Iteration 0 is the start of the round, reported as the end of the round before.
        if (summary.iteration == 0) return ceres::SOLVER_CONTINUE;
        sync_();
        RingSolverIteration iteration;
        iteration.number = next_++;
        iteration.accepted = summary.step_is_successful;
        if (iteration.accepted || !haveRms_) {
            // Without a robust loss the solver's cost is half the sum of squares.
            lastRms_ = unit_ * (settings_.robust ? robustRms_()
                                                 : std::sqrt(2 * summary.cost / static_cast<double>(pointCount_)));
            haveRms_ = true;
        }
        iteration.rms = lastRms_;
        iteration.parameters = &parameters_;
        if (report_) report_(iteration);
        return stalled ? ceres::SOLVER_TERMINATE_SUCCESSFULLY : ceres::SOLVER_CONTINUE;
    }
    std::int32_t next() const { return next_; }

private:
    std::function<void()> sync_;
    std::function<double()> robustRms_;
    const CurveParameters& parameters_;
    double unit_;
    std::int64_t pointCount_;
    const RingSolverSettings& settings_;
    const RingSolverReport& report_;
    StallWatch stall_;
    std::int32_t next_;
    double lastRms_ = 0;
    bool haveRms_ = false;
};

/// One least-squares problem over the family, with or without a robust loss of scale `scale`.
template <CurveModel M>
class RingProblem {
public:
    static constexpr int sharedSize = placement::count + M::shapeCount;
    static constexpr int ringSize = M::ringCount;

    RingProblem(const std::vector<RingPoints>& rings, CurveParameters& parameters, const FitFrame& frame,
                double robustScale, double placeMargin)
        : rings_(rings), parameters_(parameters), store_(rings.size() * ringSize + sharedSize) {
        // The solver's threads add up the rings' costs and their parts of the normal equations
        // in whatever order they finish, which changed the last digits from run to run: the
        // solver works on one thread, so that a fit gives the same bytes every time.
        const std::vector<ParameterInfo> infos = parameterList<M>(1);
        problem_ = std::make_unique<ceres::Problem>();
        pull();
        double* shared = sharedBlock();
        problem_->AddParameterBlock(shared, sharedSize);
        for (int k = 0; k < sharedSize; ++k) {
            bound(shared, k, solverBounds(infos[static_cast<std::size_t>(k)], k >= placement::count, frame, placeMargin));
        }
        if (robustScale > 0) loss_ = std::make_unique<ceres::CauchyLoss>(robustScale);
        // The rings' blocks lie side by side in the order of the rings, the shared block after
        // them: the solver takes blocks in the order of their addresses, which fixes the last digits.
        for (std::size_t r = 0; r < rings.size(); ++r) {
            const RingPoints& ring = rings[r];
            double* block = store_.data() + r * ringSize;
            problem_->AddResidualBlock(new RingCost<M>(ring, loss_.get()), nullptr, shared, block);
            for (int k = 0; k < ringSize; ++k) {
                bound(block, k, solverBounds(infos[static_cast<std::size_t>(sharedSize + k)], false, frame, placeMargin));
            }
            ringBlocks_.push_back(block);
        }
        push();
    }

    /// The family's rings' values into the solver's blocks, and back.
    void pull() {
        std::copy(parameters_.shared.begin(), parameters_.shared.end(), sharedBlock());
        for (std::size_t r = 0; r < rings_.size(); ++r) {
            const std::vector<double>& ring = parameters_.rings[static_cast<std::size_t>(rings_[r].curve - 1)];
            std::copy(ring.begin(), ring.end(), store_.begin() + static_cast<std::ptrdiff_t>(r * ringSize));
        }
    }
    void push() {
        std::copy(sharedBlock(), sharedBlock() + sharedSize, parameters_.shared.begin());
        for (std::size_t r = 0; r < rings_.size(); ++r) {
            std::vector<double>& ring = parameters_.rings[static_cast<std::size_t>(rings_[r].curve - 1)];
            const auto first = store_.begin() + static_cast<std::ptrdiff_t>(r * ringSize);
            std::copy(first, first + ringSize, ring.begin());
        }
    }

    ceres::Solver::Summary solve(std::int32_t maxIterations, double functionTolerance, IterationRelay& relay) {
        ceres::Solver::Options options;
        options.minimizer_type = ceres::TRUST_REGION;
        options.trust_region_strategy_type = ceres::LEVENBERG_MARQUARDT;
        // Each ring's block touches only that ring's points: eliminated first, ring by ring.
        options.linear_solver_type = ceres::DENSE_SCHUR;
        auto ordering = std::make_shared<ceres::ParameterBlockOrdering>();
        for (double* block : ringBlocks_) ordering->AddElementToGroup(block, 0);
        ordering->AddElementToGroup(sharedBlock(), 1);
        options.linear_solver_ordering = ordering;
        options.max_num_iterations = std::max(maxIterations, 0);
        options.function_tolerance = functionTolerance;
        options.gradient_tolerance = 1e-14;
        options.parameter_tolerance = 1e-12;
        options.num_threads = threads_;
        options.logging_type = ceres::SILENT;
        options.minimizer_progress_to_stdout = false;
        options.update_state_every_iteration = true;
        options.callbacks.push_back(&relay);
        ceres::Solver::Summary summary;
        ceres::Solve(options, problem_.get(), &summary);
        push();
        return summary;
    }

    /// The covariance at the current family, unscaled; none when the Jacobian is rank deficient.
    std::optional<BlockCovariance> covariance(std::int64_t pointCount) {
        // From this many points on, the Jacobian is taken a stretch at a time instead of whole,
        // which a million points could not afford; below, the solver's own covariance keeps the
        // bytes of every smaller drawing (the two agree to about 1e-13). The ring-by-ring
        // factorisation takes rows of the eight-centre's width (seven shared derivatives and one
        // of the ring).
        constexpr std::int64_t minPointsForRingByRing = 10000;
        if constexpr (sharedSize == sharedVariableCount && ringSize == 1) {
            if (pointCount >= minPointsForRingByRing) return ringByRingCovariance();
        }
        return solverCovariance();
    }

private:
    double* sharedBlock() { return store_.data() + rings_.size() * ringSize; }

    void bound(double* block, int k, const SolverBounds& bounds) {
        if (std::isfinite(bounds.lower)) {
            block[k] = std::max(block[k], bounds.lower);
            problem_->SetParameterLowerBound(block, k, bounds.lower);
        }
        if (std::isfinite(bounds.upper)) {
            block[k] = std::min(block[k], bounds.upper);
            problem_->SetParameterUpperBound(block, k, bounds.upper);
        }
    }

    std::optional<BlockCovariance> ringByRingCovariance() {
        constexpr std::size_t stretch = 4096;
        RingCovariance accumulated(rings_.size());
        std::vector<double> residuals(stretch), sharedRows(stretch * sharedSize), ringRows(stretch);
        for (std::size_t r = 0; r < rings_.size(); ++r) {
            const RingPoints& ring = rings_[r];
            const double* block = store_.data() + r * ringSize;
            for (std::size_t first = 0; first < ring.x.size(); first += stretch) {
                const std::size_t count = std::min(stretch, ring.x.size() - first);
                if (!evaluateRingStretchOf<M>(ring, first, count, sharedBlock(), block, residuals.data(),
                                              sharedRows.data(), ringRows.data())) {
                    return std::nullopt;
                }
                applyRobustLoss(loss_.get(), count, residuals.data(), sharedRows.data(), sharedSize, ringRows.data(), 1);
                for (std::size_t i = 0; i < count; ++i) accumulated.addRow(r, &sharedRows[i * sharedSize], ringRows[i]);
            }
        }
        const std::optional<FitCovariance> cov = accumulated.covariance();
        if (!cov) return std::nullopt;
        BlockCovariance out;
        out.shared.assign(cov->shared.begin(), cov->shared.end());
        for (std::size_t r = 0; r < cov->ae.size(); ++r) {
            out.sharedWithRing.emplace_back(cov->sharedWithAe[r].begin(), cov->sharedWithAe[r].end());
            out.ring.push_back({cov->ae[r]});
        }
        return out;
    }

    std::optional<BlockCovariance> solverCovariance() {
        ceres::Covariance::Options options;
        options.algorithm_type = ceres::SPARSE_QR;
        options.num_threads = threads_;
        ceres::Covariance covariance(options);
        const double* shared = sharedBlock();
        std::vector<std::pair<const double*, const double*>> blocks{{shared, shared}};
        for (const double* block : ringBlocks_) {
            blocks.emplace_back(shared, block);
            blocks.emplace_back(block, block);
        }
        if (!covariance.Compute(blocks, problem_.get())) return std::nullopt;
        BlockCovariance out;
        out.shared.resize(sharedSize * sharedSize);
        covariance.GetCovarianceBlock(shared, shared, out.shared.data());
        for (const double* block : ringBlocks_) {
            std::vector<double> cross(sharedSize * ringSize), own(ringSize * ringSize);
            covariance.GetCovarianceBlock(shared, block, cross.data());
            covariance.GetCovarianceBlock(block, block, own.data());
            out.sharedWithRing.push_back(std::move(cross));
            out.ring.push_back(std::move(own));
        }
        return out;
    }

    const std::vector<RingPoints>& rings_;
    CurveParameters& parameters_;
    std::vector<double> store_;  // the blocks of the rings with points in their order, then the shared block
    std::unique_ptr<ceres::LossFunction> loss_;  // before the problem, whose costs use it
    std::unique_ptr<ceres::Problem> problem_;
    std::vector<double*> ringBlocks_;
    static constexpr int threads_ = 1;
};

/// Copies `from` into `to` element by element: the solver's problem holds pointers into `to`'s
/// storage, which an assignment of the vectors might replace.
void copyInPlace(CurveParameters& to, const CurveParameters& from) {
    std::copy(from.shared.begin(), from.shared.end(), to.shared.begin());
    for (std::size_t j = 0; j < to.rings.size(); ++j) std::copy(from.rings[j].begin(), from.rings[j].end(), to.rings[j].begin());
}

/// Where a fit that stopped at its start should begin again: of the steps along each shared
/// parameter both ways, the one with the lowest sum of squares, when it is lower than `sum` (the
/// start's) at all. `evaluations` counts the probes.
template <CurveModel M>
std::optional<CurveParameters> betterProbe(const CurveParameters& start, const std::vector<RingPoints>& rings,
                                           const FitFrame& frame, double placeMargin, double sum,
                                           std::int32_t& evaluations) {
    const std::vector<ParameterInfo> infos = parameterList<M>(0);
    std::optional<CurveParameters> best;
    double lowest = sum * (1 - probe::gain);
    for (std::size_t k = 0; k < infos.size(); ++k) {
        for (const double sign : {1.0, -1.0}) {
            CurveParameters probed = start;
            probed.shared[k] = probedValue(probed.shared[k], sign, infos[k], frame, placeMargin);
            const double probedSum = sumOfSquares(deviationsOf<M>(rings, probed));
            evaluations += 1;
            if (probedSum < lowest) {
                lowest = probedSum;
                best = std::move(probed);
            }
        }
    }
    return best;
}

std::int32_t iterationsOf(const ceres::Solver::Summary& summary) {
    return static_cast<std::int32_t>(summary.iterations.size() > 0 ? summary.iterations.size() - 1 : 0);
}

}  // namespace

template <CurveModel M>
RingSolverResult solveRings(const std::vector<RingPoints>& rings, const FitFrame& frame, CurveParameters& parameters,
                            const RingSolverSettings& settings, const RingSolverReport& report) {
    silenceSolverLog();
    std::int64_t pointCount = 0;
    for (const RingPoints& ring : rings) pointCount += static_cast<std::int64_t>(ring.x.size());
    auto robustRms = [&] {
        return pointCount > 0 ? std::sqrt(sumOfSquares(deviationsOf<M>(rings, parameters)) / static_cast<double>(pointCount))
                              : 0;
    };
    RingSolverResult fit;

    double scale = 0;
    if (settings.robust) {
        scale = robust::cauchyTuning * robustSigma(deviationsOf<M>(rings, parameters), frame.shortest());
    }
    std::int32_t nextIteration = 1;
    std::unique_ptr<RingProblem<M>> problem;
    ceres::Solver::Summary summary;
    for (int round = 0; round < (settings.robust ? robust::maxRounds : 1); ++round) {
        problem = std::make_unique<RingProblem<M>>(rings, parameters, frame, scale, settings.placeMargin);
        IterationRelay relay([&] { problem->push(); }, robustRms, parameters, frame.unit, pointCount, settings, report, nextIteration);
        summary = problem->solve(settings.maxIterations - fit.iterations, settings.functionTolerance, relay);
        nextIteration = relay.next();
        fit.iterations += iterationsOf(summary);
        fit.evaluations += std::max(summary.num_residual_evaluations, 0);
        if (!settings.robust || fit.iterations >= settings.maxIterations) break;
        const double next = robust::cauchyTuning * robustSigma(deviationsOf<M>(rings, parameters), frame.shortest());
        const bool settled = std::fabs(next - scale) <= robust::scaleSettled * scale;
        if (settled) break;
        scale = next;
    }
    fit.stopReason = stopReasonOf(summary.termination_type, summary.message);
    // "Converged at the starting values" only when no step from any direction leads lower.
    if (fit.iterations == 0 && fit.stopReason != StopReason::IterationLimit && !settings.robust) {
        const double sum = sumOfSquares(deviationsOf<M>(rings, parameters));
        if (std::optional<CurveParameters> probed =
                betterProbe<M>(parameters, rings, frame, settings.placeMargin, sum, fit.evaluations)) {
            copyInPlace(parameters, *probed);
            problem->pull();
            IterationRelay relay([&] { problem->push(); }, robustRms, parameters, frame.unit, pointCount, settings, report, nextIteration);
            summary = problem->solve(settings.maxIterations, settings.functionTolerance, relay);
            fit.iterations += iterationsOf(summary);
            fit.evaluations += std::max(summary.num_residual_evaluations, 0);
            fit.stopReason = stopReasonOf(summary.termination_type, summary.message);
        }
    }
    parameters.shared[placement::rotation] = normalisedRotation(parameters.shared[placement::rotation]);

    const std::int64_t unknowns =
        placement::count + M::shapeCount + M::ringCount * static_cast<std::int64_t>(rings.size());
    if (settings.standardErrors && pointCount > unknowns) {
        if (settings.stageReport) settings.stageReport("standard errors");
        if (std::optional<BlockCovariance> cov = problem->covariance(pointCount)) {
            const double freedom = static_cast<double>(pointCount - unknowns);
            // A robust fit takes the noise from the median deviation, which its outliers do not inflate.
            const double sigma = robustSigma(deviationsOf<M>(rings, parameters), 0);
            fit.variance = settings.robust ? sigma * sigma * static_cast<double>(pointCount) / freedom
                                           : 2 * summary.final_cost / freedom;
            fit.leastCorrelationEigenvalue = leastCorrelationEigenvalue(cov->shared.data(), placement::count + M::shapeCount);
            fit.covariance = std::move(cov);
        }
    }

    if (settings.robust) {
        fit.robustScale = scale * frame.unit;
        const std::vector<double> deviations = deviationsOf<M>(rings, parameters);
        std::size_t at = 0;
        for (const RingPoints& ring : rings) {
            for (std::size_t i = 0; i < ring.x.size(); ++i, ++at) {
                const double weight = 1 / (1 + (deviations[at] / scale) * (deviations[at] / scale));
                if (weight < robust::downWeightedBelow) {
                    fit.downWeighted.push_back(
                        {ring.curve, static_cast<std::int32_t>(i + 1), deviations[at] * Real80(frame.unit), weight});
                }
            }
        }
    }
    return fit;
}

template ModelFitResult fitCurveModel<EllipseModel>(const std::vector<RingPoints>&, const CurveParameters&,
                                                    const ModelFitSettings&);
template ModelFitResult fitCurveModel<FourCentreModel>(const std::vector<RingPoints>&, const CurveParameters&,
                                                       const ModelFitSettings&);
template ModelFitResult fitCurveModel<EightCentreModel>(const std::vector<RingPoints>&, const CurveParameters&,
                                                        const ModelFitSettings&);
template RingSolverResult solveRings<EllipseModel>(const std::vector<RingPoints>&, const FitFrame&, CurveParameters&,
                                             const RingSolverSettings&, const RingSolverReport&);
template RingSolverResult solveRings<FourCentreModel>(const std::vector<RingPoints>&, const FitFrame&, CurveParameters&,
                                             const RingSolverSettings&, const RingSolverReport&);
template RingSolverResult solveRings<EightCentreModel>(const std::vector<RingPoints>&, const FitFrame&, CurveParameters&,
                                             const RingSolverSettings&, const RingSolverReport&);
