// The ring-by-ring covariance against the inverse of J^T J formed whole, in extended precision,
// for Jacobians with the fit's structure: shared columns in every row, one AE column per ring.

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <random>
#include <vector>

#include "fit/ring_covariance.hpp"

namespace {

struct CovarianceCase {
    const char* name;
    std::vector<int> rowsPerRing;
    double sharedScale;  // spread of the shared columns' sizes: the conditioning
};
void PrintTo(const CovarianceCase& c, std::ostream* os) { *os << c.name; }

/// The inverse of a symmetric positive definite matrix by Gauss-Jordan in long double.
std::vector<long double> inverseOf(std::vector<long double> a, int n) {
    std::vector<long double> inverse(static_cast<std::size_t>(n * n), 0);
    for (int i = 0; i < n; ++i) inverse[static_cast<std::size_t>(i * n + i)] = 1;
    for (int c = 0; c < n; ++c) {
        const long double pivot = a[static_cast<std::size_t>(c * n + c)];
        for (int k = 0; k < n; ++k) {
            a[static_cast<std::size_t>(c * n + k)] /= pivot;
            inverse[static_cast<std::size_t>(c * n + k)] /= pivot;
        }
        for (int r = 0; r < n; ++r) {
            if (r == c) continue;
            const long double factor = a[static_cast<std::size_t>(r * n + c)];
            for (int k = 0; k < n; ++k) {
                a[static_cast<std::size_t>(r * n + k)] -= factor * a[static_cast<std::size_t>(c * n + k)];
                inverse[static_cast<std::size_t>(r * n + k)] -= factor * inverse[static_cast<std::size_t>(c * n + k)];
            }
        }
    }
    return inverse;
}

class RingByRingCovariance : public ::testing::TestWithParam<CovarianceCase> {};

TEST_P(RingByRingCovariance, EqualsTheInverseOfTheNormalMatrix) {
    const CovarianceCase& c = GetParam();
    constexpr int s = sharedVariableCount;
    const int rings = static_cast<int>(c.rowsPerRing.size());
    const int n = s + rings;  // the shared variables, then one AE per ring
    std::vector<long double> normal(static_cast<std::size_t>(n * n), 0);
    RingCovariance accumulated(c.rowsPerRing.size());
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> unit(-1, 1);
    for (int r = 0; r < rings; ++r) {
        for (int i = 0; i < c.rowsPerRing[static_cast<std::size_t>(r)]; ++i) {
            std::vector<double> row(static_cast<std::size_t>(n), 0);
            for (int k = 0; k < s; ++k) row[static_cast<std::size_t>(k)] = unit(random) * std::pow(c.sharedScale, k);
            // An AE derivative of about -1, as a robust loss scales it.
            row[static_cast<std::size_t>(s + r)] = -1 + 0.3 * unit(random);
            accumulated.addRow(static_cast<std::size_t>(r), row.data(), row[static_cast<std::size_t>(s + r)]);
            for (int a = 0; a < n; ++a) {
                for (int b = 0; b < n; ++b) {
                    normal[static_cast<std::size_t>(a * n + b)] +=
                        static_cast<long double>(row[static_cast<std::size_t>(a)]) * row[static_cast<std::size_t>(b)];
                }
            }
        }
    }
    const std::vector<long double> expected = inverseOf(normal, n);
    const auto at = [&](int a, int b) { return static_cast<double>(expected[static_cast<std::size_t>(a * n + b)]); };
    const std::optional<FitCovariance> cov = accumulated.covariance();
    ASSERT_TRUE(cov.has_value());
    ASSERT_EQ(cov->ae.size(), static_cast<std::size_t>(rings));
    const auto near = [](double value, double truth) { return std::fabs(value - truth) <= 1e-9 * std::fabs(truth) + 1e-300; };
    for (int a = 0; a < s; ++a) {
        for (int b = 0; b < s; ++b) {
            EXPECT_PRED2(near, cov->shared[static_cast<std::size_t>(a * s + b)], at(a, b)) << a << "," << b;
        }
    }
    for (int r = 0; r < rings; ++r) {
        EXPECT_PRED2(near, cov->ae[static_cast<std::size_t>(r)], at(s + r, s + r)) << "ring " << r;
        for (int k = 0; k < s; ++k) {
            EXPECT_PRED2(near, cov->sharedWithAe[static_cast<std::size_t>(r)][static_cast<std::size_t>(k)], at(k, s + r))
                << "ring " << r << " shared " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fit, RingByRingCovariance,
    ::testing::Values(CovarianceCase{"OneRing", {40}, 1}, CovarianceCase{"ThreeUnevenRings", {12, 300, 9}, 1},
                      CovarianceCase{"ColumnsOfVeryDifferentSizes", {50, 60, 70, 80}, 10},
                      CovarianceCase{"ManySmallRings", std::vector<int>(25, 3), 2}),
    [](const ::testing::TestParamInfo<CovarianceCase>& info) { return std::string(info.param.name); });

struct DeficientCase {
    const char* name;
    int zeroColumn;  // a shared column that no row touches, or -1
    bool aeLikeCentre;
};
void PrintTo(const DeficientCase& c, std::ostream* os) { *os << c.name; }

class DeficientJacobian : public ::testing::TestWithParam<DeficientCase> {};

TEST_P(DeficientJacobian, GivesNoCovariance) {
    RingCovariance accumulated(2);
    std::mt19937_64 random(9);
    std::uniform_real_distribution<double> unit(-1, 1);
    for (int r = 0; r < 2; ++r) {
        for (int i = 0; i < 30; ++i) {
            std::array<double, sharedVariableCount> row{};
            for (int k = 0; k < sharedVariableCount; ++k) row[static_cast<std::size_t>(k)] = k == GetParam().zeroColumn ? 0 : unit(random);
            // Each ring's AE moves like the centre's X on that ring: the centre is the sum of the AEs.
            const double ae = GetParam().aeLikeCentre ? row[0] : -1;
            accumulated.addRow(static_cast<std::size_t>(r), row.data(), ae);
        }
    }
    EXPECT_FALSE(accumulated.covariance().has_value());
}

INSTANTIATE_TEST_SUITE_P(Fit, DeficientJacobian,
                         ::testing::Values(DeficientCase{"SharedColumnUntouched", 4, false},
                                           DeficientCase{"AeLikeTheCentre", -1, true}),
                         [](const ::testing::TestParamInfo<DeficientCase>& info) { return std::string(info.param.name); });

}  // namespace
