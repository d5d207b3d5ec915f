#include "dialogue/incremental_residual.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>

#include "base/constants.hpp"
#include "model/primitives.hpp"

namespace {

// Only the 80 bits of a Real80 count; the padding after them is not part of the value.
bool sameBits(Real80 a, Real80 b) { return std::memcmp(&a, &b, 10) == 0; }

// Points handled together: first their sector tests in double, then their distances.
constexpr std::size_t blockSize = 64;
// Points that one thread measures at a time: small enough that a thread that is late to start
// leaves little for the others to wait for.
constexpr std::size_t chunkSize = 256;

unsigned threadCount(const IncrementalResidualSettings& settings, std::size_t points) {
    if (static_cast<std::int64_t>(points) < settings.minPointsForThreads) return 1;
    if (settings.threads != 0) return settings.threads;
    // No more threads than pairs of chunks: on a machine with many cores the threads of a
    // small input would mostly spin.
    const std::size_t useful = std::max<std::size_t>(1, points / (2 * chunkSize));
    return static_cast<unsigned>(std::min<std::size_t>(std::max(1u, std::thread::hardware_concurrency()), useful));
}

}  // namespace

IncrementalResidual::IncrementalResidual(const CurveStore& curves, IncrementalResidualSettings settings)
    : curves_(curves) {
    const std::size_t curveCount = curves.curves.size();
    curveBegin_.assign(curveCount + 1, 0);
    for (std::size_t j = 0; j < curveCount; ++j) curveBegin_[j + 1] = curveBegin_[j] + curves.curves[j].x.size();
    pointTotal_ = curveBegin_[curveCount];
    threads_ = threadCount(settings, pointTotal_);

    bool finite = true;
    signs_.resize(pointTotal_);
    for (std::size_t j = 0; j < curveCount; ++j) {
        const Curve& curve = curves.curves[j];
        for (std::size_t i = 0; i < curve.x.size(); ++i) {
            const Real80 x = curve.x[i];
            const Real80 y = curve.y[i];
            signs_[curveBegin_[j] + i] = coordinateSigns(x, y);
            if (!(std::fabs(x) <= filterCoordinateLimit) || !(std::fabs(y) <= filterCoordinateLimit)) finite = false;
            maxAbsX_ = std::max(maxAbsX_, std::fabs(x));
            maxAbsY_ = std::max(maxAbsY_, std::fabs(y));
        }
    }
    if (finite) {  // otherwise doubleX_ stays empty and every point takes the extended test
        doubleX_.resize(pointTotal_);
        doubleY_.resize(pointTotal_);
        for (std::size_t j = 0; j < curveCount; ++j) {
            const Curve& curve = curves.curves[j];
            for (std::size_t i = 0; i < curve.x.size(); ++i) {
                doubleX_[curveBegin_[j] + i] = static_cast<double>(curve.x[i]);
                doubleY_[curveBegin_[j] + i] = static_cast<double>(curve.y[i]);
            }
        }
    }

    aeKey_.assign(curveCount, 0.0L);
    radii_.assign(curveCount, ArcRadii{});
    prefixSum_.assign(curveCount + 1, 0.0L);
    distance_.assign(pointTotal_, 0.0L);
    radiusClass_.assign(pointTotal_, 0);
}

Real80 IncrementalResidual::operator()(const CoefficientVector& coefficients) {
    ++counts_.evaluations;
    bool sameConstruction = haveConstruction_;
    for (int k = 1; sameConstruction && k <= coefficient::sharedCount; ++k) {
        sameConstruction = sameBits(coefficients.coef(k), sharedKey_[static_cast<std::size_t>(k - 1)]);
    }
    if (!sameConstruction) {
        adoptConstruction(coefficients);
        return residualOf(measureAndSum());
    }
    std::size_t first = 0;
    while (first < radii_.size() && sameBits(coefficients.coef(coefficient::ae(static_cast<int>(first) + 1)), aeKey_[first])) {
        ++first;
    }
    return sumFrom(first, coefficients);
}

void IncrementalResidual::adoptConstruction(const CoefficientVector& coefficients) {
    // Should the construction fail, nothing of the old one may be taken for the new vector.
    haveConstruction_ = false;
    construction_ = buildOvalConstruction(coefficients);
    lines_ = buildSectorLines(construction_);
    filter_ = doubleX_.empty() ? SectorFilter{} : buildSectorFilter(lines_, maxAbsX_, maxAbsY_);
    // The arc table with radii 0, 1, 2 gives each arc's centre and which radius it takes.
    const auto rows = arcTable(construction_, ArcRadii{0.0L, 1.0L, 2.0L});
    for (const ArcTableRow& row : rows) {
        centres_[static_cast<std::size_t>(row.arc)] = {row.centre.x, row.centre.y,
                                                      static_cast<std::uint8_t>(row.radius)};
    }
    for (std::size_t j = 0; j < radii_.size(); ++j) {
        aeKey_[j] = coefficients.coef(coefficient::ae(static_cast<int>(j) + 1));
        radii_[j] = arcRadii(construction_, aeKey_[j]);
    }
    for (int k = 1; k <= coefficient::sharedCount; ++k) sharedKey_[static_cast<std::size_t>(k - 1)] = coefficients.coef(k);
    haveConstruction_ = true;
    ++counts_.constructions;
}

Real80 IncrementalResidual::measureAndSum() {
    Real80 sum = 0.0L;
    if (threads_ == 1) {
        counts_.extendedSectorTests += measureRange(0, pointTotal_);
        sum = addRange(sum, 0, pointTotal_);
    } else {
        // The helpers measure chunks while this thread adds up, in order, the chunks already
        // measured, and measures chunks itself whenever the next one to add is not ready.
        if (!pool_) {
            pool_ = std::make_unique<WorkerPool>(threads_);
            chunkMeasured_ = std::make_unique<std::atomic<bool>[]>((pointTotal_ + chunkSize - 1) / chunkSize);
        }
        const std::size_t chunks = (pointTotal_ + chunkSize - 1) / chunkSize;
        for (std::size_t c = 0; c < chunks; ++c) chunkMeasured_[c].store(false, std::memory_order_relaxed);
        std::atomic<std::int64_t> extended{0};
        auto task = [&](std::size_t chunk) {
            const std::size_t first = chunk * chunkSize;
            const std::int64_t n = measureRange(first, std::min(first + chunkSize, pointTotal_));
            if (n != 0) extended.fetch_add(n, std::memory_order_relaxed);
            chunkMeasured_[chunk].store(true, std::memory_order_release);
        };
        pool_->begin(chunks, task);
        for (std::size_t added = 0, round = 0; added < chunks;) {
            if (chunkMeasured_[added].load(std::memory_order_acquire)) {
                const std::size_t first = added * chunkSize;
                sum = addRange(sum, first, std::min(first + chunkSize, pointTotal_));
                ++added;
                round = 0;
            } else if (!pool_->runOneChunk()) {
                waitRound(static_cast<int>(round++));
            }
        }
        pool_->end();
        counts_.extendedSectorTests += extended.load(std::memory_order_relaxed);
    }
    closeSum(sum);
    return sum;
}

std::size_t IncrementalResidual::curveOf(std::size_t point) const {
    // The last curve that begins at or before the point (empty curves begin where the next does).
    return static_cast<std::size_t>(std::upper_bound(curveBegin_.begin(), curveBegin_.end(), point) -
                                    curveBegin_.begin()) - 1;
}

std::int64_t IncrementalResidual::measureRange(std::size_t first, std::size_t end) {
    std::int64_t extended = 0;
    std::size_t point = first;
    while (point < end) {
        const std::size_t j = curveOf(point);
        const Curve& curve = curves_.curves[j];
        const std::size_t curveEnd = std::min(end, curveBegin_[j + 1]);
        for (; point < curveEnd; point += blockSize) {
            const std::size_t count = std::min(blockSize, curveEnd - point);
            std::uint8_t arcs[blockSize];
            if (filter_.usable) {
                certainArcs(filter_, &doubleX_[point], &doubleY_[point], &signs_[point], count, arcs);
            } else {
                std::fill(arcs, arcs + count, std::uint8_t{0});
            }
            const std::size_t i0 = point - curveBegin_[j];
            for (std::size_t n = 0; n < count; ++n) {
                const Real80 x = curve.x[i0 + n];
                const Real80 y = curve.y[i0 + n];
                std::size_t arc = arcs[n];
                if (arc == 0) {
                    arc = static_cast<std::size_t>(assignArc(lines_, x, y, SectorTestVariant::FitVariant));
                    ++extended;
                }
                const ArcCentre& centre = centres_[arc];
                // pointDistance(centre, point), written out so that it is inlined.
                const Real80 s = (x - centre.x) * (x - centre.x) + (y - centre.y) * (y - centre.y);
                distance_[point + n] = s <= constant::coincidentSquaredDistance ? 0.0L : std::sqrt(s);
                radiusClass_[point + n] = centre.radiusClass;
            }
        }
        point = curveEnd;
    }
    return extended;
}

Real80 IncrementalResidual::addRange(Real80 sum, std::size_t first, std::size_t end) {
    // Every curve that begins in the range, empty ones included, records the sum at its start.
    std::size_t j = curveOf(first);
    while (j > 0 && curveBegin_[j - 1] == first) --j;
    for (std::size_t point = first; point < end; ++j) {
        if (curveBegin_[j] >= first) prefixSum_[j] = sum;
        const std::size_t curveEnd = std::min(end, curveBegin_[j + 1]);
        const Real80 radius[3] = {radii_[j].rMin, radii_[j].rMed, radii_[j].rMax};
        for (; point < curveEnd; ++point) {
            const Real80 deviation = distance_[point] - radius[radiusClass_[point]];
            // The order of the sum fixes the last digits of the residual, as in ovalResidual.
            sum = deviation * deviation + sum;
        }
    }
    return sum;
}

Real80 IncrementalResidual::sumFrom(std::size_t firstCurve, const CoefficientVector& coefficients) {
    for (std::size_t j = firstCurve; j < radii_.size(); ++j) {
        const Real80 ae = coefficients.coef(coefficient::ae(static_cast<int>(j) + 1));
        if (!sameBits(ae, aeKey_[j])) {
            // A new AE moves no point to another arc: only the deviations change.
            aeKey_[j] = ae;
            radii_[j] = arcRadii(construction_, ae);
            ++counts_.curvesRemeasured;
        }
    }
    Real80 sum = prefixSum_[firstCurve];
    if (firstCurve < radii_.size()) sum = addRange(sum, curveBegin_[firstCurve], pointTotal_);
    closeSum(sum);
    return residualOf(sum);
}

void IncrementalResidual::closeSum(Real80 sum) {
    // Curves without points at the end of the store begin where the sum ends.
    for (std::size_t j = radii_.size(); j > 0 && curveBegin_[j - 1] == pointTotal_; --j) prefixSum_[j - 1] = sum;
    prefixSum_[radii_.size()] = sum;
}

Real80 IncrementalResidual::residualOf(Real80 sum) const {
    return std::sqrt(sum / static_cast<Real80>(curves_.totalPointCount));
}
