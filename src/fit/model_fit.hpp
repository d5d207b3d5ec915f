#pragma once
/// The least-squares fit of any curve model to rings of points, with automatic derivatives
/// through the model's templated deviation, and the parts of a solver written once for every
/// model: the frame and unit of the points, the robust loss applied point by point, the stall stop,
/// why the solver stopped, the probing steps along the shared parameters and the least
/// correlation eigenvalue.

#include <ceres/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/real80.hpp"
#include "base/records.hpp"
#include "fit/ring_deviations.hpp"
#include "model/curve_model.hpp"

namespace ceres {
class LossFunction;
}

/// Why the solver stopped.
enum class StopReason { Converged, IterationLimit, NoProgress };
std::string_view stopReasonName(StopReason reason);  // "converged", "iteration limit", "no progress"

/// The reason of the solver's termination type and message: a trust region shrunk to nothing,
/// which the solver counts as convergence, is no progress.
StopReason stopReasonOf(ceres::TerminationType termination, const std::string& message);

/// Ceres's own log lines would mix with the program's output: silenced once for the process.
void silenceSolverLog();

/// The iterations over which a stall is judged.
inline constexpr std::int32_t stallIterations = 10;

/// The solver's cost after each iteration (the start of a round first): whether the fit has
/// stalled, its cost having fallen by less than `fraction` of itself over the last stallIterations.
class StallWatch {
public:
    bool stalledAfter(double cost, double fraction);

private:
    std::vector<double> costs_;
};

/// Where a fit's coordinates start (the middle of the points, so that a survey's large
/// coordinates keep their digits), how large the drawing is, and the unit the fit measures lengths
/// in: a power of two near the drawing's extent, so that a drawing a millionth or a billion units
/// across is fitted in the same numbers as one a unit across (a power of two scales every length
/// exactly), and the solver's and the covariance's absolute thresholds mean the same at every size.
struct FitFrame {
    Real80 originX = 0, originY = 0;
    double extent = 1;
    double unit = 1;
    /// The bounds of a length, in the fit's unit: positive, so that a construction never
    /// collapses, and finite, so that lengths cannot run away.
    double shortest() const;
    double longest() const;
};

/// The frame of the mean point and the diagonal of the points' box; for a robust fit, of the
/// median point and four times the median distance from it (a point typed a thousand times too
/// far would drag the mean and the box with it).
FitFrame fitFrameOf(const CurveStore& curves, bool robust);

/// The points of every curve with points, in the frame's origin and unit.
std::vector<RingPoints> ringsInFrame(const CurveStore& curves, const FitFrame& frame);

/// The robust loss (Cauchy) and its scale from the deviations.
namespace robust {
/// The scale of the loss is this many robust standard deviations (the Cauchy loss's usual
/// tuning, 95 % efficient on normal noise).
inline constexpr double cauchyTuning = 2.385;
/// The median absolute deviation times this estimates the standard deviation of normal noise.
inline constexpr double madToSigma = 1.4826;
/// A robust fit stops refining its scale when the scale changes by less than this fraction.
inline constexpr double scaleSettled = 0.1;
inline constexpr int maxRounds = 4;
/// Points whose weight falls below this are listed: one fifth means a deviation of twice the
/// scale, beyond about five standard deviations, which is a slip rather than noise.
inline constexpr double downWeightedBelow = 0.2;
}  // namespace robust

/// The median absolute deviation, as a standard deviation, never below `floor`.
double robustSigma(std::vector<double> deviations, double floor);

/// With a robust loss rho (none: nothing to do), each of `count` deviations e becomes
/// sign(e) sqrt(rho(e^2)) and its rows of derivatives follow: `sharedRows` holds `sharedWidth`
/// derivatives a deviation, `ringRows` `ringWidth` (either may be null). The solver's sum of squares
/// is then the robust cost point by point (a loss given to the solver itself would act on a ring's
/// whole sum of squares at once).
void applyRobustLoss(const ceres::LossFunction* loss, std::size_t count, double* residuals, double* sharedRows,
                     int sharedWidth, double* ringRows, int ringWidth);

/// The steps a fit that stops without a single step tries along each shared parameter, both ways,
/// and how far a parameter kept within [0, 1] (a place on a segment) keeps from its ends.
namespace probe {
/// Lengths (the centre among them) as fractions of the drawing's extent.
inline constexpr double length = 1e-3;
/// Angles in radians.
inline constexpr double angle = 1e-2;
/// Fractions (the places of points on segments).
inline constexpr double fraction = 2e-2;
/// A probe counts when it lowers the sum of squares by more than this fraction.
inline constexpr double gain = 1e-9;
}  // namespace probe

/// `value`, in the fit's unit, stepped once along its parameter `info`, `sign` either way, kept
/// within its bounds: a bounded length within the frame's shortest and longest, a fraction within
/// [placeMargin, 1 - placeMargin].
double probedValue(double value, double sign, const ParameterInfo& info, const FitFrame& frame, double placeMargin);

/// The rotation in (-pi/2, pi/2]: every model's curve is the same turned by half a turn.
double normalisedRotation(double theta);

// ------------------------------------------------------------------------------- the ring solver

/// How the ring solver runs.
struct RingSolverSettings {
    /// A robust loss: a point far beyond the typical deviation pulls the curve less and less.
    bool robust = false;
    /// Solver iterations at most, over all rounds of a robust fit.
    std::int32_t maxIterations = 1000;
    /// Relative change of the sum of squares in one iteration below which the solver has converged.
    double functionTolerance = 1e-10;
    /// The fit has also converged when the sum of squares fell by less than this fraction over the
    /// last stallIterations iterations. 0: never.
    double stallFraction = 1e-5;
    /// The covariance at the optimum.
    bool standardErrors = true;
    /// Told of each long stage after the iterations as it starts ("standard errors"); may be empty.
    std::function<void(const std::string&)> stageReport;
    /// How far a place on a segment (a parameter in [0, 1]) keeps from the segment's ends.
    double placeMargin = 0;
};

/// One iteration of the ring solver: the family after it, in the fit's frame and unit, and the root
/// mean square deviation in the drawing's units.
struct RingSolverIteration {
    std::int32_t number = 0;
    bool accepted = false;  // false: the step was rejected and the family is unchanged
    const CurveParameters* parameters = nullptr;
    double rms = 0;
};
using RingSolverReport = std::function<void(const RingSolverIteration&)>;

/// The unscaled covariance (the inverse of J^T J) of the shared block with itself, and with and of
/// each ring's block, for the rings with points in the order they were given; row by row.
struct BlockCovariance {
    std::vector<double> shared;
    std::vector<std::vector<double>> sharedWithRing;
    std::vector<std::vector<double>> ring;
};

/// A point whose weight the robust loss brought below robust::downWeightedBelow.
struct DownWeightedPoint {
    std::int32_t ring = 0, point = 0;  // counted from 1
    Real80 deviation = 0;              // in the drawing's units
    double weight = 0;
};

/// What the ring solver ended on, besides the family.
struct RingSolverResult {
    StopReason stopReason = StopReason::Converged;
    std::int32_t iterations = 0;
    std::int32_t evaluations = 0;  // of all deviations
    /// With standard errors asked for, more points than parameters and a Jacobian of full rank.
    std::optional<BlockCovariance> covariance;
    /// The residual variance that scales the covariance into standard errors, in the fit's unit.
    double variance = 0;
    double leastCorrelationEigenvalue = std::numeric_limits<double>::quiet_NaN();
    double robustScale = 0;  // in the drawing's units (robust fit only)
    std::vector<DownWeightedPoint> downWeighted;
};

/// Fits model M to `rings` (points in the frame's origin and unit; ring r belongs to
/// parameters.rings[rings[r].curve - 1]), from and into `parameters` (in the fit's frame and unit;
/// rings without points keep theirs; the rotation ends normalised). One cost per ring: its points'
/// deviations, with the robust loss applied point by point; the shared block is eliminated last.
/// Each parameter is kept within bounds: a place on a segment within [placeMargin, 1 - placeMargin],
/// a length within the model's bounds and the frame's longest, a length of the shape (which keeps
/// the construction apart) from the frame's shortest. A robust fit refines its scale over up to
/// robust::maxRounds rounds. A fit that would stop without a single step first tries a probing
/// step along each shared parameter both ways, and goes on from the one that lowers the sum of
/// squares most. The eight-centre oval's deviations take their derivatives by hand
/// (fit/ring_deviations), every other model's automatically through its templated deviation.
template <CurveModel M>
RingSolverResult solveRings(const std::vector<RingPoints>& rings, const FitFrame& frame, CurveParameters& parameters,
                            const RingSolverSettings& settings, const RingSolverReport& report = {});

/// The least eigenvalue of the correlation matrix of a covariance (`size` x `size`, row by row):
/// 1 when the parameters are independent, near 0 when some combination of them is barely
/// determined.
double leastCorrelationEigenvalue(const double* covariance, int size);

struct ModelFitSettings {
    /// Solver iterations at most.
    std::int32_t maxIterations = 200;
    /// Relative change of the sum of squares in one iteration below which the solver has converged.
    double functionTolerance = 1e-15;
    /// The standard errors, from the covariance at the optimum.
    bool standardErrors = true;
};

/// Standard errors of one ring's parameters (in the order of its block) and of its semi-axes.
struct RingStandardErrors {
    std::vector<double> values;
    RingAxes axes;
};

/// Standard errors from the covariance at the optimum, scaled by the residual variance: of the
/// shared block's parameters (placement, then shape) and of each ring's, none for a ring without
/// points.
struct ModelStandardErrors {
    std::vector<double> shared;
    std::vector<std::optional<RingStandardErrors>> rings;
};

/// What the fit ended on: the family, the root mean square deviation of all points and of each
/// ring, the iterations and whether the solver reports convergence.
struct ModelFitResult {
    CurveParameters parameters;
    double rms = 0;
    std::vector<double> ringRms;  // 0 for a ring without points
    std::int32_t iterations = 0;
    bool converged = false;
    StopReason stopReason = StopReason::Converged;
    /// None when not asked for, or when the points do not determine every parameter (fewer points
    /// than parameters, or a Jacobian without full rank).
    std::optional<ModelStandardErrors> standardErrors;
};

/// Fits model M from `start` to `rings` (ring j of the family takes rings[j]; rings beyond the
/// family are left out), each parameter kept within its model's bounds. The points are taken
/// relative to their mean, so that a plan far from its origin loses no digits. The semi-axes' errors
/// carry the derivatives of the model's ownFrameSemiAxes where it offers them, and central
/// differences of semiAxes otherwise.
template <CurveModel M>
ModelFitResult fitCurveModel(const std::vector<RingPoints>& rings, const CurveParameters& start,
                             const ModelFitSettings& settings = {});
