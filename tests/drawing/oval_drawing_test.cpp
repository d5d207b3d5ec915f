#include "drawing/oval_drawing.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>
#include <vector>

#include "drawing/dxf_encoder.hpp"
#include "support/crlf_text.hpp"
#include "base/constants.hpp"
#include "model/primitives.hpp"

namespace {


// ---------------------------------------------------------------- pointAlong

struct PointAlongCase {
    const char* name;
    Real80 x1, y1, x2, y2, length;
    Real80 expectedX, expectedY;
};

void PrintTo(const PointAlongCase& c, std::ostream* os) { *os << c.name; }

class PointAlong : public ::testing::TestWithParam<PointAlongCase> {};

TEST_P(PointAlong, GivesThePointAtTheDistance) {
    const PointAlongCase& c = GetParam();
    Real80 x = -99;
    Real80 y = -99;
    pointAlong(c.x1, c.y1, c.x2, c.y2, c.length, x, y);
    EXPECT_EQ(x, c.expectedX);
    EXPECT_EQ(y, c.expectedY);
}

INSTANTIATE_TEST_SUITE_P(
    OvalDrawing, PointAlong,
    ::testing::Values(PointAlongCase{"ZeroLengthGivesFirstPoint", 1, 2, 4, 6, 0, 1, 2},
                      PointAlongCase{"LengthAtThresholdCountsAsZero", 1, 2, 4, 6, 1e-10L, 1, 2},
                      PointAlongCase{"NegativeLengthAtThresholdCountsAsZero", 1, 2, 4, 6, -1e-10L, 1, 2},
                      PointAlongCase{"FiveTowardThreeFour", 0, 0, 3, 4, 5, 3, 4},
                      PointAlongCase{"FiveTowardSixEight", 0, 0, 6, 8, 5, 3, 4},
                      PointAlongCase{"FromAnOffsetPoint", 1, 1, 4, 5, 10, 7, 9},
                      PointAlongCase{"NegativeLengthGoesBackward", 0, 0, 3, 4, -5, -3, -4},
                      PointAlongCase{"CoincidentPointsGiveFirstPoint", 1, 1, 1, 1, 5, 1, 1},
                      PointAlongCase{"DistanceAtThresholdStillHasDirection", 0, 0, 1e-10L, 0, 3, 3, 0},
                      PointAlongCase{"DistanceBelowThresholdGivesFirstPoint", 0, 0, 9e-11L, 0, 3, 0, 0}),
    [](const ::testing::TestParamInfo<PointAlongCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- directionAngle

struct DirectionCase {
    const char* name;
    Real80 x1, y1, x2, y2;
    Real80 expected;
    Real80 tolerance;  // 0: the nearest extended value exactly
};

void PrintTo(const DirectionCase& c, std::ostream* os) { *os << c.name; }

class DirectionAngle : public ::testing::TestWithParam<DirectionCase> {};

TEST_P(DirectionAngle, MeasuresCounterClockwiseFromPositiveX) {
    const DirectionCase& c = GetParam();
    const Real80 angle = directionAngle(c.x1, c.y1, c.x2, c.y2);
    if (c.tolerance == 0) {
        EXPECT_EQ(angle, c.expected);
    } else {
        EXPECT_NEAR(angle, c.expected, c.tolerance);
    }
}

INSTANTIATE_TEST_SUITE_P(
    OvalDrawing, DirectionAngle,
    ::testing::Values(
        DirectionCase{"AlongPositiveX", 0, 0, 1, 0, 0, 0},
        DirectionCase{"SamePointIsZero", 2, 3, 2, 3, 0, 0},
        DirectionCase{"AlongNegativeXIsPi", 0, 0, -1, 0, constant::pi, 0},
        DirectionCase{"StraightUpIsHalfPi", 0, 0, 0, 1, 1.57079632679489661923132169163975144L, 0},
        DirectionCase{"StraightDownIsThreeHalvesPi", 0, 0, 0, -1, 4.71238898038468985769396507491925433L, 0},
        DirectionCase{"FirstQuadrant", 1, 1, 4, 5, 0.927295218001612232428512462922428804L, 1e-18L},
        DirectionCase{"SecondQuadrant", 0, 0, -1, 1, 2.35619449019234492884698253745962716L, 1e-18L},
        DirectionCase{"ThirdQuadrant", 0, 0, -3, -4, 4.06888787159140547089115584620193169L, 1e-18L},
        DirectionCase{"FourthQuadrantIsSevenQuarterPi", 0, 0, 1, -1, 5.49778714378213816730962592073913005L,
                      1e-18L}),
    [](const ::testing::TestParamInfo<DirectionCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- drawOvalCurve

std::string trimmed(const std::string& value) { return value.substr(value.find_first_not_of(' ')); }

/// An entity as derived by hand: the numbers of a LINE (x1, y1, x2, y2) or of an ARC
/// (cx, cy, radius, start, end), at 11 decimals.
struct ExpectedEntity {
    const char* type;
    const char* layer;
    const char* colour;
    std::vector<std::string> values;
};

ExpectedEntity axis(std::string x1, std::string y1, std::string x2, std::string y2) {
    return {"LINE", "assi", "     2", {x1, y1, x2, y2}};
}
ExpectedEntity side(std::string x1, std::string y1, std::string x2, std::string y2) {
    return {"LINE", "triangolo", "     1", {x1, y1, x2, y2}};
}
ExpectedEntity radius(std::string x1, std::string y1, std::string x2, std::string y2) {
    return {"LINE", "raggi", "     4", {x1, y1, x2, y2}};
}
ExpectedEntity arc(std::string cx, std::string cy, std::string r, std::string start, std::string end) {
    return {"ARC", "archi", "     7", {cx, cy, r, start, end}};
}

// The oval OA 4, OB 4, OC 3, DC 1 about the origin: m = 5, D4 = (2.4, -0.8),
// stepMed = sqrt(3.2), stepMax = 4, so rMed = 1 + 0.8 sqrt(5) for AE 1. Radius ends are
// P + r (Q - P) / |Q - P|; angles are atan2 of the arc table's directions in degrees,
// atan(4/3) = 53.130102354156 and atan(1/2) = 26.565051177078.
const std::vector<ExpectedEntity> firstCurveWithAeOne = {
    axis("5.00000000000", "0.00000000000", "-5.00000000000", "0.00000000000"),
    axis("0.00000000000", "2.78885438200", "0.00000000000", "-2.78885438200"),
    side("0.00000000000", "-4.00000000000", "3.00000000000", "0.00000000000"),
    side("0.00000000000", "4.00000000000", "3.00000000000", "0.00000000000"),
    side("0.00000000000", "4.00000000000", "-3.00000000000", "0.00000000000"),
    side("0.00000000000", "-4.00000000000", "-3.00000000000", "0.00000000000"),
    side("2.40000000000", "-0.80000000000", "4.00000000000", "0.00000000000"),
    side("2.40000000000", "0.80000000000", "4.00000000000", "0.00000000000"),
    side("-2.40000000000", "0.80000000000", "-4.00000000000", "0.00000000000"),
    side("-2.40000000000", "-0.80000000000", "-4.00000000000", "0.00000000000"),
    radius("0.00000000000", "-4.00000000000", "4.07331262920", "1.43108350560"),
    radius("0.00000000000", "-4.00000000000", "-4.07331262920", "1.43108350560"),
    radius("0.00000000000", "4.00000000000", "4.07331262920", "-1.43108350560"),
    radius("0.00000000000", "4.00000000000", "-4.07331262920", "-1.43108350560"),
    radius("2.40000000000", "-0.80000000000", "4.89442719100", "0.44721359550"),
    radius("2.40000000000", "0.80000000000", "4.89442719100", "-0.44721359550"),
    radius("-2.40000000000", "0.80000000000", "-4.89442719100", "-0.44721359550"),
    radius("-2.40000000000", "-0.80000000000", "-4.89442719100", "0.44721359550"),
    arc("0.00000000000", "-4.00000000000", "6.78885438200", "53.13010235416", "126.86989764584"),
    arc("-2.40000000000", "-0.80000000000", "2.78885438200", "126.86989764584", "153.43494882292"),
    arc("-4.00000000000", "0.00000000000", "1.00000000000", "153.43494882292", "206.56505117708"),
    arc("-2.40000000000", "0.80000000000", "2.78885438200", "206.56505117708", "233.13010235416"),
    arc("0.00000000000", "4.00000000000", "6.78885438200", "233.13010235416", "306.86989764584"),
    arc("2.40000000000", "0.80000000000", "2.78885438200", "306.86989764584", "333.43494882292"),
    arc("4.00000000000", "0.00000000000", "1.00000000000", "333.43494882292", "26.56505117708"),
    arc("2.40000000000", "-0.80000000000", "2.78885438200", "26.56505117708", "53.13010235416"),
};

// The same construction for a curve with AE 2: every radius one longer, so rMed = 2 + 0.8 sqrt(5)
// and rMax = 6 + 0.8 sqrt(5); same centres and angles.
const std::vector<ExpectedEntity> laterCurveWithAeTwo = {
    radius("0.00000000000", "-4.00000000000", "4.67331262920", "2.23108350560"),
    radius("0.00000000000", "-4.00000000000", "-4.67331262920", "2.23108350560"),
    radius("0.00000000000", "4.00000000000", "4.67331262920", "-2.23108350560"),
    radius("0.00000000000", "4.00000000000", "-4.67331262920", "-2.23108350560"),
    radius("2.40000000000", "-0.80000000000", "5.78885438200", "0.89442719100"),
    radius("2.40000000000", "0.80000000000", "5.78885438200", "-0.89442719100"),
    radius("-2.40000000000", "0.80000000000", "-5.78885438200", "-0.89442719100"),
    radius("-2.40000000000", "-0.80000000000", "-5.78885438200", "0.89442719100"),
    arc("0.00000000000", "-4.00000000000", "7.78885438200", "53.13010235416", "126.86989764584"),
    arc("-2.40000000000", "-0.80000000000", "3.78885438200", "126.86989764584", "153.43494882292"),
    arc("-4.00000000000", "0.00000000000", "2.00000000000", "153.43494882292", "206.56505117708"),
    arc("-2.40000000000", "0.80000000000", "3.78885438200", "206.56505117708", "233.13010235416"),
    arc("0.00000000000", "4.00000000000", "7.78885438200", "233.13010235416", "306.86989764584"),
    arc("2.40000000000", "0.80000000000", "3.78885438200", "306.86989764584", "333.43494882292"),
    arc("4.00000000000", "0.00000000000", "2.00000000000", "333.43494882292", "26.56505117708"),
    arc("2.40000000000", "-0.80000000000", "3.78885438200", "26.56505117708", "53.13010235416"),
};

/// Where the example oval is placed, and how its hand-derived numbers move with it.
struct Placement {
    const char* name;
    Real80 centreX, centreY;
    Real80 rotation;
    bool quarterTurn;  // rotation pi/2: (x, y) goes to (y, -x), angles lose 90 degrees
};

PlanePoint placed(const Placement& p, Real80 x, Real80 y) {
    if (p.quarterTurn) {
        return {y + p.centreX, -x + p.centreY};
    }
    return {x + p.centreX, y + p.centreY};
}

Real80 placedAngle(const Placement& p, Real80 degrees) {
    if (!p.quarterTurn) {
        return degrees;
    }
    return degrees >= 90 ? degrees - 90 : degrees + 270;
}

/// The numbers an entity must carry once the example oval is placed.
std::vector<Real80> placedValues(const Placement& p, const ExpectedEntity& e) {
    std::vector<Real80> v;
    for (const std::string& text : e.values) {
        v.push_back(std::stold(text));
    }
    const PlanePoint first = placed(p, v[0], v[1]);
    if (std::string(e.type) == "LINE") {
        const PlanePoint second = placed(p, v[2], v[3]);
        return {first.x, first.y, second.x, second.y};
    }
    return {first.x, first.y, v[2], placedAngle(p, v[3]), placedAngle(p, v[4])};
}

/// The DXF text of curve j of the example oval (OA 4, OB 4, OC 3, DC 1, AE 1 and 2), placed.
std::string drawnCurve(const Placement& p, std::int32_t j, bool isFirstCurve) {
    CoefficientVector coefficients;
    coefficients.values = {4, 4, p.centreX, p.centreY, p.rotation, 3, 1, 1, 2};
    OutputChannel drawing = memoryOutput();
    drawOvalCurve(coefficients, j, isFirstCurve, [&drawing](const DrawnEntity& e) { writeDxfEntity(drawing, e); });
    return drawing.captured;
}

/// Compares the drawing, 18 lines per LINE or ARC, with the hand-derived entities: exactly
/// as text for the oval at the origin, within the rounding of both sides once it is placed.
void expectEntities(const Placement& p, const std::string& drawing, const std::vector<ExpectedEntity>& expected) {
    constexpr std::size_t linesPerEntity = 18;
    const std::vector<std::string> lines = kelmartest::linesOf(drawing);
    ASSERT_EQ(lines.size(), expected.size() * linesPerEntity);
    const bool exactText = p.centreX == 0 && p.centreY == 0 && !p.quarterTurn;
    for (std::size_t n = 0; n < expected.size(); ++n) {
        SCOPED_TRACE("entity " + std::to_string(n + 1));
        const std::string* entity = &lines[n * linesPerEntity];
        const ExpectedEntity& want = expected[n];
        EXPECT_EQ(entity[1], want.type);
        EXPECT_EQ(entity[3], want.layer);
        EXPECT_EQ(entity[5], want.colour);
        EXPECT_EQ(entity[11], "   0.00000000000");
        const bool isLine = std::string(want.type) == "LINE";
        const std::vector<std::size_t> valueLines =
            isLine ? std::vector<std::size_t>{7, 9, 13, 15} : std::vector<std::size_t>{7, 9, 13, 15, 17};
        const std::vector<Real80> wanted = placedValues(p, want);
        for (std::size_t k = 0; k < valueLines.size(); ++k) {
            const std::string value = trimmed(entity[valueLines[k]]);
            if (exactText) {
                EXPECT_EQ(value, want.values[k]);
            } else {
                // Both the hand value and the written one are rounded to 11 decimals.
                EXPECT_NEAR(std::stold(value), wanted[k], 1.01e-11L) << "value " << k + 1;
            }
        }
    }
}

void PrintTo(const Placement& c, std::ostream* os) { *os << c.name; }

class OvalCurveDrawing : public ::testing::TestWithParam<Placement> {};

TEST_P(OvalCurveDrawing, FirstCurveDrawsAxesTrianglesRadiiAndArcs) {
    const Placement& p = GetParam();
    expectEntities(p, drawnCurve(p, 1, true), firstCurveWithAeOne);
}

TEST_P(OvalCurveDrawing, LaterCurveDrawsOnlyItsRadiiAndArcs) {
    const Placement& p = GetParam();
    expectEntities(p, drawnCurve(p, 2, false), laterCurveWithAeTwo);
}

INSTANTIATE_TEST_SUITE_P(OvalDrawing, OvalCurveDrawing,
                         ::testing::Values(Placement{"AtOrigin", 0, 0, 0, false},
                                           Placement{"CentredAtTenTwenty", 10, 20, 0, false},
                                           Placement{"TurnedQuarterClockwise", 0, 0, constant::halfPi, true}),
                         [](const ::testing::TestParamInfo<Placement>& info) { return std::string(info.param.name); });

}  // namespace
