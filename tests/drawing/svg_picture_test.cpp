// The rings and deviations a picture measures from the drawn arcs, held to the model they were
// drawn from, and the picture's own encoding where a fault would not show on the example.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "drawing/drawn_rings.hpp"
#include "drawing/oval_drawing.hpp"
#include "drawing/svg_encoder.hpp"
#include "drawing/svg_paths.hpp"
#include "model/oval_construction.hpp"
#include "support/example_oval.hpp"

namespace {

std::vector<DrawnEntity> drawingOf(const CoefficientVector& coefficients) {
    std::vector<DrawnEntity> entities;
    const DrawingSink collect = [&entities](const DrawnEntity& e) { entities.push_back(e); };
    for (std::int32_t j = 1; j <= coefficients.curveCount(); ++j) drawOvalCurve(coefficients, j, j == 1, collect);
    return entities;
}

// ---------------------------------------------------------------- rings from the arcs

struct PlacementCase {
    const char* name;
    Real80 cx, cy, theta;
};
void PrintTo(const PlacementCase& c, std::ostream* os) { *os << c.name; }

class RingsOfTheDrawing : public ::testing::TestWithParam<PlacementCase> {
protected:
    CoefficientVector coefficients() const {
        return example::ovalCoefficients(GetParam().cx, GetParam().cy, GetParam().theta, {2.0L, 5.0L});
    }
};

TEST_P(RingsOfTheDrawing, GiveTheModelsSemiAxes) {
    const CoefficientVector c = coefficients();
    const std::vector<DrawnRing> rings = ringsOfDrawing(drawingOf(c));
    ASSERT_EQ(rings.size(), 2u);
    const OvalConstruction construction = buildOvalConstruction(c);
    for (std::int32_t j = 1; j <= 2; ++j) {
        const ArcRadii radii = arcRadii(construction, c.coef(coefficient::ae(j)));
        const SemiAxes axes = semiAxes(construction, radii.rMin, radii.rMax);
        const DrawnRing& ring = rings[static_cast<std::size_t>(j - 1)];
        EXPECT_NEAR(static_cast<double>(ring.semiMajor), static_cast<double>(axes.semiMajor), 1e-12) << "ring " << j;
        EXPECT_NEAR(static_cast<double>(ring.semiMinor), static_cast<double>(axes.semiMinor), 1e-12) << "ring " << j;
        EXPECT_NEAR(static_cast<double>(ring.centre.x), static_cast<double>(GetParam().cx), 1e-12);
        EXPECT_NEAR(static_cast<double>(ring.centre.y), static_cast<double>(GetParam().cy), 1e-12);
    }
}

// A point moved off arc k of ring 1 along the arc's radius: at the arc's middle, and at its
// start, where two sectors meet. Ring 2 lies 3 outside ring 1, so 1.6 out is nearer ring 2.
TEST_P(RingsOfTheDrawing, MeasureEachPointFromItsNearestRingAlongTheRadius) {
    const std::vector<DrawnRing> rings = ringsOfDrawing(drawingOf(coefficients()));
    const RingGauge gauge = gaugeOfRings(rings);
    for (std::size_t k = 0; k < arcsPerRing; ++k) {
        const DrawnArc& arc = rings[0].arcs[k];
        for (const Real80 along : {arcSweepDegrees(arc) / 2, 0.0L}) {
            for (const Real80 offset : {0.0L, 0.4L, -0.7L, 1.6L}) {
                DrawnArc moved = arc;
                moved.radius += offset;
                const PlanePoint point = pointOnCircle(moved, arc.startDegrees + along);
                const RingDeviation d = deviationFromRings(gauge, point);
                const bool nearerOuter = offset > 1.5L;
                EXPECT_EQ(d.ring, nearerOuter ? 1u : 0u) << "arc " << k << " offset " << static_cast<double>(offset);
                EXPECT_NEAR(static_cast<double>(d.deviation), static_cast<double>(nearerOuter ? offset - 3 : offset),
                            1e-9)
                    << "arc " << k << " at " << static_cast<double>(along);
                EXPECT_NEAR(static_cast<double>(d.foot.x + d.deviation * d.direction.x), static_cast<double>(point.x),
                            1e-9);
                EXPECT_NEAR(static_cast<double>(d.foot.y + d.deviation * d.direction.y), static_cast<double>(point.y),
                            1e-9);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(SvgPicture, RingsOfTheDrawing,
                         ::testing::Values(PlacementCase{"AboutTheOrigin", 0, 0, 0},
                                           PlacementCase{"TurnedAndMoved", 300, -200, 0.7L},
                                           // the right end arc now lies to the left
                                           PlacementCase{"TurnedPastAQuarter", -40, 25, 2.0L}),
                         [](const ::testing::TestParamInfo<PlacementCase>& info) { return std::string(info.param.name); });

TEST(SvgPicture, ArcsThatDoNotCloseAreNoRing) {
    std::vector<DrawnEntity> entities = drawingOf(example::ovalCoefficients(0, 0, 0, {2.0L, 5.0L}));
    // the fifth arc of ring 2 turned by a degree: its neighbours no longer meet it
    std::size_t arcs = 0;
    for (DrawnEntity& entity : entities) {
        if (auto* arc = std::get_if<DrawnArc>(&entity); arc != nullptr && ++arcs == 13) arc->startDegrees += 1;
    }
    const std::vector<DrawnRing> rings = ringsOfDrawing(entities);
    ASSERT_EQ(rings.size(), 1u);
    EXPECT_NEAR(static_cast<double>(rings[0].semiMajor), 12.0, 1e-12);
}

// ---------------------------------------------------------------- nearest ring from the sectors

struct FamilyCase {
    const char* name;
    std::vector<CoefficientVector> families;  // each family's rings drawn one after the other
};
void PrintTo(const FamilyCase& c, std::ostream* os) { *os << c.name; }

CoefficientVector evenlySpaced(Real80 cx, Real80 cy, Real80 theta, int rings, Real80 spacing) {
    CoefficientVector c = example::ovalCoefficients(cx, cy, theta, {});
    for (int j = 0; j < rings; ++j) c.values.push_back(1.0L + spacing * j);
    return c;
}

class NearestRing : public ::testing::TestWithParam<FamilyCase> {};

// The measure that looks only at the rings a point's distance from the centre allows gives
// the very values of the measure against every arc, for points everywhere around the rings.
TEST_P(NearestRing, AgreesWithTheMeasureAgainstEveryArc) {
    std::vector<DrawnEntity> entities;
    for (const CoefficientVector& family : GetParam().families) {
        const std::vector<DrawnEntity> more = drawingOf(family);
        entities.insert(entities.end(), more.begin(), more.end());
    }
    const RingGauge gauge = gaugeOfRings(ringsOfDrawing(entities));
    ASSERT_GE(gauge.wedges.size(), 3 * arcsPerRing);
    struct {
        double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
    } box;
    for (const RingGauge::Wedge& w : gauge.wedges) {
        box.minX = std::min(box.minX, w.cx - std::fabs(w.radius));
        box.minY = std::min(box.minY, w.cy - std::fabs(w.radius));
        box.maxX = std::max(box.maxX, w.cx + std::fabs(w.radius));
        box.maxY = std::max(box.maxY, w.cy + std::fabs(w.radius));
    }
    std::uint64_t state = 12345;
    const auto unit = [&state] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) / 9007199254740992.0;
    };
    int differences = 0;
    for (int n = 0; n < 20000; ++n) {
        // Within the box and a quarter of it around, and now and then at a centre itself.
        const double x = box.minX + (1.5 * unit() - 0.25) * (box.maxX - box.minX);
        const double y = box.minY + (1.5 * unit() - 0.25) * (box.maxY - box.minY);
        const PlanePoint point = n % 997 == 0 ? PlanePoint{gauge.wedges[0].cx, gauge.wedges[0].cy} : PlanePoint{x, y};
        const RingDeviation fast = deviationFromRings(gauge, point);
        const RingDeviation every = deviationFromEveryRing(gauge, point);
        const bool same = fast.ring == every.ring && fast.deviation == every.deviation &&
                          fast.foot.x == every.foot.x && fast.foot.y == every.foot.y &&
                          fast.direction.x == every.direction.x && fast.direction.y == every.direction.y;
        if (!same && ++differences <= 5) {
            ADD_FAILURE() << "(" << x << ", " << y << "): ring " << fast.ring << " deviation "
                          << static_cast<double>(fast.deviation) << ", against every arc ring " << every.ring
                          << " deviation " << static_cast<double>(every.deviation);
        }
    }
    EXPECT_EQ(differences, 0);
}

INSTANTIATE_TEST_SUITE_P(
    SvgPicture, NearestRing,
    ::testing::Values(FamilyCase{"FortyConcentricRings", {evenlySpaced(3, -2, 0.3L, 40, 0.5L)}},
                      FamilyCase{"CloseRingsFarFromTheOrigin", {evenlySpaced(5e5L, 2e5L, 1.1L, 25, 0.02L)}},
                      FamilyCase{"UnevenRings", {example::ovalCoefficients(0, 0, 0, {1, 1.1L, 4, 9, 9.05L, 30})}},
                      // two drawings side by side: centres far apart
                      FamilyCase{"TwoFamiliesApart",
                                 {evenlySpaced(0, 0, 0, 5, 1), evenlySpaced(60, 10, 0.5L, 4, 2)}},
                      FamilyCase{"TwoFamiliesOverlapping",
                                 {evenlySpaced(0, 0, 0, 6, 1), evenlySpaced(1.5L, -0.5L, 0.2L, 6, 1.3L)}}),
    [](const ::testing::TestParamInfo<FamilyCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- a large drawing stays readable

struct LargeCase {
    const char* name;
    int rings;
    int pointsPerRing;
    double noise;  // radial, in drawing units
};
void PrintTo(const LargeCase& c, std::ostream* os) { *os << c.name; }

class LargePicture : public ::testing::TestWithParam<LargeCase> {};

std::size_t countOf(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

// Points on the rings (noise along the arcs' radii, alternating in and out), then the rings.
TEST_P(LargePicture, SummarisesWhiskersDotsAndLabels) {
    const LargeCase& c = GetParam();
    CoefficientVector coefficients = example::ovalCoefficients(0, 0, 0, {});
    for (int j = 0; j < c.rings; ++j) coefficients.values.push_back(2.0L + 0.5L * j);
    const std::vector<DrawnEntity> rings = drawingOf(coefficients);
    std::vector<DrawnEntity> entities;
    const std::array<Layer, 3> classes{Layer::WithinResidual, Layer::OverResidual, Layer::TwiceOverResidual};
    std::size_t arcs = 0;
    for (const DrawnEntity& e : rings) {
        const auto* arc = std::get_if<DrawnArc>(&e);
        if (arc == nullptr || arc->layer != Layer::Arcs) continue;
        const int perArc = c.pointsPerRing / static_cast<int>(arcsPerRing);
        for (int i = 0; i < perArc; ++i) {
            DrawnArc moved = *arc;
            moved.radius += (i % 2 == 0 ? 1 : -1) * c.noise * (1 + i % 3);
            const PlanePoint p = pointOnCircle(moved, arc->startDegrees + arcSweepDegrees(*arc) * (i + 0.5L) / perArc);
            entities.push_back(DrawnPoint{classes[static_cast<std::size_t>(i % 3)], p});
        }
        ++arcs;
    }
    const std::size_t points = entities.size();
    entities.insert(entities.end(), rings.begin(), rings.end());
    OutputChannel picture = memoryOutput();
    const PictureSummary summary = writeSvgPicture(picture, entities, {"large", {}});
    const std::string& svg = picture.captured;

    EXPECT_EQ(arcs, static_cast<std::size_t>(c.rings) * arcsPerRing);
    EXPECT_EQ(summary.pointsByClass[0] + summary.pointsByClass[1] + summary.pointsByClass[2], points);
    EXPECT_EQ(summary.rings, static_cast<std::size_t>(c.rings));
    // Whiskers: at most whiskersPerClass (2000) a class.
    EXPECT_LE(svgtest::subpathsOf(svg, "whiskers").size(), 3u * 2000u);
    EXPECT_GT(svgtest::subpathsOf(svg, "whiskers").size(), 0u);
    // Dots: every point of a small class, at most one a page unit square of a large one.
    std::size_t dots = 0;
    for (const Layer layer : classes) dots += svgtest::subpathsOf(svg, std::string(styleOf(layer).name)).size();
    if (points / 3 <= 20000) {
        EXPECT_EQ(dots, points);
    } else {
        EXPECT_LT(dots, points / 2);
    }
    // Labels: one a ring up to 40 rings, then every so many and the last; each leader ends at
    // its own spot, each number with the same decimals, trailing zeros kept.
    const std::size_t labels = countOf(svg, ">ring ");
    EXPECT_EQ(labels, c.rings <= 40 ? static_cast<std::size_t>(c.rings) : std::size_t{41});
    const std::size_t first = svg.find(">ring 1: semi-axes 12.");
    ASSERT_NE(first, std::string::npos);
    const std::string decimals = svg.substr(first + 22, svg.find(' ', first + 22) - first - 22);
    EXPECT_GE(decimals.size(), 3u);
    EXPECT_EQ(decimals.find_first_not_of('0'), std::string::npos) << decimals;
    std::vector<std::pair<std::string, std::string>> leaderEnds;
    for (std::size_t at = svg.find("stroke=\"#9aa0aa\""); at != std::string::npos;
         at = svg.find("stroke=\"#9aa0aa\"", at + 1)) {
        const std::size_t open = svg.rfind("<line", at);
        const std::size_t x1 = svg.find("x1=\"", open) + 4, y1 = svg.find("y1=\"", open) + 4;
        leaderEnds.emplace_back(svg.substr(x1, svg.find('"', x1) - x1), svg.substr(y1, svg.find('"', y1) - y1));
    }
    EXPECT_EQ(leaderEnds.size(), labels);
    std::sort(leaderEnds.begin(), leaderEnds.end());
    EXPECT_EQ(std::unique(leaderEnds.begin(), leaderEnds.end()), leaderEnds.end()) << "two leaders end at one spot";
    EXPECT_LT(svg.size(), 4u << 20);
}

INSTANTIATE_TEST_SUITE_P(SvgPicture, LargePicture,
                         ::testing::Values(LargeCase{"TenRingsFewPoints", 10, 96, 0.01},
                                           LargeCase{"ThreeRingsOfSixtyThousand", 3, 60000, 0.004},
                                           LargeCase{"ManyRings", 120, 16, 0.01}),
                         [](const ::testing::TestParamInfo<LargeCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- the encoding

struct SweepCase {
    const char* name;
    Real80 start, end;
    int large;
};
void PrintTo(const SweepCase& c, std::ostream* os) { *os << c.name; }

class PictureArc : public ::testing::TestWithParam<SweepCase> {};

TEST_P(PictureArc, RunsCounterClockwiseFromStartToEnd) {
    const SweepCase& c = GetParam();
    OutputChannel picture = memoryOutput();
    writeSvgPicture(picture, {DrawnArc{Layer::Arcs, {1, 2}, 10, c.start, c.end}}, {"arc", {}});
    const auto arcs = svgtest::subpathsOf(picture.captured, "archi");
    ASSERT_EQ(arcs.size(), 1u);
    ASSERT_EQ(arcs[0].size(), 9u);  // M x y A rx ry rotation large sweep x y
    const Real80 radians = 3.14159265358979323846L / 180;
    EXPECT_NEAR(arcs[0][0], static_cast<double>(1 + 10 * std::cos(c.start * radians)), 1e-3);
    EXPECT_NEAR(arcs[0][1], static_cast<double>(2 + 10 * std::sin(c.start * radians)), 1e-3);
    EXPECT_EQ(arcs[0][5], c.large);
    EXPECT_EQ(arcs[0][6], 1);  // positive angles in the drawing's own coordinates
    EXPECT_NEAR(arcs[0][7], static_cast<double>(1 + 10 * std::cos(c.end * radians)), 1e-3);
    EXPECT_NEAR(arcs[0][8], static_cast<double>(2 + 10 * std::sin(c.end * radians)), 1e-3);
}

INSTANTIATE_TEST_SUITE_P(SvgPicture, PictureArc,
                         ::testing::Values(SweepCase{"Small", 10, 80, 0}, SweepCase{"OverHalfATurn", 10, 200, 1},
                                           SweepCase{"SmallAcrossZero", 350, 10, 0},
                                           SweepCase{"LargeAcrossZero", 100, 60, 1}),
                         [](const ::testing::TestParamInfo<SweepCase>& info) { return std::string(info.param.name); });

// A survey drawing lies millions of units from its origin; the page must not need that many
// digits (browsers place paths in single precision), and a run-away value must not spoil it,
// nor a title in another encoding than UTF-8 make the XML ill-formed.
TEST(SvgPicture, FarDrawingKeepsItsNumbersNearARoundOriginAndLeavesRunAwayValuesOut) {
    const std::vector<DrawnEntity> entities{DrawnPoint{Layer::WithinResidual, {4512345.678L, 5012345.25L}},
                                            DrawnPoint{Layer::OverResidual, {4512391.5L, 5012301.125L}},
                                            DrawnPoint{Layer::OverResidual, {1e13L, 0}}};
    OutputChannel picture = memoryOutput();
    const PictureSummary summary = writeSvgPicture(picture, entities, {"far & away <survey> \xe0 \xc3\xa8", {}});
    EXPECT_EQ(summary.leftOut, 1u);
    EXPECT_NE(picture.captured.find("<title>far &amp; away &lt;survey&gt; ? \xc3\xa8</title>"), std::string::npos);
    const svgtest::Placement placement = svgtest::placementOf(picture.captured);
    EXPECT_EQ(placement.originX, 4512400);  // a multiple of 100, the power of ten above its size
    EXPECT_EQ(placement.originY, 5012300);
    const auto within = svgtest::subpathsOf(picture.captured, "Minore_scarto");
    const auto over = svgtest::subpathsOf(picture.captured, "Scarto");
    ASSERT_EQ(within.size(), 1u);
    ASSERT_EQ(over.size(), 1u);
    const double tolerance = 0.01 / placement.scale;
    EXPECT_NEAR(within[0][0] + placement.originX, 4512345.678, tolerance);
    EXPECT_NEAR(within[0][1] + placement.originY, 5012345.25, tolerance);
    EXPECT_NEAR(over[0][0] + placement.originX, 4512391.5, tolerance);
    EXPECT_NEAR(over[0][1] + placement.originY, 5012301.125, tolerance);
    EXPECT_LT(std::fabs(within[0][0]), 100.0);
}

}  // namespace
