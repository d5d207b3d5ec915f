#pragma once
/// The DXF encoder of the drawing: the framing of its one ENTITIES section, and the writers
/// that append a drawn entity, or a point, a line or an arc given by its fields.

#include <cstdint>
#include <string_view>

#include "base/real80.hpp"
#include "base/text_io.hpp"
#include "drawing/drawing_entities.hpp"

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

/// One drawn entity, on its layer with the layer's colour.
void writeDxfEntity(OutputChannel& drawing, const DrawnEntity& entity);
