#include "drawing/dxf_encoder.hpp"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

/// Joins lines with the drawing's CR LF line end.
std::string crlfLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

struct PointCase {
    const char* name;
    Real80 x;
    Real80 y;
    const char* xLine;
    const char* yLine;
};

void PrintTo(const PointCase& c, std::ostream* os) { *os << c.name; }

class DxfPointValues : public ::testing::TestWithParam<PointCase> {};

TEST_P(DxfPointValues, WritesTwelveLinesWithSixteenCharacterReals) {
    const PointCase& c = GetParam();
    OutputChannel drawing = memoryOutput();
    writeDxfPoint(drawing, "Scarto", 2, c.x, c.y);
    EXPECT_EQ(drawing.captured, crlfLines({"  0", "POINT", "  8", "Scarto", " 62", "     2", " 10", c.xLine, " 20",
                                           c.yLine, " 30", "   0.00000000000"}));
}

INSTANTIATE_TEST_SUITE_P(
    DxfWriter, DxfPointValues,
    ::testing::Values(PointCase{"Origin", 0.0L, 0.0L, "   0.00000000000", "   0.00000000000"},
                      PointCase{"NegativeWithOneBlank", -12.5L, 3.0L, " -12.50000000000", "   3.00000000000"},
                      PointCase{"TenThousandsWidenTheField", 12345.678L, 1.0L, "12345.67800000000",
                                "   1.00000000000"},
                      PointCase{"MinusThousandWidensTheField", -1000.0L, 999.5L, "-1000.00000000000",
                                " 999.50000000000"},
                      PointCase{"NegativeRoundingToZeroKeepsSign", -0.000000000004L, 0.0000000000051L,
                                "  -0.00000000000", "   0.00000000001"},
                      PointCase{"NegativeZeroKeepsSign", -0.0L, 1e-12L, "  -0.00000000000", "   0.00000000000"}),
    [](const ::testing::TestParamInfo<PointCase>& info) { return std::string(info.param.name); });

TEST(DxfWriter, PointCarriesLayerNameUnchangedAndColourInSixCharacters) {
    OutputChannel drawing = memoryOutput();
    writeDxfPoint(drawing, "Minore_scarto", 7, 1.0L, 2.0L);
    writeDxfPoint(drawing, "", 256, 1.0L, 2.0L);
    const std::string point = crlfLines({" 10", "   1.00000000000", " 20", "   2.00000000000", " 30",
                                         "   0.00000000000"});
    EXPECT_EQ(drawing.captured, crlfLines({"  0", "POINT", "  8", "Minore_scarto", " 62", "     7"}) + point +
                                    crlfLines({"  0", "POINT", "  8", "", " 62", "   256"}) + point);
}

TEST(DxfWriter, LineCarriesBothEndsEachWithItsZ) {
    OutputChannel drawing = memoryOutput();
    writeDxfLine(drawing, "assi", 2, 5.0L, -0.25L, -5.0L, 2.78885438200L);
    EXPECT_EQ(drawing.captured,
              crlfLines({"  0", "LINE", "  8", "assi", " 62", "     2", " 10", "   5.00000000000", " 20",
                         "  -0.25000000000", " 30", "   0.00000000000", " 11", "  -5.00000000000", " 21",
                         "   2.78885438200", " 31", "   0.00000000000"}));
}

TEST(DxfWriter, ArcAnglesAreWrittenAsGivenEvenWhenEndPrecedesStart) {
    OutputChannel drawing = memoryOutput();
    writeDxfArc(drawing, "archi", 7, 4.0L, 0.0L, 1.0L, 333.43494882292L, 26.56505117708L);
    EXPECT_EQ(drawing.captured,
              crlfLines({"  0", "ARC", "  8", "archi", " 62", "     7", " 10", "   4.00000000000", " 20",
                         "   0.00000000000", " 30", "   0.00000000000", " 40", "   1.00000000000", " 50",
                         " 333.43494882292", " 51", "  26.56505117708"}));
}

TEST(DxfWriter, CoordinatesOfSecondPointUseCodesElevenTwentyOneThirtyOne) {
    OutputChannel drawing = memoryOutput();
    writeDxfCoordinates(drawing, 1, -7.0L, 0.5L);
    EXPECT_EQ(drawing.captured,
              crlfLines({" 11", "  -7.00000000000", " 21", "   0.50000000000", " 31", "   0.00000000000"}));
}

TEST(DxfWriter, FileWithoutEntitiesHoldsTheEightFramingLines) {
    OutputChannel drawing = memoryOutput();
    openDxfEntities(drawing);
    closeDxfEntities(drawing);
    EXPECT_EQ(drawing.captured, crlfLines({"  0", "SECTION", "  2", "ENTITIES", "  0", "ENDSEC", "  0", "EOF"}));
}

}  // namespace
