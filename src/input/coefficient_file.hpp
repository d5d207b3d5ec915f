#pragma once
/// The coefficient file "kelmar.coe": the starting coefficients of a run, written by every
/// run and accepted as input so that a later run can start from them.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/input_problem.hpp"
#include "base/records.hpp"
#include "base/text_io.hpp"

/// What a coefficient file holds: the input file name of its line 1, the count of its line 2,
/// and the values read (a file that ends early holds fewer; the missing ones count as 0).
struct LoadedCoefficients {
    std::string inputFileName;
    std::int32_t declaredCount = 0;
    std::vector<Real80> values;
};

/// Reads the coefficient file `name`; a line 1 too long to name a file is a problem.
[[nodiscard]] InputResult<LoadedCoefficients> loadCoefficientFile(const std::string& name);
/// The same on the bytes of a coefficient file; `name` is used in messages only.
[[nodiscard]] InputResult<LoadedCoefficients> loadCoefficientText(std::string_view bytes, const std::string& name);

/// The coefficient vector of a loaded file for a run of `curveCount` curves, or a problem that
/// gives the counts when the file's count is not curveCount + 7.
[[nodiscard]] InputResult<CoefficientVector> coefficientsForCurves(const LoadedCoefficients& loaded,
                                                                   const std::string& fileName,
                                                                   const std::string& pointsFileName,
                                                                   std::int32_t curveCount);

/// The text of "kelmar.coe" for this input file name and coefficient vector.
void writeCoefficientText(OutputChannel& out, const std::string& inputFileName, const CoefficientVector& coefficients);


inline constexpr const char* coefficientFileName = "kelmar.coe";
