#include "dialogue/optimiser.hpp"

#include <cstdio>
#include <optional>
#include <string>
#include <utility>

#include "base/constants.hpp"
#include "dialogue/coordinate_search.hpp"
#include "dialogue/incremental_residual.hpp"
#include "dialogue/residual.hpp"
#include "model/oval_construction.hpp"

namespace {

/// Stops the search at a vector whose construction collapses. The search has no way out but its
/// stop tests and stays as it is, so the evaluation throws this and optimiseCoefficients alone
/// catches it and returns the problem: nothing else of the search runs after the collapse.
struct CollapsedVector {
    InputProblem problem;
};

/// An evaluation that refuses a collapsed vector before `residual` sees it.
template <typename Residual>
struct CollapseCheckedResidual {
    Residual& residual;
    Real80 operator()(const CoefficientVector& coefficients) const {
        if (std::optional<InputProblem> problem = constructionCollapse(coefficients)) {
            throw CollapsedVector{std::move(*problem)};
        }
        return residual(coefficients);
    }
};

template <typename Residual>
InputResult<SearchEnd> searchUnlessCollapsed(CoefficientVector& coefficients, FitTotals& totals,
                                             std::int32_t checkInterval, Residual& residual,
                                             const ProgressReport& progress) {
    try {
        return coordinateSearch(coefficients, totals, checkInterval, CollapseCheckedResidual<Residual>{residual},
                                progress);
    } catch (CollapsedVector& collapsed) {
        return std::move(collapsed.problem);
    }
}

}  // namespace

void prepareForFit(CoefficientVector& coefficients) {
    // Multiply first, then divide: the order fixes the last digit of the rotation.
    coefficients.coef(coefficient::rotation) = coefficients.coef(coefficient::rotation) * constant::pi / 180;
    for (std::int32_t k = 1; k <= coefficients.coefCount(); ++k) coefficients.coef(k) += startOffset;
}

Real80 ReferenceResidual::operator()(const CoefficientVector& coefficients) const {
    return ovalResidual(coefficients, curves);
}

InputResult<SearchEnd> optimiseCoefficients(CoefficientVector& coefficients, FitTotals& totals,
                                            const CurveStore& curves, std::int32_t checkInterval,
                                            const ProgressReport& progress, ResidualEvaluation evaluation) {
    if (evaluation == ResidualEvaluation::Reference) {
        ReferenceResidual residual{curves};
        return searchUnlessCollapsed(coefficients, totals, checkInterval, residual, progress);
    }
    IncrementalResidual residual(curves);
    return searchUnlessCollapsed(coefficients, totals, checkInterval, residual, progress);
}

std::string describeSearchEnd(const SearchEnd& end, std::int32_t checkInterval) {
    char threshold[32];
    std::snprintf(threshold, sizeof threshold, "%Lg", stallThreshold);
    const std::int64_t evaluations = static_cast<std::int64_t>(end.checkpoints) * checkInterval;
    const std::string text = "the fit stopped at checkpoint " + std::to_string(end.checkpoints) + ", after " +
                             std::to_string(evaluations) + " walk evaluations: ";
    if (end.stop == SearchStop::ResidualStalled) {
        return text + "the residual had fallen by less than " + threshold + " since the best earlier checkpoint";
    }
    return text + "it reached the limit of " + std::to_string(maxProgressReports) +
           " progress summaries while the residual still changed by " + threshold +
           " or more between checkpoints";
}
