#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <ostream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "model/ellipse_model.hpp"
#include "model/four_centre_model.hpp"
#include "oval_sampling.hpp"

namespace {

struct ModelFamilyRow {
    std::string name;
    CurveKind kind;
    CurveParameters parameters;
};

void PrintTo(const ModelFamilyRow& row, std::ostream* os) { *os << row.name; }

/// The deviation of a drawn point from ring j of the row's family.
double deviationOf(const ModelFamilyRow& row, std::size_t j, const PlanePoint& p) {
    const double* shared = row.parameters.shared.data();
    const double* ring = row.parameters.rings[j].data();
    const double x = static_cast<double>(p.x), y = static_cast<double>(p.y);
    return row.kind == CurveKind::Ellipse ? pointDeviation<EllipseModel>(shared, ring, x, y)
                                          : pointDeviation<FourCentreModel>(shared, ring, x, y);
}

class SampledModelFamily : public ::testing::TestWithParam<ModelFamilyRow> {};

TEST_P(SampledModelFamily, NoiselessPointsLieOnTheirRings) {
    const ModelFamilyRow& row = GetParam();
    const auto family = sampleModelFamily(row.kind, row.parameters, {300, 120}, 0, 3, {});
    ASSERT_EQ(family.size(), row.parameters.rings.size());
    for (std::size_t j = 0; j < family.size(); ++j) {
        ASSERT_EQ(family[j].size(), j == 0 ? 300u : 120u);
        for (const PlanePoint& p : family[j]) EXPECT_NEAR(deviationOf(row, j, p), 0.0, 1e-9);
    }
}

TEST_P(SampledModelFamily, NoiseMovesPointsAlongTheNormalWithinItsAmplitude) {
    const ModelFamilyRow& row = GetParam();
    const double noise = 0.02;
    const auto family = sampleModelFamily(row.kind, row.parameters, {2000}, noise, 5, {});
    double low = 0, high = 0, sumOfSquares = 0;
    std::size_t count = 0;
    for (std::size_t j = 0; j < family.size(); ++j) {
        for (const PlanePoint& p : family[j]) {
            const double d = deviationOf(row, j, p);
            low = std::min(low, d);
            high = std::max(high, d);
            sumOfSquares += d * d;
            ++count;
        }
    }
    // Moved along the normal, a point's distance from the curve is the step itself.
    EXPECT_GE(low, -noise * (1 + 1e-9));
    EXPECT_LE(high, noise * (1 + 1e-9));
    EXPECT_LT(low, -0.95 * noise);
    EXPECT_GT(high, 0.95 * noise);
    EXPECT_NEAR(std::sqrt(sumOfSquares / static_cast<double>(count)), noise / std::sqrt(3.0), 0.0005);
}

TEST_P(SampledModelFamily, SpacesPointsEvenlyByArcLength) {
    const ModelFamilyRow& row = GetParam();
    // A chord falls short of its arc by (arc / radius)^2 / 24 of it: below 2e-4 at the flat
    // ellipse's ends with this many points.
    constexpr int n = 4000;
    const auto family = sampleModelFamily(row.kind, row.parameters, {n}, 0, 1, {});
    const std::vector<PlanePoint>& ring = family[0];
    double perimeter = 0;
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const PlanePoint& a = ring[i];
        const PlanePoint& b = ring[(i + 1) % ring.size()];
        perimeter += static_cast<double>(std::hypot(b.x - a.x, b.y - a.y));
    }
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const PlanePoint& a = ring[i];
        const PlanePoint& b = ring[(i + 1) % ring.size()];
        EXPECT_NEAR(static_cast<double>(std::hypot(b.x - a.x, b.y - a.y)) * n / perimeter, 1.0, 5e-4) << "after point " << i;
    }
}

TEST_P(SampledModelFamily, APartKeepsToItsStretch) {
    // Half of the perimeter from where the outline begins: the points of the whole ring taken
    // twice as densely, every other one from the first.
    const ModelFamilyRow& row = GetParam();
    const auto half = sampleModelFamily(row.kind, row.parameters, {50}, 0, 1, {0, 0.5L});
    const auto whole = sampleModelFamily(row.kind, row.parameters, {100}, 0, 1, {});
    ASSERT_EQ(half[0].size(), 50u);
    for (std::size_t i = 0; i < half[0].size(); ++i) {
        EXPECT_NEAR(static_cast<double>(half[0][i].x), static_cast<double>(whole[0][i].x), 1e-6);
        EXPECT_NEAR(static_cast<double>(half[0][i].y), static_cast<double>(whole[0][i].y), 1e-6);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sampling, SampledModelFamily,
    ::testing::Values(ModelFamilyRow{"ellipses", CurveKind::Ellipse, {{3, -2, 0.4}, {{12, 8}, {13, 9}}}},
                      ModelFamilyRow{"flatEllipseFarAway", CurveKind::Ellipse, {{4e5, 2e5, -1.0}, {{30, 4}}}},
                      ModelFamilyRow{"fourCentreOvals", CurveKind::FourCentre, {{-1, 5, 2.2, 10, 6}, {{2}, {3}}}},
                      ModelFamilyRow{"flatFourCentreOval", CurveKind::FourCentre, {{0, 0, 0.1, 40, 200}, {{1}}}}),
    [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------- the generator

/// Runs the generator with `arguments` and the output into a scratch file; its exit status and
/// the file's text.
struct GeneratorRun {
    int status = -1;
    std::string output;
};

GeneratorRun runGenerator(const std::string& arguments) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("kelmar_generator_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder);
    const std::filesystem::path file = folder / "points.txt";
    std::filesystem::remove(file);
    GeneratorRun run;
    run.status = std::system((std::string(KELMAR_GENERATOR) + " " + arguments + " --output " + file.string() + " 2>/dev/null").c_str());
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    run.output = text.str();
    std::filesystem::remove_all(folder);
    return run;
}

struct GeneratorRow {
    std::string name;
    std::string arguments;
    ModelFamilyRow family;
};

void PrintTo(const GeneratorRow& row, std::ostream* os) { *os << row.name; }

class Generator : public ::testing::TestWithParam<GeneratorRow> {};

TEST_P(Generator, DrawsTheCurveItIsAskedFor) {
    const GeneratorRow& row = GetParam();
    const GeneratorRun run = runGenerator(row.arguments + " --curves 1 --format text --noise 0 --points 64 --decimals 12");
    ASSERT_EQ(run.status, 0);
    std::istringstream lines(run.output);
    int count = 0;
    ASSERT_TRUE(lines >> count);
    ASSERT_EQ(count, 64);
    for (int i = 0; i < count; ++i) {
        PlanePoint p;
        double x = 0, y = 0;
        ASSERT_TRUE(lines >> x >> y);
        p.x = x;
        p.y = y;
        EXPECT_NEAR(deviationOf(row.family, 0, p), 0.0, 1e-9) << "point " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sampling, Generator,
    ::testing::Values(GeneratorRow{"ellipse", "--curve ellipse --a 12 --b 7 --cx 2 --cy -3 --rotation 30",
                                   {"", CurveKind::Ellipse, {{2, -3, std::numbers::pi / 6}, {{12, 7}}}}},
                      GeneratorRow{"ellipseByDefault", "--curve ellipse", {"", CurveKind::Ellipse, {{0, 0, 0}, {{12, 8}}}}},
                      GeneratorRow{"fourCentre", "--curve four-centre --oa 9 --ob 5 --ae 3 --rotation -45",
                                   {"", CurveKind::FourCentre, {{0, 0, -std::numbers::pi / 4, 9, 5}, {{3}}}}}),
    [](const auto& info) { return info.param.name; });

TEST(Generator, RefusesWhatItCannotDraw) {
    EXPECT_NE(runGenerator("--curve spiral").status, 0);
    EXPECT_NE(runGenerator("--curve ellipse --b 0").status, 0);
    EXPECT_NE(runGenerator("--curve four-centre --oa -1").status, 0);
}

TEST(Generator, NamesItsRingsLaterOnesSpacedOut) {
    // Three ellipses: --a and --b list the first, --spacing adds to the last for the third.
    const GeneratorRun run = runGenerator("--curve ellipse --a 10,11 --b 6,7 --curves 3 --spacing 2 --noise 0 --points 40");
    ASSERT_EQ(run.status, 0);
    const ModelFamilyRow third{"", CurveKind::Ellipse, {{0, 0, 0}, {{13, 9}}}};
    std::size_t at = run.output.find("curve_3");
    ASSERT_NE(at, std::string::npos);
    int vertices = 0;
    for (at = run.output.find("VERTEX", at); at != std::string::npos; at = run.output.find("VERTEX", at + 1)) {
        // Code 10, its value, code 20, its value, after the vertex's layer.
        std::istringstream fields(run.output.substr(at));
        std::string word, layer, code;
        double x = 0, y = 0;
        fields >> word >> code >> layer >> code >> x >> code >> y;
        EXPECT_NEAR(deviationOf(third, 0, {x, y}), 0.0, 1e-5);
        ++vertices;
    }
    EXPECT_EQ(vertices, 40);
}

}  // namespace
