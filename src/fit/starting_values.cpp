#include "fit/starting_values.hpp"

#include <Eigen/Dense>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <numbers>

#include "fit/fit_quality.hpp"
#include "fit/oval_fit.hpp"
#include "fit/own_frame_arc.hpp"
#include "model/oval_construction.hpp"

namespace {

// A near-circular drawing still needs two distinct axes for a construction: the smaller mean
// semi-axis is kept at least this fraction below the larger.
constexpr double minAxisDifference = 1e-4;
// Trial middle radii across the range where the two circles about A1 and B2 meet.
constexpr int middleRadiusTrials = 64;

/// The ellipse's centre, semi-axes and major direction from its conic
/// A u^2 + B uv + C v^2 + D u + E v + F = 0.
std::optional<RingEllipse> ellipseOfConic(double A, double B, double C, double D, double E, double F) {
    const double det = 4 * A * C - B * B;
    if (!(det > 0)) return std::nullopt;
    RingEllipse e;
    e.centreX = (B * E - 2 * C * D) / det;
    e.centreY = (B * D - 2 * A * E) / det;
    const double f0 = F + (D * e.centreX + E * e.centreY) / 2;
    // The quadratic form's eigenvalues: (cos psi, sin psi) belongs to the larger one.
    const double mean = (A + C) / 2;
    const double spread = std::hypot((A - C) / 2, B / 2);
    const double psi = std::atan2(B, A - C) / 2;
    const double squareAlongPsi = -f0 / (mean + spread);
    const double squareAcross = -f0 / (mean - spread);
    if (!(squareAlongPsi > 0 && squareAcross > 0)) return std::nullopt;
    const bool majorAlongPsi = squareAlongPsi >= squareAcross;
    e.semiMajor = std::sqrt(std::max(squareAlongPsi, squareAcross));
    e.semiMinor = std::sqrt(std::min(squareAlongPsi, squareAcross));
    e.direction = majorAlongPsi ? psi : psi + std::numbers::pi / 2;
    if (!std::isfinite(e.semiMajor) || !std::isfinite(e.centreX) || !std::isfinite(e.centreY)) return std::nullopt;
    return e;
}

/// OC and DC of the construction whose D4 lies at rMed - rMin from A1 and at rMax - rMed from B2
/// (the two circles' meeting point on the side of O), or none when the circles do not meet or the
/// construction is not proper.
std::optional<CoefficientVector> constructionWithMiddleRadius(const CoefficientVector& base, double a, double b,
                                                              double rMin, double rMed, double rMax) {
    const double u = rMed - rMin;
    const double v = rMax - rMed;
    const double length = std::hypot(a, b);
    const double along = (u * u - v * v + length * length) / (2 * length);
    const double across = u * u - along * along;
    if (!(across >= 0)) return std::nullopt;
    const double ex = -a / length, ey = -b / length;  // from A1 toward B2
    const double h = std::sqrt(across);
    // The normal (-ey, ex) points away from O; D4 lies on O's side of A1 B2.
    const double d4x = a + along * ex + h * ey;
    const double d4y = along * ey - h * ex;
    if (!(d4y < 0 && d4y > -b)) return std::nullopt;
    const double c = d4x * b / (b + d4y);  // where the line from B2 through D4 meets the axis
    CoefficientVector trial = base;
    trial.coef(coefficient::oa) = a;
    trial.coef(coefficient::ob) = b;
    trial.coef(coefficient::oc) = c;
    trial.coef(coefficient::dc) = std::hypot(c - d4x, d4y);
    if (!(c > 0) || constructionFault(buildOvalConstruction(trial)) != ConstructionFault::None) return std::nullopt;
    return trial;
}

}  // namespace

std::optional<RingEllipse> fitRingEllipse(const Curve& curve) {
    const std::size_t n = curve.x.size();
    if (n < static_cast<std::size_t>(minPointsForEllipse)) return std::nullopt;
    Real80 meanX = 0, meanY = 0;
    for (std::size_t i = 0; i < n; ++i) {
        meanX += curve.x[i];
        meanY += curve.y[i];
    }
    meanX /= static_cast<Real80>(n);
    meanY /= static_cast<Real80>(n);
    Real80 spread = 0;
    for (std::size_t i = 0; i < n; ++i) {
        spread += (curve.x[i] - meanX) * (curve.x[i] - meanX) + (curve.y[i] - meanY) * (curve.y[i] - meanY);
    }
    const double scale = static_cast<double>(std::sqrt(spread / static_cast<Real80>(n)));
    if (!(scale > 0) || !std::isfinite(scale)) return std::nullopt;

    // The direct fit in its numerically stable form: the quadratic and the linear part of the
    // design matrix apart, the linear part eliminated, the constraint 4AC - B^2 = 1 on the rest.
    Eigen::Matrix3d s1 = Eigen::Matrix3d::Zero(), s2 = Eigen::Matrix3d::Zero(), s3 = Eigen::Matrix3d::Zero();
    for (std::size_t i = 0; i < n; ++i) {
        const double u = static_cast<double>((curve.x[i] - meanX) / scale);
        const double v = static_cast<double>((curve.y[i] - meanY) / scale);
        const Eigen::Vector3d quadratic(u * u, u * v, v * v);
        const Eigen::Vector3d linear(u, v, 1);
        s1 += quadratic * quadratic.transpose();
        s2 += quadratic * linear.transpose();
        s3 += linear * linear.transpose();
    }
    const Eigen::FullPivLU<Eigen::Matrix3d> s3Lu(s3);
    if (!s3Lu.isInvertible()) return std::nullopt;
    const Eigen::Matrix3d t = -s3Lu.inverse() * s2.transpose();
    const Eigen::Matrix3d m = s1 + s2 * t;
    Eigen::Matrix3d reduced;
    reduced.row(0) = m.row(2) / 2;
    reduced.row(1) = -m.row(1);
    reduced.row(2) = m.row(0) / 2;
    const Eigen::EigenSolver<Eigen::Matrix3d> solver(reduced);
    if (solver.info() != Eigen::Success) return std::nullopt;

    std::optional<RingEllipse> best;
    for (int k = 0; k < 3; ++k) {
        const Eigen::Vector3d quadratic = solver.eigenvectors().col(k).real();
        if (!(4 * quadratic(0) * quadratic(2) - quadratic(1) * quadratic(1) > 0)) continue;
        const Eigen::Vector3d linear = t * quadratic;
        best = ellipseOfConic(quadratic(0), quadratic(1), quadratic(2), linear(0), linear(1), linear(2));
        if (best) break;
    }
    if (!best) return std::nullopt;
    best->centreX = static_cast<double>(meanX + best->centreX * scale);
    best->centreY = static_cast<double>(meanY + best->centreY * scale);
    best->semiMajor *= scale;
    best->semiMinor *= scale;
    return best;
}

Real80 bestRadiusForCurve(const CoefficientVector& coefficients, const Curve& curve) {
    if (curve.x.empty()) return 0;
    const OwnFrame frame = ownFrameOf(buildOvalConstruction(coefficients));
    Real80 sum = 0;
    for (std::size_t i = 0; i < curve.x.size(); ++i) {
        const ArcDistance d = arcDistance(frame, curve.x[i], curve.y[i]);
        sum += d.distance - d.radiusOverAe;
    }
    return std::max<Real80>(0, sum / static_cast<Real80>(curve.x.size()));
}

namespace {

/// What the rings' ellipses agree on.
struct MeanEllipse {
    double centreX = 0, centreY = 0, direction = 0, semiMajor = 0, semiMinor = 0;
};

std::optional<MeanEllipse> meanEllipse(const CurveStore& curves) {
    double weight = 0, cos2 = 0, sin2 = 0;
    MeanEllipse mean;
    for (const Curve& curve : curves.curves) {
        const std::optional<RingEllipse> e = fitRingEllipse(curve);
        if (!e) continue;
        const double n = static_cast<double>(curve.x.size());
        weight += n;
        mean.centreX += n * e->centreX;
        mean.centreY += n * e->centreY;
        mean.semiMajor += n * e->semiMajor;
        mean.semiMinor += n * e->semiMinor;
        // Directions count by how elongated their ellipse is: a near circle has none to give.
        const double w = n * (e->semiMajor - e->semiMinor) / e->semiMajor;
        cos2 += w * std::cos(2 * e->direction);
        sin2 += w * std::sin(2 * e->direction);
    }
    if (weight == 0) return std::nullopt;
    mean.centreX /= weight;
    mean.centreY /= weight;
    mean.semiMajor /= weight;
    mean.semiMinor = std::min(mean.semiMinor / weight, mean.semiMajor * (1 - minAxisDifference));
    mean.direction = (cos2 == 0 && sin2 == 0) ? 0 : std::atan2(sin2, cos2) / 2;
    return mean;
}

/// The proper oval with semi-axes p > q (of the mean ring), end radius rMin and top radius rMax
/// whose middle radius lies nearest `preferredMiddle`, each ring's AE its best radius; none when
/// no middle radius makes a proper construction.
std::optional<CoefficientVector> ovalWithRadii(const CurveStore& curves, const MeanEllipse& e, double direction,
                                               double p, double q, double rMin, double rMax,
                                               double preferredMiddle) {
    CoefficientVector base;
    base.values.assign(static_cast<std::size_t>(coefficient::sharedCount + curves.curveCount()), rMin);
    base.coef(coefficient::centreX) = e.centreX;
    base.coef(coefficient::centreY) = e.centreY;
    base.coef(coefficient::rotation) = -direction;  // a positive rotation turns clockwise
    const double a = p - rMin;
    const double b = rMax - q;
    if (!(a > 0 && b > 0)) return std::nullopt;
    // rMed - rMin and rMax - rMed must span |A1 B2| for the circles about A1 and B2 to meet.
    const double span = rMax - rMin;
    const double length = std::hypot(a, b);
    const double lowest = rMin + (span - length) / 2;
    const double highest = rMin + (span + length) / 2;
    if (!(lowest < highest)) return std::nullopt;
    std::optional<CoefficientVector> proper;
    double distance = 0;
    for (int k = 0; k <= middleRadiusTrials; ++k) {
        // The preferred radius first, then trials across the open range, the nearest kept.
        const double rMed = k == 0 ? preferredMiddle : lowest + (highest - lowest) * k / (middleRadiusTrials + 1.0);
        if (k > 0 && proper && std::fabs(rMed - preferredMiddle) >= distance) continue;
        if (auto trial = constructionWithMiddleRadius(base, a, b, rMin, rMed, rMax)) {
            proper = std::move(trial);
            distance = std::fabs(rMed - preferredMiddle);
            if (k == 0) break;
        }
    }
    if (!proper) return std::nullopt;
    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
        const Curve& curve = curves.curves[static_cast<std::size_t>(j - 1)];
        if (!curve.x.empty()) proper->coef(coefficient::ae(j)) = bestRadiusForCurve(*proper, curve);
    }
    return proper;
}

// The other candidates' end radius as a fraction of the smaller semi-axis, and top radius as a
// multiple of the larger.
constexpr std::array<double, 4> endRadiusFractions{0.2, 0.4, 0.6, 0.8};
constexpr std::array<double, 4> topRadiusMultiples{1.1, 1.4, 2.0, 3.5};
// Where C and D are moved along their segments (as fractions of O A1 and of C1 B1) for the last
// refits.
constexpr std::array<double, 2> placeFractions{0.3, 0.7};
// The candidates are spanned again about the best result so far while that lowers the rms by
// more than this fraction, at most so many times.
constexpr double reseedingGain = 0.01;
constexpr int reseedingRounds = 3;
// Below this relative difference of the semi-axes the major axis may as well lie across.
constexpr double nearlyCircular = 0.1;
// Solver iterations each candidate gets before they are compared.
constexpr std::int32_t screeningIterations = 15;
// C and D kept this far from the ends of their segments while candidates are compared: a
// candidate whose centre or rotation is off slides there (the oval degenerates) and hides the
// basin of the right oval; the fit itself may still go to the ends.
constexpr double screeningPlaceMargin = 0.05;
// The best few after that are refined until they converge, and the best of them is the start.
constexpr std::size_t screeningFinalists = 4;
// Iterations at most of a candidate refined until it converges on the sample.
constexpr std::int32_t convergingIterations = 200;

/// Every stride-th point of each ring, so that the whole holds about screeningPointCount points;
/// small rings keep at least a few dozen.
CurveStore screeningSample(const CurveStore& curves) {
    std::int64_t total = 0;
    for (const Curve& curve : curves.curves) total += static_cast<std::int64_t>(curve.x.size());
    CurveStore sample;
    for (const Curve& curve : curves.curves) {
        const std::int64_t n = static_cast<std::int64_t>(curve.x.size());
        const std::int64_t wanted = std::max<std::int64_t>(40, screeningPointCount * n / std::max<std::int64_t>(total, 1));
        const std::size_t stride = static_cast<std::size_t>(std::max<std::int64_t>(1, n / wanted));
        Curve kept;
        for (std::size_t i = 0; i < curve.x.size(); i += stride) {
            kept.x.push_back(curve.x[i]);
            kept.y.push_back(curve.y[i]);
        }
        sample.totalPointCount += static_cast<std::int32_t>(kept.x.size());
        sample.curves.push_back(std::move(kept));
    }
    return sample;
}

/// The candidate ovals about an ellipse's centre, direction and semi-axes.
std::vector<CoefficientVector> candidatesAround(const CurveStore& curves, const MeanEllipse& e) {
    std::vector<CoefficientVector> candidates;
    const double p = e.semiMajor;
    const double q = e.semiMinor;
    // The ellipse's own curvature radii at its vertices and at 45 degrees.
    const double rMin = q * q / p;
    const double rMax = p * p / q;
    const double rMed45 = std::pow((p * p + q * q) / 2, 1.5) / (p * q);
    if (auto c = ovalWithRadii(curves, e, e.direction, p, q, rMin, rMax, rMed45)) {
        candidates.push_back(std::move(*c));
    } else {
        // C halfway along OA and D halfway along C1 B1 always make a proper oval.
        const double a = p - rMin;
        const double b = rMax - q;
        CoefficientVector fallback;
        fallback.values = {a, b, e.centreX, e.centreY, -e.direction, a / 2, std::hypot(a / 2, b) / 2};
        fallback.values.resize(static_cast<std::size_t>(coefficient::sharedCount + curves.curveCount()), rMin);
        for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
            const Curve& curve = curves.curves[static_cast<std::size_t>(j - 1)];
            if (!curve.x.empty()) fallback.coef(coefficient::ae(j)) = bestRadiusForCurve(fallback, curve);
        }
        candidates.push_back(std::move(fallback));
    }
    const bool across = (p - q) / p < nearlyCircular;
    for (const double direction : {e.direction, e.direction + std::numbers::pi / 2}) {
        if (direction != e.direction && !across) break;
        for (const double endFraction : endRadiusFractions) {
            for (const double topMultiple : topRadiusMultiples) {
                const double end = endFraction * q;
                const double top = topMultiple * p;
                if (auto c = ovalWithRadii(curves, e, direction, p, q, end, top, (end + top) / 2)) {
                    candidates.push_back(std::move(*c));
                }
            }
        }
    }
    return candidates;
}

/// A candidate after its refinement on the sample.
struct Screened {
    Real80 rms = 0;
    CoefficientVector coefficients;
};

Screened refined(const CurveStore& sample, const CoefficientVector& from, std::int32_t iterations) {
    OvalFitSettings settings;
    settings.maxIterations = iterations;
    settings.standardErrors = false;
    settings.placeMargin = screeningPlaceMargin;
    CoefficientVector coefficients = fitOval(sample, from, settings).coefficients;
    const Real80 rms = ownFrameDeviations(coefficients, sample).rms;
    return Screened{rms, std::move(coefficients)};
}

/// Every candidate refined briefly, the best few until they converge, and the best of those.
Screened bestOfCandidates(const CurveStore& sample, const std::vector<CoefficientVector>& candidates) {
    std::vector<Screened> screened;
    for (const CoefficientVector& candidate : candidates) {
        screened.push_back(refined(sample, candidate, screeningIterations));
    }
    const auto byRms = [](const Screened& x, const Screened& y) { return x.rms < y.rms; };
    const auto finalists = static_cast<std::ptrdiff_t>(std::min(screened.size(), screeningFinalists));
    std::partial_sort(screened.begin(), screened.begin() + finalists, screened.end(), byRms);
    screened.resize(static_cast<std::size_t>(finalists));
    for (Screened& s : screened) s = refined(sample, s.coefficients, convergingIterations);
    return *std::min_element(screened.begin(), screened.end(), byRms);
}

/// The centre, direction and semi-axes of the point-weighted mean ring of an oval.
MeanEllipse meanRingOf(const CoefficientVector& c, const CurveStore& curves) {
    const OvalConstruction k = buildOvalConstruction(c);
    double weight = 0, ae = 0;
    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
        const double n = static_cast<double>(curves.pointCount(j));
        weight += n;
        ae += n * static_cast<double>(std::fabs(c.coef(coefficient::ae(j))));
    }
    ae /= weight;
    const SemiAxes axes = semiAxes(k, ae, arcRadii(k, ae).rMax);
    MeanEllipse e;
    e.centreX = static_cast<double>(c.coef(coefficient::centreX));
    e.centreY = static_cast<double>(c.coef(coefficient::centreY));
    e.direction = -static_cast<double>(c.coef(coefficient::rotation));
    e.semiMajor = static_cast<double>(axes.semiMajor);
    e.semiMinor = std::min(static_cast<double>(axes.semiMinor), e.semiMajor * (1 - minAxisDifference));
    return e;
}

/// Each ring's AE the best for all its points, not only the sample's.
void withAeForAllPoints(CoefficientVector& c, const CurveStore& curves) {
    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
        const Curve& curve = curves.curves[static_cast<std::size_t>(j - 1)];
        if (!curve.x.empty()) c.coef(coefficient::ae(j)) = bestRadiusForCurve(c, curve);
    }
}

/// True when some ring's points cover less than about half of it, seen from the centre of `c`.
bool seesLessThanHalf(const CurveStore& curves, const CoefficientVector& c) {
    for (const Curve& curve : curves.curves) {
        if (curve.x.empty()) continue;
        if (coveredAngleDegrees(curve, c.coef(coefficient::centreX), c.coef(coefficient::centreY)) <
            minCoverageDegrees) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::vector<CoefficientVector> startingCandidates(const CurveStore& curves) {
    const std::optional<MeanEllipse> e = meanEllipse(curves);
    if (!e) return {};
    return candidatesAround(curves, *e);
}

std::optional<AutomaticStart> startingValues(const CurveStore& curves) {
    const std::vector<CoefficientVector> candidates = startingCandidates(curves);
    if (candidates.empty()) return std::nullopt;
    const CurveStore sample = screeningSample(curves);
    Screened best = bestOfCandidates(sample, candidates);
    // The ellipses of half rings and of ovals unlike an ellipse miss the semi-axes; the shapes
    // spanned again about the first result's centre, rotation and semi-axes find the right basin.
    std::size_t trials = candidates.size();
    for (int round = 0; round < reseedingRounds; ++round) {
        const std::vector<CoefficientVector> again = candidatesAround(sample, meanRingOf(best.coefficients, sample));
        trials += again.size();
        Screened next = bestOfCandidates(sample, again);
        const bool better = next.rms < (1 - reseedingGain) * best.rms;
        if (next.rms < best.rms) best = std::move(next);
        if (!better) break;
    }
    // The places of C and D are the least determined, above all on nearly circular drawings:
    // refits from C and D moved across their segments, with all else kept, leave no nearby basin.
    std::vector<CoefficientVector> moved;
    for (const double cFraction : placeFractions) {
        for (const double dFraction : placeFractions) {
            CoefficientVector c = best.coefficients;
            const Real80 a = std::fabs(c.coef(coefficient::oa));
            c.coef(coefficient::oc) = a * cFraction;
            c.coef(coefficient::dc) = dFraction * std::hypot(a * cFraction, c.coef(coefficient::ob));
            moved.push_back(std::move(c));
        }
    }
    Screened third = bestOfCandidates(sample, moved);
    if (third.rms < best.rms) best = std::move(third);
    trials += moved.size();
    if (seesLessThanHalf(curves, best.coefficients)) {
        AutomaticStart wider = widerStarts(curves, sample, best.coefficients);
        wider.trials += static_cast<std::int32_t>(trials);
        return wider;
    }
    withAeForAllPoints(best.coefficients, curves);
    return AutomaticStart{std::move(best.coefficients), static_cast<std::int32_t>(trials), sample.totalPointCount, {}};
}

namespace {

// The wider search for partial rings: rotations tried across half a turn, the best of their
// ellipses kept, the ratios of the semi-axes tried for each rotation.
constexpr std::int32_t widerRotations = 12;
constexpr std::size_t widerEllipses = 6;
constexpr std::array<double, 8> widerAspects{0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0};
// Starts refined until they converge on the sample, and of those, starts refined on all the points.
constexpr std::size_t widerFinalists = 6;
constexpr std::size_t widerEnds = 3;
// Two results whose rotations and semi-axes agree to within these are one oval: the search keeps
// starts that lead elsewhere.
constexpr double sameRotation = 1e-3;        // radians
constexpr double sameSemiAxes = 1e-3;        // relative
// A ring is split into stretches for its curvature, at least the fewest and at most the most of
// them, each with a few points: short stretches tell the end arc from its neighbours.
constexpr std::size_t fewestStretches = 3;
constexpr std::size_t mostStretches = 6;
constexpr std::size_t minPointsPerStretch = 5;
// The least and the most curved stretch must differ by this much for the curvature to tell the
// end of an axis from the top.
constexpr double evenBending = 0.9;

struct Circle {
    double x = 0, y = 0, r = 0;
};

/// The algebraic least-squares circle through points (about their mean).
std::optional<Circle> circleThrough(const std::vector<double>& x, const std::vector<double>& y) {
    const std::size_t n = x.size();
    if (n < 3) return std::nullopt;
    double mx = 0, my = 0;
    for (std::size_t i = 0; i < n; ++i) {
        mx += x[i];
        my += y[i];
    }
    mx /= static_cast<double>(n);
    my /= static_cast<double>(n);
    Eigen::Matrix3d normal = Eigen::Matrix3d::Zero();
    Eigen::Vector3d right = Eigen::Vector3d::Zero();
    for (std::size_t i = 0; i < n; ++i) {
        const Eigen::Vector3d row(2 * (x[i] - mx), 2 * (y[i] - my), 1);
        const double u = x[i] - mx, v = y[i] - my;
        normal += row * row.transpose();
        right += row * (u * u + v * v);
    }
    const Eigen::FullPivLU<Eigen::Matrix3d> lu(normal);
    if (!lu.isInvertible()) return std::nullopt;
    const Eigen::Vector3d w = lu.solve(right);
    const double r2 = w(2) + w(0) * w(0) + w(1) * w(1);
    if (!(r2 > 0) || !std::isfinite(r2)) return std::nullopt;
    return Circle{mx + w(0), my + w(1), std::sqrt(r2)};
}

/// The concentric ellipses of major direction `direction` and axis ratio `aspect` that fit the
/// points best (algebraically, as circles once the minor direction is stretched by 1 / aspect), and
/// their rms distance from the points to first order; none when the points fix no such ellipses.
std::optional<std::pair<RingEllipse, double>> concentricEllipses(const CurveStore& curves, double meanX,
                                                                 double meanY, double direction, double aspect) {
    const double c = std::cos(direction), s = std::sin(direction);
    std::vector<std::size_t> rings;
    for (std::size_t j = 0; j < curves.curves.size(); ++j) {
        if (!curves.curves[j].x.empty()) rings.push_back(j);
    }
    const Eigen::Index unknowns = 2 + static_cast<Eigen::Index>(rings.size());
    Eigen::MatrixXd normal = Eigen::MatrixXd::Zero(unknowns, unknowns);
    Eigen::VectorXd right = Eigen::VectorXd::Zero(unknowns);
    auto frameOf = [&](Real80 x, Real80 y) {
        const double dx = static_cast<double>(x) - meanX, dy = static_cast<double>(y) - meanY;
        return std::pair{dx * c + dy * s, (-dx * s + dy * c) / aspect};
    };
    for (std::size_t r = 0; r < rings.size(); ++r) {
        const Curve& curve = curves.curves[rings[r]];
        for (std::size_t i = 0; i < curve.x.size(); ++i) {
            const auto [u, w] = frameOf(curve.x[i], curve.y[i]);
            Eigen::VectorXd row = Eigen::VectorXd::Zero(unknowns);
            row(0) = 2 * u;
            row(1) = 2 * w;
            row(2 + static_cast<Eigen::Index>(r)) = 1;
            normal += row * row.transpose();
            right += row * (u * u + w * w);
        }
    }
    const Eigen::FullPivLU<Eigen::MatrixXd> lu(normal);
    if (!lu.isInvertible()) return std::nullopt;
    const Eigen::VectorXd x = lu.solve(right);
    const double u0 = x(0), w0 = x(1);
    double weight = 0, size = 0, sum = 0;
    for (std::size_t r = 0; r < rings.size(); ++r) {
        const double r2 = x(2 + static_cast<Eigen::Index>(r)) + u0 * u0 + w0 * w0;
        if (!(r2 > 0) || !std::isfinite(r2)) return std::nullopt;
        const double radius = std::sqrt(r2);
        const Curve& curve = curves.curves[rings[r]];
        for (std::size_t i = 0; i < curve.x.size(); ++i) {
            const auto [u, w] = frameOf(curve.x[i], curve.y[i]);
            const double g = std::hypot(u - u0, w - w0);
            // Distances along the stretched direction count 1 / aspect times too much.
            const double cosine = g > 0 ? (u - u0) / g : 1, sine = g > 0 ? (w - w0) / g : 0;
            const double d = (g - radius) / std::sqrt(cosine * cosine + sine * sine / (aspect * aspect));
            sum += d * d;
        }
        const double n = static_cast<double>(curve.x.size());
        weight += n;
        size += n * radius;
    }
    RingEllipse e;
    e.centreX = meanX + u0 * c - w0 * aspect * s;
    e.centreY = meanY + u0 * s + w0 * aspect * c;
    e.semiMajor = size / weight;
    e.semiMinor = e.semiMajor * std::min(aspect, 1 - minAxisDifference);
    e.direction = direction;
    return std::pair{e, std::sqrt(sum / weight)};
}

MeanEllipse meanOf(const RingEllipse& r) {
    return MeanEllipse{r.centreX, r.centreY, r.direction, r.semiMajor, r.semiMinor};
}

/// The semi-axes of every ring of `c` with points, ring after ring.
std::vector<SemiAxes> ringSemiAxes(const CoefficientVector& c, const CurveStore& curves) {
    const OvalConstruction k = buildOvalConstruction(c);
    std::vector<SemiAxes> axes;
    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
        if (curves.pointCount(j) == 0) continue;
        const ArcRadii radii = arcRadii(k, std::fabs(c.coef(coefficient::ae(j))));
        axes.push_back(semiAxes(k, radii.rMin, radii.rMax));
    }
    return axes;
}

/// True when two results are one oval: rotations (as lines) and every ring's semi-axes agree.
bool sameOval(const CoefficientVector& a, const CoefficientVector& b, const CurveStore& curves) {
    const double turn = std::remainder(static_cast<double>(a.coef(coefficient::rotation) - b.coef(coefficient::rotation)),
                                       std::numbers::pi);
    if (std::fabs(turn) > sameRotation) return false;
    const std::vector<SemiAxes> x = ringSemiAxes(a, curves), y = ringSemiAxes(b, curves);
    for (std::size_t r = 0; r < x.size() && r < y.size(); ++r) {
        for (const auto& [p, q] : {std::pair{x[r].semiMajor, y[r].semiMajor}, std::pair{x[r].semiMinor, y[r].semiMinor}}) {
            if (std::fabs(p - q) > sameSemiAxes * std::max(std::fabs(p), std::fabs(q))) return false;
        }
    }
    return true;
}

}  // namespace

std::vector<RingEllipse> ellipsesByRotation(const CurveStore& curves, std::int32_t rotations) {
    double meanX = 0, meanY = 0, count = 0;
    for (const Curve& curve : curves.curves) {
        for (std::size_t i = 0; i < curve.x.size(); ++i) {
            meanX += static_cast<double>(curve.x[i]);
            meanY += static_cast<double>(curve.y[i]);
            count += 1;
        }
    }
    if (count == 0) return {};
    meanX /= count;
    meanY /= count;
    std::vector<std::pair<RingEllipse, double>> found;
    for (std::int32_t k = 0; k < rotations; ++k) {
        const double direction = std::numbers::pi * k / rotations;
        std::optional<std::pair<RingEllipse, double>> best;
        for (const double aspect : widerAspects) {
            auto fit = concentricEllipses(curves, meanX, meanY, direction, aspect);
            if (fit && (!best || fit->second < best->second)) best = std::move(fit);
        }
        if (best) found.push_back(std::move(*best));
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& x, const auto& y) { return x.second < y.second; });
    std::vector<RingEllipse> out;
    for (const auto& f : found) out.push_back(f.first);
    return out;
}

std::optional<CurvatureStart> curvatureStart(const Curve& curve) {
    const std::size_t n = curve.x.size();
    if (n < fewestStretches * minPointsPerStretch) return std::nullopt;
    const std::size_t curvatureStretches = std::min(mostStretches, n / minPointsPerStretch);
    std::vector<double> x(n), y(n);
    for (std::size_t i = 0; i < n; ++i) {
        x[i] = static_cast<double>(curve.x[i]);
        y[i] = static_cast<double>(curve.y[i]);
    }
    const std::optional<Circle> whole = circleThrough(x, y);
    if (!whole) return std::nullopt;
    // Along the ring by the direction from its circle's centre, from the far side of its widest gap.
    std::vector<std::pair<double, std::size_t>> order(n);
    for (std::size_t i = 0; i < n; ++i) order[i] = {std::atan2(y[i] - whole->y, x[i] - whole->x), i};
    std::sort(order.begin(), order.end());
    std::size_t first = 0;
    double widest = order.front().first + 2 * std::numbers::pi - order.back().first;
    for (std::size_t i = 1; i < n; ++i) {
        if (order[i].first - order[i - 1].first > widest) {
            widest = order[i].first - order[i - 1].first;
            first = i;
        }
    }
    std::rotate(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(first), order.end());
    std::vector<Circle> stretches;
    std::vector<std::size_t> middles;
    for (std::size_t part = 0; part < curvatureStretches; ++part) {
        const std::size_t from = n * part / curvatureStretches, to = n * (part + 1) / curvatureStretches;
        std::vector<double> px, py;
        for (std::size_t i = from; i < to; ++i) {
            px.push_back(x[order[i].second]);
            py.push_back(y[order[i].second]);
        }
        const std::optional<Circle> c = circleThrough(px, py);
        if (!c) return std::nullopt;
        stretches.push_back(*c);
        // The end of an axis lies at or beyond the ring's end when its most curved stretch is the
        // first or the last: the end point's direction from the arc's centre is then the nearer.
        const std::size_t at = part == 0 ? from : part + 1 == curvatureStretches ? to - 1 : (from + to) / 2;
        middles.push_back(order[at].second);
    }
    const auto byRadius = [](const Circle& a, const Circle& b) { return a.r < b.r; };
    const auto most = std::min_element(stretches.begin(), stretches.end(), byRadius);
    const auto least = std::max_element(stretches.begin(), stretches.end(), byRadius);
    if (!(most->r < evenBending * least->r)) return std::nullopt;
    // The major axis runs from the end arc's centre through its stretch; the centre
    // is where the minor axis through the top arc's centre crosses it.
    const std::size_t middle = middles[static_cast<std::size_t>(most - stretches.begin())];
    const double ux = x[middle] - most->x, uy = y[middle] - most->y;
    const double length = std::hypot(ux, uy);
    if (!(length > 0)) return std::nullopt;
    const double ex = ux / length, ey = uy / length;
    const double along = (least->x - most->x) * ex + (least->y - most->y) * ey;
    CurvatureStart start;
    start.ellipse.centreX = most->x + along * ex;
    start.ellipse.centreY = most->y + along * ey;
    start.ellipse.direction = std::atan2(ey, ex);
    start.ellipse.semiMajor = -along + most->r;
    start.ellipse.semiMinor =
        least->r - std::hypot(least->x - start.ellipse.centreX, least->y - start.ellipse.centreY);
    start.endRadius = most->r;
    start.topRadius = least->r;
    const RingEllipse& e = start.ellipse;
    if (!(e.semiMinor > start.endRadius && e.semiMajor > e.semiMinor && start.topRadius > e.semiMinor)) return std::nullopt;
    return start;
}

AutomaticStart widerStarts(const CurveStore& curves, const CurveStore& sample, const CoefficientVector& found) {
    std::vector<CoefficientVector> candidates{found};
    auto around = [&](const MeanEllipse& e) {
        std::vector<CoefficientVector> more = candidatesAround(sample, e);
        candidates.insert(candidates.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
    };
    around(meanRingOf(found, sample));
    const std::vector<RingEllipse> byRotation = ellipsesByRotation(sample, widerRotations);
    for (std::size_t k = 0; k < byRotation.size() && k < widerEllipses; ++k) around(meanOf(byRotation[k]));
    for (const Curve& curve : sample.curves) {
        const std::optional<CurvatureStart> bent = curvatureStart(curve);
        if (!bent) continue;
        const MeanEllipse e = meanOf(bent->ellipse);
        const double p = e.semiMajor, q = e.semiMinor;
        if (auto c = ovalWithRadii(sample, e, e.direction, p, q, bent->endRadius, bent->topRadius,
                                   (bent->endRadius + bent->topRadius) / 2)) {
            candidates.push_back(std::move(*c));
        }
        around(e);
    }

    // Refined briefly; the best few that lead to different ovals refined until they converge.
    std::vector<Screened> screened;
    for (const CoefficientVector& c : candidates) screened.push_back(refined(sample, c, screeningIterations));
    std::stable_sort(screened.begin(), screened.end(), [](const Screened& x, const Screened& y) { return x.rms < y.rms; });
    std::vector<Screened> finalists;
    for (Screened& s : screened) {
        if (finalists.size() == widerFinalists) break;
        if (!std::isfinite(static_cast<double>(s.rms))) continue;
        const bool seen = std::any_of(finalists.begin(), finalists.end(), [&](const Screened& f) {
            return sameOval(f.coefficients, s.coefficients, sample);
        });
        if (!seen) finalists.push_back(std::move(s));
    }
    for (Screened& f : finalists) f = refined(sample, f.coefficients, convergingIterations);
    std::stable_sort(finalists.begin(), finalists.end(), [](const Screened& x, const Screened& y) { return x.rms < y.rms; });

    // The best few kept to the end: each refined on all the points, the start whose end fits best.
    OvalFitSettings settings;
    settings.standardErrors = false;
    std::vector<std::pair<CoefficientVector, RefinedStart>> ends;
    for (std::size_t k = 0; k < finalists.size() && ends.size() < widerEnds; ++k) {
        CoefficientVector start = finalists[k].coefficients;
        withAeForAllPoints(start, curves);
        CoefficientVector end = fitOval(curves, start, settings).coefficients;
        const Real80 rms = ownFrameDeviations(end, curves).rms;
        if (!std::isfinite(static_cast<double>(rms))) continue;
        ends.emplace_back(std::move(start), RefinedStart{std::move(end), rms});
    }
    AutomaticStart out;
    out.trials = static_cast<std::int32_t>(candidates.size());
    out.samplePoints = sample.totalPointCount;
    if (ends.empty()) {
        out.coefficients = found;
        withAeForAllPoints(out.coefficients, curves);
        return out;
    }
    std::stable_sort(ends.begin(), ends.end(), [](const auto& x, const auto& y) { return x.second.rms < y.second.rms; });
    out.coefficients = ends.front().first;
    for (std::size_t k = 1; k < ends.size(); ++k) {
        if (sameOval(ends[k].second.coefficients, ends.front().second.coefficients, curves)) continue;
        out.runnerUp = ends[k].second;
        break;
    }
    return out;
}
