#pragma once
/// The report's listing of every point with its deviation from the fitted oval, and the
/// drawing's points, on layers by how far each point lies from the oval.

#include <cstdint>
#include <functional>
#include <string_view>

#include "base/records.hpp"
#include "base/text_io.hpp"
#include "drawing/drawing_entities.hpp"

/// A point's class by its absolute deviation against the residual R: within (at most R), over
/// (at most 2 R) or twice over; its marker in the listing and its layer in the drawing.
struct PointClass {
    std::string_view marker;
    Layer layer;
};
PointClass classifyDeviation(Real80 deviation, Real80 residual);

/// Appends the listing of every curve to `report` and draws one point per digitised point,
/// classed against `residual`; each point's arc and deviation come from the listing's sector test.
void writePointsListing(OutputChannel& report, const CurveStore& curves, const CoefficientVector& coefficients,
                        Real80 residual, const DrawingSink& draw);

/// The deviation of point i of curve j (both counted from 1), asked for as the listing reaches it.
using DeviationOfPoint = std::function<Real80(std::int32_t j, std::int32_t i)>;

/// The same listing with the deviation of each point from the caller.
void writePointsListing(OutputChannel& report, const CurveStore& curves, const DeviationOfPoint& deviationOf,
                        Real80 residual, const DrawingSink& draw);
