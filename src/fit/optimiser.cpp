#include "fit/optimiser.hpp"

#include "fit/coordinate_search.hpp"
#include "model/residual.hpp"
#include "report/oval_summary.hpp"

Real80 ResidualEvaluator::operator()(const CoefficientVector& coefficients) const {
    return ovalResidual(coefficients, curves);
}

void optimiseCoefficients(RunState& run, std::int32_t checkInterval) {
    coordinateSearch(run.coefficients, run.totals, checkInterval, ResidualEvaluator{run.curves},
                     [&run](const CoefficientVector& coefficients, const FitTotals& totals) {
                         writeConsoleSummary(run.console, coefficients, totals);
                         writeReportSummary(run.report, coefficients, totals);
                     });
}
