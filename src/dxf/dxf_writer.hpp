#pragma once
/// The drawing's output format: the framing of its one ENTITIES section and the writers
/// that append a point, a line or an arc to it.

#include <cstdint>
#include <string_view>

#include "main/real80.hpp"
#include "main/text_io.hpp"

/// A layer of the drawing with the colour that all of its entities carry.
struct DxfLayer {
    std::string_view name;
    std::int32_t colour;
};

namespace dxfLayer {
inline constexpr DxfLayer axes{"assi", 2};
inline constexpr DxfLayer triangles{"triangolo", 1};
inline constexpr DxfLayer radii{"raggi", 4};
inline constexpr DxfLayer arcs{"archi", 7};
inline constexpr DxfLayer twiceOverResidual{"Maggiore_scarto_doppio", 1};
inline constexpr DxfLayer overResidual{"Scarto", 2};
inline constexpr DxfLayer withinResidual{"Minore_scarto", 7};
}  // namespace dxfLayer

/// Opens the drawing's entities section: "  0", "SECTION", "  2", "ENTITIES".
void openDxfEntities(OutputChannel& drawing);

/// Closes the section and the DXF data: "  0", "ENDSEC", "  0", "EOF".
void closeDxfEntities(OutputChannel& drawing);

/// The groups 10 + k, 20 + k and 30 + k of point k (0 or 1) of an entity; Z is always 0.
void writeDxfCoordinates(OutputChannel& drawing, int k, Real80 x, Real80 y);

/// One POINT entity.
void writeDxfPoint(OutputChannel& drawing, std::string_view layer, std::int32_t colour, Real80 x, Real80 y);

/// One LINE entity from (x1, y1) to (x2, y2).
void writeDxfLine(OutputChannel& drawing, std::string_view layer, std::int32_t colour, Real80 x1, Real80 y1,
                  Real80 x2, Real80 y2);

/// One ARC entity, drawn counter-clockwise from startAngle to endAngle (degrees, as given).
void writeDxfArc(OutputChannel& drawing, std::string_view layer, std::int32_t colour, Real80 cx, Real80 cy,
                 Real80 radius, Real80 startAngle, Real80 endAngle);
