#include "fit/own_frame_arc.hpp"

#include <cmath>

OwnFrame ownFrameOf(const OvalConstruction& k) {
    return {quadrantOvalOf(k), k.cx, k.cy, std::cos(k.theta), std::sin(k.theta)};
}

ArcDistance arcDistance(const OwnFrame& f, Real80 x, Real80 y) {
    // Back from the drawing into the own frame (the inverse of placePoint), folded by symmetry.
    const Real80 dx = x - f.cx;
    const Real80 dy = y - f.cy;
    const Real80 qx = std::fabs(dx * f.cosine - dy * f.sine);
    const Real80 qy = std::fabs(dx * f.sine + dy * f.cosine);
    const QuadrantArc<Real80> arc = quadrantArc(f.oval, arcKindAt(f.oval, qx, qy));
    return {std::hypot(qx - arc.centreX, qy - arc.centreY), arc.radiusOverAe};
}

OwnFrameDeviations ownFrameDeviations(const CoefficientVector& coefficients, const CurveStore& curves) {
    const OwnFrame frame = ownFrameOf(buildOvalConstruction(coefficients));
    OwnFrameDeviations result;
    Real80 sumOfSquares = 0;
    std::int64_t pointTotal = 0;
    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
        const Curve& curve = curves.curves[static_cast<std::size_t>(j - 1)];
        const Real80 ae = std::fabs(coefficients.coef(coefficient::ae(j)));
        std::vector<Real80> deviations(curve.x.size());
        Real80 curveSum = 0;
        for (std::size_t i = 0; i < curve.x.size(); ++i) {
            const ArcDistance d = arcDistance(frame, curve.x[i], curve.y[i]);
            deviations[i] = d.distance - (ae + d.radiusOverAe);
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
