// Loading a coefficient file: the name on line 1, the count, one value per line.

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "input/coefficient_file.hpp"
#include "reader_test_support.hpp"

namespace {

using namespace readertest;

struct LoadRow {
    std::string name;
    std::vector<std::string> lines;
    std::string inputFileName;
    std::int32_t count;
    std::vector<long double> values;
};
void PrintTo(const LoadRow& row, std::ostream* os) { *os << row.name; }

const std::vector<std::string> exampleLines = {
    "anello.dxf",     "8",  " 100.000000000", "  60.000000000", " 500.000000000", " 300.000000000",
    "  30.000000000", "  40.000000000", "  25.000000000", "  50.000000000"};

const std::vector<LoadRow> loadRows = {
    {"ExampleReadsBackUnchanged", exampleLines, "anello.dxf", 8, {100, 60, 500, 300, 30, 40, 25, 50}},
    {"FileEndingEarlyHoldsFewerValues",
     {"anello.dxf", "8", "1", "2", "3", "4", "5", "6"}, "anello.dxf", 8, {1, 2, 3, 4, 5, 6}},
    {"WordAfterAValueIsDiscarded", {"a.dxf", "2", "  30.000000000 gradi", "-12.500000000"}, "a.dxf", 2, {30, -12.5}},
    {"TwoValuesOnALineCountAsOne", {"a.dxf", "2", "1 2", "3"}, "a.dxf", 2, {1, 3}},
    {"WordAfterTheCountIsDiscarded", {"a.dxf", "1 coefficienti", "7"}, "a.dxf", 1, {7}},
    {"EmptyLinesBeforeCountAndValuesAreSkipped", {"a.dxf", "", "2", "", "  ", "1.5", "", "2.5"}, "a.dxf", 2, {1.5, 2.5}},
    {"EmptyFirstLine", {"", "1", "4"}, "", 1, {4}},
    {"FirstLineKeptWhole", {"  un anello 1,5.dxf  ", "1", "4"}, "  un anello 1,5.dxf  ", 1, {4}},
    {"FirstLineThatLooksLikeANumber", {"8", "1", "4"}, "8", 1, {4}},
    {"ZeroCountReadsNothing", {"a.dxf", "0", "1,5 not read"}, "a.dxf", 0, {}},
    {"NegativeCountReadsNothing", {"a.dxf", "-3", "1", "2"}, "a.dxf", -3, {}},
    {"FileEndingBeforeTheCount", {"a.dxf"}, "a.dxf", 0, {}},
    {"CtrlZEndsTheFile", {"a.dxf", "3", "1", "\x1a", "3"}, "a.dxf", 3, {1}},
};

class CoefficientLoading : public ReaderTest<::testing::TestWithParam<std::tuple<LoadRow, LineEnd>>> {};

TEST_P(CoefficientLoading, KeepsNameCountAndValues) {
    const auto& [row, end] = GetParam();
    const std::string text = joinLines(row.lines, end);
    const Ending ending = endingOf([&] {
        const LoadedCoefficients loaded = readValue(loadCoefficientText(text, "kelmar.coe"));
        EXPECT_EQ(loaded.inputFileName, row.inputFileName);
        EXPECT_EQ(loaded.declaredCount, row.count);
        ASSERT_EQ(loaded.values.size(), row.values.size());
        for (std::size_t k = 0; k < row.values.size(); ++k) EXPECT_EQ(loaded.values[k], row.values[k]) << k + 1;
    });
    EXPECT_FALSE(ending.ended) << ending.run.sentence;
}

INSTANTIATE_TEST_SUITE_P(Files, CoefficientLoading,
                         ::testing::Combine(::testing::ValuesIn(loadRows),
                                            ::testing::Values(LineEnd::CrLf, LineEnd::Lf, LineEnd::Cr)),
                         [](const auto& info) {
                             return std::get<0>(info.param).name + lineEndName(std::get<1>(info.param));
                         });

TEST_F(CoefficientLoading, MissingValuesOfAShortFileAreZero) {
    const LoadedCoefficients loaded =
        readValue(loadCoefficientText(joinLines({"anello.dxf", "8", "1", "2", "3", "4", "5", "6"}), "kelmar.coe"));
    const CoefficientVector coefficients = readValue(coefficientsForCurves(loaded, "kelmar.coe", "anello.dxf", 1));
    ASSERT_EQ(coefficients.coefCount(), 8);
    EXPECT_EQ(coefficients.coef(6), 6);
    EXPECT_EQ(coefficients.coef(7), 0);
    EXPECT_EQ(coefficients.coef(8), 0);
}

TEST_F(CoefficientLoading, CountMustMatchTheCurvesOfTheNamedFile) {
    const LoadedCoefficients loaded = readValue(loadCoefficientText(joinLines(exampleLines), "vecchio.coe"));
    expectEnding(endingOf([&] { return coefficientsForCurves(loaded, "vecchio.coe", "anello.dxf", 2); }),
                 {exitStatus::dataError, false, {"'vecchio.coe' holds 8 coefficients, but the 2 curves of 'anello.dxf' "
                                                 "need 9"}});
    expectEnding(endingOf([&] { return coefficientsForCurves(loaded, "vecchio.coe", "anello.dxf", 0); }),
                 {exitStatus::dataError, false, {"holds 8 coefficients", "need 7"}});
}


const std::vector<RejectRow> rejectRows = {
    {"DecimalCommaInAValue", "a.dxf\r\n2\r\n1.5\r\n30,5\r\n",
     {badNumber, true, {"'30,5' on line 4 of 'kelmar.coe'", "decimal separator"}}},
    {"CountWithDecimals", "a.dxf\r\n8.0\r\n", {badNumber, true, {"'8.0' on line 2 ", "not a whole number"}}},
    {"CountIsAWord", "a.dxf\r\notto\r\n", {badNumber, true, {"'otto' on line 2 "}}},
    {"ValueOfSixtyFiveCharacters", "a.dxf\r\n1\r\n" + std::string(65, '3') + "\r\n",
     {badNumber, true, {"on line 3 ", "at most 64 characters"}}},
    {"FirstLineTooLongForAFileName", std::string(5000, 'n') + "\r\n1\r\n1\r\n",
     {exitStatus::dataError, false, {"line 1 of 'kelmar.coe' is 5000 characters long"}}},
};

class CoefficientRejection : public ReaderTest<::testing::TestWithParam<RejectRow>> {};

TEST_P(CoefficientRejection, EndsTheRunWithASentence) {
    const RejectRow& row = GetParam();
    expectEnding(endingOf([&] { return loadCoefficientText(row.text, "kelmar.coe"); }), row.expected);
}

INSTANTIATE_TEST_SUITE_P(Files, CoefficientRejection, ::testing::ValuesIn(rejectRows),
                         [](const auto& info) { return info.param.name; });

TEST_F(CoefficientRejection, MissingFileEndsWithTheSystemErrorCode) {
    expectEnding(endingOf([] { return loadCoefficientFile("/nonexistent-dir/kelmar.coe"); }),
                 {2, true, {"cannot open '/nonexistent-dir/kelmar.coe'"}});
}

}  // namespace
