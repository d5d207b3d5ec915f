#pragma once
// Runs the built program in a directory of its own, with answers on standard input.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace kelmartest {

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

/// A fresh, empty directory under the test's temporary directory, of this process alone
/// (test processes run side by side).
inline std::filesystem::path scratchDirectory(const std::string& name) {
    const std::filesystem::path dir =
        std::filesystem::path(::testing::TempDir()) / ("kelmar_" + name + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

struct ProgramRun {
    int status = -1;
    std::string out;  // standard output
    std::string err;  // standard error
};

/// Runs the program (or another build of it) in `dir` with `answers` on standard input.
inline ProgramRun runProgramIn(const std::filesystem::path& dir, const std::string& answers,
                               const std::string& program = KELMAR_BINARY) {
    writeFile(dir / ".answers", answers);
    const std::string command = "cd '" + dir.string() + "' && '" + program + "' < .answers > .stdout 2> .stderr";
    const int raw = std::system(command.c_str());
    ProgramRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    run.out = readFile(dir / ".stdout");
    run.err = readFile(dir / ".stderr");
    return run;
}

/// The lines of a text written with CR LF line ends (a missing last line end is a fault
/// the caller sees as a last line that still holds text).
inline std::string crlf(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

}  // namespace kelmartest
