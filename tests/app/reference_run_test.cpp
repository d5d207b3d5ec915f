// Whole runs of the program and of its build with the reference residual (every trial
// vector evaluated in full, one thread): every byte of the console, the report, the
// coefficient file and the drawing must be the same.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "support/example_oval.hpp"
#include "support/noisy_ovals.hpp"
#include "support/program_runner.hpp"

namespace {

using kelmartest::readFile;
using kelmartest::runProgramIn;
using kelmartest::scratchDirectory;
using kelmartest::writeFile;

struct RunRow {
    std::string name;
    CoefficientVector truth;  // rotation in radians
    int perArc;
    bool asText;              // one curve as a text point list
    std::vector<int> empty;   // curves (from 1) left without points
    std::string answers;      // after the file name: centre, rotation in degrees, lengths, AEs
};

void PrintTo(const RunRow& row, std::ostream* os) { *os << row.name; }

class WholeRunBothWays : public ::testing::TestWithParam<RunRow> {};

TEST_P(WholeRunBothWays, WritesTheSameBytes) {
    const RunRow& row = GetParam();
    CurveStore store = kelmartest::noisyOvalStore(row.truth, row.perArc, 0.02L, 31);
    for (const int j : row.empty) store.curves[static_cast<std::size_t>(j - 1)] = Curve{};
    std::string input;
    std::string name;
    if (row.asText) {
        name = "points.txt";
        input = std::to_string(store.curves[0].x.size()) + "\r\n";
        char line[96];
        for (std::size_t i = 0; i < store.curves[0].x.size(); ++i) {
            std::snprintf(line, sizeof line, "%.5Lf %.5Lf\r\n", store.curves[0].x[i], store.curves[0].y[i]);
            input += line;
        }
    } else {
        name = "rings.dxf";
        input = kelmartest::dxfOf(store, 4);
    }

    const auto fastDir = scratchDirectory(row.name + "_fast");
    const auto referenceDir = scratchDirectory(row.name + "_reference");
    writeFile(fastDir / name, input);
    writeFile(referenceDir / name, input);
    const auto fast = runProgramIn(fastDir, name + "\n" + row.answers);
    const auto reference = runProgramIn(referenceDir, name + "\n" + row.answers, KELMAR_REFERENCE_BINARY);

    ASSERT_EQ(reference.status, 0) << reference.err;
    EXPECT_EQ(fast.status, reference.status);
    EXPECT_EQ(fast.out, reference.out);
    EXPECT_EQ(fast.err, reference.err);
    for (const char* file : {"kelmar.txt", "kelmar.coe", "kelmar.dxf"}) {
        const std::string expected = readFile(referenceDir / file);
        EXPECT_FALSE(expected.empty()) << file;
        EXPECT_TRUE(readFile(fastDir / file) == expected) << file << " differs";
    }
}

CoefficientVector truth(Real80 cx, Real80 cy, Real80 theta, std::initializer_list<Real80> ae) {
    return example::ovalCoefficients(cx, cy, theta, ae);
}

// Sizes: the rings run above the point count from which the fit measures on several threads,
// the text curve below it.
INSTANTIATE_TEST_SUITE_P(
    Run, WholeRunBothWays,
    ::testing::Values(RunRow{"threeRingsOnThreads", truth(0.3L, -0.2L, 0.02L, {2, 3.5L, 5}), 50, false, {},
                             "0.2\n-0.1\n1.5\n10.2\n5.9\n8.1\n4.9\n2.1\n3.4\n5.1\n"},
                      RunRow{"oneCurveAsText", truth(0.1L, 0.1L, -0.05L, {3}), 40, true, {},
                             "0\n0\n-3\n9.8\n6.1\n7.9\n5.1\n2.9\n"},
                      RunRow{"emptyPolylineBetweenRings", truth(0, 0, 0, {2, 3, 4}), 45, false, {2},
                             "0.1\n0.1\n1\n10.3\n6.2\n8.2\n4.8\n2.2\n3\n3.9\n"}),
    [](const auto& info) { return info.param.name; });

}  // namespace
