// The three files of a whole run on a drawing of two rings, and the drawing read back by an
// independent DXF reader.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/program_runner.hpp"

namespace {

using kelmartest::linesOf;
using kelmartest::readFile;
using kelmartest::runProgramIn;
using kelmartest::scratchDirectory;

std::size_t countOf(const std::vector<std::string>& lines, const std::string& line) {
    std::size_t count = 0;
    for (const auto& l : lines) count += l == line ? 1 : 0;
    return count;
}

bool startsWith(const std::string& text, const std::string& head) { return text.compare(0, head.size(), head) == 0; }

class TwoRingRun : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = scratchDirectory("two_rings");
        std::filesystem::copy_file(std::string(KELMAR_TEST_DATA) + "/two_rings.dxf", dir / "two_rings.dxf");
        run = runProgramIn(dir, readFile(std::string(KELMAR_TEST_DATA) + "/two_rings.answers"));
    }
    static inline std::filesystem::path dir;
    static inline kelmartest::ProgramRun run;
};

TEST_F(TwoRingRun, CompletesAndEndsWithTheResidual) {
    ASSERT_EQ(run.status, 0) << run.err;
    const auto console = linesOf(run.out);
    ASSERT_GE(console.size(), 2u);
    EXPECT_TRUE(startsWith(console[console.size() - 2], "Scarto ")) << console[console.size() - 2];
    EXPECT_EQ(console.back(), "");
}

TEST_F(TwoRingRun, ReportHoldsEveryBlockInOrder) {
    const auto report = linesOf(readFile(dir / "kelmar.txt"));
    std::vector<std::string> heads = {"Programma per l'interpolazione", "File ingresso two_rings.dxf",
                                      "Numero curve lette 2", "Curva  1", "Curva  2", "Coefficienti totali",
                                      "Valore iniziale coefficiente 9 ", "Scarto quadratico medio",
                                      "Valore finale coefficiente 1 ", "Valore finale coefficiente 9 ",
                                      "Valori finali ovale", "Delta X centro", "Raggio minore     2",
                                      "Punti sull'ovale   1", "SQM curva", "Punti sull'ovale   2", "SQM curva"};
    std::size_t at = 0;
    for (const auto& head : heads) {
        while (at < report.size() && !startsWith(report[at], head)) ++at;
        ASSERT_LT(at, report.size()) << "missing or out of order: " << head;
        ++at;
    }
    // The last block is complete: 24 point lines of curve 2, its SQM line, an empty line.
    ASSERT_GE(report.size(), 27u);
    EXPECT_EQ(report.back(), "");
    EXPECT_TRUE(startsWith(report[report.size() - 2], "SQM curva ")) << report[report.size() - 2];
    EXPECT_TRUE(startsWith(report[report.size() - 3], " 24 ")) << report[report.size() - 3];
    EXPECT_EQ(report[report.size() - 28], "Punti sull'ovale   2");
}

TEST_F(TwoRingRun, CoefficientFileHoldsTheStartingValues) {
    const auto lines = linesOf(readFile(dir / "kelmar.coe"));
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[0], "two_rings.dxf");
    EXPECT_EQ(lines[1], "9");
    EXPECT_EQ(lines[6], "   0.500000000");  // the rotation as typed, in degrees
}

TEST_F(TwoRingRun, DrawingIsFramedAndHoldsEveryEntity) {
    const auto lines = linesOf(readFile(dir / "kelmar.dxf"));
    ASSERT_GE(lines.size(), 8u);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 4),
              (std::vector<std::string>{"  0", "SECTION", "  2", "ENTITIES"}));
    EXPECT_EQ(std::vector<std::string>(lines.end() - 4, lines.end()),
              (std::vector<std::string>{"  0", "ENDSEC", "  0", "EOF"}));
    EXPECT_EQ(countOf(lines, "POINT"), 48u);
    EXPECT_EQ(countOf(lines, "LINE"), 10u + 8u + 8u);
    EXPECT_EQ(countOf(lines, "ARC"), 16u);
}

TEST_F(TwoRingRun, DrawingOpensInAnIndependentReader) {
    if (std::system("/usr/bin/python3 -c 'import ezdxf' > /dev/null 2>&1") != 0) {
        GTEST_SKIP() << "python3-ezdxf is not installed";
    }
    const std::string command = "/usr/bin/python3 '" + std::string(KELMAR_TEST_DATA) +
                                "/../app/check_drawing.py' '" + (dir / "kelmar.dxf").string() +
                                "' 48 2 > '" + (dir / "check.txt").string() + "' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << readFile(dir / "check.txt");
}

}  // namespace
