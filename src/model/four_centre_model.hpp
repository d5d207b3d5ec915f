#pragma once
/// The four-centre oval as a curve model: shared centre, rotation, OA (the end arcs' centres on
/// the major axis) and OB (the side arcs' centres on the minor axis, across the centre from their
/// arc), one end radius AE per ring; the side radius follows from tangency.

#include <array>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "model/curve_model.hpp"
#include "model/mean_ellipse.hpp"

/// One arc of an outline in the drawing: centre, radius, and the direction of its start and its
/// counter-clockwise sweep, in radians.
struct OutlineArc {
    double centreX = 0, centreY = 0, radius = 0;
    double startAngle = 0, sweep = 0;
};

/// Concentric four-centre ovals. In the own frame the end arcs are centred on A1 = (OA, 0) and
/// A2 = (-OA, 0), the side arcs on B2 = (0, -OB) (the top arc) and B1 = (0, OB) (the bottom arc).
/// End arc and side arc meet on the line through their centres, so the side radius is
/// AE + |A1 B2|.
struct FourCentreModel {
    static constexpr std::string_view name = "four-centre";
    /// As a sentence names it, and the model it is a special case of (with D on B the eight-centre
    /// oval's intermediate arcs become its side arcs).
    static constexpr std::string_view noun = "four-centre oval";
    static constexpr std::string_view specialCaseOf = "eight-centre";
    static constexpr int shapeCount = 2;
    static constexpr int ringCount = 1;
    /// The positions in the shape block and in a ring's block.
    static constexpr int oa = 0;
    static constexpr int ob = 1;
    static constexpr int ae = 0;

    /// Why a family is not a proper four-centre construction, in the order they are tested.
    enum class Fault { None, OaNotPositive, ObNotPositive, EndRadiusNotPositive };

    static std::vector<ParameterInfo> shapeParameters();
    static std::vector<ParameterInfo> ringParameters(int ring);

    /// The arc of a point is decided by the line from B2 through A1 (and its mirror images): the
    /// end arc lies beyond it, the side arc before it. That line is the normal at the junction
    /// and the bisector of the two arcs inside, so the deviation is the true distance from the
    /// oval everywhere in the plane.
    template <typename T>
    static T ownFrameDeviation(const T* shape, const T* ring, const T& x, const T& y) {
        using std::sqrt;
        const T& a = shape[oa];
        const T& b = shape[ob];
        const T qx = scalarValue(x) < 0 ? T(-x) : x;
        const T qy = scalarValue(y) < 0 ? T(-y) : y;
        // A point on the line itself goes to the side arc: both arcs give the same value there,
        // and A1, the end arc's centre, lies on it, where the end arc's distance has no slope.
        if (scalarValue(a) * (scalarValue(qy) + scalarValue(b)) - scalarValue(b) * scalarValue(qx) < 0) {
            const T ex = qx - a;
            return sqrt(ex * ex + qy * qy) - ring[ae];
        }
        const T sy = qy + b;
        return sqrt(qx * qx + sy * sy) - (ring[ae] + sqrt(a * a + b * b));
    }

    static RingAxes semiAxes(const double* shape, const double* ring);
    static Fault fault(const CurveParameters& parameters);
    static std::string describeFault(const CurveParameters& parameters, Fault fault);

    /// The point at u of the perimeter counter-clockwise from the start of the top arc (its
    /// junction with the right end arc).
    static OutlinePoint ownFrameOutlineAt(const double* shape, const double* ring, double u);

    /// Where a fit from the points alone starts: compass constructions with the mean ellipse's
    /// semi-axes, their end radius from the ellipse's own curvature at the end of its major axis
    /// (b^2 / a) to most of the way towards its minor semi-axis; each ring's end radius from its
    /// own semi-axes. Every candidate is a proper construction.
    static std::vector<CurveParameters> startingCandidates(const MeanEllipse& mean);
};

static_assert(CurveModel<FourCentreModel>);

/// The side radius of a ring: AE + |A1 B2|.
double fourCentreSideRadius(double oa, double ob, double ae);

/// The four arcs of ring `ring` (from 0) in the drawing, counter-clockwise from the top arc:
/// top, left end, bottom, right end.
std::array<OutlineArc, 4> fourCentreArcs(const CurveParameters& parameters, std::size_t ring);
