#include "oval_sampling.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "base/constants.hpp"
#include "model/ellipse_model.hpp"
#include "model/four_centre_model.hpp"
#include "model/primitives.hpp"

namespace {

// 2^-53: one unit of the 53 bits that uniformUnit keeps.
constexpr Real80 unitOf53Bits = 1.0L / 9007199254740992.0L;

// Halvings of the perimeter that place a direction seen from the centre: far below a point's spacing.
constexpr int placingHalvings = 60;

/// The arcs of a curve with their lengths, counter-clockwise from the start of Top.
struct ArcWalk {
    std::array<ArcTableRow, 8> arcs;
    std::array<Real80, 8> lengths{};
    Real80 perimeter = 0;
};

ArcWalk arcWalkOf(const OvalConstruction& construction, const ArcRadii& radii) {
    ArcWalk walk{arcTable(construction, radii)};
    for (std::size_t k = 0; k < walk.arcs.size(); ++k) {
        walk.lengths[k] = walk.arcs[k].radius * arcSweep(walk.arcs[k]);
        walk.perimeter += walk.lengths[k];
    }
    return walk;
}

/// The arc on which the length s (from the start of Top, in [0, perimeter)) falls, and the
/// direction of that point from the arc's centre.
std::pair<std::size_t, Real80> placeAlong(const ArcWalk& walk, Real80 s) {
    std::size_t k = 0;
    Real80 arcStart = 0;  // length along the oval at which arc k begins
    while (k + 1 < walk.arcs.size() && s >= arcStart + walk.lengths[k]) {
        arcStart += walk.lengths[k];
        ++k;
    }
    const ArcTableRow& row = walk.arcs[k];
    const Real80 start = directionAngle(row.startFrom.x, row.startFrom.y, row.startTo.x, row.startTo.y);
    return {k, start + (s - arcStart) / row.radius};
}

/// The direction from the oval's centre of the point at length s.
Real80 directionFromCentre(const ArcWalk& walk, const OvalConstruction& construction, Real80 s) {
    const auto [k, angle] = placeAlong(walk, s);
    const ArcTableRow& row = walk.arcs[k];
    return directionAngle(construction.cx, construction.cy, row.centre.x + row.radius * std::cos(angle),
                          row.centre.y + row.radius * std::sin(angle));
}

/// The fraction of the perimeter (from the start of Top) at which the curve is seen at `turn`
/// radians counter-clockwise beyond the start of Top, turn in [0, 2 pi): a convex curve about its
/// centre turns monotonically, so halving finds it.
Real80 fractionAtTurn(const ArcWalk& walk, const OvalConstruction& construction, Real80 turn) {
    const Real80 first = directionFromCentre(walk, construction, 0);
    Real80 low = 0, high = 1;
    for (int i = 0; i < placingHalvings; ++i) {
        const Real80 middle = (low + high) / 2;
        Real80 seen = directionFromCentre(walk, construction, middle * walk.perimeter) - first;
        if (seen < 0) seen += constant::twoPi;
        (seen < turn ? low : high) = middle;
    }
    return (low + high) / 2;
}

}  // namespace

PerimeterPart partSeenOver(const OvalConstruction& construction, const ArcRadii& radii, Real80 fromDegrees,
                           Real80 spanDegrees) {
    const ArcWalk walk = arcWalkOf(construction, radii);
    const Real80 first = directionFromCentre(walk, construction, 0);
    const Real80 from = fromDegrees / constant::degreesPerRadian;
    const Real80 span = std::clamp<Real80>(spanDegrees / constant::degreesPerRadian, 0, constant::twoPi);
    Real80 turn = std::fmod(from - first, constant::twoPi);
    if (turn < 0) turn += constant::twoPi;
    const Real80 start = fractionAtTurn(walk, construction, turn);
    const Real80 endTurn = turn + span;
    const Real80 end = endTurn < constant::twoPi ? fractionAtTurn(walk, construction, endTurn)
                                                 : 1 + fractionAtTurn(walk, construction, endTurn - constant::twoPi);
    return {start, std::clamp<Real80>(end - start, 0, 1)};
}

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
    const ArcWalk walk = arcWalkOf(construction, radii);
    const Real80 perimeter = walk.perimeter;
    const Real80 offset = part.start * perimeter;
    const Real80 stretch = part.span * perimeter;

    std::vector<SampledPoint> points;
    points.reserve(static_cast<std::size_t>(pointCount > 0 ? pointCount : 0));
    for (std::int32_t i = 0; i < pointCount; ++i) {
        // Half a spacing in, so that no point falls exactly on a junction of two arcs.
        Real80 s = offset + (static_cast<Real80>(i) + 0.5L) * stretch / static_cast<Real80>(pointCount);
        s = std::fmod(s, perimeter);
        const auto [k, angle] = placeAlong(walk, s);
        const ArcTableRow& row = walk.arcs[k];
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
    return sampleOvalFamilyByParts(coefficients, pointCounts, noise, seed, std::vector<PerimeterPart>{part});
}

std::vector<std::vector<SampledPoint>> sampleOvalFamilyByParts(const CoefficientVector& coefficients,
                                                        const std::vector<std::int32_t>& pointCounts, Real80 noise,
                                                        std::uint64_t seed, const std::vector<PerimeterPart>& parts) {
    std::mt19937_64 random(seed);
    const OvalConstruction construction = buildOvalConstruction(coefficients);
    std::vector<std::vector<SampledPoint>> curves;
    for (std::int32_t j = 1; j <= coefficients.curveCount(); ++j) {
        const ArcRadii radii = arcRadii(construction, coefficients.coef(coefficient::ae(j)));
        const std::size_t listed = std::min(static_cast<std::size_t>(j), pointCounts.size());
        const std::int32_t count = listed == 0 ? 0 : pointCounts[listed - 1];
        const std::size_t partListed = std::min(static_cast<std::size_t>(j), parts.size());
        const PerimeterPart part = partListed == 0 ? PerimeterPart{} : parts[partListed - 1];
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
