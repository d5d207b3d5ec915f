// The text point reader on small lists: a count, then X Y pairs.

#include "input/text_reader.hpp"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "reader_test_support.hpp"

namespace {

using namespace readertest;

struct ReadRow {
    std::string name;
    std::vector<std::string> lines;
    Curves expected;
};
void PrintTo(const ReadRow& row, std::ostream* os) { *os << row.name; }

const std::vector<ReadRow> readRows = {
    {"ThreePoints", {"3", "0 0", "10 0", "10 5.5"}, {{{0, 0}, {10, 0}, {10, 5.5}}}},
    {"WordAfterTheCount", {"3 punti", "1 2", "3 4", "5 6"}, {{{1, 2}, {3, 4}, {5, 6}}}},
    {"ZColumnIsDiscarded", {"2", "10.0 20.0 0.0", "11.0 21.0 7.5"}, {{{10, 20}, {11, 21}}}},
    {"ExtraLinesAreNotRead", {"2", "1 2", "3 4", "5 6", "not even numbers"}, {{{1, 2}, {3, 4}}}},
    {"GarbageAfterYIsDiscarded", {"2", "1 2 a,b;c", "3 4\t#"}, {{{1, 2}, {3, 4}}}},
    {"TabsAndBlanksSeparate", {"\t2 ", "\t-1.5\t\t+2.25 ", "  3e2   4E-2"}, {{{-1.5, 2.25}, {300, 0.04L}}}},
    {"EmptyLinesBeforeCountAndPairs", {"", "  ", "2", "", "1 2", "", "", "3 4"}, {{{1, 2}, {3, 4}}}},
    // The rest of the line is discarded only after Y, so X and Y may stand on two lines.
    {"XAndYOnTwoLines", {"2", "1", "2 ignored", "3", "4"}, {{{1, 2}, {3, 4}}}},
    {"HexadecimalCount", {"$2", "1 2", "3 4"}, {{{1, 2}, {3, 4}}}},
    {"SignedCount", {"+1", "7 8"}, {{{7, 8}}}},
    {"CountJustMet", {"1", "7 8"}, {{{7, 8}}}},
    {"CtrlZAfterTheLastPair", {"1", "7 8", "\x1a", "not read"}, {{{7, 8}}}},
    {"NoLineEndAfterTheLastPair", {"1", "7 8"}, {{{7, 8}}}},
};

class TextReading : public ReaderTest<::testing::TestWithParam<std::tuple<ReadRow, LineEnd>>> {};

TEST_P(TextReading, ReadsOneCurveOfTheDeclaredCount) {
    const auto& [row, end] = GetParam();
    std::string text = joinLines(row.lines, end);
    if (row.name == "NoLineEndAfterTheLastPair") text.resize(text.size() - std::string(lineEndText(end)).size());
    CurveStore store;
    const Ending ending = endingOf([&] { return readTextPointsFromText(text, "punti.txt", store); });
    ASSERT_FALSE(ending.ended) << ending.run.sentence;
    expectCurves(store, row.expected);
}

INSTANTIATE_TEST_SUITE_P(Lists, TextReading,
                         ::testing::Combine(::testing::ValuesIn(readRows),
                                            ::testing::Values(LineEnd::CrLf, LineEnd::Lf, LineEnd::Cr)),
                         [](const auto& info) {
                             return std::get<0>(info.param).name + lineEndName(std::get<1>(info.param));
                         });


const std::vector<RejectRow> rejectRows = {
    {"FewerPairsThanDeclared", "5\r\n1 2\r\n3 4\r\n5 6\r\n", {data, false, {"'punti.txt' declares 5 points but holds 3"}}},
    {"XWithoutY", "2\r\n1 2\r\n3\r\n", {data, false, {"declares 2 points but holds 1"}}},
    {"CtrlZCutsTheList", "3\r\n1 2\r\n\x1a" "3 4\r\n5 6\r\n", {data, false, {"declares 3 points but holds 1"}}},
    {"CountOnly", "4", {data, false, {"declares 4 points but holds 0"}}},
    {"EmptyFile", "", {data, false, {"'punti.txt' holds no point", "the count of points, is 0"}}},
    {"OnlyBlanksAndLineEnds", " \r\n\t\r\n", {data, false, {"holds no point"}}},
    {"ZeroCount", "0\r\n1 2\r\n", {data, false, {"holds no point", "is 0"}}},
    {"NegativeCount", "-4\r\n1 2\r\n", {data, false, {"holds no point", "is -4"}}},
    {"CountWithDecimals", "12.0\r\n", {badNumber, true, {"'12.0' on line 1 of 'punti.txt' is not a whole number"}}},
    {"CountIsAWord", "tre\r\n", {badNumber, true, {"'tre' on line 1 ", "not a whole number"}}},
    {"CountBeyondThirtyTwoBits", "2147483648\r\n", {badNumber, true, {"beyond the range of a 32-bit integer"}}},
    {"DecimalComma", "2\r\n1 2\r\n12,5 3\r\n", {badNumber, true, {"'12,5' on line 3 ", "decimal separator"}}},
    {"PairJoinedByComma", "1\r\n10,20\r\n", {badNumber, true, {"'10,20' on line 2 ", "is not a number"}}},
    {"YOnTheNextLineIsCounted", "1\r\n1\r\n\r\nx\r\n", {badNumber, true, {"'x' on line 4 "}}},
    {"LfLineNumbers", "2\n1 2\n3 4,5\n", {badNumber, true, {"'4,5' on line 3 "}}},
    {"CrLineNumbers", "2\r1 2\r3 4,5\r", {badNumber, true, {"'4,5' on line 3 "}}},
    {"CoordinateOfSixtyFiveCharacters", "1\r\n" + std::string(65, '7') + " 1\r\n",
     {badNumber, true, {"too long to be a number (at most 64 characters)"}}},
    {"CountOfThirtyThreeCharacters", std::string(33, '1') + "\r\n",
     {badNumber, true, {"too long to be a number (at most 32 characters)"}}},
};

class TextRejection : public ReaderTest<::testing::TestWithParam<RejectRow>> {};

TEST_P(TextRejection, EndsTheRunWithASentenceGivingTheNumbers) {
    const RejectRow& row = GetParam();
    CurveStore store;
    expectEnding(endingOf([&] { return readTextPointsFromText(row.text, "punti.txt", store); }), row.expected);
}

INSTANTIATE_TEST_SUITE_P(Lists, TextRejection, ::testing::ValuesIn(rejectRows),
                         [](const auto& info) { return info.param.name; });

TEST_F(TextRejection, TokensAtTheirLengthLimitAreRead) {
    CurveStore store;
    const std::string count = std::string(31, '0') + "1";
    const std::string x = std::string(62, '0') + "25";
    expectRead(readTextPointsFromText(count + "\r\n" + x + " 1\r\n", "punti.txt", store));
    expectCurves(store, {{{25, 1}}});
}

TEST_F(TextRejection, MissingFileEndsWithTheSystemErrorCode) {
    CurveStore store;
    expectEnding(endingOf([&] { return readTextPoints("/nonexistent-dir/punti.txt", store); }),
                 {2, true, {"cannot open '/nonexistent-dir/punti.txt'"}});
}

TEST_F(TextReading, ReadsAFileOnDisk) {
    CurveStore store;
    expectRead(readTextPoints(KELMAR_TEST_DATA "/input/points_with_z_column.txt", store));
    expectCurves(store, {{{100, 0}, {0, 60.5}, {-100, 0}, {0, -60.5}}});
    expectEnding(endingOf([&] { return readTextPoints(KELMAR_TEST_DATA "/input/count_larger_than_list.txt", store); }),
                 {exitStatus::dataError, false, {"count_larger_than_list.txt' declares 6 points but holds 4"}});
}

}  // namespace
