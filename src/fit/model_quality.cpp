#include "fit/model_quality.hpp"

#include <cmath>

#include "model/ellipse_model.hpp"
#include "model/four_centre_model.hpp"

template <CurveModel M>
FitQuality assessModelFit(const CurveStore& curves, const ModelFitResult& result, std::int32_t maxIterations,
                          const std::string& notFitted, std::string& faultSentence) {
    FitQuality q;
    const CurveParameters& p = result.parameters;
    const double* shared = p.shared.data();
    Real80 sumOfSquares = 0;
    std::int64_t total = 0;
    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
        const std::size_t ring = static_cast<std::size_t>(j - 1);
        std::vector<Real80> deviations;
        Real80 ringSum = 0;
        for (std::int32_t i = 1; i <= curves.pointCount(j); ++i) {
            const double d = ring < p.rings.size()
                                 ? pointDeviation<M>(shared, p.rings[ring].data(), static_cast<double>(curves.x(j, i)),
                                                     static_cast<double>(curves.y(j, i)))
                                 : NAN;
            deviations.push_back(d);
            ringSum += static_cast<Real80>(d) * d;
        }
        const std::int32_t n = curves.pointCount(j);
        q.deviations.curveRms.push_back(n == 0 ? 0 : std::sqrt(ringSum / n));
        q.deviations.byCurve.push_back(std::move(deviations));
        sumOfSquares += ringSum;
        total += n;
    }
    q.deviations.rms = total == 0 ? 0 : std::sqrt(sumOfSquares / static_cast<Real80>(total));

    const typename M::Fault fault = M::fault(p);
    faultSentence = M::describeFault(p, fault);
    if (fault != M::Fault::None) {
        addWarning(q, warningCode::improper,
                   "the fitted curve is not a proper " + std::string(M::name) + " construction: " + faultSentence);
    }
    constexpr std::int64_t sharedCount = placement::count + M::shapeCount;
    addRingWarnings(q, curves, shared[placement::centreX], shared[placement::centreY],
                    {sharedCount + M::ringCount, M::ringCount, notFitted});
    if (!result.converged && result.iterations >= maxIterations) {
        addWarning(q, warningCode::iterationLimit, "the fit stopped after " + std::to_string(maxIterations) +
                                                       " iterations before it converged: the curve may not be the best");
    } else if (!result.converged) {
        addWarning(q, warningCode::noProgress,
                   "the fit stopped because no step lowered the deviations any more before the convergence tests "
                   "held: the curve may not be the best");
    }
    return q;
}

template FitQuality assessModelFit<FourCentreModel>(const CurveStore&, const ModelFitResult&, std::int32_t,
                                                    const std::string&, std::string&);
template FitQuality assessModelFit<EllipseModel>(const CurveStore&, const ModelFitResult&, std::int32_t,
                                                 const std::string&, std::string&);
