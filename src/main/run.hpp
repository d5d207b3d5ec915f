#pragma once
/// One whole run of the program, from the greeting to the exit status.

/// Greets, asks for the input file, reads the points, asks or loads the starting
/// coefficients, fits the oval and writes "kelmar.txt", "kelmar.coe" and "kelmar.dxf".
/// Returns the exit status of a completed run (0); failures end the process earlier.
int runProgram();
