#pragma once
// A finished `kelmar fit` run made up for the tests of its outputs: rings sampled with noise from
// a known oval, fitted from that oval, with the quality the outputs report.

#include <cmath>
#include <cstdint>
#include <vector>

#include "base/constants.hpp"
#include "fit/fit_quality.hpp"
#include "fit/oval_fit.hpp"
#include "report/fit_report.hpp"
#include "support/noisy_ovals.hpp"

namespace kelmartest {

/// Three rings of OA 10, OB 6, OC 8, DC 5 (AE 2, 3, 4) about (`cx`, `cy`) turned by 25 degrees, five
/// points an arc moved by up to 0.05.
inline CoefficientVector threeRingTruth(Real80 cx = 120, Real80 cy = -80) {
    CoefficientVector truth;
    truth.values = {10, 6, cx, cy, 25 / constant::degreesPerRadian, 8, 5, 2, 3, 4};
    return truth;
}

inline CurveStore threeRingCurves(Real80 cx = 120, Real80 cy = -80) {
    return noisyOvalStore(threeRingTruth(cx, cy), 5, 0.05L, 3);
}

/// The run that `kelmar fit --start` would hand to its outputs for `curves`, started at the truth.
inline FitRun finishedRun(const CurveStore& curves, const CoefficientVector& start) {
    FitRun run;
    run.inputFileName = "plan.dxf";
    run.startFromPoints = false;
    run.start = start;
    run.start.coef(coefficient::rotation) *= constant::degreesPerRadian;
    run.fit = fitOval(curves, start, run.settings);
    run.quality = assessFit(curves, run.fit, run.settings);
    settleEightCentreRun(run);
    return run;
}

}  // namespace kelmartest
