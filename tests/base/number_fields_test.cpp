// Number fields: every value the program writes passes through these two functions.

#include <gtest/gtest.h>

#include <string>

#include "base/text_io.hpp"

namespace {

struct RealFieldRow {
    const char* name;
    Real80 value;
    int width;
    int decimals;
    const char* expected;
};
void PrintTo(const RealFieldRow& row, std::ostream* os) { *os << row.name; }

class RealFieldTest : public ::testing::TestWithParam<RealFieldRow> {};

TEST_P(RealFieldTest, WritesTheFieldExactly) {
    const RealFieldRow& row = GetParam();
    EXPECT_EQ(formatRealField(row.value, row.width, row.decimals), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, RealFieldTest,
    ::testing::Values(
        RealFieldRow{"PositiveIn12_4", 1234.5L, 12, 4, "   1234.5000"},
        RealFieldRow{"NegativeIn12_4", -67.25L, 12, 4, "    -67.2500"},
        RealFieldRow{"HalfIn14_9", 0.5L, 14, 9, "   0.500000000"},
        RealFieldRow{"MinusHalfIn14_9", -0.5L, 14, 9, "  -0.500000000"},
        RealFieldRow{"NegativeCoefficient", -12.5L, 14, 9, " -12.500000000"},
        RealFieldRow{"NegativeRoundingToZeroKeepsSign", -0.0000000001L, 14, 9, "  -0.000000000"},
        RealFieldRow{"NegativeZeroKeepsSign", -0.0L, 14, 9, "  -0.000000000"},
        RealFieldRow{"PositiveZero", 0.0L, 14, 9, "   0.000000000"},
        RealFieldRow{"WiderThanFieldWidens", 123456.5L, 14, 9, "123456.500000000"},
        RealFieldRow{"RoundsOnTheDigitString", 0.1234567896L, 14, 9, "   0.123456790"},
        RealFieldRow{"HalfAwayFromZeroNoPoint", 2.5L, 0, 0, "3"},
        RealFieldRow{"MinusHalfAwayFromZero", -2.5L, 0, 0, "-3"},
        RealFieldRow{"CarryIntoNewDigit", 9.9999999999L, 14, 9, "  10.000000000"},
        RealFieldRow{"CarryBelowOne", 0.99999999995L, 14, 9, "   1.000000000"},
        RealFieldRow{"JustBelowHalfStaysDown", 0.1234567894L, 14, 9, "   0.123456789"},
        // 18 significant digits: the value is 12345678901234567890.123, so every digit
        // after the eighteenth is written as 0 and the 18th is rounded.
        RealFieldRow{"EighteenDigitCut", 12345678901234567890.123L, 0, 2, "12345678901234567900.00"},
        RealFieldRow{"DrawingCoordinate", 12345.678L, 16, 11, "12345.67800000000"},
        RealFieldRow{"DrawingNegativeTiny", -0.000000000004L, 16, 11, "  -0.00000000000"},
        RealFieldRow{"DrawingMinusThousand", -1000.0L, 16, 11, "-1000.00000000000"},
        RealFieldRow{"ManyDecimalsPadWithZeros", 0.1L, 0, 25, "0.1000000000000000000000000"},
        RealFieldRow{"ConsoleSummary", 8.7082039324993690892L, 11, 6, "   8.708204"},
        RealFieldRow{"ExponentialFromE36", 1.0e36L, 14, 9, " 1.00000E+0036"},
        RealFieldRow{"ExponentialNegative", -2.5e40L, 12, 4, "-2.500E+0040"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RealField, NotANumberAndInfinities) {
    EXPECT_EQ(formatRealField(std::numeric_limits<Real80>::quiet_NaN(), 6, 2), "   Nan");
    EXPECT_EQ(formatRealField(std::numeric_limits<Real80>::infinity(), 6, 2), "  +Inf");
    EXPECT_EQ(formatRealField(-std::numeric_limits<Real80>::infinity(), 0, 2), "-Inf");
}

TEST(RealField, WidthAndDecimalsAreCapped) {
    EXPECT_EQ(formatRealField(1.0L, 400, 0).size(), 255u);
    const std::string longest = formatRealField(1.0L, 0, 300);
    EXPECT_EQ(longest.size(), 2u + 216u);
}

struct IntegerFieldRow {
    const char* name;
    std::int64_t value;
    int width;
    const char* expected;
};
void PrintTo(const IntegerFieldRow& row, std::ostream* os) { *os << row.name; }

class IntegerFieldTest : public ::testing::TestWithParam<IntegerFieldRow> {};

TEST_P(IntegerFieldTest, WritesTheFieldExactly) {
    EXPECT_EQ(formatIntegerField(GetParam().value, GetParam().width), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Fields, IntegerFieldTest,
                         ::testing::Values(IntegerFieldRow{"SevenIn6", 7, 6, "     7"},
                                           IntegerFieldRow{"HundredTwentyIn5", 120, 5, "  120"},
                                           IntegerFieldRow{"TenInZero", 10, 0, "10"},
                                           IntegerFieldRow{"NegativeSignBeforeDigits", -42, 6, "   -42"},
                                           IntegerFieldRow{"WidensWhenNeeded", 12345, 3, "12345"},
                                           IntegerFieldRow{"CodeOfSecondPoint", 21, 3, " 21"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OutputChannel, EndLineIsCarriageReturnLineFeed) {
    OutputChannel out = memoryOutput();
    writeText(out, "Scarto ");
    writeRealField(out, 0.25L, 14, 9);
    endLine(out);
    writeIntegerField(out, 3, 2);
    endLine(out);
    EXPECT_EQ(out.captured, "Scarto    0.250000000\r\n 3\r\n");
}

}  // namespace
