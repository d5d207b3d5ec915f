// Whole runs that must lose nothing and say what happened: a run that refuses its input or
// ends at a question leaves the folder byte for byte as it was, and the notes and warnings on
// standard error name what the user has to know.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "support/program_runner.hpp"

namespace {

using kelmartest::crlf;
using kelmartest::endsWithRuntimeError;
using kelmartest::readFile;
using kelmartest::runProgramIn;
using kelmartest::scratchDirectory;
using kelmartest::writeFile;
namespace fs = std::filesystem;

using Files = std::map<std::string, std::string>;  // name, content (or, for links, target)

// Eight points round the origin, as a point list and as a drawing.
const std::vector<std::pair<std::string, std::string>> points = {
    {"100", "0"}, {"0", "60"}, {"-100", "0"}, {"0", "-60"},
    {"70.7", "42.4"}, {"-70.7", "42.4"}, {"-70.7", "-42.4"}, {"70.7", "-42.4"}};

std::string pointListOf() {
    std::string text = "8\r\n";
    for (const auto& [x, y] : points) text += x + " " + y + "\r\n";
    return text;
}
const std::string pointList = pointListOf();

std::string drawingOf() {
    std::string text = crlf({"  0", "SECTION", "  2", "ENTITIES", "  0", "POLYLINE", "  8", "0", " 66", "     1"});
    for (const auto& [x, y] : points) text += crlf({"  0", "VERTEX", "  8", "0", " 10", x, " 20", y});
    return text + crlf({"  0", "SEQEND", "  0", "ENDSEC", "  0", "EOF"});
}
const std::string drawing = drawingOf();

// The answers after the file name: centre, rotation, OA, OB, OC, DC, AE.
const std::string start = "0\n0\n0\n100\n60\n40\n25\n50\n";
const std::string coefficientsOfPoints = crlf({"punti.txt", "8", "100", "60", "0", "0", "0", "40", "25", "50"});

// What a previous run left in the folder.
const std::string previousReport = "report of the previous run\r\n";
const std::string previousCoefficients = crlf({"punti.txt", "8", "1", "2", "3", "4", "5", "6", "7", "8"});

/// Every entry of the folder but the runner's own files, with its bytes (through links) and,
/// for a symbolic link, where it points.
std::map<std::string, std::string> folderContents(const fs::path& dir) {
    std::map<std::string, std::string> contents;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.front() == '.') continue;
        const std::string link = entry.is_symlink() ? "link to " + fs::read_symlink(entry.path()).string() + ": " : "";
        contents[name] = link + readFile(entry.path());
    }
    return contents;
}

// ---------------------------------------------------------------- runs that change nothing

struct UntouchedRow {
    std::string name;
    Files files;
    Files symlinks;   // link, target
    Files hardLinks;  // link, target
    std::string answers;
    int status;
    bool runtimeErrorLine;
    std::vector<std::string> sentenceHolds;
};

void PrintTo(const UntouchedRow& row, std::ostream* os) { *os << row.name; }

class UntouchedFolder : public ::testing::TestWithParam<UntouchedRow> {};

TEST_P(UntouchedFolder, KeepsTheInputAndThePreviousRunsFiles) {
    const UntouchedRow& row = GetParam();
    const fs::path dir = scratchDirectory("untouched_" + row.name);
    for (const auto& [name, text] : row.files) writeFile(dir / name, text);
    for (const auto& [link, target] : row.symlinks) fs::create_symlink(target, dir / link);
    for (const auto& [link, target] : row.hardLinks) fs::create_hard_link(dir / target, dir / link);
    const auto before = folderContents(dir);
    ASSERT_TRUE(before.count("kelmar.txt") && before.count("kelmar.coe") && before.count("kelmar.dxf"));

    const auto run = runProgramIn(dir, row.answers);
    EXPECT_EQ(run.status, row.status) << run.err;
    EXPECT_EQ(endsWithRuntimeError(run.out, row.status), row.runtimeErrorLine) << run.out;
    for (const std::string& piece : row.sentenceHolds) {
        EXPECT_NE(run.err.find(piece), std::string::npos) << "stderr: " << run.err << "\nmissing: " << piece;
    }
    EXPECT_TRUE(folderContents(dir) == before) << "a file of the folder changed";
}

const Files previousRun = {{"kelmar.txt", previousReport}, {"kelmar.coe", previousCoefficients},
                           {"kelmar.dxf", drawing}};

Files with(Files files, const Files& more) {
    for (const auto& [name, text] : more) files[name] = text;
    return files;
}

constexpr int dataError = 65;
constexpr int invalidNumber = 106;
const std::string lost = "so its content would be lost: rename or copy it, and give the new name";

INSTANTIATE_TEST_SUITE_P(
    Runs, UntouchedFolder,
    ::testing::Values(
        UntouchedRow{"OutputDrawingTyped", previousRun, {}, {}, "kelmar.dxf\n" + start, dataError, false,
                     {"the input 'kelmar.dxf' is the same file as kelmar.dxf, which this run replaces with its drawing",
                      lost}},
        UntouchedRow{"OutputDrawingThroughTheFolder", previousRun, {}, {}, "./kelmar.dxf\n" + start, dataError, false,
                     {"the input './kelmar.dxf' is the same file as kelmar.dxf"}},
        UntouchedRow{"OutputReportTyped", with(previousRun, {{"kelmar.txt", pointList}}), {}, {},
                     "kelmar.txt\n" + start, dataError, false,
                     {"the input 'kelmar.txt' is the same file as kelmar.txt, which this run replaces with its report"}},
        UntouchedRow{"SymbolicLinkToTheReport", with(previousRun, {{"kelmar.txt", pointList}}), {{"ring.txt", "kelmar.txt"}},
                     {}, "ring.txt\n" + start, dataError, false,
                     {"the input 'ring.txt' is the same file as kelmar.txt"}},
        UntouchedRow{"HardLinkToTheDrawing", previousRun, {}, {{"plan.dxf", "kelmar.dxf"}}, "plan.dxf\n" + start,
                     dataError, false, {"the input 'plan.dxf' is the same file as kelmar.dxf"}},
        UntouchedRow{"PointsNamedByACoefficientFileAreTheDrawing",
                     with(previousRun, {{"start.coe", crlf({"kelmar.dxf", "8", "100", "60", "0", "0", "0", "40", "25",
                                                            "50"})}}),
                     {}, {}, "start.coe\n", dataError, false,
                     {"the input 'kelmar.dxf', named on line 1 of 'start.coe', is the same file as kelmar.dxf"}},
        UntouchedRow{"CoefficientFileIsTheReport",
                     with(previousRun, {{"kelmar.txt", coefficientsOfPoints}, {"punti.txt", pointList}}), {},
                     {{"start.coe", "kelmar.txt"}}, "start.coe\n", dataError, false,
                     {"the input 'start.coe' is the same file as kelmar.txt"}},
        UntouchedRow{"DecimalCommaAtTheFifthAnswer", with(previousRun, {{"punti.txt", pointList}}), {}, {},
                     "punti.txt\n0\n0\n3\n28\n30,5\n", invalidNumber, true, {"the answer '30,5' is not a number"}},
        UntouchedRow{"WordAtTheLastAnswer", with(previousRun, {{"punti.txt", pointList}}), {}, {},
                     "punti.txt\n0\n0\n0\n100\n60\n40\n25\ncinquanta\n", invalidNumber, true,
                     {"the answer 'cinquanta' is not a number"}}),
    [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------- what a run says

struct SayingRow {
    std::string name;
    Files files;
    std::string answers;
    int status;
    std::vector<std::string> stderrHolds;
    std::vector<std::string> stderrLacks;
};

void PrintTo(const SayingRow& row, std::ostream* os) { *os << row.name; }

class RunSays : public ::testing::TestWithParam<SayingRow> {};

std::size_t occurrences(const std::string& text, const std::string& piece) {
    std::size_t count = 0;
    for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++count;
    return count;
}

TEST_P(RunSays, WhatHappenedOnStandardError) {
    const SayingRow& row = GetParam();
    const fs::path dir = scratchDirectory("says_" + row.name);
    for (const auto& [name, text] : row.files) writeFile(dir / name, text);

    const auto run = runProgramIn(dir, row.answers);
    EXPECT_EQ(run.status, row.status) << run.err;
    for (const std::string& piece : row.stderrHolds) {
        EXPECT_NE(run.err.find(piece), std::string::npos) << "stderr: " << run.err << "\nmissing: " << piece;
    }
    for (const std::string& piece : row.stderrLacks) {
        EXPECT_EQ(run.err.find(piece), std::string::npos) << "stderr: " << run.err << "\nunexpected: " << piece;
    }
    // Every fit says once how it ended; the console never carries a note.
    EXPECT_EQ(occurrences(run.err, "kelmar: note: the fit stopped at checkpoint "), row.status == 0 ? 1u : 0u);
    EXPECT_EQ(run.out.find("kelmar:"), std::string::npos);
}

const std::string square = crlf({"4", "1 1", "-1 1", "-1 -1", "1 -1"});
const std::string guessHint =
    "'kelmar guess punti.txt' prints starting values for these questions, and 'kelmar fit punti.txt' fits";

INSTANTIATE_TEST_SUITE_P(
    Runs, RunSays,
    ::testing::Values(
        SayingRow{"UpperCaseTIsReadAsADrawing", {{"ARENA.TXT", square}}, "ARENA.TXT\n", dataError,
                  {"kelmar: note: 'ARENA.TXT' is read as a DXF drawing: only a name ending in a lower-case t is read "
                   "as a point list",
                   "'ARENA.TXT' has no line ENTITIES"},
                  {}},
        SayingRow{"UpperCaseEIsReadAsADrawing", {{"START.COE", coefficientsOfPoints}}, "START.COE\n", dataError,
                  {"'START.COE' is read as a DXF drawing: only a name ending in a lower-case e is loaded as a "
                   "coefficient file"},
                  {}},
        SayingRow{"FewerPointsThanCoefficients", {{"square.txt", square}},
                  "square.txt\n0\n0\n0\n1\n0.5\n0.3\n0.2\n0.5\n", 0,
                  {"kelmar: note: 'square.txt' holds 4 points for 8 coefficients",
                   "the fit stopped at checkpoint 3, after 1500 walk evaluations: the residual had fallen by less than "
                   "1e-10 since the best earlier checkpoint"},
                  {"warning", "standard input ended"}},
        SayingRow{"AnswersEndAtTheFifthQuestion", {{"punti.txt", pointList}}, "punti.txt\n0\n0\n0\n100\n", 0,
                  {"kelmar: note: standard input ended before the answer to 'Distanza approssimata OB' (question 5 of "
                   "8): it and the 3 questions after it were taken as 0"},
                  {"points for"}},
        SayingRow{"AnswersEndAtTheLastQuestion", {{"punti.txt", pointList}}, "punti.txt\n0\n0\n0\n100\n60\n40\n25", 0,
                  {"standard input ended before the answer to 'Valore approssimato del raggio AE curva  1' (question "
                   "8 of 8): it was taken as 0"},
                  {}},
        // The zeros typed for OB and OC start from 1.111e-6 each, and OB grows without bound.
        SayingRow{"TypedZerosForOBAndOCRunAway", {{"punti.txt", pointList}}, "punti.txt\n0\n0\n0\n100\n0\n0\n25\n50\n", 0,
                  {"the fit stopped at checkpoint 3, after 1500 walk evaluations: the residual had fallen by less "
                   "than 1e-10",
                   "kelmar: warning: the fitted oval is out of all proportion to the points, which span 200: "
                   "OB = -3.16018e+97 (",
                   guessHint},
                  {"standard input ended", "not a proper"}},
        SayingRow{"DcBeyondBAtTheCheckpointLimit", {{"punti.txt", pointList}}, "punti.txt\n0\n0\n0\n50\n60\n40\n25\n50\n", 0,
                  {"the fit stopped at checkpoint 102, after 51000 walk evaluations: it reached the limit of 100 "
                   "progress summaries",
                   "kelmar: warning: the fitted oval is not a proper eight-centre construction: DC (114.041) is not "
                   "shorter than C1B1 (113.19)",
                   guessHint},
                  {"out of all proportion"}}),
    [](const auto& info) { return info.param.name; });

}  // namespace
