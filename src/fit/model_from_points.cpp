#include "fit/model_from_points.hpp"

#include <cmath>

#include "fit/starting_values.hpp"

std::optional<MeanEllipse> meanEllipse(const CurveStore& curves) {
    double weight = 0, cos2 = 0, sin2 = 0;
    MeanEllipse mean;
    std::vector<std::optional<RingEllipse>> ellipses;
    for (const Curve& curve : curves.curves) {
        const std::optional<RingEllipse> e = fitRingEllipse(curve);
        ellipses.push_back(e);
        if (!e) continue;
        const double n = static_cast<double>(curve.x.size());
        weight += n;
        mean.centreX += n * e->centreX;
        mean.centreY += n * e->centreY;
        mean.semiMajor += n * e->semiMajor;
        mean.semiMinor += n * e->semiMinor;
        // Directions count by how elongated their ellipse is: a near circle has none to give.
        const double w = n * (e->semiMajor - e->semiMinor) / e->semiMajor;
        cos2 += w * std::cos(2 * e->direction);
        sin2 += w * std::sin(2 * e->direction);
    }
    if (weight == 0) return std::nullopt;
    mean.centreX /= weight;
    mean.centreY /= weight;
    mean.semiMajor /= weight;
    mean.semiMinor /= weight;
    // A placement turns clockwise: the major direction counter-clockwise is minus the rotation.
    mean.rotation = (cos2 == 0 && sin2 == 0) ? 0 : -std::atan2(sin2, cos2) / 2;
    for (const std::optional<RingEllipse>& e : ellipses) {
        mean.rings.push_back(e ? RingAxes{e->semiMajor, e->semiMinor} : RingAxes{mean.semiMajor, mean.semiMinor});
    }
    return mean;
}

std::vector<RingPoints> ringPointsOf(const CurveStore& curves, std::size_t stride) {
    const std::size_t step = std::max<std::size_t>(1, stride);
    std::vector<RingPoints> rings;
    for (std::size_t j = 0; j < curves.curves.size(); ++j) {
        const Curve& curve = curves.curves[j];
        RingPoints ring;
        ring.curve = static_cast<std::int32_t>(j + 1);
        for (std::size_t i = 0; i < curve.x.size(); i += step) {
            ring.x.push_back(static_cast<double>(curve.x[i]));
            ring.y.push_back(static_cast<double>(curve.y[i]));
        }
        rings.push_back(std::move(ring));
    }
    return rings;
}
