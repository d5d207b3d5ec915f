#include "fit/oval_fit.hpp"

#include <ceres/ceres.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <numbers>

#include "base/constants.hpp"
#include "fit/model_fit.hpp"
#include "fit/own_frame_arc.hpp"
#include "fit/ring_covariance.hpp"
#include "fit/ring_deviations.hpp"

namespace {

/// The fit's own variables: the centre relative to the drawing's origin point, the rotation, OA,
/// OB, and the fractions that place C on O A1 and D on C1 B1; one AE per ring.
struct Variables {
    std::array<double, sharedVariableCount> shared{};
    std::vector<double> ae;
};

/// The deviations of one ring for the solver: the shared variables and the ring's AE. With a robust
/// loss rho, each deviation e becomes sign(e) sqrt(rho(e^2)): the solver's sum of squares is then
/// the robust cost point by point (a loss given to the solver itself would act on the ring's whole
/// sum of squares at once).
class RingDeviationsCost final : public ceres::CostFunction {
public:
    RingDeviationsCost(const RingPoints& ring, const ceres::LossFunction* loss) : ring_(ring), loss_(loss) {
        set_num_residuals(static_cast<int>(ring.x.size()));
        mutable_parameter_block_sizes()->push_back(sharedVariableCount);
        mutable_parameter_block_sizes()->push_back(1);
    }
    bool Evaluate(double const* const* parameters, double* residuals, double** jacobians) const override {
        double* sharedRows = jacobians != nullptr ? jacobians[0] : nullptr;
        double* aeRows = jacobians != nullptr ? jacobians[1] : nullptr;
        if (!evaluateRing(ring_, parameters[0], parameters[1][0], residuals, sharedRows, aeRows)) return false;
        applyRobustLoss(loss_, ring_.x.size(), residuals, sharedRows, sharedVariableCount, aeRows, 1);
        return true;
    }

private:
    const RingPoints& ring_;
    const ceres::LossFunction* loss_;
};

double normalisedRotation(double theta) {
    // The oval is the same turned by half a turn.
    theta = std::remainder(theta, std::numbers::pi);
    return theta <= -std::numbers::pi / 2 ? theta + std::numbers::pi : theta;
}

Variables variablesOf(const CoefficientVector& c, const FitFrame& frame) {
    // In the fit's unit: the drawing's lengths divided by it.
    auto inUnits = [&](Real80 value) { return static_cast<double>(value / frame.unit); };
    auto length = [&](int k) {
        return std::clamp(std::fabs(inUnits(c.coef(k))), frame.shortest(), frame.longest());
    };
    Variables v;
    const double a = length(coefficient::oa);
    const double b = length(coefficient::ob);
    const double oc = std::fabs(inUnits(c.coef(coefficient::oc)));
    const double cFraction = std::clamp(oc / a, 0.0, 1.0);
    const double dFraction = std::clamp(std::fabs(inUnits(c.coef(coefficient::dc))) / std::hypot(a * cFraction, b),
                                        0.0, 1.0);
    v.shared = {inUnits(c.coef(coefficient::centreX) - frame.originX),
                inUnits(c.coef(coefficient::centreY) - frame.originY),
                normalisedRotation(static_cast<double>(c.coef(coefficient::rotation))),
                a,
                b,
                cFraction,
                dFraction};
    for (std::int32_t j = 1; j <= c.curveCount(); ++j) {
        v.ae.push_back(std::min(std::fabs(inUnits(c.coef(coefficient::ae(j)))), frame.longest()));
    }
    return v;
}

CoefficientVector coefficientsOf(const Variables& v, const FitFrame& frame) {
    const Real80 unit = frame.unit;
    const Real80 a = v.shared[variable::oa] * unit;
    const Real80 b = v.shared[variable::ob] * unit;
    const Real80 c = a * v.shared[variable::cFraction];
    CoefficientVector out;
    out.values.assign(static_cast<std::size_t>(coefficient::sharedCount) + v.ae.size(), 0);
    out.coef(coefficient::oa) = a;
    out.coef(coefficient::ob) = b;
    out.coef(coefficient::centreX) = frame.originX + v.shared[variable::centreX] * unit;
    out.coef(coefficient::centreY) = frame.originY + v.shared[variable::centreY] * unit;
    out.coef(coefficient::rotation) = v.shared[variable::rotation];
    out.coef(coefficient::oc) = c;
    out.coef(coefficient::dc) = v.shared[variable::dFraction] * std::sqrt(c * c + b * b);
    for (std::size_t j = 0; j < v.ae.size(); ++j) out.coef(coefficient::ae(static_cast<int>(j) + 1)) = v.ae[j] * unit;
    return out;
}

/// The points of every ring with points, in the fit's frame and unit.
class FitData {
public:
    FitData(const CurveStore& curves, const FitFrame& frame) : rings_(ringsInFrame(curves, frame)) {
        for (const RingPoints& ring : rings_) pointCount_ += static_cast<std::int64_t>(ring.x.size());
    }
    const std::vector<RingPoints>& rings() const { return rings_; }
    std::int64_t pointCount() const { return pointCount_; }

    /// The deviation of every point, ring after ring.
    std::vector<double> deviations(const Variables& v) const {
        std::vector<double> all;
        all.reserve(static_cast<std::size_t>(pointCount_));
        for (const RingPoints& ring : rings_) {
            const std::vector<double> d = ringDeviations(ring, v.shared.data(), v.ae[ring.curve - 1]);
            all.insert(all.end(), d.begin(), d.end());
        }
        return all;
    }

    double rms(const Variables& v) const {
        double sum = 0;
        for (const double d : deviations(v)) sum += d * d;
        return pointCount_ > 0 ? std::sqrt(sum / static_cast<double>(pointCount_)) : 0;
    }

private:
    std::vector<RingPoints> rings_;
    std::int64_t pointCount_ = 0;
};

/// Tells the caller of every iteration, with the oval as it stands after it.
class IterationRelay final : public ceres::IterationCallback {
public:
    IterationRelay(const FitData& data, const Variables& variables, const FitFrame& frame, const OvalFitSettings& settings,
                   const IterationReport& report, std::int32_t firstNumber)
        : data_(data), variables_(variables), frame_(frame), settings_(settings), report_(report),
          next_(firstNumber) {}

    ceres::CallbackReturnType operator()(const ceres::IterationSummary& summary) override {
        const bool stalled = stall_.stalledAfter(summary.cost, settings_.stallFraction);
        // Iteration 0 is the start of the round, reported as the end of the round before.
        if (summary.iteration == 0) return ceres::SOLVER_CONTINUE;
        FitIteration iteration;
        iteration.number = next_++;
        iteration.accepted = summary.step_is_successful;
        if (iteration.accepted || !haveRms_) {
            // Without a robust loss the solver's cost is half the sum of squares.
            lastRms_ = frame_.unit * (settings_.robust ? data_.rms(variables_)
                                                       : std::sqrt(2 * summary.cost / static_cast<double>(data_.pointCount())));
            haveRms_ = true;
        }
        iteration.rms = lastRms_;
        if (report_) {
            iteration.coefficients = coefficientsOf(variables_, frame_);
            report_(iteration);
        }
        return stalled ? ceres::SOLVER_TERMINATE_SUCCESSFULLY : ceres::SOLVER_CONTINUE;
    }
    std::int32_t next() const { return next_; }

private:
    const FitData& data_;
    const Variables& variables_;
    const FitFrame& frame_;
    const OvalFitSettings& settings_;
    const IterationReport& report_;
    StallWatch stall_;
    std::int32_t next_;
    double lastRms_ = 0;
    bool haveRms_ = false;
};

/// One least-squares problem over the variables, with or without a robust loss of scale `scale`.
class FitProblem {
public:
    FitProblem(const FitData& data, Variables& variables, const FitFrame& frame, double robustScale, double placeMargin)
        : variables_(variables) {
        // The solver's threads add up the rings' costs and their parts of the normal equations
        // in whatever order they finish, which changed the last digits from run to run: the
        // solver works on one thread, so that a fit gives the same bytes every time.
        problem_ = std::make_unique<ceres::Problem>();
        double* shared = variables.shared.data();
        problem_->AddParameterBlock(shared, sharedVariableCount);
        for (const int k : {variable::oa, variable::ob}) {
            problem_->SetParameterLowerBound(shared, k, frame.shortest());
            problem_->SetParameterUpperBound(shared, k, frame.longest());
        }
        for (const int k : {variable::cFraction, variable::dFraction}) {
            variables.shared[k] = std::clamp(variables.shared[k], placeMargin, 1 - placeMargin);
            problem_->SetParameterLowerBound(shared, k, placeMargin);
            problem_->SetParameterUpperBound(shared, k, 1 - placeMargin);
        }
        if (robustScale > 0) loss_ = std::make_unique<ceres::CauchyLoss>(robustScale);
        for (const RingPoints& ring : data.rings()) {
            double* ae = &variables.ae[static_cast<std::size_t>(ring.curve - 1)];
            problem_->AddResidualBlock(new RingDeviationsCost(ring, loss_.get()), nullptr, shared, ae);
            problem_->SetParameterLowerBound(ae, 0, 0);
            problem_->SetParameterUpperBound(ae, 0, frame.longest());
            aeBlocks_.push_back(ae);
        }
    }

    ceres::Solver::Summary solve(std::int32_t maxIterations, double functionTolerance, IterationRelay& relay) {
        ceres::Solver::Options options;
        options.minimizer_type = ceres::TRUST_REGION;
        options.trust_region_strategy_type = ceres::LEVENBERG_MARQUARDT;
        // Each ring's AE touches only that ring's points: eliminated first, ring by ring.
        options.linear_solver_type = ceres::DENSE_SCHUR;
        auto ordering = std::make_shared<ceres::ParameterBlockOrdering>();
        for (double* ae : aeBlocks_) ordering->AddElementToGroup(ae, 0);
        ordering->AddElementToGroup(variables_.shared.data(), 1);
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
        return summary;
    }

    /// The covariance of (shared variables, AE of each ring) at the current variables, unscaled;
    /// none when the Jacobian is rank deficient.
    using Covariance = FitCovariance;
    std::optional<Covariance> covariance(const FitData& data) {
        // From this many points on, the Jacobian is taken a stretch at a time instead of whole,
        // which a million points could not afford; below, the solver's own covariance keeps the
        // bytes of every smaller drawing (the two agree to about 1e-13).
        constexpr std::int64_t minPointsForRingByRing = 10000;
        if (data.pointCount() >= minPointsForRingByRing) return ringByRingCovariance(data);
        return solverCovariance();
    }

private:
    std::optional<Covariance> ringByRingCovariance(const FitData& data) {
        constexpr std::size_t stretch = 4096;
        RingCovariance accumulated(data.rings().size());
        std::vector<double> residuals(stretch), sharedRows(stretch * sharedVariableCount), aeRows(stretch);
        for (std::size_t r = 0; r < data.rings().size(); ++r) {
            const RingPoints& ring = data.rings()[r];
            const double ae = variables_.ae[static_cast<std::size_t>(ring.curve - 1)];
            for (std::size_t first = 0; first < ring.x.size(); first += stretch) {
                const std::size_t count = std::min(stretch, ring.x.size() - first);
                if (!evaluateRingStretch(ring, first, count, variables_.shared.data(), ae, residuals.data(),
                                         sharedRows.data(), aeRows.data())) {
                    return std::nullopt;
                }
                applyRobustLoss(loss_.get(), count, residuals.data(), sharedRows.data(), sharedVariableCount, aeRows.data(), 1);
                for (std::size_t i = 0; i < count; ++i) {
                    accumulated.addRow(r, &sharedRows[i * sharedVariableCount], aeRows[i]);
                }
            }
        }
        return accumulated.covariance();
    }

    std::optional<Covariance> solverCovariance() {
        ceres::Covariance::Options options;
        options.algorithm_type = ceres::SPARSE_QR;
        options.num_threads = threads_;
        ceres::Covariance covariance(options);
        const double* shared = variables_.shared.data();
        std::vector<std::pair<const double*, const double*>> blocks{{shared, shared}};
        for (const double* ae : aeBlocks_) {
            blocks.emplace_back(shared, ae);
            blocks.emplace_back(ae, ae);
        }
        if (!covariance.Compute(blocks, problem_.get())) return std::nullopt;
        Covariance out;
        covariance.GetCovarianceBlock(shared, shared, out.shared.data());
        for (const double* ae : aeBlocks_) {
            std::array<double, sharedVariableCount> cross{};
            double own = 0;
            covariance.GetCovarianceBlock(shared, ae, cross.data());
            covariance.GetCovarianceBlock(ae, ae, &own);
            out.sharedWithAe.push_back(cross);
            out.ae.push_back(own);
        }
        return out;
    }

    Variables& variables_;
    std::unique_ptr<ceres::LossFunction> loss_;  // before the problem, whose costs use it
    std::unique_ptr<ceres::Problem> problem_;
    std::vector<double*> aeBlocks_;
    static constexpr int threads_ = 1;
};

using Jet8 = ceres::Jet<double, 8>;

/// The standard error of a value whose derivatives by the shared variables (slots 0 to 6) and the
/// ring's AE (slot 7) the jet holds.
double standardError(const Jet8& value, const FitProblem::Covariance& cov, std::size_t ring, double variance) {
    std::array<double, 8 * 8> full{};
    for (int r = 0; r < 7; ++r) {
        for (int c = 0; c < 7; ++c) full[r * 8 + c] = cov.shared[r * 7 + c];
    }
    if (ring < cov.ae.size()) {
        for (int k = 0; k < 7; ++k) full[k * 8 + 7] = full[7 * 8 + k] = cov.sharedWithAe[ring][k];
        full[63] = cov.ae[ring];
    }
    double sum = 0;
    for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 8; ++c) sum += value.v[r] * full[r * 8 + c] * value.v[c];
    }
    return std::sqrt(std::max(sum, 0.0) * variance);
}

/// The standard errors, lengths in the drawing's units (`unit` being the fit's).
StandardErrors standardErrorsOf(const Variables& v, const FitData& data, const FitProblem::Covariance& cov,
                                double variance, double unit) {
    std::array<Jet8, 8> x;
    for (int k = 0; k < 7; ++k) x[k] = Jet8(v.shared[k], k);
    const QuadrantOval<Jet8> oval =
        quadrantOvalOf(x[variable::oa], x[variable::ob], x[variable::cFraction], x[variable::dFraction]);
    const std::size_t none = cov.ae.size();
    auto error = [&](const Jet8& value) { return standardError(value, cov, none, variance); };
    auto lengthError = [&](const Jet8& value, std::size_t ring) { return unit * standardError(value, cov, ring, variance); };
    StandardErrors e;
    e.centreX = lengthError(x[variable::centreX], none);
    e.centreY = lengthError(x[variable::centreY], none);
    e.rotationDegrees = error(x[variable::rotation]) * static_cast<double>(constant::degreesPerRadian);
    e.oa = lengthError(oval.a, none);
    e.ob = lengthError(oval.b, none);
    e.oc = lengthError(oval.c, none);
    e.dc = lengthError(x[variable::dFraction] * sqrt(oval.c * oval.c + oval.b * oval.b), none);
    e.rings.assign(v.ae.size(), std::nullopt);
    for (std::size_t r = 0; r < data.rings().size(); ++r) {
        const std::size_t j = static_cast<std::size_t>(data.rings()[r].curve - 1);
        const Jet8 ae(v.ae[j], 7);
        e.rings[j] = RingErrors{lengthError(ae, r), lengthError(oval.a + ae, r),
                                lengthError(ae + oval.stepMed + oval.stepMax - oval.b, r)};
    }
    return e;
}

/// Copies `from` into `to` element by element: the solver's problem holds pointers into `to`'s
/// storage, which an assignment of the vector might replace.
void copyInPlace(Variables& to, const Variables& from) {
    to.shared = from.shared;
    std::copy(from.ae.begin(), from.ae.end(), to.ae.begin());
}

/// The shared variables stepped once along variable k, `sign` either way, kept within bounds.
Variables probedVariables(const Variables& from, int k, double sign, const FitFrame& frame, double placeMargin) {
    static const std::vector<ParameterInfo> infos = parameterList<EightCentreModel>(0);
    Variables v = from;
    double& x = v.shared[static_cast<std::size_t>(k)];
    x = probedValue(x, sign, infos[static_cast<std::size_t>(k)], frame, placeMargin);
    return v;
}

/// Where a fit that stopped at its start should begin again: of the steps along each shared
/// variable both ways, the one with the lowest sum of squares, when it is lower than `sum` (the
/// start's) at all. `evaluations` counts the probes.
std::optional<Variables> betterProbe(const Variables& start, const FitData& data, const FitFrame& frame,
                                     const OvalFitSettings& settings, double sum, std::int32_t& evaluations) {
    std::optional<Variables> best;
    double lowest = sum * (1 - probe::gain);
    for (int k = 0; k < sharedVariableCount; ++k) {
        for (const double sign : {1.0, -1.0}) {
            Variables probed = probedVariables(start, k, sign, frame, settings.placeMargin);
            double probedSum = 0;
            for (const double d : data.deviations(probed)) probedSum += d * d;
            evaluations += 1;
            if (probedSum < lowest) {
                lowest = probedSum;
                best = std::move(probed);
            }
        }
    }
    return best;
}

}  // namespace

OvalFit fitOval(const CurveStore& curves, const CoefficientVector& start, const OvalFitSettings& settings,
                const IterationReport& report) {
    silenceSolverLog();
    const FitFrame frame = fitFrameOf(curves, settings.robust);
    const FitData data(curves, frame);
    Variables variables = variablesOf(start, frame);
    OvalFit fit;

    double scale = 0;
    if (settings.robust) {
        scale = robust::cauchyTuning * robustSigma(data.deviations(variables), frame.shortest());
    }
    std::int32_t nextIteration = 1;
    std::unique_ptr<FitProblem> problem;
    ceres::Solver::Summary summary;
    for (int round = 0; round < (settings.robust ? robust::maxRounds : 1); ++round) {
        problem = std::make_unique<FitProblem>(data, variables, frame, scale, settings.placeMargin);
        IterationRelay relay(data, variables, frame, settings, report, nextIteration);
        summary = problem->solve(settings.maxIterations - fit.iterations, settings.functionTolerance, relay);
        nextIteration = relay.next();
        fit.iterations += static_cast<std::int32_t>(summary.iterations.size() > 0 ? summary.iterations.size() - 1 : 0);
        fit.evaluations += std::max(summary.num_residual_evaluations, 0);
        if (!settings.robust || fit.iterations >= settings.maxIterations) break;
        const double next = robust::cauchyTuning * robustSigma(data.deviations(variables), frame.shortest());
        const bool settled = std::fabs(next - scale) <= robust::scaleSettled * scale;
        if (settled) break;
        scale = next;
    }
    fit.stopReason = stopReasonOf(summary.termination_type, summary.message);
    // "Converged at the starting values" only when no step from any direction leads lower.
    if (fit.iterations == 0 && fit.stopReason != StopReason::IterationLimit && !settings.robust) {
        double sum = 0;
        for (const double d : data.deviations(variables)) sum += d * d;
        if (std::optional<Variables> probe = betterProbe(variables, data, frame, settings, sum, fit.evaluations)) {
            copyInPlace(variables, *probe);
            IterationRelay relay(data, variables, frame, settings, report, nextIteration);
            summary = problem->solve(settings.maxIterations, settings.functionTolerance, relay);
            fit.iterations += static_cast<std::int32_t>(summary.iterations.size() > 0 ? summary.iterations.size() - 1 : 0);
            fit.evaluations += std::max(summary.num_residual_evaluations, 0);
            fit.stopReason = stopReasonOf(summary.termination_type, summary.message);
        }
    }
    variables.shared[variable::rotation] = normalisedRotation(variables.shared[variable::rotation]);
    fit.coefficients = coefficientsOf(variables, frame);

    const std::int64_t unknowns = sharedVariableCount + static_cast<std::int64_t>(data.rings().size());
    if (settings.standardErrors && data.pointCount() > unknowns) {
        if (settings.stageReport) settings.stageReport("standard errors");
        if (const auto cov = problem->covariance(data)) {
            const double freedom = static_cast<double>(data.pointCount() - unknowns);
            // A robust fit takes the noise from the median deviation, which its outliers do not inflate.
            const double sigma = robustSigma(data.deviations(variables), 0);
            const double variance = settings.robust
                                        ? sigma * sigma * static_cast<double>(data.pointCount()) / freedom
                                        : 2 * summary.final_cost / freedom;
            fit.standardErrors = standardErrorsOf(variables, data, *cov, variance, frame.unit);
            fit.leastCorrelationEigenvalue = leastCorrelationEigenvalue(cov->shared.data(), sharedVariableCount);
        }
    }

    if (settings.robust) {
        fit.robustScale = scale * frame.unit;
        const std::vector<double> deviations = data.deviations(variables);
        std::size_t at = 0;
        for (const RingPoints& ring : data.rings()) {
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
