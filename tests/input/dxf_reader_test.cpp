// The DXF line scanner on small drawings: what it reads, quirks included, and how it
// rejects drawings it cannot use.

#include "input/dxf_reader.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "reader_test_support.hpp"

namespace {

using namespace readertest;
using Lines = std::vector<std::string>;

Lines operator+(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Lines entitiesStart = {"  0", "SECTION", "  2", "ENTITIES"};
const Lines sectionEnd = {"  0", "ENDSEC"};
const Lines fileEnd = {"  0", "ENDSEC", "  0", "EOF"};

/// A POLYLINE header as R12 writers put it, with its own " 10" of 0.0.
const Lines polylineHeader = {"  0", "POLYLINE", "  8", "0", " 66", "     1",
                              " 10", "0.0", " 20", "0.0", " 30", "0.0", " 70", "     0"};
const Lines seqend = {"  0", "SEQEND", "  8", "0"};

Lines vertex(const std::string& x, const std::string& y) {
    return {"  0", "VERTEX", "  8", "0", " 10", x, " 20", y, " 30", "0.0"};
}

Lines polyline(const std::vector<std::pair<std::string, std::string>>& points) {
    Lines lines = polylineHeader;
    for (const auto& [x, y] : points) lines = lines + vertex(x, y);
    return lines + seqend;
}

Lines entity(const std::string& type) { return {"  0", type, "  8", "0", " 10", "1.0", " 20", "2.0"}; }

Lines repeated(const Lines& lines, int times) {
    Lines all;
    for (int i = 0; i < times; ++i) all = all + lines;
    return all;
}

Lines lwpolyline(const std::vector<std::pair<std::string, std::string>>& points) {
    Lines lines = {"  0", "LWPOLYLINE", "  5", "2F", "100", "AcDbEntity", "  8", "0", "100", "AcDbPolyline",
                   " 90", "        " + std::to_string(points.size()), " 70", "     1", " 43", "0.5", " 38", "3.5"};
    for (const auto& [x, y] : points) lines = lines + Lines{" 10", x, " 20", y, " 42", "0.25"};
    return lines;
}

// ------------------------------------------------------------------ drawings that are read

struct ReadRow {
    std::string name;
    Lines lines;
    Curves expected;
};
void PrintTo(const ReadRow& row, std::ostream* os) { *os << row.name; }

const std::vector<ReadRow> readRows = {
    {"TwoPolylinesOfThreeAndFiveVertices",
     entitiesStart + polyline({{"1.0", "2.0"}, {"3.5", "-4.25"}, {"-6", "7"}}) +
         polyline({{"10", "0"}, {"0", "10"}, {"-10", "0"}, {"0", "-10"}, {"1e1", "2E-1"}}) + fileEnd,
     {{{1, 2}, {3.5, -4.25}, {-6, 7}}, {{10, 0}, {0, 10}, {-10, 0}, {0, -10}, {10, 0.2L}}}},
    {"PolylineInBlockBeforeEntitiesIsNotRead",
     Lines{"  0", "SECTION", "  2", "BLOCKS", "  0", "BLOCK", "  2", "RING"} + polyline({{"99", "99"}}) +
         Lines{"  0", "ENDBLK", "  0", "ENDSEC"} + entitiesStart + polyline({{"1", "1"}, {"2", "2"}}) + fileEnd,
     {{{1, 1}, {2, 2}}}},
    {"PolylinesAfterEndsecAreStillRead",
     entitiesStart + polyline({{"1", "1"}}) + sectionEnd + Lines{"  0", "SECTION", "  2", "OBJECTS"} +
         polyline({{"2", "2"}}) + fileEnd,
     {{{1, 1}}, {{2, 2}}}},
    // The layer " 10L" is taken for the X code: X is the next line (" 62"), the line after
    // it is skipped, and Y is the next token (" 10").
    {"ValueLineStartingWithBlankOneZeroIsTakenForTheXCode",
     entitiesStart + polylineHeader +
         Lines{"  0", "VERTEX", "  8", " 10L", " 62", "     3", " 10", "1.0", " 20", "2.0", " 30", "0.0"} + seqend +
         fileEnd,
     {{{62, 10}}}},
    {"TextWhoseValueIsPolylineStartsACurve",
     entitiesStart + Lines{"  0", "TEXT", "  1", "POLYLINE", "  0", "TEXT", "  1", "SEQEND"} +
         polyline({{"5", "6"}}) + fileEnd,
     {{}, {{5, 6}}}},
    // The header's layer line "VERTEX" starts a point, which takes the header's own 10/20.
    {"LayerNamedVertexStartsAPoint",
     entitiesStart + Lines{"  0", "POLYLINE", "  8", "VERTEX", " 66", "     1", " 10", "0.0", " 20", "0.0"} +
         vertex("3", "4") + seqend + fileEnd,
     {{{0, 0}, {3, 4}}}},
    {"ExponentAndNegativeCoordinate", entitiesStart + polyline({{"1.5E+02", "-3"}}) + fileEnd, {{{150, -3}}}},
    {"BlanksAroundTheValue", entitiesStart + polyline({{"   120.5   ", "\t-7.25 "}}) + fileEnd, {{{120.5, -7.25}}}},
    {"OnlyTheFirstTokenOfAValueLineCounts", entitiesStart + polyline({{"7 8", "9 z"}}) + fileEnd, {{{7, 9}}}},
    {"KeywordsWithTrailingBlankAreNotKeywords",
     entitiesStart + Lines{"  0", "POLYLINE "} + vertex("9", "9") + seqend + polylineHeader + vertex("1", "2") +
         Lines{"  0", "VERTEX ", " 10", "8", " 20", "8"} + vertex("3", "4") + seqend + fileEnd,
     {{{1, 2}, {3, 4}}}},
    {"KeywordsAreCaseSensitive",
     entitiesStart + Lines{"  0", "polyline"} + vertex("9", "9") + polylineHeader + vertex("1", "2") +
         Lines{"  0", "vertex", " 10", "8", " 20", "8"} + seqend + fileEnd,
     {{{1, 2}}}},
    // The code line between X and Y is not looked at.
    {"LineAfterXIsSkippedUnread",
     entitiesStart + polylineHeader + Lines{"  0", "VERTEX", " 10", "4", "VERTEX", "5", " 30", "0.0"} + seqend +
         fileEnd,
     {{{4, 5}}}},
    {"LineEndsBeforeXAreSkipped",
     entitiesStart + polylineHeader + Lines{"  0", "VERTEX", " 10", "", "   ", "12", " 20", "13"} + seqend + fileEnd,
     {{{12, 13}}}},
    {"ZBulgeWidthAndFlagsAreIgnored",
     entitiesStart + polylineHeader +
         Lines{"  0", "VERTEX", "  8", "0", " 10", "1", " 20", "2", " 30", "5.5", " 40", "0.1", " 41", "0.2", " 42",
               "0.75", " 70", "    16"} +
         vertex("3", "4") + seqend + fileEnd,
     {{{1, 2}, {3, 4}}}},
    {"PolylineWithoutVertexBesideAFullOne",
     entitiesStart + polyline({}) + polyline({{"1", "2"}}) + fileEnd,
     {{}, {{1, 2}}}},
    {"NoEndsecNorEofIsFine", entitiesStart + polyline({{"1", "2"}}), {{{1, 2}}}},
    {"CtrlZEndsTheFile",
     entitiesStart + polyline({{"1", "2"}}) + Lines{"\x1a"} + polyline({{"3", "4"}}) + fileEnd,
     {{{1, 2}}}},
    {"MixedFileReadsOnlyItsPolylines",
     entitiesStart + lwpolyline({{"7", "7"}, {"8", "8"}}) + polyline({{"1", "2"}}) +
         lwpolyline({{"9", "9"}}) + fileEnd,
     {{{1, 2}}}},
    {"LwpolylinesAreReadWhenThereIsNoPolyline",
     entitiesStart + entity("LINE") + lwpolyline({{"1", "2"}, {"3.5", "-4"}, {"5e2", "6"}}) + entity("CIRCLE") +
         lwpolyline({{"-1", "-2"}}) + fileEnd,
     {{{1, 2}, {3.5, -4}, {500, 6}}, {{-1, -2}}}},
    {"LwpolylineWithLeftAlignedCodes",
     entitiesStart + Lines{"0", "LWPOLYLINE", "8", "0", "90", "2", "10", "1", "20", "2", "10", "3", "20", "4", "0",
                           "ENDSEC"},
     {{{1, 2}, {3, 4}}}},
    {"LwpolylineValueLinesLongerThanTheirToken",
     entitiesStart + Lines{"  0", "LWPOLYLINE", " 10", "1.5" + std::string(300, ' ') + "x", " 20", "\t-2\x01"},
     {{{1.5, -2}}}},
    {"LwpolylinesEndWithTheEntitiesSection",
     entitiesStart + lwpolyline({{"1", "2"}}) + sectionEnd + Lines{"  0", "SECTION", "  2", "OBJECTS"} +
         lwpolyline({{"3", "4"}}) + fileEnd,
     {{{1, 2}}}},
};

class DxfReading : public ReaderTest<::testing::TestWithParam<std::tuple<ReadRow, LineEnd>>> {};

TEST_P(DxfReading, ReadsTheCurvesInFileOrder) {
    const auto& [row, end] = GetParam();
    const std::string text = joinLines(row.lines, end);
    CurveStore store;
    ::testing::internal::CaptureStderr();
    const Ending ending = endingOf([&] { return readDxfPolylinesFromText(text, "drawing.dxf", store); });
    ::testing::internal::GetCapturedStderr();
    ASSERT_FALSE(ending.ended) << ending.run.sentence;
    expectCurves(store, row.expected);
}

INSTANTIATE_TEST_SUITE_P(Drawings, DxfReading,
                         ::testing::Combine(::testing::ValuesIn(readRows),
                                            ::testing::Values(LineEnd::CrLf, LineEnd::Lf, LineEnd::Cr)),
                         [](const auto& info) {
                             return std::get<0>(info.param).name + lineEndName(std::get<1>(info.param));
                         });

TEST_F(DxfReading, LineEndsMayBeMixedInOneFile) {
    const std::string text =
        "  0\r\nSECTION\n  2\rENTITIES\r\n  0\nPOLYLINE\r\r\n  0\nVERTEX\r 10\r\n1.5\n 20\r2.5\r\n  0\nSEQEND\n";
    CurveStore store;
    expectRead(readDxfPolylinesFromText(text, "mixed.dxf", store));
    expectCurves(store, {{{1.5, 2.5}}});
}

TEST_F(DxfReading, CtrlZInsideAPolylineCutsItOff) {
    const std::string text = joinLines(entitiesStart + polylineHeader + vertex("1", "2")) + "\x1a" +
                             joinLines(vertex("3", "4") + seqend);
    CurveStore store;
    expectEnding(endingOf([&] { return readDxfPolylinesFromText(text, "cut.dxf", store); }),
                 {exitStatus::dataError, false, {"POLYLINE on line 6 of 'cut.dxf'", "no SEQEND"}});
}

// What the reader says on standard error about the polylines it read and left out.
struct NoteRow {
    std::string name;
    Lines lines;            // the drawing, unless `file` names one in tests/data
    std::string file;
    std::vector<std::string> noteHolds;  // empty: nothing is said
};

void PrintTo(const NoteRow& row, std::ostream* os) { *os << row.name; }

class DxfNote : public ReaderTest<::testing::TestWithParam<NoteRow>> {};

TEST_P(DxfNote, SaysWhatWasReadAndWhatWasLeftOut) {
    const NoteRow& row = GetParam();
    CurveStore store;
    ::testing::internal::CaptureStderr();
    const Ending ending = endingOf([&] {
        if (row.file.empty()) return readDxfPolylinesFromText(joinLines(row.lines), "drawing.dxf", store);
        return readDxfPolylines(std::string(KELMAR_TEST_DATA) + "/" + row.file, store);
    });
    const std::string note = ::testing::internal::GetCapturedStderr();
    ASSERT_FALSE(ending.ended) << ending.run.sentence;
    if (row.noteHolds.empty()) {
        EXPECT_EQ(note, "");
    }
    for (const std::string& piece : row.noteHolds) {
        EXPECT_NE(note.find(piece), std::string::npos) << "note: " << note << "\nmissing: " << piece;
    }
    EXPECT_LE(std::count(note.begin(), note.end(), '\n'), 1) << note;
}

INSTANTIATE_TEST_SUITE_P(
    Drawings, DxfNote,
    ::testing::Values(
        NoteRow{"OnlyLwpolylines", entitiesStart + lwpolyline({{"1", "2"}}) + lwpolyline({{"3", "4"}}) + fileEnd, "",
                {"'drawing.dxf' holds no POLYLINE", "2 LWPOLYLINE entities were read instead"}},
        NoteRow{"OnlyPolylines", entitiesStart + polyline({{"1", "2"}}) + polyline({{"3", "4"}}) + fileEnd, "", {}},
        NoteRow{"BothKinds",
                entitiesStart + lwpolyline({{"7", "7"}}) + polyline({{"1", "2"}}) + lwpolyline({{"9", "9"}}) + fileEnd,
                "",
                {"'drawing.dxf' holds 1 POLYLINE entity and 2 LWPOLYLINE entities after ENTITIES",
                 "only the POLYLINE was read (1 curve)", "LWPOLYLINE entities were left out"}},
        // The LWPOLYLINE reader stops at the end of the entities section too.
        NoteRow{"LwpolylineAfterTheEntitiesSectionIsNoneOfThem",
                entitiesStart + polyline({{"1", "2"}}) + sectionEnd + Lines{"  0", "SECTION", "  2", "OBJECTS"} +
                    lwpolyline({{"3", "4"}}) + fileEnd,
                "", {}},
        // A public drawing whose 13 polylines are of both kinds.
        NoteRow{"PublicDrawingWithBothKinds", {}, "realdxf/gdal_LWPOLYLINE-OCS.dxf",
                {"holds 6 POLYLINE entities and 7 LWPOLYLINE entities after ENTITIES",
                 "only the POLYLINE entities were read (6 curves)"}}),
    [](const auto& info) { return info.param.name; });

// ------------------------------------------------------------------ drawings that are rejected


// Line numbers: entitiesStart holds lines 1-4, so a first POLYLINE keyword is line 6, the
// first VERTEX keyword after polylineHeader line 20, its X line 24 and its Y line 26.
const std::vector<RejectRow> rejectRows = {
    {"EmptyFile", "", {data, false, {"'bad.dxf' has no line ENTITIES"}}},
    {"NoEntitiesLine",
     joinLines(Lines{"  0", "SECTION", "  2", "HEADER"} + polyline({{"1", "2"}}) + fileEnd),
     {data, false, {"has no line ENTITIES"}}},
    {"EntitiesWithTrailingBlank",
     joinLines(Lines{"  0", "SECTION", "  2", "ENTITIES "} + polyline({{"1", "2"}}) + fileEnd),
     {data, false, {"has no line ENTITIES"}}},
    {"PolylineWithoutSeqend",
     joinLines(entitiesStart + polylineHeader + vertex("1", "2") + vertex("3", "4")),
     {data, false, {"the POLYLINE on line 6 of 'bad.dxf' has no SEQEND before the end of the file"}}},
    {"SecondPolylineWithoutSeqend",
     joinLines(entitiesStart + polyline({{"1", "2"}}) + polylineHeader + vertex("3", "4") + sectionEnd),
     {data, false, {"the POLYLINE on line 34 ", "no SEQEND"}}},
    {"VertexCutOffBeforeItsXCode",
     joinLines(entitiesStart + polylineHeader + Lines{"  0", "VERTEX", "  8", "0"}),
     {data, false, {"the VERTEX on line 20 of 'bad.dxf' has no X coordinate: the file ends before a ' 10'"}}},
    {"VertexCutOffAfterItsXCode",
     joinLines(entitiesStart + polylineHeader + Lines{"  0", "VERTEX", " 10"}),
     {data, false, {"the VERTEX on line 20 ", "has no X value"}}},
    {"VertexCutOffAfterItsX",
     joinLines(entitiesStart + polylineHeader + Lines{"  0", "VERTEX", " 10", "5.0"}),
     {data, false, {"the VERTEX on line 20 ", "has no Y value"}}},
    {"VertexCutOffAfterItsYCode",
     joinLines(entitiesStart + polylineHeader + Lines{"  0", "VERTEX", " 10", "5.0", " 20"}),
     {data, false, {"the VERTEX on line 20 ", "has no Y value"}}},
    {"VertexWithoutXMeetsTheNextVertex",
     joinLines(entitiesStart + polylineHeader + Lines{"  0", "VERTEX", "  8", "0"} + vertex("1", "2") + seqend),
     {data, false, {"the VERTEX on line 20 of 'bad.dxf' has no X coordinate: line 24 (VERTEX) comes before"}}},
    {"VertexWithoutXMeetsSeqend",
     joinLines(entitiesStart + polylineHeader + Lines{"  0", "VERTEX", "  8", "0"} + seqend + polyline({{"1", "2"}})),
     {data, false, {"the VERTEX on line 20 ", "line 24 (SEQEND)"}}},
    {"VertexWithoutXMeetsPolyline",
     joinLines(entitiesStart + polylineHeader + Lines{"  0", "VERTEX", "  8", "0", "  0", "POLYLINE"}),
     {data, false, {"the VERTEX on line 20 ", "line 24 (POLYLINE)"}}},
    // The scanner would otherwise run into the next polyline and take its header's 0.0, 0.0.
    {"LeftAlignedGroupCodes",
     joinLines(entitiesStart + polylineHeader +
               Lines{"  0", "VERTEX", "8", "0", "10", "1.0", "20", "2.0", "  0", "SEQEND"} + polyline({{"1", "2"}})),
     {data, false, {"line 28 (SEQEND)", "group codes at the left ('10' instead of ' 10')"}}},
    {"LeftAlignedCodeLaterInTheFile",
     joinLines(entitiesStart + polylineHeader + Lines{"  0", "VERTEX", "  8", "0"} + seqend +
               Lines{"  0", "LINE", "10", "1.0"}),
     {data, false, {"line 24 (SEQEND)", "at the left"}}},
    {"DecimalCommaInX",
     joinLines(entitiesStart + polyline({{"12,5", "3"}}) + fileEnd),
     {badNumber, true, {"'12,5' on line 24 of 'bad.dxf'", "use a point as the decimal separator"}}},
    {"WordInY",
     joinLines(entitiesStart + polyline({{"12.5", "dodici"}}) + fileEnd),
     {badNumber, true, {"'dodici' on line 26 of 'bad.dxf' is not a number"}}},
    {"OverlongX",
     joinLines(entitiesStart + polyline({{"1" + std::string(64, '0'), "3"}}) + fileEnd),
     {badNumber, true, {"on line 24 ", "too long to be a number (at most 64 characters)"}}},
    {"XBeyondTheExtendedRange",
     joinLines(entitiesStart + polyline({{"1e5000", "3"}}) + fileEnd),
     {badNumber, true, {"'1e5000' on line 24 ", "beyond the range"}}},
    {"OtherEntitiesOnly",
     joinLines(entitiesStart + repeated(entity("SPLINE"), 3) + repeated(entity("LINE"), 12) + fileEnd),
     {data, false, {"'bad.dxf' yields no point: no POLYLINE or LWPOLYLINE after ENTITIES; the file holds 3 SPLINE "
                    "and 12 LINE entities"}}},
    {"ThreeKindsOfOtherEntities",
     joinLines(entitiesStart + entity("LINE") + entity("ARC") + entity("LINE") + entity("SPLINE") + fileEnd),
     {data, false, {"the file holds 2 LINE, 1 ARC and 1 SPLINE entities"}}},
    {"NineKindsAreAllNamed",
     joinLines(entitiesStart + entity("A1") + entity("A2") + entity("A3") + entity("A4") + entity("A5") +
               entity("A6") + entity("A7") + entity("A8") + entity("A9") + entity("A9") + fileEnd),
     {data, false, {"the file holds 1 A1, 1 A2, 1 A3, 1 A4, 1 A5, 1 A6, 1 A7, 1 A8 and 2 A9 entities"}}},
    {"KindsBeyondEightAreSummed",
     joinLines(entitiesStart + entity("A1") + entity("A2") + entity("A3") + entity("A4") + entity("A5") +
               entity("A6") + entity("A7") + entity("A8") + entity("A9") + entity("B1") + entity("B1") + fileEnd),
     {data, false, {"the file holds 1 A1, 1 A2, 1 A3, 1 A4, 1 A5, 1 A6, 1 A7, 1 A8 and 3 entities of 2 other types"}}},
    {"OneOtherEntity",
     joinLines(entitiesStart + entity("CIRCLE") + fileEnd),
     {data, false, {"the file holds 1 CIRCLE entity"}}},
    {"EmptyEntitiesSection", joinLines(entitiesStart + fileEnd), {data, false, {"its entities section is empty"}}},
    {"PolylinesWithoutVertices",
     joinLines(entitiesStart + polyline({}) + polyline({}) + fileEnd),
     {data, false, {"holds 2 POLYLINE entities after ENTITIES but not one VERTEX"}}},
    {"LwpolylineWithoutVertices",
     joinLines(entitiesStart + lwpolyline({}) + fileEnd),
     {data, false, {"yields no point: 1 LWPOLYLINE entity and not one vertex in them"}}},
    {"LwpolylineXWithoutY",
     joinLines(entitiesStart + Lines{"  0", "LWPOLYLINE", " 10", "1", " 42", "0.5", " 20", "2"} + fileEnd),
     {data, false, {"LWPOLYLINE on line 6 ", "has an X (group code 10) but no Y (group code 20) after it, at line 9"}}},
    {"LwpolylineCutOffAfterX",
     joinLines(entitiesStart + Lines{"  0", "LWPOLYLINE", " 10", "1"}),
     {data, false, {"the last vertex of the LWPOLYLINE on line 6 ", "has no Y"}}},
    {"LwpolylineDecimalComma",
     joinLines(entitiesStart + lwpolyline({{"1", "2,5"}}) + fileEnd),
     {badNumber, true, {"'2,5' on line 26 ", "decimal separator"}}},
};

class DxfRejection : public ReaderTest<::testing::TestWithParam<RejectRow>> {};

TEST_P(DxfRejection, EndsTheRunWithASentenceSayingWhatIsWrong) {
    const RejectRow& row = GetParam();
    CurveStore store;
    expectEnding(endingOf([&] { return readDxfPolylinesFromText(row.text, "bad.dxf", store); }), row.expected);
}

INSTANTIATE_TEST_SUITE_P(Drawings, DxfRejection, ::testing::ValuesIn(rejectRows),
                         [](const auto& info) { return info.param.name; });

TEST_F(DxfRejection, MissingOrUnreadableFileEndsWithTheSystemErrorCode) {
    CurveStore store;
    expectEnding(endingOf([&] { return readDxfPolylines("/nonexistent-dir/ring.dxf", store); }),
                 {2, true, {"cannot open '/nonexistent-dir/ring.dxf': No such file or directory"}});
    // A directory opens, but cannot be read.
    expectEnding(endingOf([&] { return readDxfPolylines(KELMAR_TEST_DATA, store); }), {21, true, {"cannot read"}});
}

}  // namespace
