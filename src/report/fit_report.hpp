#pragma once
/// The outputs of `kelmar fit` in the dialogue's layouts: the report, the drawing's entities, and
/// what the console shows while and after the fit runs.

#include <optional>
#include <string>
#include <vector>

#include "base/records.hpp"
#include "base/text_io.hpp"
#include "drawing/drawing_entities.hpp"
#include "fit/fit_run.hpp"

/// The report in the dialogue's layout: the points as read, the starting values, one summary per
/// accepted solver iteration, the final residual and coefficients, the final oval, and every
/// point with its own-frame deviation.
void writeFitReport(OutputChannel& report, const FitRun& run, const CurveStore& curves);

/// The drawing in the dialogue's order: every point on the layer of its own-frame deviation, then
/// each ring's oval, the first with the axes and the construction.
void drawFit(const FitRun& run, const CurveStore& curves, const DrawingSink& draw);
/// The same entities collected.
std::vector<DrawnEntity> fitDrawing(const FitRun& run, const CurveStore& curves);

/// The console's line for one solver iteration.
std::string iterationLine(const FitIteration& iteration);

/// The closing summary for the console: the stop reason, each ring's semi-axes with their standard
/// errors, its rms and, when the plan says, its source, the centre and rotation, down-weighted points, and the files written.
void writeFitSummary(OutputChannel& console, const FitRun& run, const CurveStore& curves,
                     const std::vector<std::string>& filesWritten);
