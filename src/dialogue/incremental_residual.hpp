#pragma once
/// The residual of the fit computed fast, with the same bits as ovalResidual for every vector.
/// A vector that differs from the previous one only in radii AE changes no arc and no distance,
/// so the distances are kept and only the sum is redone, from the first curve whose AE changed.
/// A new construction measures every point again, on several threads for large inputs, with the
/// sector test decided in double precision wherever that is certain. The sum itself is always
/// taken in stored order on one thread.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/real80.hpp"
#include "base/records.hpp"
#include "dialogue/residual.hpp"
#include "dialogue/sector_filter.hpp"
#include "dialogue/worker_pool.hpp"
#include "model/oval_construction.hpp"

/// Below this many points a new construction is measured on one thread: waking a second
/// thread costs more than it saves (measured with the Construction cases of bench/fit_bench).
inline constexpr std::int64_t defaultMinPointsForThreads = 1000;

struct IncrementalResidualSettings {
    /// Threads for measuring the points, the caller's included; 0 means one per hardware
    /// thread, at most one per 512 points.
    unsigned threads = 0;
    /// Inputs with fewer points are measured on the caller's thread only.
    std::int64_t minPointsForThreads = defaultMinPointsForThreads;
};

/// What the evaluations so far have done, for tests and benchmarks.
struct IncrementalResidualCounts {
    std::int64_t evaluations = 0;
    std::int64_t constructions = 0;    // evaluations that measured every point again
    std::int64_t curvesRemeasured = 0;  // curves whose deviations were redone for a new AE
    std::int64_t extendedSectorTests = 0;  // points whose sector test the double filter left open
};

class IncrementalResidual {
public:
    /// Evaluates over `curves`, which must not change while this evaluator is in use.
    explicit IncrementalResidual(const CurveStore& curves, IncrementalResidualSettings settings = {});

    /// The residual of `coefficients`: bit for bit ovalResidual(coefficients, curves).
    Real80 operator()(const CoefficientVector& coefficients);

    const IncrementalResidualCounts& counts() const { return counts_; }

private:
    struct ArcCentre {
        Real80 x = 0, y = 0;
        std::uint8_t radiusClass = 0;  // 0 rMin, 1 rMed, 2 rMax
    };

    void adoptConstruction(const CoefficientVector& coefficients);
    Real80 measureAndSum();
    std::int64_t measureRange(std::size_t first, std::size_t end);
    Real80 addRange(Real80 sum, std::size_t first, std::size_t end);
    Real80 sumFrom(std::size_t firstCurve, const CoefficientVector& coefficients);
    void closeSum(Real80 sum);
    Real80 residualOf(Real80 sum) const;
    std::size_t curveOf(std::size_t point) const;

    const CurveStore& curves_;
    unsigned threads_ = 1;  // that measure the points of a new construction
    std::size_t pointTotal_ = 0;
    std::vector<std::size_t> curveBegin_;  // curve j (from 0) is points curveBegin_[j] .. curveBegin_[j + 1]
    Real80 maxAbsX_ = 0, maxAbsY_ = 0;
    std::vector<double> doubleX_, doubleY_;  // empty when the filter can never be used
    std::vector<std::uint8_t> signs_;

    bool haveConstruction_ = false;
    std::array<Real80, coefficient::sharedCount> sharedKey_{};  // coefficients 1 to 7 of the construction below
    OvalConstruction construction_;
    SectorLines lines_;
    SectorFilter filter_;
    std::array<ArcCentre, 9> centres_{};  // by OvalArc

    std::vector<Real80> aeKey_;     // the AE each curve's deviations were taken with
    std::vector<ArcRadii> radii_;
    std::vector<Real80> prefixSum_;  // running sum at the start of each curve, and at the end
    std::vector<Real80> distance_;   // per point, to the centre of its arc
    std::vector<std::uint8_t> radiusClass_;

    std::unique_ptr<WorkerPool> pool_;
    std::unique_ptr<std::atomic<bool>[]> chunkMeasured_;
    IncrementalResidualCounts counts_;
};
