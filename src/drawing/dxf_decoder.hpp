#pragma once
/// The decoder of kelmar's own DXF drawing: its POINT, LINE and ARC entities on the drawing's
/// seven layers, read back as drawn entities, whatever else the file holds around them.

#include <cstddef>
#include <string>
#include <vector>

#include "base/input_problem.hpp"
#include "base/text_io.hpp"
#include "drawing/drawing_entities.hpp"

/// A drawing read back: its entities, and what the file held that kelmar does not draw.
struct DecodedDrawing {
    std::vector<DrawnEntity> entities;  // in file order
    std::size_t skippedCount = 0;
    std::string skipped;  // "1 LWPOLYLINE, 3 POINT on other layers, 2 TEXT"; empty when none
};

/// Reads an ASCII DXF drawing as any DXF writer lays it out (group codes aligned or not, other
/// sections, handles and further groups, CR LF or LF). A file that is not a DXF drawing, has no
/// entities section or none of kelmar's entities, is cut off, or holds an entity of kelmar's
/// without one of its coordinates or with a value that is not a number gives back a problem with
/// exit status 65 and a sentence naming the file and the line.
[[nodiscard]] InputResult<DecodedDrawing> readKelmarDrawing(InputChannel& drawing);
