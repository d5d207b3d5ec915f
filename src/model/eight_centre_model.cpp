#include "model/eight_centre_model.hpp"

#include <algorithm>
#include <array>
#include <numbers>

namespace {

using std::numbers::pi;

/// One own-frame arc: centre, radius, start direction and counter-clockwise sweep.
struct OwnArc {
    double centreX = 0, centreY = 0, radius = 0, startAngle = 0, sweep = 0;
};

/// The eight own-frame arcs of one ring, in the order of OvalArc from the start of the top arc.
/// alpha is the direction from D4 through A1 (the end arcs' junctions), beta that from B2 through
/// D4 (the top arc's).
std::array<OwnArc, 8> ownFrameArcs(const double* shape, double ae) {
    using M = EightCentreModel;
    const QuadrantOval<double> o = quadrantOvalOf(shape[M::oa], shape[M::ob], shape[M::cPlace], shape[M::dPlace]);
    const double alpha = std::atan2(o.dy, o.a - o.dx);
    const double beta = std::atan2(o.b - o.dy, o.dx);
    const double rMed = ae + o.stepMed;
    const double rMax = rMed + o.stepMax;
    return {OwnArc{0, -o.b, rMax, beta, pi - 2 * beta},
            OwnArc{-o.dx, -o.dy, rMed, pi - beta, beta - alpha},
            OwnArc{-o.a, 0, ae, pi - alpha, 2 * alpha},
            OwnArc{-o.dx, o.dy, rMed, pi + alpha, beta - alpha},
            OwnArc{0, o.b, rMax, pi + beta, pi - 2 * beta},
            OwnArc{o.dx, o.dy, rMed, 2 * pi - beta, beta - alpha},
            OwnArc{o.a, 0, ae, -alpha, 2 * alpha},
            OwnArc{o.dx, -o.dy, rMed, alpha, beta - alpha}};
}

/// OC and OB both zero: C1 B1 has no length and no construction can be built.
bool collapses(const CoefficientVector& c) {
    return c.coef(coefficient::oc) == 0 && c.coef(coefficient::ob) == 0;
}

}  // namespace

QuadrantOval<Real80> quadrantOvalOf(const OvalConstruction& k) {
    const PlanePoint& d1 = k.localPoint(ConstructionPoint::D1);
    return {k.oa, k.ob, k.oc, d1.x, d1.y, k.stepMed, k.stepMax};
}

std::vector<ParameterInfo> EightCentreModel::shapeParameters() {
    return {{"OA", ParameterUnit::Length, 0, HUGE_VAL},
            {"OB", ParameterUnit::Length, 0, HUGE_VAL},
            {"OC/OA", ParameterUnit::Fraction, 0, 1},
            {"DC/C1B1", ParameterUnit::Fraction, 0, 1}};
}

std::vector<ParameterInfo> EightCentreModel::ringParameters(int ring) {
    return {{"AE" + std::to_string(ring), ParameterUnit::Length, 0, HUGE_VAL}};
}

RingAxes EightCentreModel::semiAxes(const double* shape, const double* ring) {
    const RingAxesOf<double> axes = ownFrameSemiAxes(shape, ring);
    return {axes.semiMajor, axes.semiMinor};
}

EightCentreModel::Fault EightCentreModel::fault(const CurveParameters& parameters) {
    const CoefficientVector coefficients = coefficientsOf(parameters);
    // C at O is an arc without sweep, whether or not B is at O too.
    if (collapses(coefficients)) return Fault::ArcWithoutSweep;
    return ownFrameConstructionFault(buildOvalConstruction(coefficients));
}

std::string EightCentreModel::describeFault(const CurveParameters& parameters, Fault fault) {
    if (fault == Fault::None) return {};
    const CoefficientVector coefficients = coefficientsOf(parameters);
    if (collapses(coefficients)) return "OB and OC are both zero, so the construction of the oval collapses";
    return describeConstructionFault(buildOvalConstruction(coefficients), fault);
}

OutlinePoint EightCentreModel::ownFrameOutlineAt(const double* shape, const double* ring, double u) {
    const std::array<OwnArc, 8> arcs = ownFrameArcs(shape, ring[ae]);
    double perimeter = 0;
    for (const OwnArc& arc : arcs) perimeter += arc.radius * arc.sweep;
    double s = (u - std::floor(u)) * perimeter;
    std::size_t k = 0;
    while (k + 1 < arcs.size() && s > arcs[k].radius * arcs[k].sweep) {
        s -= arcs[k].radius * arcs[k].sweep;
        ++k;
    }
    // An arc of no radius (AE = 0 at an end) is a corner: its start direction stands for it.
    const double angle = arcs[k].startAngle + (arcs[k].radius > 0 ? s / arcs[k].radius : 0);
    const double nx = std::cos(angle);
    const double ny = std::sin(angle);
    return {arcs[k].centreX + arcs[k].radius * nx, arcs[k].centreY + arcs[k].radius * ny, nx, ny};
}

CoefficientVector coefficientsOf(const CurveParameters& parameters) {
    using M = EightCentreModel;
    const double* shared = parameters.shared.data();
    const double* shape = shared + placement::count;
    // In the order the fit has always turned its variables into coefficients.
    const Real80 a = shape[M::oa];
    const Real80 b = shape[M::ob];
    const Real80 c = a * shape[M::cPlace];
    CoefficientVector out;
    out.values.assign(static_cast<std::size_t>(coefficient::sharedCount) + parameters.rings.size(), 0);
    out.coef(coefficient::oa) = a;
    out.coef(coefficient::ob) = b;
    out.coef(coefficient::centreX) = shared[placement::centreX];
    out.coef(coefficient::centreY) = shared[placement::centreY];
    out.coef(coefficient::rotation) = shared[placement::rotation];
    out.coef(coefficient::oc) = c;
    out.coef(coefficient::dc) = shape[M::dPlace] * std::sqrt(c * c + b * b);
    for (std::size_t j = 0; j < parameters.rings.size(); ++j) {
        out.coef(coefficient::ae(static_cast<int>(j) + 1)) = parameters.rings[j].at(M::ae);
    }
    return out;
}

CurveParameters eightCentreParametersOf(const CoefficientVector& coefficients) {
    auto value = [&](int k) { return static_cast<double>(coefficients.coef(k)); };
    const double a = std::fabs(value(coefficient::oa));
    const double b = std::fabs(value(coefficient::ob));
    const double cPlace = a > 0 ? std::clamp(std::fabs(value(coefficient::oc)) / a, 0.0, 1.0) : 0.0;
    const double cb = std::hypot(a * cPlace, b);
    const double dPlace = cb > 0 ? std::clamp(std::fabs(value(coefficient::dc)) / cb, 0.0, 1.0) : 0.0;
    CurveParameters parameters;
    parameters.shared = {value(coefficient::centreX), value(coefficient::centreY), value(coefficient::rotation),
                         a, b, cPlace, dPlace};
    for (std::int32_t j = 1; j <= coefficients.curveCount(); ++j) {
        parameters.rings.push_back({std::fabs(value(coefficient::ae(j)))});
    }
    return parameters;
}
