#pragma once
/// The deviations of one ring's points from its oval, and their derivatives by the fit's
/// variables, in the form the solver asks for.

#include <cstddef>
#include <cstdint>
#include <vector>

/// The shared variables of the fit, in this order: the centre (relative to the fit's origin), the
/// rotation in radians, OA, OB, and the fractions that place C on O A1 and D on C1 B1.
inline constexpr int sharedVariableCount = 7;
namespace variable {
inline constexpr int centreX = 0;
inline constexpr int centreY = 1;
inline constexpr int rotation = 2;
inline constexpr int oa = 3;
inline constexpr int ob = 4;
inline constexpr int cFraction = 5;
inline constexpr int dFraction = 6;
}  // namespace variable

/// The points of curve `curve` (counted from 1), relative to the fit's origin.
struct RingPoints {
    std::int32_t curve = 0;
    std::vector<double> x, y;
};

/// The own-frame deviation of every point of `ring` from the oval of `shared` and `ae` into
/// `deviations`; when the pointers are not null, the derivatives by the shared variables (one row
/// of sharedVariableCount per point) and by AE. False when a value is not finite.
bool evaluateRing(const RingPoints& ring, const double* shared, double ae, double* deviations,
                  double* sharedDerivatives, double* aeDerivatives);

/// The same for points [first, first + count) of the ring only, so that a long ring can be taken
/// a stretch at a time.
bool evaluateRingStretch(const RingPoints& ring, std::size_t first, std::size_t count, const double* shared,
                         double ae, double* deviations, double* sharedDerivatives, double* aeDerivatives);

/// The deviations alone.
std::vector<double> ringDeviations(const RingPoints& ring, const double* shared, double ae);
