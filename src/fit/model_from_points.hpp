#pragma once
/// The fit of any curve model from the points alone: the rings' mean ellipse, the model's
/// starting candidates from it screened on a sample of the points, the best refined on all.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "base/records.hpp"
#include "fit/model_fit.hpp"
#include "model/mean_ellipse.hpp"

/// The mean ellipse of the rings' direct ellipses (fitRingEllipse), point-weighted over the rings
/// that yield one; a direction counts by how elongated its ellipse is. None when no ring yields
/// an ellipse.
std::optional<MeanEllipse> meanEllipse(const CurveStore& curves);

/// The points of every curve, ring j of a family taking curve j + 1; every `stride`-th point of
/// each (from its first) when stride > 1.
std::vector<RingPoints> ringPointsOf(const CurveStore& curves, std::size_t stride = 1);

/// How a fit from the points alone screens its candidates.
struct ScreeningSettings {
    /// About this many points (every so many of each ring) are fitted from each candidate.
    std::int64_t samplePoints = 600;
    /// Solver iterations of each candidate on the sample.
    std::int32_t sampleIterations = 12;
    /// The best this many candidates are refined on all the points.
    std::size_t refined = 2;
    /// The standard errors of the fit that is returned.
    bool standardErrors = true;
};

/// Model M fitted to `curves` from its starting candidates of the rings' mean ellipse: each
/// fitted briefly to a sample of the points, the best refined on all of them; the refined fit of
/// least RMS, with its standard errors when asked. None when no ring yields an ellipse.
template <CurveModel M>
std::optional<ModelFitResult> fitModelFromPoints(const CurveStore& curves, const ScreeningSettings& screening = {});

// ------------------------------------------------------------------------------- definitions

template <CurveModel M>
std::optional<ModelFitResult> fitModelFromPoints(const CurveStore& curves, const ScreeningSettings& screening) {
    const std::optional<MeanEllipse> mean = meanEllipse(curves);
    if (!mean) return std::nullopt;
    const std::vector<CurveParameters> candidates = M::startingCandidates(*mean);
    if (candidates.empty()) return std::nullopt;

    std::int64_t total = 0;
    for (const Curve& curve : curves.curves) total += static_cast<std::int64_t>(curve.x.size());
    const std::size_t stride =
        static_cast<std::size_t>(std::max<std::int64_t>(1, total / std::max<std::int64_t>(1, screening.samplePoints)));
    const std::vector<RingPoints> all = ringPointsOf(curves);
    const std::vector<RingPoints> sample = stride > 1 ? ringPointsOf(curves, stride) : all;

    struct Screened {
        double rms;
        CurveParameters parameters;
    };
    std::vector<Screened> screened;
    ModelFitSettings brief;
    brief.maxIterations = screening.sampleIterations;
    brief.standardErrors = false;
    ModelFitSettings whole;
    whole.standardErrors = false;
    for (const CurveParameters& candidate : candidates) {
        ModelFitResult fit = fitCurveModel<M>(sample, candidate, brief);
        if (std::isfinite(fit.rms)) screened.push_back({fit.rms, std::move(fit.parameters)});
    }
    if (screened.empty()) return std::nullopt;
    std::stable_sort(screened.begin(), screened.end(),
                     [](const Screened& a, const Screened& b) { return a.rms < b.rms; });

    std::optional<ModelFitResult> best;
    for (std::size_t k = 0; k < std::min(screening.refined, screened.size()); ++k) {
        ModelFitResult fit = fitCurveModel<M>(all, screened[k].parameters, whole);
        if (!std::isfinite(fit.rms)) continue;
        if (!best || fit.rms < best->rms) best = std::move(fit);
    }
    // The covariance of the chosen end alone: its fit starts where it converged.
    if (best && screening.standardErrors) best = fitCurveModel<M>(all, best->parameters);
    return best;
}
