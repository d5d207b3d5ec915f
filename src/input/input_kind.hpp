#pragma once
/// Which reader a file name selects, the readers behind that choice, and the formats named in
/// messages. A new input format is added here.

#include <optional>
#include <string>
#include <string_view>

#include "base/input_problem.hpp"
#include "base/records.hpp"

/// The reader is chosen by the last character of the name, compared case-sensitively: "e" a
/// coefficient file, "t" a point list, anything else a DXF drawing.
enum class InputKind { CoefficientFile, TextPoints, DxfDrawing };

/// The kind of a non-empty file name.
InputKind inputKindOf(const std::string& name);

/// Reads the points of a point list or a DXF drawing, as its name selects, into `store`; a
/// name ending in an upper-case T or E gets a note that it is read as a drawing. A file that
/// cannot be used gives back its reader's problem.
[[nodiscard]] std::optional<InputProblem> readPointsFile(const std::string& name, CurveStore& store);

/// Every input the program accepts, and the inputs that hold points, as messages name them.
inline constexpr std::string_view inputFormats =
    "a DXF drawing, a point list ending in t, or a coefficient file ending in e";
inline constexpr std::string_view pointFormats = "a DXF drawing, or a text list whose name ends in t";
