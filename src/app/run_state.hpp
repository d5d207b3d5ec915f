#pragma once
/// The record the dialogue owns for one run, from the greeting to the exit.

#include <string>

#include "base/records.hpp"
#include "base/text_io.hpp"

/// Everything one run owns, from the greeting to the exit.
struct RunState {
    std::string inputFileName;
    CurveStore curves;
    CoefficientVector coefficients;
    FitTotals totals;
    bool coefFileLoaded = false;

    OutputChannel console;  // standard output
    OutputChannel report;   // "kelmar.txt"
    OutputChannel drawing;  // "kelmar.dxf"
};
