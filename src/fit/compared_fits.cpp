#include "fit/compared_fits.hpp"

#include <cmath>
#include <numbers>

#include "fit/model_from_points.hpp"
#include "fit/oval_fit.hpp"
#include "fit/own_frame_arc.hpp"
#include "fit/starting_values.hpp"
#include "model/ellipse_model.hpp"
#include "model/four_centre_model.hpp"
#include "model/oval_construction.hpp"

namespace {

constexpr double degreesPerRadian = 180 / std::numbers::pi;

/// The direction of own-frame point (x, y) in degrees, in [0, 360).
double angleDegrees(double x, double y) {
    double angle = std::atan2(y, x) * degreesPerRadian;
    if (angle < 0) angle += 360;
    return angle >= 360 ? 0 : angle;
}

/// The sums of a fit's deviations, set into `fit` with its criteria.
void finishFit(ComparedFit& fit) {
    double sumOfSquares = 0;
    fit.points = 0;
    for (ComparedRing& ring : fit.rings) {
        double ringSum = 0;
        for (const AngledDeviation& d : ring.deviations) ringSum += d.deviation * d.deviation;
        ring.points = static_cast<std::int64_t>(ring.deviations.size());
        ring.rms = ring.points > 0 ? std::sqrt(ringSum / static_cast<double>(ring.points)) : 0;
        sumOfSquares += ringSum;
        fit.points += ring.points;
    }
    fit.rms = fit.points > 0 ? std::sqrt(sumOfSquares / static_cast<double>(fit.points)) : 0;
    if (fit.points > 0 && std::isfinite(sumOfSquares)) {
        fit.standing.criteria = informationCriteria(fit.points, sumOfSquares, fit.standing.parameters);
    } else {
        fit.failure = "the fit ended without a usable curve";
    }
}

/// Model M fitted from the points alone.
template <CurveModel M>
ComparedFit compareModel(const CurveStore& curves, std::string noun, std::string specialCaseOf) {
    ComparedFit fit;
    fit.standing.model = std::string(M::name);
    fit.standing.noun = std::move(noun);
    fit.standing.specialCaseOf = std::move(specialCaseOf);
    const std::vector<ParameterInfo> infos = parameterList<M>(curves.curveCount());
    fit.standing.parameters = static_cast<int>(infos.size());
    ScreeningSettings screening;
    screening.standardErrors = false;  // a comparison shows none
    const std::optional<ModelFitResult> result = fitModelFromPoints<M>(curves, screening);
    if (!result) {
        fit.failure = "no ring yields an ellipse to start from";
        return fit;
    }
    const CurveParameters& p = result->parameters;
    std::vector<double> flat = p.shared;
    for (const std::vector<double>& ring : p.rings) flat.insert(flat.end(), ring.begin(), ring.end());
    for (std::size_t k = 0; k < infos.size() && k < flat.size(); ++k) {
        const bool angle = infos[k].unit == ParameterUnit::Angle;
        fit.values.push_back({infos[k].name, infos[k].unit, angle ? flat[k] * degreesPerRadian : flat[k]});
    }
    const double* shape = p.shared.data() + placement::count;
    for (std::size_t j = 0; j < p.rings.size(); ++j) {
        ComparedRing ring;
        ring.axes = M::semiAxes(shape, p.rings[j].data());
        const Curve& curve = curves.curves[j];
        for (std::size_t i = 0; i < curve.x.size(); ++i) {
            const double x = static_cast<double>(curve.x[i]);
            const double y = static_cast<double>(curve.y[i]);
            const OwnFramePoint<double> q = ownFramePoint(p.shared.data(), x, y);
            ring.deviations.push_back({angleDegrees(q.x, q.y), pointDeviation<M>(p.shared.data(), p.rings[j].data(), x, y)});
        }
        fit.rings.push_back(std::move(ring));
    }
    finishFit(fit);
    return fit;
}

/// The eight-centre oval as kelmar fit finds it from the points alone, without standard errors.
ComparedFit compareEightCentre(const CurveStore& curves) {
    ComparedFit fit;
    fit.standing.model = "eight-centre";
    fit.standing.noun = "eight-centre oval";
    fit.standing.parameters = coefficient::sharedCount + curves.curveCount();
    const std::optional<AutomaticStart> start = startingValues(curves);
    if (!start) {
        fit.failure = "no ring yields an ellipse to start from";
        return fit;
    }
    OvalFitSettings settings;
    settings.standardErrors = false;
    const OvalFit oval = fitOval(curves, start->coefficients, settings);
    const CoefficientVector& c = oval.coefficients;
    for (const Real80 v : c.values) {
        if (!std::isfinite(v)) {
            fit.failure = "the fit ended without a usable oval (a value is not a number)";
            return fit;
        }
    }
    const double cx = static_cast<double>(c.coef(coefficient::centreX));
    const double cy = static_cast<double>(c.coef(coefficient::centreY));
    const double rotation = static_cast<double>(c.coef(coefficient::rotation));
    fit.values = {{"centre x", ParameterUnit::Length, cx},
                  {"centre y", ParameterUnit::Length, cy},
                  {"rotation", ParameterUnit::Angle, rotation * degreesPerRadian},
                  {"OA", ParameterUnit::Length, static_cast<double>(c.coef(coefficient::oa))},
                  {"OB", ParameterUnit::Length, static_cast<double>(c.coef(coefficient::ob))},
                  {"OC", ParameterUnit::Length, static_cast<double>(c.coef(coefficient::oc))},
                  {"DC", ParameterUnit::Length, static_cast<double>(c.coef(coefficient::dc))}};
    for (std::int32_t j = 1; j <= c.curveCount(); ++j) {
        fit.values.push_back({"AE" + std::to_string(j), ParameterUnit::Length, static_cast<double>(c.coef(coefficient::ae(j)))});
    }
    const OvalConstruction construction = buildOvalConstruction(c);
    const OwnFrameDeviations deviations = ownFrameDeviations(c, curves);
    const double placement[placement::count] = {cx, cy, rotation};
    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
        ComparedRing ring;
        const Real80 ae = c.coef(coefficient::ae(j));
        const SemiAxes axes = semiAxes(construction, ae, arcRadii(construction, ae).rMax);
        ring.axes = {static_cast<double>(axes.semiMajor), static_cast<double>(axes.semiMinor)};
        const Curve& curve = curves.curves[static_cast<std::size_t>(j - 1)];
        const std::vector<Real80>& byPoint = deviations.byCurve[static_cast<std::size_t>(j - 1)];
        for (std::size_t i = 0; i < curve.x.size(); ++i) {
            const OwnFramePoint<double> q =
                ownFramePoint(placement, static_cast<double>(curve.x[i]), static_cast<double>(curve.y[i]));
            ring.deviations.push_back({angleDegrees(q.x, q.y), static_cast<double>(byPoint[i])});
        }
        fit.rings.push_back(std::move(ring));
    }
    finishFit(fit);
    return fit;
}

}  // namespace

std::vector<ComparedFit> fitEveryModel(const CurveStore& curves) {
    std::vector<ComparedFit> fits;
    fits.push_back(compareModel<EllipseModel>(curves, "ellipse", ""));
    fits.push_back(compareModel<FourCentreModel>(curves, "four-centre oval", "eight-centre"));
    fits.push_back(compareEightCentre(curves));
    return fits;
}

Weighing weighFits(const std::vector<ComparedFit>& fits) {
    std::vector<ModelStanding> standings;
    for (const ComparedFit& fit : fits) standings.push_back(fit.standing);
    return weighModels(standings);
}
