#pragma once
/// The least-squares fit of any curve model to rings of points, with automatic derivatives
/// through the model's templated deviation: the groundwork of a solver written once for every model.

#include <cstdint>
#include <vector>

#include "fit/ring_deviations.hpp"
#include "model/curve_model.hpp"

struct ModelFitSettings {
    /// Solver iterations at most.
    std::int32_t maxIterations = 200;
    /// Relative change of the sum of squares in one iteration below which the solver has converged.
    double functionTolerance = 1e-15;
};

/// What the fit ended on: the family, the root mean square deviation of all points and of each
/// ring, the iterations and whether the solver reports convergence.
struct ModelFitResult {
    CurveParameters parameters;
    double rms = 0;
    std::vector<double> ringRms;  // 0 for a ring without points
    std::int32_t iterations = 0;
    bool converged = false;
};

/// Fits model M from `start` to `rings` (ring j of the family takes rings[j]; rings beyond the
/// family are left out), each parameter kept within its model's bounds. The points are taken
/// relative to their mean, so that a plan far from its origin loses no digits.
template <CurveModel M>
ModelFitResult fitCurveModel(const std::vector<RingPoints>& rings, const CurveParameters& start,
                             const ModelFitSettings& settings = {});
