#pragma once
/// The sector test that gives each point its arc, the deviation of a point from its arc, and
/// the residual that the fit minimises.

#include <array>

#include "base/real80.hpp"
#include "base/records.hpp"
#include "model/oval_construction.hpp"
#include "model/primitives.hpp"

/// The eight dividing lines, in the order B2->C1, B2->C2, B1->C2, B1->C1, D3->A2, D2->A2,
/// D1->A1, D4->A1.
struct SectorLines {
    std::array<LineEquation, 8> lines{};
};

/// The residual's sector test and the points listing's differ in rows 2, 4 and 6.
enum class SectorTestVariant { FitVariant, ListingVariant };

/// A point's arc and its signed deviation (positive outside the oval).
struct PointDeviation {
    OvalArc arc = OvalArc::Top;
    Real80 deviation = 0;
};

SectorLines buildSectorLines(const OvalConstruction& construction);

/// The arc of a point with stored coordinates (x, y).
OvalArc assignArc(const SectorLines& lines, Real80 x, Real80 y, SectorTestVariant variant);

/// The point's arc and its distance from that arc's centre minus the arc's radius.
PointDeviation pointDeviation(const OvalConstruction& construction, const SectorLines& lines,
                              const ArcRadii& radii, Real80 x, Real80 y, SectorTestVariant variant);

/// Root mean square deviation of every point of every curve; needs totalPointCount > 0.
Real80 ovalResidual(const CoefficientVector& coefficients, const CurveStore& curves);
