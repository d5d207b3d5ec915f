// kelmar fit --model: each curve fitted from its own generated drawing, the files of each model,
// the four-centre oval in the dialogue's layouts, and the improper warning that points to it.

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "base/constants.hpp"
#include "input/coefficient_file.hpp"
#include "model/curve_model.hpp"
#include "model/ellipse_model.hpp"
#include "model/four_centre_model.hpp"
#include "model/oval_construction.hpp"
#include "dialogue/residual.hpp"
#include "oval_sampling.hpp"
#include "support/noisy_ovals.hpp"
#include "support/program_runner.hpp"

namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;
using kelmartest::readFile;
using kelmartest::runKelmar;

constexpr double degree = M_PI / 180;

/// The drawing of `kind` for `truth` (the model's parameters), 80 points a ring, as a DXF with
/// ten decimals.
std::string modelDrawing(CurveKind kind, const CurveParameters& truth, Real80 noise) {
    return kelmartest::dxfOf(curveStoreOf(sampleModelFamily(kind, truth, {80}, noise, 5, {})), 10);
}

/// Three four-centre rings (OA 6, OB 4, AE 5, 6, 7.5) and three ellipses, turned and moved.
CurveParameters fourCentreTruth(double cx, double cy, double rotationDegrees) {
    return {{cx, cy, rotationDegrees * degree, 6, 4}, {{5}, {6}, {7.5}}};
}
CurveParameters ellipseTruth() { return {{-35.5, 240.25, -62 * degree}, {{14, 9}, {15.5, 10.25}, {18, 12.5}}}; }

/// The truth's semi-axes of ring j (from 0), as the model gives them.
RingAxes truthAxes(CurveKind kind, const CurveParameters& truth, std::size_t j) {
    return kind == CurveKind::Ellipse ? EllipseModel::semiAxes(nullptr, truth.rings[j].data())
                                      : FourCentreModel::semiAxes(truth.shared.data() + placement::count,
                                                                  truth.rings[j].data());
}

bool hasTool(const std::string& probe) { return std::system((probe + " > /dev/null 2>&1").c_str()) == 0; }

// ---------------------------------------------------------------- one run per model

struct ModelRunRow {
    std::string name;
    std::string model;  // as typed; empty: no --model
    CurveKind kind;
    CurveParameters truth;  // four-centre or ellipse; ignored for the eight-centre oval
    std::vector<std::string> files;
    std::vector<std::string> absent;
};
void PrintTo(const ModelRunRow& row, std::ostream* os) { *os << row.name; }

const std::vector<std::string> ovalFiles = {"kelmar.txt", "kelmar.coe", "kelmar.dxf",
                                            "kelmar.svg", "kelmar.json", "kelmar.gpkg"};
const std::vector<std::string> ellipseFiles = {"kelmar.txt", "kelmar.dxf", "kelmar.svg", "kelmar.json", "kelmar.gpkg"};

class ModelRun : public ::testing::TestWithParam<ModelRunRow> {};

TEST_P(ModelRun, WritesItsFilesAndRecoversItsDrawing) {
    const ModelRunRow& row = GetParam();
    const fs::path dir = kelmartest::scratchDirectory("model_run_" + row.name);
    // An earlier eight-centre run's files stand in the folder: none may stay beside this run's.
    for (const std::string& name : ovalFiles) kelmartest::writeFile(dir / "out" / name, "an earlier run\n");
    if (row.kind == CurveKind::EightCentre) {
        CoefficientVector truth;
        truth.values = {10, 6, 120, -80, 40 * degree, 8, 5, 2, 3, 4};
        kelmartest::writeFile(dir / "plan.dxf", kelmartest::dxfOf(curveStoreOf(sampleOvalFamily(truth, 60, 0, 9)), 10));
    } else {
        kelmartest::writeFile(dir / "plan.dxf", modelDrawing(row.kind, row.truth, 0));
    }
    std::vector<std::string> arguments{"fit", "plan.dxf", "--out", "out"};
    if (!row.model.empty()) arguments.insert(arguments.end(), {"--model", row.model});
    const kelmartest::ProgramRun run = runKelmar(dir, arguments);
    ASSERT_EQ(run.status, 0) << run.err;
    for (const std::string& name : row.files) {
        EXPECT_NE(readFile(dir / "out" / name), "an earlier run\n") << name << " was not written";
    }
    for (const std::string& name : row.absent) EXPECT_FALSE(fs::exists(dir / "out" / name)) << name << " stayed";

    const json result = json::parse(readFile(dir / "out" / "kelmar.json"));
    EXPECT_EQ(result["model"], row.model.empty() ? "eight-centre" : row.model);
    for (const char* key : {"input", "rms", "stop_reason", "iterations", "evaluations", "proper", "construction_fault",
                            "centre", "rotation_degrees", "oa", "ob", "oc", "dc", "rings", "standard_errors", "start",
                            "robust", "warnings", "warning_codes"}) {
        EXPECT_TRUE(result.contains(key)) << key;
    }
    EXPECT_TRUE(result["proper"].get<bool>()) << result["construction_fault"];
    EXPECT_LT(result["rms"].get<double>(), 1e-8);
    const json warnings = result["warning_codes"];
    EXPECT_EQ(std::count(warnings.begin(), warnings.end(), "improper"), 0) << warnings;

    if (row.kind != CurveKind::EightCentre) {
        // Noiseless points with ten decimals: the fitted curve is the drawn one.
        ASSERT_EQ(result["rings"].size(), row.truth.rings.size());
        for (std::size_t j = 0; j < row.truth.rings.size(); ++j) {
            const RingAxes axes = truthAxes(row.kind, row.truth, j);
            const json& ring = result["rings"][j];
            EXPECT_NEAR(ring["semi_major"].get<double>(), axes.semiMajor, 1e-9 * axes.semiMajor) << "ring " << j + 1;
            EXPECT_NEAR(ring["semi_minor"].get<double>(), axes.semiMinor, 1e-9 * axes.semiMajor) << "ring " << j + 1;
        }
        EXPECT_NEAR(result["centre"]["x"].get<double>(), row.truth.shared[0], 1e-9 * 20);
        EXPECT_NEAR(result["centre"]["y"].get<double>(), row.truth.shared[1], 1e-9 * 20);
        EXPECT_NEAR(std::remainder(result["rotation_degrees"].get<double>() * degree - row.truth.shared[2], M_PI), 0,
                    1e-9);
    }
    // Every model gives its standard errors, null where it has no such parameter.
    ASSERT_FALSE(result["standard_errors"].is_null());
    EXPECT_EQ(result["standard_errors"]["rings"].size(), result["rings"].size());
    EXPECT_EQ(result["standard_errors"]["oc"].is_null(), row.kind != CurveKind::EightCentre);
    EXPECT_EQ(result["standard_errors"]["oa"].is_null(), row.kind == CurveKind::Ellipse);
    if (row.kind == CurveKind::Ellipse) {
        EXPECT_TRUE(result["oa"].is_null());
        EXPECT_EQ(result["rings"][0]["deviations"].size(), 80u);
        EXPECT_NE(readFile(dir / "out" / "kelmar.txt").find("concentric ellipses"), std::string::npos);
    }
    if (row.kind == CurveKind::FourCentre) {
        EXPECT_EQ(result["limiting_position"]["oc"].get<double>(), 0.5 * result["oa"].get<double>());
        EXPECT_NE(run.out.find("proper four-centre construction"), std::string::npos) << run.out;
    }

    // The GeoPackage: one outline per ring, one feature per point.
    GDALAllRegister();
    const char* const drivers[] = {"GPKG", nullptr};
    const GDALDatasetUniquePtr gpkg(
        GDALDataset::Open((dir / "out" / "kelmar.gpkg").c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, drivers));
    ASSERT_TRUE(gpkg);
    const std::size_t rings = row.kind == CurveKind::EightCentre ? 3 : row.truth.rings.size();
    EXPECT_EQ(gpkg->GetLayerByName("ovals")->GetFeatureCount(), static_cast<GIntBig>(rings));
    EXPECT_EQ(gpkg->GetLayerByName("points")->GetFeatureCount(),
              static_cast<GIntBig>(row.kind == CurveKind::EightCentre ? 180 : 80 * rings));

    // Independent readers, where they are installed.
    if (hasTool("command -v rsvg-convert")) {
        EXPECT_EQ(std::system(("rsvg-convert -o '" + (dir / "picture.png").string() + "' '" +
                               (dir / "out" / "kelmar.svg").string() + "'")
                                  .c_str()),
                  0);
    }
    if (hasTool("/usr/bin/python3 -c 'import ezdxf'")) {
        // Every point on a point layer, and the rings' outlines on the arcs layer.
        const std::string script =
            "import sys, ezdxf\n"
            "d = ezdxf.readfile(sys.argv[1])\n"
            "a = d.audit()\n"
            "m = d.modelspace()\n"
            "points = len(m.query('POINT'))\n"
            "outline = len(m.query('ARC LINE[layer==\"archi\"]'))\n"
            "print(points, outline, len(a.errors))\n"
            "sys.exit(0 if points == int(sys.argv[2]) and outline >= 8 * int(sys.argv[3]) and not a.errors else 1)\n";
        kelmartest::writeFile(dir / "check.py", script);
        const std::size_t points = row.kind == CurveKind::EightCentre ? 180 : 80 * row.truth.rings.size();
        const std::string command = "/usr/bin/python3 '" + (dir / "check.py").string() + "' '" +
                                    (dir / "out" / "kelmar.dxf").string() + "' " + std::to_string(points) + " 3 > '" +
                                    (dir / "check.txt").string() + "' 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << readFile(dir / "check.txt");
    }
}

INSTANTIATE_TEST_SUITE_P(
    FitModel, ModelRun,
    ::testing::Values(ModelRunRow{"DefaultIsTheEightCentreOval", "", CurveKind::EightCentre, {}, ovalFiles, {}},
                      ModelRunRow{"EightCentreByName", "eight-centre", CurveKind::EightCentre, {}, ovalFiles, {}},
                      ModelRunRow{"FourCentreTurnedAndMoved", "four-centre", CurveKind::FourCentre,
                                  fourCentreTruth(310.5, -42.25, 33), ovalFiles, {}},
                      ModelRunRow{"EllipseWithoutCoefficientFile", "ellipse", CurveKind::Ellipse, ellipseTruth(),
                                  ellipseFiles, {"kelmar.coe"}}),
    [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------- refused command lines

struct RefusedModelRow {
    std::string name;
    std::vector<std::string> arguments;
    std::string sentence;  // a part of the line on standard error
};
void PrintTo(const RefusedModelRow& row, std::ostream* os) { *os << row.name; }

class RefusedModel : public ::testing::TestWithParam<RefusedModelRow> {};

TEST_P(RefusedModel, IsAUsageError) {
    const RefusedModelRow& row = GetParam();
    const fs::path dir = kelmartest::scratchDirectory("model_refused_" + row.name);
    kelmartest::writeFile(dir / "plan.dxf", modelDrawing(CurveKind::Ellipse, ellipseTruth(), 0));
    std::vector<std::string> arguments{"fit", "plan.dxf"};
    arguments.insert(arguments.end(), row.arguments.begin(), row.arguments.end());
    const kelmartest::ProgramRun run = runKelmar(dir, arguments);
    EXPECT_EQ(run.status, 64);
    EXPECT_NE(run.err.find(row.sentence), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir / "kelmar.json"));
}

INSTANTIATE_TEST_SUITE_P(
    FitModel, RefusedModel,
    ::testing::Values(RefusedModelRow{"MistypedName", {"--model", "four-center"}, "did you mean four-centre?"},
                      RefusedModelRow{"UnknownName", {"--model", "spline"}, "the curves are eight-centre, four-centre and ellipse"},
                      RefusedModelRow{"StartWithAnotherModel", {"--model", "ellipse", "--start", "0,0,0,6,4,3,2,5"},
                                      "goes with --model eight-centre only"},
                      RefusedModelRow{"RobustWithAnotherModel", {"--model", "four-centre", "--robust"},
                                      "--robust goes with --model eight-centre only"}),
    [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------- the four-centre oval in the dialogue's layouts

TEST(FourCentreLayouts, TheDialoguesConstructionOfItsCoefficientFileIsTheFittedOval) {
    // Near the origin and hardly turned, where the dialogue's sector test holds.
    const CurveParameters truth = fourCentreTruth(0.125, -0.25, 2);
    const fs::path dir = kelmartest::scratchDirectory("four_centre_coe");
    kelmartest::writeFile(dir / "plan.dxf", modelDrawing(CurveKind::FourCentre, truth, 0.002L));
    const kelmartest::ProgramRun run = runKelmar(dir, {"fit", "plan.dxf", "--model", "four-centre"});
    ASSERT_EQ(run.status, 0) << run.err;

    // The fitted oval, from kelmar.json.
    const json result = json::parse(readFile(dir / "kelmar.json"));
    CurveParameters fitted{{result["centre"]["x"].get<double>(), result["centre"]["y"].get<double>(),
                            result["rotation_degrees"].get<double>() * degree, result["oa"].get<double>(),
                            result["ob"].get<double>()},
                           {}};
    for (const json& ring : result["rings"]) fitted.rings.push_back({ring["ae"].get<double>()});

    // The dialogue reads kelmar.coe as it reads any coefficient file, and builds its construction.
    const InputResult<LoadedCoefficients> read = loadCoefficientFile((dir / "kelmar.coe").string());
    ASSERT_TRUE(read.hasValue()) << read.problem().sentence;
    const LoadedCoefficients& loaded = read.value();
    ASSERT_EQ(loaded.inputFileName, "plan.dxf");
    InputResult<CoefficientVector> forRings = coefficientsForCurves(loaded, "kelmar.coe", "plan.dxf", 3);
    ASSERT_TRUE(forRings.hasValue()) << forRings.problem().sentence;
    CoefficientVector c = forRings.value();
    c.coef(coefficient::rotation) /= constant::degreesPerRadian;
    const OvalConstruction k = buildOvalConstruction(c);
    const SectorLines lines = buildSectorLines(k);
    for (std::size_t j = 0; j < fitted.rings.size(); ++j) {
        const ArcRadii radii = arcRadii(k, c.coef(coefficient::ae(static_cast<std::int32_t>(j + 1))));
        const double size = FourCentreModel::semiAxes(fitted.shared.data() + placement::count, fitted.rings[j].data()).semiMajor;
        for (const OutlinePoint& p : sampledOutline<FourCentreModel>(fitted, j, 400)) {
            const PointDeviation d = pointDeviation(k, lines, radii, p.x, p.y, SectorTestVariant::FitVariant);
            ASSERT_LT(std::fabs(static_cast<double>(d.deviation)), 1e-9 * size)
                << "ring " << j + 1 << " at (" << p.x << ", " << p.y << ")";
        }
    }

    // Started from it, the dialogue runs its fit to the end.
    const kelmartest::ProgramRun dialogue = kelmartest::runProgramIn(dir, "kelmar.coe\r\n");
    EXPECT_EQ(dialogue.status, 0) << dialogue.err;
    EXPECT_NE(readFile(dir / "kelmar.txt").find("Scarto quadratico medio"), std::string::npos);
}

// ---------------------------------------------------------------- the improper warning

TEST(ImproperWarning, PointsToTheFourCentreModelWhenTheOvalCollapsedOntoOne) {
    const fs::path dir = kelmartest::scratchDirectory("improper_four_centre");
    // The generator's drawing of `generate_ovals --curve four-centre --oa 6 --ob 4 --ae 5 --rotation 20
    // --cx 30 --noise 0.001`: the eight-centre fit ends with C on A1.
    const CurveParameters truth{{30, 0, 20 * degree, 6, 4}, {{5}, {6}, {7}}};
    kelmartest::writeFile(dir / "plan.dxf",
                          kelmartest::dxfOf(curveStoreOf(sampleModelFamily(CurveKind::FourCentre, truth, {100}, 0.001L, 1, {})), 6));
    const kelmartest::ProgramRun eight = runKelmar(dir, {"fit", "plan.dxf"});
    ASSERT_EQ(eight.status, 0) << eight.err;
    EXPECT_NE(eight.err.find("not a proper construction"), std::string::npos) << eight.err;
    EXPECT_NE(eight.err.find("--model four-centre"), std::string::npos) << eight.err;

    const kelmartest::ProgramRun four = runKelmar(dir, {"fit", "plan.dxf", "--model", "four-centre"});
    ASSERT_EQ(four.status, 0) << four.err;
    EXPECT_EQ(four.err.find("not a proper"), std::string::npos) << four.err;
}

}  // namespace
