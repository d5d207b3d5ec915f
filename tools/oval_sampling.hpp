#pragma once
/// Synthetic digitised curves: points taken along the eight arcs of a family of concentric
/// eight-centre ovals, or along a family of four-centre ovals or ellipses, each moved along its
/// radius (the curve's normal) by seeded noise.

#include <cstdint>
#include <random>
#include <vector>

#include "base/real80.hpp"
#include "base/records.hpp"
#include "model/curve_model.hpp"
#include "model/oval_construction.hpp"

/// A sampled point and the arc it was taken from.
struct SampledPoint {
    PlanePoint at;
    OvalArc arc = OvalArc::Top;
};

/// A real in [0, 1) from the top 53 bits of one 64-bit draw: the same on every standard
/// library, which std::uniform_real_distribution is not.
Real80 uniformUnit(std::uint64_t bits);

/// The counter-clockwise sweep of one arc of the table, in radians, in [0, 2 pi).
Real80 arcSweep(const ArcTableRow& row);

/// The stretch of a curve that is sampled: it begins `start` of the perimeter counter-clockwise
/// from the start of Top and runs over `span` of it (both fractions of the perimeter; 0 and 1 for
/// the whole curve, 0.5 for half of it).
struct PerimeterPart {
    Real80 start = 0;
    Real80 span = 1;
};

/// The stretch of a curve seen from the oval's centre over `spanDegrees`, counter-clockwise from
/// the direction `fromDegrees` (counter-clockwise from the X axis): the points of a wall of which
/// only that much survives.
PerimeterPart partSeenOver(const OvalConstruction& construction, const ArcRadii& radii, Real80 fromDegrees,
                           Real80 spanDegrees);

/// `pointCount` points of one curve, evenly spaced by arc length counter-clockwise over `part`,
/// each moved along its radius by noise * (2u - 1), u drawn from `random`.
/// One draw per point, also when the noise is 0.
std::vector<SampledPoint> sampleOvalCurve(const OvalConstruction& construction, const ArcRadii& radii,
                                          std::int32_t pointCount, Real80 noise, std::mt19937_64& random,
                                          PerimeterPart part = {});

/// Every curve of the family that `coefficients` describe (coefficient 7 + j is the AE of
/// curve j), curve 1 first, all drawn from one generator seeded with `seed`: the first
/// curves do not depend on how many curves follow them.
std::vector<std::vector<SampledPoint>> sampleOvalFamily(const CoefficientVector& coefficients,
                                                        std::int32_t pointsPerCurve, Real80 noise,
                                                        std::uint64_t seed);

/// The same with a count of points for each curve (curve j takes pointCounts[j - 1], or the last
/// count when the list is shorter), each curve sampled over `part`.
std::vector<std::vector<SampledPoint>> sampleOvalFamily(const CoefficientVector& coefficients,
                                                        const std::vector<std::int32_t>& pointCounts, Real80 noise,
                                                        std::uint64_t seed, PerimeterPart part);

/// The same with a stretch for each curve (curve j is sampled over parts[j - 1], or the last part
/// when the list is shorter).
std::vector<std::vector<SampledPoint>> sampleOvalFamilyByParts(const CoefficientVector& coefficients,
                                                        const std::vector<std::int32_t>& pointCounts, Real80 noise,
                                                        std::uint64_t seed, const std::vector<PerimeterPart>& parts);

/// The sampled curves as the run's curve store, curve by curve, the total point count set.
CurveStore curveStoreOf(const std::vector<std::vector<SampledPoint>>& family);

/// The curves the generator draws.
enum class CurveKind { EightCentre, FourCentre, Ellipse };

/// Every ring of a four-centre or ellipse family (`kind` names which; its parameters as the
/// model holds them), ring j taking pointCounts[j - 1] points (or the last count), evenly spaced by
/// arc length over `part` from where the model's outline begins, each moved along the curve's
/// normal by noise * (2u - 1), u drawn from one generator seeded with `seed`.
std::vector<std::vector<PlanePoint>> sampleModelFamily(CurveKind kind, const CurveParameters& parameters,
                                                       const std::vector<std::int32_t>& pointCounts, Real80 noise,
                                                       std::uint64_t seed, PerimeterPart part);

/// The eight-centre family's points without the arcs they were taken from.
std::vector<std::vector<PlanePoint>> pointsOf(const std::vector<std::vector<SampledPoint>>& family);

/// The sampled rings as the run's curve store.
CurveStore curveStoreOf(const std::vector<std::vector<PlanePoint>>& family);
