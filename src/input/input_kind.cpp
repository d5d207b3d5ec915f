#include "input/input_kind.hpp"

#include "input/dxf_reader.hpp"
#include "input/text_reader.hpp"

InputKind inputKindOf(const std::string& name) {
    switch (name.back()) {
        case 'e': return InputKind::CoefficientFile;
        case 't': return InputKind::TextPoints;
        default: return InputKind::DxfDrawing;
    }
}

void readPointsFile(const std::string& name, CurveStore& store) {
    if (inputKindOf(name) == InputKind::TextPoints) {
        readTextPoints(name, store);
    } else {
        readDxfPolylines(name, store);
    }
}
