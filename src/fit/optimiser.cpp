#include "fit/optimiser.hpp"

#include "fit/coordinate_search.hpp"
#include "fit/incremental_residual.hpp"
#include "model/residual.hpp"
#include "report/oval_summary.hpp"

Real80 ResidualEvaluator::operator()(const CoefficientVector& coefficients) const {
    return ovalResidual(coefficients, curves);
}

void optimiseCoefficients(RunState& run, std::int32_t checkInterval, ResidualEvaluation evaluation) {
    auto reportProgress = [&run](const CoefficientVector& coefficients, const FitTotals& totals) {
        writeConsoleSummary(run.console, coefficients, totals);
        writeReportSummary(run.report, coefficients, totals);
    };
    if (evaluation == ResidualEvaluation::Reference) {
        coordinateSearch(run.coefficients, run.totals, checkInterval, ResidualEvaluator{run.curves}, reportProgress);
        return;
    }
    IncrementalResidual residual(run.curves);
    coordinateSearch(run.coefficients, run.totals, checkInterval, residual, reportProgress);
}
