#pragma once
/// Rings that do not look like rings of the same plan as the others: far fewer points, their
/// own ellipse far from the common centre or none at all, a span of a few degrees about it.

#include <cstdint>
#include <string>
#include <vector>

#include "base/records.hpp"

/// A ring in doubt and why, as the end of a sentence ("it has 4 points where the others have 60").
struct RingDoubt {
    std::int32_t ring = 0;  // counted from 1
    std::string why;
};

/// A ring with fewer points than the others' median divided by this is in doubt.
inline constexpr double fewPointsFactor = 4;
/// A ring whose ellipse centre lies further from the common centre than this share of the
/// rings' median semi-major axis is in doubt.
inline constexpr double farCentreShare = 0.25;
/// A ring that spans fewer degrees than this about the common centre is in doubt.
inline constexpr double narrowSpanDegrees = 20;

/// The rings in doubt, in ring order; none for a plan of one ring.
std::vector<RingDoubt> doubtfulRings(const CurveStore& curves);
