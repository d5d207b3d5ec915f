#include "fit/fit_quality.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <optional>
#include <string>
#include <utility>

#include "base/constants.hpp"
#include "model/four_centre_limit.hpp"
#include "model/proportion.hpp"

namespace {

std::string countOf(std::int64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// An arc is a circle: with fewer points than this on every copy of it (over all rings) its centre
// and radius come only from the arcs beside it, and the covariance, which takes the shape as
// determined, says nothing true about them.
constexpr std::int64_t minPointsPerArc = 3;

// Below this least eigenvalue of the correlations of the coefficients, their standard errors are
// unreliable. Measured on two rings each seen over a stretch of their perimeter (15 noisy
// digitisations per stretch): where the estimates of the rotation fell within one standard error
// of the truth about as often as they should, the eigenvalue was 6e-4 to 2e-2; where they never
// did, 4e-9 to 2e-4.
constexpr double minCorrelationEigenvalue = 3e-4;

/// How many points of all rings lie on each kind of arc of the oval (end, intermediate, top or
/// bottom), the arc of a point decided in the oval's own frame.
std::array<std::int64_t, 3> pointsPerArcKind(const CoefficientVector& c, const CurveStore& curves) {
    const OwnFrame frame = ownFrameOf(buildOvalConstruction(c));
    std::array<std::int64_t, 3> counts{};
    for (const Curve& curve : curves.curves) {
        for (std::size_t i = 0; i < curve.x.size(); ++i) {
            const Real80 dx = curve.x[i] - frame.cx;
            const Real80 dy = curve.y[i] - frame.cy;
            const Real80 qx = std::fabs(dx * frame.cosine - dy * frame.sine);
            const Real80 qy = std::fabs(dx * frame.sine + dy * frame.cosine);
            counts[static_cast<std::size_t>(arcKindAt(frame.oval, qx, qy))] += 1;
        }
    }
    return counts;
}

/// Why the standard errors of `fit` understate the uncertainty, or empty when nothing says so.
std::string whyErrorsAreUnreliable(const CurveStore& curves, const OvalFit& fit) {
    static constexpr std::array<const char*, 3> arcNames{"end arcs", "intermediate arcs", "top and bottom arcs"};
    const std::array<std::int64_t, 3> counts = pointsPerArcKind(fit.coefficients, curves);
    for (std::size_t k = 0; k < counts.size(); ++k) {
        if (counts[k] >= minPointsPerArc) continue;
        return std::string("the ") + arcNames[k] + " hold " + countOf(counts[k], "point", "points") +
               " of all rings, so their centre and radius follow only from the arcs beside them";
    }
    if (fit.leastCorrelationEigenvalue < minCorrelationEigenvalue) {
        char value[32];
        std::snprintf(value, sizeof value, "%.1e", fit.leastCorrelationEigenvalue);
        return std::string("a combination of the coefficients is barely determined by the points (the least "
                           "eigenvalue of their correlations is ") +
               value + ", where whole rings give about 1e-2), so ovals of other shapes and rotations pass about as "
                       "near the points";
    }
    return {};
}

// Without standard errors, the differences that make two answers different.
constexpr double apartDegreesWithoutErrors = 1;
constexpr double apartFractionWithoutErrors = 0.01;

/// The rotation in degrees and each ring's semi-axes of an answer, as the warning lists them.
std::string answerText(const CoefficientVector& c, const CurveStore& curves, Real80 rms) {
    const OvalConstruction k = buildOvalConstruction(c);
    char text[160];
    std::snprintf(text, sizeof text, "rotation %.2f degrees, centre (%.6g, %.6g), rms %.6g",
                  static_cast<double>(c.coef(coefficient::rotation) * constant::degreesPerRadian),
                  static_cast<double>(c.coef(coefficient::centreX)), static_cast<double>(c.coef(coefficient::centreY)),
                  static_cast<double>(rms));
    std::string out = text;
    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
        if (curves.pointCount(j) == 0) continue;
        const ArcRadii radii = arcRadii(k, std::fabs(c.coef(coefficient::ae(j))));
        const SemiAxes axes = semiAxes(k, radii.rMin, radii.rMax);
        std::snprintf(text, sizeof text, ", ring %d semi-axes %.6g and %.6g", j, static_cast<double>(axes.semiMajor),
                      static_cast<double>(axes.semiMinor));
        out += text;
    }
    return out;
}

/// True when `a` and `b` are clearly different ovals by the fit's standard errors `errors` (or the
/// fixed differences when there are none).
bool clearlyApart(const CoefficientVector& a, const CoefficientVector& b, const CurveStore& curves,
                  const std::optional<StandardErrors>& errors) {
    const double turn =
        std::fabs(std::remainder(static_cast<double>(a.coef(coefficient::rotation) - b.coef(coefficient::rotation)),
                                 std::numbers::pi)) *
        static_cast<double>(constant::degreesPerRadian);
    if (errors ? turn > clearlyApartErrors * errors->rotationDegrees : turn > apartDegreesWithoutErrors) return true;
    const OvalConstruction ka = buildOvalConstruction(a), kb = buildOvalConstruction(b);
    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
        if (curves.pointCount(j) == 0) continue;
        const ArcRadii ra = arcRadii(ka, std::fabs(a.coef(coefficient::ae(j))));
        const ArcRadii rb = arcRadii(kb, std::fabs(b.coef(coefficient::ae(j))));
        const SemiAxes sa = semiAxes(ka, ra.rMin, ra.rMax), sb = semiAxes(kb, rb.rMin, rb.rMax);
        const double major = std::fabs(static_cast<double>(sa.semiMajor - sb.semiMajor));
        const double minor = std::fabs(static_cast<double>(sa.semiMinor - sb.semiMinor));
        const std::size_t ring = static_cast<std::size_t>(j - 1);
        const std::optional<RingErrors> e =
            errors && ring < errors->rings.size() ? errors->rings[ring] : std::optional<RingErrors>{};
        if (e) {
            if (major > clearlyApartErrors * e->semiMajor || minor > clearlyApartErrors * e->semiMinor) return true;
        } else if (major > apartFractionWithoutErrors * static_cast<double>(std::fabs(sa.semiMajor)) ||
                   minor > apartFractionWithoutErrors * static_cast<double>(std::fabs(sa.semiMinor))) {
            return true;
        }
    }
    return false;
}

}  // namespace

void warnOfOtherOptimum(FitQuality& quality, const CurveStore& curves, const OvalFit& fit,
                        const CoefficientVector& other, Real80 otherRms) {
    const Real80 rms = quality.deviations.rms;
    if (!(otherRms <= (1 + otherOptimumMargin) * rms)) return;
    if (!clearlyApart(fit.coefficients, other, curves, fit.standardErrors)) return;
    char share[64];
    std::snprintf(share, sizeof share, "%.2f %%", static_cast<double>(100 * std::fabs(otherRms / rms - 1)));
    addWarning(quality, warningCode::multipleOptima,
               std::string("the answer may not be unique: another start ends ") + share +
                   (otherRms < rms ? " below" : " above") + " this rms with a clearly different oval (" +
                   answerText(other, curves, otherRms) + "; this fit: " + answerText(fit.coefficients, curves, rms) +
                   ")");
}

void addWarning(FitQuality& quality, const char* code, std::string sentence) {
    quality.warnings.push_back(std::move(sentence));
    if (std::find(quality.warningCodes.begin(), quality.warningCodes.end(), code) == quality.warningCodes.end()) {
        quality.warningCodes.emplace_back(code);
    }
}

double coveredAngleDegrees(const Curve& curve, Real80 cx, Real80 cy) {
    const std::size_t n = curve.x.size();
    if (n < 2) return 0;
    std::vector<double> angles(n);
    for (std::size_t i = 0; i < n; ++i) angles[i] = static_cast<double>(std::atan2(curve.y[i] - cy, curve.x[i] - cx));
    std::sort(angles.begin(), angles.end());
    const double turn = 2 * std::numbers::pi;
    double widest = angles.front() + turn - angles.back();
    for (std::size_t i = 1; i < n; ++i) widest = std::max(widest, angles[i] - angles[i - 1]);
    const double spacing = (turn - widest) / static_cast<double>(n - 1);
    return std::min(turn, turn - widest + spacing) * static_cast<double>(constant::degreesPerRadian);
}

void addRingWarnings(FitQuality& q, const CurveStore& curves, Real80 cx, Real80 cy, const RingCounts& counts) {
    std::int32_t ringsWithPoints = 0;
    for (const Curve& curve : curves.curves) ringsWithPoints += curve.x.empty() ? 0 : 1;

    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
        const Curve& curve = curves.curves[static_cast<std::size_t>(j - 1)];
        const std::string ring = "ring " + std::to_string(j);
        const std::int64_t points = static_cast<std::int64_t>(curve.x.size());
        // A lone ring carries the whole construction; beside others it adds only its own.
        const std::int64_t adds = ringsWithPoints == 1 ? counts.loneRingAdds : counts.ringAdds;
        q.coverageDegrees.push_back(coveredAngleDegrees(curve, cx, cy));
        if (points == 0) {
            addWarning(q, warningCode::fewPoints, ring + " has no points: " + counts.notFitted);
        } else if (points <= adds) {
            addWarning(q, warningCode::fewPoints, ring + " has " + countOf(points, "point", "points") + ", no more than the " +
                                 countOf(adds, "coefficient", "coefficients") +
                                 " it adds: its deviations say nothing about the fit, and its semi-axes rest on "
                                 "those points alone");
        }
        if (points > 0 && q.coverageDegrees.back() < minCoverageDegrees) {
            char angle[32];
            std::snprintf(angle, sizeof angle, "%.0f", q.coverageDegrees.back());
            addWarning(q, warningCode::coverage, ring + "'s points cover only " + angle +
                                 " degrees of its oval, less than about half: its semi-axes are poorly determined");
        }
    }
}

FitQuality assessFit(const CurveStore& curves, const OvalFit& fit, const OvalFitSettings& settings) {
    FitQuality q;
    const CoefficientVector& c = fit.coefficients;
    q.deviations = ownFrameDeviations(c, curves);
    const OvalConstruction construction = buildOvalConstruction(c);
    q.fault = ownFrameConstructionFault(construction);
    if (q.fault != ConstructionFault::None) {
        q.faultDescription = describeConstructionFault(construction, q.fault);
        // A four-centre oval is an eight-centre construction on its boundary: the fit stops there
        // and the test above calls it improper, though the points may be well fitted.
        const std::string hint = collapsedOntoFourCentre(construction)
                                     ? "; it has collapsed onto a four-centre oval (two radii): fit that curve with "
                                       "--model four-centre"
                                     : "";
        addWarning(q, warningCode::improper, "the fitted oval is not a proper construction: " + q.faultDescription + hint);
    }
    addRingWarnings(q, curves, c.coef(coefficient::centreX), c.coef(coefficient::centreY),
                    {coefficient::sharedCount + 1, 1, "its AE is not fitted and keeps its starting value"});
    if (fit.stopReason == StopReason::IterationLimit) {
        addWarning(q, warningCode::iterationLimit, "the fit stopped after " + std::to_string(settings.maxIterations) +
                             " iterations before it converged: the oval may not be the best");
    } else if (fit.stopReason == StopReason::NoProgress) {
        addWarning(q, warningCode::noProgress, "the fit stopped because no step lowered the deviations any more before the convergence "
                             "tests held: the oval may not be the best");
    }
    if (const OutOfProportion runaway = outOfProportion(curves, c); runaway.count > 0) {
        addWarning(q, warningCode::runaway, outOfProportionSentence(runaway) +
                                                ": the fit ran away from its start; give --start values nearer the "
                                                "points, or leave --start out to find them from the points");
    }
    if (fit.standardErrors) {
        const std::string why = whyErrorsAreUnreliable(curves, fit);
        if (!why.empty()) {
            addWarning(q, warningCode::unreliableErrors,
                       "the standard errors are unreliable: " + why +
                           "; they describe only the neighbourhood of the oval found and are too small");
        }
    } else {
        addWarning(q, warningCode::noStandardErrors, "the points do not determine every coefficient (too few of them, or arcs they hardly "
                             "touch), so no standard errors are given");
    }
    return q;
}
