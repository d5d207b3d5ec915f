#pragma once
/// What a curve model offers the fit, the writers and the generator: its parameters with names,
/// units and bounds, the deviation of a point in the curve's own frame (templated on the scalar so
/// automatic derivatives pass through), each ring's semi-axes, its construction fault and its outline.

#include <cmath>
#include <concepts>
#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

/// What a parameter measures.
enum class ParameterUnit { Length, Angle, Fraction };  // Fraction: a ratio of two lengths

/// One parameter of a model: its name as a person reads it ("OA", "AE2"), its unit and the
/// bounds a fit keeps it within (infinite where there is none).
struct ParameterInfo {
    std::string name;
    ParameterUnit unit = ParameterUnit::Length;
    double lower = 0;
    double upper = 0;
};

/// The placement that every model shares, at the head of its shared block: the centre and the
/// rotation in radians (positive clockwise, as the oval construction turns its points).
namespace placement {
inline constexpr int centreX = 0;
inline constexpr int centreY = 1;
inline constexpr int rotation = 2;
inline constexpr int count = 3;
}  // namespace placement

/// A family of concentric curves of one model: the shared block (placement, then the model's
/// shape) and one block per ring.
struct CurveParameters {
    std::vector<double> shared;
    std::vector<std::vector<double>> rings;
};

/// The two semi-axes of one ring.
struct RingAxes {
    double semiMajor = 0;
    double semiMinor = 0;
};

/// The two semi-axes of one ring for any scalar type: a model may offer them so
/// (ownFrameSemiAxes), for a fit to carry their derivatives.
template <typename T>
struct RingAxesOf {
    T semiMajor, semiMinor;
};

/// A point of an outline and the curve's outward unit normal there.
struct OutlinePoint {
    double x = 0, y = 0;
    double normalX = 0, normalY = 0;
};

/// The value of a scalar without its derivatives (the scalar itself for a plain number).
template <typename T>
auto scalarValue(const T& v) {
    if constexpr (std::is_arithmetic_v<T>) {
        return v;
    } else {
        return v.a;
    }
}

/// A point in a curve's own frame: taken relative to the centre and turned back by the rotation.
template <typename T>
struct OwnFramePoint {
    T x, y;
};

/// The own-frame point of (x, y) for the placement at the head of `shared`.
template <typename T>
OwnFramePoint<T> ownFramePoint(const T* shared, const T& x, const T& y) {
    using std::cos;
    using std::sin;
    const T dx = x - shared[placement::centreX];
    const T dy = y - shared[placement::centreY];
    const T c = cos(shared[placement::rotation]);
    const T s = sin(shared[placement::rotation]);
    return {dx * c - dy * s, dx * s + dy * c};
}

/// The outline point of the own frame placed into the drawing by the placement of `shared`.
OutlinePoint placedOutlinePoint(const double* shared, const OutlinePoint& own);

/// What a curve model is: a record of static members.
/// - name: the model's name on the command line;
/// - shapeCount, ringCount: the sizes of its shape (after the placement) and of a ring's block;
/// - shapeParameters(), ringParameters(j): the parameters of the shape and of ring j (from 1);
/// - ownFrameDeviation(shape, ring, x, y): the signed distance (negative inside) of an own-frame
///   point from the ring's curve, for any scalar type;
/// - semiAxes(shape, ring): the ring's semi-axes;
/// - fault(parameters), describeFault(parameters, fault): why the family is not a proper
///   construction of the model (Fault::None when it is), and that in words;
/// - ownFrameOutlineAt(shape, ring, u): the point of the ring at u in [0, 1), once round
///   counter-clockwise, in the own frame.
template <typename M>
concept CurveModel = requires(const double* block, const CurveParameters& parameters, double u, int ring) {
    { M::name } -> std::convertible_to<std::string_view>;
    { M::shapeCount } -> std::convertible_to<int>;
    { M::ringCount } -> std::convertible_to<int>;
    { M::shapeParameters() } -> std::same_as<std::vector<ParameterInfo>>;
    { M::ringParameters(ring) } -> std::same_as<std::vector<ParameterInfo>>;
    { M::ownFrameDeviation(block, block, u, u) } -> std::same_as<double>;
    { M::semiAxes(block, block) } -> std::same_as<RingAxes>;
    { M::fault(parameters) } -> std::same_as<typename M::Fault>;
    { M::describeFault(parameters, M::fault(parameters)) } -> std::same_as<std::string>;
    { M::ownFrameOutlineAt(block, block, u) } -> std::same_as<OutlinePoint>;
};

/// Every parameter of a family of `ringCount` rings, in the order of the shared block and then
/// the rings' blocks.
template <CurveModel M>
std::vector<ParameterInfo> parameterList(int ringCount);

/// The signed distance of the drawing's point (x, y) from one ring: `shared` is the shared block,
/// `ring` the ring's.
template <CurveModel M, typename T>
T pointDeviation(const T* shared, const T* ring, const T& x, const T& y) {
    const OwnFramePoint<T> q = ownFramePoint(shared, x, y);
    return M::ownFrameDeviation(shared + placement::count, ring, q.x, q.y);
}

/// Which stretch of a ring to sample: it begins `start` of the perimeter on from where the
/// model's outline begins and runs over `span` of it.
struct OutlineStretch {
    double start = 0;
    double span = 1;
};

/// `count` points of ring `ring` (from 0) in the drawing, evenly spaced by arc length over
/// `stretch`, half a spacing in from its start, with the outward normals.
template <CurveModel M>
std::vector<OutlinePoint> sampledOutline(const CurveParameters& parameters, std::size_t ring, int count,
                                         OutlineStretch stretch = {});

// ------------------------------------------------------------------------------- definitions

namespace curve_model_detail {
// Chords of the table that turns arc length into the outline's own parameter: the spacing of
// points then follows the arc length to about 1e-8 of the perimeter.
inline constexpr int lengthTableChords = 8192;
}  // namespace curve_model_detail

template <CurveModel M>
std::vector<ParameterInfo> parameterList(int ringCount) {
    constexpr double unbounded = HUGE_VAL;
    std::vector<ParameterInfo> list{{"centre x", ParameterUnit::Length, -unbounded, unbounded},
                                    {"centre y", ParameterUnit::Length, -unbounded, unbounded},
                                    {"rotation", ParameterUnit::Angle, -unbounded, unbounded}};
    for (ParameterInfo& p : M::shapeParameters()) list.push_back(std::move(p));
    for (int j = 1; j <= ringCount; ++j) {
        for (ParameterInfo& p : M::ringParameters(j)) list.push_back(std::move(p));
    }
    return list;
}

template <CurveModel M>
std::vector<OutlinePoint> sampledOutline(const CurveParameters& parameters, std::size_t ring, int count,
                                         OutlineStretch stretch) {
    using curve_model_detail::lengthTableChords;
    const double* shape = parameters.shared.data() + placement::count;
    const double* block = parameters.rings.at(ring).data();
    // Length along the outline at the table's knots u = k / lengthTableChords.
    std::vector<double> along(lengthTableChords + 1, 0.0);
    OutlinePoint previous = M::ownFrameOutlineAt(shape, block, 0.0);
    for (int k = 1; k <= lengthTableChords; ++k) {
        const OutlinePoint next = M::ownFrameOutlineAt(shape, block, static_cast<double>(k) / lengthTableChords);
        along[static_cast<std::size_t>(k)] =
            along[static_cast<std::size_t>(k - 1)] + std::hypot(next.x - previous.x, next.y - previous.y);
        previous = next;
    }
    const double perimeter = along.back();
    std::vector<OutlinePoint> points;
    points.reserve(static_cast<std::size_t>(count > 0 ? count : 0));
    std::size_t k = 0;
    for (int i = 0; i < count; ++i) {
        double s = (stretch.start + (i + 0.5) * stretch.span / count) * perimeter;
        s = std::fmod(s, perimeter);
        if (s < 0) s += perimeter;
        if (k > 0 && along[k] > s) k = 0;
        while (k + 1 < lengthTableChords && along[k + 1] <= s) ++k;
        const double chord = along[k + 1] - along[k];
        const double u = (static_cast<double>(k) + (chord > 0 ? (s - along[k]) / chord : 0)) / lengthTableChords;
        points.push_back(placedOutlinePoint(parameters.shared.data(), M::ownFrameOutlineAt(shape, block, u)));
    }
    return points;
}
