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

/// A start refined on all the points until it converged, and its rms.
struct RefinedStart {
    CoefficientVector coefficients;  // rotation in radians
    Real80 rms = 0;
};

/// The starting values of the fit and how they were found.
struct AutomaticStart {
    CoefficientVector coefficients;  // rotation in radians
    std::int32_t trials = 0;         // candidate ovals refined
    std::int64_t samplePoints = 0;   // the points they were refined on
    /// Partial rings only: the best end of the other starts kept to the end, when one ends
    /// elsewhere than the chosen start.
    std::optional<RefinedStart> runnerUp;
};

/// The starting values of the fit: the candidates refined briefly on at most about
/// screeningPointCount points of the drawing, the best few until they converge, then again about
/// the best result; the one that fits best, with each ring's AE the best for all its points. When
/// a ring's points cover less than about half of it, a wider search (widerStarts) decides among
/// several starts refined on all the points. None when no ring yields an ellipse.
inline constexpr std::int64_t screeningPointCount = 600;
std::optional<AutomaticStart> startingValues(const CurveStore& curves);

/// The ellipses of one rotation each (radians, across half a turn) that fit the rings best as
/// concentric ellipses of one shape, best first: for each rotation the ratio of the semi-axes that
/// fits best, the centre and each ring's size by linear least squares.
std::vector<RingEllipse> ellipsesByRotation(const CurveStore& curves, std::int32_t rotations);

/// The ellipse that a ring's own curvature suggests: its most and its least curved thirds taken for
/// arcs about the ends of the axes (the first's centre on the major axis, the second's on the
/// minor), their radii the end and top radii. None when the ring has too few points or bends
/// evenly.
struct CurvatureStart {
    RingEllipse ellipse;
    double endRadius = 0, topRadius = 0;
};
std::optional<CurvatureStart> curvatureStart(const Curve& curve);

/// The wider search for rings of which less than about half is seen: candidates about the ellipses
/// of every rotation and of each ring's curvature besides `found`, refined briefly on `sample`, the
/// best few until they converge, then the best of those refined on all the points of `curves`; the
/// start whose end fits best, and the best end of the others that lies elsewhere.
AutomaticStart widerStarts(const CurveStore& curves, const CurveStore& sample, const CoefficientVector& found);
