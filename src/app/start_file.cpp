#include "app/start_file.hpp"

#include <cmath>
#include <filesystem>
#include <optional>
#include <system_error>

#include "base/run_error.hpp"

bool namesStartFile(const std::string& text) {
    std::error_code error;
    return !text.empty() && std::filesystem::exists(text, error);
}

LoadedCoefficients readStartFile(const std::string& name, Real80 largest) {
    // A file that cannot be opened or holds a number that is no number ends its reading as the
    // dialogue's run-time error would: thrown here, and told as unusable data like any problem.
    const std::string given = " (the coefficient file given to --start)";
    std::optional<InputResult<LoadedCoefficients>> read;
    setFailureMode(FailureMode::ThrowRunEnded);
    try {
        read = loadCoefficientFile(name);
    } catch (const RunEnded& ended) {
        setFailureMode(FailureMode::ExitProcess);
        failInput(exitStatus::dataError, ended.sentence + given);
    }
    setFailureMode(FailureMode::ExitProcess);
    if (!read->hasValue()) failInput(exitStatus::dataError, read->problem().sentence + given);
    const LoadedCoefficients& loaded = read->value();

    // The dialogue takes the values a short file lacks as 0; a start of zeros is no start.
    if (loaded.declaredCount <= 0 || loaded.values.size() < static_cast<std::size_t>(loaded.declaredCount)) {
        failInput(exitStatus::dataError,
                  "'" + name + "', given to --start, is not a complete coefficient file: its line 2 counts " +
                      std::to_string(loaded.declaredCount) + " values and " + std::to_string(loaded.values.size()) +
                      " follow (kelmar.coe holds the name of its points, the count, then OA, OB, X, Y, the rotation "
                      "in degrees, OC, DC and one AE per ring, a line each)");
    }
    for (std::size_t k = 0; k < loaded.values.size(); ++k) {
        if (!(std::fabs(loaded.values[k]) <= largest)) {
            failInput(exitStatus::dataError, "value " + std::to_string(k + 1) + " of '" + name +
                                                 "', given to --start, is too large: the fit takes values up to 1e100");
        }
    }
    return loaded;
}
