#include "report/points_listing.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "dxf/dxf_writer.hpp"

namespace {

const std::string heading = "          X            Y          Scarto (val. neg. -> punto interno)\r\n";

/// The oval OA 10, OB 6, OC 8, DC 5 about the origin: for AE 2 the radii are 2,
/// 2 + sqrt(45) and 7 + sqrt(45). One AE per curve.
RunState exampleRun(Real80 residual, const std::vector<Real80>& ae, const std::vector<Curve>& curves) {
    RunState run;
    run.coefficients.values = {10, 6, 0, 0, 0, 8, 5};
    run.coefficients.values.insert(run.coefficients.values.end(), ae.begin(), ae.end());
    run.curves.curves = curves;
    run.totals.residual = residual;
    run.report = memoryOutput();
    run.drawing = memoryOutput();
    return run;
}

std::string pointEntity(const DxfLayer& layer, Real80 x, Real80 y) {
    OutputChannel expected = memoryOutput();
    writeDxfPoint(expected, layer.name, layer.colour, x, y);
    return expected.captured;
}

struct ClassCase {
    const char* name;
    Real80 x, y;
    Real80 residual;
    const char* pointLine;  // without the line end
    const char* curveRms;
    DxfLayer layer;
};

void PrintTo(const ClassCase& c, std::ostream* os) { *os << c.name; }

class PointClasses : public ::testing::TestWithParam<ClassCase> {};

TEST_P(PointClasses, MarkerAndLayerFollowTheAbsoluteDeviation) {
    const ClassCase& c = GetParam();
    RunState run = exampleRun(c.residual, {2}, {Curve{{c.x}, {c.y}}});
    writePointsListing(run);
    EXPECT_EQ(run.report.captured, "Punti sull'ovale   1\r\n" + heading + c.pointLine + "\r\n" + "SQM curva " +
                                       c.curveRms + "\r\n\r\n");
    EXPECT_EQ(run.drawing.captured, pointEntity(c.layer, c.x, c.y));
}

// Deviations: (-13, 0) on LeftEnd 3 - 2 = 1; (12, 0) on RightEnd 0; (0, -7) on Bottom
// 13 - (7 + sqrt(45)) = -0.708203932; (0, 8) on Top 14 - (7 + sqrt(45)) = 0.291796068.
INSTANTIATE_TEST_SUITE_P(
    PointsListing, PointClasses,
    ::testing::Values(
        ClassCase{"ExactlyRIsWithin", -13, 0, 1, "  1   -13.000000     0.000000    1.000000000", "   1.000000000",
                  dxfLayer::withinResidual},
        ClassCase{"ExactlyTwiceRIsOver", -13, 0, 0.5L, "  1   -13.000000     0.000000    1.000000000  *",
                  "   1.000000000", dxfLayer::overResidual},
        ClassCase{"JustAboveTwiceRIsTwiceOver", -13, 0, 0.4999L, "  1   -13.000000     0.000000    1.000000000  **",
                  "   1.000000000", dxfLayer::twiceOverResidual},
        ClassCase{"BetweenRAndTwiceRIsOver", 0, 8, 0.2L, "  1     0.000000     8.000000    0.291796068  *",
                  "   0.291796068", dxfLayer::overResidual},
        ClassCase{"InsidePointClassedByAbsoluteValue", 0, -7, 0.5L,
                  "  1     0.000000    -7.000000   -0.708203932  *", "   0.708203932", dxfLayer::overResidual},
        ClassCase{"InsidePointWithinR", 0, -7, 0.75L, "  1     0.000000    -7.000000   -0.708203932",
                  "   0.708203932", dxfLayer::withinResidual},
        ClassCase{"ZeroResidualZeroDeviationIsWithin", 12, 0, 0, "  1    12.000000     0.000000    0.000000000",
                  "   0.000000000", dxfLayer::withinResidual},
        ClassCase{"ZeroResidualAnyDeviationIsTwiceOver", -13, 0, 0,
                  "  1   -13.000000     0.000000    1.000000000  **", "   1.000000000", dxfLayer::twiceOverResidual}),
    [](const ::testing::TestParamInfo<ClassCase>& info) { return std::string(info.param.name); });

TEST(PointsListing, CurveWithoutPointsReportsZero) {
    RunState run = exampleRun(1, {2, 3}, {Curve{{13, -13}, {0, 0}}, Curve{}});
    writePointsListing(run);
    EXPECT_EQ(run.report.captured, "Punti sull'ovale   1\r\n" + heading +
                                       "  1    13.000000     0.000000    1.000000000\r\n"
                                       "  2   -13.000000     0.000000    1.000000000\r\n"
                                       "SQM curva    1.000000000\r\n"
                                       "\r\n"
                                       "Punti sull'ovale   2\r\n" +
                                       heading +
                                       "SQM curva    0.000000000\r\n"
                                       "\r\n");
    EXPECT_EQ(run.drawing.captured, pointEntity(dxfLayer::withinResidual, 13, 0) +
                                        pointEntity(dxfLayer::withinResidual, -13, 0));
}

TEST(PointsListing, PointNumbersFromThousandWidenTheLine) {
    Curve curve;
    curve.x.assign(1000, 12);
    curve.y.assign(1000, 0);
    RunState run = exampleRun(0, {2}, {curve});
    writePointsListing(run);

    std::vector<std::string> lines;
    const std::string& text = run.report.captured;
    for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    ASSERT_EQ(lines.size(), 2u + 1000u + 2u);
    EXPECT_EQ(lines[2], "  1    12.000000     0.000000    0.000000000");
    EXPECT_EQ(lines[1000], "999    12.000000     0.000000    0.000000000");
    EXPECT_EQ(lines[1001], "1000    12.000000     0.000000    0.000000000");
    EXPECT_EQ(lines[1002], "SQM curva    0.000000000");

    std::size_t points = 0;
    for (std::size_t at = 0; (at = run.drawing.captured.find("\r\nPOINT\r\n", at)) != std::string::npos; ++at) {
        ++points;
    }
    EXPECT_EQ(points, 1000u);
}

TEST(PointsListing, EachPointEntityFollowsItsFinishedReportLine) {
    // Report and drawing share one file, so the interleaving of the two is visible.
    std::FILE* shared = std::tmpfile();
    ASSERT_NE(shared, nullptr);
    RunState run = exampleRun(0.5L, {2, 3}, {Curve{{13, 0}, {0, 8}}, Curve{{-15}, {0}}});
    run.report = OutputChannel{shared, "shared", ""};
    run.drawing = OutputChannel{shared, "shared", ""};
    writePointsListing(run);

    std::string written;
    std::rewind(shared);
    for (int c; (c = std::fgetc(shared)) != EOF;) {
        written.push_back(static_cast<char>(c));
    }
    std::fclose(shared);

    // (13, 0): RightEnd, 3 - 2 = 1 = 2R. (0, 8): 0.291796068 <= R. Curve 2 has AE 3:
    // (-15, 0) on LeftEnd, 5 - 3 = 2 > 2R. SQM of curve 1: sqrt((1 + 0.291796068^2) / 2).
    EXPECT_EQ(written, "Punti sull'ovale   1\r\n" + heading + "  1    13.000000     0.000000    1.000000000  *\r\n" +
                           pointEntity(dxfLayer::overResidual, 13, 0) +
                           "  2     0.000000     8.000000    0.291796068\r\n" +
                           pointEntity(dxfLayer::withinResidual, 0, 8) +
                           "SQM curva    0.736595189\r\n"
                           "\r\n"
                           "Punti sull'ovale   2\r\n" +
                           heading + "  1   -15.000000     0.000000    2.000000000  **\r\n" +
                           pointEntity(dxfLayer::twiceOverResidual, -15, 0) +
                           "SQM curva    2.000000000\r\n"
                           "\r\n");
}

}  // namespace
