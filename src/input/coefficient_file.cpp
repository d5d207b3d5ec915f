#include "input/coefficient_file.hpp"

#include "base/run_error.hpp"
#include "base/text_io.hpp"

namespace {

// Line 1 names a file; a longer line cannot be a file name, and is not kept whole.
constexpr std::size_t longestFileName = 4096;

InputResult<LoadedCoefficients> readCoefficients(InputChannel& channel) {
    LoadedCoefficients loaded;
    const LineHead first = readLineHead(channel, longestFileName);
    if (first.length > longestFileName) {
        return InputProblem{exitStatus::dataError, "line 1 of '" + channel.name + "' is " +
                                                       std::to_string(first.length) +
                                                       " characters long: it cannot be the name of an input file"};
    }
    loaded.inputFileName = first.text;
    readIntegerToken(channel, loaded.declaredCount);
    skipRestOfLine(channel);
    // The count is not trusted for memory: values are kept as they are read, and once the
    // file has ended every further value is 0 without being stored.
    // The counter is wider than the count, so that a count of 2147483647 ends the loop.
    for (std::int64_t k = 1; k <= loaded.declaredCount; ++k) {
        Real80 value = 0;
        if (!readRealToken(channel, value)) break;
        loaded.values.push_back(value);
        skipRestOfLine(channel);
    }
    return loaded;
}

}  // namespace

InputResult<LoadedCoefficients> loadCoefficientFile(const std::string& name) {
    InputChannel channel = openForReading(name);
    InputResult<LoadedCoefficients> loaded = readCoefficients(channel);
    closeChannel(channel);
    return loaded;
}

InputResult<LoadedCoefficients> loadCoefficientText(std::string_view bytes, const std::string& name) {
    InputChannel channel = memoryInput(bytes, name);
    return readCoefficients(channel);
}

InputResult<CoefficientVector> coefficientsForCurves(const LoadedCoefficients& loaded, const std::string& fileName,
                                                     const std::string& pointsFileName, std::int32_t curveCount) {
    const std::int64_t needed = static_cast<std::int64_t>(curveCount) + coefficient::sharedCount;
    if (loaded.declaredCount != needed) {
        return InputProblem{exitStatus::dataError,
                            "'" + fileName + "' holds " + std::to_string(loaded.declaredCount) +
                                " coefficients, but the " + std::to_string(curveCount) +
                                (curveCount == 1 ? " curve" : " curves") + " of '" + pointsFileName + "' need " +
                                std::to_string(needed) + " (7 shared and one radius AE per curve)"};
    }
    CoefficientVector coefficients;
    coefficients.values = loaded.values;
    coefficients.values.resize(static_cast<std::size_t>(needed), 0);
    return coefficients;
}

void writeCoefficientText(OutputChannel& out, const std::string& inputFileName, const CoefficientVector& coefficients) {
    writeText(out, inputFileName);
    endLine(out);
    writeIntegerField(out, coefficients.coefCount(), field::bare);
    endLine(out);
    for (int k = 1; k <= coefficients.coefCount(); ++k) {
        writeRealField(out, coefficients.coef(k), field::coefficient);
        endLine(out);
    }
}

