#pragma once
/// Whether an oval is out of all proportion to the points it was fitted to: a length of it, or
/// its centre's distance from the middle of the points, far beyond the points' size.

#include <cstddef>
#include <string>
#include <vector>

#include "base/real80.hpp"
#include "base/records.hpp"

/// How many times the size of the points a length of the fitted oval may reach before the oval
/// is taken for a runaway: the lengths of an oval through the points (OA, OB, OC, DC, the radii
/// AE) and the distance of its centre from the points are at most a few times their size.
inline constexpr Real80 proportionLimit = 10;

/// What is out of proportion, and to what.
struct OutOfProportion {
    Real80 span = 0;                 // the points' size: the larger side of the box that holds them
    std::vector<std::string> named;  // the first few, "OA = 1234.5"
    std::size_t count = 0;           // all of them; none when the oval is in proportion
};

/// The lengths of `c` (OA, OB, OC, DC, each AE), and its centre's distance from the middle of
/// the points (per coordinate), that are more than proportionLimit times the points' size. None
/// when the points all lie in one place. Halves are compared so that no sum or difference can
/// overflow.
OutOfProportion outOfProportion(const CurveStore& curves, const CoefficientVector& c);

/// "the fitted oval is out of all proportion to the points, which span S: OA = ..., ... (a
/// length, or a distance of the centre from the middle of the points, more than 10 times the span)".
std::string outOfProportionSentence(const OutOfProportion& found);
