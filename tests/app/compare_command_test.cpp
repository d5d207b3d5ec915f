// kelmar compare run as a user runs it: arguments, exit status, the table and verdict on standard
// output, and compare.json and compare.svg written together or not at all.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "oval_sampling.hpp"
#include "support/crlf_text.hpp"
#include "support/noisy_ovals.hpp"
#include "support/program_runner.hpp"

namespace {

namespace fs = std::filesystem;
using kelmartest::ProgramRun;
using kelmartest::runKelmar;

constexpr double degree = M_PI / 180;

/// Three rings of an eight-centre oval turned by 40 degrees about (120, -80), 200 points each
/// with noise of a fifth of a thousandth of their size, as a DXF drawing.
std::string eightCentreDrawing() {
    CoefficientVector v;
    v.values = {10, 6, 120, -80, 40 * degree, 8, 5, 2, 3, 4};
    return kelmartest::dxfOf(curveStoreOf(sampleOvalFamily(v, 200, 0.002L, 9)), 6);
}

struct RefusedRow {
    std::string name;
    std::vector<std::string> arguments;
    int status;
    std::string sentence;  // a part of the one line on standard error
};
void PrintTo(const RefusedRow& row, std::ostream* os) { *os << row.name; }

class RefusedComparison : public ::testing::TestWithParam<RefusedRow> {};

TEST_P(RefusedComparison, EndsWithItsStatusAndSentenceAndWritesNothing) {
    const fs::path dir = kelmartest::scratchDirectory("compare_refused");
    kelmartest::writeFile(dir / "plan.dxf", eightCentreDrawing());
    kelmartest::writeFile(dir / "line.txt", "6\n0 0\n1 2\n2 4\n3 6\n4 8\n5 10\n");
    kelmartest::writeFile(dir / "far.txt", "6\n1e15 0\n1000000000000030 0\n1000000000000015 15\n"
                                           "1000000000000015 -15\n1000000000000004 10\n1000000000000026 -10\n");
    kelmartest::writeFile(dir / "afile", "not a folder\n");
    kelmartest::writeFile(dir / "compare.json", "an earlier comparison\n");
    const ProgramRun run = runKelmar(dir, GetParam().arguments);
    EXPECT_EQ(run.status, GetParam().status);
    EXPECT_NE(run.err.find(GetParam().sentence), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(kelmartest::readFile(dir / "compare.json"), "an earlier comparison\n");
    EXPECT_FALSE(fs::exists(dir / "compare.svg"));
    EXPECT_FALSE(fs::exists(dir / "out"));
}

INSTANTIATE_TEST_SUITE_P(
    CompareCommand, RefusedComparison,
    ::testing::Values(
        RefusedRow{"pointsOnALine", {"compare", "line.txt"}, 65, "no ring of 'line.txt' yields an ellipse"},
        RefusedRow{"missingPlan", {"compare", "nowhere.dxf", "--out", "out"}, 65, "cannot open 'nowhere.dxf'"},
        RefusedRow{"planIsAnOutput", {"compare", "./compare.json"}, 65, "is the same file as ./compare.json"},
        RefusedRow{"coordinatesTooCoarse", {"compare", "far.txt"}, 65, "where numbers are 0.125 apart"},
        RefusedRow{"outIsAFile", {"compare", "plan.dxf", "--out", "afile"}, 64, "'afile' is a file"},
        RefusedRow{"outThroughAFile", {"compare", "plan.dxf", "--out", "afile/out"}, 73, "part of its path is a file"},
        RefusedRow{"unknownOption", {"compare", "plan.dxf", "--model", "ellipse"}, 64, "'kelmar compare' has no option"},
        RefusedRow{"noPlan", {"compare"}, 64, "PLAN"}),
    [](const auto& info) { return info.param.name; });

TEST(CompareCommand, WeighsTheThreeCurvesAndWritesBothFiles) {
    const fs::path dir = kelmartest::scratchDirectory("compare_files");
    kelmartest::writeFile(dir / "plan.dxf", eightCentreDrawing());
    const ProgramRun run = runKelmar(dir, {"compare", "plan.dxf", "--out", "results"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::vector<std::string> lines = kelmartest::linesOf(run.out);
    ASSERT_EQ(lines.size(), 7u) << run.out;
    EXPECT_EQ(lines[0], "kelmar compare 'plan.dxf': 3 rings, 600 points");
    EXPECT_EQ(lines[1].substr(0, 5), "model");
    // The models in the registry's order.
    EXPECT_EQ(lines[2].substr(0, 12), "eight-centre");
    EXPECT_EQ(lines[3].substr(0, 11), "four-centre");
    EXPECT_EQ(lines[4].substr(0, 7), "ellipse");
    EXPECT_NE(lines[2].find(" best "), std::string::npos) << lines[2];
    EXPECT_EQ(lines[6], "written: results/compare.json, results/compare.svg");

    const nlohmann::json j = nlohmann::json::parse(kelmartest::readFile(dir / "results" / "compare.json"));
    EXPECT_EQ(j["input"], "plan.dxf");
    EXPECT_EQ(j["points"], 600);
    EXPECT_EQ(j["best"], "eight-centre");
    EXPECT_EQ(j["verdict"], lines[5]);
    ASSERT_EQ(j["models"].size(), 3u);
    const std::vector<std::string> names{"eight-centre", "four-centre", "ellipse"};
    // Parameters: the placement (3), the shape (4, 2, 0) and per ring (1, 1, 2).
    const std::vector<int> parameters{10, 8, 9};
    for (std::size_t k = 0; k < 3; ++k) {
        const nlohmann::json& m = j["models"][k];
        EXPECT_EQ(m["model"], names[k]);
        EXPECT_EQ(m["fitted"], true);
        EXPECT_EQ(m["parameters"], parameters[k]);
        EXPECT_EQ(m["values"].size(), static_cast<std::size_t>(parameters[k]));
        EXPECT_EQ(m["points"], 600);
        // The criteria follow from the RMS: n ln(rms^2) + k ln n.
        const double rms = m["rms"].get<double>();
        EXPECT_NEAR(m["bic"].get<double>(), 600 * std::log(rms * rms) + parameters[k] * std::log(600.0), 1e-6);
        EXPECT_NEAR(m["aic"].get<double>(), 600 * std::log(rms * rms) + 2 * parameters[k], 1e-6);
        ASSERT_EQ(m["rings"].size(), 3u);
        EXPECT_EQ(m["rings"][2]["points"], 200);
        // Where each ring came from, as kelmar.json says it: the drawing's layer.
        EXPECT_EQ(m["rings"][0]["source"], "0");
        // Ring 3 of the drawing: AE 4 and OA 10 make its semi-major axis 14; the other curves
        // come near it.
        EXPECT_NEAR(m["rings"][2]["semi_major"].get<double>(), 14, k == 0 ? 0.005 : 0.5) << names[k];
    }
    EXPECT_EQ(j["models"][0]["bic_difference"], 0.0);
    EXPECT_GT(j["models"][2]["bic_difference"].get<double>(), 10);
    EXPECT_NEAR(j["models"][0]["rms"].get<double>(), 0.002 / std::sqrt(3.0), 0.0003);
    // The eight-centre oval's places of C and D are fractions of their segments.
    EXPECT_EQ(j["models"][0]["values"][5]["unit"], "fraction");

    // The picture: a band of each model, one point mark per point.
    const std::string svg = kelmartest::readFile(dir / "results" / "compare.svg");
    for (const std::string& name : names) EXPECT_NE(svg.find("<g id=\"" + name + "\">"), std::string::npos) << name;
    std::size_t marks = 0;
    for (std::size_t at = svg.find("<circle cx"); at != std::string::npos; at = svg.find("<circle cx", at + 1)) ++marks;
    EXPECT_EQ(marks, 3u * 600u + 3u);  // and the legend's three ring marks
    if (std::system("command -v rsvg-convert > /dev/null 2>&1") == 0) {
        const std::string command = "rsvg-convert -o '" + (dir / "compare.png").string() + "' '" +
                                    (dir / "results" / "compare.svg").string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }
}

}  // namespace
