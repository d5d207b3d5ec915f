#pragma once
/// Starting values that a few gross slips cannot pull: each ring's points judged against the
/// ellipse most of them agree on, those far from it set aside, and the automatic start found from
/// the rest.

#include <cstdint>
#include <optional>
#include <vector>

#include "base/records.hpp"
#include "fit/starting_values.hpp"

/// Subsets of a ring's points tried for its consensus ellipse.
inline constexpr std::int32_t consensusTrials = 300;

/// The ellipse of a ring that most of its points agree on, and which of its points lie near it.
struct ConsensusEllipse {
    RingEllipse ellipse;
    std::vector<bool> kept;  // per point of the ring
};

/// The distance of (x, y) from the ellipse along the ray from its centre (positive outside):
/// nearly the distance from the ellipse for a point near it, and finite for any point.
Real80 radialDistance(const RingEllipse& ellipse, Real80 x, Real80 y);

/// Of the ellipses through small subsets of the ring's points (drawn by a fixed sequence, so the
/// same points give the same ellipse), the one that leaves the median point nearest; the points
/// within a few robust standard deviations of it are kept and the ellipse is fitted again to
/// them. None when the ring has too few points or no subset yields an ellipse.
std::optional<ConsensusEllipse> consensusRingEllipse(const Curve& curve);

/// The rings with the points far from their consensus ellipse set aside; a ring without one keeps
/// all its points.
CurveStore withoutSlips(const CurveStore& curves);

/// The automatic start found from the points near each ring's consensus ellipse. None when no
/// ring yields an ellipse.
std::optional<AutomaticStart> robustStartingValues(const CurveStore& curves);
