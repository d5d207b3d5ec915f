#include "fit/compared_fits.hpp"

#include <cmath>
#include <numbers>
#include <type_traits>

#include "fit/model_from_points.hpp"
#include "fit/oval_fit.hpp"
#include "fit/starting_values.hpp"
#include "model/model_registry.hpp"

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

/// The model's name in a sentence ("four-centre oval"), and the name of the model it is a special
/// case of (empty when none is).
template <CurveModel M>
std::string nounOf() {
    if constexpr (requires { M::noun; }) {
        return std::string(M::noun);
    } else {
        return std::string(M::name);
    }
}
template <CurveModel M>
std::string specialCaseOf() {
    if constexpr (requires { M::specialCaseOf; }) {
        return std::string(M::specialCaseOf);
    } else {
        return {};
    }
}

/// Model M fitted from the points alone, or why it could not be: the eight-centre oval as kelmar
/// fit finds it (its starting values with their wider search, then its fit, without standard
/// errors), every other model from its starting candidates of the rings' mean ellipse.
template <CurveModel M>
std::optional<CurveParameters> fittedFromPoints(const CurveStore& curves, std::string& failure) {
    constexpr const char* noStart = "no ring yields an ellipse to start from";
    if constexpr (std::is_same_v<M, EightCentreModel>) {
        const std::optional<AutomaticStart> start = startingValues(curves);
        if (!start) {
            failure = noStart;
            return std::nullopt;
        }
        OvalFitSettings settings;
        settings.standardErrors = false;
        const OvalFit oval = fitOval(curves, start->coefficients, settings);
        for (const Real80 v : oval.coefficients.values) {
            if (!std::isfinite(v)) {
                failure = "the fit ended without a usable oval (a value is not a number)";
                return std::nullopt;
            }
        }
        return eightCentreParametersOf(oval.coefficients);
    } else {
        ScreeningSettings screening;
        screening.standardErrors = false;  // a comparison shows none
        const std::optional<ModelFitResult> result = fitModelFromPoints<M>(curves, screening);
        if (!result) {
            failure = noStart;
            return std::nullopt;
        }
        return result->parameters;
    }
}

/// Model M fitted from the points alone, with its deviations by ring and angle.
template <CurveModel M>
ComparedFit compareModel(const CurveStore& curves) {
    ComparedFit fit;
    fit.standing.model = std::string(M::name);
    fit.standing.noun = nounOf<M>();
    fit.standing.specialCaseOf = specialCaseOf<M>();
    const std::vector<ParameterInfo> infos = parameterList<M>(curves.curveCount());
    fit.standing.parameters = static_cast<int>(infos.size());
    std::string failure;
    const std::optional<CurveParameters> found = fittedFromPoints<M>(curves, failure);
    if (!found) {
        fit.failure = failure;
        return fit;
    }
    const CurveParameters& p = *found;
    std::vector<double> flat = p.shared;
    for (const std::vector<double>& ring : p.rings) flat.insert(flat.end(), ring.begin(), ring.end());
    for (std::size_t k = 0; k < infos.size() && k < flat.size(); ++k) {
        const bool angle = infos[k].unit == ParameterUnit::Angle;
        fit.values.push_back({infos[k].name, infos[k].unit, angle ? flat[k] * degreesPerRadian : flat[k]});
    }
    const double* shape = p.shared.data() + placement::count;
    for (std::size_t j = 0; j < p.rings.size() && j < curves.curves.size(); ++j) {
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

}  // namespace

std::vector<ComparedFit> fitEveryModel(const CurveStore& curves) {
    std::vector<ComparedFit> fits;
    forEachCurveModel([&](auto model) { fits.push_back(compareModel<decltype(model)>(curves)); });
    return fits;
}

Weighing weighFits(const std::vector<ComparedFit>& fits) {
    std::vector<ModelStanding> standings;
    for (const ComparedFit& fit : fits) standings.push_back(fit.standing);
    return weighModels(standings);
}
