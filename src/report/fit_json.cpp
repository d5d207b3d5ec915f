#include "report/fit_json.hpp"

#include <nlohmann/json.hpp>

#include <cmath>

#include "base/constants.hpp"
#include "base/ring_source.hpp"
#include "model/ellipse_model.hpp"
#include "model/four_centre_limit.hpp"
#include "model/oval_construction.hpp"

namespace {

// Keys in the order written, the input and the result first.
using json = nlohmann::ordered_json;

json number(Real80 value) {
    const double d = static_cast<double>(value);
    return std::isfinite(d) ? json(d) : json(nullptr);
}

/// The shared values of an oval, as named in the file.
json sharedValues(Real80 x, Real80 y, Real80 rotationDegrees, Real80 oa, Real80 ob, Real80 oc, Real80 dc) {
    return {{"centre", {{"x", number(x)}, {"y", number(y)}}},
            {"rotation_degrees", number(rotationDegrees)},
            {"oa", number(oa)},
            {"ob", number(ob)},
            {"oc", number(oc)},
            {"dc", number(dc)}};
}

json standardErrors(const StandardErrors& e) {
    json out = sharedValues(e.centreX, e.centreY, e.rotationDegrees, e.oa, e.ob, e.oc, e.dc);
    out["rings"] = json::array();
    for (const std::optional<RingErrors>& ring : e.rings) {
        out["rings"].push_back(ring ? json{{"ae", number(ring->ae)},
                                           {"semi_major", number(ring->semiMajor)},
                                           {"semi_minor", number(ring->semiMinor)}}
                                    : json(nullptr));
    }
    return out;
}

/// The rings of an ellipse run: each ring's semi-axes, points, rms and coverage under the keys
/// of the oval's rings, its radii null, and every point's deviation.
json ellipseRings(const FitRun& run, const CurveStore& curves) {
    json rings = json::array();
    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
        const std::size_t ring = static_cast<std::size_t>(j - 1);
        const RingAxes axes = EllipseModel::semiAxes(nullptr, run.parameters.rings[ring].data());
        json deviations = json::array();
        for (const Real80 d : run.quality.deviations.byCurve[ring]) deviations.push_back(number(d));
        rings.push_back({{"ae", nullptr},
                         {"r_med", nullptr},
                         {"r_max", nullptr},
                         {"semi_major", number(axes.semiMajor)},
                         {"semi_minor", number(axes.semiMinor)},
                         {"points", curves.pointCount(j)},
                         {"rms", curves.pointCount(j) == 0 ? json(nullptr)
                                                           : number(run.quality.deviations.curveRms[ring])},
                         {"coverage_degrees", number(run.quality.coverageDegrees[ring])},
                         {"deviations", deviations}});
    }
    return rings;
}

/// The ovals' rings (eight-centre and four-centre runs).
json ovalRings(const FitRun& run, const CurveStore& curves) {
    const CoefficientVector& c = run.fit.coefficients;
    const OvalConstruction k = buildOvalConstruction(c);
    json rings = json::array();
    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
        const std::size_t ring = static_cast<std::size_t>(j - 1);
        const ArcRadii radii = arcRadii(k, c.coef(coefficient::ae(j)));
        const SemiAxes axes = semiAxes(k, radii.rMin, radii.rMax);
        rings.push_back({{"ae", number(radii.rMin)},
                         {"r_med", number(radii.rMed)},
                         {"r_max", number(radii.rMax)},
                         {"semi_major", number(axes.semiMajor)},
                         {"semi_minor", number(axes.semiMinor)},
                         {"points", curves.pointCount(j)},
                         {"rms", curves.pointCount(j) == 0 ? json(nullptr)
                                                           : number(run.quality.deviations.curveRms[ring])},
                         {"coverage_degrees", number(run.quality.coverageDegrees[ring])}});
    }
    return rings;
}

}  // namespace

std::string fitJson(const FitRun& run, const CurveStore& curves) {
    const bool ellipse = run.model == FitModel::Ellipse;
    json out = {{"input", run.inputFileName},
                {"model", std::string(fitModelName(run.model))},
                {"rms", number(run.quality.deviations.rms)},
                {"stop_reason", std::string(stopReasonName(run.fit.stopReason))},
                {"iterations", run.fit.iterations},
                {"evaluations", run.fit.evaluations},
                {"proper", run.proper},
                {"construction_fault", run.proper ? json(nullptr) : json(run.faultSentence)}};
    if (ellipse) {
        const std::vector<double>& p = run.parameters.shared;
        out.update(sharedValues(p[placement::centreX], p[placement::centreY],
                                p[placement::rotation] * constant::degreesPerRadian, NAN, NAN, NAN, NAN));
        out["rings"] = ellipseRings(run, curves);
    } else {
        const CoefficientVector& c = run.fit.coefficients;
        const OvalConstruction k = buildOvalConstruction(c);
        out.update(sharedValues(c.coef(coefficient::centreX), c.coef(coefficient::centreY),
                                c.coef(coefficient::rotation) * constant::degreesPerRadian, k.oa, k.ob, k.oc, k.dc));
        out["rings"] = ovalRings(run, curves);
    }
    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
        // Where the ring came from: its layer's name, the value that grouped its pieces and their
        // ids; null (ids empty) when the plan does not say.
        const RingSource* source = ringSourceOf(curves, j);
        json& entry = out["rings"][static_cast<std::size_t>(j - 1)];
        entry["source"] = source && !source->layer.empty() ? json(source->layer) : json(nullptr);
        entry["source_group"] = source && !source->group.empty() ? json(source->group) : json(nullptr);
        entry["source_ids"] = source ? json(source->pieces) : json::array();
    }
    out["standard_errors"] = run.fit.standardErrors ? standardErrors(*run.fit.standardErrors) : json(nullptr);

    if (ellipse) {
        const CurveParameters& m = run.modelStart;
        json start = sharedValues(m.shared[placement::centreX], m.shared[placement::centreY],
                                  m.shared[placement::rotation] * constant::degreesPerRadian, NAN, NAN, NAN, NAN);
        start["from"] = "points";
        start["ae"] = json::array();
        start["rings"] = json::array();
        for (const std::vector<double>& ring : m.rings) {
            start["rings"].push_back({{"semi_x", number(ring[EllipseModel::semiX])},
                                      {"semi_y", number(ring[EllipseModel::semiY])}});
        }
        out["start"] = start;
    } else {
        const CoefficientVector& s = run.start;
        json start = sharedValues(s.coef(coefficient::centreX), s.coef(coefficient::centreY),
                                  s.coef(coefficient::rotation), s.coef(coefficient::oa), s.coef(coefficient::ob),
                                  s.coef(coefficient::oc), s.coef(coefficient::dc));
        start["from"] = run.startFromPoints ? "points" : "--start";
        start["ae"] = json::array();
        for (std::int32_t j = 1; j <= s.curveCount(); ++j) start["ae"].push_back(number(s.coef(coefficient::ae(j))));
        out["start"] = start;
    }
    if (run.model == FitModel::FourCentre) {
        out["limiting_position"] = {{"oc", number(buildOvalConstruction(run.fit.coefficients).oc)},
                                    {"dc", "|C1 B1|: D on B"},
                                    {"why", limitingOcReason}};
    }

    if (run.settings.robust) {
        json downWeighted = json::array();
        for (const DownWeightedPoint& p : run.fit.downWeighted) {
            downWeighted.push_back({{"ring", p.ring},
                                    {"point", p.point},
                                    {"x", number(curves.x(p.ring, p.point))},
                                    {"y", number(curves.y(p.ring, p.point))},
                                    {"deviation", number(p.deviation)},
                                    {"weight", number(p.weight)}});
        }
        out["robust"] = {{"scale", number(run.fit.robustScale)}, {"down_weighted", downWeighted}};
    } else {
        out["robust"] = nullptr;
    }
    out["warnings"] = run.quality.warnings;
    out["warning_codes"] = run.quality.warningCodes;
    // A file or layer name that is not UTF-8 gets U+FFFD for its stray bytes instead of ending the run.
    return out.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}
