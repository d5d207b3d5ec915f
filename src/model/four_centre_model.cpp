#include "model/four_centre_model.hpp"

#include <algorithm>
#include <numbers>

namespace {

using std::numbers::pi;

/// The own-frame arcs of one ring: top, left end, bottom, right end, each from its start
/// direction counter-clockwise; phi is the direction of B2 -> A1.
std::array<OutlineArc, 4> ownFrameArcs(double a, double b, double ae) {
    const double phi = std::atan2(b, a);
    const double side = fourCentreSideRadius(a, b, ae);
    return {OutlineArc{0, -b, side, phi, pi - 2 * phi}, OutlineArc{-a, 0, ae, pi - phi, 2 * phi},
            OutlineArc{0, b, side, pi + phi, pi - 2 * phi}, OutlineArc{a, 0, ae, -phi, 2 * phi}};
}

// The end radii of the starting candidates, as fractions of the way from the ellipse's curvature
// radius at the end of its major axis (b^2 / a) to its minor semi-axis, where OB would be infinite.
constexpr std::array<double, 5> endRadiusSteps{0.0, 0.2, 0.4, 0.6, 0.8};

// The least difference of the semi-axes, as a fraction of the major one, a candidate is built
// with: a round drawing still gets side arcs centred below the centre.
constexpr double leastAxisDifference = 1e-3;

// The least end radius of a ring's start, as a fraction of the mean major semi-axis: an inner
// ring smaller than the construction allows starts just proper.
constexpr double leastEndRadius = 1e-3;

}  // namespace

double fourCentreSideRadius(double oa, double ob, double ae) { return ae + std::hypot(oa, ob); }

std::vector<ParameterInfo> FourCentreModel::shapeParameters() {
    return {{"OA", ParameterUnit::Length, 0, HUGE_VAL}, {"OB", ParameterUnit::Length, 0, HUGE_VAL}};
}

std::vector<ParameterInfo> FourCentreModel::ringParameters(int ring) {
    return {{"AE" + std::to_string(ring), ParameterUnit::Length, 0, HUGE_VAL}};
}

RingAxes FourCentreModel::semiAxes(const double* shape, const double* ring) {
    return {shape[oa] + ring[ae], fourCentreSideRadius(shape[oa], shape[ob], ring[ae]) - shape[ob]};
}

FourCentreModel::Fault FourCentreModel::fault(const CurveParameters& parameters) {
    const double* shape = parameters.shared.data() + placement::count;
    if (!(shape[oa] > 0)) return Fault::OaNotPositive;
    if (!(shape[ob] > 0)) return Fault::ObNotPositive;
    for (const std::vector<double>& ring : parameters.rings) {
        if (!(ring.at(ae) > 0)) return Fault::EndRadiusNotPositive;
    }
    return Fault::None;
}

std::string FourCentreModel::describeFault(const CurveParameters& parameters, Fault fault) {
    const double* shape = parameters.shared.data() + placement::count;
    switch (fault) {
        case Fault::None: return {};
        case Fault::OaNotPositive: return "OA (" + std::to_string(shape[oa]) + ") is not positive";
        case Fault::ObNotPositive: return "OB (" + std::to_string(shape[ob]) + ") is not positive";
        case Fault::EndRadiusNotPositive: break;
    }
    for (std::size_t j = 0; j < parameters.rings.size(); ++j) {
        if (!(parameters.rings[j].at(ae) > 0)) {
            return "the end radius of ring " + std::to_string(j + 1) + " (" + std::to_string(parameters.rings[j][ae]) +
                   ") is not positive";
        }
    }
    return "an end radius is not positive";
}

OutlinePoint FourCentreModel::ownFrameOutlineAt(const double* shape, const double* ring, double u) {
    const std::array<OutlineArc, 4> arcs = ownFrameArcs(shape[oa], shape[ob], ring[ae]);
    double perimeter = 0;
    for (const OutlineArc& arc : arcs) perimeter += arc.radius * arc.sweep;
    double s = (u - std::floor(u)) * perimeter;
    std::size_t k = 0;
    while (k + 1 < arcs.size() && s > arcs[k].radius * arcs[k].sweep) {
        s -= arcs[k].radius * arcs[k].sweep;
        ++k;
    }
    const double angle = arcs[k].startAngle + s / arcs[k].radius;
    const double nx = std::cos(angle);
    const double ny = std::sin(angle);
    return {arcs[k].centreX + arcs[k].radius * nx, arcs[k].centreY + arcs[k].radius * ny, nx, ny};
}

std::array<OutlineArc, 4> fourCentreArcs(const CurveParameters& parameters, std::size_t ring) {
    const double* shared = parameters.shared.data();
    const double* shape = shared + placement::count;
    std::array<OutlineArc, 4> arcs = ownFrameArcs(shape[FourCentreModel::oa], shape[FourCentreModel::ob],
                                                  parameters.rings.at(ring).at(FourCentreModel::ae));
    // Placing turns the drawing clockwise by the rotation: centres move, directions fall by it.
    for (OutlineArc& arc : arcs) {
        const OutlinePoint centre = placedOutlinePoint(shared, {arc.centreX, arc.centreY, 0, 0});
        arc.centreX = centre.x;
        arc.centreY = centre.y;
        arc.startAngle -= shared[placement::rotation];
    }
    return arcs;
}

std::vector<CurveParameters> FourCentreModel::startingCandidates(const MeanEllipse& mean) {
    const double p = mean.semiMajor;
    const double q = std::min(mean.semiMinor, p * (1 - leastAxisDifference));
    std::vector<CurveParameters> candidates;
    if (!(p > 0 && q > 0)) return candidates;
    const double d = p - q;
    const double vertexRadius = q * q / p;
    for (const double step : endRadiusSteps) {
        const double r = vertexRadius + step * (q - vertexRadius);
        // Semi-axes p and q with end radius r: p = OA + r, and tangency makes the side radius
        // r + |OA, OB|, so q = r + |OA, OB| - OB, which OB = d (2 OA - d) / (2 (OA - d)) solves.
        const double a = p - r;
        const double b = d * (2 * a - d) / (2 * (a - d));
        if (!(a > 0 && b > 0 && std::isfinite(b))) continue;
        CurveParameters candidate{{mean.centreX, mean.centreY, mean.rotation, a, b}, {}};
        const double sideOverhang = std::hypot(a, b) - b;  // the minor semi-axis less the end radius
        for (const RingAxes& ring : mean.rings) {
            const double ae = ((ring.semiMajor - a) + (ring.semiMinor - sideOverhang)) / 2;
            candidate.rings.push_back({std::max(ae, leastEndRadius * p)});
        }
        candidates.push_back(std::move(candidate));
    }
    return candidates;
}
