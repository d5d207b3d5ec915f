// Inputs built to hurt: huge declared counts, lines without an end, very many entities.
// They must be read within memory proportional to what they hold, or rejected quickly.
// The streams are made in memory; where a size is smaller than the one it stands for,
// the comment says so (the readers' work is linear, so the full size only takes longer).

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "input/dxf_reader.hpp"
#include "input/text_reader.hpp"
#include "input/coefficient_file.hpp"
#include "reader_test_support.hpp"

namespace {

using namespace readertest;

// Far above what any of these takes (well under a second even with sanitizers), far below
// what a quadratic pass or an allocation from a declared count would take.
constexpr double quickSeconds = 10;

// 8 MB stands for the 100 MB line without a line end.
const std::size_t longLine = 8u << 20;

class HostileInput : public ReaderTest<::testing::Test> {
protected:
    double seconds(const std::function<void()>& call) {
        const auto start = std::chrono::steady_clock::now();
        call();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
};

TEST_F(HostileInput, TextDeclaringTwoBillionPointsFailsAtOnce) {
    CurveStore store;
    Ending ending;
    const double taken = seconds(
        [&] { ending = endingOf([&] { return readTextPointsFromText("2000000000\r\n1 2\r\n3 4\r\n5 6\r\n", "big.txt", store); }); });
    expectEnding(ending, {exitStatus::dataError, false, {"'big.txt' declares 2000000000 points but holds 3"}});
    EXPECT_LT(taken, quickSeconds);
}

TEST_F(HostileInput, CoefficientFileDeclaringTwoBillionValuesKeepsOnlyWhatItHolds) {
    LoadedCoefficients loaded;
    const double taken =
        seconds([&] { loaded = readValue(loadCoefficientText("a.dxf\r\n2000000000\r\n1\r\n2\r\n", "big.coe")); });
    EXPECT_EQ(loaded.declaredCount, 2000000000);
    EXPECT_EQ(loaded.values.size(), 2u);
    EXPECT_LT(taken, quickSeconds);
}

TEST_F(HostileInput, DxfOfOneLineWithoutLineEndHasNoEntities) {
    const std::string text(longLine, 'E');
    CurveStore store;
    expectEnding(endingOf([&] { return readDxfPolylinesFromText(text, "one_line.dxf", store); }),
                 {exitStatus::dataError, false, {"'one_line.dxf' has no line ENTITIES"}});
}

TEST_F(HostileInput, DxfLongLinesAreReadPastNotKept) {
    const std::string text = "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n999\r\n" + std::string(longLine, 'c') +
                             "\r\n  0\r\nPOLYLINE\r\n  0\r\nVERTEX\r\n  8\r\n" + std::string(longLine, 'L') +
                             "\r\n 10\r\n1.5\r\n 20\r\n2.5\r\n  0\r\nSEQEND\r\n" + std::string(longLine, 'z');
    CurveStore store;
    expectRead(readDxfPolylinesFromText(text, "long_lines.dxf", store));
    expectCurves(store, {{{1.5, 2.5}}});
}

TEST_F(HostileInput, OverlongValuesAreInvalidNumbersWithAShortSentence) {
    const std::string digits(longLine, '7');
    const std::string dxf = "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n  0\r\nPOLYLINE\r\n  0\r\nVERTEX\r\n 10\r\n" + digits;
    const std::string lwpolyline = "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n  0\r\nLWPOLYLINE\r\n 10\r\n" + digits;
    const std::string pointList = "1\r\n" + digits;
    const std::string pointCount = digits;
    const std::string coefficientCount = "a.dxf\r\n" + digits;
    const std::string coefficientValue = "a.dxf\r\n1\r\n" + digits;
    CurveStore store;
    const std::vector<Ending> endings = {
        endingOf([&] { return readDxfPolylinesFromText(dxf, "x.dxf", store); }),
        endingOf([&] { return readDxfPolylinesFromText(lwpolyline, "x.dxf", store); }),
        endingOf([&] { return readTextPointsFromText(pointList, "x.txt", store); }),
        endingOf([&] { return readTextPointsFromText(pointCount, "x.txt", store); }),
        endingOf([&] { return loadCoefficientText(coefficientCount, "x.coe"); }),
        endingOf([&] { return loadCoefficientText(coefficientValue, "x.coe"); }),
    };
    for (const Ending& ending : endings) {
        expectEnding(ending, {runtimeError::invalidNumber, true, {"too long to be a number"}});
        EXPECT_LT(ending.run.sentence.size(), 200u) << ending.run.sentence;
    }
}

TEST_F(HostileInput, CoefficientFileWhoseFirstLineHasNoEnd) {
    expectEnding(endingOf([&] { return loadCoefficientText(std::string(longLine, 'n'), "x.coe"); }),
                 {exitStatus::dataError, false, {"line 1 of 'x.coe' is 8388608 characters long"}});
}

TEST_F(HostileInput, HundredThousandPolylinesOfOneVertex) {
    constexpr int polylines = 100000;
    std::string text = "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n";
    for (int j = 0; j < polylines; ++j) {
        text += "  0\r\nPOLYLINE\r\n  0\r\nVERTEX\r\n 10\r\n" + std::to_string(j) + "\r\n 20\r\n-" +
                std::to_string(j) + ".5\r\n  0\r\nSEQEND\r\n";
    }
    text += "  0\r\nENDSEC\r\n  0\r\nEOF\r\n";
    CurveStore store;
    const double taken = seconds([&] { expectRead(readDxfPolylinesFromText(text, "many.dxf", store)); });
    ASSERT_EQ(store.curves.size(), static_cast<std::size_t>(polylines));
    for (const Curve& curve : store.curves) ASSERT_EQ(curve.x.size(), 1u);
    EXPECT_EQ(store.curves.back().x[0], polylines - 1);
    EXPECT_EQ(store.curves.back().y[0], -(polylines - 1) - 0.5L);
    EXPECT_LT(taken, quickSeconds);
}

TEST_F(HostileInput, VeryManyKindsOfEntitiesAreCountedQuickly) {
    constexpr int kinds = 200000;
    std::string text = "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n";
    for (int i = 0; i < kinds; ++i) text += "  0\r\nK" + std::to_string(i) + "\r\n";
    CurveStore store;
    Ending ending;
    const double taken = seconds([&] { ending = endingOf([&] { return readDxfPolylinesFromText(text, "kinds.dxf", store); }); });
    expectEnding(ending, {exitStatus::dataError, false, {"1 K7 and 199992 entities of 199992 other types"}});
    EXPECT_LT(ending.run.sentence.size(), 400u);
    EXPECT_LT(taken, quickSeconds);
}

TEST_F(HostileInput, VertexWithoutXInAHugeFileIsReportedOnce) {
    // The search for left-aligned codes reads on to the end: it must not be quadratic.
    std::string text = "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n  0\r\nPOLYLINE\r\n  0\r\nVERTEX\r\n  0\r\nSEQEND\r\n";
    for (int i = 0; i < 200000; ++i) text += "  0\r\nLINE\r\n 11\r\n1\r\n";
    text += "10\r\n";
    CurveStore store;
    Ending ending;
    const double taken = seconds([&] { ending = endingOf([&] { return readDxfPolylinesFromText(text, "huge.dxf", store); }); });
    expectEnding(ending, {exitStatus::dataError, false, {"line 10 (SEQEND)", "at the left"}});
    EXPECT_LT(taken, quickSeconds);
}

}  // namespace
