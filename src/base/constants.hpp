#pragma once
/// The named constants of the geometry, each defined once: pi and its multiples, degrees per
/// radian, and the guard below which two points count as one.

#include "base/real80.hpp"

namespace constant {
/// The extended reals nearest to pi, pi/2, 3 pi/2, 2 pi and 180/pi. pi has the significand
/// C90FDAA22168C235; pi/2 and 2 pi are it scaled by a power of two, 3 pi/2 is rounded anew.
inline constexpr Real80 pi = 0xC.90FDAA22168C235p-2L;
inline constexpr Real80 halfPi = 1.57079632679489661923132169163975144L;
inline constexpr Real80 threeHalvesPi = 4.71238898038468985769396507491925433L;
inline constexpr Real80 twoPi = 6.28318530717958647692528676655900577L;
inline constexpr Real80 degreesPerRadian = 57.295779513082320877L;
static_assert(pi == 3.14159265358979323846264338327950288L && halfPi == pi / 2 && twoPi == 2 * pi);

/// Two points whose squared distance is at most this are one point: their distance is exactly 0.
inline constexpr Real80 coincidentSquaredDistance = 1e-20L;
}  // namespace constant
