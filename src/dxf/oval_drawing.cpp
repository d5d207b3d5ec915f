#include "dxf/oval_drawing.hpp"

#include <cmath>

#include "dxf/dxf_writer.hpp"
#include "model/oval_construction.hpp"

namespace {

// The extended values nearest to pi, pi/2, 3 pi/2, 2 pi and 180/pi.
constexpr Real80 pi = 3.14159265358979323846264338327950288L;
constexpr Real80 halfPi = 1.57079632679489661923132169163975144L;
constexpr Real80 threeHalvesPi = 4.71238898038468985769396507491925433L;
constexpr Real80 twoPi = 6.28318530717958647692528676655900577L;
constexpr Real80 degreesPerRadian = 57.295779513082320877L;

// Below this a radius line's length or its direction counts as vanished.
constexpr Real80 vanishingLength = 1e-10L;

Real80 directionDegrees(const PlanePoint& from, const PlanePoint& to) {
    return directionAngle(from.x, from.y, to.x, to.y) * degreesPerRadian;
}

void writeLineBetween(OutputChannel& drawing, const DxfLayer& layer, const PlanePoint& from, const PlanePoint& to) {
    writeDxfLine(drawing, layer.name, layer.colour, from.x, from.y, to.x, to.y);
}

/// A radius line from centre p toward q, of length r.
void writeRadius(OutputChannel& drawing, const PlanePoint& p, const PlanePoint& q, Real80 r) {
    PlanePoint end;
    pointAlong(p.x, p.y, q.x, q.y, r, end.x, end.y);
    writeLineBetween(drawing, dxfLayer::radii, p, end);
}

}  // namespace

void pointAlong(Real80 x1, Real80 y1, Real80 x2, Real80 y2, Real80 length, Real80& x, Real80& y) {
    const Real80 dx = x2 - x1;
    const Real80 dy = y2 - y1;
    const Real80 s = std::sqrt(dx * dx + dy * dy);
    // A length of exactly the threshold counts as zero, a distance of exactly it does not.
    if (std::fabs(length) <= vanishingLength || s < vanishingLength) {
        x = x1;
        y = y1;
        return;
    }
    x = (dx * length) / s + x1;
    y = (dy * length) / s + y1;
}

Real80 directionAngle(Real80 x1, Real80 y1, Real80 x2, Real80 y2) {
    const Real80 dx = x2 - x1;
    const Real80 dy = y2 - y1;
    if (dx >= 0 && dy == 0) {
        return 0;
    }
    if (dx == 0) {
        return dy > 0 ? halfPi : threeHalvesPi;
    }
    const Real80 t = std::atan(std::fabs(dy) / std::fabs(dx));
    if (dx > 0) {
        return dy > 0 ? t : twoPi - t;
    }
    return dy >= 0 ? pi - t : pi + t;
}

void drawOvalCurve(RunState& run, std::int32_t j, bool isFirstCurve) {
    using P = ConstructionPoint;
    OutputChannel& drawing = run.drawing;
    const OvalConstruction construction = buildOvalConstruction(run.coefficients);
    const ArcRadii radii = arcRadii(construction, run.coefficients.coef(coefficient::ae(j)));
    const SemiAxes axes = semiAxes(construction, radii.rMin, radii.rMax);
    const PlanePoint e1 = placePoint(construction, axes.semiMajor, 0);
    const PlanePoint f1 = placePoint(construction, 0, axes.semiMinor);
    const PlanePoint e2 = placePoint(construction, -axes.semiMajor, 0);
    const PlanePoint f2 = placePoint(construction, 0, -axes.semiMinor);
    auto at = [&construction](P p) -> const PlanePoint& { return construction.placedPoint(p); };

    if (isFirstCurve) {
        writeLineBetween(drawing, dxfLayer::axes, e1, e2);
        writeLineBetween(drawing, dxfLayer::axes, f1, f2);

        writeLineBetween(drawing, dxfLayer::triangles, at(P::B2), at(P::C1));
        writeLineBetween(drawing, dxfLayer::triangles, at(P::B1), at(P::C1));
        writeLineBetween(drawing, dxfLayer::triangles, at(P::B1), at(P::C2));
        writeLineBetween(drawing, dxfLayer::triangles, at(P::B2), at(P::C2));
        writeLineBetween(drawing, dxfLayer::triangles, at(P::D4), at(P::A1));
        writeLineBetween(drawing, dxfLayer::triangles, at(P::D1), at(P::A1));
        writeLineBetween(drawing, dxfLayer::triangles, at(P::D2), at(P::A2));
        writeLineBetween(drawing, dxfLayer::triangles, at(P::D3), at(P::A2));
    }

    writeRadius(drawing, at(P::B2), at(P::C1), radii.rMax);
    writeRadius(drawing, at(P::B2), at(P::C2), radii.rMax);
    writeRadius(drawing, at(P::B1), at(P::C1), radii.rMax);
    writeRadius(drawing, at(P::B1), at(P::C2), radii.rMax);
    writeRadius(drawing, at(P::D4), at(P::A1), radii.rMed);
    writeRadius(drawing, at(P::D1), at(P::A1), radii.rMed);
    writeRadius(drawing, at(P::D2), at(P::A2), radii.rMed);
    writeRadius(drawing, at(P::D3), at(P::A2), radii.rMed);

    for (const ArcTableRow& row : arcTable(construction, radii)) {
        writeDxfArc(drawing, dxfLayer::arcs.name, dxfLayer::arcs.colour, row.centre.x, row.centre.y, row.radius,
                    directionDegrees(row.startFrom, row.startTo), directionDegrees(row.endFrom, row.endTo));
    }
}
