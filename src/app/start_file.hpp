#pragma once
/// The starting values of `kelmar fit --start` taken from a coefficient file such as kelmar.coe.

#include <string>

#include "base/real80.hpp"
#include "input/coefficient_file.hpp"

/// True when the text given to --start names a file that exists, rather than listing values.
bool namesStartFile(const std::string& text);

/// Reads the coefficient file `name` given to --start, in its own order (OA, OB, X, Y, the
/// rotation in degrees, OC, DC, one AE per ring). The run ends with 65 and a sentence when the
/// file cannot be read or used: not a coefficient file, fewer values than its count, or a value
/// beyond `largest`.
LoadedCoefficients readStartFile(const std::string& name, Real80 largest);
