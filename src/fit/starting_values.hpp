#pragma once
/// Starting values of the oval from the points alone: a direct least-squares ellipse through each
/// ring, and from the ellipses the centre, the rotation, the construction and each ring's AE.

#include <cstdint>
#include <optional>
#include <vector>

#include "base/records.hpp"

/// The ellipse through one ring: centre, semi-axes and the direction of the major axis (radians,
/// counter-clockwise from the X axis).
struct RingEllipse {
    double centreX = 0, centreY = 0;
    double semiMajor = 0, semiMinor = 0;
    double direction = 0;
};

/// Fewer points than this fit no ellipse.
inline constexpr std::int32_t minPointsForEllipse = 5;

/// The direct least-squares ellipse of a curve's points (taken about their mean and scaled to unit
/// size, so that the normal equations stay well conditioned wherever the drawing lies). None when
/// the curve has too few points or they fit no ellipse (a line, a hyperbola).
std::optional<RingEllipse> fitRingEllipse(const Curve& curve);

/// The best AE of curve j for a given construction, centre and rotation: the arc of each point does
/// not depend on AE, so the deviations are linear in it and their mean square is least at this AE
/// (never below 0). 0 for a curve without points.
Real80 bestRadiusForCurve(const CoefficientVector& coefficients, const Curve& curve);

/// Proper ovals (rotation in radians) with the centre, the major direction and the mean semi-axes
/// of the rings' ellipses (point-weighted, over the rings that have one), each ring's AE its best
/// radius. The first takes the ellipse's curvature radii at its vertices and at 45 degrees; the
/// others span end and top radii from nearly pointed to nearly flat, for ovals unlike an ellipse,
/// and for a nearly circular drawing the major axis across as well. Empty when no ring yields an
/// ellipse.
std::vector<CoefficientVector> startingCandidates(const CurveStore& curves);

/// The starting values of the fit and how they were found.
struct AutomaticStart {
    CoefficientVector coefficients;  // rotation in radians
    std::int32_t trials = 0;         // candidate ovals refined
    std::int64_t samplePoints = 0;   // the points they were refined on
};

/// The starting values of the fit: the candidates refined briefly on at most about
/// screeningPointCount points of the drawing, the best few until they converge, then again about
/// the best result; the one that fits best, with each ring's AE the best for all its points. None
/// when no ring yields an ellipse.
inline constexpr std::int64_t screeningPointCount = 600;
std::optional<AutomaticStart> startingValues(const CurveStore& curves);
