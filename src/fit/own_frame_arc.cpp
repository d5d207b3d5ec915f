#include "fit/own_frame_arc.hpp"

#include <cmath>

QuadrantOval<Real80> quadrantOvalOf(const OvalConstruction& k) {
    const PlanePoint& d1 = k.localPoint(ConstructionPoint::D1);
    return {k.oa, k.ob, k.oc, d1.x, d1.y, k.stepMed, k.stepMax};
}

OwnFrameDeviations ownFrameDeviations(const CoefficientVector& coefficients, const CurveStore& curves) {
    const OvalConstruction construction = buildOvalConstruction(coefficients);
    const QuadrantOval<Real80> oval = quadrantOvalOf(construction);
    const Real80 cosine = std::cos(construction.theta);
    const Real80 sine = std::sin(construction.theta);

    OwnFrameDeviations result;
    Real80 sumOfSquares = 0;
    std::int64_t pointTotal = 0;
    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
        const Curve& curve = curves.curves[static_cast<std::size_t>(j - 1)];
        const Real80 ae = std::fabs(coefficients.coef(coefficient::ae(j)));
        std::vector<Real80> deviations(curve.x.size());
        Real80 curveSum = 0;
        for (std::size_t i = 0; i < curve.x.size(); ++i) {
            // Back from the drawing into the own frame: the inverse of placePoint.
            const Real80 dx = curve.x[i] - construction.cx;
            const Real80 dy = curve.y[i] - construction.cy;
            const Real80 qx = std::fabs(dx * cosine - dy * sine);
            const Real80 qy = std::fabs(dx * sine + dy * cosine);
            const QuadrantArc<Real80> arc = quadrantArc(oval, arcKindAt(oval, qx, qy));
            deviations[i] = std::hypot(qx - arc.centreX, qy - arc.centreY) - (ae + arc.radiusOverAe);
            curveSum += deviations[i] * deviations[i];
        }
        result.curveRms.push_back(curve.x.empty() ? 0 : std::sqrt(curveSum / static_cast<Real80>(curve.x.size())));
        result.byCurve.push_back(std::move(deviations));
        sumOfSquares += curveSum;
        pointTotal += static_cast<std::int64_t>(curve.x.size());
    }
    if (pointTotal > 0) result.rms = std::sqrt(sumOfSquares / static_cast<Real80>(pointTotal));
    return result;
}
