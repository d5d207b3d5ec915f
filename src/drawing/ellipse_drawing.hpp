#pragma once
/// The drawing of a fitted ellipse in primitives: for the first ring its two axes, then each ring's
/// outline as a closed run of straight lines on the arcs layer (a DXF reader and a GIS take lines
/// as they are; an ellipse has no arcs).

#include <cstddef>

#include "drawing/drawing_entities.hpp"
#include "model/curve_model.hpp"

/// No line of an ellipse's outline strays from the ellipse by more than this share of its
/// semi-major axis: a hundred-thousandth, below what a plan's points resolve.
inline constexpr double ellipseOutlineTolerance = 1e-5;
/// Lines per ring at least and at most, whatever the tolerance asks.
inline constexpr int fewestEllipseLines = 64;
inline constexpr int mostEllipseLines = 16384;

/// The lines of ring `ring` (from 0) of the ellipses `parameters` (EllipseModel's) that keep each
/// within `tolerance` (a share of the semi-major axis) of the ellipse.
int ellipseLineCount(const CurveParameters& parameters, std::size_t ring, double tolerance = ellipseOutlineTolerance);

/// Draws ring `ring` (from 0): the axes first when isFirstRing (each as long as the ring's own),
/// then its outline.
void drawEllipseRing(const CurveParameters& parameters, std::size_t ring, bool isFirstRing, const DrawingSink& draw);
