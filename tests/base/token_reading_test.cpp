// Reading numbers and lines from text channels.

#include <gtest/gtest.h>

#include <string>

#include "base/run_error.hpp"
#include "base/text_io.hpp"

namespace {

struct RealTokenRow {
    const char* name;
    const char* token;
    TokenProblem problem;
    Real80 value;
};
void PrintTo(const RealTokenRow& row, std::ostream* os) { *os << row.name; }

class RealTokenTest : public ::testing::TestWithParam<RealTokenRow> {};

TEST_P(RealTokenTest, ParsesOrRejects) {
    const RealTokenRow& row = GetParam();
    Real80 value = -1;
    EXPECT_EQ(parseRealToken(row.token, value), row.problem);
    if (row.problem == TokenProblem::Valid) {
        EXPECT_EQ(value, row.value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Syntax, RealTokenTest,
    ::testing::Values(RealTokenRow{"Integer", "42", TokenProblem::Valid, 42.0L},
                      RealTokenRow{"SignedDecimal", "-12.5", TokenProblem::Valid, -12.5L},
                      RealTokenRow{"PlusSign", "+3", TokenProblem::Valid, 3.0L},
                      RealTokenRow{"ExponentUpper", "1.5E+02", TokenProblem::Valid, 150.0L},
                      RealTokenRow{"ExponentLowerNegative", "25e-1", TokenProblem::Valid, 2.5L},
                      RealTokenRow{"NearestExtendedOfOneTenth", "0.1", TokenProblem::Valid, 0.1L},
                      RealTokenRow{"UnderflowIsNotAnError", "1e-5000", TokenProblem::Valid, 0.0L},
                      RealTokenRow{"DecimalComma", "12,5", TokenProblem::DecimalComma, 0},
                      RealTokenRow{"TwoValuesJoinedByComma", "10,20.5", TokenProblem::NotANumber, 0},
                      RealTokenRow{"NoDigitBeforePoint", ".5", TokenProblem::NotANumber, 0},
                      RealTokenRow{"NoDigitAfterPoint", "5.", TokenProblem::NotANumber, 0},
                      RealTokenRow{"ExponentWithoutDigits", "1e", TokenProblem::NotANumber, 0},
                      RealTokenRow{"ExponentSignWithoutDigits", "1e+", TokenProblem::NotANumber, 0},
                      RealTokenRow{"Infinity", "inf", TokenProblem::NotANumber, 0},
                      RealTokenRow{"NotANumberWord", "nan", TokenProblem::NotANumber, 0},
                      RealTokenRow{"Hexadecimal", "0x1p3", TokenProblem::NotANumber, 0},
                      RealTokenRow{"SignAlone", "-", TokenProblem::NotANumber, 0},
                      RealTokenRow{"Word", "dieci", TokenProblem::NotANumber, 0},
                      RealTokenRow{"BeyondExtendedRange", "1e5000", TokenProblem::OutOfRange, 0},
                      RealTokenRow{"NegativeBeyondRange", "-2E4933", TokenProblem::OutOfRange, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RealToken, SixtyFourCharactersAreTheLimit) {
    Real80 value = 0;
    EXPECT_EQ(parseRealToken(std::string(64, '1'), value), TokenProblem::Valid);
    EXPECT_EQ(parseRealToken(std::string(65, '1'), value), TokenProblem::TooLong);
}

struct IntegerTokenRow {
    const char* name;
    const char* token;
    TokenProblem problem;
    std::int32_t value;
};
void PrintTo(const IntegerTokenRow& row, std::ostream* os) { *os << row.name; }

class IntegerTokenTest : public ::testing::TestWithParam<IntegerTokenRow> {};

TEST_P(IntegerTokenTest, ParsesOrRejects) {
    const IntegerTokenRow& row = GetParam();
    std::int32_t value = -1;
    EXPECT_EQ(parseIntegerToken(row.token, value), row.problem);
    if (row.problem == TokenProblem::Valid) {
        EXPECT_EQ(value, row.value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Syntax, IntegerTokenTest,
    ::testing::Values(IntegerTokenRow{"Plain", "120", TokenProblem::Valid, 120},
                      IntegerTokenRow{"Negative", "-4", TokenProblem::Valid, -4},
                      IntegerTokenRow{"Largest", "2147483647", TokenProblem::Valid, 2147483647},
                      IntegerTokenRow{"Smallest", "-2147483648", TokenProblem::Valid, -2147483647 - 1},
                      IntegerTokenRow{"BeyondLargest", "2147483648", TokenProblem::OutOfRange, 0},
                      IntegerTokenRow{"FarBeyond", "99999999999999999999", TokenProblem::OutOfRange, 0},
                      IntegerTokenRow{"DollarHex", "$FF", TokenProblem::Valid, 255},
                      IntegerTokenRow{"XHex", "x1a", TokenProblem::Valid, 26},
                      IntegerTokenRow{"ZeroXHex", "0x10", TokenProblem::Valid, 16},
                      IntegerTokenRow{"HexTakesAllThirtyTwoBits", "$FFFFFFFF", TokenProblem::Valid, -1},
                      IntegerTokenRow{"HexBeyondThirtyTwoBits", "$100000000", TokenProblem::OutOfRange, 0},
                      IntegerTokenRow{"HexTakesNoSign", "-$10", TokenProblem::NotANumber, 0},
                      IntegerTokenRow{"HexWithoutDigits", "$", TokenProblem::NotANumber, 0},
                      IntegerTokenRow{"RealIsNoInteger", "12.0", TokenProblem::NotANumber, 0},
                      IntegerTokenRow{"Word", "tre", TokenProblem::NotANumber, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IntegerToken, ThirtyTwoCharactersAreTheLimit) {
    std::int32_t value = 0;
    EXPECT_EQ(parseIntegerToken(std::string(31, '0') + "7", value), TokenProblem::Valid);
    EXPECT_EQ(value, 7);
    EXPECT_EQ(parseIntegerToken(std::string(33, '0'), value), TokenProblem::TooLong);
}

class ChannelReading : public ::testing::Test {
protected:
    void SetUp() override { setFailureMode(FailureMode::ThrowRunEnded); }
    void TearDown() override { setFailureMode(FailureMode::ExitProcess); }
};

TEST_F(ChannelReading, TokensSkipBlanksAndLineEndsAndLeaveTheRest) {
    const std::string text = "\r\n  \t120 punti\r\n-3.5 7";
    InputChannel in = memoryInput(text, "t.txt");
    Real80 value = 0;
    ASSERT_TRUE(readRealToken(in, value));
    EXPECT_EQ(value, 120.0L);
    skipRestOfLine(in);  // "punti" is discarded with the rest of the line
    ASSERT_TRUE(readRealToken(in, value));
    EXPECT_EQ(value, -3.5L);
    ASSERT_TRUE(readRealToken(in, value));
    EXPECT_EQ(value, 7.0L);
    EXPECT_FALSE(readRealToken(in, value));  // the end of the file reads 0
    EXPECT_EQ(value, 0.0L);
}

TEST_F(ChannelReading, LinesEndAtCrLfCrOrLf) {
    const std::string text = "uno\r\ndue\rtre\nquattro";
    InputChannel in = memoryInput(text, "t.txt");
    EXPECT_EQ(readWholeLine(in), "uno");
    EXPECT_EQ(readWholeLine(in), "due");
    EXPECT_EQ(readWholeLine(in), "tre");
    EXPECT_EQ(in.lineNumber, 4);
    EXPECT_EQ(readWholeLine(in), "quattro");
    EXPECT_TRUE(atEndOfFile(in));
    EXPECT_EQ(readWholeLine(in), "");
}

TEST_F(ChannelReading, CtrlZEndsTheFile) {
    const std::string text = std::string("5\r\n") + '\x1a' + "7\r\n";
    InputChannel in = memoryInput(text, "t.txt");
    Real80 value = 0;
    ASSERT_TRUE(readRealToken(in, value));
    EXPECT_FALSE(readRealToken(in, value));
    EXPECT_TRUE(atEndOfFile(in));
}

TEST_F(ChannelReading, LineHeadKeepsOnlyTheStartButCountsTheWholeLine) {
    const std::string text = std::string(100000, 'x') + "\r\nENTITIES\r\n";
    InputChannel in = memoryInput(text, "big.dxf");
    const LineHead first = readLineHead(in, 16);
    EXPECT_EQ(first.text.size(), 16u);
    EXPECT_EQ(first.length, 100000u);
    EXPECT_TRUE(readLineHead(in, 16).is("ENTITIES"));
}

TEST_F(ChannelReading, InvalidTokenEndsTheRunWith106AndNamesFileAndLine) {
    const std::string text = "3\r\n1 2\r\n12,5 4\r\n";
    InputChannel in = memoryInput(text, "ring.txt");
    Real80 value = 0;
    readRealToken(in, value);
    readRealToken(in, value);
    readRealToken(in, value);
    try {
        readRealToken(in, value);
        FAIL() << "12,5 was accepted";
    } catch (const RunEnded& ended) {
        EXPECT_EQ(ended.status, 106);
        EXPECT_TRUE(ended.runtimeErrorLine);
        EXPECT_EQ(ended.sentence, "'12,5' on line 3 of 'ring.txt' is not a number: use a point as the decimal separator");
    }
}

TEST_F(ChannelReading, OverlongTokenIsInvalidNotTruncated) {
    const std::string text = std::string(70, '1') + "\r\n";
    InputChannel in = memoryInput(text, "long.txt");
    Real80 value = 0;
    try {
        readRealToken(in, value);
        FAIL() << "a 70-character token was accepted";
    } catch (const RunEnded& ended) {
        EXPECT_EQ(ended.status, 106);
        EXPECT_NE(ended.sentence.find("too long"), std::string::npos) << ended.sentence;
    }
}

TEST_F(ChannelReading, IntegerBeyondThirtyTwoBitsIsInvalid) {
    const std::string text = "3000000000\r\n";
    InputChannel in = memoryInput(text, "count.txt");
    std::int32_t value = 0;
    EXPECT_THROW(readIntegerToken(in, value), RunEnded);
}

}  // namespace
