#include "app/commands.hpp"

#include "base/run_error.hpp"

// Placeholder until the picture lands.
int runSvgCommand(const SvgOptions&) { failInput(exitStatus::usage, "the svg command is not built yet"); }
