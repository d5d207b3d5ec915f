#pragma once
/// How much a fitted oval can be trusted: every point's own-frame deviation, each ring's share of
/// its oval, whether the construction is proper, and the warnings a user should read.

#include <cstdint>
#include <string>
#include <vector>

#include "base/records.hpp"
#include "fit/oval_fit.hpp"
#include "fit/own_frame_arc.hpp"
#include "model/oval_construction.hpp"

/// A ring whose points span less than this angle about the centre (in the oval's own frame) covers
/// less than about half of its oval.
inline constexpr double minCoverageDegrees = 162;

/// The names of the warnings in kelmar.json's `warning_codes`: names are added, never renamed.
namespace warningCode {
inline constexpr const char* coverage = "coverage";
inline constexpr const char* fewPoints = "few_points";
inline constexpr const char* improper = "improper";
inline constexpr const char* runaway = "runaway";
inline constexpr const char* noStandardErrors = "no_standard_errors";
inline constexpr const char* unreliableErrors = "unreliable_errors";
inline constexpr const char* iterationLimit = "iteration_limit";
inline constexpr const char* noProgress = "no_progress";
inline constexpr const char* multipleOptima = "multiple_optima";
}  // namespace warningCode

struct FitQuality {
    OwnFrameDeviations deviations;      // of the fitted oval: its rms is the fit's rms
    std::vector<double> coverageDegrees;  // per ring: the angle about the centre its points span
    ConstructionFault fault = ConstructionFault::None;
    std::string faultDescription;        // empty for a proper oval
    std::vector<std::string> warnings;   // sentences, in the order of the rings
    std::vector<std::string> warningCodes;  // the warningCode of each kind of warning given, once each
};

/// Adds a warning sentence and, unless it is already there, its code.
void addWarning(FitQuality& quality, const char* code, std::string sentence);

/// Another start's end is an answer as good as the fit's when its rms lies within this fraction of
/// the fit's rms.
inline constexpr double otherOptimumMargin = 0.01;
/// ... and a different answer when its rotation or a ring's semi-axis lies more than this many
/// standard errors from the fit's.
inline constexpr double clearlyApartErrors = 3;

/// Adds the multiple_optima warning, with both answers, when `other` (where another start ended,
/// with rms `otherRms` over the same points) is as good an answer as `fit` and a clearly different
/// oval. Without standard errors, a rotation a degree apart or a semi-axis 1 % apart is different.
void warnOfOtherOptimum(FitQuality& quality, const CurveStore& curves, const OvalFit& fit,
                        const CoefficientVector& other, Real80 otherRms);

/// The angle (degrees, 0 to 360) about (cx, cy) that the points span: the turn less the widest
/// gap between neighbours, plus one typical spacing for the half spacing beyond each end point.
double coveredAngleDegrees(const Curve& curve, Real80 cx, Real80 cy);

/// What a ring adds to a fit, for its warnings: the coefficients a ring brings when it is the only
/// one with points and when it is one of several, and what a ring without points leaves unfitted
/// ("its AE is not fitted and keeps its starting value").
struct RingCounts {
    std::int64_t loneRingAdds = 0;
    std::int64_t ringAdds = 0;
    std::string notFitted;
};

/// Each ring's coverage about (cx, cy) into `quality`, and the few_points and coverage warnings.
void addRingWarnings(FitQuality& quality, const CurveStore& curves, Real80 cx, Real80 cy, const RingCounts& counts);

/// The quality of `fit` over `curves` (`settings` as the fit ran).
FitQuality assessFit(const CurveStore& curves, const OvalFit& fit, const OvalFitSettings& settings);
