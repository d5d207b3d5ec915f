// The command line as a user meets it: one version everywhere, a mistyped option or command
// answered with the nearest one, the statuses of the commands' refusals, and --start given a
// coefficient file.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/nearest_name.hpp"
#include "oval_sampling.hpp"
#include "support/crlf_text.hpp"
#include "support/noisy_ovals.hpp"
#include "support/program_runner.hpp"

namespace {

namespace fs = std::filesystem;
using kelmartest::ProgramRun;
using kelmartest::readFile;
using kelmartest::writeFile;

using kelmartest::runKelmar;

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

/// Three rings of the generator's default oval turned by 40 degrees about (120, -80), 60 points
/// each, as a DXF drawing.
std::string turnedDrawing() {
    CoefficientVector truth;
    truth.values = {10, 6, 120, -80, 40 * M_PI / 180, 8, 5, 2, 3, 4};
    return kelmartest::dxfOf(curveStoreOf(sampleOvalFamily(truth, 60, 0.01L, 9)), 6);
}

// ---------------------------------------------------------------- one version

const std::string projectVersion = KELMAR_PROJECT_VERSION;

TEST(Version, TheVersionOptionTheBannerAndTheReportShowTheProjectVersion) {
    const fs::path dir = kelmartest::scratchDirectory("version");
    for (const std::string option : {"--version", "-v"}) {
        const ProgramRun version = runKelmar(dir, {option});
        EXPECT_EQ(version.status, 0) << option;
        EXPECT_EQ(version.out, "kelmar " + projectVersion + "\n") << option;
        EXPECT_EQ(version.err, "") << option;
    }

    const fs::path data(KELMAR_TEST_DATA);
    fs::copy_file(data / "two_rings.dxf", dir / "two_rings.dxf");
    const ProgramRun dialogue = kelmartest::runProgramIn(dir, readFile(data / "two_rings.answers"));
    ASSERT_EQ(dialogue.status, 0) << dialogue.err;
    const std::string credit = "kelmar " + projectVersion + " - ovale a otto centri ai minimi quadrati, precisione estesa";
    const std::vector<std::string> console = kelmartest::linesOf(dialogue.out);
    const std::vector<std::string> report = kelmartest::linesOf(readFile(dir / "kelmar.txt"));
    ASSERT_GE(console.size(), 2u);
    ASSERT_GE(report.size(), 2u);
    EXPECT_EQ(console[1], credit);
    EXPECT_EQ(report[1], credit);
}

// ---------------------------------------------------------------- the nearest name

struct DistanceRow {
    std::string name;
    std::string a, b;
    int distance;
};
void PrintTo(const DistanceRow& row, std::ostream* os) { *os << row.name; }

class TypingDistance : public ::testing::TestWithParam<DistanceRow> {};

TEST_P(TypingDistance, CountsTheEditsBothWays) {
    EXPECT_EQ(typingDistance(GetParam().a, GetParam().b), GetParam().distance);
    EXPECT_EQ(typingDistance(GetParam().b, GetParam().a), GetParam().distance);
}

INSTANTIATE_TEST_SUITE_P(
    NearestName, TypingDistance,
    ::testing::Values(DistanceRow{"same", "--out", "--out", 0}, DistanceRow{"oneLetterMore", "--outt", "--out", 1},
                      DistanceRow{"twoLettersSwapped", "--verison", "--version", 1},
                      DistanceRow{"oneLetterReplaced", "--rubust", "--robust", 1},
                      DistanceRow{"caseIgnored", "FIT", "fit", 0}, DistanceRow{"fromNothing", "", "svg", 3},
                      DistanceRow{"nothingAlike", "abc", "xyz", 3},
                      DistanceRow{"swapAndReplace", "sgvx", "svgy", 2}),
    [](const auto& info) { return info.param.name; });

struct NearestRow {
    std::string name;
    std::string typed;
    std::vector<std::string> known;
    std::optional<std::string> nearest;
};
void PrintTo(const NearestRow& row, std::ostream* os) { *os << row.name; }

class NearestName : public ::testing::TestWithParam<NearestRow> {};

TEST_P(NearestName, SuggestsOnlyANameNearEnough) { EXPECT_EQ(nearestName(GetParam().typed, GetParam().known), GetParam().nearest); }

const std::vector<std::string> fitOptions = {"--help", "-h", "--start", "--out", "--robust"};

INSTANTIATE_TEST_SUITE_P(
    NearestName, NearestName,
    ::testing::Values(NearestRow{"oneSlip", "--outt", fitOptions, "--out"},
                      NearestRow{"twoSlips", "--strat", fitOptions, "--start"},
                      NearestRow{"theNearerOfTwo", "--outx", {"--outxyz", "--outy"}, "--outy"},
                      NearestRow{"theFirstOfEquallyNear", "--ab", {"--ax", "--xb"}, "--ax"},
                      NearestRow{"threeSlipsIsAnotherWord", "--fast", fitOptions, std::nullopt},
                      NearestRow{"notAsManySlipsAsLetters", "-x", {"-h", "-v"}, std::nullopt},
                      NearestRow{"aCommand", "guss", {"fit", "guess", "svg"}, "guess"},
                      NearestRow{"nothingKnown", "--out", {}, std::nullopt}),
    [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------- statuses and sentences

struct AnswerRow {
    std::string name;
    std::vector<std::string> arguments;
    int status;
    std::string sentence;  // a part of the one line on standard error
    std::string notSaid;   // a part it must not hold (empty: none)
};
void PrintTo(const AnswerRow& row, std::ostream* os) { *os << row.name; }

class CommandLineAnswer : public ::testing::TestWithParam<AnswerRow> {};

TEST_P(CommandLineAnswer, EndsWithItsStatusAndOneSentence) {
    const fs::path dir = kelmartest::scratchDirectory("command_line");
    writeFile(dir / "plan.dxf", turnedDrawing());
    writeFile(dir / "line.txt", "6\n0 0\n1 2\n2 4\n3 6\n4 8\n5 10\n");
    writeFile(dir / "nine.coe", "plan.dxf\r\n9\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n");
    writeFile(dir / "short.coe", "plan.dxf\r\n10\r\n1\r\n2\r\n3\r\n");
    writeFile(dir / "word.coe", "plan.dxf\r\n10\r\n1\r\n2\r\nabc\r\n");
    writeFile(dir / "huge.coe", "plan.dxf\r\n10\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n1e200\r\n");
    writeFile(dir / "notadrawing.dxf", "hello\r\n");
    fs::create_directory(dir / "folder.dxf");

    const ProgramRun run = runKelmar(dir, GetParam().arguments);
    EXPECT_EQ(run.status, GetParam().status);
    EXPECT_NE(run.err.find(GetParam().sentence), std::string::npos) << run.err;
    if (!GetParam().notSaid.empty()) {
        EXPECT_EQ(run.err.find(GetParam().notSaid), std::string::npos) << run.err;
    }
    EXPECT_EQ(countOf(run.err, "\n"), 1u) << run.err;
    EXPECT_EQ(run.out.find("Runtime error"), std::string::npos) << run.out;
    EXPECT_FALSE(fs::exists(dir / "kelmar.txt"));
    EXPECT_FALSE(fs::exists(dir / "plan.svg"));
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, CommandLineAnswer,
    ::testing::Values(
        AnswerRow{"mistypedOption", {"fit", "plan.dxf", "--outt", "x"}, 64, "'kelmar fit' has no option '--outt': did you mean --out?", ""},
        AnswerRow{"mistypedOptionWithItsValue", {"fit", "plan.dxf", "--outt=x"}, 64, "did you mean --out?", ""},
        AnswerRow{"mistypedOptionBeforeMissingPlan", {"fit", "--robst"}, 64, "did you mean --robust?", ""},
        AnswerRow{"mistypedVersion", {"--verison"}, 64, "'kelmar' has no option '--verison': did you mean --version?", ""},
        AnswerRow{"mistypedFlagOfGuess", {"guess", "plan.dxf", "--start-lien"}, 64, "did you mean --start-line?", ""},
        AnswerRow{"optionOfAnotherCommand", {"guess", "plan.dxf", "--robust"}, 64,
                  "its options are --help, -h, --layer, --ring-by, --columns and --start-line", "did you mean"},
        AnswerRow{"valueOfAnOptionIsNoOption", {"fit", "plan.dxf", "--out", "--outt", "--fast"}, 64,
                  "has no option '--fast'", "'--outt'"},
        AnswerRow{"mistypedCommand", {"fitt", "plan.dxf"}, 64, "'fitt' is not a command: did you mean fit? The commands", ""},
        AnswerRow{"swappedLettersOfACommand", {"sgv", "plan.dxf"}, 64, "did you mean svg?", ""},
        AnswerRow{"anotherWord", {"draw", "plan.dxf"}, 64, "the commands are fit, compare, guess, list and svg", "did you mean"},
        AnswerRow{"secondPlan", {"fit", "plan.dxf", "other.dxf"}, 64, "other.dxf", "has no option"},
        AnswerRow{"guessWithoutUsableRing", {"guess", "line.txt"}, 65, "give them to 'kelmar fit line.txt --start X,Y,ROT",
                  "give them with --start"},
        AnswerRow{"fitWithoutUsableRing", {"fit", "line.txt"}, 65, "give them with --start X,Y,ROT", ""},
        AnswerRow{"svgOfAMissingDrawing", {"svg", "nowhere.dxf"}, 65, "cannot open 'nowhere.dxf'", ""},
        AnswerRow{"svgOfAFolder", {"svg", "folder.dxf"}, 65, "folder.dxf", ""},
        AnswerRow{"svgOfAFileThatIsNoDrawing", {"svg", "notadrawing.dxf"}, 65, "'notadrawing.dxf' is not a DXF drawing", ""},
        AnswerRow{"startFileForOtherRings", {"fit", "plan.dxf", "--start", "nine.coe"}, 65,
                  "'nine.coe' holds 9 coefficients, but the 3 curves of 'plan.dxf' need 10", ""},
        AnswerRow{"startFileEndingEarly", {"fit", "plan.dxf", "--start", "short.coe"}, 65,
                  "its line 2 counts 10 values and 3 follow", ""},
        AnswerRow{"startFileWithAWord", {"fit", "plan.dxf", "--start", "word.coe"}, 65, "word.coe", ""},
        AnswerRow{"startFileWithAHugeValue", {"fit", "plan.dxf", "--start", "huge.coe"}, 65,
                  "value 10 of 'huge.coe', given to --start, is too large", ""},
        AnswerRow{"startNamingNoFile", {"fit", "plan.dxf", "--start", "kelmar.coe"}, 64,
                  "--start 'kelmar.coe' names no file that exists", ""}),
    [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------- --start from a coefficient file

nlohmann::json startOf(const fs::path& json) { return nlohmann::json::parse(readFile(json))["start"]; }

TEST(StartFile, StartsTheFitFromExactlyItsValuesInItsOwnOrder) {
    const fs::path dir = kelmartest::scratchDirectory("start_file");
    writeFile(dir / "plan.dxf", turnedDrawing());
    // OA, OB, X, Y, the rotation in degrees, OC, DC, AE 1 to 3: about 2 % off the drawing's oval,
    // in the layout kelmar.coe is written in, so that the run's own kelmar.coe repeats it.
    const std::string coe = kelmartest::crlf({"plan.dxf", "10", "  10.200000000", "   5.900000000", " 119.800000000",
                                              " -80.200000000", "  41.000000000", "   8.100000000", "   5.100000000",
                                              "   2.100000000", "   3.000000000", "   4.100000000"});
    writeFile(dir / "start.coe", coe);

    const ProgramRun fromFile = runKelmar(dir, {"fit", "plan.dxf", "--start", "start.coe", "--out", "file"});
    ASSERT_EQ(fromFile.status, 0) << fromFile.err;
    EXPECT_NE(fromFile.out.find("starting values from 'start.coe'"), std::string::npos) << fromFile.out;
    // The run's kelmar.coe names the plan as seen from its own folder.
    EXPECT_EQ(readFile(dir / "file" / "kelmar.coe"), "../" + coe);
    const nlohmann::json start = startOf(dir / "file" / "kelmar.json");
    EXPECT_EQ(start["from"], "--start");
    EXPECT_EQ(start["oa"], 10.2);
    EXPECT_EQ(start["ob"], 5.9);
    EXPECT_EQ(start["centre"]["x"], 119.8);
    EXPECT_EQ(start["centre"]["y"], -80.2);
    EXPECT_EQ(start["rotation_degrees"], 41.0);
    EXPECT_EQ(start["oc"], 8.1);
    EXPECT_EQ(start["dc"], 5.1);
    EXPECT_EQ(start["ae"], nlohmann::json::array({2.1, 3.0, 4.1}));

    // The same values typed in the order of --start make the same run.
    const ProgramRun typed =
        runKelmar(dir, {"fit", "plan.dxf", "--start", "119.8,-80.2,41,10.2,5.9,8.1,5.1,2.1,3,4.1", "--out", "typed"});
    ASSERT_EQ(typed.status, 0) << typed.err;
    EXPECT_EQ(readFile(dir / "typed" / "kelmar.coe"), "../" + coe);
    EXPECT_EQ(readFile(dir / "typed" / "kelmar.txt"), readFile(dir / "file" / "kelmar.txt"));
}

TEST(StartFile, ARunsOwnCoefficientFileStartsTheNextRun) {
    const fs::path dir = kelmartest::scratchDirectory("start_again");
    writeFile(dir / "plan.dxf", turnedDrawing());
    const ProgramRun first = runKelmar(dir, {"fit", "plan.dxf", "--out", "first"});
    ASSERT_EQ(first.status, 0) << first.err;
    const ProgramRun again = runKelmar(dir, {"fit", "plan.dxf", "--start", "first/kelmar.coe", "--out", "again"});
    ASSERT_EQ(again.status, 0) << again.err;
    // The start is the first run's, to the nine decimals kelmar.coe keeps.
    EXPECT_EQ(readFile(dir / "again" / "kelmar.coe"), readFile(dir / "first" / "kelmar.coe"));
    const nlohmann::json a = startOf(dir / "first" / "kelmar.json");
    const nlohmann::json b = startOf(dir / "again" / "kelmar.json");
    for (const char* key : {"oa", "ob", "oc", "dc", "rotation_degrees"}) {
        EXPECT_NEAR(b[key].get<double>(), a[key].get<double>(), 5e-10) << key;
    }
    EXPECT_EQ(b["from"], "--start");
}

TEST(StartFile, GuessGivesTheLineThatStartTakes) {
    const fs::path dir = kelmartest::scratchDirectory("start_line");
    writeFile(dir / "plan.dxf", turnedDrawing());
    const ProgramRun answers = runKelmar(dir, {"guess", "plan.dxf"});
    const ProgramRun line = runKelmar(dir, {"guess", "plan.dxf", "--start-line"});
    ASSERT_EQ(answers.status, 0) << answers.err;
    ASSERT_EQ(line.status, 0) << line.err;
    ASSERT_EQ(countOf(line.out, "\n"), 1u) << line.out;
    ASSERT_GE(line.out.size(), 2u);
    const std::string values = line.out.substr(0, line.out.size() - 2);  // less its CR LF

    // The answers file less its first line (the name), joined by commas.
    std::vector<std::string> lines = kelmartest::linesOf(answers.out);
    ASSERT_EQ(lines.size(), 11u);
    std::string joined;
    for (std::size_t i = 1; i < lines.size(); ++i) joined += (i == 1 ? "" : ",") + lines[i];
    EXPECT_EQ(values, joined);

    const ProgramRun fit = runKelmar(dir, {"fit", "plan.dxf", "--start", values, "--out", "out"});
    ASSERT_EQ(fit.status, 0) << fit.err;
    const nlohmann::json start = startOf(dir / "out" / "kelmar.json");
    EXPECT_EQ(start["centre"]["x"].get<double>(), std::stod(lines[1]));
    EXPECT_EQ(start["rotation_degrees"].get<double>(), std::stod(lines[3]));
    EXPECT_EQ(start["oa"].get<double>(), std::stod(lines[4]));
    EXPECT_EQ(start["ae"][2].get<double>(), std::stod(lines[10]));
}

}  // namespace
