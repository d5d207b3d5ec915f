#include <algorithm>
#include <cmath>
#include <numbers>
#include <ostream>
#include <string>
#include <vector>

#include <ceres/jet.h>
#include <gtest/gtest.h>

#include "model/curve_model.hpp"
#include "model/eight_centre_model.hpp"
#include "model/ellipse_model.hpp"
#include "model/four_centre_model.hpp"

namespace {

enum class Kind { Ellipse, FourCentre, EightCentre };

/// Calls f with a value of the model that `kind` names.
template <typename F>
auto withModel(Kind kind, F&& f) {
    switch (kind) {
        case Kind::Ellipse: return f(EllipseModel{});
        case Kind::FourCentre: return f(FourCentreModel{});
        case Kind::EightCentre: break;
    }
    return f(EightCentreModel{});
}

struct FamilyRow {
    std::string name;
    Kind kind;
    CurveParameters parameters;
};

void PrintTo(const FamilyRow& row, std::ostream* os) { *os << row.name; }

double deviationOf(const FamilyRow& row, std::size_t ring, double x, double y) {
    return withModel(row.kind, [&](auto model) {
        using M = decltype(model);
        return pointDeviation<M>(row.parameters.shared.data(), row.parameters.rings[ring].data(), x, y);
    });
}

std::vector<OutlinePoint> outlineOf(const FamilyRow& row, std::size_t ring, int count) {
    return withModel(row.kind, [&](auto model) { return sampledOutline<decltype(model)>(row.parameters, ring, count); });
}

RingAxes axesOf(const FamilyRow& row, std::size_t ring) {
    return withModel(row.kind, [&](auto model) {
        return decltype(model)::semiAxes(row.parameters.shared.data() + placement::count,
                                         row.parameters.rings[ring].data());
    });
}

/// The outline as a dense closed polygon in the drawing, taken at even steps of the model's own
/// outline parameter, independently of the arc-length spacing of sampledOutline.
std::vector<OutlinePoint> densePolygon(const FamilyRow& row, std::size_t ring, int count) {
    return withModel(row.kind, [&](auto model) {
        using M = decltype(model);
        std::vector<OutlinePoint> points;
        for (int k = 0; k < count; ++k) {
            const OutlinePoint own = M::ownFrameOutlineAt(row.parameters.shared.data() + placement::count,
                                                          row.parameters.rings[ring].data(),
                                                          static_cast<double>(k) / count);
            points.push_back(placedOutlinePoint(row.parameters.shared.data(), own));
        }
        return points;
    });
}

/// The nearest distance of (x, y) from the segments of a closed polygon, and whether a ray from
/// the point crosses it an odd number of times.
struct PolygonDistance {
    double distance = HUGE_VAL;
    bool inside = false;
};

PolygonDistance polygonDistance(const std::vector<OutlinePoint>& polygon, double x, double y, bool closed) {
    PolygonDistance result;
    const std::size_t segments = closed ? polygon.size() : polygon.size() - 1;
    for (std::size_t i = 0; i < segments; ++i) {
        const OutlinePoint& p = polygon[i];
        const OutlinePoint& q = polygon[(i + 1) % polygon.size()];
        const double ex = q.x - p.x, ey = q.y - p.y;
        const double along = std::clamp(((x - p.x) * ex + (y - p.y) * ey) / (ex * ex + ey * ey), 0.0, 1.0);
        result.distance = std::min(result.distance, std::hypot(x - p.x - along * ex, y - p.y - along * ey));
        if ((p.y > y) != (q.y > y) && x < p.x + (y - p.y) * ex / ey) result.inside = !result.inside;
    }
    return result;
}

/// The signed distance of (x, y) from a ring found by brute force: the nearest of a coarse polygon's
/// vertices, then a fine polygon around every vertex nearly as near.
double bruteForceDeviation(const FamilyRow& row, std::size_t ring, const std::vector<OutlinePoint>& coarse, double x,
                           double y) {
    const PolygonDistance rough = polygonDistance(coarse, x, y, true);
    const std::size_t n = coarse.size();
    std::vector<double> vertexDistance(n);
    double nearest = HUGE_VAL, spacing = 0;
    for (std::size_t k = 0; k < n; ++k) {
        vertexDistance[k] = std::hypot(coarse[k].x - x, coarse[k].y - y);
        nearest = std::min(nearest, vertexDistance[k]);
        spacing = std::max(spacing, std::hypot(coarse[(k + 1) % n].x - coarse[k].x, coarse[(k + 1) % n].y - coarse[k].y));
    }
    double best = HUGE_VAL;
    withModel(row.kind, [&](auto model) {
        using M = decltype(model);
        const double* shape = row.parameters.shared.data() + placement::count;
        const double* block = row.parameters.rings[ring].data();
        constexpr int fine = 400;
        for (std::size_t k = 0; k < n; ++k) {
            if (vertexDistance[k] > nearest + spacing) continue;
            std::vector<OutlinePoint> piece;
            for (int i = 0; i <= fine; ++i) {
                const double u = (static_cast<double>(k) - 1 + 2.0 * i / fine) / static_cast<double>(n);
                piece.push_back(placedOutlinePoint(row.parameters.shared.data(), M::ownFrameOutlineAt(shape, block, u)));
            }
            best = std::min(best, polygonDistance(piece, x, y, false).distance);
        }
        return 0;
    });
    return rough.inside ? -best : best;
}

double offsetOf(const FamilyRow& row) {
    return std::fabs(row.parameters.shared[placement::centreX]) + std::fabs(row.parameters.shared[placement::centreY]);
}

class CurveModelFamily : public ::testing::TestWithParam<FamilyRow> {};

TEST_P(CurveModelFamily, OwnDrawingHasNoDeviation) {
    const FamilyRow& row = GetParam();
    for (std::size_t j = 0; j < row.parameters.rings.size(); ++j) {
        const double size = axesOf(row, j).semiMajor;
        // The rounding of coordinates that far from the origin, and a few units of the size.
        const double tolerance = 1e-14 * size + 1e-15 * offsetOf(row);
        for (const OutlinePoint& p : outlineOf(row, j, 997)) {
            EXPECT_NEAR(deviationOf(row, j, p.x, p.y), 0.0, tolerance) << "ring " << j + 1 << " at (" << p.x << ", " << p.y << ")";
        }
    }
}

TEST_P(CurveModelFamily, DeviationIsTheDistanceFromTheCurve) {
    const FamilyRow& row = GetParam();
    for (std::size_t j = 0; j < row.parameters.rings.size(); ++j) {
        const RingAxes axes = axesOf(row, j);
        const std::vector<OutlinePoint> coarse = densePolygon(row, j, 2000);
        // Along the outward normal: outside by up to the size, inside by up to half the smaller
        // semi-axis, where the nearest point of the curve is no longer the foot of the normal.
        const double offsets[] = {-0.5, -0.2, -0.02, 0.001, 0.1, 1.0};
        int checked = 0;
        for (const OutlinePoint& p : outlineOf(row, j, 17)) {
            for (double offset : offsets) {
                const double step = offset * (offset < 0 ? axes.semiMinor : axes.semiMajor);
                const double x = p.x + step * p.normalX, y = p.y + step * p.normalY;
                const double expected = bruteForceDeviation(row, j, coarse, x, y);
                EXPECT_NEAR(deviationOf(row, j, x, y), expected, 1e-8 * axes.semiMajor + 1e-15 * offsetOf(row))
                    << "ring " << j + 1 << " at (" << x << ", " << y << ")";
                ++checked;
            }
        }
        // The centre is as far from the curve as the end of the minor axis.
        const double cx = row.parameters.shared[placement::centreX], cy = row.parameters.shared[placement::centreY];
        EXPECT_NEAR(deviationOf(row, j, cx, cy), -axes.semiMinor, 1e-12 * axes.semiMajor + 1e-15 * offsetOf(row));
        EXPECT_EQ(checked, 17 * 6);
    }
}

TEST_P(CurveModelFamily, SemiAxesReachTheCurveAndBoundIt) {
    const FamilyRow& row = GetParam();
    const double* shared = row.parameters.shared.data();
    for (std::size_t j = 0; j < row.parameters.rings.size(); ++j) {
        const RingAxes axes = axesOf(row, j);
        const double tolerance = 1e-14 * axes.semiMajor + 1e-15 * offsetOf(row);
        double reachX = 0, reachY = 0;
        for (const OutlinePoint& p : densePolygon(row, j, 4000)) {
            const OwnFramePoint<double> q = ownFramePoint(shared, p.x, p.y);
            reachX = std::max(reachX, std::fabs(q.x));
            reachY = std::max(reachY, std::fabs(q.y));
        }
        const bool xIsMajor = reachX >= reachY;
        const double semiX = xIsMajor ? axes.semiMajor : axes.semiMinor;
        const double semiY = xIsMajor ? axes.semiMinor : axes.semiMajor;
        EXPECT_LE(reachX, semiX + tolerance);
        EXPECT_LE(reachY, semiY + tolerance);
        // The ends of both axes lie on the curve.
        for (const OutlinePoint& end : {OutlinePoint{semiX, 0}, OutlinePoint{-semiX, 0}, OutlinePoint{0, semiY},
                                        OutlinePoint{0, -semiY}}) {
            const OutlinePoint placed = placedOutlinePoint(shared, end);
            EXPECT_NEAR(deviationOf(row, j, placed.x, placed.y), 0.0, tolerance) << "at own (" << end.x << ", " << end.y << ")";
        }
    }
}

TEST_P(CurveModelFamily, SampledNormalsAreTheCurvesNormals) {
    // The deviation's slope along the normal is 1 and across it 0, just off the curve.
    const FamilyRow& row = GetParam();
    for (std::size_t j = 0; j < row.parameters.rings.size(); ++j) {
        const double h = 1e-5 * axesOf(row, j).semiMinor;
        for (const OutlinePoint& p : outlineOf(row, j, 41)) {
            const double along = deviationOf(row, j, p.x + h * p.normalX, p.y + h * p.normalY) -
                                 deviationOf(row, j, p.x - h * p.normalX, p.y - h * p.normalY);
            const double across = deviationOf(row, j, p.x - h * p.normalY, p.y + h * p.normalX) -
                                  deviationOf(row, j, p.x + h * p.normalY, p.y - h * p.normalX);
            const double tolerance = 1e-4 + 1e-15 * offsetOf(row) / h;
            EXPECT_NEAR(along / (2 * h), 1.0, tolerance);
            EXPECT_NEAR(across / (2 * h), 0.0, tolerance);
        }
    }
}

/// The derivatives of the deviation by every shared and ring parameter (automatic, through
/// ceres::Jet), against central differences.
template <typename M>
void expectDerivativesMatchDifferences(const FamilyRow& row) {
    constexpr int sharedSize = placement::count + M::shapeCount;
    constexpr int size = sharedSize + M::ringCount;
    using Jet = ceres::Jet<double, size>;
    for (std::size_t j = 0; j < row.parameters.rings.size(); ++j) {
        std::vector<double> values(row.parameters.shared);
        values.insert(values.end(), row.parameters.rings[j].begin(), row.parameters.rings[j].end());
        const RingAxes axes = M::semiAxes(values.data() + placement::count, values.data() + sharedSize);
        auto deviation = [&](const std::vector<double>& v, double x, double y) {
            return pointDeviation<M>(v.data(), v.data() + sharedSize, x, y);
        };
        std::vector<Jet> jets;
        for (int k = 0; k < size; ++k) jets.emplace_back(values[static_cast<std::size_t>(k)], k);

        const std::vector<OutlinePoint> feet = sampledOutline<M>(row.parameters, j, 23, {0.013, 1});
        const double offsets[] = {-0.3, -0.01, 0.0, 0.05, 0.8};
        for (std::size_t i = 0; i < feet.size(); ++i) {
            const double offset = offsets[i % 5] * (offsets[i % 5] < 0 ? axes.semiMinor : axes.semiMajor);
            const double x = feet[i].x + offset * feet[i].normalX, y = feet[i].y + offset * feet[i].normalY;
            const Jet d = pointDeviation<M>(jets.data(), jets.data() + sharedSize, Jet(x), Jet(y));
            EXPECT_NEAR(d.a, deviation(values, x, y), 1e-12 * axes.semiMajor + 1e-15 * offsetOf(row));
            for (int k = 0; k < size; ++k) {
                const bool angle = k == placement::rotation;
                const double h = angle ? 1e-6 : 1e-6 * axes.semiMinor;
                std::vector<double> up(values), down(values);
                up[static_cast<std::size_t>(k)] += h;
                down[static_cast<std::size_t>(k)] -= h;
                const double difference = (deviation(up, x, y) - deviation(down, x, y)) / (2 * h);
                const double scale = angle ? axes.semiMajor : 1.0;
                EXPECT_NEAR(d.v[k], difference, 1e-5 * (scale + std::fabs(difference)) + 1e-15 * offsetOf(row) / h)
                    << "by parameter " << k << " at point " << i;
            }
        }
    }
}

TEST_P(CurveModelFamily, DerivativesMatchDifferences) {
    const FamilyRow& row = GetParam();
    withModel(row.kind, [&](auto model) {
        expectDerivativesMatchDifferences<decltype(model)>(row);
        return 0;
    });
}

TEST_P(CurveModelFamily, IsAProperConstruction) {
    const FamilyRow& row = GetParam();
    withModel(row.kind, [&](auto model) {
        using M = decltype(model);
        EXPECT_EQ(M::fault(row.parameters), M::Fault::None);
        EXPECT_EQ(M::describeFault(row.parameters, M::fault(row.parameters)), "");
        return 0;
    });
}

constexpr double nearlyOne = 1 - 1e-9;

INSTANTIATE_TEST_SUITE_P(
    CurveModels, CurveModelFamily,
    ::testing::Values(
        FamilyRow{"ellipseAtOrigin", Kind::Ellipse, {{0, 0, 0}, {{12, 8}}}},
        FamilyRow{"ellipsesTurnedFarAway", Kind::Ellipse, {{1e6, -2.5e5, 0.7}, {{12, 8}, {13, 9.5}}}},
        FamilyRow{"ellipseTallerThanWide", Kind::Ellipse, {{-3, 2, 0.3}, {{5, 9}}}},
        FamilyRow{"ellipseNearlyRound", Kind::Ellipse, {{3, 4, 2.1}, {{10, 10 * nearlyOne}}}},
        FamilyRow{"ellipseRound", Kind::Ellipse, {{1, -1, 0}, {{7, 7}}}},
        FamilyRow{"ellipseFlat", Kind::Ellipse, {{-50, 20, -1.2}, {{10, 0.05}}}},
        FamilyRow{"ellipseFlatFarAway", Kind::Ellipse, {{-7e5, 1e6, 3.0}, {{200, 2}}}},
        FamilyRow{"fourCentreAtOrigin", Kind::FourCentre, {{0, 0, 0, 10, 6}, {{2}}}},
        FamilyRow{"fourCentresTurnedFarAway", Kind::FourCentre, {{-1e6, 1e6, 2.5, 10, 6}, {{2}, {3.5}, {5}}}},
        FamilyRow{"fourCentreNearlyRound", Kind::FourCentre, {{0, 0, 0.4, 0.01, 1}, {{10}}}},
        FamilyRow{"fourCentreFlat", Kind::FourCentre, {{5, 5, -0.8, 40, 200}, {{1}}}},
        FamilyRow{"fourCentreWithSmallSideCentre", Kind::FourCentre, {{0, 0, 1.1, 20, 0.5}, {{3}}}},
        // Shape: OA, OB, then the places of C on O A1 and of D on C1 B1.
        FamilyRow{"eightCentreAtOrigin", Kind::EightCentre, {{0, 0, 0, 10, 6, 0.5, 0.4}, {{2}}}},
        FamilyRow{"eightCentresTurnedFarAway", Kind::EightCentre, {{-1e6, 1e6, 2.5, 10, 6, 0.3, 0.6}, {{2}, {3.5}, {5}}}},
        FamilyRow{"eightCentreNearlyFourCentre", Kind::EightCentre, {{3, -4, -0.4, 8, 5, 0.7, 0.995}, {{1.5}}}},
        FamilyRow{"eightCentreFlat", Kind::EightCentre, {{5, 5, -0.8, 40, 200, 0.8, 0.2}, {{1}, {4}}}},
        FamilyRow{"eightCentreNearlyRound", Kind::EightCentre, {{0, 0, 1.0, 0.5, 0.3, 0.5, 0.5}, {{10}}}}),
    [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------- the ellipse's distance

struct EllipseDistanceRow {
    std::string name;
    double semiX, semiY, x, y, expected;
};

void PrintTo(const EllipseDistanceRow& row, std::ostream* os) { *os << row.name; }

class EllipseDistance : public ::testing::TestWithParam<EllipseDistanceRow> {};

TEST_P(EllipseDistance, IsKnownWhereItCanBeWorkedOut) {
    const EllipseDistanceRow& row = GetParam();
    EXPECT_NEAR(ellipseDeviation(row.semiX, row.semiY, row.x, row.y), row.expected, 1e-13);
    // Long double and a Jet take the same branches to the same value.
    EXPECT_NEAR(static_cast<double>(ellipseDeviation<long double>(row.semiX, row.semiY, row.x, row.y)), row.expected,
                1e-13);
    using Jet = ceres::Jet<double, 2>;
    EXPECT_NEAR(ellipseDeviation(Jet(row.semiX, 0), Jet(row.semiY, 1), Jet(row.x), Jet(row.y)).a, row.expected, 1e-13);
}

INSTANTIATE_TEST_SUITE_P(
    CurveModels, EllipseDistance,
    ::testing::Values(
        // On the axes beyond the ends, the nearest point is the end.
        EllipseDistanceRow{"beyondTheMajorAxisEnd", 5, 3, 7, 0, 2},
        EllipseDistanceRow{"beyondTheMinorAxisEnd", 5, 3, 0, -4.5, 1.5},
        EllipseDistanceRow{"insideOnTheMinorAxis", 5, 3, 0, 1, -2},
        // Inside on the major axis near the centre, the nearest point is off the axis: for
        // (x, 0) with x < (a^2 - b^2) / a it is a^2 x / (a^2 - b^2) along x.
        EllipseDistanceRow{"centre", 5, 3, 0, 0, -3},
        EllipseDistanceRow{"insideOnTheMajorAxis", 5, 3, 1.6, 0, -std::sqrt(0.9 * 0.9 + 9 * 0.75)},
        EllipseDistanceRow{"insideBeyondTheCusp", 5, 3, 4, 0, -1},
        // A circle: the distance from its centre less its radius.
        EllipseDistanceRow{"circleOutside", 2, 2, 3, 4, 3},
        EllipseDistanceRow{"circleInside", 2, 2, -0.6, 0.8, -1},
        // The foot (3, 2.4) of the normal through it: the normal of x^2/25 + y^2/9 = 1 there runs
        // along (3/25, 2.4/9), scaled to length 1 by 1/sqrt(0.0144 + 0.07111...).
        EllipseDistanceRow{"alongTheNormalOfAPoint", 5, 3, 3 + 0.5 * 0.12 / std::hypot(0.12, 2.4 / 9),
                           2.4 + 0.5 * (2.4 / 9) / std::hypot(0.12, 2.4 / 9), 0.5},
        EllipseDistanceRow{"alongTheNormalWithAxesSwapped", 3, 5, -(2.4 + 0.5 * (2.4 / 9) / std::hypot(0.12, 2.4 / 9)),
                           -(3 + 0.5 * 0.12 / std::hypot(0.12, 2.4 / 9)), 0.5},
        EllipseDistanceRow{"tipOfAVeryFlatEllipse", 1000, 1e-3, 1000 + 1e-6, 0, 1e-6}),
    [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------- the four-centre oval

TEST(FourCentreOval, ArcsMeetTangentAtTheJunctions) {
    const CurveParameters family{{3, -2, 0.9, 10, 6}, {{2}, {4}}};
    for (std::size_t j = 0; j < family.rings.size(); ++j) {
        const auto arcs = fourCentreArcs(family, j);
        for (std::size_t k = 0; k < arcs.size(); ++k) {
            const OutlineArc& arc = arcs[k];
            const OutlineArc& next = arcs[(k + 1) % arcs.size()];
            const double endAngle = arc.startAngle + arc.sweep;
            // The same point, and the same direction from both centres: one tangent.
            EXPECT_NEAR(arc.centreX + arc.radius * std::cos(endAngle),
                        next.centreX + next.radius * std::cos(next.startAngle), 1e-12);
            EXPECT_NEAR(arc.centreY + arc.radius * std::sin(endAngle),
                        next.centreY + next.radius * std::sin(next.startAngle), 1e-12);
            EXPECT_NEAR(std::remainder(endAngle - next.startAngle, 2 * std::numbers::pi), 0.0, 1e-12);
        }
        double sweep = 0;
        for (const OutlineArc& arc : arcs) sweep += arc.sweep;
        EXPECT_NEAR(sweep, 2 * std::numbers::pi, 1e-12);
        // Top arc radius: AE + |A1 B2|.
        EXPECT_NEAR(arcs[0].radius, family.rings[j][0] + std::hypot(10.0, 6.0), 1e-12);
    }
}

TEST(FourCentreOval, DeviationIsSmoothAcrossTheJunctionLine) {
    // Either side of the line from B2 through A1, inside and outside, the two arcs' distances
    // agree to first order: the value and its slope run on across the line.
    const double shape[] = {10, 6};
    const double ring[] = {2};
    const double dx = 10 / std::hypot(10.0, 6.0), dy = 6 / std::hypot(10.0, 6.0);
    for (double t : {0.5, 1.0, 2.0, 3.0, 8.0}) {  // along the line from A1
        const double x = 10 + t * dx, y = t * dy;
        const double eps = 1e-7;
        const double before = FourCentreModel::ownFrameDeviation(shape, ring, x - eps * dy, y + eps * dx);
        const double after = FourCentreModel::ownFrameDeviation(shape, ring, x + eps * dy, y - eps * dx);
        EXPECT_NEAR(before, t - 2, 1e-6);
        EXPECT_NEAR(after, t - 2, 1e-6);
        EXPECT_NEAR((before - after) / (2 * eps), 0.0, 1e-6) << "at " << t;
    }
}

struct FaultRow {
    std::string name;
    CurveParameters parameters;
    FourCentreModel::Fault expected;
    std::string words;
};

void PrintTo(const FaultRow& row, std::ostream* os) { *os << row.name; }

class FourCentreFault : public ::testing::TestWithParam<FaultRow> {};

TEST_P(FourCentreFault, NamesTheFirstFailedCondition) {
    const FaultRow& row = GetParam();
    EXPECT_EQ(FourCentreModel::fault(row.parameters), row.expected);
    EXPECT_EQ(FourCentreModel::describeFault(row.parameters, row.expected), row.words);
}

INSTANTIATE_TEST_SUITE_P(
    CurveModels, FourCentreFault,
    ::testing::Values(FaultRow{"proper", {{0, 0, 0, 10, 6}, {{2}}}, FourCentreModel::Fault::None, ""},
                      FaultRow{"circle", {{0, 0, 0, 0, 6}, {{2}}}, FourCentreModel::Fault::OaNotPositive,
                               "OA (0.000000) is not positive"},
                      FaultRow{"noSideCentre", {{0, 0, 0, 10, -1}, {{2}}}, FourCentreModel::Fault::ObNotPositive,
                               "OB (-1.000000) is not positive"},
                      FaultRow{"secondRingInsideOut", {{0, 0, 0, 10, 6}, {{2}, {-0.5}}},
                               FourCentreModel::Fault::EndRadiusNotPositive,
                               "the end radius of ring 2 (-0.500000) is not positive"},
                      FaultRow{"notANumber", {{0, 0, 0, NAN, 6}, {{2}}}, FourCentreModel::Fault::OaNotPositive,
                               "OA (nan) is not positive"}),
    [](const auto& info) { return info.param.name; });

TEST(EllipseModelFault, NamesTheRingWithANonPositiveSemiAxis) {
    const CurveParameters proper{{0, 0, 0}, {{3, 2}, {4, 3}}};
    EXPECT_EQ(EllipseModel::fault(proper), EllipseModel::Fault::None);
    const CurveParameters flatRing{{0, 0, 0}, {{3, 2}, {4, 0}}};
    EXPECT_EQ(EllipseModel::fault(flatRing), EllipseModel::Fault::SemiAxisNotPositive);
    EXPECT_EQ(EllipseModel::describeFault(flatRing, EllipseModel::Fault::SemiAxisNotPositive),
              "a semi-axis of ring 2 (4.000000, 0.000000) is not positive");
}

TEST(CurveModelParameters, ListThePlacementShapeAndEachRing) {
    std::vector<std::string> names;
    for (const ParameterInfo& p : parameterList<FourCentreModel>(2)) names.push_back(p.name);
    EXPECT_EQ(names, (std::vector<std::string>{"centre x", "centre y", "rotation", "OA", "OB", "AE1", "AE2"}));
    names.clear();
    for (const ParameterInfo& p : parameterList<EllipseModel>(2)) names.push_back(p.name);
    EXPECT_EQ(names, (std::vector<std::string>{"centre x", "centre y", "rotation", "a1", "b1", "a2", "b2"}));
    const std::vector<ParameterInfo> list = parameterList<FourCentreModel>(1);
    EXPECT_EQ(list[placement::rotation].unit, ParameterUnit::Angle);
    EXPECT_EQ(list[3].unit, ParameterUnit::Length);
    EXPECT_EQ(list[3].lower, 0);
    EXPECT_TRUE(std::isinf(list[placement::centreX].lower));
}

}  // namespace
