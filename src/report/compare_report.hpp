#pragma once
/// What `kelmar compare` shows of the models it weighed: the table and verdict on the console,
/// compare.json, and compare.svg (each point's deviation against its angle around the curve,
/// one band per model).

#include <string>
#include <vector>

#include "base/records.hpp"
#include "fit/compared_fits.hpp"

/// The lines of the table (model, parameters, RMS, AIC, BIC, BIC above the best, each ring's RMS;
/// a failed model's row says why), then the verdict.
std::vector<std::string> comparisonTable(const std::vector<ComparedFit>& fits, const Weighing& weighing);

/// compare.json: `input`, `points`, `models` (each with `model`, `fitted`, `parameters` (the
/// count), `values`, `points`, `rms`, `aic`, `bic`, `bic_difference`, `rings`, and `failure` when
/// it failed), `best` (the --model name of the lowest BIC), `evidence` and `verdict`.
std::string comparisonJson(const std::string& input, const CurveStore& curves, const std::vector<ComparedFit>& fits,
                           const Weighing& weighing);

/// compare.svg: one band per model, each point's deviation (magnified to the band's own scale,
/// stated on it) against its angle around the fitted curve, coloured by ring, with the band's RMS
/// dashed; a failed model's band says why.
std::string comparisonPicture(const std::string& title, const std::vector<ComparedFit>& fits, const Weighing& weighing);
