#include "base/run_error.hpp"

#include <atomic>
#include <cerrno>
#include <cfenv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "base/output_set.hpp"

namespace {

// The sentence the floating-point trap prints; kept in a fixed buffer because the
// signal handler may only copy it out.
char activityText[1024] = "computing";

void writeAll(int fd, const char* text, std::size_t length) {
    while (length > 0) {
        const ssize_t written = ::write(fd, text, length);
        if (written <= 0) return;
        text += written;
        length -= static_cast<std::size_t>(written);
    }
}

std::size_t formatErrorLine(char* out, int number, std::uint32_t place) {
    static const char hex[] = "0123456789ABCDEF";
    char* p = out;
    const char* head = "Runtime error ";
    for (const char* h = head; *h != '\0'; ++h) *p++ = *h;
    // error number right-aligned in three characters
    char digits[12];
    int n = 0;
    unsigned value = static_cast<unsigned>(number);
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int pad = n; pad < 3; ++pad) *p++ = ' ';
    while (n > 0) *p++ = digits[--n];
    for (const char* h = " at "; *h != '\0'; ++h) *p++ = *h;
    for (int shift = 28; shift >= 0; shift -= 4) *p++ = hex[(place >> shift) & 0xFu];
    *p++ = '\r';
    *p++ = '\n';
    return static_cast<std::size_t>(p - out);
}

// The fit measures points on several threads, and more than one can fault at once.
std::atomic<bool> faultReported{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

void onFloatingPointFault(int, siginfo_t* info, void*) {
    // Only the first fault is reported; a thread that faults after it waits for the exit.
    if (faultReported.exchange(true)) {
        for (;;) pause();
    }
    int number = runtimeError::invalidOperation;
    const char* cause = "an invalid floating-point operation";
    if (info->si_code == FPE_FLTDIV || info->si_code == FPE_INTDIV) {
        number = runtimeError::divisionByZero;
        cause = "a floating-point division by zero";
    } else if (info->si_code == FPE_FLTOVF) {
        number = runtimeError::overflow;
        cause = "a floating-point overflow (a value grew beyond the extended range)";
    }
    // The fault comes from the program's own arithmetic, never from inside stdio, so what the
    // console and the open files hold is written out before the run ends: what was
    // written stays written.
    std::fflush(nullptr);
    removePendingTemporaries();
    char line[64];
    const std::size_t length =
        formatErrorLine(line, number, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(info->si_addr)));
    writeAll(STDOUT_FILENO, line, length);
    const char* prefix = "kelmar: ";
    writeAll(STDERR_FILENO, prefix, std::strlen(prefix));
    writeAll(STDERR_FILENO, cause, std::strlen(cause));
    writeAll(STDERR_FILENO, " while ", 7);
    writeAll(STDERR_FILENO, activityText, std::strlen(activityText));
    writeAll(STDERR_FILENO, ".\n", 2);
    _exit(number);
}

FailureMode failureMode = FailureMode::ExitProcess;
bool runtimeErrorLine = true;

/// Writes "kelmar: ", the prefix and the sentence with its control bytes shown as \xNN (a byte
/// of a file name or of a file's content may be anything, a NUL or an escape sequence included).
void printSentence(const char* prefix, const std::string& sentence, bool ending = false) {
    std::string line = "kelmar: ";
    line += prefix;
    line += printableText(sentence);
    // A run that ends while a set of files is being written says what it leaves.
    const std::string pending = ending ? pendingFilesClause() : std::string();
    if (!pending.empty()) line += "; nothing was replaced: " + printableText(pending);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

}  // namespace

std::string printableText(const std::string& text) {
    static const char hex[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            shown += "\\x";
            shown += hex[byte >> 4];
            shown += hex[byte & 0xFu];
        } else {
            shown += c;
        }
    }
    return shown;
}

void setRuntimeErrorLine(bool printed) { runtimeErrorLine = printed; }

void setFailureMode(FailureMode mode) { failureMode = mode; }
FailureMode currentFailureMode() { return failureMode; }

void failRun(int number, std::uint32_t place, const std::string& sentence) {
    if (failureMode == FailureMode::ThrowRunEnded) throw RunEnded{number, runtimeErrorLine, sentence};
    std::fflush(stdout);
    if (runtimeErrorLine) {
        char line[64];
        const std::size_t length = formatErrorLine(line, number, place);
        std::fwrite(line, 1, length, stdout);
        std::fflush(stdout);
    }
    printSentence("", sentence, true);
    // exit() flushes what the open files already hold: what was written stays written.
    std::exit(number);
}

void failInput(int status, const std::string& sentence) {
    if (failureMode == FailureMode::ThrowRunEnded) throw RunEnded{status, false, sentence};
    std::fflush(stdout);
    printSentence("", sentence, true);
    std::exit(status);
}

void warn(const std::string& sentence) {
    std::fflush(stdout);
    printSentence("warning: ", sentence);
}

void notice(const std::string& sentence) {
    std::fflush(stdout);
    printSentence("note: ", sentence);
}

void setActivity(const std::string& activity) {
    std::size_t length = activity.size();
    if (length >= sizeof activityText) length = sizeof activityText - 1;
    std::memcpy(activityText, activity.data(), length);
    activityText[length] = '\0';
}

void enableFloatingPointTraps() {
    struct sigaction action {};
    action.sa_sigaction = onFloatingPointFault;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGFPE, &action, nullptr);
    std::feclearexcept(FE_ALL_EXCEPT);
    feenableexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
}

void failSystemCall(std::uint32_t place, const std::string& action, const std::string& name) {
    const int code = errno != 0 ? errno : EIO;
    failRun(code, place, action + " '" + name + "': " + std::strerror(code));
}

void finishStandardStreams(std::uint32_t place) {
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) failSystemCall(place, "cannot write to", "standard output");
    errno = 0;
    if (std::fclose(stdout) != 0) failSystemCall(place, "cannot write to", "standard output");
    // Standard error cannot say that it failed: the status alone tells.
    errno = 0;
    if (std::fflush(stderr) != 0 || std::ferror(stderr) != 0) std::exit(errno != 0 ? errno : EIO);
}
