#include "fit/fit_run.hpp"

#include <array>

#include "model/model_registry.hpp"

namespace {

struct ModelName {
    FitModel model;
    std::string_view name;
};
constexpr std::array<ModelName, 3> modelNames{{
    {FitModel::EightCentre, "eight-centre"},
    {FitModel::FourCentre, "four-centre"},
    {FitModel::Ellipse, "ellipse"},
}};

}  // namespace

std::string_view fitModelName(FitModel model) {
    for (const ModelName& m : modelNames) {
        if (m.model == model) return m.name;
    }
    return {};
}

std::optional<FitModel> fitModelNamed(std::string_view name) {
    for (const ModelName& m : modelNames) {
        if (m.name == name) return m.model;
    }
    return std::nullopt;
}

std::vector<std::string> fitModelNames() { return curveModelNames(); }

CurveParameters eightCentreParameters(const CoefficientVector& c) {
    CurveParameters p;
    p.shared = {static_cast<double>(c.coef(coefficient::centreX)), static_cast<double>(c.coef(coefficient::centreY)),
                static_cast<double>(c.coef(coefficient::rotation)), static_cast<double>(c.coef(coefficient::oa)),
                static_cast<double>(c.coef(coefficient::ob)),       static_cast<double>(c.coef(coefficient::oc)),
                static_cast<double>(c.coef(coefficient::dc))};
    for (std::int32_t j = 1; j <= c.curveCount(); ++j) p.rings.push_back({static_cast<double>(c.coef(coefficient::ae(j)))});
    return p;
}

void settleEightCentreRun(FitRun& run) {
    run.model = FitModel::EightCentre;
    run.parameters = eightCentreParameters(run.fit.coefficients);
    run.proper = run.quality.fault == ConstructionFault::None;
    run.faultSentence = run.quality.faultDescription;
}
