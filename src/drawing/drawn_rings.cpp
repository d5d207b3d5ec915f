#include "drawing/drawn_rings.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <utility>
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

namespace {

// Sectors of the turn about the first ring's centre: enough that a ring's stretch in one sector
// spans little of the distance between rings, few enough to be built quickly for many rings.
constexpr std::size_t sectorCount = 256;
// Steps along an arc for its sectors: about this many a sector, seen from the centre.
constexpr double stepsPerSector = 1;
constexpr std::size_t maxStepsPerArc = 1u << 14;
// Rounding in the bounds of the sectors, as a share of the distances involved: a ring is left out
// only when it lies farther than the nearest one found by more than this.
constexpr double boundSlack = 1e-9;

std::size_t sectorOf(double angle, double sectorWidth, std::size_t count) {
    const double turns = std::floor(angle / sectorWidth);
    const long long index = static_cast<long long>(turns) % static_cast<long long>(count);
    return static_cast<std::size_t>(index < 0 ? index + static_cast<long long>(count) : index);
}

/// Widens the nearest and farthest distance from (ox, oy) of the sectors the arc passes through.
/// The arc is walked in steps of about a sector each: a step's stretch of the arc lies within its
/// sagitta of the chord, so the chord's distances and directions, widened by that much, hold it.
void markArcSectors(const RingGauge::Wedge& w, double sweep, double start, double ox, double oy, double sectorWidth,
                    std::vector<double>& nearest, std::vector<double>& farthest) {
    const std::size_t count = nearest.size();
    const double radius = std::fabs(w.radius);
    const double fromCentre = std::hypot(w.cx - ox, w.cy - oy);
    const double closest = std::fabs(fromCentre - radius);  // of any point of its circle
    // A step of angle d moves a point by radius * d, which turns it by at most that over its distance.
    const double wanted = sectorWidth / stepsPerSector * std::max(closest, 1e-300) / std::max(radius, 1e-300);
    const double steps = std::ceil(sweep / std::max(wanted, 1e-300));
    const std::size_t n = static_cast<std::size_t>(std::clamp(steps, 1.0, static_cast<double>(maxStepsPerArc)));
    const double step = sweep / static_cast<double>(n);
    const double rounding = boundSlack * (radius + fromCentre);
    const double sagitta = radius * (1 - std::cos(step / 2)) + rounding;
    const double sign = w.radius < 0 ? -1 : 1;
    double px = 0, py = 0, previousDistance = 0, previousAngle = 0;
    for (std::size_t i = 0; i <= n; ++i) {
        const double theta = start + step * static_cast<double>(i);
        const double x = w.cx + sign * radius * std::cos(theta) - ox;
        const double y = w.cy + sign * radius * std::sin(theta) - oy;
        const double distance = std::sqrt(x * x + y * y);
        const double angle = std::atan2(y, x);
        if (i > 0) {
            // The chord's point nearest the centre.
            const double ux = x - px, uy = y - py;
            const double length2 = ux * ux + uy * uy;
            const double t = length2 > 0 ? std::clamp(-(px * ux + py * uy) / length2, 0.0, 1.0) : 0;
            const double cx = px + t * ux, cy = py + t * uy;
            const double low = std::sqrt(cx * cx + cy * cy) - sagitta - rounding;
            const double high = std::max(distance, previousDistance) + sagitta + rounding;
            if (low <= 2 * sagitta) {  // the step passes near the centre: every direction
                for (std::size_t s = 0; s < count; ++s) {
                    nearest[s] = std::min(nearest[s], std::max(low, 0.0));
                    farthest[s] = std::max(farthest[s], high);
                }
            } else {
                // The chord's directions run the shorter way between its ends'.
                double from = previousAngle, to = angle;
                if (to < from) std::swap(from, to);
                if (to - from > std::numbers::pi) {
                    std::swap(from, to);
                    to += 2 * std::numbers::pi;
                }
                const double widen = std::asin(sagitta / low) * (1 + boundSlack) + boundSlack;
                from -= widen;
                to += widen;
                const std::size_t first = sectorOf(from, sectorWidth, count);
                const std::size_t spanned = std::min(
                    count, static_cast<std::size_t>(std::floor(to / sectorWidth) - std::floor(from / sectorWidth)) + 1);
                for (std::size_t j = 0; j < spanned; ++j) {
                    const std::size_t s = (first + j) % count;
                    nearest[s] = std::min(nearest[s], low);
                    farthest[s] = std::max(farthest[s], high);
                }
            }
        }
        px = x;
        py = y;
        previousDistance = distance;
        previousAngle = angle;
    }
}

}  // namespace

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
    gauge.sectorCount = sectorCount;
    const double sectorWidth = 2 * std::numbers::pi / static_cast<double>(sectorCount);
    std::vector<std::vector<RingGauge::SectorEntry>> bySector(sectorCount);
    std::vector<double> nearest(sectorCount), farthest(sectorCount);
    for (std::size_t r = 0; r < rings.size(); ++r) {
        std::fill(nearest.begin(), nearest.end(), INFINITY);
        std::fill(farthest.begin(), farthest.end(), -INFINITY);
        for (std::size_t k = r * arcsPerRing; k < (r + 1) * arcsPerRing; ++k) {
            const RingGauge::Wedge& w = gauge.wedges[k];
            const DrawnArc& arc = rings[r].arcs[k - r * arcsPerRing];
            markArcSectors(w, static_cast<double>(arcSweepDegrees(arc) / constant::degreesPerRadian),
                           static_cast<double>(arc.startDegrees / constant::degreesPerRadian), gauge.centreX,
                           gauge.centreY, sectorWidth, nearest, farthest);
        }
        for (std::size_t s = 0; s < sectorCount; ++s) {
            if (nearest[s] <= farthest[s]) {
                bySector[s].push_back({std::nextafter(static_cast<float>(nearest[s]), -INFINITY),
                                       std::nextafter(static_cast<float>(farthest[s]), INFINITY),
                                       static_cast<std::uint32_t>(r)});
            }
        }
    }
    std::size_t total = 0;
    for (const auto& sector : bySector) total += sector.size();
    gauge.entries.reserve(total);
    gauge.farthestSoFar.reserve(total);
    gauge.sectorStart.push_back(0);
    for (std::vector<RingGauge::SectorEntry>& sector : bySector) {
        std::sort(sector.begin(), sector.end(),
                  [](const RingGauge::SectorEntry& a, const RingGauge::SectorEntry& b) { return a.nearest < b.nearest; });
        float reach = -INFINITY;
        for (const RingGauge::SectorEntry& entry : sector) {
            gauge.entries.push_back(entry);
            reach = std::max(reach, entry.farthest);
            gauge.farthestSoFar.push_back(reach);
        }
        gauge.sectorStart.push_back(gauge.entries.size());
        std::vector<RingGauge::SectorEntry>().swap(sector);
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


}  // namespace

RingDeviation deviationFromEveryRing(const RingGauge& gauge, const PlanePoint& point) {
    double best = INFINITY;
    return nearestArc(gauge, point, EveryRing{gauge.wedges.size() / arcsPerRing}, best);
}

RingDeviation deviationFromRings(const RingGauge& gauge, const PlanePoint& point) {
    const std::size_t ringCount = gauge.wedges.size() / arcsPerRing;
    const double x = static_cast<double>(point.x) - gauge.centreX;
    const double y = static_cast<double>(point.y) - gauge.centreY;
    const double fromCentre = std::hypot(x, y);
    if (ringCount <= 2 || gauge.sectorCount == 0 || !std::isfinite(fromCentre) || !(fromCentre > 0)) {
        return deviationFromEveryRing(gauge, point);
    }
    const double sectorWidth = 2 * std::numbers::pi / static_cast<double>(gauge.sectorCount);
    const double angle = std::atan2(y, x);
    const auto sectorEntries = [&gauge](std::size_t s) {
        return std::pair{gauge.sectorStart[s], gauge.sectorStart[s + 1]};
    };

    // A first bound: the distance to the rings of the point's sector whose stretch there lies
    // around the point's distance from the centre.
    const std::size_t home = sectorOf(angle, sectorWidth, gauge.sectorCount);
    const auto [homeFirst, homeEnd] = sectorEntries(home);
    if (homeFirst == homeEnd) return deviationFromEveryRing(gauge, point);
    const auto byNearest = [](double distance, const RingGauge::SectorEntry& e) {
        return distance < static_cast<double>(e.nearest);
    };
    const std::size_t above = static_cast<std::size_t>(
        std::upper_bound(gauge.entries.begin() + static_cast<std::ptrdiff_t>(homeFirst),
                         gauge.entries.begin() + static_cast<std::ptrdiff_t>(homeEnd), fromCentre, byNearest) -
        gauge.entries.begin());
    const std::size_t guess = above > homeFirst ? above - 1 : homeFirst;
    const std::array<std::size_t, 2> guesses{gauge.entries[guess].ring,
                                             gauge.entries[std::min(guess + 1, homeEnd - 1)].ring};
    double bound = INFINITY;
    nearestArc(gauge, point, guesses, bound);
    if (!(bound < fromCentre)) return deviationFromEveryRing(gauge, point);

    // Every ring with a point within the bound: in a sector the bound's angle reaches, with its
    // stretch there within the bound of the point's distance.
    const double reach = bound + boundSlack * (fromCentre + bound);
    const double turn = std::asin(std::min(reach / fromCentre, 1.0)) * (1 + boundSlack) + boundSlack;
    const std::size_t first = sectorOf(angle - turn, sectorWidth, gauge.sectorCount);
    const std::size_t spanned = std::min(
        gauge.sectorCount,
        static_cast<std::size_t>(std::floor((angle + turn) / sectorWidth) - std::floor((angle - turn) / sectorWidth)) + 1);
    thread_local std::vector<std::size_t> candidates;
    candidates.clear();
    for (std::size_t j = 0; j < spanned; ++j) {
        const auto [begin, end] = sectorEntries((first + j) % gauge.sectorCount);
        std::size_t i = static_cast<std::size_t>(
            std::upper_bound(gauge.entries.begin() + static_cast<std::ptrdiff_t>(begin),
                             gauge.entries.begin() + static_cast<std::ptrdiff_t>(end), fromCentre + reach, byNearest) -
            gauge.entries.begin());
        while (i > begin && gauge.farthestSoFar[i - 1] + reach >= fromCentre) {
            --i;
            if (gauge.entries[i].farthest + reach >= fromCentre) candidates.push_back(gauge.entries[i].ring);
        }
    }
    // In ring order, as the measure against every ring takes them: ties go the same way.
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    double best = INFINITY;
    return nearestArc(gauge, point, candidates, best);
}
