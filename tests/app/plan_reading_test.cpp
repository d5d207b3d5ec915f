// Plans as users have them, made with real tools (python3-ezdxf, ogr2ogr) from the points of three
// known rings: each yields exactly its rings, with their sources, and the same fit as the rings
// alone; kelmar list shows what would be read; plans that cannot be used are refused.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "input/plan_reader.hpp"
#include "oval_sampling.hpp"
#include "support/program_runner.hpp"

namespace {

namespace fs = std::filesystem;
using kelmartest::ProgramRun;

constexpr double degree = M_PI / 180;
constexpr const char* python = "/usr/bin/python3";

using kelmartest::runKelmar;

bool succeeds(const std::string& command) { return std::system((command + " > /dev/null 2>&1").c_str()) == 0; }

/// Three rings of an oval in survey coordinates, turned by 25 degrees, 60 points each.
CurveStore truthRings() {
    CoefficientVector v;
    v.values = {40, 24, 2400120, 5000080, 25 * degree, 32, 20, 8, 12, 16};
    return curveStoreOf(sampleOvalFamily(v, 60, 0.04L, 5));
}

/// The plans, made once for the whole test program; empty when a tool is missing.
struct Plans {
    fs::path dir;
    CurveStore rings;
    bool drawings = false;  // python3-ezdxf made the drawings
    bool gis = false;       // ogr2ogr made the GIS datasets
};

const Plans& plans() {
    static const Plans made = [] {
        Plans p;
        p.dir = kelmartest::scratchDirectory("plans");
        p.rings = truthRings();
        std::string points, survey = "id,E,N,H,code\n", geojson = "{\"type\":\"FeatureCollection\",\"features\":[";
        char line[160];
        int id = 100;
        for (std::size_t j = 0; j < p.rings.curves.size(); ++j) {
            const Curve& c = p.rings.curves[j];
            geojson += std::string(j > 0 ? "," : "") + "{\"type\":\"Feature\",\"properties\":{\"ring\":\"R" +
                       std::to_string(j + 1) + "\"},\"geometry\":{\"type\":\"LineString\",\"coordinates\":[";
            for (std::size_t i = 0; i < c.x.size(); ++i) {
                std::snprintf(line, sizeof line, "%zu %.17g %.17g\n", j + 1, static_cast<double>(c.x[i]),
                              static_cast<double>(c.y[i]));
                points += line;
                std::snprintf(line, sizeof line, "%d,%.17g,%.17g,101.5,ARC%zu\n", id++, static_cast<double>(c.x[i]),
                              static_cast<double>(c.y[i]), j + 1);
                survey += line;
                std::snprintf(line, sizeof line, "%s[%.17g,%.17g]", i > 0 ? "," : "", static_cast<double>(c.x[i]),
                              static_cast<double>(c.y[i]));
                geojson += line;
            }
            geojson += "]}}";
        }
        geojson += "]}";
        kelmartest::writeFile(p.dir / "rings.points", points);
        kelmartest::writeFile(p.dir / "survey.csv", survey);
        kelmartest::writeFile(p.dir / "rings.geojson", geojson);
        p.drawings = succeeds(std::string(python) + " -c 'import ezdxf'") &&
                     succeeds(std::string(python) + " '" + KELMAR_TEST_DATA + "/plans/make_plans.py' '" +
                              (p.dir / "rings.points").string() + "' '" + p.dir.string() + "'");
        const std::string d = "'" + p.dir.string() + "/";
        p.gis = succeeds("ogr2ogr --version") &&
                succeeds("ogr2ogr -f GPKG " + d + "rings.gpkg' " + d + "rings.geojson' -nln arena_rings") &&
                succeeds("ogr2ogr -f CSV " + d + "rings_wkt.csv' " + d + "rings.geojson' -lco GEOMETRY=AS_WKT");
        return p;
    }();
    return made;
}

bool hasTools(bool drawing, bool gis) {
    return (!drawing || plans().drawings) && (!gis || plans().gis);
}

// ---------------------------------------------------------------- what each plan yields

struct PlanRow {
    std::string name;
    std::string file;
    PlanSelection selection;
    bool drawing;  // made by python3-ezdxf, else by ogr2ogr (or by the test)
    bool gis;
    std::vector<std::string> layers;  // each ring's source layer
    std::string pieceOfRing2;         // the first piece of ring 2 ("" to skip)
    bool piecesWithGaps = false;      // the rings of pieces.dxf, not the whole rings
};
void PrintTo(const PlanRow& row, std::ostream* os) { *os << row.name; }

class PlanYieldsItsRings : public ::testing::TestWithParam<PlanRow> {};

TEST_P(PlanYieldsItsRings, PointForPoint) {
    const PlanRow& row = GetParam();
    if (!hasTools(row.drawing, row.gis)) GTEST_SKIP() << "python3-ezdxf or ogr2ogr is not installed";
    const PlanReading reading = readPlanFile((plans().dir / row.file).string(), row.selection);
    ASSERT_FALSE(reading.problem.has_value()) << reading.problem->sentence;
    const CurveStore& got = reading.contents.rings;
    CurveStore want = plans().rings;
    if (row.piecesWithGaps) {
        const PlanReading pieces = readPlanFile((plans().dir / "pieces_rings.dxf").string(), {});
        ASSERT_FALSE(pieces.problem.has_value());
        want = pieces.contents.rings;
        ASSERT_EQ(want.curves[0].x.size(), 54u);  // three gaps of two points
    }
    ASSERT_EQ(got.curves.size(), want.curves.size());
    ASSERT_EQ(got.sources.size(), want.curves.size());
    for (std::size_t j = 0; j < want.curves.size(); ++j) {
        ASSERT_EQ(got.curves[j].x.size(), want.curves[j].x.size()) << "ring " << j + 1;
        for (std::size_t i = 0; i < want.curves[j].x.size(); ++i) {
            ASSERT_NEAR(static_cast<double>(got.curves[j].x[i]), static_cast<double>(want.curves[j].x[i]), 1e-8)
                << "ring " << j + 1 << " point " << i + 1;
            ASSERT_NEAR(static_cast<double>(got.curves[j].y[i]), static_cast<double>(want.curves[j].y[i]), 1e-8)
                << "ring " << j + 1 << " point " << i + 1;
        }
        EXPECT_EQ(got.sources[j].layer, row.layers[j]) << "ring " << j + 1;
    }
    if (!row.pieceOfRing2.empty()) {
        ASSERT_FALSE(got.sources[1].pieces.empty());
        EXPECT_EQ(got.sources[1].pieces[0], row.pieceOfRing2);
    }
}

const std::vector<std::string> ringsLayer = {"RINGS", "RINGS", "RINGS"};

INSTANTIATE_TEST_SUITE_P(
    Plans, PlanYieldsItsRings,
    ::testing::Values(
        PlanRow{"siteDrawingLayerRings", "site.dxf", {{"RINGS"}, "", ""}, true, false, ringsLayer, ""},
        PlanRow{"siteDrawingLayerNamedInLowerCase", "site.dxf", {{"rings"}, "", ""}, true, false, ringsLayer, ""},
        PlanRow{"releaseTwelveLeftAlignedCodes", "r12.dxf", {{"RINGS"}, "", ""}, true, false, ringsLayer, ""},
        PlanRow{"pointRingsOneLayerEach", "points.dxf", {}, true, false, {"RING1", "RING2", "RING3"}, ""},
        PlanRow{"splineByFitPointsAlone", "fitspline.dxf", {}, true, false, ringsLayer, "31"},
        PlanRow{"mirroredByItsExtrusion", "mirrored.dxf", {}, true, false, {"0", "0", "0"}, ""},
        PlanRow{"ringsInPiecesByLayer", "pieces.dxf", {{}, "layer", ""}, true, false, {"WALL1", "WALL2", "WALL3"}, "",
                true},
        PlanRow{"geoPackageOfLines", "rings.gpkg", {}, false, true, {"arena_rings", "arena_rings", "arena_rings"}, "2"},
        PlanRow{"geoPackageLayerNamed", "rings.gpkg", {{"arena_rings"}, "ring", ""}, false, true,
                {"arena_rings", "arena_rings", "arena_rings"}, ""},
        PlanRow{"geoJson", "rings.geojson", {}, false, false, {"rings", "rings", "rings"}, ""},
        PlanRow{"csvWithWktGeometry", "rings_wkt.csv", {}, false, true, {"rings_wkt", "rings_wkt", "rings_wkt"}, ""},
        PlanRow{"surveyCsvByCode", "survey.csv", {{}, "code", ""}, false, false, {"survey", "survey", "survey"}, "160"},
        PlanRow{"surveyCsvByColumns", "survey.csv", {{}, "", "E,N,code"}, false, false, {"survey", "survey", "survey"},
                ""}),
    [](const auto& info) { return info.param.name; });

TEST(PlanReading, SiteDrawingSaysWhatItLeftOutAndWhy) {
    if (!hasTools(true, false)) GTEST_SKIP() << "python3-ezdxf is not installed";
    const PlanReading reading = readPlanFile((plans().dir / "site.dxf").string(), {});
    ASSERT_FALSE(reading.problem.has_value()) << reading.problem->sentence;
    std::map<std::string, const PlanLayer*> layers;
    for (const PlanLayer& layer : reading.contents.layers) layers[layer.name] = &layer;
    ASSERT_TRUE(layers.count("CONSTR") && layers.count("FROZEN") && layers.count("RINGS") && layers.count("SITE"));
    EXPECT_TRUE(layers["CONSTR"]->off);
    EXPECT_TRUE(layers["FROZEN"]->frozen);
    EXPECT_EQ(layers.count("FRAME"), 0u);  // paper space only
    std::string skipped;
    for (const std::string& s : reading.contents.skipped) skipped += s + "|";
    EXPECT_NE(skipped.find("2 entities in paper space"), std::string::npos) << skipped;
    EXPECT_NE(skipped.find("3 entities on layers that are off or frozen ('CONSTR', 'FROZEN')"), std::string::npos)
        << skipped;
    EXPECT_NE(skipped.find("2 texts"), std::string::npos) << skipped;  // one in the block
    // The rings, the boundary, the road and the block's circle and line: every curve is a ring.
    EXPECT_EQ(reading.contents.rings.curves.size(), 7u);
    EXPECT_EQ(reading.contents.format, "DXF drawing");
}

// ---------------------------------------------------------------- the same fit

nlohmann::json fitOf(const std::string& plan, const std::vector<std::string>& options, const std::string& folder) {
    std::vector<std::string> arguments = {"fit", plan, "--out", folder};
    arguments.insert(arguments.end(), options.begin(), options.end());
    const ProgramRun run = runKelmar(plans().dir, arguments);
    EXPECT_EQ(run.status, 0) << run.err;
    if (run.status != 0) return {};
    return nlohmann::json::parse(kelmartest::readFile(plans().dir / folder / "kelmar.json"));
}

/// The largest relative difference between two fits of the rings' semi-axes and of the oval's
/// placement (centre against the first ring's semi-major axis, rotation against a full turn). The
/// construction's own radii may differ more where the points hardly fix them.
double largestDifference(const nlohmann::json& a, const nlohmann::json& b) {
    const double scale = std::fabs(a["rings"][0]["semi_major"].get<double>());
    double worst = 0;
    auto compare = [&](double x, double y, double by) { worst = std::max(worst, std::fabs(x - y) / by); };
    compare(a["centre"]["x"].get<double>(), b["centre"]["x"].get<double>(), scale);
    compare(a["centre"]["y"].get<double>(), b["centre"]["y"].get<double>(), scale);
    compare(a["rotation_degrees"].get<double>(), b["rotation_degrees"].get<double>(), 360);
    for (std::size_t j = 0; j < a["rings"].size(); ++j) {
        for (const char* key : {"semi_major", "semi_minor"}) {
            compare(a["rings"][j][key].get<double>(), b["rings"][j][key].get<double>(), a["rings"][j][key].get<double>());
        }
    }
    return worst;
}

struct SameFitRow {
    std::string name;
    std::string plan;
    std::vector<std::string> options;
    std::string alone;  // the plan of the rings alone
    double within;      // largest relative difference
    bool gis = false;
};
void PrintTo(const SameFitRow& row, std::ostream* os) { *os << row.name; }

class SameFitAsTheRingsAlone : public ::testing::TestWithParam<SameFitRow> {};

TEST_P(SameFitAsTheRingsAlone, OvalAndPlacement) {
    const SameFitRow& row = GetParam();
    if (!hasTools(true, row.gis)) GTEST_SKIP() << "python3-ezdxf or ogr2ogr is not installed";
    const nlohmann::json alone = fitOf(row.alone, {}, "alone_" + row.name);
    const nlohmann::json plan = fitOf(row.plan, row.options, "plan_" + row.name);
    ASSERT_FALSE(alone.is_null() || plan.is_null());
    ASSERT_EQ(plan["rings"].size(), 3u);
    EXPECT_LT(largestDifference(alone, plan), row.within);
    EXPECT_NEAR(plan["rings"][0]["semi_major"].get<double>(), 48, 0.1);
}

INSTANTIATE_TEST_SUITE_P(
    Plans, SameFitAsTheRingsAlone,
    ::testing::Values(SameFitRow{"siteDrawing", "site.dxf", {"--layer", "RINGS"}, "rings.dxf", 1e-6},
                      SameFitRow{"surveyCsvByCode", "survey.csv", {"--ring-by", "code"}, "rings.dxf", 1e-6},
                      SameFitRow{"geoPackage", "rings.gpkg", {}, "rings.dxf", 1e-6, true},
                      SameFitRow{"ringsInPieces", "pieces.dxf", {"--ring-by", "layer"}, "pieces_rings.dxf", 1e-6},
                      SameFitRow{"splineRings", "spline.dxf", {}, "rings.dxf", 0.005},
                      SameFitRow{"splineRingsByFitPoints", "fitspline.dxf", {}, "rings.dxf", 1e-6}),
    [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------- kelmar list and the warnings

TEST(ListCommand, ShowsLayersWhatIsLeftOutAndTheRings) {
    if (!hasTools(true, false)) GTEST_SKIP() << "python3-ezdxf is not installed";
    const ProgramRun all = runKelmar(plans().dir, {"list", "site.dxf"});
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_NE(all.out.find("'site.dxf': DXF drawing, "), std::string::npos) << all.out;
    EXPECT_NE(all.out.find("  layer 'RINGS': 3 LWPOLYLINE\r\n"), std::string::npos) << all.out;
    EXPECT_NE(all.out.find("  layer 'CONSTR' (off): 2 LINE\r\n"), std::string::npos) << all.out;
    EXPECT_NE(all.out.find("  layer 'FROZEN' (frozen): 1 CIRCLE\r\n"), std::string::npos) << all.out;
    EXPECT_NE(all.out.find("2 entities in paper space"), std::string::npos) << all.out;
    EXPECT_NE(all.out.find("rings that would be fitted: 7 rings"), std::string::npos) << all.out;
    // The boundary is named as in doubt, with its layer and handle.
    EXPECT_NE(all.out.find("layer 'SITE', handle"), std::string::npos) << all.out;
    EXPECT_NE(all.out.find("in doubt"), std::string::npos) << all.out;

    const ProgramRun chosen = runKelmar(plans().dir, {"list", "site.dxf", "--layer", "RINGS"});
    ASSERT_EQ(chosen.status, 0) << chosen.err;
    EXPECT_NE(chosen.out.find("rings that would be fitted: 3 rings, 180 points\r\n"), std::string::npos) << chosen.out;
    EXPECT_EQ(chosen.out.find("in doubt"), std::string::npos) << chosen.out;
    EXPECT_EQ(chosen.err, "");
}

TEST(GuessCommand, NamesTheRingsInDoubtAndHowToLeaveThemOut) {
    if (!hasTools(true, false)) GTEST_SKIP() << "python3-ezdxf is not installed";
    const ProgramRun run = runKelmar(plans().dir, {"guess", "site.dxf"});
    EXPECT_NE(run.err.find("does not look like a ring of this plan"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("(layer 'SITE', handle "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("--layer"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("note: left out of 'site.dxf': 2 texts, 3 entities on layers that are off or frozen "
                           "('CONSTR', 'FROZEN'), 2 entities in paper space"),
              std::string::npos)
        << run.err;
    // Of the rings alone, no ring is in doubt.
    const ProgramRun rings = runKelmar(plans().dir, {"guess", "site.dxf", "--layer", "RINGS"});
    EXPECT_EQ(rings.status, 0) << rings.err;
    EXPECT_EQ(rings.err.find("does not look like"), std::string::npos) << rings.err;
}

// ---------------------------------------------------------------- plans refused

struct RefusedPlanRow {
    std::string name;
    std::vector<std::string> arguments;
    int status;
    std::string sentence;  // a part of the one line on standard error
    bool drawing = true;
};
void PrintTo(const RefusedPlanRow& row, std::ostream* os) { *os << row.name; }

class RefusedPlan : public ::testing::TestWithParam<RefusedPlanRow> {};

TEST_P(RefusedPlan, OneSentenceAndNothingWritten) {
    const RefusedPlanRow& row = GetParam();
    if (row.drawing && !hasTools(true, false)) GTEST_SKIP() << "python3-ezdxf is not installed";
    const fs::path dir = plans().dir;
    kelmartest::writeFile(dir / "picture.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    std::vector<std::string> arguments = row.arguments;
    arguments.insert(arguments.end(), {"--out", "refused_" + row.name});
    const ProgramRun run = runKelmar(dir, arguments);
    EXPECT_EQ(run.status, row.status);
    EXPECT_NE(run.err.find(row.sentence), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_FALSE(fs::exists(dir / ("refused_" + row.name)));
}

INSTANTIATE_TEST_SUITE_P(
    Plans, RefusedPlan,
    ::testing::Values(
        RefusedPlanRow{"binaryDxf", {"fit", "binary.dxf"}, 65, "save it as ASCII DXF"},
        RefusedPlanRow{"layerNamingNoLayer", {"fit", "site.dxf", "--layer", "ARENA"}, 65,
                       "--layer 'ARENA' names no layer of 'site.dxf': its layers are '0', 'Defpoints', 'RINGS', "
                       "'SITE', 'CONSTR', 'FROZEN', 'FRAME'"},
        RefusedPlanRow{"ringByNamingNoField", {"fit", "site.dxf", "--ring-by", "colour"}, 65,
                       "--ring-by 'colour' names no field of 'site.dxf': its fields are"},
        RefusedPlanRow{"layerOfPaperSpaceOnly", {"fit", "site.dxf", "--layer", "FRAME"}, 65,
                       "'site.dxf' holds no curve or point to fit on layer 'FRAME' (left out: 2 entities in paper "
                       "space)"},
        RefusedPlanRow{"noReaderOpensIt", {"fit", "picture.png"}, 65, "no reader opens 'picture.png': kelmar reads"},
        RefusedPlanRow{"surveyCodeColumnMissing", {"fit", "survey.csv", "--ring-by", "ring"}, 65,
                       "--ring-by 'ring' names no column of 'survey.csv'", false},
        RefusedPlanRow{"columnsTypedWrong", {"fit", "survey.csv", "--columns", "E"}, 64,
                       "--columns takes X,Y or X,Y,RING", false}),
    [](const auto& info) { return info.param.name; });

}  // namespace
