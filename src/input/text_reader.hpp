#pragma once
/// Reads one curve from a plain list of coordinates: a count, then one X Y pair per line.

#include <optional>
#include <string>
#include <string_view>

#include "base/input_problem.hpp"
#include "base/records.hpp"

/// Fills curve 1 of `store` from the file `name`. A file that holds fewer pairs than it
/// declares, or no point at all, gives back a problem whose sentence gives the numbers.
[[nodiscard]] std::optional<InputProblem> readTextPoints(const std::string& name, CurveStore& store);

/// The same on the bytes of a point list; `name` is used in messages only.
[[nodiscard]] std::optional<InputProblem> readTextPointsFromText(std::string_view bytes, const std::string& name,
                                                                 CurveStore& store);
