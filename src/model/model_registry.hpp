#pragma once
/// The curve models the program knows, in one list: a call for each of them, a call with the one a
/// name picks, and their names. Adding a model is its header and one entry in CurveModels below.

#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "model/curve_model.hpp"
#include "model/eight_centre_model.hpp"
#include "model/ellipse_model.hpp"
#include "model/four_centre_model.hpp"

/// A list of curve models, in the order they are offered and compared.
template <CurveModel... Models>
struct CurveModelList {};

/// Every model, the default of `kelmar fit` first.
using CurveModels = CurveModelList<EightCentreModel, FourCentreModel, EllipseModel>;

/// Calls f(M{}) for each model M of the list, in its order.
template <typename F>
void forEachCurveModel(F&& f);

/// Calls f(M{}) for the model M named `name` (its command-line name): f's result, or nothing
/// (nullopt; false when f returns nothing) when no model has that name. f must return the same
/// type for every model.
template <typename F>
auto withCurveModel(std::string_view name, F&& f);

/// The names of the models, in the list's order.
inline std::vector<std::string> curveModelNames();

// ------------------------------------------------------------------------------- definitions

namespace model_registry_detail {

template <typename F, CurveModel... Models>
void forEach(CurveModelList<Models...>, F& f) {
    (f(Models{}), ...);
}

template <typename F, CurveModel First, CurveModel... Rest>
auto withNamed(CurveModelList<First, Rest...>, std::string_view name, F& f) {
    using Result = decltype(f(First{}));
    static_assert((std::is_same_v<Result, decltype(f(Rest{}))> && ...), "f must return one type for every model");
    if constexpr (std::is_void_v<Result>) {
        bool found = false;
        auto tryOne = [&](auto model) {
            if (!found && decltype(model)::name == name) {
                f(model);
                found = true;
            }
        };
        (tryOne(First{}), ..., tryOne(Rest{}));
        return found;
    } else {
        std::optional<Result> found;
        auto tryOne = [&](auto model) {
            if (!found && decltype(model)::name == name) found.emplace(f(model));
        };
        (tryOne(First{}), ..., tryOne(Rest{}));
        return found;
    }
}

}  // namespace model_registry_detail

template <typename F>
void forEachCurveModel(F&& f) {
    model_registry_detail::forEach(CurveModels{}, f);
}

template <typename F>
auto withCurveModel(std::string_view name, F&& f) {
    return model_registry_detail::withNamed(CurveModels{}, name, f);
}

inline std::vector<std::string> curveModelNames() {
    std::vector<std::string> names;
    forEachCurveModel([&](auto model) { names.emplace_back(decltype(model)::name); });
    return names;
}
