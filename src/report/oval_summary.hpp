#pragma once
/// The oval summary block: residual, centre, rotation, construction lengths, and the radii
/// and semi-axes of every curve, for the report file and, narrower, for the console.

#include "base/records.hpp"
#include "base/text_io.hpp"

/// Appends the summary block of `coefficients` and `totals` to the report channel.
void writeReportSummary(OutputChannel& out, const CoefficientVector& coefficients, const FitTotals& totals);

/// Prints the same block in the console's layout: per-curve values on two shorter lines.
void writeConsoleSummary(OutputChannel& out, const CoefficientVector& coefficients, const FitTotals& totals);
