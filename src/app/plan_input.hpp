#pragma once
/// The plan of a command read with the user's selection: its notes and the warnings about
/// rings in doubt on standard error, a refusal as the run's end.

#include <string>

#include "input/plan_reader.hpp"

/// Reads `plan` with `selection`; a plan that cannot be used ends the run (65, or 64 for an
/// option typed wrong) with the reader's sentence. What was left out is said in one note unless
/// `noteLeftOut` is false (a listing says it itself).
PlanContents readPlanOrEnd(const std::string& plan, const PlanSelection& selection, bool noteLeftOut = true);

/// Warns of each ring that does not look like a ring of the plan, with where it came from and
/// how to leave it out.
void warnOfDoubtfulRings(const PlanContents& contents, const std::string& plan);

/// Where a ring came from, for a person: "layer 'RINGS', handle 2F".
std::string sourceText(const RingSource& source, const std::string& format);
