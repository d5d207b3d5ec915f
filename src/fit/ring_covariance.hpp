#pragma once
/// The covariance of the fit's shared variables and each ring's AE, from the rows of the Jacobian
/// taken one at a time: no Jacobian is ever held whole, however many points the rings have.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "fit/ring_deviations.hpp"

/// The unscaled covariance (the inverse of J^T J): of the shared variables, of each ring's AE
/// with them, and of each ring's AE with itself; rings counted as they were added.
struct FitCovariance {
    std::array<double, sharedVariableCount * sharedVariableCount> shared{};
    std::vector<std::array<double, sharedVariableCount>> sharedWithAe;
    std::vector<double> ae;
};

/// Takes the Jacobian's rows ring by ring into a triangular factor per ring (Givens rotations,
/// the ring's AE first), then joins the rings' shared parts into one factor of the shared
/// variables: the Schur complement of the AEs, as a QR factorisation keeps it, without squaring
/// the condition of the Jacobian.
class RingCovariance {
public:
    explicit RingCovariance(std::size_t rings);
    /// One row: the derivatives of a deviation of ring `ring` by the shared variables and by its AE.
    void addRow(std::size_t ring, const double* sharedRow, double aeDerivative);
    /// The covariance; none when the Jacobian is rank deficient (a pivot no larger than
    /// 20 (rows + columns) machine epsilons times the largest column norm).
    std::optional<FitCovariance> covariance() const;

private:
    static constexpr int ringColumns = sharedVariableCount + 1;  // the AE, then the shared variables
    std::vector<std::array<double, ringColumns * ringColumns>> factors_;
    std::array<double, sharedVariableCount> sharedSquares_{};
    std::vector<double> aeSquares_;
    std::int64_t rows_ = 0;
};
