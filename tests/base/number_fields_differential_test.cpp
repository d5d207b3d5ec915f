// The fast number fields against the straightforward ones they replace: the same bytes for
// random extended reals of every size, for the values where rounding is decided (ties, carries
// into a new digit, all nines), and for every width and number of decimals the program uses.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "base/text_io.hpp"
#include "support/reference_number_fields.hpp"

namespace {

struct Layout {
    int width;
    int decimals;
};

// The program's layouts, the extremes the functions cap, and a few between.
const std::vector<Layout> layouts{{14, 9}, {12, 9}, {11, 6}, {12, 4}, {12, 6}, {16, 11}, {0, 0},  {0, 2},
                                  {3, 1},  {0, 17}, {0, 25}, {8, 3},  {255, 5}, {400, 2}, {0, 300}, {5, -3}};

/// An extended real from a random 64-bit significand (top bit set) and a binary exponent.
Real80 fromBits(std::uint64_t significand, int exponent) {
    return std::ldexp(static_cast<Real80>(significand | (1ULL << 63)), exponent - 63);
}

class DifferentialFields : public ::testing::Test {
protected:
    int mismatches = 0;
    void expectSame(Real80 value) {
        for (const Layout& layout : layouts) {
            const std::string fast = formatRealField(value, layout.width, layout.decimals);
            const std::string straight = reference::formatRealField(value, layout.width, layout.decimals);
            if (fast != straight && ++mismatches <= 10) {
                char shown[64];
                std::snprintf(shown, sizeof shown, "%.21Lg", value);
                ADD_FAILURE() << shown << " in " << layout.width << ":" << layout.decimals << " gives '" << fast
                              << "', the straightforward field '" << straight << "'";
            }
        }
    }
};

TEST_F(DifferentialFields, RandomExtendedRealsOfEverySize) {
    std::mt19937_64 random(19);
    std::uniform_int_distribution<int> exponents(-140, 140);
    for (int n = 0; n < 60000; ++n) {
        const Real80 value = fromBits(random(), exponents(random));
        expectSame(n % 2 == 0 ? value : -value);
    }
    EXPECT_EQ(mismatches, 0);
}

TEST_F(DifferentialFields, DoublesAndShortDecimalsAsPlansHoldThem) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> coordinate(-5000, 5000);
    std::uniform_int_distribution<long long> integer(-99999999, 99999999);
    for (int n = 0; n < 40000; ++n) {
        expectSame(static_cast<Real80>(coordinate(random)));
        // A coordinate read from text: an integer over a power of ten, in extended precision.
        expectSame(static_cast<Real80>(integer(random)) / std::pow(10.0L, static_cast<Real80>(n % 9)));
    }
    EXPECT_EQ(mismatches, 0);
}

TEST_F(DifferentialFields, TiesAndNeighboursAtEveryDecimal) {
    // Exactly half a unit of a decimal place in binary (k + 1/2 over a power of two), and the
    // extended reals on either side of a decimal tie.
    std::mt19937_64 random(3);
    for (int decimals = 0; decimals <= 12; ++decimals) {
        const Real80 unit = std::pow(10.0L, static_cast<Real80>(-decimals));
        for (int n = 0; n < 400; ++n) {
            const Real80 tie = (static_cast<Real80>(random() % 100000) + 0.5L) * unit;
            expectSame(tie);
            expectSame(std::nextafter(tie, 0.0L));
            expectSame(std::nextafter(tie, 1e9L));
            expectSame(-tie);
        }
    }
    // Ties on the nineteenth significant digit: an 18-digit integer and a half.
    for (std::uint64_t k : {100000000000000000ULL, 123456789012345678ULL, 123456789012345677ULL,
                            999999999999999999ULL, 500000000000000001ULL}) {
        expectSame(static_cast<Real80>(k) + 0.5L);
        expectSame(static_cast<Real80>(k) * 10 + 5);
        expectSame((static_cast<Real80>(k) + 0.5L) / 1024);
    }
    EXPECT_EQ(mismatches, 0);
}

TEST_F(DifferentialFields, CarriesAllNinesAndPowersOfTen) {
    for (int digits = 1; digits <= 22; ++digits) {
        const Real80 nines = 1 - std::pow(10.0L, static_cast<Real80>(-digits));
        for (int power = -20; power <= 40; ++power) {
            const Real80 scale = std::pow(10.0L, static_cast<Real80>(power));
            expectSame(nines * scale);
            expectSame(scale);
            expectSame(std::nextafter(scale, 0.0L));
            expectSame(std::nextafter(scale, std::numeric_limits<Real80>::infinity()));
            expectSame(-(9.9999L + 0.00001L * digits) * scale);
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST_F(DifferentialFields, ZerosExtremesAndSpecialValues) {
    for (const Real80 value :
         {0.0L, -0.0L, std::numeric_limits<Real80>::min(), std::numeric_limits<Real80>::denorm_min(),
          -std::numeric_limits<Real80>::denorm_min(), std::numeric_limits<Real80>::max(),
          -std::numeric_limits<Real80>::max(), 1e-4940L, 1e4900L, 1e35L, 9.99999999999999999e35L, 1e36L,
          std::numeric_limits<Real80>::infinity(), -std::numeric_limits<Real80>::infinity(),
          std::numeric_limits<Real80>::quiet_NaN(), 1e-300L, 4.5e-10L, -5e-12L, 1e18L, 1e19L, 18446744073709551615.0L,
          9223372036854775808.0L}) {
        expectSame(value);
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(NumberFieldWriting, ChannelsGetTheFieldsOfTheFormatters) {
    OutputChannel channel = memoryOutput();
    writeRealField(channel, -1234.5678L, 16, 11);
    writeIntegerField(channel, -42, 6);
    writeIntegerField(channel, 7, 0);
    writeRealField(channel, 0.999999999999L, field::coefficient);
    EXPECT_EQ(channel.captured, "-1234.56780000000   -427   1.000000000");
    EXPECT_EQ(formatIntegerField(std::numeric_limits<std::int64_t>::min(), 3), "-9223372036854775808");
    EXPECT_EQ(formatIntegerField(12, 300).size(), 255u);
}

}  // namespace
