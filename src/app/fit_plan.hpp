#pragma once
/// What the commands that fit a plan (fit, guess, compare) share before they fit: the plan read
/// and counted, and the refusals of a drawing, an output folder or a plan that cannot be used.

#include <string>
#include <vector>

#include "base/real80.hpp"
#include "base/records.hpp"
#include "input/plan_reader.hpp"

/// Coordinates and starting values beyond this magnitude are refused: the fit computes in double
/// precision, and squares of such values would overflow.
inline constexpr Real80 largestUsableValue = 1e100L;

/// Reads the rings of `plan` with `selection`, with their total point count. Whatever stops the
/// reading (a missing file, a number that is not one, a broken drawing, a selection that leaves
/// nothing, a point beyond largestUsableValue) ends the run as unusable data, with the reader's
/// sentence.
CurveStore readPlan(const std::string& plan, const PlanSelection& selection);

/// Refuses a drawing too small for the construction's arithmetic, or lying so far from the origin
/// that its coordinates cannot resolve it.
void refuseUnresolvableDrawing(const CurveStore& curves, const std::string& plan);

/// "'PLAN': 3 rings, 1200 points".
std::string describePlan(const CurveStore& curves, const std::string& plan);

/// Refuses a --out that cannot take the files before anything is computed, and a folder that
/// another run holds.
void checkOutputFolderOption(const std::string& folder);

/// Refuses a PLAN that is one of the files `outputs` the run writes into `folder`: it would be
/// read, then replaced by an output.
void refusePlanAsOutput(const std::string& plan, const std::string& folder, const std::vector<std::string>& outputs);

/// A number of any size for a sentence: 6 significant digits.
std::string shortNumber(double value);
