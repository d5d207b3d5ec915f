/// compare_bench: `kelmar compare` against `kelmar fit` on the same plan, each run once as the
/// program runs it (reading the plan, fitting, writing the files).
///
/// Data: 3 concentric eight-centre rings of 400 points (OA 30, OB 22, OC 18, DC 12, AE 20, 26, 32,
/// centre (2500.3, -1400.2), rotation 0.4 rad; radial noise up to 0.01; tools/oval_sampling,
/// seed 1), written as a survey point file with a RING column.
///
/// Cases:
///   KelmarFit       kelmar fit PLAN --ring-by RING --out DIR
///   KelmarCompare   kelmar compare PLAN --ring-by RING --out DIR
/// The summary prints each case's time and their ratio, which must stay below 3; the run's exit
/// status is 1 when it does not.
///
///   compare_bench

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/commands.hpp"
#include "oval_sampling.hpp"

namespace {

constexpr std::int32_t curveCount = 3;
constexpr std::int32_t pointsPerCurve = 400;
constexpr std::uint64_t seed = 1;
constexpr Real80 noise = 0.01L;
// compare fits three curves where fit fits one, but leaves out the standard errors and four files.
constexpr double mostRatio = 3;

std::map<std::string, double> secondsByCase;

const std::filesystem::path& workFolder() {
    static const std::filesystem::path folder = [] {
        const std::filesystem::path f = std::filesystem::temp_directory_path() / "kelmar_compare_bench";
        std::filesystem::remove_all(f);
        std::filesystem::create_directories(f);
        CoefficientVector v;
        v.values = {30.0L, 22.0L, 2500.3L, -1400.2L, 0.4L, 18.0L, 12.0L, 20.0L, 26.0L, 32.0L};
        const std::vector<std::vector<SampledPoint>> family = sampleOvalFamily(v, pointsPerCurve, noise, seed);
        std::ofstream plan(f / "plan.csv");
        plan << "X,Y,RING\n";
        plan.precision(12);
        for (std::size_t j = 0; j < family.size(); ++j) {
            for (const SampledPoint& p : family[j]) plan << static_cast<double>(p.at.x) << "," << static_cast<double>(p.at.y) << "," << j + 1 << "\n";
        }
        return f;
    }();
    return folder;
}

/// Runs kelmar with `command` on the plan, output into a folder of the command's name.
void runKelmar(benchmark::State& state, const std::string& command, const std::string& name) {
    const std::string plan = (workFolder() / "plan.csv").string();
    const std::string out = (workFolder() / command).string();
    std::vector<std::string> words{"kelmar", command, plan, "--ring-by", "RING", "--out", out};
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int status = runCommandLine(static_cast<int>(argv.size()), argv.data());
        secondsByCase[name] = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (status != 0) state.SkipWithError(("kelmar " + command + " failed").c_str());
    }
}

void KelmarFit(benchmark::State& state) { runKelmar(state, "fit", "fit"); }
void KelmarCompare(benchmark::State& state) { runKelmar(state, "compare", "compare"); }

BENCHMARK(KelmarFit)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(KelmarCompare)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const double fit = secondsByCase["fit"];
    const double compare = secondsByCase["compare"];
    if (!(fit > 0) || !(compare > 0)) return 1;
    const double ratio = compare / fit;
    std::printf("kelmar fit %.3f s, kelmar compare %.3f s: compare takes %.2f times as long (at most %.0f)\n", fit,
                compare, ratio, mostRatio);
    return ratio < mostRatio ? 0 : 1;
}
