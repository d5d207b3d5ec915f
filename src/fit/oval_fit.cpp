#include "fit/oval_fit.hpp"

#include <ceres/jet.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "base/constants.hpp"
#include "fit/model_fit.hpp"
#include "fit/ring_covariance.hpp"
#include "fit/ring_deviations.hpp"
#include "model/eight_centre_model.hpp"

namespace {

/// The fit's own variables: the centre relative to the drawing's origin point, the rotation, OA,
/// OB, and the fractions that place C on O A1 and D on C1 B1 (the eight-centre model's shared
/// block); one AE per ring.
struct Variables {
    std::array<double, sharedVariableCount> shared{};
    std::vector<double> ae;
};

/// The variables as the eight-centre model's family, and back.
CurveParameters familyOf(const Variables& v) {
    CurveParameters family;
    family.shared.assign(v.shared.begin(), v.shared.end());
    for (const double ae : v.ae) family.rings.push_back({ae});
    return family;
}

Variables variablesOf(const CurveParameters& family) {
    Variables v;
    std::copy(family.shared.begin(), family.shared.end(), v.shared.begin());
    for (const std::vector<double>& ring : family.rings) v.ae.push_back(ring[EightCentreModel::ae]);
    return v;
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

using Jet8 = ceres::Jet<double, 8>;

/// The standard error of a value whose derivatives by the shared variables (slots 0 to 6) and the
/// ring's AE (slot 7) the jet holds.
double standardError(const Jet8& value, const FitCovariance& cov, std::size_t ring, double variance) {
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
StandardErrors standardErrorsOf(const Variables& v, const std::vector<RingPoints>& rings, const FitCovariance& cov,
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
    for (std::size_t r = 0; r < rings.size(); ++r) {
        const std::size_t j = static_cast<std::size_t>(rings[r].curve - 1);
        const Jet8 ae(v.ae[j], 7);
        e.rings[j] = RingErrors{lengthError(ae, r), lengthError(oval.a + ae, r),
                                lengthError(ae + oval.stepMed + oval.stepMax - oval.b, r)};
    }
    return e;
}

}  // namespace

OvalFit fitOval(const CurveStore& curves, const CoefficientVector& start, const OvalFitSettings& settings,
                const IterationReport& report) {
    const FitFrame frame = fitFrameOf(curves, settings.robust);
    const std::vector<RingPoints> rings = ringsInFrame(curves, frame);
    CurveParameters family = familyOf(variablesOf(start, frame));

    RingSolverSettings solver;
    solver.robust = settings.robust;
    solver.maxIterations = settings.maxIterations;
    solver.functionTolerance = settings.functionTolerance;
    solver.stallFraction = settings.stallFraction;
    solver.standardErrors = settings.standardErrors;
    solver.stageReport = settings.stageReport;
    solver.placeMargin = settings.placeMargin;
    RingSolverReport relay;
    if (report) {
        relay = [&](const RingSolverIteration& step) {
            FitIteration iteration;
            iteration.number = step.number;
            iteration.accepted = step.accepted;
            iteration.rms = step.rms;
            iteration.coefficients = coefficientsOf(variablesOf(*step.parameters), frame);
            report(iteration);
        };
    }
    RingSolverResult solved = solveRings<EightCentreModel>(rings, frame, family, solver, relay);

    const Variables variables = variablesOf(family);
    OvalFit fit;
    fit.coefficients = coefficientsOf(variables, frame);
    fit.stopReason = solved.stopReason;
    fit.iterations = solved.iterations;
    fit.evaluations = solved.evaluations;
    if (solved.covariance) {
        FitCovariance cov;
        std::copy(solved.covariance->shared.begin(), solved.covariance->shared.end(), cov.shared.begin());
        for (std::size_t r = 0; r < solved.covariance->ring.size(); ++r) {
            std::array<double, sharedVariableCount> cross{};
            std::copy(solved.covariance->sharedWithRing[r].begin(), solved.covariance->sharedWithRing[r].end(),
                      cross.begin());
            cov.sharedWithAe.push_back(cross);
            cov.ae.push_back(solved.covariance->ring[r][0]);
        }
        fit.standardErrors = standardErrorsOf(variables, rings, cov, solved.variance, frame.unit);
        fit.leastCorrelationEigenvalue = solved.leastCorrelationEigenvalue;
    }
    fit.robustScale = solved.robustScale;
    fit.downWeighted = std::move(solved.downWeighted);
    return fit;
}
