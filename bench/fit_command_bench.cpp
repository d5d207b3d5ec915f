/// fit_command_bench: the fit of `kelmar fit` against the dialogue's fit, on the same generated
/// drawing and from the same starting values, in one run.
///
/// Data: 30 concentric rings of 2000 points (OA 10, OB 6, OC 8, DC 5, centre (0.3, -0.2), rotation
/// 0.01 rad, AE 2, 3, ..., 31; radial noise up to 0.01; tools/oval_sampling, seed 1), the drawing
/// bench/fit_bench measures. Starting values: every coefficient about 2 % off (the same draw as
/// fit_bench), the rotation typed in degrees.
///
/// Cases:
///   Dialogue          prepareForFit, then optimiseCoefficients with the incremental residual,
///                     checkpoints every 500 evaluations, summaries not printed: the dialogue's fit
///   KelmarFit/start   fitOval from the same starting values (the rotation in radians), standard
///                     errors included: `kelmar fit PLAN --start ...` without reading and writing
///   KelmarFit/auto    startingValues from the points, then fitOval: `kelmar fit PLAN`
/// The summary prints each case's time, the final root mean square deviation each reaches (the
/// dialogue's own residual; the own-frame one for kelmar fit) and the ratio of the times.
///
///   fit_command_bench [--benchmark_repetitions=N]

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <string>

#include "base/constants.hpp"
#include "dialogue/optimiser.hpp"
#include "fit/oval_fit.hpp"
#include "fit/own_frame_arc.hpp"
#include "fit/starting_values.hpp"
#include "oval_sampling.hpp"

namespace {

constexpr std::int32_t curveCount = 30;
constexpr std::int32_t pointsPerCurve = 2000;
constexpr std::uint64_t seed = 1;
constexpr Real80 noise = 0.01L;

CoefficientVector truth() {
    CoefficientVector v;
    v.values = {10.0L, 6.0L, 0.3L, -0.2L, 0.01L, 8.0L, 5.0L};
    for (std::int32_t j = 1; j <= curveCount; ++j) v.values.push_back(1.0L + j);
    return v;
}

CurveStore generatedStore() { return curveStoreOf(sampleOvalFamily(truth(), pointsPerCurve, noise, seed)); }

/// Every coefficient within 2 % of the truth (the draw of fit_bench), the rotation in degrees as
/// a user types it.
CoefficientVector typedStart() {
    std::mt19937_64 random(seed ^ 0x5bd1e995u);
    CoefficientVector v = truth();
    for (Real80& c : v.values) c = c * (1 + 0.04L * (uniformUnit(random()) - 0.5L));
    v.coef(coefficient::rotation) *= constant::degreesPerRadian;
    return v;
}

struct Timing {
    double bestSeconds = 0;
    double rms = 0;
};
std::map<std::string, Timing> timings;

void record(const std::string& name, double seconds, double rms) {
    Timing& t = timings[name];
    if (t.bestSeconds == 0 || seconds < t.bestSeconds) t.bestSeconds = seconds;
    t.rms = rms;
}

template <typename Fit>
void timed(benchmark::State& state, const std::string& name, Fit&& fit) {
    for (auto _ : state) {
        const auto begin = std::chrono::steady_clock::now();
        const double rms = fit();
        record(name, std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count(), rms);
    }
}

const CurveStore& store() {
    static const CurveStore generated = generatedStore();
    return generated;
}

void dialogue(benchmark::State& state) {
    timed(state, "Dialogue", [] {
        CoefficientVector c = typedStart();
        prepareForFit(c);
        FitTotals totals;
        // The typed start stands: its construction never collapses, so the result is the search's end.
        static_cast<void>(
            optimiseCoefficients(c, totals, store(), checkpointInterval, [](const CoefficientVector&, const FitTotals&) {}));
        return static_cast<double>(totals.residual);
    });
}

void kelmarFitFromStart(benchmark::State& state) {
    timed(state, "KelmarFit/start", [] {
        CoefficientVector c = typedStart();
        c.coef(coefficient::rotation) /= constant::degreesPerRadian;
        const OvalFit fit = fitOval(store(), c, OvalFitSettings{});
        return static_cast<double>(ownFrameDeviations(fit.coefficients, store()).rms);
    });
}

void kelmarFitAutomatic(benchmark::State& state) {
    timed(state, "KelmarFit/auto", [] {
        const OvalFit fit = fitOval(store(), startingValues(store())->coefficients, OvalFitSettings{});
        return static_cast<double>(ownFrameDeviations(fit.coefficients, store()).rms);
    });
}

}  // namespace

int main(int argc, char** argv) {
    store();
    using Case = std::pair<const char*, void (*)(benchmark::State&)>;
    for (const Case& c : {Case{"Dialogue", dialogue}, Case{"KelmarFit/start", kelmarFitFromStart},
                          Case{"KelmarFit/auto", kelmarFitAutomatic}}) {
        benchmark::RegisterBenchmark(c.first, c.second)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\n30 x 2000 points    %10s %14s %18s\n", "seconds", "final rms", "dialogue / this");
    const double dialogueSeconds = timings.count("Dialogue") ? timings["Dialogue"].bestSeconds : 0;
    for (const char* name : {"Dialogue", "KelmarFit/start", "KelmarFit/auto"}) {
        if (timings.count(name) == 0) continue;
        const Timing& t = timings[name];
        std::printf("%-19s %10.3f %14.9f", name, t.bestSeconds, t.rms);
        if (dialogueSeconds > 0) std::printf(" %18.1f", dialogueSeconds / t.bestSeconds);
        std::printf("\n");
    }
    return 0;
}
