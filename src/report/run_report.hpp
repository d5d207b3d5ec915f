#pragma once
/// The report's own blocks: the banner, the input file with its points, and the listings of
/// the coefficients.

#include <string>
#include <string_view>

#include "base/records.hpp"
#include "base/text_io.hpp"
#include "base/version.hpp"

/// The two banner lines, the same on the console and at the head of the report.
inline constexpr std::string_view bannerLine = "Programma per l'interpolazione di un ovale a 8 centri";
inline constexpr std::string_view creditLine =
    "kelmar " KELMAR_VERSION " - ovale a otto centri ai minimi quadrati, precisione estesa";

/// The banner, the input file's name, its curves with their point counts, then every point.
void writeReportHeader(OutputChannel& report, const std::string& inputFileName, const CurveStore& curves);

/// One line per coefficient: `label`, its number, " = " and its value.
void writeCoefficientListing(OutputChannel& report, const CoefficientVector& coefficients, std::string_view label);
