#pragma once
/// Text channels: how numbers become fields of text, how text becomes numbers, and the
/// sequential files and console that carry them. Every line written ends in CR LF.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "base/field_layouts.hpp"
#include "base/real80.hpp"

// ---------------------------------------------------------------- number fields

/// A real in field width:decimals: fixed point, 18 significant digits at most, halves
/// away from zero, a minus sign whenever the sign bit is set, widened rather than cut.
std::string formatRealField(Real80 value, int width, int decimals);

/// An integer right-aligned in `width` characters (0: no blanks), widened when needed.
std::string formatIntegerField(std::int64_t value, int width);

// ---------------------------------------------------------------- writing

/// A text channel open for writing: a created file, standard output, or (file == nullptr)
/// a buffer that collects the text, for tests.
struct OutputChannel {
    std::FILE* file = nullptr;
    std::string name;      // file name, or "standard output", used in error sentences
    std::string captured;  // the text written, when there is no file
};

/// Creates (or replaces) the file `path` for writing; a failure ends the run.
OutputChannel createForWriting(const std::string& path);
/// The console's standard output as a channel.
OutputChannel consoleOutput();
/// A channel that keeps what is written in `captured`.
OutputChannel memoryOutput();

void writeText(OutputChannel& channel, std::string_view text);
void writeIntegerField(OutputChannel& channel, std::int64_t value, int width);
void writeRealField(OutputChannel& channel, Real80 value, int width, int decimals);
void writeRealField(OutputChannel& channel, Real80 value, field::Real layout);
/// Writes CR LF.
void endLine(OutputChannel& channel);
/// Writes the text, then CR LF.
void writeLine(OutputChannel& channel, std::string_view text);
/// Shows the pending text of standard output before the program waits for an answer.
void flushChannel(OutputChannel& channel);
/// Closes a file channel; a failure (for example a full disk) ends the run.
void closeChannel(OutputChannel& channel);

// ---------------------------------------------------------------- reading

/// A text channel open for reading: a file or standard input. A line ends at CR LF, at a
/// CR alone or at a LF alone; the character 26 (Ctrl-Z) counts as the end of the file.
struct InputChannel {
    std::FILE* file = nullptr;
    std::string name;          // file name, or "" for standard input
    bool isConsole = false;
    bool reachedEnd = false;   // physical end or Ctrl-Z seen
    bool afterCR = false;      // the last character taken was a CR (a LF next belongs to it)
    long long lineNumber = 1;  // line of the next character, counted from 1
    int lookahead = -2;        // a character read ahead, -1 for the end, -2 for none
    const char* text = nullptr;  // when reading from memory (tests, fuzzing): the bytes
    std::size_t textSize = 0;
    std::size_t textPos = 0;
};

/// True when both paths lead to one existing file (the same device and inode), whatever links
/// or folders they go through.
bool isSameFile(const std::string& a, const std::string& b);

/// Opens `path` for reading; a failure ends the run with the system's error code.
InputChannel openForReading(const std::string& path);
/// Standard input as a channel.
InputChannel consoleInput();
/// A channel reading the given bytes (which must outlive it).
InputChannel memoryInput(std::string_view bytes, std::string name);
void closeChannel(InputChannel& channel);

/// True at the physical end of the file or at a character 26.
bool atEndOfFile(InputChannel& channel);

/// Reads every character up to the line end, then consumes the line end.
std::string readWholeLine(InputChannel& channel);

/// The start of a line, for scanners that compare lines with keywords: the first
/// `keep` characters, and the whole line's length (the rest is read and dropped).
struct LineHead {
    std::string text;
    std::size_t length = 0;
    /// True when the whole line equals `word`.
    bool is(std::string_view word) const { return length == word.size() && text == word; }
};
LineHead readLineHead(InputChannel& channel, std::size_t keep);

/// Discards characters up to and including the next line end.
void skipRestOfLine(InputChannel& channel);

/// Why a token could not be read as a number (Valid when it could).
enum class TokenProblem { Valid, NotANumber, DecimalComma, TooLong, OutOfRange };

/// Reads one real token: blanks and line ends before it are skipped; the token runs to the
/// next character of code 32 or less. At the end of the file the value is 0 and the
/// result false. A token that is not a valid real ends the run with error 106.
bool readRealToken(InputChannel& channel, Real80& value);
/// The same for a 32-bit signed integer (decimal with optional sign, or hexadecimal after
/// "$", "x", "X" or "0x").
bool readIntegerToken(InputChannel& channel, std::int32_t& value);

/// The conversions behind the readers, for a whole token.
TokenProblem parseRealToken(std::string_view token, Real80& value);
TokenProblem parseIntegerToken(std::string_view token, std::int32_t& value);

/// The sentence that says why `token`, found at `where` ("'x' on line 3 of 'f'" or
/// "the answer 'x'"), is not a number.
std::string tokenProblemSentence(const std::string& where, TokenProblem problem, bool integer);
/// How a token is shown in a sentence: quoted, cut after 40 characters.
std::string quotedToken(std::string_view token);

/// Longest token taken as a real, and as an integer.
inline constexpr std::size_t maxRealTokenLength = 64;
inline constexpr std::size_t maxIntegerTokenLength = 32;
