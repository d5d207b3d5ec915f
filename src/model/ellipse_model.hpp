#pragma once
/// The ellipse as a curve model: shared centre and rotation, one pair of semi-axes per ring, and
/// the deviation of a point measured as its true (orthogonal) distance from the ellipse.

#include <cmath>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "model/curve_model.hpp"
#include "model/mean_ellipse.hpp"

/// The signed distance (negative inside) of the own-frame point (px, py) from the ellipse with
/// semi-axis `semiX` along the own x axis and `semiY` along the own y axis.
template <typename T>
T ellipseDeviation(const T& semiX, const T& semiY, const T& px, const T& py);

/// Concentric ellipses: no shape beyond the placement; ring j holds its semi-axis along the own
/// x axis (aj) and along the own y axis (bj).
struct EllipseModel {
    static constexpr std::string_view name = "ellipse";
    /// As a sentence names it.
    static constexpr std::string_view noun = "ellipse";
    static constexpr int shapeCount = 0;
    static constexpr int ringCount = 2;
    /// The positions in a ring's block.
    static constexpr int semiX = 0;
    static constexpr int semiY = 1;

    /// Why a family of ellipses is not proper: a semi-axis is not positive (or not a number).
    enum class Fault { None, SemiAxisNotPositive };

    static std::vector<ParameterInfo> shapeParameters();
    static std::vector<ParameterInfo> ringParameters(int ring);

    template <typename T>
    static T ownFrameDeviation(const T* /*shape*/, const T* ring, const T& x, const T& y) {
        return ellipseDeviation(ring[semiX], ring[semiY], x, y);
    }

    static RingAxes semiAxes(const double* shape, const double* ring);
    static Fault fault(const CurveParameters& parameters);
    static std::string describeFault(const CurveParameters& parameters, Fault fault);

    /// The point at eccentric angle 2 pi u, from the end of the own x axis.
    static OutlinePoint ownFrameOutlineAt(const double* shape, const double* ring, double u);

    /// Where a fit from the points alone starts: the mean ellipse's placement with each ring's
    /// own semi-axes.
    static std::vector<CurveParameters> startingCandidates(const MeanEllipse& mean);
};

static_assert(CurveModel<EllipseModel>);

// ------------------------------------------------------------------------------- definitions

namespace ellipse_detail {

/// The root s of g(s) = (r0 z0 / (s + r0))^2 + (z1 / (s + 1))^2 - 1 by bisection, with g0 = g(0):
/// g falls from +infinity to -1 over s > -1, so the root lies in [z1 - 1, 0] when g0 < 0 and in
/// [0, |(r0 z0, z1)| - 1] otherwise. Bisection to the last bit keeps it exact for flat and
/// nearly round ellipses alike, where Newton's method from a poor start may leave the bracket.
template <typename V>
V bisectedRoot(V r0, V z0, V z1, V g0) {
    constexpr int maxSteps = std::numeric_limits<V>::digits - std::numeric_limits<V>::min_exponent;
    const V n0 = r0 * z0;
    V s0 = z1 - 1;
    V s1 = g0 < 0 ? V(0) : std::hypot(n0, z1) - 1;
    V s = 0;
    for (int step = 0; step < maxSteps; ++step) {
        s = (s0 + s1) / 2;
        if (s == s0 || s == s1) break;
        const V ratio0 = n0 / (s + r0);
        const V ratio1 = z1 / (s + 1);
        const V g = ratio0 * ratio0 + ratio1 * ratio1 - 1;
        if (g > 0) {
            s0 = s;
        } else if (g < 0) {
            s1 = s;
        } else {
            break;
        }
    }
    return s;
}

}  // namespace ellipse_detail

template <typename T>
T ellipseDeviation(const T& semiX, const T& semiY, const T& px, const T& py) {
    using std::sqrt;
    // By symmetry in the first quadrant, with e0 >= e1 the semi-axis of the coordinate y0.
    const bool xIsMajor = !(scalarValue(semiY) > scalarValue(semiX));
    const T ax = scalarValue(px) < 0 ? T(-px) : px;
    const T ay = scalarValue(py) < 0 ? T(-py) : py;
    const T& e0 = xIsMajor ? semiX : semiY;
    const T& e1 = xIsMajor ? semiY : semiX;
    const T& y0 = xIsMajor ? ax : ay;
    const T& y1 = xIsMajor ? ay : ax;
    if (scalarValue(y1) > 0) {
        if (!(scalarValue(y0) > 0)) return y1 - e1;  // on the minor axis: the nearest point is its end
        const T z0 = y0 / e0;
        const T z1 = y1 / e1;
        const T r0 = (e0 / e1) * (e0 / e1);
        const auto g0 = scalarValue(z0) * scalarValue(z0) + scalarValue(z1) * scalarValue(z1) - 1;
        const auto root = ellipse_detail::bisectedRoot(scalarValue(r0), scalarValue(z0), scalarValue(z1), g0);
        // One Newton step from the root leaves its value and carries the root's derivatives
        // (those of the implicit function) into s.
        const T n0 = r0 * z0;
        const T ratio0 = n0 / (root + r0);
        const T ratio1 = z1 / (root + 1.0);
        const T g = ratio0 * ratio0 + ratio1 * ratio1 - 1.0;
        const T slope = -2.0 * (ratio0 * ratio0 / (root + r0) + ratio1 * ratio1 / (root + 1.0));
        const T s = T(root) - g / slope;
        // The point minus its nearest point is s (y0 / (s + r0), y1 / (s + 1)), and s > 0 outside:
        // written so, the distance is smooth also where it vanishes.
        const T fx = y0 / (s + r0);
        const T fy = y1 / (s + 1.0);
        return s * sqrt(fx * fx + fy * fy);
    }
    // On the major axis: inside the evolute's cusp the nearest point lies off the axis.
    const T numerator = e0 * y0;
    const T denominator = e0 * e0 - e1 * e1;
    if (scalarValue(numerator) < scalarValue(denominator)) {
        const T xOverE0 = numerator / denominator;
        const T nearestX = e0 * xOverE0;
        const T nearestY = e1 * sqrt(1.0 - xOverE0 * xOverE0);
        const T gapX = nearestX - y0;
        return -sqrt(gapX * gapX + nearestY * nearestY);
    }
    return y0 - e0;
}
