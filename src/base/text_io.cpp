#include "base/text_io.hpp"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/run_error.hpp"

// ================================================================ number fields

namespace {

constexpr int maxFieldWidth = 255;
constexpr int maxDecimals = 216;
constexpr int significantDigits = 18;
constexpr int exponentialFrom = 36;  // decimal exponents above 35 are written with an exponent
// The longest field: a sign, 36 integer digits and a carry, the point, maxDecimals decimals,
// or blanks up to maxFieldWidth; with room to spare.
constexpr std::size_t fieldBufferSize = 320;

// The exact 18-digit rounding of extended reals whose scaled significand fits 128 bits:
// magnitude = m 2^e2 with a 64-bit m, so magnitude 10^p = (m 5^p) 2^(e2 + p), and m 5^p stays
// below 2^127 for p up to 27.
constexpr int largestExactPower = 27;
constexpr std::uint64_t tenToThe17 = 100000000000000000ULL;
constexpr std::uint64_t tenToThe18 = 1000000000000000000ULL;

constexpr std::array<std::uint64_t, largestExactPower + 1> powersOfFive = [] {
    std::array<std::uint64_t, largestExactPower + 1> powers{};
    std::uint64_t power = 1;
    for (auto& p : powers) {
        p = power;
        power *= 5;
    }
    return powers;
}();

/// The 18 significant digits of m 2^e2 10^p when its integer part has 18 digits, rounded to
/// nearest with ties to even as the C library rounds (all nines may round up to 10^18); false
/// when the integer part has another length or the product does not fit.
bool scaledDigits(std::uint64_t m, int e2, int p, std::uint64_t& digits) {
    if (p < 0 || p > largestExactPower) return false;
    const unsigned __int128 product = static_cast<unsigned __int128>(m) * powersOfFive[static_cast<std::size_t>(p)];
    const int shift = -(e2 + p);
    if (shift <= 0 || shift >= 127) return false;
    const unsigned __int128 one = 1;
    const unsigned __int128 whole = product >> shift;
    if (whole < tenToThe17 || whole >= tenToThe18) return false;
    std::uint64_t quotient = static_cast<std::uint64_t>(whole);
    const unsigned __int128 rest = product & ((one << shift) - 1);
    const unsigned __int128 half = one << (shift - 1);
    if (rest > half || (rest == half && (quotient & 1) != 0)) ++quotient;
    digits = quotient;
    return true;
}

/// The 18 significant digits exactly, without the C library, for the magnitudes a drawing or a
/// report holds; false for the others.
bool fastSignificantDigits(Real80 magnitude, char digits[significantDigits], int& exponent) {
    std::uint64_t m = 0;
    std::uint16_t signAndExponent = 0;
    static_assert(sizeof(Real80) >= 10);
    std::memcpy(&m, &magnitude, sizeof m);
    std::memcpy(&signAndExponent, reinterpret_cast<const char*>(&magnitude) + sizeof m, sizeof signAndExponent);
    const int biased = signAndExponent & 0x7fff;
    if (biased == 0x7fff || biased == 0 || (m >> 63) == 0) return false;  // not finite, subnormal, unnormal
    const int e2 = biased - 16383 - 63;
    // The decimal exponent is this estimate (log10(2) times the top bit's power) or one more.
    const int topBit = e2 + 63;
    const int estimate = static_cast<int>(std::floor(topBit * 0.30102999566398119521));
    std::uint64_t value = 0;
    if (scaledDigits(m, e2, significantDigits - 1 - (estimate + 1), value)) {
        exponent = estimate + 1;
    } else if (scaledDigits(m, e2, significantDigits - 1 - estimate, value)) {
        exponent = estimate;
    } else {
        return false;
    }
    if (value == tenToThe18) {  // rounded up to the next power of ten
        value = tenToThe17;
        ++exponent;
    }
    for (int i = significantDigits - 1; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return true;
}

/// The magnitude as 18 significant digits, correctly rounded, and the decimal exponent of
/// the first: magnitude ~ d1.d2 ... d18 * 10^exponent.
void significantDigitsOf(Real80 magnitude, char digits[significantDigits], int& exponent) {
    if (magnitude == 0) {
        std::memset(digits, '0', significantDigits);
        exponent = 0;
        return;
    }
    if (fastSignificantDigits(magnitude, digits, exponent)) return;
    char text[64];
    std::snprintf(text, sizeof text, "%.17Le", magnitude);  // d.ddddddddddddddddde+XX
    digits[0] = text[0];
    std::memcpy(digits + 1, text + 2, significantDigits - 1);
    exponent = std::atoi(text + 2 + (significantDigits - 1) + 1);
}

/// Adds one unit in the last place of digits [first, last); true when it carries out of the front.
bool incrementDigits(char* first, char* last) {
    while (last != first) {
        --last;
        if (*last == '9') {
            *last = '0';
        } else {
            ++*last;
            return false;
        }
    }
    return true;
}

/// Blanks before the `length` characters at `text` up to `width`; returns the new length.
std::size_t padLeftInPlace(char* text, std::size_t length, int width) {
    if (width > maxFieldWidth) width = maxFieldWidth;
    if (width < 0) width = 0;
    const std::size_t wanted = static_cast<std::size_t>(width);
    if (length >= wanted) return length;
    std::memmove(text + (wanted - length), text, length);
    std::memset(text, ' ', wanted - length);
    return wanted;
}

std::size_t copyPadded(char* out, std::string_view text, int width) {
    std::memcpy(out, text.data(), text.size());
    return padLeftInPlace(out, text.size(), width);
}

std::size_t exponentialForm(char* out, bool negative, const char digits[significantDigits], int exponent,
                            int width) {
    int kept = width - 8;
    if (kept < 2) kept = 2;
    if (kept > significantDigits) kept = significantDigits;
    char mantissa[significantDigits];
    std::memcpy(mantissa, digits, static_cast<std::size_t>(kept));
    if (kept < significantDigits && digits[kept] >= '5' && incrementDigits(mantissa, mantissa + kept)) {
        // all nines became zeros: 1 and zeros, one power higher
        mantissa[0] = '1';
        ++exponent;
    }
    std::size_t n = 0;
    if (width - kept - 8 > 0) {
        n = static_cast<std::size_t>(width - kept - 8);
        std::memset(out, ' ', n);
    }
    out[n++] = negative ? '-' : ' ';
    out[n++] = mantissa[0];
    out[n++] = '.';
    std::memcpy(out + n, mantissa + 1, static_cast<std::size_t>(kept - 1));
    n += static_cast<std::size_t>(kept - 1);
    out[n++] = 'E';
    out[n++] = exponent < 0 ? '-' : '+';
    char exponentText[16];
    const int written = std::snprintf(exponentText, sizeof exponentText, "%04d", exponent < 0 ? -exponent : exponent);
    std::memcpy(out + n, exponentText, static_cast<std::size_t>(written));
    return n + static_cast<std::size_t>(written);
}

/// The field written into `out` (fieldBufferSize characters); returns its length.
std::size_t formatRealFieldInto(char* out, Real80 value, int width, int decimals) {
    if (width > maxFieldWidth) width = maxFieldWidth;
    if (decimals > maxDecimals) decimals = maxDecimals;
    if (decimals < 0) decimals = 0;
    if (std::isnan(value)) return copyPadded(out, "Nan", width);
    if (std::isinf(value)) return copyPadded(out, value < 0 ? "-Inf" : "+Inf", width);

    const bool negative = std::signbit(value);
    char digits[significantDigits];
    int exponent = 0;
    significantDigitsOf(std::fabs(value), digits, exponent);
    if (exponent >= exponentialFrom) return exponentialForm(out, negative, digits, exponent, width);

    // Digit positions from 10^max(exponent, 0) down to 10^-decimals; digit i of the
    // significant string stands at 10^(exponent - i), every other position is 0. They are
    // laid out after room for a sign and a carry.
    const int highest = exponent > 0 ? exponent : 0;
    const int count = highest + decimals + 1;
    char* const kept = out + 2;
    std::memset(kept, '0', static_cast<std::size_t>(count));
    for (int i = 0; i < significantDigits; ++i) {
        const int position = highest - exponent + i;
        if (position >= 0 && position < count) kept[position] = digits[i];
    }
    // Halves away from zero, decided on the digit string alone: the digit at 10^(-decimals - 1).
    const int roundingIndex = exponent + decimals + 1;
    const bool roundUp = roundingIndex >= 0 && roundingIndex < significantDigits && digits[roundingIndex] >= '5';
    char* first = kept;
    int integerDigits = highest + 1;
    if (roundUp && incrementDigits(kept, kept + count)) {
        *--first = '1';
        ++integerDigits;
    }
    int skipped = 0;
    while (skipped + 1 < integerDigits && first[skipped] == '0') ++skipped;
    first += skipped;
    integerDigits -= skipped;
    if (negative) *--first = '-';
    const std::size_t sign = negative ? 1 : 0;
    // The decimals move one place right to make room for the point.
    char* const point = first + sign + static_cast<std::size_t>(integerDigits);
    std::size_t length = sign + static_cast<std::size_t>(integerDigits);
    if (decimals > 0) {
        std::memmove(point + 1, point, static_cast<std::size_t>(decimals));
        *point = '.';
        length += 1 + static_cast<std::size_t>(decimals);
    }
    std::memmove(out, first, length);
    return padLeftInPlace(out, length, width);
}

std::size_t formatIntegerFieldInto(char* out, std::int64_t value, int width) {
    const char* end = std::to_chars(out, out + 32, value).ptr;
    return padLeftInPlace(out, static_cast<std::size_t>(end - out), width);
}

}  // namespace

std::string formatRealField(Real80 value, int width, int decimals) {
    char buffer[fieldBufferSize];
    return std::string(buffer, formatRealFieldInto(buffer, value, width, decimals));
}

std::string formatIntegerField(std::int64_t value, int width) {
    char buffer[fieldBufferSize];
    return std::string(buffer, formatIntegerFieldInto(buffer, value, width));
}

// ================================================================ writing

namespace {

void checkWrite(OutputChannel& channel, bool ok) {
    if (!ok) {
        failSystemCall(KELMAR_HERE, "cannot write to", channel.name);
    }
}

}  // namespace

OutputChannel createForWriting(const std::string& path) {
    OutputChannel channel;
    channel.name = path;
    errno = 0;
    channel.file = std::fopen(path.c_str(), "wb");
    if (channel.file == nullptr) {
        failSystemCall(KELMAR_HERE, "cannot create", path);
    }
    return channel;
}

OutputChannel consoleOutput() {
    OutputChannel channel;
    channel.file = stdout;
    channel.name = "standard output";
    return channel;
}

OutputChannel memoryOutput() {
    OutputChannel channel;
    channel.name = "memory";
    return channel;
}

void writeText(OutputChannel& channel, std::string_view text) {
    if (channel.file == nullptr) {
        channel.captured.append(text);
        return;
    }
    if (text.empty()) return;
    errno = 0;
    // One program thread writes each channel: the stream lock of fwrite would cost more than the
    // short fields it guards. A line-buffered console may take the text and fail to pass it on:
    // the stream's error flag tells, and errno still holds the cause.
    const bool taken = fwrite_unlocked(text.data(), 1, text.size(), channel.file) == text.size();
    checkWrite(channel, taken && ferror_unlocked(channel.file) == 0);
}

void writeIntegerField(OutputChannel& channel, std::int64_t value, int width) {
    char buffer[fieldBufferSize];
    writeText(channel, {buffer, formatIntegerFieldInto(buffer, value, width)});
}

void writeRealField(OutputChannel& channel, Real80 value, int width, int decimals) {
    char buffer[fieldBufferSize];
    writeText(channel, {buffer, formatRealFieldInto(buffer, value, width, decimals)});
}

void writeRealField(OutputChannel& channel, Real80 value, field::Real layout) {
    writeRealField(channel, value, layout.width, layout.decimals);
}

void endLine(OutputChannel& channel) { writeText(channel, "\r\n"); }

void writeLine(OutputChannel& channel, std::string_view text) {
    writeText(channel, text);
    endLine(channel);
}

void flushChannel(OutputChannel& channel) {
    if (channel.file == nullptr) return;
    errno = 0;
    checkWrite(channel, std::fflush(channel.file) == 0);
}

void closeChannel(OutputChannel& channel) {
    if (channel.file == nullptr || channel.file == stdout) return;
    std::FILE* file = channel.file;
    channel.file = nullptr;
    errno = 0;
    if (std::fclose(file) != 0) {
        failSystemCall(KELMAR_HERE, "cannot finish writing", channel.name);
    }
}

// ================================================================ reading

namespace {

constexpr int endOfInput = -1;
constexpr int noLookahead = -2;
constexpr int ctrlZ = 26;

int rawGet(InputChannel& channel) {
    if (channel.reachedEnd) return endOfInput;
    int c;
    if (channel.file == nullptr) {
        c = channel.textPos < channel.textSize ? static_cast<unsigned char>(channel.text[channel.textPos++])
                                               : endOfInput;
    } else {
        c = getc_unlocked(channel.file);
        if (c == EOF) {
            if (std::ferror(channel.file)) {
                failSystemCall(KELMAR_HERE, "cannot read", channel.name);
            }
            c = endOfInput;
        }
    }
    if (c == endOfInput || c == ctrlZ) {
        channel.reachedEnd = true;
        return endOfInput;
    }
    return c;
}

int peekChar(InputChannel& channel) {
    if (channel.lookahead == noLookahead) channel.lookahead = rawGet(channel);
    return channel.lookahead;
}

/// Takes the next character, keeping count of line ends (CR LF, CR or LF).
int takeChar(InputChannel& channel) {
    int c = peekChar(channel);
    if (c == endOfInput) return c;
    channel.lookahead = noLookahead;
    if (c == '\r') {
        ++channel.lineNumber;
        channel.afterCR = true;
    } else {
        if (c == '\n' && !channel.afterCR) ++channel.lineNumber;
        channel.afterCR = false;
    }
    return c;
}

/// After a CR, a LF right behind it belongs to the same line end.
void finishLineEnd(InputChannel& channel, int lineEnd) {
    if (lineEnd == '\r' && peekChar(channel) == '\n') takeChar(channel);
}

void flushConsoleBeforeReading(InputChannel& channel) {
    if (channel.isConsole) std::fflush(stdout);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

/// optional sign, digits, optional point and digits, optional exponent with digits
bool hasRealSyntax(std::string_view token) {
    std::size_t i = 0;
    const std::size_t n = token.size();
    if (i < n && (token[i] == '+' || token[i] == '-')) ++i;
    const std::size_t intStart = i;
    while (i < n && isDigit(token[i])) ++i;
    if (i == intStart) return false;
    if (i < n && token[i] == '.') {
        ++i;
        const std::size_t fracStart = i;
        while (i < n && isDigit(token[i])) ++i;
        if (i == fracStart) return false;
    }
    if (i < n && (token[i] == 'e' || token[i] == 'E')) {
        ++i;
        if (i < n && (token[i] == '+' || token[i] == '-')) ++i;
        const std::size_t expStart = i;
        while (i < n && isDigit(token[i])) ++i;
        if (i == expStart) return false;
    }
    return i == n;
}

[[noreturn]] void failToken(const InputChannel& channel, long long line, std::string_view token,
                            TokenProblem problem, bool integer) {
    const std::string where = channel.isConsole ? "the answer " + quotedToken(token)
                                                : quotedToken(token) + " on line " + std::to_string(line) + " of '" +
                                                      channel.name + "'";
    failRun(runtimeError::invalidNumber, KELMAR_HERE, tokenProblemSentence(where, problem, integer));
}

/// Skips blanks, control characters and line ends, then collects a token of at most
/// `limit` characters (one more tells that it is too long). False at the end of the file.
bool collectToken(InputChannel& channel, std::size_t limit, std::string& token, long long& line) {
    flushConsoleBeforeReading(channel);
    int c;
    while ((c = peekChar(channel)) != endOfInput && c <= 32) takeChar(channel);
    token.clear();
    line = channel.lineNumber;
    if (c == endOfInput) return false;
    while ((c = peekChar(channel)) != endOfInput && c > 32) {
        token += static_cast<char>(takeChar(channel));
        if (token.size() > limit) break;
    }
    return true;
}

}  // namespace

std::string quotedToken(std::string_view token) {
    if (token.size() > 40) return "'" + std::string(token.substr(0, 40)) + "...'";
    return "'" + std::string(token) + "'";
}

std::string tokenProblemSentence(const std::string& where, TokenProblem problem, bool integer) {
    switch (problem) {
        case TokenProblem::DecimalComma:
            return where + " is not a number: use a point as the decimal separator";
        case TokenProblem::TooLong:
            return where + " is too long to be a number (at most " +
                   std::to_string(integer ? maxIntegerTokenLength : maxRealTokenLength) + " characters)";
        case TokenProblem::OutOfRange:
            return where + (integer ? " is beyond the range of a 32-bit integer" : " is beyond the range of an extended real");
        default:
            return where + (integer ? " is not a whole number" : " is not a number");
    }
}

TokenProblem parseRealToken(std::string_view token, Real80& value) {
    value = 0;
    if (token.size() > maxRealTokenLength) return TokenProblem::TooLong;
    if (!hasRealSyntax(token)) {
        std::string withPoint(token);
        for (char& c : withPoint) {
            if (c == ',') c = '.';
        }
        if (withPoint != token && hasRealSyntax(withPoint)) return TokenProblem::DecimalComma;
        return TokenProblem::NotANumber;
    }
    const std::string text(token);
    // The conversion may raise overflow or underflow flags; they must not trap here.
    std::fenv_t environment;
    std::feholdexcept(&environment);
    errno = 0;
    const Real80 converted = std::strtold(text.c_str(), nullptr);
    const bool overflowed = errno == ERANGE && std::isinf(converted);
    std::fesetenv(&environment);
    if (overflowed) return TokenProblem::OutOfRange;
    value = converted;
    return TokenProblem::Valid;
}

TokenProblem parseIntegerToken(std::string_view token, std::int32_t& value) {
    value = 0;
    if (token.size() > maxIntegerTokenLength) return TokenProblem::TooLong;
    std::size_t i = 0;
    bool hexadecimal = false;
    if (!token.empty() && (token[0] == '$' || token[0] == 'x' || token[0] == 'X')) {
        hexadecimal = true;
        i = 1;
    } else if (token.size() >= 2 && token[0] == '0' && token[1] == 'x') {
        hexadecimal = true;
        i = 2;
    }
    if (hexadecimal) {
        // no sign; up to 32 bits, taken as the two's complement pattern
        if (i == token.size()) return TokenProblem::NotANumber;
        std::uint64_t magnitude = 0;
        for (; i < token.size(); ++i) {
            const int digit = hexValue(token[i]);
            if (digit < 0) return TokenProblem::NotANumber;
            magnitude = magnitude * 16 + static_cast<std::uint64_t>(digit);
            if (magnitude > 0xFFFFFFFFull) return TokenProblem::OutOfRange;
        }
        value = static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));
        return TokenProblem::Valid;
    }
    bool negative = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) {
        negative = token[i] == '-';
        ++i;
    }
    if (i == token.size()) return TokenProblem::NotANumber;
    std::int64_t magnitude = 0;
    bool tooLarge = false;
    for (; i < token.size(); ++i) {
        if (!isDigit(token[i])) return TokenProblem::NotANumber;
        magnitude = magnitude * 10 + (token[i] - '0');
        if (magnitude > 2147483648LL) {
            tooLarge = true;
            magnitude = 2147483648LL;  // keep checking the syntax without growing
        }
    }
    if (tooLarge || magnitude > (negative ? 2147483648LL : 2147483647LL)) return TokenProblem::OutOfRange;
    value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return TokenProblem::Valid;
}

bool isSameFile(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

InputChannel openForReading(const std::string& path) {
    InputChannel channel;
    channel.name = path;
    errno = 0;
    channel.file = std::fopen(path.c_str(), "rb");
    if (channel.file == nullptr) {
        failSystemCall(KELMAR_HERE, "cannot open", path);
    }
    return channel;
}

InputChannel consoleInput() {
    InputChannel channel;
    channel.file = stdin;
    channel.name = "standard input";
    channel.isConsole = true;
    return channel;
}

InputChannel memoryInput(std::string_view bytes, std::string name) {
    InputChannel channel;
    channel.name = std::move(name);
    channel.text = bytes.data();
    channel.textSize = bytes.size();
    return channel;
}

void closeChannel(InputChannel& channel) {
    if (channel.file != nullptr && channel.file != stdin) std::fclose(channel.file);
    channel.file = nullptr;
}

bool atEndOfFile(InputChannel& channel) { return peekChar(channel) == endOfInput; }

std::string readWholeLine(InputChannel& channel) {
    flushConsoleBeforeReading(channel);
    std::string line;
    int c;
    while ((c = takeChar(channel)) != endOfInput && c != '\r' && c != '\n') line += static_cast<char>(c);
    finishLineEnd(channel, c);
    return line;
}

LineHead readLineHead(InputChannel& channel, std::size_t keep) {
    LineHead head;
    int c;
    while ((c = takeChar(channel)) != endOfInput && c != '\r' && c != '\n') {
        if (head.length < keep) head.text += static_cast<char>(c);
        ++head.length;
    }
    finishLineEnd(channel, c);
    return head;
}

void skipRestOfLine(InputChannel& channel) {
    int c;
    while ((c = takeChar(channel)) != endOfInput && c != '\r' && c != '\n') {
    }
    finishLineEnd(channel, c);
}

bool readRealToken(InputChannel& channel, Real80& value) {
    std::string token;
    long long line = 0;
    value = 0;
    if (!collectToken(channel, maxRealTokenLength, token, line)) return false;
    const TokenProblem problem = parseRealToken(token, value);
    if (problem != TokenProblem::Valid) failToken(channel, line, token, problem, false);
    return true;
}

bool readIntegerToken(InputChannel& channel, std::int32_t& value) {
    std::string token;
    long long line = 0;
    value = 0;
    if (!collectToken(channel, maxIntegerTokenLength, token, line)) return false;
    const TokenProblem problem = parseIntegerToken(token, value);
    if (problem != TokenProblem::Valid) failToken(channel, line, token, problem, true);
    return true;
}
