#include "oval_sampling.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "base/constants.hpp"
#include "model/ellipse_model.hpp"
#include "model/four_centre_model.hpp"
#include "model/primitives.hpp"

namespace {

// 2^-53: one unit of the 53 bits that uniformUnit keeps.
constexpr Real80 unitOf53Bits = 1.0L / 9007199254740992.0L;

}  // namespace

Real80 uniformUnit(std::uint64_t bits) {
    return static_cast<Real80>(bits >> 11) * unitOf53Bits;
}

Real80 arcSweep(const ArcTableRow& row) {
    const Real80 start = directionAngle(row.startFrom.x, row.startFrom.y, row.startTo.x, row.startTo.y);
    const Real80 end = directionAngle(row.endFrom.x, row.endFrom.y, row.endTo.x, row.endTo.y);
    const Real80 sweep = end - start;
    return sweep < 0 ? sweep + constant::twoPi : sweep;
}

std::vector<SampledPoint> sampleOvalCurve(const OvalConstruction& construction, const ArcRadii& radii,
                                          std::int32_t pointCount, Real80 noise, std::mt19937_64& random,
                                          PerimeterPart part) {
    const std::array<ArcTableRow, 8> arcs = arcTable(construction, radii);
    std::array<Real80, 8> lengths{};
    Real80 perimeter = 0;
    for (std::size_t k = 0; k < arcs.size(); ++k) {
        lengths[k] = arcs[k].radius * arcSweep(arcs[k]);
        perimeter += lengths[k];
    }
    const Real80 offset = part.start * perimeter;
    const Real80 stretch = part.span * perimeter;

    std::vector<SampledPoint> points;
    points.reserve(static_cast<std::size_t>(pointCount > 0 ? pointCount : 0));
    for (std::int32_t i = 0; i < pointCount; ++i) {
        // Half a spacing in, so that no point falls exactly on a junction of two arcs.
        Real80 s = offset + (static_cast<Real80>(i) + 0.5L) * stretch / static_cast<Real80>(pointCount);
        s = std::fmod(s, perimeter);
        std::size_t k = 0;
        Real80 arcStart = 0;  // length along the oval at which arc k begins
        while (k + 1 < arcs.size() && s >= arcStart + lengths[k]) {
            arcStart += lengths[k];
            ++k;
        }
        const ArcTableRow& row = arcs[k];
        const Real80 start = directionAngle(row.startFrom.x, row.startFrom.y, row.startTo.x, row.startTo.y);
        const Real80 angle = start + (s - arcStart) / row.radius;
        const Real80 r = row.radius + noise * (2 * uniformUnit(random()) - 1);
        points.push_back({{row.centre.x + r * std::cos(angle), row.centre.y + r * std::sin(angle)}, row.arc});
    }
    return points;
}

std::vector<std::vector<SampledPoint>> sampleOvalFamily(const CoefficientVector& coefficients,
                                                        std::int32_t pointsPerCurve, Real80 noise,
                                                        std::uint64_t seed) {
    return sampleOvalFamily(coefficients, std::vector<std::int32_t>{pointsPerCurve}, noise, seed, PerimeterPart{});
}

std::vector<std::vector<SampledPoint>> sampleOvalFamily(const CoefficientVector& coefficients,
                                                        const std::vector<std::int32_t>& pointCounts, Real80 noise,
                                                        std::uint64_t seed, PerimeterPart part) {
    std::mt19937_64 random(seed);
    const OvalConstruction construction = buildOvalConstruction(coefficients);
    std::vector<std::vector<SampledPoint>> curves;
    for (std::int32_t j = 1; j <= coefficients.curveCount(); ++j) {
        const ArcRadii radii = arcRadii(construction, coefficients.coef(coefficient::ae(j)));
        const std::size_t listed = std::min(static_cast<std::size_t>(j), pointCounts.size());
        const std::int32_t count = listed == 0 ? 0 : pointCounts[listed - 1];
        curves.push_back(sampleOvalCurve(construction, radii, count, noise, random, part));
    }
    return curves;
}

CurveStore curveStoreOf(const std::vector<std::vector<SampledPoint>>& family) {
    CurveStore store;
    for (const auto& sampled : family) {
        Curve curve;
        for (const SampledPoint& p : sampled) {
            curve.x.push_back(p.at.x);
            curve.y.push_back(p.at.y);
        }
        store.totalPointCount += static_cast<std::int32_t>(curve.x.size());
        store.curves.push_back(std::move(curve));
    }
    return store;
}

std::vector<std::vector<PlanePoint>> sampleModelFamily(CurveKind kind, const CurveParameters& parameters,
                                                       const std::vector<std::int32_t>& pointCounts, Real80 noise,
                                                       std::uint64_t seed, PerimeterPart part) {
    std::mt19937_64 random(seed);
    std::vector<std::vector<PlanePoint>> rings;
    for (std::size_t j = 0; j < parameters.rings.size(); ++j) {
        const std::size_t listed = std::min(j + 1, pointCounts.size());
        const std::int32_t count = listed == 0 ? 0 : pointCounts[listed - 1];
        const OutlineStretch stretch{static_cast<double>(part.start), static_cast<double>(part.span)};
        const std::vector<OutlinePoint> outline =
            kind == CurveKind::Ellipse ? sampledOutline<EllipseModel>(parameters, j, count, stretch)
                                       : sampledOutline<FourCentreModel>(parameters, j, count, stretch);
        std::vector<PlanePoint> points;
        for (const OutlinePoint& p : outline) {
            const Real80 step = noise * (2 * uniformUnit(random()) - 1);
            points.push_back({p.x + step * p.normalX, p.y + step * p.normalY});
        }
        rings.push_back(std::move(points));
    }
    return rings;
}

std::vector<std::vector<PlanePoint>> pointsOf(const std::vector<std::vector<SampledPoint>>& family) {
    std::vector<std::vector<PlanePoint>> rings;
    for (const auto& sampled : family) {
        std::vector<PlanePoint> points;
        for (const SampledPoint& p : sampled) points.push_back(p.at);
        rings.push_back(std::move(points));
    }
    return rings;
}

CurveStore curveStoreOf(const std::vector<std::vector<PlanePoint>>& family) {
    CurveStore store;
    for (const auto& ring : family) {
        Curve curve;
        for (const PlanePoint& p : ring) {
            curve.x.push_back(p.x);
            curve.y.push_back(p.y);
        }
        store.totalPointCount += static_cast<std::int32_t>(curve.x.size());
        store.curves.push_back(std::move(curve));
    }
    return store;
}
