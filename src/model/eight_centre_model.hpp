#pragma once
/// The eight-centre oval as a curve model: the construction folded into the first quadrant of its
/// own frame (QuadrantOval), the arc of a point, and the model's parameters (centre, rotation, OA,
/// OB, the places of C and D on their segments, one AE per ring), deviation, semi-axes, outline and
/// construction fault.

#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "base/real80.hpp"
#include "base/records.hpp"
#include "model/curve_model.hpp"
#include "model/oval_construction.hpp"

/// The three kinds of arc; by symmetry a point folded into the first quadrant of the oval's own
/// frame meets one of each: the end arc about A1, the intermediate arc about D4, the top arc about B2.
enum class ArcKind { End, Intermediate, TopOrBottom };

/// The construction seen from the first quadrant of its own frame: A1 = (a, 0), B2 = (0, -b),
/// C1 = (c, 0), D4 = (dx, -dy); radii rMin = AE, rMed = AE + stepMed, rMax = rMed + stepMax.
template <typename T>
struct QuadrantOval {
    T a, b, c, dx, dy, stepMed, stepMax;
};

/// The construction from OA, OB and the two fractions that place C and D: OC = a * cFraction
/// (C between O and A1) and DC = dFraction * |C1 B1| (D between C1 and B1). The fit works in these,
/// so that every trial oval keeps C and D on their segments.
template <typename T>
QuadrantOval<T> quadrantOvalOf(const T& a, const T& b, const T& cFraction, const T& dFraction) {
    using std::sqrt;
    QuadrantOval<T> o;
    o.a = a;
    o.b = b;
    o.c = a * cFraction;
    o.dx = o.c * (1.0 - dFraction);
    o.dy = dFraction * b;
    o.stepMed = sqrt((a - o.dx) * (a - o.dx) + o.dy * o.dy);
    o.stepMax = (1.0 - dFraction) * sqrt(o.c * o.c + b * b);
    return o;
}

/// The construction of the dialogue's model folded into the first quadrant.
QuadrantOval<Real80> quadrantOvalOf(const OvalConstruction& construction);

/// The arc of a point (qx, qy) of the first quadrant: the end arc beyond the line from D4 through
/// A1, the top arc beyond the line from B2 through C1 (which passes through D4), the intermediate
/// arc between them. These lines are the normals at the junctions, so for a point near the oval the
/// arc's deviation is the point's distance from the oval.
template <typename T>
ArcKind arcKindAt(const QuadrantOval<T>& o, const T& qx, const T& qy) {
    if ((o.a - o.dx) * (qy + o.dy) - o.dy * (qx - o.dx) <= 0) return ArcKind::End;
    if (o.c * (qy + o.b) - o.b * qx <= 0) return ArcKind::Intermediate;
    return ArcKind::TopOrBottom;
}

/// Centre of an arc in the first quadrant, and what its radius adds to AE.
template <typename T>
struct QuadrantArc {
    T centreX, centreY, radiusOverAe;
};

template <typename T>
QuadrantArc<T> quadrantArc(const QuadrantOval<T>& o, ArcKind kind) {
    switch (kind) {
        case ArcKind::End: return {o.a, T(0), T(0)};
        case ArcKind::Intermediate: return {o.dx, -o.dy, o.stepMed};
        case ArcKind::TopOrBottom: break;
    }
    return {T(0), -o.b, o.stepMed + o.stepMax};
}

/// Concentric eight-centre ovals. The shape is held as the fit varies it: OA, OB, and the places of
/// C on O A1 and of D on C1 B1 as fractions of those segments (bounded to [0, 1], so that every
/// value within the bounds is a construction); the dialogue's coefficients follow as
/// OC = OA * cPlace and DC = dPlace * |C1 B1| = dPlace * sqrt(OC^2 + OB^2) (coefficientsOf and
/// eightCentreParametersOf convert both ways). Each ring holds its AE, the end arcs' radius.
struct EightCentreModel {
    static constexpr std::string_view name = "eight-centre";
    static constexpr int shapeCount = 4;
    static constexpr int ringCount = 1;
    /// The positions in the shape block and in a ring's block.
    static constexpr int oa = 0;
    static constexpr int ob = 1;
    static constexpr int cPlace = 2;
    static constexpr int dPlace = 3;
    static constexpr int ae = 0;

    /// Why a family is not a proper eight-centre construction: the construction's own-frame test.
    using Fault = ConstructionFault;

    static std::vector<ParameterInfo> shapeParameters();
    static std::vector<ParameterInfo> ringParameters(int ring);

    /// The point folded into the first quadrant, measured from the centre of its arc.
    template <typename T>
    static T ownFrameDeviation(const T* shape, const T* ring, const T& x, const T& y) {
        using std::sqrt;
        const QuadrantOval<T> o = quadrantOvalOf(shape[oa], shape[ob], shape[cPlace], shape[dPlace]);
        const T qx = scalarValue(x) < 0 ? T(-x) : x;
        const T qy = scalarValue(y) < 0 ? T(-y) : y;
        const QuadrantArc<T> arc = quadrantArc(o, arcKindAt(o, qx, qy));
        const T ex = qx - arc.centreX;
        const T ey = qy - arc.centreY;
        return sqrt(ex * ex + ey * ey) - (ring[ae] + arc.radiusOverAe);
    }

    /// The semi-axes along the own x axis (OA + AE) and y axis (AE + stepMed + stepMax - OB), for
    /// any scalar type, so that a fit can carry their derivatives.
    template <typename T>
    static RingAxesOf<T> ownFrameSemiAxes(const T* shape, const T* ring) {
        const QuadrantOval<T> o = quadrantOvalOf(shape[oa], shape[ob], shape[cPlace], shape[dPlace]);
        return {o.a + ring[ae], ring[ae] + o.stepMed + o.stepMax - o.b};
    }

    static RingAxes semiAxes(const double* shape, const double* ring);
    static Fault fault(const CurveParameters& parameters);
    static std::string describeFault(const CurveParameters& parameters, Fault fault);

    /// The point at u of the perimeter counter-clockwise from the start of the top arc (its
    /// junction with the upper right intermediate arc), arcs in the order of OvalArc.
    static OutlinePoint ownFrameOutlineAt(const double* shape, const double* ring, double u);
};

static_assert(CurveModel<EightCentreModel>);

/// The dialogue's coefficients of a family (rotation in radians).
CoefficientVector coefficientsOf(const CurveParameters& parameters);

/// The family of the dialogue's coefficients (rotation in radians; lengths as their absolute
/// values, the places of C and D clamped onto their segments).
CurveParameters eightCentreParametersOf(const CoefficientVector& coefficients);
