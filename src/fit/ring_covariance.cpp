#include "fit/ring_covariance.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

/// Rotates the row `v` (length n) into the upper triangular `factor` (n x n, by rows).
void rotateIn(double* factor, double* v, int n) {
    for (int i = 0; i < n; ++i) {
        if (v[i] == 0) continue;
        double* row = factor + i * n;
        const double pivot = row[i];
        const double length = std::sqrt(pivot * pivot + v[i] * v[i]);
        const double c = pivot / length;
        const double s = v[i] / length;
        row[i] = length;
        v[i] = 0;
        for (int j = i + 1; j < n; ++j) {
            const double r = row[j];
            row[j] = c * r + s * v[j];
            v[j] = c * v[j] - s * r;
        }
    }
}

}  // namespace

RingCovariance::RingCovariance(std::size_t rings) : factors_(rings), aeSquares_(rings, 0) {
    for (auto& factor : factors_) factor.fill(0);
}

void RingCovariance::addRow(std::size_t ring, const double* sharedRow, double aeDerivative) {
    std::array<double, ringColumns> v{};
    v[0] = aeDerivative;
    aeSquares_[ring] += aeDerivative * aeDerivative;
    for (int k = 0; k < sharedVariableCount; ++k) {
        v[static_cast<std::size_t>(k) + 1] = sharedRow[k];
        sharedSquares_[static_cast<std::size_t>(k)] += sharedRow[k] * sharedRow[k];
    }
    rotateIn(factors_[ring].data(), v.data(), ringColumns);
    ++rows_;
}

std::optional<FitCovariance> RingCovariance::covariance() const {
    constexpr int n = sharedVariableCount;
    double largestNorm = 0;
    for (const double s : sharedSquares_) largestNorm = std::max(largestNorm, std::sqrt(s));
    for (const double s : aeSquares_) largestNorm = std::max(largestNorm, std::sqrt(s));
    const double columns = static_cast<double>(n) + static_cast<double>(factors_.size());
    const double tolerance =
        20 * (static_cast<double>(rows_) + columns) * std::numeric_limits<double>::epsilon() * largestNorm;

    // The shared rows of every ring's factor, rotated into one factor U of the shared variables.
    std::array<double, n * n> u{};
    for (const auto& factor : factors_) {
        if (!(std::fabs(factor[0]) > tolerance)) return std::nullopt;
        for (int i = 1; i < ringColumns; ++i) {
            std::array<double, n> v{};
            for (int j = 0; j < n; ++j) v[static_cast<std::size_t>(j)] = factor[static_cast<std::size_t>(i * ringColumns + j + 1)];
            rotateIn(u.data(), v.data(), n);
        }
    }
    for (int i = 0; i < n; ++i) {
        if (!(std::fabs(u[static_cast<std::size_t>(i * n + i)]) > tolerance)) return std::nullopt;
    }
    // U^-1 by back substitution, column by column.
    std::array<double, n * n> inverse{};
    for (int c = 0; c < n; ++c) {
        for (int r = c; r >= 0; --r) {
            double sum = r == c ? 1 : 0;
            for (int k = r + 1; k <= c; ++k) sum -= u[static_cast<std::size_t>(r * n + k)] * inverse[static_cast<std::size_t>(k * n + c)];
            inverse[static_cast<std::size_t>(r * n + c)] = sum / u[static_cast<std::size_t>(r * n + r)];
        }
    }
    FitCovariance out;
    // Of the shared variables: U^-1 U^-T.
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) {
            double sum = 0;
            for (int k = std::max(r, c); k < n; ++k) {
                sum += inverse[static_cast<std::size_t>(r * n + k)] * inverse[static_cast<std::size_t>(c * n + k)];
            }
            out.shared[static_cast<std::size_t>(r * n + c)] = sum;
        }
    }
    // A ring's factor row [rho, w]: its AE's row of the inverse factor is [1 / rho, -w^T U^-1 / rho].
    for (const auto& factor : factors_) {
        const double rho = factor[0];
        std::array<double, n> wInverse{};  // w^T U^-1
        for (int c = 0; c < n; ++c) {
            double sum = 0;
            for (int k = 0; k <= c; ++k) sum += factor[static_cast<std::size_t>(k + 1)] * inverse[static_cast<std::size_t>(k * n + c)];
            wInverse[static_cast<std::size_t>(c)] = sum;
        }
        double squares = 0;
        for (const double x : wInverse) squares += x * x;
        out.ae.push_back((1 + squares) / (rho * rho));
        std::array<double, n> cross{};  // -(U^-1 U^-T w) / rho = -(U^-1 (w^T U^-1)^T) / rho
        for (int r = 0; r < n; ++r) {
            double sum = 0;
            for (int k = r; k < n; ++k) sum += inverse[static_cast<std::size_t>(r * n + k)] * wInverse[static_cast<std::size_t>(k)];
            cross[static_cast<std::size_t>(r)] = -sum / rho;
        }
        out.sharedWithAe.push_back(cross);
    }
    return out;
}
