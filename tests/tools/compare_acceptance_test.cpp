// kelmar compare on drawings made by generate_ovals: 30 drawings, a third each drawn as ellipses,
// four-centre and eight-centre ovals (1 to 3 rings, 150 to 400 points each, any rotation and
// place, radial noise of 0.01 to 0.03 % of the size, fixed seeds); compare.json's best must name
// the curve the drawing was made with on at least 27 of them.

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

const std::array<std::string, 3> curveNames{"ellipse", "four-centre", "eight-centre"};
constexpr int drawingsPerCurve = 10;
constexpr int leastRight = 27;

std::string number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

/// Runs `command` in the shell; its exit status.
int shell(const std::string& command) {
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

/// One drawing: the generator's arguments and the curve it draws.
struct Drawing {
    std::string curve;
    std::vector<std::string> arguments;
};

/// Drawing k of curve `kind` (0 ellipse, 1 four-centre, 2 eight-centre), its shape, size, place,
/// rotation, rings, points and noise drawn from a generator seeded by both.
Drawing drawingOf(int kind, int k) {
    std::mt19937_64 random(static_cast<std::uint64_t>(1000 * kind + k + 1));
    auto uniform = [&random](double low, double high) { return std::uniform_real_distribution<double>(low, high)(random); };
    auto whole = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    Drawing d;
    d.curve = curveNames[static_cast<std::size_t>(kind)];
    const int rings = whole(1, 3);
    double size = 0;  // the outer ring's semi-major axis
    std::vector<std::string>& a = d.arguments;
    const double spacing = uniform(2, 8);
    a = {"--curve", d.curve, "--curves", std::to_string(rings), "--spacing", number(spacing)};
    if (kind == 0) {
        const double major = uniform(30, 80);
        const double minor = major * uniform(0.5, 0.85);
        a.insert(a.end(), {"--a", number(major), "--b", number(minor)});
        size = major + (rings - 1) * spacing;
    } else {
        const double oa = uniform(15, 40);
        const double ob = uniform(12, 45);
        const double ae = uniform(8, 30);
        a.insert(a.end(), {"--oa", number(oa), "--ob", number(ob), "--ae", number(ae)});
        if (kind == 2) {
            const double oc = oa * uniform(0.3, 0.8);
            const double dc = std::hypot(oc, ob) * uniform(0.25, 0.75);
            a.insert(a.end(), {"--oc", number(oc), "--dc", number(dc)});
        }
        size = oa + ae + (rings - 1) * spacing;
    }
    std::string points;
    for (int j = 0; j < rings; ++j) points += (j == 0 ? "" : ",") + std::to_string(whole(150, 400));
    // Uniform noise in [-A, A]: A of 0.01 to 0.03 % of the size.
    const double noise = size * uniform(1e-4, 3e-4);
    a.insert(a.end(), {"--points", points, "--rotation", number(uniform(0, 360)), "--cx", number(uniform(-5e5, 5e5)),
                       "--cy", number(uniform(-5e5, 5e5)), "--noise", number(noise), "--seed",
                       std::to_string(100 * kind + k + 1), "--decimals", "6"});
    return d;
}

TEST(CompareAcceptance, NamesTheCurveEachDrawingWasMadeWith) {
    const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) /
                                      ("kelmar_compare_acceptance_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    // confusion[drawn][named]
    std::map<std::string, std::map<std::string, int>> confusion;
    int right = 0;
    for (int kind = 0; kind < 3; ++kind) {
        for (int k = 0; k < drawingsPerCurve; ++k) {
            const Drawing d = drawingOf(kind, k);
            const std::string name = d.curve + "_" + std::to_string(k + 1);
            const std::filesystem::path plan = dir / (name + ".dxf");
            const std::filesystem::path out = dir / name;
            std::string generate = "'" + std::string(KELMAR_GENERATOR) + "'";
            for (const std::string& arg : d.arguments) generate += " '" + arg + "'";
            generate += " --output '" + plan.string() + "'";
            ASSERT_EQ(shell(generate), 0) << generate;
            const std::string compare = "'" + std::string(KELMAR_BINARY) + "' compare '" + plan.string() + "' --out '" +
                                        out.string() + "' > '" + (dir / (name + ".txt")).string() + "' 2>&1";
            ASSERT_EQ(shell(compare), 0) << compare;
            std::ifstream in(out / "compare.json");
            const nlohmann::json result = nlohmann::json::parse(in);
            const std::string best = result.at("best").get<std::string>();
            ++confusion[d.curve][best];
            if (best == d.curve) {
                ++right;
            } else {
                std::ifstream table(dir / (name + ".txt"));
                std::stringstream text;
                text << table.rdbuf();
                std::printf("%s drawn as %s, named %s:\n%s\n", name.c_str(), d.curve.c_str(), best.c_str(),
                            text.str().c_str());
            }
        }
    }
    std::printf("drawn as       named: %14s%14s%14s\n", curveNames[0].c_str(), curveNames[1].c_str(),
                curveNames[2].c_str());
    for (const std::string& drawn : curveNames) {
        std::printf("%-20s %14d%14d%14d\n", drawn.c_str(), confusion[drawn][curveNames[0]],
                    confusion[drawn][curveNames[1]], confusion[drawn][curveNames[2]]);
    }
    std::printf("right on %d of %d\n", right, 3 * drawingsPerCurve);
    EXPECT_GE(right, leastRight);
    std::filesystem::remove_all(dir);
}

}  // namespace
