#pragma once
/// How much a fit of the four-centre oval or the ellipse can be trusted: each point's deviation
/// from its ring, each ring's coverage, whether the family is a proper construction of its model
/// (the model's own test), and the warnings that apply to every model.

#include <cstdint>
#include <string>

#include "base/records.hpp"
#include "fit/fit_quality.hpp"
#include "fit/model_fit.hpp"
#include "model/curve_model.hpp"

/// The quality of `result` (fitted by fitCurveModel<M> with at most `maxIterations` iterations)
/// over `curves`; `notFitted` says what a ring without points leaves unfitted. The fault is left
/// as ConstructionFault::None: the model's verdict is `faultSentence` (empty when proper).
template <CurveModel M>
FitQuality assessModelFit(const CurveStore& curves, const ModelFitResult& result, std::int32_t maxIterations,
                          const std::string& notFitted, std::string& faultSentence);
