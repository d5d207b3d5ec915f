// Any bytes as a point list: one curve of exactly the declared count, or rejected.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "fuzz_support.hpp"
#include "input/text_reader.hpp"
#include "base/text_io.hpp"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::prepare();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CurveStore store;
    if (!fuzzing::accepted([&] { return readTextPointsFromText(bytes, "fuzz.txt", store); })) return 0;
    if (store.curves.size() != 1) std::abort();
    const Curve& curve = store.curves.front();
    if (curve.x.empty() || curve.x.size() != curve.y.size()) std::abort();
    for (std::size_t i = 0; i < curve.x.size(); ++i) {
        fuzzing::requireFinite(curve.x[i]);
        fuzzing::requireFinite(curve.y[i]);
    }
    // The count read again on its own must be the number of points kept.
    std::int32_t declared = 0;
    InputChannel channel = memoryInput(bytes, "fuzz.txt");
    readIntegerToken(channel, declared);
    if (declared <= 0 || static_cast<std::size_t>(declared) != curve.x.size()) std::abort();
    return 0;
}
