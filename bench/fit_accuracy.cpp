/// fit_accuracy: how often the automatic fit finds the best oval. It generates drawings of
/// concentric eight-centre ovals (tools/oval_sampling) at random: rotated anywhere in +-90
/// degrees, centred up to 300 units from the origin, full rings or half rings, 400, 60 or 15
/// points per ring (uneven between rings), one to four rings, some near-circular, radial noise of
/// 0.01 % to 0.5 % of the size. Each drawing is fitted twice: from the starting values the points
/// give (what `kelmar fit` does) and, as the yardstick, from the true oval with a tighter
/// tolerance. A drawing succeeds when the automatic fit's own-frame RMS is within 2 % of the
/// yardstick's. Prints each failure and the success rate.
///
/// With --family partial the drawings are of walls of which only a stretch survives: one to three
/// rings of such an oval, each seen from the centre over 60, 90 or 120 degrees (the same span for
/// every ring of a drawing) from a direction drawn for each ring apart; the success rate is given
/// for each span.
///
///   fit_accuracy [--drawings N] [--seed S] [--family full|partial] [--verbose] [--show N]

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "base/constants.hpp"
#include "fit/fit_quality.hpp"
#include "fit/oval_fit.hpp"
#include "fit/own_frame_arc.hpp"
#include "fit/starting_values.hpp"
#include "model/oval_construction.hpp"
#include "oval_sampling.hpp"

namespace {

constexpr double successRatio = 1.02;

// The spans of the partial family, in degrees seen from the centre.
constexpr std::array<int, 3> partialSpans{60, 90, 120};

struct Drawing {
    std::string description;
    int spanDegrees = 360;
    CoefficientVector truth;
    CurveStore curves;
};

Drawing randomDrawing(std::mt19937_64& random) {
    auto uniform = [&random](double low, double high) { return low + (high - low) * static_cast<double>(uniformUnit(random())); };
    auto pick = [&random](int count) { return static_cast<int>(random() % static_cast<std::uint64_t>(count)); };
    Drawing d;
    const bool nearCircular = pick(6) == 0;
    const int rings = 1 + pick(4);
    const bool half = pick(3) == 0;
    // The construction: OA, OB, then C and D somewhere inside their segments.
    const double oa = nearCircular ? uniform(0.5, 2) : uniform(5, 20);
    const double ob = oa * (nearCircular ? uniform(0.8, 1.5) : uniform(0.4, 2.5));
    const double oc = oa * uniform(0.25, 0.85);
    const double dc = std::hypot(oc, ob) * uniform(0.15, 0.85);
    const double ae = nearCircular ? uniform(20, 40) : uniform(2, 20);
    const double spacing = uniform(1, 6);
    const double rotation = uniform(-90, 90);
    const double distance = uniform(0, 300);
    const double bearing = uniform(0, 2 * std::numbers::pi);
    d.truth.values = {oa, ob, distance * std::cos(bearing), distance * std::sin(bearing),
                      rotation * std::numbers::pi / 180, oc, dc};
    for (int j = 0; j < rings; ++j) d.truth.values.push_back(ae + spacing * j);
    const OvalConstruction k = buildOvalConstruction(d.truth);
    const double size = static_cast<double>(semiAxes(k, ae, arcRadii(k, ae).rMax).semiMajor);
    const double noise = size * std::pow(10.0, uniform(-4, std::log10(0.005)));
    const int counts[] = {400, 60, 15};
    std::vector<std::int32_t> pointCounts;
    for (int j = 0; j < rings; ++j) pointCounts.push_back(counts[pick(3)]);
    const PerimeterPart part = half ? PerimeterPart{uniform(0, 1), 0.5L} : PerimeterPart{};

    d.curves = curveStoreOf(sampleOvalFamily(d.truth, pointCounts, noise, random(), part));
    char text[256];
    std::snprintf(text, sizeof text,
                  "%d %s rings%s, points %d..., OA %.2f OB %.2f OC %.2f DC %.2f AE %.2f, rotation %.1f, centre (%.0f, %.0f), "
                  "noise %.3g",
                  rings, half ? "half" : "full", nearCircular ? " (near-circular)" : "", pointCounts[0], oa, ob, oc,
                  dc, ae, rotation, static_cast<double>(d.truth.values[2]), static_cast<double>(d.truth.values[3]),
                  noise);
    d.description = text;
    return d;
}

/// A drawing of the partial family: the construction, size, place and noise drawn as for the full
/// family, one to three rings, each seen over one span from its own direction.
Drawing randomPartialDrawing(std::mt19937_64& random) {
    auto uniform = [&random](double low, double high) { return low + (high - low) * static_cast<double>(uniformUnit(random())); };
    auto pick = [&random](int count) { return static_cast<int>(random() % static_cast<std::uint64_t>(count)); };
    Drawing d;
    const bool nearCircular = pick(6) == 0;
    const int rings = 1 + pick(3);
    d.spanDegrees = partialSpans[static_cast<std::size_t>(pick(3))];
    const double oa = nearCircular ? uniform(0.5, 2) : uniform(5, 20);
    const double ob = oa * (nearCircular ? uniform(0.8, 1.5) : uniform(0.4, 2.5));
    const double oc = oa * uniform(0.25, 0.85);
    const double dc = std::hypot(oc, ob) * uniform(0.15, 0.85);
    const double ae = nearCircular ? uniform(20, 40) : uniform(2, 20);
    const double spacing = uniform(1, 6);
    const double rotation = uniform(-90, 90);
    const double distance = uniform(0, 300);
    const double bearing = uniform(0, 2 * std::numbers::pi);
    d.truth.values = {oa, ob, distance * std::cos(bearing), distance * std::sin(bearing),
                      rotation * std::numbers::pi / 180, oc, dc};
    for (int j = 0; j < rings; ++j) d.truth.values.push_back(ae + spacing * j);
    const OvalConstruction k = buildOvalConstruction(d.truth);
    const double size = static_cast<double>(semiAxes(k, ae, arcRadii(k, ae).rMax).semiMajor);
    const double noise = size * std::pow(10.0, uniform(-4, std::log10(0.005)));
    const int counts[] = {400, 60, 15};
    std::vector<std::int32_t> pointCounts;
    std::vector<PerimeterPart> parts;
    std::string froms;
    for (int j = 1; j <= rings; ++j) {
        pointCounts.push_back(counts[pick(3)]);
        const double from = uniform(0, 360);
        parts.push_back(partSeenOver(k, arcRadii(k, d.truth.coef(coefficient::ae(j))), from, d.spanDegrees));
        froms += (j == 1 ? "" : ",") + std::to_string(static_cast<int>(from));
    }
    d.curves = curveStoreOf(sampleOvalFamilyByParts(d.truth, pointCounts, noise, random(), parts));
    char text[320];
    std::snprintf(text, sizeof text,
                  "%d rings seen over %d degrees from %s%s, points %d..., OA %.2f OB %.2f OC %.2f DC %.2f AE %.2f, "
                  "rotation %.1f, centre (%.0f, %.0f), noise %.3g",
                  rings, d.spanDegrees, froms.c_str(), nearCircular ? " (near-circular)" : "", pointCounts[0], oa, ob,
                  oc, dc, ae, rotation, static_cast<double>(d.truth.values[2]), static_cast<double>(d.truth.values[3]),
                  noise);
    d.description = text;
    return d;
}

}  // namespace

int main(int argc, char** argv) {
    int drawings = 200;
    std::uint64_t seed = 1;
    bool verbose = false;
    int show = 0;
    bool partial = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--drawings") == 0 && i + 1 < argc) {
            drawings = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc) {
            seed = std::strtoull(argv[++i], nullptr, 10);
        } else if (std::strcmp(argv[i], "--show") == 0 && i + 1 < argc) {
            show = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--family") == 0 && i + 1 < argc) {
            const std::string family = argv[++i];
            if (family != "full" && family != "partial") {
                std::fprintf(stderr, "fit_accuracy: --family is full or partial, not '%s'\n", family.c_str());
                return 2;
            }
            partial = family == "partial";
        } else if (std::strcmp(argv[i], "--verbose") == 0) {
            verbose = true;
        } else {
            std::fprintf(stderr, "usage: fit_accuracy [--drawings N] [--seed S] [--family full|partial] [--verbose] [--show N]\n");
            return 2;
        }
    }
    std::mt19937_64 random(seed);
    int successes = 0;
    int warnings = 0;  // drawings whose answer may not be unique
    double seconds = 0;
    std::array<int, partialSpans.size()> spanDrawings{}, spanSuccesses{};
    for (int n = 1; n <= drawings; ++n) {
        const Drawing d = partial ? randomPartialDrawing(random) : randomDrawing(random);
        OvalFitSettings careful;
        careful.maxIterations = 1000;
        careful.functionTolerance = 1e-15;
    careful.stallFraction = 0;
        const double best =
            static_cast<double>(ownFrameDeviations(fitOval(d.curves, d.truth, careful).coefficients, d.curves).rms);

        const auto begin = std::chrono::steady_clock::now();
        std::optional<CoefficientVector> start;
        std::optional<RefinedStart> runnerUp;
        if (auto automatic = startingValues(d.curves)) {
            start = automatic->coefficients;
            runnerUp = automatic->runnerUp;
        }
        double found = INFINITY;
        const char* stop = "no start";
        std::optional<OvalFit> fit;
        if (start) {
            fit = fitOval(d.curves, *start, OvalFitSettings{});
            found = static_cast<double>(ownFrameDeviations(fit->coefficients, d.curves).rms);
            stop = stopReasonName(fit->stopReason).data();
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        bool warned = false;
        if (fit && runnerUp) {
            FitQuality quality = assessFit(d.curves, *fit, OvalFitSettings{});
            warnOfOtherOptimum(quality, d.curves, *fit, runnerUp->coefficients, runnerUp->rms);
            warned = std::find(quality.warningCodes.begin(), quality.warningCodes.end(),
                               std::string(warningCode::multipleOptima)) != quality.warningCodes.end();
            warnings += warned ? 1 : 0;
        }
        if (n == show) {
            auto print = [](const char* name, const CoefficientVector& c) {
                std::printf("%-8s", name);
                for (const Real80 v : c.values) std::printf(" %10.5f", static_cast<double>(v));
                std::printf("\n");
            };
            print("truth", d.truth);
            if (start) {
                print("start", *start);
                print("found", fitOval(d.curves, *start, OvalFitSettings{}, [](const FitIteration& it) {
                    std::printf("  %3d %d %.9g\n", it.number, it.accepted, it.rms);
                }).coefficients);
            }
            print("best", fitOval(d.curves, d.truth, careful).coefficients);
        }
        const bool success = found <= successRatio * best;
        successes += success ? 1 : 0;
        for (std::size_t s = 0; s < partialSpans.size(); ++s) {
            if (d.spanDegrees != partialSpans[s]) continue;
            spanDrawings[s] += 1;
            spanSuccesses[s] += success ? 1 : 0;
        }
        if (!success || verbose) {
            std::printf("%s %4d: rms %.6g, best %.6g (x%.3f), %s%s; %s\n", success ? "ok  " : "FAIL", n, found, best,
                        found / best, stop, warned ? ", may not be unique" : "", d.description.c_str());
        }
    }
    std::printf("%d of %d drawings within 2 %% of the best fit (%.1f %%); automatic fits took %.2f s in all\n",
                successes, drawings, 100.0 * successes / drawings, seconds);
    std::printf("%d drawings warned that the answer may not be unique\n", warnings);
    for (std::size_t s = 0; s < partialSpans.size(); ++s) {
        if (spanDrawings[s] == 0) continue;
        std::printf("  seen over %3d degrees: %d of %d within 2 %% (%.1f %%)\n", partialSpans[s], spanSuccesses[s],
                    spanDrawings[s], 100.0 * spanSuccesses[s] / spanDrawings[s]);
    }
    return successes == drawings ? 0 : 1;
}
