#pragma once
/// The dialogue: one whole run of the program without arguments, from the greeting to the
/// exit status.

#include "dialogue/optimiser.hpp"

/// Greets, asks for the input file, reads the points, asks or loads the starting
/// coefficients, fits the oval and writes "kelmar.txt", "kelmar.coe" and "kelmar.dxf".
/// Returns the exit status of a completed run (0); failures end the process earlier.
/// `evaluation` only lets tests run the fit on the reference residual; the outputs are the same.
int runDialogue(ResidualEvaluation evaluation = ResidualEvaluation::Incremental);
