#pragma once
/// Reads one curve from a plain list of coordinates: a count, then one X Y pair per line.

#include <string>
#include <string_view>

#include "base/records.hpp"

/// Fills curve 1 of `store` from the file `name`. A file that holds fewer pairs than it
/// declares, or no point at all, ends the run with a sentence that gives the numbers.
void readTextPoints(const std::string& name, CurveStore& store);

/// The same on the bytes of a point list; `name` is used in messages only.
void readTextPointsFromText(std::string_view bytes, const std::string& name, CurveStore& store);
