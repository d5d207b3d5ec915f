#pragma once
/// The deviation of every point from the dialogue's oval, each point on its arc decided in the
/// oval's own frame (the point taken relative to the centre and turned back by the rotation): where
/// the drawing lies and how it is turned do not matter. The arc of a point is the eight-centre
/// model's (model/eight_centre_model.hpp).

#include <cmath>
#include <cstdint>
#include <vector>

#include "base/real80.hpp"
#include "base/records.hpp"
#include "model/eight_centre_model.hpp"
#include "model/oval_construction.hpp"

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
