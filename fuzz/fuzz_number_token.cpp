// Any bytes as a number token, and as a stream of tokens read one after another.

#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_support.hpp"
#include "base/text_io.hpp"

namespace {

bool onlyDecimalDigits(std::string_view token) {
    if (!token.empty() && (token[0] == '+' || token[0] == '-')) token.remove_prefix(1);
    if (token.empty()) return false;
    for (char c : token) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

void checkReal(std::string_view token) {
    Real80 value = -1;
    const TokenProblem problem = parseRealToken(token, value);
    if (problem != TokenProblem::Valid) {
        if (value != 0) std::abort();
        return;
    }
    if (token.size() > maxRealTokenLength) std::abort();
    fuzzing::requireFinite(value);
    // A valid token is the correctly rounded value of its text.
    const std::string text(token);
    if (value != std::strtold(text.c_str(), nullptr)) std::abort();
}

void checkInteger(std::string_view token) {
    std::int32_t value = -1;
    const TokenProblem problem = parseIntegerToken(token, value);
    if (problem != TokenProblem::Valid) {
        if (value != 0) std::abort();
        return;
    }
    if (token.size() > maxIntegerTokenLength) std::abort();
    if (onlyDecimalDigits(token)) {
        const std::string text(token);
        if (std::strtoll(text.c_str(), nullptr, 10) != value) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::prepare();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    fuzzing::accepted([&] {
        checkReal(bytes);
        checkInteger(bytes);
    });
    // Alternating reads over the whole input: every token is consumed or rejected.
    fuzzing::accepted([&] {
        InputChannel channel = memoryInput(bytes, "fuzz.txt");
        for (bool integer = false; !atEndOfFile(channel); integer = !integer) {
            Real80 real = 0;
            std::int32_t whole = 0;
            const bool read = integer ? readIntegerToken(channel, whole) : readRealToken(channel, real);
            fuzzing::requireFinite(real);
            if (!read && !atEndOfFile(channel)) std::abort();
        }
    });
    return 0;
}
