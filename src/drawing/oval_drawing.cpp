#include "drawing/oval_drawing.hpp"

#include "base/constants.hpp"
#include "model/oval_construction.hpp"
#include "model/primitives.hpp"

namespace {

Real80 directionDegrees(const PlanePoint& from, const PlanePoint& to) {
    return directionAngle(from.x, from.y, to.x, to.y) * constant::degreesPerRadian;
}

/// A radius line from centre p toward q, of length r.
DrawnLine radiusLine(const PlanePoint& p, const PlanePoint& q, Real80 r) {
    PlanePoint end;
    pointAlong(p.x, p.y, q.x, q.y, r, end.x, end.y);
    return {Layer::Radii, p, end};
}

}  // namespace

void drawOvalCurve(const CoefficientVector& coefficients, std::int32_t j, bool isFirstCurve, const DrawingSink& draw) {
    using P = ConstructionPoint;
    const OvalConstruction construction = buildOvalConstruction(coefficients);
    const ArcRadii radii = arcRadii(construction, coefficients.coef(coefficient::ae(j)));
    const SemiAxes axes = semiAxes(construction, radii.rMin, radii.rMax);
    const PlanePoint e1 = placePoint(construction, axes.semiMajor, 0);
    const PlanePoint f1 = placePoint(construction, 0, axes.semiMinor);
    const PlanePoint e2 = placePoint(construction, -axes.semiMajor, 0);
    const PlanePoint f2 = placePoint(construction, 0, -axes.semiMinor);
    auto at = [&construction](P p) -> const PlanePoint& { return construction.placedPoint(p); };

    if (isFirstCurve) {
        draw(DrawnLine{Layer::Axes, e1, e2});
        draw(DrawnLine{Layer::Axes, f1, f2});

        draw(DrawnLine{Layer::Triangles, at(P::B2), at(P::C1)});
        draw(DrawnLine{Layer::Triangles, at(P::B1), at(P::C1)});
        draw(DrawnLine{Layer::Triangles, at(P::B1), at(P::C2)});
        draw(DrawnLine{Layer::Triangles, at(P::B2), at(P::C2)});
        draw(DrawnLine{Layer::Triangles, at(P::D4), at(P::A1)});
        draw(DrawnLine{Layer::Triangles, at(P::D1), at(P::A1)});
        draw(DrawnLine{Layer::Triangles, at(P::D2), at(P::A2)});
        draw(DrawnLine{Layer::Triangles, at(P::D3), at(P::A2)});
    }

    draw(radiusLine(at(P::B2), at(P::C1), radii.rMax));
    draw(radiusLine(at(P::B2), at(P::C2), radii.rMax));
    draw(radiusLine(at(P::B1), at(P::C1), radii.rMax));
    draw(radiusLine(at(P::B1), at(P::C2), radii.rMax));
    draw(radiusLine(at(P::D4), at(P::A1), radii.rMed));
    draw(radiusLine(at(P::D1), at(P::A1), radii.rMed));
    draw(radiusLine(at(P::D2), at(P::A2), radii.rMed));
    draw(radiusLine(at(P::D3), at(P::A2), radii.rMed));

    for (const ArcTableRow& row : arcTable(construction, radii)) {
        draw(DrawnArc{Layer::Arcs, row.centre, row.radius, directionDegrees(row.startFrom, row.startTo),
                      directionDegrees(row.endFrom, row.endTo)});
    }
}
