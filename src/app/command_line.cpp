#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>

#include "app/commands.hpp"
#include "base/run_error.hpp"

namespace {

constexpr const char* versionLine = "kelmar 1.1";
constexpr const char* planHelp =
    "The points: a DXF drawing, a GIS dataset (GeoPackage, Shapefile, GeoJSON, KML, CSV), a survey point file, or "
    "kelmar's point list";

/// The options that choose what of a plan is read, shared by fit, guess and list.
void addSelectionOptions(CLI::App* command, PlanSelection& selection) {
    command->add_option("--layer", selection.layers,
                        "Read only this layer (of a drawing, or of a GIS dataset); repeat it for more layers")
        ->allow_extra_args(false);
    command->add_option("--ring-by", selection.ringBy,
                        "Put all geometry with the same layer (--ring-by layer) or the same value of a field "
                        "(--ring-by code) into one ring");
    command->add_option("--columns", selection.columns,
                        "The columns X,Y[,RING] of a survey point file without a header (numbers counted from 1, "
                        "or names)");
}

}  // namespace

int runCommandLine(int argc, char** argv) {
    CLI::App app{"kelmar fits an eight-centre oval to digitised concentric curves.\n"
                 "Without arguments it runs the dialogue (questions in Italian on the console).",
                 "kelmar"};
    app.set_version_flag("--version", versionLine, "Print the version and exit");
    app.require_subcommand(1);

    FitOptions fit;
    CLI::App* fitCommand = app.add_subcommand(
        "fit", "Find the best oval from the points alone; write kelmar.txt, .coe, .dxf, .json and .svg");
    fitCommand->add_option("PLAN", fit.plan, planHelp)->required();
    addSelectionOptions(fitCommand, fit.selection);
    fitCommand->add_option("--start", fit.start,
                           "Starting values X,Y,ROT,OA,OB,OC,DC,AE1[,AE2...] (rotation in degrees) instead of "
                           "the automatic ones");
    fitCommand->add_option("--out", fit.outDir, "Folder for the output files (default: the current folder)");
    fitCommand->add_flag("--robust", fit.robust,
                         "Use a robust loss, so that a digitising slip does not pull the oval; list the points "
                         "it down-weighted");

    std::string guessPlan;
    PlanSelection guessSelection;
    CLI::App* guessCommand =
        app.add_subcommand("guess", "Print the automatic starting values as an answers file for the dialogue");
    guessCommand->add_option("PLAN", guessPlan, planHelp)->required();
    addSelectionOptions(guessCommand, guessSelection);

    ListOptions list;
    CLI::App* listCommand = app.add_subcommand(
        "list", "Show what would be read from a plan: its layers, what is left out and why, the rings and their sources");
    listCommand->add_option("PLAN", list.plan, planHelp)->required();
    addSelectionOptions(listCommand, list.selection);

    SvgOptions svg;
    CLI::App* svgCommand = app.add_subcommand("svg", "Turn a drawing written by kelmar into an SVG picture");
    svgCommand->add_option("DRAWING", svg.drawing, "A kelmar.dxf written by kelmar")->required();
    svgCommand->add_option("OUT", svg.out, "The picture to write (default: the drawing's name ending in .svg)");

    const std::string first = argv[1];
    if (!first.empty() && first[0] != '-' && first != "fit" && first != "guess" && first != "svg" &&
        first != "list") {
        std::fflush(stdout);
        std::fprintf(stderr,
                     "kelmar: '%s' is not a command: the commands are fit, guess, list and svg (run 'kelmar --help'), and "
                     "kelmar without arguments runs the dialogue\n",
                     first.c_str());
        return exitStatus::usage;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) return app.exit(error);  // --help, --version
        std::fflush(stdout);
        std::fprintf(stderr, "kelmar: %s; run 'kelmar --help' for the commands and their options\n", error.what());
        return exitStatus::usage;
    }
    if (*fitCommand) return runFitCommand(fit);
    if (*guessCommand) return runGuessCommand(guessPlan, guessSelection);
    if (*listCommand) return runListCommand(list);
    return runSvgCommand(svg);
}
