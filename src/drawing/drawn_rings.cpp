#include "drawing/drawn_rings.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <type_traits>

#include "base/constants.hpp"

namespace {

/// Ends closer than this share of the ring's largest radius (plus one unit of the drawing's
/// eleventh decimal) meet: the drawing keeps eleven decimals of every value.
constexpr Real80 meetingShare = 1e-7L;
constexpr Real80 drawingDecimalUnit = 1e-10L;

Real80 distance(const PlanePoint& p, const PlanePoint& q) { return std::hypot(p.x - q.x, p.y - q.y); }

bool closesRing(const std::array<DrawnArc, arcsPerRing>& arcs) {
    Real80 largestRadius = 0;
    for (const DrawnArc& arc : arcs) largestRadius = std::max(largestRadius, std::fabs(arc.radius));
    const Real80 tolerance = meetingShare * largestRadius + drawingDecimalUnit;
    for (std::size_t k = 0; k < arcsPerRing; ++k) {
        const DrawnArc& arc = arcs[k];
        const DrawnArc& next = arcs[(k + 1) % arcsPerRing];
        if (!(distance(pointOnCircle(arc, arc.endDegrees), pointOnCircle(next, next.startDegrees)) <= tolerance)) {
            return false;
        }
    }
    return true;
}

DrawnRing measureRing(const std::array<DrawnArc, arcsPerRing>& arcs) {
    DrawnRing ring;
    ring.arcs = arcs;
    for (const DrawnArc& arc : arcs) {
        ring.centre.x += arc.centre.x;
        ring.centre.y += arc.centre.y;
    }
    ring.centre.x /= arcsPerRing;
    ring.centre.y /= arcsPerRing;
    const DrawnArc& rightEnd = arcs[rightEndArc];
    const DrawnArc& top = arcs[topArc];
    ring.semiMajor = distance(ring.centre, rightEnd.centre) + rightEnd.radius;
    ring.semiMinor = top.radius - distance(ring.centre, top.centre);
    return ring;
}

double cross(double ax, double ay, double bx, double by) { return ax * by - ay * bx; }

bool inWedge(const RingGauge::Wedge& w, double vx, double vy) {
    if (w.reflex) return !(cross(w.endX, w.endY, vx, vy) > 0 && cross(vx, vy, w.startX, w.startY) > 0);
    return cross(w.startX, w.startY, vx, vy) >= 0 && cross(vx, vy, w.endX, w.endY) >= 0;
}

}  // namespace

PlanePoint pointOnCircle(const DrawnArc& arc, Real80 degrees) {
    const Real80 radians = degrees / constant::degreesPerRadian;
    return {arc.centre.x + arc.radius * std::cos(radians), arc.centre.y + arc.radius * std::sin(radians)};
}

Real80 arcSweepDegrees(const DrawnArc& arc) {
    const Real80 sweep = std::fmod(arc.endDegrees - arc.startDegrees, 360.0L);
    return sweep < 0 ? sweep + 360 : sweep;
}

std::vector<DrawnRing> ringsOfDrawing(const std::vector<DrawnEntity>& entities) {
    std::vector<DrawnRing> rings;
    std::array<DrawnArc, arcsPerRing> run{};
    std::size_t inRun = 0;
    for (const DrawnEntity& entity : entities) {
        const auto* arc = std::get_if<DrawnArc>(&entity);
        if (arc == nullptr || arc->layer != Layer::Arcs) continue;
        run[inRun++] = *arc;
        if (inRun == arcsPerRing) {
            if (closesRing(run)) rings.push_back(measureRing(run));
            inRun = 0;
        }
    }
    return rings;
}

RingGauge gaugeOfRings(const std::vector<DrawnRing>& rings) {
    RingGauge gauge;
    gauge.wedges.reserve(rings.size() * arcsPerRing);
    for (const DrawnRing& ring : rings) {
        for (const DrawnArc& arc : ring.arcs) {
            const Real80 start = arc.startDegrees / constant::degreesPerRadian;
            const Real80 end = arc.endDegrees / constant::degreesPerRadian;
            gauge.wedges.push_back({static_cast<double>(arc.centre.x), static_cast<double>(arc.centre.y),
                                    static_cast<double>(arc.radius), static_cast<double>(std::cos(start)),
                                    static_cast<double>(std::sin(start)), static_cast<double>(std::cos(end)),
                                    static_cast<double>(std::sin(end)), arcSweepDegrees(arc) > 180});
        }
    }
    if (rings.empty()) return gauge;
    gauge.centreX = static_cast<double>(rings.front().centre.x);
    gauge.centreY = static_cast<double>(rings.front().centre.y);
    for (std::size_t r = 0; r < rings.size(); ++r) {
        const double ox = static_cast<double>(rings[r].centre.x);
        const double oy = static_cast<double>(rings[r].centre.y);
        gauge.centreSpread = std::max(gauge.centreSpread, std::hypot(ox - gauge.centreX, oy - gauge.centreY));
        // A point of a circle lies within its radius, give or take the circle centre's distance,
        // from the ring's own centre.
        RingGauge::Shell shell{INFINITY, -INFINITY};
        for (std::size_t k = r * arcsPerRing; k < (r + 1) * arcsPerRing; ++k) {
            const RingGauge::Wedge& w = gauge.wedges[k];
            const double offset = std::hypot(w.cx - ox, w.cy - oy);
            shell.inner = std::min(shell.inner, std::fabs(w.radius) - offset);
            shell.outer = std::max(shell.outer, std::fabs(w.radius) + offset);
        }
        gauge.shells.push_back(shell);
    }
    gauge.byInner.resize(rings.size());
    for (std::size_t r = 0; r < rings.size(); ++r) gauge.byInner[r] = r;
    std::sort(gauge.byInner.begin(), gauge.byInner.end(),
              [&gauge](std::size_t a, std::size_t b) { return gauge.shells[a].inner < gauge.shells[b].inner; });
    double outer = -INFINITY;
    for (const std::size_t r : gauge.byInner) {
        gauge.innerSorted.push_back(gauge.shells[r].inner);
        outer = std::max(outer, gauge.shells[r].outer);
        gauge.outerSoFar.push_back(outer);
    }
    return gauge;
}

namespace {

/// The nearest of the given rings' arcs, rings taken in the order given: the deviation and,
/// through `best`, its size (INFINITY before any arc).
template <typename Rings>
RingDeviation nearestArc(const RingGauge& gauge, const PlanePoint& point, const Rings& rings, double& best) {
    // Drawable coordinates stay far below the square root of the largest double, so squares
    // need no scaling (std::hypot would cost most of the time of a large picture).
    const double px = static_cast<double>(point.x);
    const double py = static_cast<double>(point.y);
    RingDeviation result;
    for (const std::size_t ring : rings) {
        for (std::size_t k = ring * arcsPerRing; k < (ring + 1) * arcsPerRing; ++k) {
            const RingGauge::Wedge& w = gauge.wedges[k];
            const double vx = px - w.cx;
            const double vy = py - w.cy;
            const double fromCentre = std::sqrt(vx * vx + vy * vy);
            if (inWedge(w, vx, vy)) {
                const double deviation = fromCentre - w.radius;
                if (std::fabs(deviation) >= best) continue;
                best = std::fabs(deviation);
                // A point on the centre itself faces the whole arc; its start direction stands for it.
                const double ux = fromCentre > 0 ? vx / fromCentre : w.startX;
                const double uy = fromCentre > 0 ? vy / fromCentre : w.startY;
                result = {k / arcsPerRing, deviation, {w.cx + w.radius * ux, w.cy + w.radius * uy}, {ux, uy}};
                continue;
            }
            // Outside the sector: measured from the nearer end of the arc, along its radius there.
            for (const bool atStart : {true, false}) {
                const double ux = atStart ? w.startX : w.endX;
                const double uy = atStart ? w.startY : w.endY;
                const double fx = w.cx + w.radius * ux;
                const double fy = w.cy + w.radius * uy;
                const double squared = (px - fx) * (px - fx) + (py - fy) * (py - fy);
                if (squared >= best * best) continue;
                best = std::sqrt(squared);
                result = {k / arcsPerRing, fromCentre > w.radius ? best : -best, {fx, fy}, {ux, uy}};
            }
        }
    }
    return result;
}

/// Counts 0, 1, ..., n - 1, for measuring against every ring.
struct EveryRing {
    std::size_t n;
    struct Iterator {
        std::size_t r;
        std::size_t operator*() const { return r; }
        Iterator& operator++() {
            ++r;
            return *this;
        }
        bool operator!=(const Iterator& other) const { return r != other.r; }
    };
    Iterator begin() const { return {0}; }
    Iterator end() const { return {n}; }
};

// Rounding in the bounds of a shell, as a share of the distances involved: a ring is left out
// only when it lies farther than the nearest one found by more than this.
constexpr double shellSlack = 1e-9;

}  // namespace

RingDeviation deviationFromEveryRing(const RingGauge& gauge, const PlanePoint& point) {
    double best = INFINITY;
    return nearestArc(gauge, point, EveryRing{gauge.wedges.size() / arcsPerRing}, best);
}

RingDeviation deviationFromRings(const RingGauge& gauge, const PlanePoint& point) {
    const std::size_t ringCount = gauge.shells.size();
    const double px = static_cast<double>(point.x);
    const double py = static_cast<double>(point.y);
    const double fromCentre = std::hypot(px - gauge.centreX, py - gauge.centreY);
    if (ringCount <= 2 || !std::isfinite(fromCentre)) return deviationFromEveryRing(gauge, point);

    // A first bound: the distance to the rings whose shells lie around the point's distance.
    const std::size_t above = static_cast<std::size_t>(
        std::upper_bound(gauge.innerSorted.begin(), gauge.innerSorted.end(), fromCentre) - gauge.innerSorted.begin());
    const std::size_t first = above > 0 ? above - 1 : 0;
    const std::array<std::size_t, 2> guesses{gauge.byInner[first], gauge.byInner[std::min(first + 1, ringCount - 1)]};
    double bound = INFINITY;
    nearestArc(gauge, point, guesses, bound);

    // Every ring that may hold a point within that bound: its shell, widened by the spread of the
    // centres and the bound, holds the point's distance from the centre.
    const double reach = gauge.centreSpread + bound +
                         shellSlack * (fromCentre + gauge.centreSpread + bound + gauge.outerSoFar.back());
    std::vector<std::size_t> candidates;
    std::size_t i = static_cast<std::size_t>(
        std::upper_bound(gauge.innerSorted.begin(), gauge.innerSorted.end(), fromCentre + reach) -
        gauge.innerSorted.begin());
    while (i > 0 && gauge.outerSoFar[i - 1] + reach >= fromCentre) {
        --i;
        if (gauge.shells[gauge.byInner[i]].outer + reach >= fromCentre) candidates.push_back(gauge.byInner[i]);
    }
    // In ring order, as the straightforward measure takes them: ties go the same way.
    std::sort(candidates.begin(), candidates.end());
    double best = INFINITY;
    return nearestArc(gauge, point, candidates, best);
}
