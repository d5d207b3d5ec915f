#pragma once
/// The one record of a finished `kelmar fit`, whatever curve it fitted (the eight-centre oval, the
/// four-centre oval or the ellipse): what the console summary, the report, the drawing, the
/// picture, kelmar.json and kelmar.gpkg all take.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/records.hpp"
#include "fit/fit_quality.hpp"
#include "fit/oval_fit.hpp"
#include "fit/starting_values.hpp"
#include "model/curve_model.hpp"

/// The curves `kelmar fit --model` fits.
enum class FitModel { EightCentre, FourCentre, Ellipse };

/// The model's name on the command line: "eight-centre", "four-centre" or "ellipse".
std::string_view fitModelName(FitModel model);
/// The model of a name as typed; none for a name that is not one.
std::optional<FitModel> fitModelNamed(std::string_view name);
/// Every model's name, the default first.
std::vector<std::string> fitModelNames();

/// Everything a finished fit hands to its outputs.
///
/// The eight-centre oval fills every field. A four-centre oval is held twice: in its own
/// parameters (`parameters`) and as the eight-centre construction in its limiting position (`fit`,
/// `start`: D on B, OC = OA / 2), so that the dialogue's layouts take it as they are. An ellipse
/// has no eight-centre form: `fit.coefficients` and `start` stay empty and the writers draw it from
/// `parameters`. For every model `quality.deviations` holds each point's deviation from its ring
/// (the true distance for the ellipse and the four-centre oval) and `quality.warnings` its warnings.
struct FitRun {
    std::string inputFileName;
    CoefficientVector start;  // as listed and stored in kelmar.coe: the rotation in degrees
    bool startFromPoints = true;  // false: the values of --start
    std::vector<FitIteration> iterations;  // the accepted ones, in order
    OvalFitSettings settings;
    OvalFit fit;
    FitQuality quality;
    std::optional<RefinedStart> runnerUp;  // where another automatic start ended, when elsewhere
    /// The plan's coordinate reference system as WKT, when its reader gives one; empty when
    /// unknown. kelmar.gpkg copies it and nothing else uses it.
    std::string crsWkt;

    FitModel model = FitModel::EightCentre;
    /// The fitted family in the model's own parameters, the rotation in radians: for the
    /// eight-centre oval X, Y, rotation, OA, OB, OC, DC and one AE per ring; for the four-centre
    /// oval X, Y, rotation, OA, OB and one AE per ring; for the ellipse X, Y, rotation and each
    /// ring's semi-axes along and across the rotated X axis.
    CurveParameters parameters;
    /// The start of a model other than the eight-centre oval, in its own parameters.
    CurveParameters modelStart;
    /// Whether the family is a proper construction of its model (the model's own test), and when
    /// it is not, why, in one sentence.
    bool proper = true;
    std::string faultSentence;
};

/// The eight-centre oval's own parameters of `fit` (rotation in radians), as FitRun holds them.
CurveParameters eightCentreParameters(const CoefficientVector& coefficients);

/// Fills the model, the parameters and the verdict of an eight-centre run from its fit and quality.
void settleEightCentreRun(FitRun& run);
