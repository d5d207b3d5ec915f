#include "model/ellipse_model.hpp"

#include <algorithm>
#include <numbers>

std::vector<ParameterInfo> EllipseModel::shapeParameters() { return {}; }

std::vector<ParameterInfo> EllipseModel::ringParameters(int ring) {
    const std::string j = std::to_string(ring);
    return {{"a" + j, ParameterUnit::Length, 0, HUGE_VAL}, {"b" + j, ParameterUnit::Length, 0, HUGE_VAL}};
}

RingAxes EllipseModel::semiAxes(const double* /*shape*/, const double* ring) {
    return {std::max(ring[semiX], ring[semiY]), std::min(ring[semiX], ring[semiY])};
}

EllipseModel::Fault EllipseModel::fault(const CurveParameters& parameters) {
    for (const std::vector<double>& ring : parameters.rings) {
        if (!(ring.at(semiX) > 0 && ring.at(semiY) > 0)) return Fault::SemiAxisNotPositive;
    }
    return Fault::None;
}

std::string EllipseModel::describeFault(const CurveParameters& parameters, Fault fault) {
    if (fault == Fault::None) return {};
    for (std::size_t j = 0; j < parameters.rings.size(); ++j) {
        const std::vector<double>& ring = parameters.rings[j];
        if (!(ring.at(semiX) > 0 && ring.at(semiY) > 0)) {
            return "a semi-axis of ring " + std::to_string(j + 1) + " (" + std::to_string(ring[semiX]) + ", " +
                   std::to_string(ring[semiY]) + ") is not positive";
        }
    }
    return "a semi-axis is not positive";
}

OutlinePoint EllipseModel::ownFrameOutlineAt(const double* /*shape*/, const double* ring, double u) {
    const double t = 2 * std::numbers::pi * u;
    const double a = ring[semiX];
    const double b = ring[semiY];
    const double nx = b * std::cos(t);
    const double ny = a * std::sin(t);
    const double length = std::hypot(nx, ny);
    return {a * std::cos(t), b * std::sin(t), nx / length, ny / length};
}

std::vector<CurveParameters> EllipseModel::startingCandidates(const MeanEllipse& mean) {
    CurveParameters start{{mean.centreX, mean.centreY, mean.rotation}, {}};
    for (const RingAxes& ring : mean.rings) start.rings.push_back({ring.semiMajor, ring.semiMinor});
    return {start};
}
