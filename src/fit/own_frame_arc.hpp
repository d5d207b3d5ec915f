#pragma once
/// The arc of a point decided in the oval's own frame (the point taken relative to the centre and
/// turned back by the rotation), and its deviation from that arc: where the drawing lies and how it
/// is turned do not matter.

#include <cmath>
#include <cstdint>
#include <vector>

#include "base/real80.hpp"
#include "base/records.hpp"
#include "model/oval_construction.hpp"

/// The three kinds of arc; by symmetry a point folded into the first quadrant of the oval's own
/// frame meets one of each: the end arc about A1, the intermediate arc about D4, the top arc about B2.
enum class ArcKind { End, Intermediate, TopOrBottom };

/// The construction seen from the first quadrant of its own frame: A1 = (a, 0), B2 = (0, -b),
/// C1 = (c, 0), D4 = (dx, -dy); radii rMin = AE, rMed = AE + stepMed, rMax = rMed + stepMax.
template <typename T>
struct QuadrantOval {
    T a, b, c, dx, dy, stepMed, stepMax;
};

/// The construction from OA, OB and the two fractions that place C and D: OC = a * cFraction
/// (C between O and A1) and DC = dFraction * |C1 B1| (D between C1 and B1). The fit works in these,
/// so that every trial oval keeps C and D on their segments.
template <typename T>
QuadrantOval<T> quadrantOvalOf(const T& a, const T& b, const T& cFraction, const T& dFraction) {
    using std::sqrt;
    QuadrantOval<T> o;
    o.a = a;
    o.b = b;
    o.c = a * cFraction;
    o.dx = o.c * (1.0 - dFraction);
    o.dy = dFraction * b;
    o.stepMed = sqrt((a - o.dx) * (a - o.dx) + o.dy * o.dy);
    o.stepMax = (1.0 - dFraction) * sqrt(o.c * o.c + b * b);
    return o;
}

/// The arc of a point (qx, qy) of the first quadrant: the end arc beyond the line from D4 through
/// A1, the top arc beyond the line from B2 through C1 (which passes through D4), the intermediate
/// arc between them. These lines are the normals at the junctions, so for a point near the oval the
/// arc's deviation is the point's distance from the oval.
template <typename T>
ArcKind arcKindAt(const QuadrantOval<T>& o, const T& qx, const T& qy) {
    if ((o.a - o.dx) * (qy + o.dy) - o.dy * (qx - o.dx) <= 0) return ArcKind::End;
    if (o.c * (qy + o.b) - o.b * qx <= 0) return ArcKind::Intermediate;
    return ArcKind::TopOrBottom;
}

/// Centre of an arc in the first quadrant, and what its radius adds to AE.
template <typename T>
struct QuadrantArc {
    T centreX, centreY, radiusOverAe;
};

template <typename T>
QuadrantArc<T> quadrantArc(const QuadrantOval<T>& o, ArcKind kind) {
    switch (kind) {
        case ArcKind::End: return {o.a, T(0), T(0)};
        case ArcKind::Intermediate: return {o.dx, -o.dy, o.stepMed};
        case ArcKind::TopOrBottom: break;
    }
    return {T(0), -o.b, o.stepMed + o.stepMax};
}

/// The construction of the model folded into the first quadrant.
QuadrantOval<Real80> quadrantOvalOf(const OvalConstruction& construction);

/// An oval's own frame: its construction folded into the first quadrant, its centre and the
/// cosine and sine of its rotation.
struct OwnFrame {
    QuadrantOval<Real80> oval{};
    Real80 cx = 0, cy = 0, cosine = 1, sine = 0;
};
OwnFrame ownFrameOf(const OvalConstruction& construction);

/// A point's distance from the centre of its arc, and what that arc's radius adds to AE: its
/// deviation from a curve is distance - (AE + radiusOverAe).
struct ArcDistance {
    Real80 distance = 0, radiusOverAe = 0;
};
ArcDistance arcDistance(const OwnFrame& frame, Real80 x, Real80 y);

/// The own-frame deviation (positive outside) of every point, each curve's root mean square and
/// that of all points.
struct OwnFrameDeviations {
    std::vector<std::vector<Real80>> byCurve;
    std::vector<Real80> curveRms;  // 0 for a curve without points
    Real80 rms = 0;                // 0 when there is no point
};

/// The deviations of every point of `curves` from the ovals of `coefficients` (rotation in radians).
OwnFrameDeviations ownFrameDeviations(const CoefficientVector& coefficients, const CurveStore& curves);
