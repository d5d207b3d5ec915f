#pragma once
/// The data records of a run: the digitised curves, the coefficient vector and its numbering,
/// and the residual of the fit.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "base/real80.hpp"

/// One digitised curve: point i (counted from 1) is x[i - 1], y[i - 1].
struct Curve {
    std::vector<Real80> x;
    std::vector<Real80> y;
};

/// Where a ring of a plan came from, for the user to find it again in the plan.
struct RingSource {
    std::string layer;                // the CAD layer's name, or the GIS dataset's layer
    std::string group;                // the value that grouped its pieces into one ring; empty when not grouped
    std::vector<std::string> pieces;  // the handles or feature ids of its pieces
};

/// The digitised curves of a run. Curve j (counted from 1) is curves[j - 1].
/// There is no fixed capacity: the readers append as the input holds points.
struct CurveStore {
    std::vector<Curve> curves;
    /// Where each curve came from (one per curve), or empty when the reader does not say.
    std::vector<RingSource> sources;
    /// Sum of the point counts; set by the main program after the point listing.
    std::int32_t totalPointCount = 0;

    std::int32_t curveCount() const { return static_cast<std::int32_t>(curves.size()); }
    /// Points of curve j, counted from 1.
    std::int32_t pointCount(std::int32_t j) const {
        return static_cast<std::int32_t>(curves[static_cast<std::size_t>(j - 1)].x.size());
    }
    /// X of point i of curve j, both counted from 1.
    Real80 x(std::int32_t j, std::int32_t i) const {
        return curves[static_cast<std::size_t>(j - 1)].x[static_cast<std::size_t>(i - 1)];
    }
    /// Y of point i of curve j, both counted from 1.
    Real80 y(std::int32_t j, std::int32_t i) const {
        return curves[static_cast<std::size_t>(j - 1)].y[static_cast<std::size_t>(i - 1)];
    }
};

/// The box that holds every point of a run's curves.
struct PointBox {
    Real80 minX = 0, maxX = 0, minY = 0, maxY = 0;
    bool empty = true;  // no curve holds a point
};

/// The box of all points of `curves`.
inline PointBox pointBox(const CurveStore& curves) {
    PointBox box;
    for (const Curve& curve : curves.curves) {
        for (std::size_t i = 0; i < curve.x.size(); ++i) {
            if (box.empty) {
                box.minX = box.maxX = curve.x[i];
                box.minY = box.maxY = curve.y[i];
                box.empty = false;
            }
            box.minX = std::min(box.minX, curve.x[i]);
            box.maxX = std::max(box.maxX, curve.x[i]);
            box.minY = std::min(box.minY, curve.y[i]);
            box.maxY = std::max(box.maxY, curve.y[i]);
        }
    }
    return box;
}

/// Coefficient numbering: 1 OA, 2 OB, 3 centre X, 4 centre Y, 5 rotation, 6 OC, 7 DC,
/// 7 + j the smallest radius AE of curve j.
namespace coefficient {
inline constexpr int oa = 1;
inline constexpr int ob = 2;
inline constexpr int centreX = 3;
inline constexpr int centreY = 4;
inline constexpr int rotation = 5;
inline constexpr int oc = 6;
inline constexpr int dc = 7;
/// Coefficients shared by every curve (1 to 7); curve j adds its AE after them.
inline constexpr int sharedCount = 7;
/// Index of the radius AE of curve j.
inline constexpr int ae(int j) { return sharedCount + j; }
}  // namespace coefficient

/// The coefficients of the oval family, counted from 1 as numbered above.
struct CoefficientVector {
    std::vector<Real80> values;  // coefficient k is values[k - 1]

    std::int32_t coefCount() const { return static_cast<std::int32_t>(values.size()); }
    /// Curves the vector describes: one AE each after the shared coefficients.
    std::int32_t curveCount() const { return coefCount() - coefficient::sharedCount; }
    Real80& coef(int k) { return values[static_cast<std::size_t>(k - 1)]; }
    Real80 coef(int k) const { return values[static_cast<std::size_t>(k - 1)]; }
};

/// What the fit leaves behind besides the coefficients.
struct FitTotals {
    /// The root mean square deviation ("Scarto") of the last evaluated vector.
    Real80 residual = 0;
};
