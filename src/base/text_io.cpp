#include "base/text_io.hpp"

#include <sys/stat.h>

#include <cerrno>
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

std::string padLeft(std::string text, int width) {
    if (width > maxFieldWidth) width = maxFieldWidth;
    if (static_cast<int>(text.size()) < width) {
        text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
    }
    return text;
}

/// The magnitude as 18 significant digits, correctly rounded, and the decimal exponent of
/// the first: magnitude ~ 0.d1 d2 ... d18 * 10^(exponent + 1).
void significantDigitsOf(Real80 magnitude, char digits[significantDigits], int& exponent) {
    if (magnitude == 0) {
        std::memset(digits, '0', significantDigits);
        exponent = 0;
        return;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.17Le", magnitude);  // d.ddddddddddddddddde+XX
    digits[0] = text[0];
    std::memcpy(digits + 1, text + 2, significantDigits - 1);
    exponent = std::atoi(text + 2 + (significantDigits - 1) + 1);
}

/// Adds one unit in the last place of a digit string; true when it carries out of the front.
bool incrementDigits(std::string& digits) {
    for (std::size_t i = digits.size(); i-- > 0;) {
        if (digits[i] == '9') {
            digits[i] = '0';
        } else {
            ++digits[i];
            return false;
        }
    }
    return true;
}

std::string exponentialForm(bool negative, const char digits[significantDigits], int exponent, int width) {
    int kept = width - 8;
    if (kept < 2) kept = 2;
    if (kept > significantDigits) kept = significantDigits;
    std::string mantissa(digits, static_cast<std::size_t>(kept));
    if (kept < significantDigits && digits[kept] >= '5' && incrementDigits(mantissa)) {
        mantissa.insert(0, 1, '1');
        mantissa.pop_back();
        ++exponent;
    }
    std::string text;
    if (width - kept - 8 > 0) text.append(static_cast<std::size_t>(width - kept - 8), ' ');
    text += negative ? '-' : ' ';
    text += mantissa[0];
    text += '.';
    text.append(mantissa, 1, std::string::npos);
    text += 'E';
    text += exponent < 0 ? '-' : '+';
    char exponentText[16];
    std::snprintf(exponentText, sizeof exponentText, "%04d", exponent < 0 ? -exponent : exponent);
    text += exponentText;
    return text;
}

}  // namespace

std::string formatRealField(Real80 value, int width, int decimals) {
    if (width > maxFieldWidth) width = maxFieldWidth;
    if (decimals > maxDecimals) decimals = maxDecimals;
    if (decimals < 0) decimals = 0;
    if (std::isnan(value)) return padLeft("Nan", width);
    if (std::isinf(value)) return padLeft(value < 0 ? "-Inf" : "+Inf", width);

    const bool negative = std::signbit(value);
    char digits[significantDigits];
    int exponent = 0;
    significantDigitsOf(std::fabs(value), digits, exponent);
    if (exponent > 35) return exponentialForm(negative, digits, exponent, width);

    // Digit positions from 10^max(exponent, 0) down to 10^-decimals; digit i of the
    // significant string stands at 10^(exponent - i), every other position is 0.
    const int highest = exponent > 0 ? exponent : 0;
    auto digitAt = [&](int power) -> char {
        const int index = exponent - power;
        return (index >= 0 && index < significantDigits) ? digits[index] : '0';
    };
    std::string kept;
    kept.reserve(static_cast<std::size_t>(highest + decimals + 2));
    for (int power = highest; power >= -decimals; --power) kept += digitAt(power);
    // Halves away from zero, decided on the digit string alone.
    if (digitAt(-decimals - 1) >= '5' && incrementDigits(kept)) kept.insert(0, 1, '1');

    const std::size_t integerDigits = kept.size() - static_cast<std::size_t>(decimals);
    std::size_t firstNonZero = 0;
    while (firstNonZero + 1 < integerDigits && kept[firstNonZero] == '0') ++firstNonZero;

    std::string text;
    if (negative) text += '-';
    text.append(kept, firstNonZero, integerDigits - firstNonZero);
    if (decimals > 0) {
        text += '.';
        text.append(kept, integerDigits, std::string::npos);
    }
    return padLeft(std::move(text), width);
}

std::string formatIntegerField(std::int64_t value, int width) {
    return padLeft(std::to_string(value), width);
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
    // A line-buffered console may take the text and fail to pass it on: the stream's error flag
    // tells, and errno still holds the cause.
    const bool taken = std::fwrite(text.data(), 1, text.size(), channel.file) == text.size();
    checkWrite(channel, taken && std::ferror(channel.file) == 0);
}

void writeIntegerField(OutputChannel& channel, std::int64_t value, int width) {
    writeText(channel, formatIntegerField(value, width));
}

void writeRealField(OutputChannel& channel, Real80 value, int width, int decimals) {
    writeText(channel, formatRealField(value, width, decimals));
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
