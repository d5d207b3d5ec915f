#pragma once
/// Reads the curves of an ASCII DXF drawing: every POLYLINE after the ENTITIES line is a
/// curve and every VERTEX of it a point; a drawing without POLYLINE entities is read from
/// its LWPOLYLINE entities instead, and one with both from its POLYLINE entities, with a note.

#include <optional>
#include <string>
#include <string_view>

#include "base/input_problem.hpp"
#include "base/records.hpp"

/// Fills `store` from the file `name`. A file that cannot be used (no ENTITIES line, a
/// POLYLINE or VERTEX cut off by the end of the file, a vertex without its X group, no
/// point at all) gives back a problem whose sentence says what is wrong and where.
[[nodiscard]] std::optional<InputProblem> readDxfPolylines(const std::string& name, CurveStore& store);

/// The same on the bytes of a drawing; `name` is used in messages only.
[[nodiscard]] std::optional<InputProblem> readDxfPolylinesFromText(std::string_view bytes, const std::string& name,
                                                                   CurveStore& store);
