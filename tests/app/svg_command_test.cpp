// `kelmar svg` on the drawing of the golden amphitheatre run: the picture is well-formed XML,
// renders with the points and arcs where the drawing has them, carries the drawing's numbers,
// measures the fit's residual and semi-axes from the arcs, and never touches the drawing.
// Drawings it cannot use leave an earlier picture as it was.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "drawing/drawing_entities.hpp"
#include "drawing/svg_paths.hpp"
#include "support/program_runner.hpp"

namespace {

using kelmartest::readFile;
using kelmartest::scratchDirectory;
using kelmartest::writeFile;

const std::string goldenDir = std::string(KELMAR_TEST_DATA) + "/golden/amphitheatre";
// The drawing's name holds what XML must escape and what a shell must quote.
const std::string drawingName = "rings & walls.dxf";
const std::string pictureName = "rings & walls.svg";

kelmartest::ProgramRun runKelmar(const std::filesystem::path& dir, const std::string& arguments) {
    const std::string command =
        "cd '" + dir.string() + "' && '" + KELMAR_BINARY + "' " + arguments + " > .stdout 2> .stderr < /dev/null";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw), readFile(dir / ".stdout"),
            readFile(dir / ".stderr")};
}

bool haveTool(const std::string& tool) { return std::system(("command -v " + tool + " > /dev/null").c_str()) == 0; }

/// The POINT and ARC entities of a drawing in kelmar's layout, read independently of the program.
struct DxfEntity {
    std::string type, layer;
    std::map<int, double> groups;
};
std::vector<DxfEntity> entitiesOf(const std::string& dxf) {
    const std::vector<std::string> lines = kelmartest::linesOf(dxf);
    std::vector<DxfEntity> entities;
    for (std::size_t i = 0; i + 1 < lines.size(); i += 2) {
        const int code = std::stoi(lines[i]);
        if (code == 0) {
            entities.push_back({lines[i + 1], "", {}});
        } else if (code == 8) {
            entities.back().layer = lines[i + 1];
        } else if (code == 10 || code == 20 || code == 40 || code == 50 || code == 51) {
            entities.back().groups[code] = std::stod(lines[i + 1]);
        }
    }
    return entities;
}

constexpr double degrees = 3.14159265358979323846 / 180;

struct Pixels {
    int width = 0, height = 0;
    std::string rgb;
    /// How far the pixel at (x, y) is from `colour` ("#rrggbb"): the largest channel difference.
    int distance(int x, int y, const std::string& colour) const {
        if (x < 0 || y < 0 || x >= width || y >= height) return 255;
        int far = 0;
        for (int c = 0; c < 3; ++c) {
            const int want = std::stoi(colour.substr(1 + 2 * static_cast<std::size_t>(c), 2), nullptr, 16);
            const int have = static_cast<unsigned char>(rgb[3 * (static_cast<std::size_t>(y) * width + x) + c]);
            far = std::max(far, std::abs(want - have));
        }
        return far;
    }
};

class SvgOfTheAmphitheatre : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = scratchDirectory("svg_amphitheatre");
        std::filesystem::copy_file(goldenDir + "/kelmar.dxf", dir / drawingName);
        run = runKelmar(dir, "svg '" + drawingName + "'");
        svg = readFile(dir / pictureName);
        dxf = entitiesOf(readFile(dir / drawingName));
    }
    static inline std::filesystem::path dir;
    static inline kelmartest::ProgramRun run;
    static inline std::string svg;
    static inline std::vector<DxfEntity> dxf;
};

TEST_F(SvgOfTheAmphitheatre, WritesThePictureBesideTheDrawingAndLeavesTheDrawingAlone) {
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "wrote " + pictureName +
                           ": 3 rings, 288 points (169 within the RMS, 116 beyond the RMS, 3 beyond twice the RMS); "
                           "deviations drawn \u00d7 100\n");
    EXPECT_EQ(readFile(dir / drawingName), readFile(goldenDir + "/kelmar.dxf"));
}

TEST_F(SvgOfTheAmphitheatre, IsWellFormedXml) {
    if (!haveTool("xmllint")) GTEST_SKIP() << "xmllint (libxml2-utils) is not installed";
    EXPECT_EQ(std::system(("xmllint --noout '" + (dir / pictureName).string() + "'").c_str()), 0);
}

// Arc ends and points, in drawing order class by class, are the drawing's numbers to the
// hundredth of a pixel the picture promises.
TEST_F(SvgOfTheAmphitheatre, CarriesTheArcEndsAndPointsOfTheDrawing) {
    const svgtest::Placement placement = svgtest::placementOf(svg);
    ASSERT_GT(placement.scale, 0);
    const double tolerance = 0.01 / placement.scale;
    std::map<std::string, std::size_t> next;
    std::map<std::string, std::vector<std::vector<double>>> paths;
    for (const char* layer : {"archi", "Minore_scarto", "Scarto", "Maggiore_scarto_doppio"}) {
        paths[layer] = svgtest::subpathsOf(svg, layer);
    }
    std::size_t compared = 0;
    for (const DxfEntity& e : dxf) {
        if (e.type != "ARC" && e.type != "POINT") continue;
        ASSERT_TRUE(paths.count(e.layer)) << e.type << " on " << e.layer;
        const std::size_t i = next[e.layer]++;
        ASSERT_LT(i, paths[e.layer].size()) << e.layer;
        const std::vector<double>& p = paths[e.layer][i];
        const double cx = e.groups.at(10), cy = e.groups.at(20);
        if (e.type == "POINT") {
            ASSERT_EQ(p.size(), 3u);
            EXPECT_NEAR(p[0] + placement.originX, cx, tolerance) << e.layer << " point " << i;
            EXPECT_NEAR(p[1] + placement.originY, cy, tolerance) << e.layer << " point " << i;
        } else {
            ASSERT_EQ(p.size(), 9u);
            const double r = e.groups.at(40), start = e.groups.at(50) * degrees, end = e.groups.at(51) * degrees;
            EXPECT_NEAR(p[0] + placement.originX, cx + r * std::cos(start), tolerance) << "arc " << i;
            EXPECT_NEAR(p[1] + placement.originY, cy + r * std::sin(start), tolerance) << "arc " << i;
            EXPECT_NEAR(p[2], r, tolerance) << "arc " << i;
            EXPECT_NEAR(p[7] + placement.originX, cx + r * std::cos(end), tolerance) << "arc " << i;
            EXPECT_NEAR(p[8] + placement.originY, cy + r * std::sin(end), tolerance) << "arc " << i;
        }
        ++compared;
    }
    EXPECT_EQ(compared, 288u + 24u);
    for (const auto& [layer, subpaths] : paths) EXPECT_EQ(next[layer], subpaths.size()) << layer;
}

// The deviations measured from the drawn arcs give the fit's residual, and the arcs the
// semi-axes the report gives (the golden console and report of the same run).
TEST_F(SvgOfTheAmphitheatre, ShowsTheResidualAndSemiAxesOfTheRun) {
    const std::string console = readFile(goldenDir + "/console.txt");
    const double residual = std::stod(console.substr(console.rfind("Scarto ") + 7));
    const std::size_t rms = svg.find(">RMS ");
    ASSERT_NE(rms, std::string::npos);
    EXPECT_NEAR(std::stod(svg.substr(rms + 5)), residual, 1e-5);

    const std::string report = readFile(goldenDir + "/kelmar.txt");
    const std::size_t summary = report.rfind("Valori finali ovale");
    for (int ring = 1; ring <= 3; ++ring) {
        const std::size_t major = report.find("Semiasse max.     " + std::to_string(ring), summary);
        const std::size_t minor = report.find("S. min.", major);
        ASSERT_NE(minor, std::string::npos);
        const std::size_t label = svg.find(">ring " + std::to_string(ring) + ": semi-axes ");
        ASSERT_NE(label, std::string::npos) << "ring " << ring;
        const std::size_t times = svg.find("\u00d7", label);
        EXPECT_NEAR(std::stod(svg.substr(svg.find("axes ", label) + 5)), std::stod(report.substr(major + 19)), 5e-4);
        EXPECT_NEAR(std::stod(svg.substr(times + 2)), std::stod(report.substr(minor + 7)), 5e-4);
    }
}

// Rendered by librsvg, each point's pixel shows its class colour and the arcs show in theirs.
TEST_F(SvgOfTheAmphitheatre, RendersThePointsInTheirColoursAndTheArcs) {
    if (!haveTool("rsvg-convert") || !haveTool("/usr/bin/python3")) {
        GTEST_SKIP() << "rsvg-convert (librsvg2-bin) or python3 is not installed";
    }
    const std::string png = (dir / "picture.png").string();
    const std::string ppm = (dir / "picture.ppm").string();
    ASSERT_EQ(std::system(("rsvg-convert -o '" + png + "' '" + (dir / pictureName).string() + "'").c_str()), 0);
    ASSERT_EQ(std::system(("/usr/bin/python3 '" + std::string(KELMAR_TEST_DATA) + "/../app/png_to_ppm.py' '" + png +
                           "' '" + ppm + "'")
                              .c_str()),
              0);
    Pixels pixels;
    {
        std::ifstream in(ppm, std::ios::binary);
        std::string magic;
        int depth = 0;
        in >> magic >> pixels.width >> pixels.height >> depth;
        in.get();
        pixels.rgb.assign(std::istreambuf_iterator<char>(in), {});
        ASSERT_EQ(pixels.rgb.size(), 3u * pixels.width * pixels.height);
    }
    EXPECT_EQ(pixels.distance(2, 2, "#fbfbf8"), 0) << "the page's own background";

    const svgtest::Placement at = svgtest::placementOf(svg);
    std::map<std::string, std::pair<int, int>> shown;  // layer: points in their colour, points
    int arcSamples = 0, arcSamplesShown = 0;
    for (const DxfEntity& e : dxf) {
        if (e.type == "POINT") {
            const Layer layer = e.layer == "Minore_scarto" ? Layer::WithinResidual
                                : e.layer == "Scarto"      ? Layer::OverResidual
                                                           : Layer::TwiceOverResidual;
            const int x = static_cast<int>(at.pageX(e.groups.at(10)));
            const int y = static_cast<int>(at.pageY(e.groups.at(20)));
            shown[e.layer].first += pixels.distance(x, y, std::string(styleOf(layer).pictureColour)) <= 2 ? 1 : 0;
            ++shown[e.layer].second;
        } else if (e.type == "ARC") {
            // Points sit on the arcs and hide parts of them: every arc must show between them.
            int shownHere = 0;
            const double start = e.groups.at(50), sweep = std::fmod(e.groups.at(51) - start + 360, 360);
            for (int k = 1; k <= 9; ++k) {
                const double a = (start + sweep * k / 10) * degrees;
                const int x = static_cast<int>(at.pageX(e.groups.at(10) + e.groups.at(40) * std::cos(a)));
                const int y = static_cast<int>(at.pageY(e.groups.at(20) + e.groups.at(40) * std::sin(a)));
                int nearest = 255;
                for (int dx = -1; dx <= 1; ++dx) {
                    for (int dy = -1; dy <= 1; ++dy) {
                        nearest = std::min(nearest, pixels.distance(x + dx, y + dy, "#1c2533"));
                    }
                }
                shownHere += nearest <= 40 ? 1 : 0;
            }
            EXPECT_GE(shownHere, 1) << "an arc that does not show";
            arcSamples += 9;
            arcSamplesShown += shownHere;
        }
    }
    EXPECT_EQ(shown.size(), 3u);
    for (const auto& [layer, count] : shown) {
        EXPECT_GE(count.first * 100, count.second * 95) << layer << ": " << count.first << " of " << count.second;
    }
    EXPECT_EQ(arcSamples, 24 * 9);
    EXPECT_GE(arcSamplesShown * 100, arcSamples * 30);
}

// ---------------------------------------------------------------- drawings it cannot use

struct RejectCase {
    const char* name;
    std::string drawing;    // the text of plan.dxf ("" for no file)
    std::string arguments;  // after "kelmar svg"
    int status;
    std::string errorHolds;
};
void PrintTo(const RejectCase& c, std::ostream* os) { *os << c.name; }

class SvgCommandRejects : public ::testing::TestWithParam<RejectCase> {};

TEST_P(SvgCommandRejects, EndsWithItsStatusAndKeepsTheEarlierPicture) {
    const RejectCase& c = GetParam();
    const std::filesystem::path dir = scratchDirectory(std::string("svg_") + c.name);
    if (!c.drawing.empty()) writeFile(dir / "plan.dxf", c.drawing);
    writeFile(dir / "plan.svg", "an earlier picture");
    const kelmartest::ProgramRun run = runKelmar(dir, "svg " + c.arguments);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_NE(run.err.find(c.errorHolds), std::string::npos) << run.err;
    EXPECT_EQ(readFile(dir / "plan.svg"), "an earlier picture");
    if (!c.drawing.empty()) {
        EXPECT_EQ(readFile(dir / "plan.dxf"), c.drawing);
    }
}

const std::string golden = readFile(goldenDir + "/kelmar.dxf");

INSTANTIATE_TEST_SUITE_P(
    SvgCommand, SvgCommandRejects,
    ::testing::Values(
        RejectCase{"PictureWouldReplaceTheDrawing", golden, "plan.dxf ./plan.dxf", 64, "would replace the drawing"},
        RejectCase{"PointList", "3\r\n0 0\r\n10 0\r\n10 5.5\r\n", "plan.dxf", 65, "is not a DXF drawing"},
        RejectCase{"CutOff", golden.substr(0, golden.size() / 2), "plan.dxf", 65, "cut off"},
        RejectCase{"Missing", "", "plan.dxf", 65, "cannot open 'plan.dxf'"}),
    [](const ::testing::TestParamInfo<RejectCase>& info) { return std::string(info.param.name); });

TEST(SvgCommand, SkipsWhatKelmarDoesNotDrawWithOneNote) {
    const std::filesystem::path dir = scratchDirectory("svg_foreign");
    const std::string extra = "  0\r\nLWPOLYLINE\r\n  8\r\n0\r\n  0\r\nTEXT\r\n  8\r\nnote\r\n";
    const std::size_t entities = golden.find("ENTITIES\r\n") + 10;
    writeFile(dir / "plan.dxf", golden.substr(0, entities) + extra + extra + golden.substr(entities));
    const kelmartest::ProgramRun run = runKelmar(dir, "svg plan.dxf out.svg");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "kelmar: note: skipped 4 entities of 'plan.dxf' that kelmar does not draw: 2 LWPOLYLINE, 2 TEXT\n");
    EXPECT_EQ(svgtest::subpathsOf(readFile(dir / "out.svg"), "archi").size(), 24u);
}

TEST(SvgCommand, NamesOnlyTheCommonestKindsOfManySkippedEntities) {
    const std::filesystem::path dir = scratchDirectory("svg_many_foreign");
    std::string extra;
    for (int k = 0; k < 2000; ++k) extra += "  0\r\nTYPE" + std::to_string(k) + "\r\n  8\r\n0\r\n";
    extra += "  0\r\nTEXT\r\n  8\r\n0\r\n  0\r\nTEXT\r\n  8\r\n0\r\n";
    const std::size_t entities = golden.find("ENTITIES\r\n") + 10;
    writeFile(dir / "plan.dxf", golden.substr(0, entities) + extra + golden.substr(entities));
    const kelmartest::ProgramRun run = runKelmar(dir, "svg plan.dxf out.svg");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err.rfind("kelmar: note: skipped 2002 entities of 'plan.dxf' that kelmar does not draw: 2 TEXT, 1 ", 0),
              0u)
        << run.err.substr(0, 300);
    EXPECT_NE(run.err.find(" and 1993 of 1993 other kinds\n"), std::string::npos) << run.err.substr(0, 300);
    EXPECT_LT(run.err.size(), 400u);
}

}  // namespace
