#include "fit/optimiser.hpp"

#include "base/constants.hpp"
#include "fit/coordinate_search.hpp"
#include "fit/incremental_residual.hpp"
#include "model/residual.hpp"

void prepareForFit(CoefficientVector& coefficients) {
    // Multiply first, then divide: the order fixes the last digit of the rotation.
    coefficients.coef(coefficient::rotation) = coefficients.coef(coefficient::rotation) * constant::pi / 180;
    for (std::int32_t k = 1; k <= coefficients.coefCount(); ++k) coefficients.coef(k) += startOffset;
}

Real80 ReferenceResidual::operator()(const CoefficientVector& coefficients) const {
    return ovalResidual(coefficients, curves);
}

void optimiseCoefficients(CoefficientVector& coefficients, FitTotals& totals, const CurveStore& curves,
                          std::int32_t checkInterval, const ProgressReport& progress, ResidualEvaluation evaluation) {
    if (evaluation == ResidualEvaluation::Reference) {
        coordinateSearch(coefficients, totals, checkInterval, ReferenceResidual{curves}, progress);
        return;
    }
    IncrementalResidual residual(curves);
    coordinateSearch(coefficients, totals, checkInterval, residual, progress);
}
