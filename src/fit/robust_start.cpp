#include "fit/robust_start.hpp"

#include <algorithm>
#include <cmath>
#include <random>

namespace {

// Points in each subset: one more than the fewest that fix an ellipse, so that a subset of nearly
// collinear points is less often the best.
constexpr std::size_t subsetSize = minPointsForEllipse + 1;
// The median is taken over at most about this many of a ring's points for each subset.
constexpr std::size_t scoringPoints = 500;
// The median absolute distance times this estimates a standard deviation.
constexpr Real80 madToSigma = 1.4826L;
// Points beyond this many robust standard deviations are set aside. Generous: an eight-centre
// oval is no ellipse, so the distances of its good points from the ellipse are partly its shape,
// and a point set aside here only leaves the starting values, not the fit.
constexpr Real80 keptWithin = 6;
// The ellipse is fitted again to the kept points, and the points judged again, this many times.
constexpr int refits = 2;
// Distances below this fraction of the ellipse's size count as none, so that points exactly on an
// ellipse are not judged by the rounding of their distances.
constexpr Real80 negligibleFraction = 1e-9L;
// The fixed seed of the subsets: the same points give the same start on every run.
constexpr std::uint64_t subsetSeed = 20251209;

Real80 medianAbsolute(std::vector<Real80> values) {
    for (Real80& v : values) v = std::fabs(v);
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

Curve pointsOf(const Curve& curve, const std::vector<std::size_t>& indices) {
    Curve part;
    for (const std::size_t i : indices) {
        part.x.push_back(curve.x[i]);
        part.y.push_back(curve.y[i]);
    }
    return part;
}

/// Which points lie within keptWithin robust standard deviations of `ellipse`.
std::vector<bool> pointsNear(const RingEllipse& ellipse, const Curve& curve) {
    std::vector<Real80> distances(curve.x.size());
    for (std::size_t i = 0; i < curve.x.size(); ++i) distances[i] = radialDistance(ellipse, curve.x[i], curve.y[i]);
    const Real80 limit = std::max(keptWithin * madToSigma * medianAbsolute(distances),
                                  negligibleFraction * static_cast<Real80>(ellipse.semiMajor));
    std::vector<bool> kept(curve.x.size());
    for (std::size_t i = 0; i < curve.x.size(); ++i) kept[i] = !(std::fabs(distances[i]) > limit);
    return kept;
}

}  // namespace

Real80 radialDistance(const RingEllipse& e, Real80 x, Real80 y) {
    const Real80 dx = x - e.centreX;
    const Real80 dy = y - e.centreY;
    const Real80 c = std::cos(static_cast<Real80>(e.direction));
    const Real80 s = std::sin(static_cast<Real80>(e.direction));
    const Real80 u = dx * c + dy * s;
    const Real80 v = dy * c - dx * s;
    const Real80 r = std::hypot(u, v);
    const Real80 rho = std::hypot(u / e.semiMajor, v / e.semiMinor);  // 1 on the ellipse
    if (!(rho > 0)) return -static_cast<Real80>(e.semiMinor);         // the centre itself
    return r - r / rho;
}

std::optional<ConsensusEllipse> consensusRingEllipse(const Curve& curve) {
    const std::size_t n = curve.x.size();
    if (n < static_cast<std::size_t>(minPointsForEllipse)) return std::nullopt;
    const std::size_t stride = std::max<std::size_t>(1, n / scoringPoints);
    std::mt19937_64 random(subsetSeed);
    std::optional<RingEllipse> best;
    Real80 bestMedian = 0;
    std::vector<std::size_t> subset;
    for (std::int32_t trial = 0; trial < consensusTrials; ++trial) {
        subset.clear();
        if (n <= subsetSize) {
            for (std::size_t i = 0; i < n; ++i) subset.push_back(i);
        } else {
            while (subset.size() < subsetSize) {
                const std::size_t i = static_cast<std::size_t>(random() % n);
                if (std::find(subset.begin(), subset.end(), i) == subset.end()) subset.push_back(i);
            }
        }
        const std::optional<RingEllipse> e = fitRingEllipse(pointsOf(curve, subset));
        if (!e || !(e->semiMinor > 0)) continue;
        std::vector<Real80> distances;
        for (std::size_t i = 0; i < n; i += stride) distances.push_back(radialDistance(*e, curve.x[i], curve.y[i]));
        const Real80 median = medianAbsolute(std::move(distances));
        if (!std::isfinite(median)) continue;
        if (!best || median < bestMedian) {
            best = e;
            bestMedian = median;
        }
        if (n <= subsetSize) break;  // every subset is the whole ring
    }
    if (!best) return std::nullopt;
    ConsensusEllipse consensus{*best, pointsNear(*best, curve)};
    for (int round = 0; round < refits; ++round) {
        std::vector<std::size_t> kept;
        for (std::size_t i = 0; i < n; ++i) {
            if (consensus.kept[i]) kept.push_back(i);
        }
        const std::optional<RingEllipse> again = fitRingEllipse(pointsOf(curve, kept));
        if (!again) break;
        consensus = ConsensusEllipse{*again, pointsNear(*again, curve)};
    }
    return consensus;
}

CurveStore withoutSlips(const CurveStore& curves) {
    CurveStore kept;
    for (const Curve& curve : curves.curves) {
        const std::optional<ConsensusEllipse> consensus = consensusRingEllipse(curve);
        Curve ring;
        for (std::size_t i = 0; i < curve.x.size(); ++i) {
            if (consensus && !consensus->kept[i]) continue;
            ring.x.push_back(curve.x[i]);
            ring.y.push_back(curve.y[i]);
        }
        kept.totalPointCount += static_cast<std::int32_t>(ring.x.size());
        kept.curves.push_back(std::move(ring));
    }
    return kept;
}

std::optional<AutomaticStart> robustStartingValues(const CurveStore& curves) {
    return startingValues(withoutSlips(curves));
}
