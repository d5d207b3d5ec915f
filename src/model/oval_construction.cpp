#include "model/oval_construction.hpp"

#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

#include "base/constants.hpp"
#include "base/run_error.hpp"

namespace {

using P = ConstructionPoint;

PlanePoint& at(std::array<PlanePoint, 10>& points, ConstructionPoint p) {
    return points[static_cast<int>(p)];
}

/// The length of C1-B1, 0 when it vanishes.
Real80 cbLengthOf(Real80 b, Real80 c) { return pointDistance(c, 0.0L, 0.0L, b); }

}  // namespace

std::optional<InputProblem> constructionCollapse(const CoefficientVector& coefficients) {
    const Real80 b = std::fabs(coefficients.coef(coefficient::ob));
    const Real80 c = std::fabs(coefficients.coef(coefficient::oc));
    if (cbLengthOf(b, c) != 0.0L) return std::nullopt;
    return InputProblem{exitStatus::dataError,
                        "OB and OC are both (nearly) zero, so the construction of the oval collapses "
                        "(the segment from C1 to B1 has no length); start again with other values "
                        "for OB and OC."};
}

OvalConstruction buildOvalConstruction(const CoefficientVector& coefficients) {
    OvalConstruction k;
    const Real80 a = std::fabs(coefficients.coef(coefficient::oa));
    const Real80 b = std::fabs(coefficients.coef(coefficient::ob));
    const Real80 c = std::fabs(coefficients.coef(coefficient::oc));
    const Real80 d = std::fabs(coefficients.coef(coefficient::dc));
    k.oa = a;
    k.ob = b;
    k.oc = c;
    k.dc = d;
    k.cx = coefficients.coef(coefficient::centreX);
    k.cy = coefficients.coef(coefficient::centreY);
    k.theta = coefficients.coef(coefficient::rotation);

    at(k.local, P::A1) = {a, 0.0L};
    at(k.local, P::B1) = {0.0L, b};
    at(k.local, P::A2) = {-a, 0.0L};
    at(k.local, P::B2) = {0.0L, -b};
    at(k.local, P::C1) = {c, 0.0L};
    at(k.local, P::C2) = {-c, 0.0L};

    const Real80 m = cbLengthOf(b, c);
    k.cbLength = m;
    // A collapsed construction puts D on C1: nothing may divide by its vanished length.
    const Real80 dx = m == 0.0L ? c : c - (d * c) / m;
    const Real80 dy = m == 0.0L ? 0.0L : (d * b) / m;
    at(k.local, P::D1) = {dx, dy};
    at(k.local, P::D2) = {-dx, dy};
    at(k.local, P::D3) = {-dx, -dy};
    at(k.local, P::D4) = {dx, -dy};

    k.stepMax = pointDistance(0.0L, -b, dx, -dy);
    k.stepMed = pointDistance(a, 0.0L, dx, -dy);

    for (std::size_t i = 0; i < k.local.size(); ++i) {
        k.placed[i] = placePoint(k, k.local[i].x, k.local[i].y);
    }
    return k;
}

ArcRadii arcRadii(const OvalConstruction& construction, Real80 ae) {
    ArcRadii radii;
    radii.rMin = std::fabs(ae);
    radii.rMed = radii.rMin + construction.stepMed;
    radii.rMax = radii.rMed + construction.stepMax;
    return radii;
}

SemiAxes semiAxes(const OvalConstruction& construction, Real80 rMin, Real80 rMax) {
    return SemiAxes{construction.oa + rMin, rMax - construction.ob};
}

PlanePoint placePoint(const OvalConstruction& construction, Real80 x, Real80 y) {
    Real80 xr = 0.0L;
    Real80 yr = 0.0L;
    rotatePoint(x, y, construction.theta, xr, yr);
    return PlanePoint{xr + construction.cx, yr + construction.cy};
}

std::array<ArcTableRow, 8> arcTable(const OvalConstruction& k, const ArcRadii& radii) {
    auto row = [&k](OvalArc arc, P centre, Real80 radius, P startFrom, P startTo, P endFrom, P endTo) {
        return ArcTableRow{arc,
                           k.placedPoint(centre),
                           radius,
                           k.placedPoint(startFrom),
                           k.placedPoint(startTo),
                           k.placedPoint(endFrom),
                           k.placedPoint(endTo)};
    };
    return {
        row(OvalArc::Top, P::B2, radii.rMax, P::B2, P::C1, P::B2, P::C2),
        row(OvalArc::UpperLeft, P::D3, radii.rMed, P::D3, P::C2, P::D3, P::A2),
        row(OvalArc::LeftEnd, P::A2, radii.rMin, P::D3, P::A2, P::D2, P::A2),
        row(OvalArc::LowerLeft, P::D2, radii.rMed, P::D2, P::A2, P::D2, P::C2),
        row(OvalArc::Bottom, P::B1, radii.rMax, P::B1, P::C2, P::B1, P::C1),
        row(OvalArc::LowerRight, P::D1, radii.rMed, P::D1, P::C1, P::D1, P::A1),
        row(OvalArc::RightEnd, P::A1, radii.rMin, P::D1, P::A1, P::D4, P::A1),
        row(OvalArc::UpperRight, P::D4, radii.rMed, P::D4, P::A1, P::D4, P::C1),
    };
}

namespace {

/// The counter-clockwise sweep from one direction to another, in [0, 2 pi).
Real80 sweepBetween(Real80 start, Real80 end) {
    const Real80 sweep = end - start;
    return sweep < 0 ? sweep + constant::twoPi : sweep;
}

std::string lengthText(Real80 value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6Lg", value);
    return text;
}


// A proper oval's sweeps add to one turn up to this much rounding; an improper one's to two or
// more. An arc whose sweep lies this near none (or a whole turn) sweeps none.
constexpr Real80 sweepTolerance = 1e-6L;

/// The sweep of each arc of the table, in the order of OvalArc.
std::array<Real80, 8> arcSweeps(const OvalConstruction& k) {
    std::array<Real80, 8> sweeps{};
    const std::array<ArcTableRow, 8> rows = arcTable(k, ArcRadii{});
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const ArcTableRow& row = rows[i];
        sweeps[i] = sweepBetween(directionAngle(row.startFrom.x, row.startFrom.y, row.startTo.x, row.startTo.y),
                                 directionAngle(row.endFrom.x, row.endFrom.y, row.endTo.x, row.endTo.y));
    }
    return sweeps;
}

bool sweepsNone(Real80 sweep) { return sweep < sweepTolerance || sweep > constant::twoPi - sweepTolerance; }

/// The construction in its own frame: placed where its local points are.
OvalConstruction ownFrameOf(const OvalConstruction& k) {
    OvalConstruction own = k;
    own.placed = own.local;
    own.theta = own.cx = own.cy = 0;
    return own;
}

/// The arcs that sweep no angle, named, with the verb ("the top and bottom arcs sweep").
std::string arcsWithoutSweep(const OvalConstruction& k) {
    static constexpr std::array<const char*, 8> names{"top",        "upper left",  "left end",   "lower left",
                                                      "bottom",     "lower right", "right end",  "upper right"};
    const std::array<Real80, 8> sweeps = arcSweeps(ownFrameOf(k));
    std::vector<const char*> found;
    for (std::size_t i = 0; i < sweeps.size(); ++i) {
        if (sweepsNone(sweeps[i])) found.push_back(names[i]);
    }
    std::string text = "the ";
    for (std::size_t i = 0; i < found.size(); ++i) {
        text += i == 0 ? "" : (i + 1 == found.size() ? " and " : ", ");
        text += found[i];
    }
    return text + (found.size() == 1 ? " arc sweeps" : " arcs sweep");
}

}  // namespace

ConstructionFault constructionFault(const OvalConstruction& k) {
    if (!(k.dc < k.cbLength)) return ConstructionFault::DcNotShorterThanCb;
    if (!(k.oc < k.oa)) return ConstructionFault::OcNotShorterThanOa;
    Real80 turn = 0;
    for (const Real80 sweep : arcSweeps(k)) turn += sweep;
    if (!(std::fabs(turn - constant::twoPi) < sweepTolerance)) return ConstructionFault::SweepsNotOneTurn;
    return ConstructionFault::None;
}

ConstructionFault ownFrameConstructionFault(const OvalConstruction& construction) {
    const OvalConstruction k = ownFrameOf(construction);
    if (!(k.dc < k.cbLength)) return ConstructionFault::DcNotShorterThanCb;
    if (!(k.oc < k.oa)) return ConstructionFault::OcNotShorterThanOa;
    const std::array<Real80, 8> sweeps = arcSweeps(k);
    Real80 turn = 0;
    for (const Real80 sweep : sweeps) {
        if (sweepsNone(sweep)) return ConstructionFault::ArcWithoutSweep;
        turn += sweep;
    }
    if (!(std::fabs(turn - constant::twoPi) < sweepTolerance)) return ConstructionFault::SweepsNotOneTurn;
    return ConstructionFault::None;
}

std::string describeConstructionFault(const OvalConstruction& k, ConstructionFault fault) {
    switch (fault) {
        case ConstructionFault::DcNotShorterThanCb:
            return "DC (" + lengthText(k.dc) + ") is not shorter than C1B1 (" + lengthText(k.cbLength) +
                   "), so the centres D lie beyond B";
        case ConstructionFault::OcNotShorterThanOa:
            return "OC (" + lengthText(k.oc) + ") is not shorter than OA (" + lengthText(k.oa) +
                   "), so the end arcs turn inside out";
        case ConstructionFault::SweepsNotOneTurn:
            return "the eight arcs do not go once round the oval (some sweep the long way)";
        case ConstructionFault::ArcWithoutSweep:
            return arcsWithoutSweep(k) + " no angle (OC " + lengthText(k.oc) + ", DC " + lengthText(k.dc) +
                   "), so the oval has fewer than eight arcs";
        case ConstructionFault::None: break;
    }
    return "the construction is a proper oval";
}
