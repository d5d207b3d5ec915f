// Any bytes as a DXF drawing: read as curves of at least one point in all, or rejected.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "fuzz_support.hpp"
#include "input/dxf_reader.hpp"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::prepare();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CurveStore store;
    if (!fuzzing::accepted([&] { return readDxfPolylinesFromText(bytes, "fuzz.dxf", store); })) return 0;
    std::size_t points = 0;
    for (const Curve& curve : store.curves) {
        if (curve.x.size() != curve.y.size()) std::abort();
        for (std::size_t i = 0; i < curve.x.size(); ++i) {
            fuzzing::requireFinite(curve.x[i]);
            fuzzing::requireFinite(curve.y[i]);
        }
        points += curve.x.size();
    }
    if (points == 0) std::abort();  // a drawing without a point must be rejected
    return 0;
}
