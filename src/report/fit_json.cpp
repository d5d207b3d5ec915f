#include "report/fit_json.hpp"

#include <nlohmann/json.hpp>

#include <cmath>

#include "base/constants.hpp"
#include "base/ring_source.hpp"
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

}  // namespace

std::string fitJson(const FitRun& run, const CurveStore& curves) {
    const CoefficientVector& c = run.fit.coefficients;
    const OvalConstruction k = buildOvalConstruction(c);
    json out = {{"input", run.inputFileName},
                {"rms", number(run.quality.deviations.rms)},
                {"stop_reason", std::string(stopReasonName(run.fit.stopReason))},
                {"iterations", run.fit.iterations},
                {"evaluations", run.fit.evaluations},
                {"proper", run.quality.fault == ConstructionFault::None},
                {"construction_fault",
                 run.quality.fault == ConstructionFault::None ? json(nullptr) : json(run.quality.faultDescription)}};
    out.update(sharedValues(c.coef(coefficient::centreX), c.coef(coefficient::centreY),
                            c.coef(coefficient::rotation) * constant::degreesPerRadian, k.oa, k.ob, k.oc, k.dc));
    out["rings"] = json::array();
    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
        const std::size_t ring = static_cast<std::size_t>(j - 1);
        const ArcRadii radii = arcRadii(k, c.coef(coefficient::ae(j)));
        const SemiAxes axes = semiAxes(k, radii.rMin, radii.rMax);
        out["rings"].push_back({{"ae", number(radii.rMin)},
                                {"r_med", number(radii.rMed)},
                                {"r_max", number(radii.rMax)},
                                {"semi_major", number(axes.semiMajor)},
                                {"semi_minor", number(axes.semiMinor)},
                                {"points", curves.pointCount(j)},
                                {"rms", curves.pointCount(j) == 0 ? json(nullptr)
                                                                  : number(run.quality.deviations.curveRms[ring])},
                                {"coverage_degrees", number(run.quality.coverageDegrees[ring])}});
        // Where the ring came from: its layer's name, the value that grouped its pieces and their
        // ids; null (ids empty) when the plan does not say.
        const RingSource* source = ringSourceOf(curves, j);
        json& entry = out["rings"].back();
        entry["source"] = source && !source->layer.empty() ? json(source->layer) : json(nullptr);
        entry["source_group"] = source && !source->group.empty() ? json(source->group) : json(nullptr);
        entry["source_ids"] = source ? json(source->pieces) : json::array();
    }
    out["standard_errors"] = run.fit.standardErrors ? standardErrors(*run.fit.standardErrors) : json(nullptr);

    const CoefficientVector& s = run.start;
    json start = sharedValues(s.coef(coefficient::centreX), s.coef(coefficient::centreY),
                              s.coef(coefficient::rotation), s.coef(coefficient::oa), s.coef(coefficient::ob),
                              s.coef(coefficient::oc), s.coef(coefficient::dc));
    start["from"] = run.startFromPoints ? "points" : "--start";
    start["ae"] = json::array();
    for (std::int32_t j = 1; j <= s.curveCount(); ++j) start["ae"].push_back(number(s.coef(coefficient::ae(j))));
    out["start"] = start;

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
