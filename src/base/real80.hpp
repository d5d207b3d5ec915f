#pragma once
/// The program's one real type: the x87 80-bit extended real.

#include <limits>

using Real80 = long double;

static_assert(std::numeric_limits<Real80>::digits == 64,
              "kelmar computes in x87 extended precision: long double must have a 64-bit significand");
