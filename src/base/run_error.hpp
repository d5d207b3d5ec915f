#pragma once
/// The one way a run ends early: the "Runtime error" line on standard output, one plain
/// sentence on standard error, and the exit status.

#include <cstdint>
#include <string>

/// Identifies a place in the source for the "Runtime error ... at XXXXXXXX" line.
constexpr std::uint32_t placeOf(const char* file, int line) {
    std::uint32_t hash = 2166136261u;  // FNV-1a over the file name, then the line
    for (const char* p = file; *p != '\0'; ++p) {
        hash = (hash ^ static_cast<unsigned char>(*p)) * 16777619u;
    }
    return (hash ^ static_cast<std::uint32_t>(line)) * 16777619u;
}
#define KELMAR_HERE (placeOf(__FILE__, __LINE__))

/// Run-time error numbers besides the system's error codes.
namespace runtimeError {
inline constexpr int invalidNumber = 106;
inline constexpr int divisionByZero = 200;
inline constexpr int overflow = 205;
inline constexpr int invalidOperation = 207;
}  // namespace runtimeError

/// Exit statuses of the conditions the program itself rejects (sysexits convention).
namespace exitStatus {
inline constexpr int usage = 64;    // no input file named
inline constexpr int dataError = 65;  // input that cannot be used
inline constexpr int outputFolder = 73;  // an output folder that cannot be used
inline constexpr int folderBusy = 75;    // another run is writing into the output folder
}  // namespace exitStatus

/// How a failure ends the run: by ending the process (the program), or by throwing
/// RunEnded (tests and fuzzing harnesses, which must go on after a rejected input).
enum class FailureMode { ExitProcess, ThrowRunEnded };
void setFailureMode(FailureMode mode);
/// The mode in force, for a caller that changes it for a while and puts it back.
FailureMode currentFailureMode();

/// What a failure carries when it is thrown instead of ending the process.
struct RunEnded {
    int status = 0;
    bool runtimeErrorLine = false;  // true when the "Runtime error" line would be printed
    std::string sentence;
};

/// The commands report a failure with a sentence alone: no "Runtime error" line (true by default).
void setRuntimeErrorLine(bool printed);

/// The text with its control bytes (a NUL, an escape) written as \xNN, for a sentence.
std::string printableText(const std::string& text);

/// Writes out what standard output holds and closes it, then checks standard error: a failure
/// (a full disk, a closed pipe) ends the run with the system's error code like any failed write.
void finishStandardStreams(std::uint32_t place);

/// Writes "Runtime error NNN at XXXXXXXX" and `sentence`, then ends the run with `number`.
[[noreturn]] void failRun(int number, std::uint32_t place, const std::string& sentence);

/// Ends the run for a condition the program rejects: `sentence` on standard error only.
[[noreturn]] void failInput(int status, const std::string& sentence);

/// Prints a warning sentence on standard error; the run goes on.
void warn(const std::string& sentence);
/// Prints an informative sentence on standard error; the run goes on.
void notice(const std::string& sentence);

/// Turns invalid operations, divisions by zero and overflows into run-time errors
/// 207, 200 and 205, and says what the program was doing: `activity` is kept for that.
void enableFloatingPointTraps();
void setActivity(const std::string& activity);

/// Ends the run after a failed system call on the file `name`: the error number is errno,
/// and the sentence says "<action> '<name>': <the system's text>".
[[noreturn]] void failSystemCall(std::uint32_t place, const std::string& action, const std::string& name);
