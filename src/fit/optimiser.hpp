#pragma once
/// The fit: refines the coefficient vector of a run until its residual stops falling.

#include <cstdint>

#include "main/real80.hpp"
#include "main/run_state.hpp"

/// The residual the fit minimises, for a trial vector over the run's points: every vector
/// evaluated in full by ovalResidual. The reference that the fast evaluation is held to.
struct ResidualEvaluator {
    const CurveStore& curves;
    Real80 operator()(const CoefficientVector& coefficients) const;
};

/// How the fit evaluates its residual. Both give the same bits for every vector; Reference is
/// there for tests that compare whole runs.
enum class ResidualEvaluation { Incremental, Reference };

/// Runs the coordinate search on run.coefficients; prints a summary on the console and in
/// the report at every progress checkpoint; leaves the last evaluated vector and its residual.
void optimiseCoefficients(RunState& run, std::int32_t checkInterval,
                          ResidualEvaluation evaluation = ResidualEvaluation::Incremental);
