/// fit_bench: times the fit on generated concentric eight-centre ovals (fixed seed) with the
/// reference residual (every trial vector evaluated in full by ovalResidual, one thread) and
/// with the incremental one, also held to one thread. Every fit is checked to end identically
/// every way: the same coefficient bits, the same residual bits and the same number of
/// evaluations. At the end it prints, per case, the times and the ratio reference/incremental.
///
/// Data: OA 10, OB 6, OC 8, DC 5, centre (0.3, -0.2), rotation 0.01 rad, AE 2, 3, 4, ...; the
/// points evenly along each curve with radial noise of up to 0.01 (tools/oval_sampling, seed
/// 1); the start about 2 % off, plus the program's offset of 1.111e-6.
///
/// Cases "AxB" are whole fits of A curves of B points, exactly as the program runs them
/// (checkpoint interval 500, until the search stops), without the printing of summaries.
/// "30x2000/first 20000" times the first 20000 evaluations of the 30 x 2000 fit. The
/// "Construction" cases time one evaluation of a new construction (the centre moved) by
/// point count and threads (0: the reference): they set the point count below which the
/// incremental residual stays on one thread.
///
/// The whole reference fit of 30 x 2000 takes about two minutes; leave it out with
/// --benchmark_filter='-Fit/30x2000/reference'. --benchmark_repetitions=N repeats every case;
/// the summary takes the fastest repetition.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "dialogue/coordinate_search.hpp"
#include "dialogue/incremental_residual.hpp"
#include "dialogue/optimiser.hpp"
#include "dialogue/residual.hpp"
#include "oval_sampling.hpp"

namespace {

constexpr std::uint64_t seed = 1;
constexpr Real80 noise = 0.01L;
constexpr std::int32_t checkInterval = checkpointInterval;

/// OA 10, OB 6, OC 8, DC 5, centre (0.3, -0.2), rotation 0.01 rad; AE 2, 3, 4, ... per curve.
CoefficientVector truth(std::int32_t curves) {
    CoefficientVector v;
    v.values = {10.0L, 6.0L, 0.3L, -0.2L, 0.01L, 8.0L, 5.0L};
    for (std::int32_t j = 1; j <= curves; ++j) v.values.push_back(1.0L + j);
    return v;
}

CurveStore generatedStore(std::int32_t curves, std::int32_t points) {
    return curveStoreOf(sampleOvalFamily(truth(curves), points, noise, seed));
}

/// A start a few percent off the truth, offset as the program offsets every start.
CoefficientVector startOf(std::int32_t curves) {
    std::mt19937_64 random(seed ^ 0x5bd1e995u);
    CoefficientVector v = truth(curves);
    for (Real80& c : v.values) c = c * (1 + 0.04L * (uniformUnit(random()) - 0.5L)) + startOffset;
    return v;
}

struct Outcome {
    std::vector<Real80> coefficients;
    Real80 residual = 0;
    std::int64_t evaluations = 0;
    bool operator==(const Outcome& o) const {
        if (coefficients.size() != o.coefficients.size() || evaluations != o.evaluations) return false;
        for (std::size_t k = 0; k < coefficients.size(); ++k) {
            if (std::memcmp(&coefficients[k], &o.coefficients[k], 10) != 0) return false;
        }
        return std::memcmp(&residual, &o.residual, 10) == 0;
    }
};

struct EnoughEvaluations {};

/// Counts evaluations and ends the search after `limit` of them (0: no limit).
template <typename Residual>
struct Counted {
    Residual& residual;
    std::int64_t limit;
    std::int64_t evaluations = 0;
    Real80 last = 0;
    Real80 operator()(const CoefficientVector& v) {
        if (limit != 0 && evaluations == limit) throw EnoughEvaluations{};
        ++evaluations;
        last = residual(v);
        return last;
    }
};

template <typename Residual>
Outcome fit(std::int32_t curves, std::int64_t limit, Residual& residual) {
    CoefficientVector v = startOf(curves);
    FitTotals totals;
    Counted<Residual> counted{residual, limit};
    try {
        coordinateSearch(v, totals, checkInterval, counted, [](const CoefficientVector&, const FitTotals&) {});
    } catch (const EnoughEvaluations&) {
        totals.residual = counted.last;
    }
    return Outcome{v.values, totals.residual, counted.evaluations};
}

struct Case {
    std::string name;
    std::int32_t curves;
    std::int32_t points;
    std::int64_t limit;  // evaluations timed; 0 for the whole fit
};

struct Timing {
    double bestSeconds = 0;
    Outcome outcome;
};

std::map<std::string, std::map<std::string, Timing>> timings;  // case -> path -> timing
std::vector<std::string> caseOrder;                              // as registered

void record(const std::string& caseName, const std::string& path, double seconds, const Outcome& outcome) {
    Timing& t = timings[caseName][path];
    if (t.bestSeconds == 0 || seconds < t.bestSeconds) t.bestSeconds = seconds;
    t.outcome = outcome;
}

enum class Path { Reference, Incremental, IncrementalOneThread };
const char* const pathNames[] = {"reference", "incremental", "incremental-1-thread"};

void runFit(benchmark::State& state, const Case& c, Path path) {
    const CurveStore store = generatedStore(c.curves, c.points);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        Outcome outcome;
        if (path == Path::Reference) {
            ReferenceResidual evaluator{store};
            outcome = fit(c.curves, c.limit, evaluator);
        } else {
            IncrementalResidualSettings settings;
            if (path == Path::IncrementalOneThread) settings.threads = 1;
            IncrementalResidual evaluator(store, settings);
            outcome = fit(c.curves, c.limit, evaluator);
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.counters["evaluations"] = static_cast<double>(outcome.evaluations);
        record(c.name, pathNames[static_cast<int>(path)], seconds, outcome);
    }
}

/// One evaluation of a new construction: the vectors alternate in the centre's X.
void newConstruction(benchmark::State& state) {
    const auto points = static_cast<std::int32_t>(state.range(0));
    const auto threads = static_cast<unsigned>(state.range(1));
    const CurveStore store = generatedStore(1, points);
    CoefficientVector v = startOf(1);
    const Real80 x = v.coef(coefficient::centreX);
    bool flip = false;
    auto next = [&] {
        flip = !flip;
        v.coef(coefficient::centreX) = flip ? x : x + 1e-6L;
    };
    if (threads == 0) {
        for (auto _ : state) {
            next();
            benchmark::DoNotOptimize(ovalResidual(v, store));
        }
        state.SetLabel("reference");
        return;
    }
    IncrementalResidual residual(store, IncrementalResidualSettings{threads, 0});
    for (auto _ : state) {
        next();
        benchmark::DoNotOptimize(residual(v));
    }
    state.SetLabel(std::to_string(threads) + " thread(s)");
}

void printSummary() {
    std::printf("\n%-22s %12s %14s %8s %16s  %s\n", "fit", "reference s", "incremental s", "ratio",
                "one thread s", "same result");
    for (const std::string& name : caseOrder) {
        if (timings.count(name) == 0) continue;
        const auto& paths = timings[name];
        const auto reference = paths.find("reference");
        const auto incremental = paths.find("incremental");
        const auto oneThread = paths.find("incremental-1-thread");
        if (reference == paths.end() || incremental == paths.end()) continue;
        bool same = reference->second.outcome == incremental->second.outcome;
        char oneThreadTime[32] = "-";
        if (oneThread != paths.end()) {
            same = same && reference->second.outcome == oneThread->second.outcome;
            std::snprintf(oneThreadTime, sizeof oneThreadTime, "%.3f", oneThread->second.bestSeconds);
        }
        std::printf("%-22s %12.3f %14.3f %8.2f %16s  %s (%lld evaluations)\n", name.c_str(),
                    reference->second.bestSeconds, incremental->second.bestSeconds,
                    reference->second.bestSeconds / incremental->second.bestSeconds, oneThreadTime,
                    same ? "yes" : "NO", static_cast<long long>(incremental->second.outcome.evaluations));
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<Case> cases = {
        {"1x100", 1, 100, 0},      {"1x300", 1, 300, 0},    {"1x600", 1, 600, 0},
        {"1x1000", 1, 1000, 0},    {"1x2000", 1, 2000, 0},  {"3x300", 3, 300, 0},
        {"30x2000/first 20000", 30, 2000, 20000}, {"30x2000", 30, 2000, 0},
    };
    for (const Case& c : cases) {
        caseOrder.push_back(c.name);
        for (const Path path : {Path::Reference, Path::Incremental, Path::IncrementalOneThread}) {
            const std::string name = "Fit/" + c.name + "/" + pathNames[static_cast<int>(path)];
            benchmark::RegisterBenchmark(name.c_str(), [c, path](benchmark::State& s) { runFit(s, c, path); })
                ->Iterations(1)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
        }
    }
    auto* construction = benchmark::RegisterBenchmark("Construction", newConstruction);
    for (const int points : {100, 250, 500, 750, 1000, 1500, 2000, 6000, 60000}) {
        for (const int threads : {0, 1, 2}) construction->Args({points, threads});
    }
    construction->UseRealTime()->Unit(benchmark::kMicrosecond);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printSummary();
    return 0;
}
