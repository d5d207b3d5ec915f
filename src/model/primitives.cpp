#include "model/primitives.hpp"

#include <cmath>

#include "base/constants.hpp"

namespace {
// Squared lengths below this give no line: the normalising division would blow up.
constexpr Real80 vanishingSquaredLength = 1e-50L;
// Below this a length, or the distance that gives a direction, counts as vanished.
constexpr Real80 vanishingLength = 1e-10L;
}  // namespace

Real80 pointDistance(Real80 x1, Real80 y1, Real80 x2, Real80 y2) {
    const Real80 s = (x2 - x1) * (x2 - x1) + (y2 - y1) * (y2 - y1);
    if (s <= constant::coincidentSquaredDistance) return 0.0L;
    return std::sqrt(s);
}

void rotatePoint(Real80 x, Real80 y, Real80 angle, Real80& xr, Real80& yr) {
    const Real80 cosine = std::cos(angle);
    const Real80 sine = std::sin(angle);
    xr = x * cosine + y * sine;
    yr = y * cosine - x * sine;
}

void lineThroughPoints(Real80 x1, Real80 y1, Real80 x2, Real80 y2, Real80& a, Real80& b, Real80& c) {
    const Real80 dx = x2 - x1;
    const Real80 dy = y2 - y1;
    const Real80 s = dx * dx + dy * dy;
    if (s < vanishingSquaredLength) {
        a = 0.0L;
        b = 0.0L;
        c = 0.0L;
        return;
    }
    const Real80 k = 1.0L / std::sqrt(s);
    a = -dy * k;
    b = dx * k;
    c = (x1 * y2 - x2 * y1) * k;
}

bool isRightOfLine(const LineEquation& line, Real80 x, Real80 y) {
    const Real80 v = (line.a * x + line.b * y) + line.c;
    return v < 0.0L;
}

void pointAlong(Real80 x1, Real80 y1, Real80 x2, Real80 y2, Real80 length, Real80& x, Real80& y) {
    const Real80 dx = x2 - x1;
    const Real80 dy = y2 - y1;
    const Real80 s = std::sqrt(dx * dx + dy * dy);
    // A length of exactly the threshold counts as zero, a distance of exactly it does not.
    if (std::fabs(length) <= vanishingLength || s < vanishingLength) {
        x = x1;
        y = y1;
        return;
    }
    x = (dx * length) / s + x1;
    y = (dy * length) / s + y1;
}

Real80 directionAngle(Real80 x1, Real80 y1, Real80 x2, Real80 y2) {
    const Real80 dx = x2 - x1;
    const Real80 dy = y2 - y1;
    if (dx >= 0 && dy == 0) {
        return 0;
    }
    if (dx == 0) {
        return dy > 0 ? constant::halfPi : constant::threeHalvesPi;
    }
    const Real80 t = std::atan(std::fabs(dy) / std::fabs(dx));
    if (dx > 0) {
        return dy > 0 ? t : constant::twoPi - t;
    }
    return dy >= 0 ? constant::pi - t : constant::pi + t;
}
