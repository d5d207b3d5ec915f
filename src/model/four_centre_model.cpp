#include "model/four_centre_model.hpp"

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
