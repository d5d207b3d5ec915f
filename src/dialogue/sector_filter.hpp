#pragma once
/// The residual's sector test decided in double precision: each side-of-line test is taken
/// from the double value of a*x + b*y + c when that value lies beyond a proven bound on its
/// error, and is left undecided otherwise, for the extended test to settle. Every arc it
/// gives is the arc assignArc gives with FitVariant.

#include <array>
#include <cstdint>

#include "base/real80.hpp"
#include "dialogue/residual.hpp"
#include "model/oval_construction.hpp"

/// Coordinates beyond this magnitude (and lines whose c is) are never filtered: their double
/// products could overflow, which the program treats as a fault.
inline constexpr Real80 filterCoordinateLimit = 1e150L;

/// The eight sector lines in double precision, with the distance from zero beyond which the
/// sign of a double side value is the sign of the extended one.
struct SectorFilter {
    bool usable = false;  // false: every point takes the extended sector test
    alignas(16) std::array<double, 8> a{}, b{}, c{}, bound{};
};

/// The filter of one set of lines, for points whose |x| and |y| are at most maxAbsX and
/// maxAbsY. Unusable when a magnitude exceeds filterCoordinateLimit or is not a number.
SectorFilter buildSectorFilter(const SectorLines& lines, Real80 maxAbsX, Real80 maxAbsY);

/// The signs of the stored coordinates that the rows of the sector test look at, as a number
/// 0..8 (3 * sign class of x + sign class of y, each 0 negative, 1 zero, 2 positive).
std::uint8_t coordinateSigns(Real80 x, Real80 y);

/// The arcs of the FitVariant sector test, by coordinate signs and by the mask of the lines
/// (bit i for line i of SectorLines) that the point is right of. Built from assignArc itself.
using SectorArcTable = std::array<std::array<OvalArc, 256>, 9>;
const SectorArcTable& fitSectorArcTable();

/// The mask of lines the point (x, y) is right of, or -1 when a test is too close to call.
/// x and y are the stored coordinates converted to double.
int certainRightMask(const SectorFilter& filter, double x, double y);

/// The arcs of `count` points whose stored coordinates, converted to double, are x[n], y[n]
/// and whose coordinateSigns are signs[n]: arcs[n] is the arc assignArc gives with FitVariant,
/// or 0 when one of the point's side tests is too close to call in double. Needs a usable
/// filter.
void certainArcs(const SectorFilter& filter, const double* x, const double* y, const std::uint8_t* signs,
                 std::size_t count, std::uint8_t* arcs);
