#pragma once
/// The drawing of a fitted oval: its arcs and the radii to their junctions, and for the first
/// curve the axes and the construction triangles.

#include <cstdint>

#include "main/real80.hpp"
#include "main/run_state.hpp"

/// The point at distance `length` from (x1, y1) toward (x2, y2); (x1, y1) itself when the
/// length or the distance between the two points vanishes.
void pointAlong(Real80 x1, Real80 y1, Real80 x2, Real80 y2, Real80 length, Real80& x, Real80& y);

/// Direction of the vector from (x1, y1) to (x2, y2) in radians, in [0, 2 pi); 0 for a zero vector.
Real80 directionAngle(Real80 x1, Real80 y1, Real80 x2, Real80 y2);

/// Appends curve j's radii and arcs to run.drawing, preceded for the first curve by the axes
/// and the construction triangles that all curves share.
void drawOvalCurve(RunState& run, std::int32_t j, bool isFirstCurve);
