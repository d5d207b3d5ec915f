// Any bytes as a drawing that kelmar wrote: read back as drawn entities, or rejected; what is
// read is drawn as a picture, which must come out whole whatever the numbers.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <variant>

#include "base/text_io.hpp"
#include "drawing/dxf_decoder.hpp"
#include "drawing/svg_encoder.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::prepare();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    DecodedDrawing drawing;
    const bool read = fuzzing::accepted([&] {
        InputChannel channel = memoryInput(bytes, "fuzz.dxf");
        return fuzzing::keep(readKelmarDrawing(channel), drawing);
    });
    if (!read) return 0;
    if (drawing.entities.empty()) std::abort();  // a drawing without kelmar's entities must be rejected
    OutputChannel picture = memoryOutput();
    if (!fuzzing::accepted([&] { writeSvgPicture(picture, drawing.entities, {"fuzz", std::nullopt}); })) {
        std::abort();  // a drawing that was read always has its picture
    }
    if (picture.captured.rfind("</svg>") == std::string::npos) std::abort();
    return 0;
}
