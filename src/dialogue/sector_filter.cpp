#include "dialogue/sector_filter.hpp"

#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Error of the double side value against the extended one, as a multiple of
// |a|*maxAbsX + |b|*maxAbsY + |c|: converting the five operands and the four double
// operations contribute at most 5.01 * 2^-53, the extended evaluation 3 * 2^-64. The bound
// takes 16 * 2^-53, which also covers the rounding of the bound itself.
constexpr double relativeBound = 0x1p-49;
// Covers the absolute errors of values that underflow in double (each below 2^-1074).
constexpr double absoluteBound = 0x1p-1000;

bool withinLimit(Real80 value) { return std::fabs(value) <= filterCoordinateLimit; }

SectorArcTable makeFitSectorArcTable() {
    SectorArcTable table{};
    const Real80 signValues[3] = {-1.0L, 0.0L, 1.0L};
    for (int sx = 0; sx < 3; ++sx) {
        for (int sy = 0; sy < 3; ++sy) {
            for (int mask = 0; mask < 256; ++mask) {
                // Lines 0 = 0*x + 0*y + c put every point right of them when c < 0.
                SectorLines lines;
                for (int i = 0; i < 8; ++i) lines.lines[i] = {0.0L, 0.0L, (mask >> i) & 1 ? -1.0L : 1.0L};
                table[3 * sx + sy][mask] =
                    assignArc(lines, signValues[sx], signValues[sy], SectorTestVariant::FitVariant);
            }
        }
    }
    return table;
}

}  // namespace

SectorFilter buildSectorFilter(const SectorLines& lines, Real80 maxAbsX, Real80 maxAbsY) {
    SectorFilter f;
    if (!withinLimit(maxAbsX) || !withinLimit(maxAbsY)) return f;
    for (const LineEquation& line : lines.lines) {
        // a and b form a unit vector or are both 0; anything else is not a line to filter.
        if (!withinLimit(line.c) || !(std::fabs(line.a) <= 2) || !(std::fabs(line.b) <= 2)) return f;
    }
    const double x = static_cast<double>(maxAbsX);
    const double y = static_cast<double>(maxAbsY);
    for (std::size_t i = 0; i < lines.lines.size(); ++i) {
        f.a[i] = static_cast<double>(lines.lines[i].a);
        f.b[i] = static_cast<double>(lines.lines[i].b);
        f.c[i] = static_cast<double>(lines.lines[i].c);
        f.bound[i] =
            relativeBound * ((std::fabs(f.a[i]) * x + std::fabs(f.b[i]) * y) + std::fabs(f.c[i])) + absoluteBound;
    }
    f.usable = true;
    return f;
}

std::uint8_t coordinateSigns(Real80 x, Real80 y) {
    const int sx = x < 0.0L ? 0 : (x > 0.0L ? 2 : 1);
    const int sy = y < 0.0L ? 0 : (y > 0.0L ? 2 : 1);
    return static_cast<std::uint8_t>(3 * sx + sy);
}

const SectorArcTable& fitSectorArcTable() {
    static const SectorArcTable table = makeFitSectorArcTable();
    return table;
}

int certainRightMask(const SectorFilter& f, double x, double y) {
    int right = 0;
    int decided = 0;
    for (int i = 0; i < 8; ++i) {
        const double v = (f.a[i] * x + f.b[i] * y) + f.c[i];
        right |= (v < -f.bound[i]) << i;
        decided |= (v < -f.bound[i] || v > f.bound[i]) << i;
    }
    return decided == 0xff ? right : -1;
}

void certainArcs(const SectorFilter& f, const double* x, const double* y, const std::uint8_t* signs,
                 std::size_t count, std::uint8_t* arcs) {
    const SectorArcTable& table = fitSectorArcTable();
    std::size_t n = 0;
#if defined(__SSE2__)
    // Two points at a time; the arithmetic is the scalar one, lane by lane.
    __m128d a[8], b[8], c[8], bound[8], negativeBound[8];
    __m128i bit[8];
    for (int i = 0; i < 8; ++i) {
        a[i] = _mm_set1_pd(f.a[i]);
        b[i] = _mm_set1_pd(f.b[i]);
        c[i] = _mm_set1_pd(f.c[i]);
        bound[i] = _mm_set1_pd(f.bound[i]);
        negativeBound[i] = _mm_set1_pd(-f.bound[i]);
        bit[i] = _mm_set1_epi64x(1 << i);
    }
    const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffff));
    for (; n + 2 <= count; n += 2) {
        const __m128d px = _mm_loadu_pd(x + n);
        const __m128d py = _mm_loadu_pd(y + n);
        __m128i right = _mm_setzero_si128();
        __m128d open = _mm_setzero_pd();
#pragma GCC unroll 8
        for (int i = 0; i < 8; ++i) {
            const __m128d v = _mm_add_pd(_mm_add_pd(_mm_mul_pd(a[i], px), _mm_mul_pd(b[i], py)), c[i]);
            right = _mm_or_si128(right, _mm_and_si128(_mm_castpd_si128(_mm_cmplt_pd(v, negativeBound[i])), bit[i]));
            // Not greater than the bound, or not a number: left open.
            open = _mm_or_pd(open, _mm_cmpngt_pd(_mm_and_pd(v, magnitude), bound[i]));
        }
        const int openLanes = _mm_movemask_pd(open);
        const int right0 = _mm_cvtsi128_si32(right);
        const int right1 = _mm_cvtsi128_si32(_mm_srli_si128(right, 8));
        arcs[n] = (openLanes & 1) ? 0 : static_cast<std::uint8_t>(table[signs[n]][right0]);
        arcs[n + 1] = (openLanes & 2) ? 0 : static_cast<std::uint8_t>(table[signs[n + 1]][right1]);
    }
#endif
    for (; n < count; ++n) {
        const int mask = certainRightMask(f, x[n], y[n]);
        arcs[n] = mask < 0 ? 0 : static_cast<std::uint8_t>(table[signs[n]][mask]);
    }
}
