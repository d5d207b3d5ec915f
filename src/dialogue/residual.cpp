#include "dialogue/residual.hpp"

#include <cmath>

namespace {

using P = ConstructionPoint;

// Index of each dividing line in SectorLines.
enum Line { B2C1, B2C2, B1C2, B1C1, D3A2, D2A2, D1A1, D4A1 };

LineEquation lineBetween(const OvalConstruction& k, P from, P to) {
    LineEquation line;
    const PlanePoint& p = k.placedPoint(from);
    const PlanePoint& q = k.placedPoint(to);
    lineThroughPoints(p.x, p.y, q.x, q.y, line.a, line.b, line.c);
    return line;
}

/// The two line tests of one row: the point is not right of `first` and right of `second`.
bool inWedge(const SectorLines& s, Line first, Line second, Real80 x, Real80 y) {
    return !isRightOfLine(s.lines[first], x, y) && isRightOfLine(s.lines[second], x, y);
}

}  // namespace

SectorLines buildSectorLines(const OvalConstruction& k) {
    SectorLines s;
    s.lines[B2C1] = lineBetween(k, P::B2, P::C1);
    s.lines[B2C2] = lineBetween(k, P::B2, P::C2);
    s.lines[B1C2] = lineBetween(k, P::B1, P::C2);
    s.lines[B1C1] = lineBetween(k, P::B1, P::C1);
    s.lines[D3A2] = lineBetween(k, P::D3, P::A2);
    s.lines[D2A2] = lineBetween(k, P::D2, P::A2);
    s.lines[D1A1] = lineBetween(k, P::D1, P::A1);
    s.lines[D4A1] = lineBetween(k, P::D4, P::A1);
    return s;
}

// The coordinate conditions look at the stored coordinates, not at the point relative to
// the oval's centre: kept as designed, so an oval away from the origin loses arcs 2 to 6.
OvalArc assignArc(const SectorLines& s, Real80 x, Real80 y, SectorTestVariant variant) {
    const bool fit = variant == SectorTestVariant::FitVariant;
    if (inWedge(s, B2C1, B2C2, x, y) && y > 0.0L) return OvalArc::Top;
    if (inWedge(s, B2C2, D3A2, x, y) && x < 0.0L && (!fit || y > 0.0L)) return OvalArc::UpperLeft;
    if (inWedge(s, D3A2, D2A2, x, y) && x < 0.0L) return OvalArc::LeftEnd;
    if (inWedge(s, D2A2, B1C2, x, y) && x < 0.0L && (!fit || y < 0.0L)) return OvalArc::LowerLeft;
    if (inWedge(s, B1C2, B1C1, x, y) && y < 0.0L) return OvalArc::Bottom;
    if (inWedge(s, B1C1, D1A1, x, y) && x > 0.0L && (!fit || y < 0.0L)) return OvalArc::LowerRight;
    if (inWedge(s, D1A1, D4A1, x, y) && x > 0.0L) return OvalArc::RightEnd;
    return OvalArc::UpperRight;
}

PointDeviation pointDeviation(const OvalConstruction& k, const SectorLines& lines, const ArcRadii& radii,
                              Real80 x, Real80 y, SectorTestVariant variant) {
    PointDeviation result;
    result.arc = assignArc(lines, x, y, variant);
    P centre = P::D4;
    Real80 radius = radii.rMed;
    switch (result.arc) {
        case OvalArc::Top: centre = P::B2; radius = radii.rMax; break;
        case OvalArc::UpperLeft: centre = P::D3; radius = radii.rMed; break;
        case OvalArc::LeftEnd: centre = P::A2; radius = radii.rMin; break;
        case OvalArc::LowerLeft: centre = P::D2; radius = radii.rMed; break;
        case OvalArc::Bottom: centre = P::B1; radius = radii.rMax; break;
        case OvalArc::LowerRight: centre = P::D1; radius = radii.rMed; break;
        case OvalArc::RightEnd: centre = P::A1; radius = radii.rMin; break;
        case OvalArc::UpperRight: centre = P::D4; radius = radii.rMed; break;
    }
    const PlanePoint& c = k.placedPoint(centre);
    result.deviation = pointDistance(c.x, c.y, x, y) - radius;
    return result;
}

Real80 ovalResidual(const CoefficientVector& coefficients, const CurveStore& curves) {
    Real80 sum = 0.0L;
    const OvalConstruction construction = buildOvalConstruction(coefficients);
    const SectorLines lines = buildSectorLines(construction);
    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
        const ArcRadii radii = arcRadii(construction, coefficients.coef(coefficient::ae(j)));
        const Curve& curve = curves.curves[static_cast<std::size_t>(j - 1)];
        const std::size_t count = curve.x.size();
        for (std::size_t i = 0; i < count; ++i) {
            const Real80 deviation =
                pointDeviation(construction, lines, radii, curve.x[i], curve.y[i], SectorTestVariant::FitVariant)
                    .deviation;
            // This order of the sum fixes the last digits of the residual.
            sum = deviation * deviation + sum;
        }
    }
    return std::sqrt(sum / static_cast<Real80>(curves.totalPointCount));
}
