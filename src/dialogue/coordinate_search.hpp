#pragma once
/// The cyclic coordinate search of the fit, written against any residual evaluator and any
/// progress report, so that the evaluator can be exchanged without touching the search.

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "base/real80.hpp"
#include "base/records.hpp"

/// Progress summaries after which the fit stops whatever the residual does.
inline constexpr std::int32_t maxProgressReports = 100;
/// A checkpoint whose residual fell by less than this since the best one ends the fit.
inline constexpr Real80 stallThreshold = 1e-10L;

/// Why the search returned.
enum class SearchStop {
    ResidualStalled,  // the residual fell by less than stallThreshold since the best checkpoint
    CheckpointLimit,  // maxProgressReports summaries were printed before that happened
};

/// How the search ended: why, and at which checkpoint (counted from 1; the first one, which
/// only records its residual, included).
struct SearchEnd {
    SearchStop stop = SearchStop::ResidualStalled;
    std::int32_t checkpoints = 0;
};

/// Minimises `residual(coefficients)` one coefficient at a time, changing `coefficients` in
/// place. Every `checkInterval` walk evaluations a checkpoint decides whether to stop; each
/// checkpoint after the first that does not stop calls `reportProgress(coefficients, totals)`.
/// On return `coefficients` holds the vector evaluated last and `totals.residual` its residual.
template <typename Residual, typename Progress>
SearchEnd coordinateSearch(CoefficientVector& coefficients, FitTotals& totals, std::int32_t checkInterval,
                      Residual&& residual, Progress&& reportProgress) {
    const std::int32_t count = coefficients.coefCount();
    std::vector<Real80> stepSize(static_cast<std::size_t>(count));
    for (std::int32_t k = 1; k <= count; ++k) {
        stepSize[static_cast<std::size_t>(k - 1)] = coefficients.coef(k) / 100.0L;
    }
    std::int32_t walkCount = 0;
    std::int32_t reportCount = 0;
    bool firstCheckpoint = true;
    Real80 bestCheckpointResidual = 0.0L;
    SearchEnd end;

    // True when the fit is to stop with `current` as the run's residual.
    auto checkProgress = [&](Real80 current) {
        end.checkpoints += 1;
        if (firstCheckpoint) {
            firstCheckpoint = false;
            bestCheckpointResidual = current;
            walkCount = 0;
            return false;
        }
        const Real80 d = bestCheckpointResidual - current;
        const bool stalled = d >= 0.0L && d < stallThreshold;
        if (stalled || reportCount >= maxProgressReports) {
            end.stop = stalled ? SearchStop::ResidualStalled : SearchStop::CheckpointLimit;
            totals.residual = current;
            return true;
        }
        if (current < bestCheckpointResidual) bestCheckpointResidual = current;
        totals.residual = current;
        walkCount = 0;
        reportCount += 1;
        reportProgress(std::as_const(coefficients), std::as_const(totals));
        return false;
    };

    for (;;) {
        for (std::int32_t k = 1; k <= count; ++k) {
            Real80& coef = coefficients.coef(k);
            Real80& step = stepSize[static_cast<std::size_t>(k - 1)];
            bool probeAgain = false;
            do {
                probeAgain = false;
                Real80 f0 = residual(std::as_const(coefficients));
                Real80 delta = step;
                coef += delta;
                Real80 f1 = residual(std::as_const(coefficients));
                // An unordered pair keeps the probe, as if it were better.
                if (f1 >= f0) {
                    delta = -delta;
                    coef += delta;
                    std::swap(f0, f1);
                }
                Real80 n = 0.0L;
                Real80 f2 = f1;
                for (;;) {
                    n += 1.0L;
                    coef += delta;
                    f2 = residual(std::as_const(coefficients));
                    walkCount += 1;
                    if (walkCount == checkInterval && checkProgress(f2)) return end;
                    // Compared with the start of the walk, not with the previous step.
                    if (f2 > f1 || std::isunordered(f2, f1)) break;
                    if (n >= 10.0L) {
                        step = step * 10.0L;
                        probeAgain = true;
                        break;
                    }
                }
                if (!probeAgain && !std::isnan(f0) && !std::isnan(f1) && !std::isnan(f2)) {
                    const Real80 q = 1.0L / ((f0 - f1) / (f2 - f1) + 1.0L) + 0.5L;
                    coef = coef - delta * q;
                    step = step * n / 5.0L;
                }
            } while (probeAgain);
        }
    }
}
