#pragma once
/// The least-squares fit of the oval to the points, each point on the arc its own-frame position
/// gives, by a trust-region (Levenberg-Marquardt) solver; the reason it stopped, the standard
/// errors of the coefficients and of each ring's semi-axes, and for a robust fit the points it
/// down-weighted.

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/real80.hpp"
#include "base/records.hpp"
#include "fit/model_fit.hpp"


struct OvalFitSettings {
    /// A robust loss: a point far beyond the typical deviation pulls the oval less and less.
    bool robust = false;
    /// Solver iterations at most, over all rounds of a robust fit: a partial ring may need several
    /// hundred to crawl along its valley to the optimum.
    std::int32_t maxIterations = 1000;
    /// Relative change of the sum of squares in one iteration below which the solver has converged.
    double functionTolerance = 1e-10;
    /// The fit has also converged when the sum of squares fell by less than this fraction over the
    /// last stallIterations iterations: a flat valley (a nearly circular drawing lets OB grow
    /// almost freely) is not crawled along for digits nobody reads. 0: never.
    double stallFraction = 1e-5;
    /// The standard errors, from the covariance at the optimum.
    bool standardErrors = true;
    /// Told of each long stage after the iterations as it starts ("standard errors"); may be empty.
    std::function<void(const std::string&)> stageReport;
    /// How far C and D keep from the ends of their segments, as a fraction of each segment: 0
    /// lets them reach the ends, where the oval degenerates.
    double placeMargin = 0;
};

/// One solver iteration: the oval after it and the root mean square own-frame deviation.
struct FitIteration {
    std::int32_t number = 0;
    bool accepted = false;  // false: the step was rejected and the oval is unchanged
    CoefficientVector coefficients;  // rotation in radians
    double rms = 0;
};
using IterationReport = std::function<void(const FitIteration&)>;

/// Standard errors of a ring's values.
struct RingErrors {
    double ae = 0, semiMajor = 0, semiMinor = 0;
};

/// Standard errors from the covariance at the optimum, scaled by the residual variance. Rings
/// without points have none (nullopt), and none at all are available when the points do not
/// determine every coefficient.
struct StandardErrors {
    double centreX = 0, centreY = 0, rotationDegrees = 0, oa = 0, ob = 0, oc = 0, dc = 0;
    std::vector<std::optional<RingErrors>> rings;
};


struct OvalFit {
    CoefficientVector coefficients;  // rotation in radians, in (-pi/2, pi/2]; lengths positive
    StopReason stopReason = StopReason::Converged;
    std::int32_t iterations = 0;
    std::int32_t evaluations = 0;  // of all deviations
    std::optional<StandardErrors> standardErrors;
    /// The least eigenvalue of the correlation matrix of the construction's and the placement's
    /// coefficients (1 when they are independent): near 0 when some combination of them is barely
    /// determined by the points. NaN without standard errors.
    double leastCorrelationEigenvalue = std::numeric_limits<double>::quiet_NaN();
    double robustScale = 0;  // deviations beyond this count as outliers (robust fit only)
    std::vector<DownWeightedPoint> downWeighted;
};

/// Fits the oval to `curves` from `start` (rotation in radians; lengths as their absolute values).
/// Rings without points keep their AE. Each iteration is reported as it ends. A fit that would stop
/// without a single step first tries a small step along each shared variable both ways, and goes on
/// from the one that lowers the sum of squares most (reported as usual) when one lowers it.
OvalFit fitOval(const CurveStore& curves, const CoefficientVector& start, const OvalFitSettings& settings,
                const IterationReport& report = {});
