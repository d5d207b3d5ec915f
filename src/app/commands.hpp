#pragma once
/// The commands besides the dialogue, with their options as parsed from the command line.

#include <optional>
#include <string>

#include "input/plan_reader.hpp"

/// `kelmar fit PLAN`: the best oval found from the points alone.
struct FitOptions {
    std::string plan;
    std::optional<std::string> start;  // X,Y,ROT,OA,OB,OC,DC,AE1[,AE2...] as typed, or a coefficient file
    std::string outDir = ".";
    bool robust = false;
    std::string model = "eight-centre";  // --model: eight-centre, four-centre or ellipse
    PlanSelection selection;  // --layer, --ring-by, --columns
};
int runFitCommand(const FitOptions& options);

/// `kelmar guess PLAN [--start-line]`: the automatic starting values as an answers file for the
/// dialogue, or as the one line that `kelmar fit --start` takes.
struct GuessOptions {
    std::string plan;
    bool startLine = false;
    PlanSelection selection;  // --layer, --ring-by, --columns
};
int runGuessCommand(const GuessOptions& options);

/// `kelmar list PLAN`: what would be read, without fitting: the layers with their kinds, what is
/// left out and why, and the rings with their points and sources.
struct ListOptions {
    std::string plan;
    PlanSelection selection;
};
int runListCommand(const ListOptions& options);

/// `kelmar svg DRAWING [OUT]`: a picture of a drawing that kelmar wrote.
struct SvgOptions {
    std::string drawing;
    std::string out;  // empty: the drawing's name with .svg in place of its extension
};
int runSvgCommand(const SvgOptions& options);

/// Parses the command line of a run with arguments and runs its command; returns the exit
/// status (64 for a command line that cannot be understood).
int runCommandLine(int argc, char** argv);
