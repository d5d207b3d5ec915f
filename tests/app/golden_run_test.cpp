// Whole runs compared with stored outputs, byte for byte: the console, standard error, the
// exit status and the three files. They pin every byte a run writes, including formatting
// that two builds of the program would share.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/program_runner.hpp"

namespace {

using kelmartest::readFile;
using kelmartest::runProgramIn;
using kelmartest::scratchDirectory;

struct GoldenRow {
    std::string name;   // folder under tests/data/golden
    std::string input;  // the input file in that folder
};
void PrintTo(const GoldenRow& row, std::ostream* os) { *os << row.name; }

class GoldenRun : public ::testing::TestWithParam<GoldenRow> {};

TEST_P(GoldenRun, WritesTheStoredBytes) {
    const GoldenRow& row = GetParam();
    const std::filesystem::path golden = std::filesystem::path(KELMAR_TEST_DATA) / "golden" / row.name;
    const auto dir = scratchDirectory("golden_" + row.name);
    std::filesystem::copy_file(golden / row.input, dir / row.input);

    const auto run = runProgramIn(dir, readFile(golden / "answers"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.out == readFile(golden / "console.txt")) << "the console differs";
    EXPECT_EQ(run.err, readFile(golden / "stderr.txt"));
    for (const char* file : {"kelmar.txt", "kelmar.coe", "kelmar.dxf"}) {
        EXPECT_TRUE(readFile(dir / file) == readFile(golden / file)) << file << " differs";
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, GoldenRun,
                         ::testing::Values(GoldenRow{"amphitheatre", "amphitheatre.dxf"},
                                           GoldenRow{"arena", "arena.txt"}),
                         [](const auto& info) { return info.param.name; });

}  // namespace
