#include "input/text_reader.hpp"

#include "base/run_error.hpp"
#include "base/text_io.hpp"

namespace {

std::optional<InputProblem> readPointList(InputChannel& channel, CurveStore& store) {
    const std::string& name = channel.name;
    store.curves.assign(1, Curve{});
    Curve& curve = store.curves.front();

    std::int32_t declared = 0;
    readIntegerToken(channel, declared);
    skipRestOfLine(channel);

    // The count is not trusted for memory: points are stored as they are read, and a list
    // that ends early is rejected instead of being padded with points at (0, 0).
    // The counter is wider than the count, so that a count of 2147483647 ends the loop.
    for (std::int64_t p = 1; p <= declared; ++p) {
        Real80 x = 0;
        Real80 y = 0;
        if (!readRealToken(channel, x) || !readRealToken(channel, y)) {
            return InputProblem{exitStatus::dataError, "'" + name + "' declares " + std::to_string(declared) +
                                                           (declared == 1 ? " point but holds " : " points but holds ") +
                                                           std::to_string(p - 1)};
        }
        curve.x.push_back(x);
        curve.y.push_back(y);
        skipRestOfLine(channel);
    }
    if (declared <= 0) {
        return InputProblem{exitStatus::dataError,
                            "'" + name + "' holds no point: its first number, the count of points, is " +
                                std::to_string(declared)};
    }
    return std::nullopt;
}

}  // namespace

std::optional<InputProblem> readTextPoints(const std::string& name, CurveStore& store) {
    InputChannel channel = openForReading(name);
    std::optional<InputProblem> problem = readPointList(channel, store);
    closeChannel(channel);
    return problem;
}

std::optional<InputProblem> readTextPointsFromText(std::string_view bytes, const std::string& name, CurveStore& store) {
    InputChannel channel = memoryInput(bytes, name);
    return readPointList(channel, store);
}
