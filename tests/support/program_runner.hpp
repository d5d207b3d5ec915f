#pragma once
// Runs the built program in a directory of its own, with answers on standard input.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/crlf_text.hpp"

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


/// True when standard output ends with "Runtime error NNN at XXXXXXXX" and CR LF: the number
/// right-aligned in three characters, eight upper-case hexadecimal digits.
/// Runs `kelmar` with `arguments` in `dir`, standard input empty.
inline ProgramRun runKelmar(const std::filesystem::path& dir, const std::vector<std::string>& arguments) {
    std::string command = "cd '" + dir.string() + "' && '" + std::string(KELMAR_BINARY) + "'";
    for (const std::string& a : arguments) command += " '" + a + "'";
    command += " < /dev/null > .stdout 2> .stderr";
    const int raw = std::system(command.c_str());
    ProgramRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    run.out = readFile(dir / ".stdout");
    run.err = readFile(dir / ".stderr");
    return run;
}

inline bool endsWithRuntimeError(const std::string& out, int number) {
    char head[32];
    std::snprintf(head, sizeof head, "Runtime error %3d at ", number);
    const std::size_t headLength = std::strlen(head);
    const std::size_t length = headLength + 8 + 2;
    if (out.size() < length) return false;
    const std::string line = out.substr(out.size() - length);
    return line.compare(0, headLength, head) == 0 &&
           line.find_first_not_of("0123456789ABCDEF", headLength) == length - 2 &&
           line.compare(length - 2, 2, "\r\n") == 0;
}

}  // namespace kelmartest
