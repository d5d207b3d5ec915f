// The decoder reads back what the DXF encoder writes, in kelmar's layout and as CAD programs
// save it again, and rejects what is no kelmar drawing with the line to look at.

#include "drawing/dxf_decoder.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "drawing/dxf_encoder.hpp"
#include "drawing/oval_drawing.hpp"
#include "input/reader_test_support.hpp"
#include "support/example_oval.hpp"

namespace {

using readertest::RejectRow;

/// A drawing as kelmar writes it: three points, one on each point layer, then two rings.
std::string kelmarDrawing() {
    OutputChannel drawing = memoryOutput();
    openDxfEntities(drawing);
    const DrawingSink toDrawing = [&drawing](const DrawnEntity& e) { writeDxfEntity(drawing, e); };
    toDrawing(DrawnPoint{Layer::WithinResidual, {12.25L, -0.5L}});
    toDrawing(DrawnPoint{Layer::OverResidual, {-3, 7.125L}});
    toDrawing(DrawnPoint{Layer::TwiceOverResidual, {0, 1e-5L}});
    const CoefficientVector c = example::ovalCoefficients(3, -2, 0.25L, {2.0L, 5.0L});
    for (std::int32_t j = 1; j <= 2; ++j) drawOvalCurve(c, j, j == 1, toDrawing);
    closeDxfEntities(drawing);
    return drawing.captured;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

InputResult<DecodedDrawing> decodedOrProblem(const std::string& text) {
    InputChannel channel = memoryInput(text, "plan.dxf");
    return readKelmarDrawing(channel);
}

DecodedDrawing decoded(const std::string& text) { return readertest::readValue(decodedOrProblem(text)); }

// ---------------------------------------------------------------- drawings read back

struct ReadBackCase {
    const char* name;
    std::function<std::string(const std::string&)> resave;
    const char* skipped;
};
void PrintTo(const ReadBackCase& c, std::ostream* os) { *os << c.name; }

class DrawingReadBack : public ::testing::TestWithParam<ReadBackCase> {};

// Written again by the encoder, the entities read back give the same bytes: every value was
// read from its field, every entity kept in order on its layer.
TEST_P(DrawingReadBack, WritesTheSameDrawingAgain) {
    const std::string original = kelmarDrawing();
    const DecodedDrawing drawing = decoded(GetParam().resave(original));
    EXPECT_EQ(drawing.skipped, GetParam().skipped);
    EXPECT_EQ(drawing.entities.size(), 3u + 26u + 16u);
    OutputChannel again = memoryOutput();
    openDxfEntities(again);
    for (const DrawnEntity& e : drawing.entities) writeDxfEntity(again, e);
    closeDxfEntities(again);
    EXPECT_EQ(again.captured, original);
}

const std::string header = "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1015\n0\nENDSEC\n";
const std::string foreign = "0\nLWPOLYLINE\n5\n2F\n100\nAcDbPolyline\n8\n0\n90\n2\n10\n1.0\n20\n2.0\n10\n3.0\n20\n4.0\n"
                            "0\nTEXT\n8\narchi\n10\n0.0\n20\n0.0\n1\nnote\n"
                            "0\nPOINT\n8\n0\n10\n5.0\n20\n5.0\n";

INSTANTIATE_TEST_SUITE_P(
    DxfDecoder, DrawingReadBack,
    ::testing::Values(
        ReadBackCase{"AsWritten", [](const std::string& t) { return t; }, ""},
        ReadBackCase{"LfLineEnds", [](const std::string& t) { return replaced(t, "\r\n", "\n"); }, ""},
        // codes at the left, a header section, handles, upper-case layer names, other entities
        ReadBackCase{"AsSavedAgainByCad",
                     [](const std::string& t) {
                         std::string text = replaced("\n" + replaced(t, "\r\n", "\n"), "\n  ", "\n");
                         text = replaced(replaced(text, "\n ", "\n"), "\narchi\n", "\nARCHI\n");
                         text = replaced(text, "ENTITIES\n", "ENTITIES\n" + foreign);
                         text = replaced(text, "ARC\n8\n", "ARC\n5\n1A\n8\n");
                         return header + text.substr(1);
                     },
                     "1 LWPOLYLINE, 1 POINT on other layers, 1 TEXT"}),
    [](const ::testing::TestParamInfo<ReadBackCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- files that are no kelmar drawing

class DrawingRejected : public readertest::ReaderTest<::testing::TestWithParam<RejectRow>> {};

TEST_P(DrawingRejected, EndsWithStatus65AndSaysWhere) {
    readertest::expectEnding(readertest::endingOf([] { return decodedOrProblem(GetParam().text); }),
                             GetParam().expected);
}

const std::string point = "  0\r\nPOINT\r\n  8\r\nScarto\r\n 10\r\n1.0\r\n 20\r\n2.0\r\n";
const std::string open = "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n";
const std::string close = "  0\r\nENDSEC\r\n  0\r\nEOF\r\n";
constexpr int data = readertest::data;

INSTANTIATE_TEST_SUITE_P(
    DxfDecoder, DrawingRejected,
    ::testing::Values(
        RejectRow{"PointList", "3\r\n0 0\r\n10 0\r\n", {data, false, {"'plan.dxf' is not a DXF drawing", "line 3 holds '10 0'"}}},
        RejectRow{"NoEntitiesSection", "  0\r\nSECTION\r\n  2\r\nHEADER\r\n" + close, {data, false, {"no ENTITIES section"}}},
        RejectRow{"CodeWithoutValue", open + "  0", {data, false, {"after the group code on line 5", "cut off"}}},
        RejectRow{"NoEndsec", open + point, {data, false, {"before ENDSEC", "cut off"}}},
        RejectRow{"ArcWithoutRadius",
                  open + point + "  0\r\nARC\r\n  8\r\narchi\r\n 10\r\n0.0\r\n 20\r\n0.0\r\n 50\r\n0.0\r\n 51\r\n90.0\r\n" +
                      close,
                  {data, false, {"the ARC on line 14 of 'plan.dxf' has no group 40 (its radius)"}}},
        RejectRow{"DecimalComma", open + replaced(point, "2.0", "2,5") + close,
                  {data, false, {"'2,5' on line 12 of 'plan.dxf'", "use a point"}}},
        RejectRow{"LineWithoutItsEnd", open + "  0\r\nLINE\r\n  8\r\nassi\r\n 10\r\n0.0\r\n 20\r\n0.0\r\n" + close,
                  {data, false, {"the LINE on line 6 of 'plan.dxf' has no group 11 (its X of its end)"}}},
        RejectRow{"PointOfAWordOnTheLayersDrawn", open + replaced(point, "1.0", "uno") + close,
                  {data, false, {"'uno' on line 10 of 'plan.dxf' is not a number"}}},
        RejectRow{"OnlyOtherEntities", open + "  0\r\nLWPOLYLINE\r\n  8\r\n0\r\n" + close,
                  {data, false, {"holds no POINT, LINE or ARC on the layers kelmar draws", "it holds 1 LWPOLYLINE"}}}),
    [](const ::testing::TestParamInfo<RejectRow>& info) { return info.param.name; });

}  // namespace
