#pragma once
/// The fitted ovals of a drawing as its arcs show them: each ring's centre and semi-axes, and
/// how far a point lies from the nearest ring, measured from the drawn arcs alone.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/real80.hpp"
#include "drawing/drawing_entities.hpp"
#include "model/primitives.hpp"

/// Arcs per ring, in the order the drawing gives them: Top, UpperLeft, LeftEnd, LowerLeft,
/// Bottom, LowerRight, RightEnd, UpperRight.
inline constexpr std::size_t arcsPerRing = 8;
inline constexpr std::size_t topArc = 0;
inline constexpr std::size_t leftEndArc = 2;
inline constexpr std::size_t bottomArc = 4;
inline constexpr std::size_t rightEndArc = 6;

/// One fitted oval: eight consecutive arcs of the arcs layer, each ending where the next
/// one starts and the eighth where the first starts.
struct DrawnRing {
    std::array<DrawnArc, arcsPerRing> arcs;
    PlanePoint centre;     // O, the mean of the eight arc centres
    Real80 semiMajor = 0;  // |O A1| + rMin: along the axis through the end arcs
    Real80 semiMinor = 0;  // rMax - |O B2|: along the axis through the top and bottom arcs
};

/// The rings of a drawing, in drawing order: every closed run of eight consecutive arcs on the
/// arcs layer. Arcs that do not close a ring are left out.
std::vector<DrawnRing> ringsOfDrawing(const std::vector<DrawnEntity>& entities);

/// The point of an arc's circle at `degrees`, counter-clockwise from the positive X axis.
PlanePoint pointOnCircle(const DrawnArc& arc, Real80 degrees);

/// The sweep of an arc in degrees, in [0, 360): counter-clockwise from its start to its end.
Real80 arcSweepDegrees(const DrawnArc& arc);

/// How far a point lies from its nearest ring, along the radius of the arc whose sector holds
/// it (or, outside every sector, from the nearer end of the nearest arc).
struct RingDeviation {
    std::size_t ring = 0;   // index into the rings
    Real80 deviation = 0;   // signed: negative inside the arc's circle
    PlanePoint foot;        // the point of the ring the deviation is measured from
    PlanePoint direction;   // unit vector at the foot, away from the arc's centre
};

/// The arcs of the rings, prepared for measuring many points against them.
struct RingGauge {
    struct Wedge {
        double cx, cy, radius;
        double startX, startY, endX, endY;  // unit vectors from the centre to the arc's ends
        bool reflex;                        // the arc sweeps more than half a turn
    };
    std::vector<Wedge> wedges;  // arcsPerRing per ring, in ring order
    /// Where the rings lie about the first ring's centre: the turn cut into equal sectors, and in
    /// each the rings that pass through it with the least and greatest distance from the centre
    /// of their points there. A point is measured only against the rings its distance from the
    /// centre and its direction allow to be the nearest.
    struct SectorEntry {
        float nearest, farthest;  // rounded outwards: many rings in many sectors take little room
        std::uint32_t ring;
    };
    double centreX = 0, centreY = 0;
    std::size_t sectorCount = 0;
    std::vector<std::size_t> sectorStart;  // entries of sector s: [sectorStart[s], sectorStart[s + 1])
    std::vector<SectorEntry> entries;      // by increasing nearest within each sector
    std::vector<float> farthestSoFar;      // the greatest farthest of the sector's entries up to each
};
RingGauge gaugeOfRings(const std::vector<DrawnRing>& rings);

/// The deviation of `point` from the nearest ring; the gauge must hold at least one ring.
RingDeviation deviationFromRings(const RingGauge& gauge, const PlanePoint& point);

/// The same, measured against every arc of every ring: the straightforward way, for checking.
RingDeviation deviationFromEveryRing(const RingGauge& gauge, const PlanePoint& point);
