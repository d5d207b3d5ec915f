#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/commands.hpp"
#include "app/nearest_name.hpp"
#include "base/run_error.hpp"
#include "base/version.hpp"
#include "fit/fit_run.hpp"

namespace {

constexpr const char* versionLine = "kelmar " KELMAR_VERSION;

/// The names of the commands.
std::vector<std::string> commandNames(const CLI::App& app) {
    std::vector<std::string> names;
    for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; })) {
        names.push_back(command->get_name());
    }
    return names;
}

/// "a, b and c".
std::string listed(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    }
    return text;
}

/// True for a word that is a number (a negative value), not an option.
bool looksLikeNumber(const std::string& word) {
    return word.size() > 1 && (std::isdigit(static_cast<unsigned char>(word[1])) || word[1] == '.');
}

/// The first word of the command line that names no option where it stands, with the options
/// that would be known there; words after "--" and the values of options are not options.
struct UnknownOption {
    std::string word;
    std::vector<std::string> known;
    std::string where;  // "kelmar" or "kelmar fit"
};
std::optional<UnknownOption> findUnknownOption(const CLI::App& app, int argc, char** argv) {
    const CLI::App* level = &app;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--") break;
        if (level == &app) {
            const CLI::App* command = nullptr;
            for (const CLI::App* c : app.get_subcommands([](const CLI::App*) { return true; })) {
                if (c->get_name() == word) command = c;
            }
            if (command != nullptr) {
                level = command;
                continue;
            }
        }
        if (word.size() < 2 || word[0] != '-' || looksLikeNumber(word)) continue;
        const std::string name = word.substr(0, word.find('='));
        std::vector<std::string> known;
        const CLI::Option* named = nullptr;
        for (const CLI::Option* option : level->get_options()) {
            if (option->get_positional()) continue;
            for (const std::string& l : option->get_lnames()) {
                known.push_back("--" + l);
                if (known.back() == name) named = option;
            }
            for (const std::string& s : option->get_snames()) {
                known.push_back("-" + s);
                if (known.back() == name) named = option;
            }
        }
        if (named == nullptr) {
            return UnknownOption{word, known, level == &app ? "kelmar" : "kelmar " + level->get_name()};
        }
        // The next word is this option's value.
        if (named->get_expected_min() > 0 && name == word) ++i;
    }
    return std::nullopt;
}

/// The sentence for an option that `where` does not take, with the nearest one it does.
std::string unknownOptionSentence(const UnknownOption& unknown) {
    std::string sentence = "'" + unknown.where + "' has no option '" + unknown.word + "'";
    const std::string name = unknown.word.substr(0, unknown.word.find('='));
    if (const std::optional<std::string> nearest = nearestName(name, unknown.known)) {
        sentence += ": did you mean " + *nearest + "?";
    } else {
        sentence += ": its options are " + listed(unknown.known);
    }
    return sentence + " (run '" + unknown.where + " --help')";
}

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
    app.set_version_flag("-v,--version", versionLine, "Print the version and exit");
    app.require_subcommand(1);

    FitOptions fit;
    CLI::App* fitCommand = app.add_subcommand(
        "fit", "Find the best oval from the points alone; write kelmar.txt, .coe, .dxf, .json and .svg");
    fitCommand->add_option("PLAN", fit.plan, planHelp)->required();
    addSelectionOptions(fitCommand, fit.selection);
    fitCommand->add_option("--start", fit.start,
                           "Starting values X,Y,ROT,OA,OB,OC,DC,AE1[,AE2...] (rotation in degrees), or a "
                           "coefficient file such as kelmar.coe (its own order: OA,OB,X,Y,ROT,OC,DC,AE...), instead "
                           "of the automatic ones");
    fitCommand->add_option("--model", fit.model,
                           "The curve to fit: eight-centre (the default), four-centre or ellipse");
    fitCommand->add_option("--out", fit.outDir, "Folder for the output files (default: the current folder)");
    fitCommand->add_flag("--robust", fit.robust,
                         "Use a robust loss, so that a digitising slip does not pull the oval; list the points "
                         "it down-weighted");

    GuessOptions guess;
    CLI::App* guessCommand =
        app.add_subcommand("guess", "Print the automatic starting values as an answers file for the dialogue");
    guessCommand->add_option("PLAN", guess.plan, planHelp)->required();
    addSelectionOptions(guessCommand, guess.selection);
    guessCommand->add_flag("--start-line", guess.startLine,
                           "Print them instead as the one line X,Y,ROT,OA,OB,OC,DC,AE1,... that kelmar fit --start "
                           "takes");

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
    const std::vector<std::string> commands = commandNames(app);
    if (!first.empty() && first[0] != '-' && std::find(commands.begin(), commands.end(), first) == commands.end()) {
        const std::optional<std::string> nearest = nearestName(first, commands);
        const std::string sentence = "'" + first + "' is not a command: " +
                                     (nearest ? "did you mean " + *nearest + "? The" : std::string("the")) +
                                     " commands are " + listed(commands) +
                                     " (run 'kelmar --help'), and kelmar without arguments runs the dialogue";
        std::fflush(stdout);
        std::fprintf(stderr, "kelmar: %s\n", sentence.c_str());
        return exitStatus::usage;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) return app.exit(error);  // --help, --version
        // A mistyped option is named with the nearest one, whatever the parser tripped on first.
        const std::optional<UnknownOption> unknown = findUnknownOption(app, argc, argv);
        const std::string sentence = unknown ? unknownOptionSentence(*unknown)
                                             : std::string(error.what()) +
                                                   "; run 'kelmar --help' for the commands and their options";
        std::fflush(stdout);
        std::fprintf(stderr, "kelmar: %s\n", sentence.c_str());
        return exitStatus::usage;
    }
    if (*fitCommand && !fitModelNamed(fit.model)) {
        const std::vector<std::string> models = fitModelNames();
        const std::optional<std::string> nearest = nearestName(fit.model, models);
        const std::string sentence = "--model '" + fit.model + "' names no curve: " +
                                     (nearest ? "did you mean " + *nearest + "? The" : std::string("the")) +
                                     " curves are " + listed(models) + " (run 'kelmar fit --help')";
        std::fflush(stdout);
        std::fprintf(stderr, "kelmar: %s\n", sentence.c_str());
        return exitStatus::usage;
    }
    if (*fitCommand) return runFitCommand(fit);
    if (*guessCommand) return runGuessCommand(guess);
    if (*listCommand) return runListCommand(list);
    return runSvgCommand(svg);
}
