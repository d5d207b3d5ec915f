// kelmar fit and kelmar guess, run as a user runs them: arguments, exit status, standard output
// and error, and the files they write or leave alone.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "fit/own_frame_arc.hpp"
#include "input/input_kind.hpp"
#include "oval_sampling.hpp"
#include "support/crlf_text.hpp"
#include "support/noisy_ovals.hpp"
#include "support/program_runner.hpp"

namespace {

namespace fs = std::filesystem;
using kelmartest::ProgramRun;

constexpr double degree = M_PI / 180;
const std::vector<std::string> outputNames = {"kelmar.txt", "kelmar.coe", "kelmar.dxf",
                                              "kelmar.json", "kelmar.svg", "kelmar.gpkg"};

using kelmartest::runKelmar;

/// Three rings of the generator's default oval turned by 40 degrees about (120, -80), 60 points
/// each, as a DXF drawing.
CoefficientVector turnedTruth() {
    CoefficientVector v;
    v.values = {10, 6, 120, -80, 40 * degree, 8, 5, 2, 3, 4};
    return v;
}

std::string turnedDrawing(std::vector<std::size_t> slips = {}) {
    CurveStore store = curveStoreOf(sampleOvalFamily(turnedTruth(), 60, 0.01L, 9));
    for (const std::size_t slip : slips) store.curves[0].x[slip] += 2;
    return kelmartest::dxfOf(store, 6);
}

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// ---------------------------------------------------------------- runs that cannot start

struct RefusedRow {
    std::string name;
    std::vector<std::string> arguments;
    int status;
    std::string sentence;  // a part of the one line on standard error
};
void PrintTo(const RefusedRow& row, std::ostream* os) { *os << row.name; }

class RefusedRun : public ::testing::TestWithParam<RefusedRow> {};

TEST_P(RefusedRun, EndsWithItsStatusAndSentenceAndWritesNothing) {
    const fs::path dir = kelmartest::scratchDirectory("fit_refused");
    kelmartest::writeFile(dir / "plan.dxf", turnedDrawing());
    kelmartest::writeFile(dir / "comma.txt", "3\n0 0\n1 1\n2,5 3\n");
    kelmartest::writeFile(dir / "line.txt", "6\n0 0\n1 2\n2 4\n3 6\n4 8\n5 10\n");
    kelmartest::writeFile(dir / "afile", "not a folder\n");
    kelmartest::writeFile(dir / "kelmar.txt", "an earlier report\n");
    // An oval some 30 units across, 1e15 from the origin, where doubles lie 0.125 apart.
    kelmartest::writeFile(dir / "far.txt", "6\n1e15 0\n1000000000000030 0\n1000000000000015 15\n"
                                           "1000000000000015 -15\n1000000000000004 10\n1000000000000026 -10\n");
    kelmartest::writeFile(dir / "slip.txt", "9\n10 0\n7.07 7.07\n0 10\n-7.07 7.07\n-10 0\n-7.07 -7.07\n0 -10\n"
                                            "7.07 -7.07\n1e99 -1e99\n");
    kelmartest::writeFile(dir / "tiny.txt", "6\n0 0\n3e-8 0\n1.5e-8 1.5e-8\n1.5e-8 -1.5e-8\n4e-9 1e-8\n2.6e-8 -1e-8\n");
    kelmartest::writeFile(dir / "kelmar.gpkg", "an earlier GeoPackage\n");
    fs::create_symlink("nowhere", dir / "dangling");

    const ProgramRun run = runKelmar(dir, GetParam().arguments);
    EXPECT_EQ(run.status, GetParam().status);
    EXPECT_NE(run.err.find(GetParam().sentence), std::string::npos) << run.err;
    EXPECT_EQ(countOf(run.err, "\n"), 1u) << run.err;
    EXPECT_EQ(kelmartest::readFile(dir / "kelmar.txt"), "an earlier report\n");
    EXPECT_EQ(kelmartest::readFile(dir / "kelmar.gpkg"), "an earlier GeoPackage\n");
    for (const std::string& name : outputNames) {
        if (name != "kelmar.txt" && name != "kelmar.gpkg") {
            EXPECT_FALSE(fs::exists(dir / name)) << name;
        }
    }
    EXPECT_FALSE(fs::exists(dir / "out"));
}

INSTANTIATE_TEST_SUITE_P(
    FitCommand, RefusedRun,
    ::testing::Values(
        RefusedRow{"startNotANumber", {"fit", "plan.dxf", "--start", "1,2,x,4,5,6,7,8,9,10"}, 64, "value 3 of --start"},
        RefusedRow{"startWithADecimalComma", {"fit", "plan.dxf", "--start", "1,2;5"}, 64, "value 2 of --start"},
        RefusedRow{"startTooShort", {"fit", "plan.dxf", "--start", "1,2,3"}, 64, "at least 8"},
        RefusedRow{"startForOtherRings", {"fit", "plan.dxf", "--start", "0,0,0,10,6,8,5,2", "--out", "out"}, 64,
                   "the 3 rings of 'plan.dxf' need 10"},
        RefusedRow{"unknownOption", {"fit", "plan.dxf", "--fast"}, 64, "--fast"},
        RefusedRow{"outIsAFile", {"fit", "plan.dxf", "--out", "afile"}, 64, "'afile' is a file"},
        RefusedRow{"missingPlan", {"fit", "nowhere.dxf", "--out", "out"}, 65, "cannot open 'nowhere.dxf'"},
        RefusedRow{"numberWithAComma", {"fit", "comma.txt"}, 65, "use a point as the decimal separator"},
        RefusedRow{"pointsOnALine", {"fit", "line.txt", "--out", "out"}, 65, "give them with --start"},
        RefusedRow{"guessOfAMissingPlan", {"guess", "nowhere.dxf"}, 65, "cannot open 'nowhere.dxf'"},
        RefusedRow{"planIsAnOutput", {"fit", "./kelmar.txt"}, 65, "is the same file as ./kelmar.txt"},
        RefusedRow{"outIsADanglingLink", {"fit", "plan.dxf", "--out", "dangling"}, 73, "which does not exist"},
        RefusedRow{"outThroughAFile", {"fit", "plan.dxf", "--out", "afile/out"}, 73, "part of its path is a file"},
        RefusedRow{"outCheckedBeforeThePlan", {"fit", "nowhere.dxf", "--out", "afile/out"}, 73, "--out 'afile/out'"},
        RefusedRow{"lineBreakInThePlansName", {"fit", "plan\n.dxf"}, 64, "holds a line break"},
        RefusedRow{"guessOfANameTheDialogueLoadsAsCoefficients", {"guess", "plan.dxf.save"}, 64, "ends in e"},
        RefusedRow{"planIsTheGeoPackage", {"fit", "kelmar.gpkg"}, 65, "is the same file as ./kelmar.gpkg"},
        RefusedRow{"coordinatesTooCoarseFarFromTheOrigin", {"fit", "far.txt"}, 65,
                   "lie up to 1e+15 from the origin, where numbers are 0.125 apart, more than a thousandth of the 30"},
        RefusedRow{"guessTooCoarseFarFromTheOrigin", {"guess", "far.txt"}, 65, "where numbers are 0.125 apart"},
        RefusedRow{"drawingTooSmall", {"fit", "tiny.txt"}, 65, "span only 3e-08, less than 1e-07"},
        RefusedRow{"slipSpoilsTheEllipse", {"fit", "slip.txt"}, 65, "a point lies far from its ring"}),
    [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------- a finished fit

nlohmann::json jsonIn(const fs::path& file) { return nlohmann::json::parse(kelmartest::readFile(file)); }

/// The coefficients (rotation in radians) that a kelmar.json reports.
CoefficientVector coefficientsOf(const nlohmann::json& j) {
    CoefficientVector c;
    c.values = {j["oa"].get<double>(), j["ob"].get<double>(), j["centre"]["x"].get<double>(),
                j["centre"]["y"].get<double>(), j["rotation_degrees"].get<double>() * degree,
                j["oc"].get<double>(), j["dc"].get<double>()};
    for (const auto& ring : j["rings"]) c.values.push_back(ring["ae"].get<double>());
    return c;
}

TEST(FitCommand, WritesItsFilesIntoANewFolderInTheDialoguesLayouts) {
    const fs::path dir = kelmartest::scratchDirectory("fit_files");
    kelmartest::writeFile(dir / "plan.dxf", turnedDrawing());
    // About 2 % off, the rotation in degrees: the solver has some iterations to report.
    const ProgramRun run =
        runKelmar(dir, {"fit", "plan.dxf", "--out", "results/first", "--start", "119.8,-80.2,41,10.2,5.9,8.1,5.1,2.1,3,4.1"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const fs::path out = dir / "results" / "first";
    for (const std::string& name : outputNames) ASSERT_TRUE(fs::exists(out / name)) << name;

    const nlohmann::json j = jsonIn(out / "kelmar.json");
    EXPECT_EQ(j["input"], "plan.dxf");
    EXPECT_EQ(j["stop_reason"], "converged");
    EXPECT_EQ(j["proper"], true);
    EXPECT_NEAR(j["rotation_degrees"].get<double>(), 40, 0.5);  // positive turns clockwise, as typed
    EXPECT_NEAR(j["centre"]["x"].get<double>(), 120, 0.05);
    ASSERT_EQ(j["rings"].size(), 3u);
    for (const char* key : {"oa", "ob", "oc", "dc", "rotation_degrees"}) {
        EXPECT_GT(j["standard_errors"][key].get<double>(), 0) << key;
    }
    EXPECT_GT(j["standard_errors"]["rings"][2]["semi_minor"].get<double>(), 0);
    EXPECT_EQ(j["rings"][1]["points"], 60);
    // The rms is the own-frame rms of the oval the file reports.
    CurveStore curves;
    ASSERT_FALSE(readPointsFile((dir / "plan.dxf").string(), curves).has_value());
    const OwnFrameDeviations d = ownFrameDeviations(coefficientsOf(j), curves);
    EXPECT_NEAR(j["rms"].get<double>(), static_cast<double>(d.rms), 1e-12);
    EXPECT_NEAR(j["rings"][0]["rms"].get<double>(), static_cast<double>(d.curveRms[0]), 1e-12);

    // The report: one summary per accepted iteration, as many as the console's lines for them,
    // then the final residual, coefficients and oval, and the points with their deviations.
    const std::string report = kelmartest::readFile(out / "kelmar.txt");
    const std::size_t iterations = countOf(run.out, "\r\niteration ") - countOf(run.out, "step rejected");
    EXPECT_GT(iterations, 0u);
    EXPECT_EQ(countOf(report, "Delta X centro"), iterations + 1);
    EXPECT_NE(report.find("Valore iniziale coefficiente 5 =   41.000000000\r\n"), std::string::npos);
    EXPECT_NE(report.find("Valori finali ovale\r\n"), std::string::npos);
    EXPECT_EQ(countOf(report, "SQM curva "), 3u);
    // kelmar.coe names the plan as seen from its own folder, where the dialogue reads it.
    EXPECT_EQ(kelmartest::readFile(out / "kelmar.coe").substr(0, 20), "../../plan.dxf\r\n10\r\n");
    // The drawing: every point on the layer of the listing's mark, and eight arcs a ring.
    const std::string drawing = kelmartest::readFile(out / "kelmar.dxf");
    EXPECT_EQ(countOf(drawing, "\r\nPOINT\r\n"), 180u);
    EXPECT_EQ(countOf(drawing, "\r\nARC\r\n"), 24u);
    EXPECT_EQ(countOf(drawing, "\r\nMaggiore_scarto_doppio\r\n"), countOf(report, "  **\r\n"));
    EXPECT_NE(run.out.find("written: results/first/kelmar.txt"), std::string::npos);
    EXPECT_NE(run.out.find(", results/first/kelmar.gpkg\r\n"), std::string::npos) << run.out;
    // The GeoPackage opens with GDAL's own tool: three layers, one point feature per point.
    if (std::system("command -v ogrinfo > /dev/null 2>&1") == 0) {
        const std::string command = "ogrinfo -ro -so '" + (out / "kelmar.gpkg").string() +
                                    "' ovals points construction > '" + (dir / ".ogrinfo").string() + "' 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0);
        const std::string listing = kelmartest::readFile(dir / ".ogrinfo");
        EXPECT_EQ(countOf(listing, "Layer name: "), 3u) << listing;
        EXPECT_NE(listing.find("Feature Count: 180\n"), std::string::npos) << listing;
    }
    // The picture is drawn from the same entities as the drawing: what kelmar svg draws from the
    // drawing is the same geometry, path for path (the labels of the fit's picture name each
    // ring's source, which the drawing does not hold, so the scale of the two may differ, and with
    // it the length of the deviations' whiskers, which are drawn to the picture's scale).
    ASSERT_EQ(runKelmar(out, {"svg", "kelmar.dxf", "again.svg"}).status, 0);
    auto drawingGroup = [](const std::string& svg) {
        const std::size_t start = svg.find("<g id=\"drawing\"");
        const std::string group =
            start == std::string::npos ? std::string() : svg.substr(start, svg.find("</g>", start) - start);
        std::string paths;
        for (std::size_t at = group.find("<path class=\""); at != std::string::npos;
             at = group.find("<path class=\"", at + 1)) {
            const std::size_t d = group.find(" d=\"", at);
            if (group.compare(at, 21, "<path class=\"whiskers") == 0 || d == std::string::npos) continue;
            paths += group.substr(at, group.find('"', at + 13) - at) + group.substr(d, group.find('"', d + 4) - d) + "\n";
        }
        return paths;
    };
    const std::string group = drawingGroup(kelmartest::readFile(out / "kelmar.svg"));
    EXPECT_GT(group.size(), 1000u);
    EXPECT_TRUE(group == drawingGroup(kelmartest::readFile(out / "again.svg")));
}

TEST(FitCommand, RobustFitListsTheSlip) {
    const fs::path dir = kelmartest::scratchDirectory("fit_robust");
    kelmartest::writeFile(dir / "plan.dxf", turnedDrawing({17}));
    const ProgramRun run = runKelmar(dir, {"fit", "plan.dxf", "--robust"});
    ASSERT_EQ(run.status, 0) << run.err;
    const nlohmann::json j = jsonIn(dir / "kelmar.json");
    ASSERT_EQ(j["robust"]["down_weighted"].size(), 1u);
    EXPECT_EQ(j["robust"]["down_weighted"][0]["ring"], 1);
    EXPECT_EQ(j["robust"]["down_weighted"][0]["point"], 18);
    EXPECT_NE(run.out.find("ring 1 point 18"), std::string::npos);
}

TEST(FitCommand, AnEmptyPolylineIsNoRing) {
    const fs::path dir = kelmartest::scratchDirectory("fit_empty_ring");
    std::string drawing = turnedDrawing();
    drawing.insert(drawing.find("  0\r\nPOLYLINE"), "  0\r\nPOLYLINE\r\n  8\r\n0\r\n  0\r\nSEQEND\r\n");
    kelmartest::writeFile(dir / "plan.dxf", drawing);
    const ProgramRun run = runKelmar(dir, {"fit", "plan.dxf"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err.find("has no points"), std::string::npos) << run.err;
    const nlohmann::json j = jsonIn(dir / "kelmar.json");
    ASSERT_EQ(j["rings"].size(), 3u);
    EXPECT_EQ(j["rings"][0]["points"], 60);
}

TEST(FitCommand, AGeoPackageThatCannotBeWrittenEndsTheRunWithTheSystemsError) {
    const fs::path dir = kelmartest::scratchDirectory("fit_blocked_gpkg");
    kelmartest::writeFile(dir / "plan.dxf", turnedDrawing());
    fs::create_directories(dir / "kelmar.gpkg");
    kelmartest::writeFile(dir / "kelmar.gpkg" / "keep", "x");
    const ProgramRun run = runKelmar(dir, {"fit", "plan.dxf"});
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.status, 64);
    EXPECT_NE(run.status, 65);
    EXPECT_EQ(run.status, EISDIR);
    EXPECT_NE(run.err.find("cannot create 'kelmar.gpkg': Is a directory; nothing was replaced"), std::string::npos)
        << run.err;
    EXPECT_EQ(countOf(run.err, "\n"), 1u) << run.err;
    EXPECT_TRUE(fs::exists(dir / "kelmar.gpkg" / "keep"));
}

// ---------------------------------------------------------------- answers for the dialogue

TEST(GuessCommand, AnswersTheDialogueAndSaysWhenItWillNotSuit) {
    const fs::path dir = kelmartest::scratchDirectory("guess");
    kelmartest::writeFile(dir / "plan.dxf", turnedDrawing());
    const ProgramRun guess = runKelmar(dir, {"guess", "plan.dxf"});
    ASSERT_EQ(guess.status, 0) << guess.err;
    const std::vector<std::string> lines = kelmartest::linesOf(guess.out);
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[0], "plan.dxf");
    EXPECT_NEAR(std::stod(lines[3]), 40, 0.5);  // the rotation, in degrees
    EXPECT_NE(guess.err.find("'kelmar fit plan.dxf'"), std::string::npos) << guess.err;
    // The dialogue takes the answers as they are.
    const ProgramRun dialogue = kelmartest::runProgramIn(dir, guess.out);
    EXPECT_EQ(dialogue.status, 0) << dialogue.err;
    EXPECT_NE(dialogue.out.find("Distanza approssimata DC           "), std::string::npos);

    // A drawing about the origin with little rotation suits the dialogue: no note.
    fs::copy_file(fs::path(KELMAR_TEST_DATA) / "golden" / "amphitheatre" / "amphitheatre.dxf", dir / "example.dxf");
    const ProgramRun example = runKelmar(dir, {"guess", "example.dxf"});
    EXPECT_EQ(example.status, 0);
    EXPECT_EQ(example.err, "");
}

}  // namespace
