#pragma once
/// kelmar.json: the result of `kelmar fit` for scripts, with the standard errors, the stop reason,
/// the quality warnings and, for a robust fit, the down-weighted points.

#include <string>

#include "base/records.hpp"
#include "report/fit_report.hpp"

/// The JSON text of a finished fit (numbers in the drawing's units, the rotation in degrees
/// positive clockwise; a value that is not finite is written as null).
std::string fitJson(const FitRun& run, const CurveStore& curves);
