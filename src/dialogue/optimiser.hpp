#pragma once
/// The dialogue's fit: prepares the starting coefficients and refines them by the coordinate
/// search until the residual stops falling, reporting progress through a callback.

#include <cstdint>
#include <functional>
#include <string>

#include "base/input_problem.hpp"
#include "base/real80.hpp"
#include "base/records.hpp"
#include "dialogue/coordinate_search.hpp"

/// Walk evaluations between two checkpoints of the search.
inline constexpr std::int32_t checkpointInterval = 500;
/// Added to every coefficient before the fit: each coefficient's first step is its own value
/// divided by 100, so a coefficient of exactly 0 would never move.
inline constexpr Real80 startOffset = 1.111e-6L;

/// Turns the starting coefficients as typed (rotation in degrees) into the fit's start: the
/// rotation times pi, then divided by 180, and startOffset added to every coefficient.
void prepareForFit(CoefficientVector& coefficients);

/// The reference residual: every trial vector evaluated in full by ovalResidual, one point
/// after another. The fast evaluation is held to it bit for bit.
struct ReferenceResidual {
    const CurveStore& curves;
    Real80 operator()(const CoefficientVector& coefficients) const;
};

/// How the fit evaluates its residual. Both give the same bits for every vector; Reference is
/// there for tests that compare whole runs.
enum class ResidualEvaluation { Incremental, Reference };

/// Called at every progress checkpoint with the trial vector and its residual.
using ProgressReport = std::function<void(const CoefficientVector&, const FitTotals&)>;

/// Runs the coordinate search on `coefficients` over `curves`, calling `progress` at every
/// progress checkpoint; leaves the last evaluated vector and its residual in `totals`, and
/// returns why the search stopped. A vector whose construction collapses stops the search before
/// it is evaluated, and its problem is returned instead, the vector left in `coefficients`.
[[nodiscard]] InputResult<SearchEnd> optimiseCoefficients(CoefficientVector& coefficients, FitTotals& totals,
                                                          const CurveStore& curves, std::int32_t checkInterval,
                                                          const ProgressReport& progress,
                                                          ResidualEvaluation evaluation = ResidualEvaluation::Incremental);

/// How a fit ended, in one sentence: the checkpoint it stopped at, the walk evaluations behind
/// it, and which of the two stop tests ended it.
std::string describeSearchEnd(const SearchEnd& end, std::int32_t checkInterval);
