#include "input/input_kind.hpp"

#include "base/run_error.hpp"
#include "input/dxf_reader.hpp"
#include "input/text_reader.hpp"

InputKind inputKindOf(const std::string& name) {
    switch (name.back()) {
        case 'e': return InputKind::CoefficientFile;
        case 't': return InputKind::TextPoints;
        default: return InputKind::DxfDrawing;
    }
}

std::optional<InputProblem> readPointsFile(const std::string& name, CurveStore& store) {
    if (inputKindOf(name) == InputKind::TextPoints) return readTextPoints(name, store);
    // The choice is case-sensitive: ARENA.TXT is no point list. Said before the reading, which
    // may find the file unusable.
    if (name.back() == 'T') {
        notice("'" + name + "' is read as a DXF drawing: only a name ending in a lower-case t is read as a point "
               "list, so rename it to end in .txt if it is one");
    } else if (name.back() == 'E') {
        notice("'" + name + "' is read as a DXF drawing: only a name ending in a lower-case e is loaded as a "
               "coefficient file, so rename it to end in .coe if it is one");
    }
    return readDxfPolylines(name, store);
}
