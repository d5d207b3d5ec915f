#pragma once
/// The drawing of a fitted oval in primitives: its arcs and the radii to their junctions, and
/// for the first curve the axes and the construction triangles.

#include <cstdint>

#include "base/records.hpp"
#include "drawing/drawing_entities.hpp"

/// Draws curve j of `coefficients` (rotation in radians): the axes and the construction
/// triangles first when isFirstCurve, then the eight radii and the eight arcs.
void drawOvalCurve(const CoefficientVector& coefficients, std::int32_t j, bool isFirstCurve, const DrawingSink& draw);
