#include "drawing/dxf_encoder.hpp"

#include <type_traits>

namespace {

void writeGroupCode(OutputChannel& drawing, int code) {
    writeIntegerField(drawing, code, field::groupCode);
    endLine(drawing);
}

void writeRealValue(OutputChannel& drawing, Real80 value) {
    writeRealField(drawing, value, field::drawingReal);
    endLine(drawing);
}

/// Lines 1 to 6 of every entity: type, layer and colour.
void writeEntityHead(OutputChannel& drawing, std::string_view type, std::string_view layer, std::int32_t colour) {
    writeLine(drawing, "  0");
    writeLine(drawing, type);
    writeLine(drawing, "  8");
    writeLine(drawing, layer);
    writeLine(drawing, " 62");
    writeIntegerField(drawing, colour, field::colour);
    endLine(drawing);
}

}  // namespace

void openDxfEntities(OutputChannel& drawing) {
    writeLine(drawing, "  0");
    writeLine(drawing, "SECTION");
    writeLine(drawing, "  2");
    writeLine(drawing, "ENTITIES");
}

void closeDxfEntities(OutputChannel& drawing) {
    writeLine(drawing, "  0");
    writeLine(drawing, "ENDSEC");
    writeLine(drawing, "  0");
    writeLine(drawing, "EOF");
}

void writeDxfCoordinates(OutputChannel& drawing, int k, Real80 x, Real80 y) {
    writeGroupCode(drawing, 10 + k);
    writeRealValue(drawing, x);
    writeGroupCode(drawing, 20 + k);
    writeRealValue(drawing, y);
    writeGroupCode(drawing, 30 + k);
    writeRealValue(drawing, 0);
}

void writeDxfPoint(OutputChannel& drawing, std::string_view layer, std::int32_t colour, Real80 x, Real80 y) {
    writeEntityHead(drawing, "POINT", layer, colour);
    writeDxfCoordinates(drawing, 0, x, y);
}

void writeDxfLine(OutputChannel& drawing, std::string_view layer, std::int32_t colour, Real80 x1, Real80 y1,
                  Real80 x2, Real80 y2) {
    writeEntityHead(drawing, "LINE", layer, colour);
    writeDxfCoordinates(drawing, 0, x1, y1);
    writeDxfCoordinates(drawing, 1, x2, y2);
}

void writeDxfArc(OutputChannel& drawing, std::string_view layer, std::int32_t colour, Real80 cx, Real80 cy,
                 Real80 radius, Real80 startAngle, Real80 endAngle) {
    writeEntityHead(drawing, "ARC", layer, colour);
    writeDxfCoordinates(drawing, 0, cx, cy);
    writeLine(drawing, " 40");
    writeRealValue(drawing, radius);
    writeLine(drawing, " 50");
    writeRealValue(drawing, startAngle);
    writeLine(drawing, " 51");
    writeRealValue(drawing, endAngle);
}

void writeDxfEntity(OutputChannel& drawing, const DrawnEntity& entity) {
    std::visit(
        [&drawing](const auto& e) {
            using E = std::decay_t<decltype(e)>;
            const LayerStyle& style = styleOf(e.layer);
            if constexpr (std::is_same_v<E, DrawnPoint>) {
                writeDxfPoint(drawing, style.name, style.dxfColour, e.at.x, e.at.y);
            } else if constexpr (std::is_same_v<E, DrawnLine>) {
                writeDxfLine(drawing, style.name, style.dxfColour, e.from.x, e.from.y, e.to.x, e.to.y);
            } else {
                writeDxfArc(drawing, style.name, style.dxfColour, e.centre.x, e.centre.y, e.radius, e.startDegrees,
                            e.endDegrees);
            }
        },
        entity);
}
