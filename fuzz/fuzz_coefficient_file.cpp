// Any bytes as a coefficient file: loaded with no more values than declared, or rejected;
// a loaded file is matched against a curve count as a run would.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "fuzz_support.hpp"
#include "input/coefficient_file.hpp"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::prepare();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    LoadedCoefficients loaded;
    if (!fuzzing::accepted([&] { return fuzzing::keep(loadCoefficientText(bytes, "fuzz.coe"), loaded); })) return 0;
    const std::int64_t declared = loaded.declaredCount;
    if (static_cast<std::int64_t>(loaded.values.size()) > (declared > 0 ? declared : 0)) std::abort();
    for (long double value : loaded.values) fuzzing::requireFinite(value);
    // Small counts only: a count in the billions would make the vector the run asks for.
    if (declared >= 7 && declared < 100000) {
        CoefficientVector coefficients;
        const auto curves = static_cast<std::int32_t>(declared - 7);
        if (!fuzzing::accepted(
                [&] { return fuzzing::keep(coefficientsForCurves(loaded, "fuzz.coe", "x.dxf", curves), coefficients); })) {
            std::abort();  // the count matches, so it must be accepted
        }
        if (coefficients.coefCount() != declared) std::abort();
        for (std::size_t k = 0; k < loaded.values.size(); ++k) {
            if (coefficients.values[k] != loaded.values[k]) std::abort();
        }
    }
    return 0;
}
