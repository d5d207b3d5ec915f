#include "report/points_listing.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

#include "support/crlf_text.hpp"

namespace {

const std::string heading = "          X            Y          Scarto (val. neg. -> punto interno)\r\n";

/// What the listing wrote: the report's text, and each drawn point with the report's last
/// line at the moment the point was drawn.
struct Listing {
    std::string report;
    std::vector<DrawnPoint> points;
    std::vector<std::string> lineBeforePoint;
};

/// The listing of the oval OA 10, OB 6, OC 8, DC 5 about the origin (for AE 2 the radii are 2,
/// 2 + sqrt(45) and 7 + sqrt(45)), one AE per curve.
Listing listingOf(Real80 residual, const std::vector<Real80>& ae, const std::vector<Curve>& curveList) {
    CoefficientVector coefficients;
    coefficients.values = {10, 6, 0, 0, 0, 8, 5};
    coefficients.values.insert(coefficients.values.end(), ae.begin(), ae.end());
    CurveStore curves;
    curves.curves = curveList;
    OutputChannel report = memoryOutput();
    Listing listing;
    writePointsListing(report, curves, coefficients, residual, [&](const DrawnEntity& entity) {
        listing.points.push_back(std::get<DrawnPoint>(entity));
        const std::string& text = report.captured;
        const std::size_t lastEnd = text.rfind("\r\n");
        const std::size_t lineStart = text.rfind("\r\n", lastEnd - 1);
        listing.lineBeforePoint.push_back(lastEnd == text.size() - 2 ? text.substr(lineStart + 2, lastEnd - lineStart - 2)
                                                                      : "unfinished line: " + text.substr(lastEnd + 2));
    });
    listing.report = report.captured;
    return listing;
}

void expectPoint(const DrawnPoint& point, Layer layer, Real80 x, Real80 y) {
    EXPECT_EQ(point.layer, layer);
    EXPECT_EQ(point.at.x, x);
    EXPECT_EQ(point.at.y, y);
}

struct ClassCase {
    const char* name;
    Real80 x, y;
    Real80 residual;
    const char* pointLine;  // without the line end
    const char* curveRms;
    Layer layer;
};

void PrintTo(const ClassCase& c, std::ostream* os) { *os << c.name; }

class PointClasses : public ::testing::TestWithParam<ClassCase> {};

TEST_P(PointClasses, MarkerAndLayerFollowTheAbsoluteDeviation) {
    const ClassCase& c = GetParam();
    const Listing listing = listingOf(c.residual, {2}, {Curve{{c.x}, {c.y}}});
    EXPECT_EQ(listing.report, "Punti sull'ovale   1\r\n" + heading + c.pointLine + "\r\n" + "SQM curva " +
                                  c.curveRms + "\r\n\r\n");
    ASSERT_EQ(listing.points.size(), 1u);
    expectPoint(listing.points[0], c.layer, c.x, c.y);
}

// Deviations: (-13, 0) on LeftEnd 3 - 2 = 1; (12, 0) on RightEnd 0; (0, -7) on Bottom
// 13 - (7 + sqrt(45)) = -0.708203932; (0, 8) on Top 14 - (7 + sqrt(45)) = 0.291796068.
INSTANTIATE_TEST_SUITE_P(
    PointsListing, PointClasses,
    ::testing::Values(
        ClassCase{"ExactlyRIsWithin", -13, 0, 1, "  1   -13.000000     0.000000    1.000000000", "   1.000000000",
                  Layer::WithinResidual},
        ClassCase{"ExactlyTwiceRIsOver", -13, 0, 0.5L, "  1   -13.000000     0.000000    1.000000000  *",
                  "   1.000000000", Layer::OverResidual},
        ClassCase{"JustAboveTwiceRIsTwiceOver", -13, 0, 0.4999L, "  1   -13.000000     0.000000    1.000000000  **",
                  "   1.000000000", Layer::TwiceOverResidual},
        ClassCase{"BetweenRAndTwiceRIsOver", 0, 8, 0.2L, "  1     0.000000     8.000000    0.291796068  *",
                  "   0.291796068", Layer::OverResidual},
        ClassCase{"InsidePointClassedByAbsoluteValue", 0, -7, 0.5L,
                  "  1     0.000000    -7.000000   -0.708203932  *", "   0.708203932", Layer::OverResidual},
        ClassCase{"InsidePointWithinR", 0, -7, 0.75L, "  1     0.000000    -7.000000   -0.708203932",
                  "   0.708203932", Layer::WithinResidual},
        ClassCase{"ZeroResidualZeroDeviationIsWithin", 12, 0, 0, "  1    12.000000     0.000000    0.000000000",
                  "   0.000000000", Layer::WithinResidual},
        ClassCase{"ZeroResidualAnyDeviationIsTwiceOver", -13, 0, 0,
                  "  1   -13.000000     0.000000    1.000000000  **", "   1.000000000", Layer::TwiceOverResidual}),
    [](const ::testing::TestParamInfo<ClassCase>& info) { return std::string(info.param.name); });

TEST(PointsListing, CurveWithoutPointsReportsZero) {
    const Listing listing = listingOf(1, {2, 3}, {Curve{{13, -13}, {0, 0}}, Curve{}});
    EXPECT_EQ(listing.report, "Punti sull'ovale   1\r\n" + heading +
                                       "  1    13.000000     0.000000    1.000000000\r\n"
                                       "  2   -13.000000     0.000000    1.000000000\r\n"
                                       "SQM curva    1.000000000\r\n"
                                       "\r\n"
                                       "Punti sull'ovale   2\r\n" +
                                       heading +
                                       "SQM curva    0.000000000\r\n"
                                       "\r\n");
    ASSERT_EQ(listing.points.size(), 2u);
    expectPoint(listing.points[0], Layer::WithinResidual, 13, 0);
    expectPoint(listing.points[1], Layer::WithinResidual, -13, 0);
}

TEST(PointsListing, PointNumbersFromThousandWidenTheLine) {
    Curve curve;
    curve.x.assign(1000, 12);
    curve.y.assign(1000, 0);
    const Listing listing = listingOf(0, {2}, {curve});

    const std::vector<std::string> lines = kelmartest::linesOf(listing.report);
    ASSERT_EQ(lines.size(), 2u + 1000u + 2u);
    EXPECT_EQ(lines[2], "  1    12.000000     0.000000    0.000000000");
    EXPECT_EQ(lines[1000], "999    12.000000     0.000000    0.000000000");
    EXPECT_EQ(lines[1001], "1000    12.000000     0.000000    0.000000000");
    EXPECT_EQ(lines[1002], "SQM curva    0.000000000");

    EXPECT_EQ(listing.points.size(), 1000u);
}

TEST(PointsListing, EachPointIsDrawnAfterItsFinishedReportLine) {
    const Listing listing = listingOf(0.5L, {2, 3}, {Curve{{13, 0}, {0, 8}}, Curve{{-15}, {0}}});
    // (13, 0): RightEnd, 3 - 2 = 1 = 2R. (0, 8): 0.291796068 <= R. Curve 2 has AE 3:
    // (-15, 0) on LeftEnd, 5 - 3 = 2 > 2R. SQM of curve 1: sqrt((1 + 0.291796068^2) / 2).
    EXPECT_EQ(listing.report, "Punti sull'ovale   1\r\n" + heading + "  1    13.000000     0.000000    1.000000000  *\r\n" +
                                  "  2     0.000000     8.000000    0.291796068\r\n"
                                  "SQM curva    0.736595189\r\n"
                                  "\r\n"
                                  "Punti sull'ovale   2\r\n" +
                                  heading + "  1   -15.000000     0.000000    2.000000000  **\r\n" +
                                  "SQM curva    2.000000000\r\n"
                                  "\r\n");
    ASSERT_EQ(listing.points.size(), 3u);
    expectPoint(listing.points[0], Layer::OverResidual, 13, 0);
    expectPoint(listing.points[1], Layer::WithinResidual, 0, 8);
    expectPoint(listing.points[2], Layer::TwiceOverResidual, -15, 0);
    EXPECT_EQ(listing.lineBeforePoint, (std::vector<std::string>{"  1    13.000000     0.000000    1.000000000  *",
                                                                 "  2     0.000000     8.000000    0.291796068",
                                                                 "  1   -15.000000     0.000000    2.000000000  **"}));
}

}  // namespace
