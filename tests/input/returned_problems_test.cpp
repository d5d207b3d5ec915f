// Every way the readers of the dialogue's inputs find a file unusable, called directly: each gives
// back its problem (status 65 and the whole sentence the program ends with) and the test goes on,
// nothing thrown and no process ended.

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "input/coefficient_file.hpp"
#include "input/dxf_reader.hpp"
#include "input/text_reader.hpp"
#include "reader_test_support.hpp"

namespace {

using namespace readertest;

/// One unusable input: the call that reads it, and the problem it must give back.
struct ProblemRow {
    std::string name;
    std::function<std::optional<InputProblem>()> read;
    std::string sentence;
};
void PrintTo(const ProblemRow& row, std::ostream* os) { *os << row.name; }

std::optional<InputProblem> pointList(const std::string& text) {
    CurveStore store;
    return readTextPointsFromText(text, "punti.txt", store);
}

std::optional<InputProblem> drawing(const std::vector<std::string>& lines) {
    CurveStore store;
    return readDxfPolylinesFromText(joinLines(lines, LineEnd::Lf), "pianta.dxf", store);
}

template <typename Value>
std::optional<InputProblem> problemOf(const InputResult<Value>& result) {
    if (result.hasValue()) return std::nullopt;
    return result.problem();
}

LoadedCoefficients loadedWithCount(std::int32_t count) {
    LoadedCoefficients loaded;
    loaded.inputFileName = "anello.dxf";
    loaded.declaredCount = count;
    return loaded;
}

// Line numbers count from 1; in each drawing below, line 4 is ENTITIES.
const std::vector<ProblemRow> rows = {
    {"ListShorterThanItsCount", [] { return pointList("3\n1 2\n3 4\n"); }, "'punti.txt' declares 3 points but holds 2"},
    {"ListOfOneWithoutItsPoint", [] { return pointList("1\n"); }, "'punti.txt' declares 1 point but holds 0"},
    {"ListWithoutCount", [] { return pointList(""); },
     "'punti.txt' holds no point: its first number, the count of points, is 0"},
    {"ListOfNegativeCount", [] { return pointList("-2\n1 2\n"); },
     "'punti.txt' holds no point: its first number, the count of points, is -2"},
    {"CoefficientFileNamingNoFile",
     [] { return problemOf(loadCoefficientText(std::string(4097, 'n') + "\n8\n", "vecchio.coe")); },
     "line 1 of 'vecchio.coe' is 4097 characters long: it cannot be the name of an input file"},
    {"CoefficientsForMoreCurves",
     [] { return problemOf(coefficientsForCurves(loadedWithCount(8), "vecchio.coe", "anello.dxf", 3)); },
     "'vecchio.coe' holds 8 coefficients, but the 3 curves of 'anello.dxf' need 10 (7 shared and one radius AE "
     "per curve)"},
    {"CoefficientsForOneCurve",
     [] { return problemOf(coefficientsForCurves(loadedWithCount(9), "vecchio.coe", "anello.dxf", 1)); },
     "'vecchio.coe' holds 9 coefficients, but the 1 curve of 'anello.dxf' need 8 (7 shared and one radius AE per "
     "curve)"},
    {"DrawingWithoutEntities", [] { return drawing({"  0", "SECTION", "  2", "HEADER", "  0", "ENDSEC"}); },
     "'pianta.dxf' has no line ENTITIES, so it holds no entities section to read curves from"},
    {"VertexCutOffBeforeItsX",
     [] { return drawing({"  0", "SECTION", "  2", "ENTITIES", "  0", "POLYLINE", "  0", "VERTEX", "  8"}); },
     "the VERTEX on line 8 of 'pianta.dxf' has no X coordinate: the file ends before a ' 10' group code"},
    {"VertexEndedBeforeItsX",
     [] { return drawing({"  0", "SECTION", "  2", "ENTITIES", "  0", "POLYLINE", "  0", "VERTEX", "  0", "SEQEND"}); },
     "the VERTEX on line 8 of 'pianta.dxf' has no X coordinate: line 10 (SEQEND) comes before any ' 10' group "
     "code"},
    {"VertexWithoutXInALeftAlignedFile",
     [] {
         return drawing({"0", "SECTION", "2", "ENTITIES", "0", "POLYLINE", "0", "VERTEX", "10", "1.5", "0", "VERTEX"});
     },
     "the VERTEX on line 8 of 'pianta.dxf' has no X coordinate: line 12 (VERTEX) comes before any ' 10' group code; "
     "the file writes its group codes at the left ('10' instead of ' 10'): save the drawing again as ASCII DXF "
     "with right-aligned group codes"},
    {"VertexEndingAfterItsXCode",
     [] { return drawing({"  0", "SECTION", "  2", "ENTITIES", "  0", "POLYLINE", "  0", "VERTEX", " 10"}); },
     "the VERTEX on line 8 of 'pianta.dxf' has no X value: the file ends after its ' 10' group code"},
    {"VertexEndingBeforeItsY",
     [] { return drawing({"  0", "SECTION", "  2", "ENTITIES", "  0", "POLYLINE", "  0", "VERTEX", " 10", "1.5", " 20"}); },
     "the VERTEX on line 8 of 'pianta.dxf' has no Y value: the file ends before it"},
    {"PolylineWithoutSeqend",
     [] {
         return drawing({"  0", "SECTION", "  2", "ENTITIES", "  0", "POLYLINE", "  0", "VERTEX", " 10", "1.5", " 20",
                         "2.5"});
     },
     "the POLYLINE on line 6 of 'pianta.dxf' has no SEQEND before the end of the file"},
    {"PolylinesWithoutVertices",
     [] {
         return drawing({"  0", "SECTION", "  2", "ENTITIES", "  0", "POLYLINE", "  0", "SEQEND", "  0", "POLYLINE",
                         "  0", "SEQEND"});
     },
     "'pianta.dxf' holds 2 POLYLINE entities after ENTITIES but not one VERTEX in them: there is no point to fit"},
    {"LwPolylineXWithoutY",
     [] {
         return drawing({"  0", "SECTION", "  2", "ENTITIES", "  0", "LWPOLYLINE", " 10", "1.5", " 10", "3.5"});
     },
     "a vertex of the LWPOLYLINE on line 6 of 'pianta.dxf' has an X (group code 10) but no Y (group code 20) after "
     "it, at line 9"},
    {"LwPolylineEndingAfterAnX",
     [] { return drawing({"  0", "SECTION", "  2", "ENTITIES", "  0", "LWPOLYLINE", " 10", "1.5"}); },
     "the last vertex of the LWPOLYLINE on line 6 of 'pianta.dxf' has no Y"},
    {"DrawingOfOtherEntities",
     [] {
         return drawing({"  0", "SECTION", "  2", "ENTITIES", "  0", "CIRCLE", " 40", "2.0", "  0", "ENDSEC"});
     },
     "'pianta.dxf' yields no point: no POLYLINE or LWPOLYLINE after ENTITIES; the file holds 1 CIRCLE entity"},
    {"LwPolylineWithoutVertices",
     [] { return drawing({"  0", "SECTION", "  2", "ENTITIES", "  0", "LWPOLYLINE", " 90", "0", "  0", "ENDSEC"}); },
     "'pianta.dxf' yields no point: 1 LWPOLYLINE entity and not one vertex in them"},
};

class ReturnedProblem : public ReaderTest<::testing::TestWithParam<ProblemRow>> {};

TEST_P(ReturnedProblem, GivesStatus65AndTheWholeSentence) {
    const ProblemRow& row = GetParam();
    std::optional<InputProblem> problem;
    // Under the throwing mode a run-time error would surface here as RunEnded; none may.
    EXPECT_NO_THROW(problem = row.read());
    ASSERT_TRUE(problem.has_value()) << "the input was read";
    EXPECT_EQ(problem->status, exitStatus::dataError);
    EXPECT_EQ(problem->sentence, row.sentence);
}

INSTANTIATE_TEST_SUITE_P(Readers, ReturnedProblem, ::testing::ValuesIn(rows),
                         [](const ::testing::TestParamInfo<ProblemRow>& info) { return info.param.name; });

}  // namespace
