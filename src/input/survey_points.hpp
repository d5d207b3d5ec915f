#pragma once
/// Reads survey point files: columns separated by commas, semicolons, tabs or blanks, with a
/// header that names them or with the columns given by the user; and tells kelmar's own point
/// list (a count, then X Y lines) from them by its content.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "input/plan_pieces.hpp"

/// True when `bytes` begin as kelmar's own point list: a lone whole number on the first line
/// that is not blank, then a line of two numbers (or nothing more).
bool isOwnPointList(std::string_view bytes);

/// What a survey file gave: one point piece per data line, on the layer the caller names.
struct SurveyReading {
    std::optional<std::string> problem;  // a sentence when the file cannot be used
    bool usageProblem = false;           // the problem lies in --columns as typed
    std::vector<PlanPiece> pieces;
    std::vector<std::string> fields;     // the header's names, or "1", "2", ... without one
    std::string note;                    // which columns were taken, when the file did not say
};

/// The points of a survey file. `columns` is --columns as typed (X,Y[,RING] as header names or
/// column numbers counted from 1; empty when not given); `ringBy` a field whose value groups the
/// points into rings (empty or "layer" for one ring). Columns come from the header (X/E/East
/// and Y/N/North, a point-number column never being a coordinate), else from `columns`; a
/// file without either takes its only two columns, or with more the second and third after a
/// first column of point numbers, and says so in `note`.
SurveyReading readSurveyPoints(std::string_view bytes, const std::string& name, const std::string& layer,
                               const std::string& columns, const std::string& ringBy);
