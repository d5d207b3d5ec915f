#include "app/commands.hpp"

#include "base/run_error.hpp"

// Placeholder until the automatic fit lands.
int runFitCommand(const FitOptions&) { failInput(exitStatus::usage, "the fit command is not built yet"); }
int runGuessCommand(const std::string&) { failInput(exitStatus::usage, "the guess command is not built yet"); }
