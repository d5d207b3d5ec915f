#include "fit/ring_doubts.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "fit/starting_values.hpp"

namespace {

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    const std::size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle), values.end());
    double m = values[middle];
    if (values.size() % 2 == 0) m = (m + *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle))) / 2;
    return m;
}

/// The degrees a curve's points cover about (cx, cy): a full turn less the widest gap between them.
double spanDegrees(const Curve& curve, double cx, double cy) {
    std::vector<double> angles;
    for (std::size_t i = 0; i < curve.x.size(); ++i) {
        angles.push_back(std::atan2(static_cast<double>(curve.y[i]) - cy, static_cast<double>(curve.x[i]) - cx));
    }
    if (angles.size() < 2) return 0;
    std::sort(angles.begin(), angles.end());
    double widest = angles.front() + 2 * M_PI - angles.back();
    for (std::size_t i = 1; i < angles.size(); ++i) widest = std::max(widest, angles[i] - angles[i - 1]);
    return (2 * M_PI - widest) * 180 / M_PI;
}

std::string formatted(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

std::vector<RingDoubt> doubtfulRings(const CurveStore& curves) {
    std::vector<RingDoubt> doubts;
    const std::size_t rings = curves.curves.size();
    if (rings < 2) return doubts;
    std::vector<std::optional<RingEllipse>> ellipses;
    std::vector<double> centresX, centresY, semiMajors;
    for (const Curve& curve : curves.curves) {
        ellipses.push_back(fitRingEllipse(curve));
        if (ellipses.back()) {
            centresX.push_back(ellipses.back()->centreX);
            centresY.push_back(ellipses.back()->centreY);
            semiMajors.push_back(ellipses.back()->semiMajor);
        }
    }
    // The common centre: the median of the rings' own centres, so that one stray ring does not move it.
    double cx = 0, cy = 0;
    const bool centred = centresX.size() >= 2;
    if (centred) {
        cx = median(centresX);
        cy = median(centresY);
    }
    const double size = median(semiMajors);
    for (std::size_t j = 0; j < rings; ++j) {
        std::vector<double> others;
        for (std::size_t k = 0; k < rings; ++k) {
            if (k != j) others.push_back(static_cast<double>(curves.curves[k].x.size()));
        }
        const double count = static_cast<double>(curves.curves[j].x.size());
        const double typical = median(others);
        std::vector<std::string> reasons;
        if (count * fewPointsFactor < typical) {
            reasons.push_back("it has " + formatted("%.0f", count) + (count == 1 ? " point" : " points") +
                              " where the others have " + formatted("%.0f", typical));
        }
        if (count >= minPointsForEllipse && !ellipses[j]) reasons.push_back("its points lie on no ellipse");
        if (centred && ellipses[j]) {
            const double off = std::hypot(ellipses[j]->centreX - cx, ellipses[j]->centreY - cy);
            if (off > farCentreShare * size) {
                reasons.push_back("its own ellipse is centred " + formatted("%.4g", off) +
                                  " from the common centre of the rings");
            }
        }
        if (centred && count >= 2) {
            const double span = spanDegrees(curves.curves[j], cx, cy);
            if (span < narrowSpanDegrees) reasons.push_back("it spans " + formatted("%.1f", span) + " degrees about the common centre");
        }
        if (reasons.empty()) continue;
        std::string why = reasons[0];
        for (std::size_t r = 1; r < reasons.size(); ++r) why += (r + 1 == reasons.size() ? " and " : ", ") + reasons[r];
        doubts.push_back({static_cast<std::int32_t>(j + 1), why});
    }
    return doubts;
}
