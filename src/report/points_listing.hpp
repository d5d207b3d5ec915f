#pragma once
/// The report's listing of every point with its deviation from the fitted oval, and the
/// drawing's point entities, on layers by how far each point lies from the oval.

#include "main/run_state.hpp"

/// Appends the listing of every curve to run.report and one POINT per digitised point to
/// run.drawing, classed against the run's residual.
void writePointsListing(RunState& run);
