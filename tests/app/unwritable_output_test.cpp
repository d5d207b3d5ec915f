// Whole runs whose output files cannot be created: a directory stands where the file
// should go, or the current directory is read-only. The run must end with the system's
// error code, the "Runtime error" line and a sentence naming the file, and leave the previous
// run's files byte for byte as they were.

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "support/program_runner.hpp"

namespace {

using kelmartest::endsWithRuntimeError;
using kelmartest::readFile;
using kelmartest::runProgramIn;
using kelmartest::scratchDirectory;
using kelmartest::writeFile;
namespace fs = std::filesystem;

// Eight points of an oval about the origin, and starting values close to it.
const std::string pointList = "8\r\n100 0\r\n0 60\r\n-100 0\r\n0 -60\r\n70.7 42.4\r\n-70.7 42.4\r\n-70.7 -42.4\r\n70.7 -42.4\r\n";
const std::string answers = "punti.txt\n0\n0\n0\n100\n60\n40\n25\n50\n";

struct BlockedRow {
    std::string name;
    std::string blockedFile;  // a directory of this name stands in the way
};
void PrintTo(const BlockedRow& row, std::ostream* os) { *os << row.name; }

const std::vector<BlockedRow> blockedRows = {
    {"Report", "kelmar.txt"},
    {"CoefficientFile", "kelmar.coe"},
    {"Drawing", "kelmar.dxf"},
};

class BlockedOutput : public ::testing::TestWithParam<BlockedRow> {};

TEST_P(BlockedOutput, EndsWithTheSystemErrorAndKeepsThePreviousFiles) {
    const BlockedRow& row = GetParam();
    const fs::path dir = scratchDirectory("blocked_" + row.name);
    writeFile(dir / "punti.txt", pointList);
    std::vector<std::string> previous;
    for (const char* name : {"kelmar.txt", "kelmar.coe", "kelmar.dxf"}) {
        if (name == row.blockedFile) continue;
        writeFile(dir / name, std::string("previous ") + name + "\r\n");
        previous.push_back(name);
    }
    fs::create_directory(dir / row.blockedFile);

    const auto run = runProgramIn(dir, answers);
    EXPECT_EQ(run.status, EISDIR);
    EXPECT_TRUE(endsWithRuntimeError(run.out, EISDIR)) << run.out;
    EXPECT_NE(run.err.find("cannot create '" + row.blockedFile + "': Is a directory"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("kelmar.txt, kelmar.coe and kelmar.dxf are as they were"), std::string::npos) << run.err;
    for (const std::string& name : previous) EXPECT_EQ(readFile(dir / name), "previous " + name + "\r\n") << name;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        EXPECT_EQ(entry.path().filename().string().rfind(".kelmar-", 0), std::string::npos) << entry.path();
    }
}

INSTANTIATE_TEST_SUITE_P(Outputs, BlockedOutput, ::testing::ValuesIn(blockedRows),
                         [](const auto& info) { return info.param.name; });

// Root writes into a read-only directory anyway, so under root the program runs as the
// unprivileged user "nobody" (65534), from a copy that user can reach wherever the build is.
TEST(ReadOnlyDirectory, ReportCannotBeCreated) {
    constexpr uid_t nobody = 65534;
    const fs::path dir = scratchDirectory("read_only");
    writeFile(dir / "punti.txt", pointList);
    writeFile(dir / ".answers", answers);
    const fs::path program = dir / "kelmar";
    fs::copy_file(KELMAR_BINARY, program);
    chmod(program.c_str(), 0755);
    chmod((dir / "punti.txt").c_str(), 0644);
    chmod(dir.c_str(), 0555);

    const bool asRoot = geteuid() == 0;
    const std::string answersPath = (dir / ".answers").string();
    const std::string outPath = (dir / ".stdout").string();
    const std::string errPath = (dir / ".stderr").string();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int in = open(answersPath.c_str(), O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(120);
        if (chdir(dir.c_str()) != 0) _exit(121);
        if (asRoot && (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0)) _exit(122);
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(123);
    }
    int raw = 0;
    ASSERT_EQ(waitpid(child, &raw, 0), child);
    chmod(dir.c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(raw));
    const int status = WEXITSTATUS(raw);
    ASSERT_LT(status, 120) << "the child could not start the program";

    const std::string out = readFile(dir / ".stdout");
    const std::string err = readFile(dir / ".stderr");
    EXPECT_EQ(status, EACCES) << out << err;
    EXPECT_TRUE(endsWithRuntimeError(out, EACCES)) << out;
    // kelmar.coe is the first file a run writes.
    EXPECT_NE(err.find("cannot create 'kelmar.coe': Permission denied"), std::string::npos) << err;
    for (const char* name : {"kelmar.txt", "kelmar.coe", "kelmar.dxf"}) EXPECT_FALSE(fs::exists(dir / name)) << name;
}

}  // namespace
