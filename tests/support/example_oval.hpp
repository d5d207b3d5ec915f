#pragma once
// The oval used throughout the model's tests: OA 10, OB 6, OC 8, DC 5, one curve with AE 2,
// centre (0, 0), no rotation. Its construction has m = 10, D1 = (4, 3), stepMed = sqrt(45)
// and stepMax = 5.

#include <initializer_list>

#include "base/records.hpp"

namespace example {

inline constexpr Real80 sqrt45 = 6.708203932499369089227521L;
inline constexpr Real80 rMed = 8.708203932499369089227521L;   // 2 + sqrt(45)
inline constexpr Real80 rMax = 13.70820393249936908922752L;   // rMed + 5

/// The coefficient vector: OA, OB, centre, rotation, OC, DC, then one AE per curve.
inline CoefficientVector ovalCoefficients(Real80 cx = 0, Real80 cy = 0, Real80 theta = 0,
                                          std::initializer_list<Real80> ae = {2.0L}) {
    CoefficientVector v;
    v.values = {10.0L, 6.0L, cx, cy, theta, 8.0L, 5.0L};
    v.values.insert(v.values.end(), ae.begin(), ae.end());
    return v;
}

}  // namespace example
