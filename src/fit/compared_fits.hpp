#pragma once
/// Every curve model of the registry (eight-centre oval, four-centre oval, ellipse) fitted to the
/// same points from the points alone, with what a comparison shows of each: its values, its
/// deviations by ring and by angle around the curve, and its information criteria.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/records.hpp"
#include "fit/model_comparison.hpp"
#include "model/curve_model.hpp"

/// One parameter's fitted value (an angle in degrees).
struct NamedValue {
    std::string name;
    ParameterUnit unit = ParameterUnit::Length;
    double value = 0;
};

/// A point's place around its fitted curve (degrees counter-clockwise from the end of the major
/// axis in the curve's own frame, in [0, 360)) and its deviation (positive outside).
struct AngledDeviation {
    double angleDegrees = 0;
    double deviation = 0;
};

/// One ring of a fitted model.
struct ComparedRing {
    std::int64_t points = 0;
    double rms = 0;
    RingAxes axes;
    std::vector<AngledDeviation> deviations;
};

/// One model fitted for the comparison; a failed one has its sentence and nothing else.
struct ComparedFit {
    ModelStanding standing;  // name, noun, parameter count, criteria (none when failed)
    std::optional<std::string> failure;
    std::vector<NamedValue> values;
    std::int64_t points = 0;
    double rms = 0;
    std::vector<ComparedRing> rings;
};

/// Every model of the registry fitted to `curves`, in the registry's order. A model whose fit fails
/// is returned with its failure, so that the others are still compared.
std::vector<ComparedFit> fitEveryModel(const CurveStore& curves);

/// The fitted models weighed by their BIC.
Weighing weighFits(const std::vector<ComparedFit>& fits);
