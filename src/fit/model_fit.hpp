#pragma once
/// The least-squares fit of any curve model to rings of points, with automatic derivatives
/// through the model's templated deviation: the groundwork of a solver written once for every model.

#include <cstdint>
#include <optional>
#include <vector>

#include "fit/ring_deviations.hpp"
#include "model/curve_model.hpp"

struct ModelFitSettings {
    /// Solver iterations at most.
    std::int32_t maxIterations = 200;
    /// Relative change of the sum of squares in one iteration below which the solver has converged.
    double functionTolerance = 1e-15;
    /// The standard errors, from the covariance at the optimum.
    bool standardErrors = true;
};

/// Standard errors of one ring's parameters (in the order of its block) and of its semi-axes.
struct RingStandardErrors {
    std::vector<double> values;
    RingAxes axes;
};

/// Standard errors from the covariance at the optimum, scaled by the residual variance: of the
/// shared block's parameters (placement, then shape) and of each ring's, none for a ring without
/// points.
struct ModelStandardErrors {
    std::vector<double> shared;
    std::vector<std::optional<RingStandardErrors>> rings;
};

/// What the fit ended on: the family, the root mean square deviation of all points and of each
/// ring, the iterations and whether the solver reports convergence.
struct ModelFitResult {
    CurveParameters parameters;
    double rms = 0;
    std::vector<double> ringRms;  // 0 for a ring without points
    std::int32_t iterations = 0;
    bool converged = false;
    /// None when not asked for, or when the points do not determine every parameter (fewer points
    /// than parameters, or a Jacobian without full rank).
    std::optional<ModelStandardErrors> standardErrors;
};

/// Fits model M from `start` to `rings` (ring j of the family takes rings[j]; rings beyond the
/// family are left out), each parameter kept within its model's bounds. The points are taken
/// relative to their mean, so that a plan far from its origin loses no digits. The semi-axes' errors
/// carry the derivatives of the model's ownFrameSemiAxes where it offers them, and central
/// differences of semiAxes otherwise.
template <CurveModel M>
ModelFitResult fitCurveModel(const std::vector<RingPoints>& rings, const CurveParameters& start,
                             const ModelFitSettings& settings = {});
