// Whole runs of the built program: the dialogue, the report's opening blocks, the
// coefficient file, and every way a run ends early.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "support/program_runner.hpp"

namespace {

using kelmartest::crlf;
using kelmartest::endsWithRuntimeError;
using kelmartest::readFile;
using kelmartest::runProgramIn;
using kelmartest::scratchDirectory;
using kelmartest::writeFile;

const std::string banner = "Programma per l'interpolazione di un ovale a 8 centri";

// Two polylines: three vertices, then one with none.
const std::string twoCurveDrawing = crlf({"  0", "SECTION", "  2", "ENTITIES",
                                          "  0", "POLYLINE", "  8", "0", " 66", "     1", " 10", "0.0", " 20", "0.0",
                                          "  0", "VERTEX", "  8", "0", " 10", "1234.5", " 20", "-67.25", " 30", "0.0",
                                          "  0", "VERTEX", "  8", "0", " 10", "-3", " 20", "5", " 30", "0.0",
                                          "  0", "VERTEX", "  8", "0", " 10", " 12 ", " 20", "0.1234567896", " 30", "0.0",
                                          "  0", "SEQEND",
                                          "  0", "POLYLINE", "  8", "0", " 66", "     1",
                                          "  0", "SEQEND",
                                          "  0", "ENDSEC", "  0", "EOF"});

// Answers typed in the order of the questions; units after a number are ignored.
const std::string twoCurveAnswers = "ring.dxf\n0\n-0.5\n30 gradi\n100 m\n60\n40\n25\n50\n0.1234567896\n";

// The second banner line, the same on the console and in the report.
const std::string credit = "kelmar " KELMAR_PROJECT_VERSION " - ovale a otto centri ai minimi quadrati, precisione estesa";

TEST(Run, DialogueReportHeaderAndCoefficientFile) {
    const auto dir = scratchDirectory("two_curves");
    writeFile(dir / "ring.dxf", twoCurveDrawing);
    const auto run = runProgramIn(dir, twoCurveAnswers);

    const std::string expectedConsole =
        crlf({banner, credit, ""}) + "Immetti nome file ingresso (spline DXF) " +
        crlf({"Coefficienti totali        9", "Curve lette da file        2"}) +
        "Coordinata approssimata X centro   Coordinata approssimata Y centro   Rotazione approssimata in gradi    "
        "Distanza approssimata OA           Distanza approssimata OB           Distanza approssimata OC           "
        "Distanza approssimata DC           Valore approssimato del raggio AE curva  1 "
        "Valore approssimato del raggio AE curva  2 ";
    EXPECT_EQ(run.out.substr(0, expectedConsole.size()), expectedConsole);

    const std::string expectedReport = crlf({banner, credit, "",
                                             "File ingresso ring.dxf", "",
                                             "Numero curve lette 2",
                                             "Numero punti curva 1     3",
                                             "Numero punti curva 2     0", "",
                                             "Curva  1",
                                             "   1  X    1234.5000  Y     -67.2500",
                                             "   2  X      -3.0000  Y       5.0000",
                                             "   3  X      12.0000  Y       0.1235", "",
                                             "Curva  2", "",
                                             "",
                                             "Coefficienti totali        9", "",
                                             "Valore iniziale coefficiente 1 =  100.000000000",
                                             "Valore iniziale coefficiente 2 =   60.000000000",
                                             "Valore iniziale coefficiente 3 =    0.000000000",
                                             "Valore iniziale coefficiente 4 =   -0.500000000",
                                             "Valore iniziale coefficiente 5 =   30.000000000",
                                             "Valore iniziale coefficiente 6 =   40.000000000",
                                             "Valore iniziale coefficiente 7 =   25.000000000",
                                             "Valore iniziale coefficiente 8 =   50.000000000",
                                             "Valore iniziale coefficiente 9 =    0.123456790", ""});
    const std::string report = readFile(dir / "kelmar.txt");
    EXPECT_EQ(report.substr(0, expectedReport.size()), expectedReport);

    EXPECT_EQ(readFile(dir / "kelmar.coe"), crlf({"ring.dxf", "9",
                                                  " 100.000000000", "  60.000000000", "   0.000000000",
                                                  "  -0.500000000", "  30.000000000", "  40.000000000",
                                                  "  25.000000000", "  50.000000000", "   0.123456790"}));
}

TEST(Run, StartsAgainFromTheCoefficientFile) {
    const auto dir = scratchDirectory("restart");
    writeFile(dir / "ring.dxf", twoCurveDrawing);
    ASSERT_EQ(runProgramIn(dir, twoCurveAnswers).status, 0);
    const std::string firstCoefficients = readFile(dir / "kelmar.coe");
    const std::string firstReport = readFile(dir / "kelmar.txt");

    const auto again = runProgramIn(dir, "kelmar.coe\n");
    EXPECT_EQ(again.status, 0) << again.err;
    // No questions on a loaded run.
    EXPECT_EQ(again.out.find("Coefficienti totali"), std::string::npos);
    EXPECT_EQ(again.out.find("Coordinata approssimata"), std::string::npos);
    EXPECT_EQ(readFile(dir / "kelmar.coe"), firstCoefficients);
    const std::string report = readFile(dir / "kelmar.txt");
    EXPECT_NE(report.find("\r\nFile ingresso ring.dxf\r\n"), std::string::npos);
    EXPECT_EQ(report.find("Coefficienti totali"), std::string::npos);
    // The same start gives the same fit: everything after the listing of the starting
    // values is identical to the first run's.
    const std::string marker = "Valore iniziale coefficiente 9 =    0.123456790\r\n";
    ASSERT_NE(firstReport.find(marker), std::string::npos);
    ASSERT_NE(report.find(marker), std::string::npos);
    EXPECT_EQ(report.substr(report.find(marker)), firstReport.substr(firstReport.find(marker)));
}

struct FailingRunRow {
    const char* name;
    const char* inputFile;     // written into the directory when not empty
    const char* inputText;
    const char* answers;
    const char* pointsFile;    // a second file, the points a coefficient file names
    const char* pointsText;
    int status;
    bool runtimeErrorLine;     // "Runtime error NNN at XXXXXXXX" ends standard output
    const char* sentence;      // a part of the sentence on standard error
    bool reportReplaced;       // false: an earlier "kelmar.txt" must stay untouched
};
void PrintTo(const FailingRunRow& row, std::ostream* os) { *os << row.name; }

class FailingRun : public ::testing::TestWithParam<FailingRunRow> {};

TEST_P(FailingRun, EndsWithItsStatusLineAndSentence) {
    const FailingRunRow& row = GetParam();
    const auto dir = scratchDirectory(std::string("fail_") + row.name);
    if (row.inputFile[0] != '\0') writeFile(dir / row.inputFile, row.inputText);
    if (row.pointsFile[0] != '\0') writeFile(dir / row.pointsFile, row.pointsText);
    const std::string earlierReport = "report of an earlier run\r\n";
    writeFile(dir / "kelmar.txt", earlierReport);

    const auto run = runProgramIn(dir, row.answers);
    EXPECT_EQ(run.status, row.status) << run.err;
    EXPECT_EQ(endsWithRuntimeError(run.out, row.status), row.runtimeErrorLine) << run.out;
    EXPECT_NE(run.err.find(row.sentence), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one sentence, one line: " << run.err;
    if (row.reportReplaced) {
        EXPECT_NE(readFile(dir / "kelmar.txt"), earlierReport);
    } else {
        EXPECT_EQ(readFile(dir / "kelmar.txt"), earlierReport);
        EXPECT_FALSE(std::filesystem::exists(dir / "kelmar.coe"));
    }
}

const std::string shortList = crlf({"5", "1 1", "-1 1", "-1 -1"});
const std::string noPolyline = crlf({"  0", "SECTION", "  2", "ENTITIES", "  0", "LINE", "  8", "0", " 10", "1.0",
                                     " 20", "2.0", " 11", "3.0", " 21", "4.0", "  0", "ENDSEC", "  0", "EOF"});
const std::string square = crlf({"4", "1 1", "-1 1", "-1 -1", "1 -1"});
const std::string wrongCount = crlf({"square.txt", "9", "1", "1", "0", "0", "0", "1", "1", "1", "1"});
const std::string namesItself = crlf({"other.coe", "8", "1", "1", "0", "0", "0", "1", "1", "1"});

INSTANTIATE_TEST_SUITE_P(
    Errors, FailingRun,
    ::testing::Values(
        FailingRunRow{"MissingFile", "", "", "nothere.dxf\n", "", "", 2, true,
                      "cannot open 'nothere.dxf': No such file or directory", false},
        FailingRunRow{"EmptyName", "", "", "\n", "", "", 64, false, "no input file was named", false},
        FailingRunRow{"EndOfInputAtFirstQuestion", "", "", "", "", "", 64, false, "no input file was named", false},
        FailingRunRow{"DecimalCommaAnswer", "square.txt", square.c_str(), "square.txt\n12,5\n", "", "", 106, true,
                      "the answer '12,5' is not a number: use a point as the decimal separator", false},
        FailingRunRow{"WordAnswer", "square.txt", square.c_str(), "square.txt\n0\ncento\n", "", "", 106, true,
                      "the answer 'cento' is not a number", false},
        FailingRunRow{"ShortPointList", "ring.txt", shortList.c_str(), "ring.txt\n", "", "", 65, false,
                      "'ring.txt' declares 5 points but holds 3", false},
        FailingRunRow{"DrawingWithoutPolylines", "lines.dxf", noPolyline.c_str(), "lines.dxf\n", "", "", 65, false,
                      "the file holds 1 LINE entity", false},
        FailingRunRow{"DrawingWithoutEntities", "plain.dxf", "nothing here\r\n", "plain.dxf\n", "", "", 65, false,
                      "has no line ENTITIES", false},
        FailingRunRow{"CoefficientCountMismatch", "start.coe", wrongCount.c_str(), "start.coe\n", "square.txt", square.c_str(), 65, false,
                      "holds 9 coefficients", false},
        FailingRunRow{"CoefficientFileNamingACoefficientFile", "start.coe", namesItself.c_str(), "start.coe\n", "", "", 65,
                      false, "another coefficient file", false},
        FailingRunRow{"CoefficientFileWithEmptyFirstLine", "start.coe", "\r\n8\r\n", "start.coe\n", "", "", 64, false,
                      "line 1 of 'start.coe' is empty", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Run, MissingPointsFileOfACoefficientFile) {
    const auto dir = scratchDirectory("coe_missing_points");
    writeFile(dir / "start.coe", crlf({"gone.dxf", "8", "1", "1", "0", "0", "0", "1", "1", "1"}));
    const auto run = runProgramIn(dir, "start.coe\n");
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(endsWithRuntimeError(run.out, 2)) << run.out;
    EXPECT_NE(run.err.find("cannot open 'gone.dxf'"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "kelmar.txt"));
}

TEST(Run, WarnsWhenThePointsDoNotSurroundTheOrigin) {
    const auto dir = scratchDirectory("far_from_origin");
    writeFile(dir / "far.txt", crlf({"4", "112 50", "100 58", "88 50", "100 42"}));
    const auto run = runProgramIn(dir, "far.txt\n100\n50\n0\n10\n6\n8\n5\n2\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("warning: the points of 'far.txt' do not surround the origin"), std::string::npos)
        << run.err;
    // The console transcript is the same as without the warning.
    EXPECT_EQ(run.out.find("warning"), std::string::npos);
}

TEST(Run, FloatingPointOverflowEndsTheRunWith205) {
    const auto dir = scratchDirectory("overflow");
    writeFile(dir / "huge.txt", crlf({"4", "1e3000 1e3000", "-1e3000 1e3000", "-1e3000 -1e3000", "1e3000 -1e3000"}));
    const auto run = runProgramIn(dir, "huge.txt\n0\n0\n0\n10\n6\n8\n5\n2\n");
    EXPECT_EQ(run.status, 205) << run.err;
    EXPECT_TRUE(endsWithRuntimeError(run.out, 205)) << run.out;
    EXPECT_NE(run.err.find("overflow"), std::string::npos) << run.err;
    // What was written before the fault stays written.
    EXPECT_EQ(readFile(dir / "kelmar.coe").substr(0, 10), "huge.txt\r\n");
}

TEST(Run, ConsoleThatGoesAwayIsAFailedWrite) {
    const auto dir = scratchDirectory("closed_console");
    writeFile(dir / "two_rings.dxf", readFile(std::string(KELMAR_TEST_DATA) + "/two_rings.dxf"));
    writeFile(dir / ".answers", readFile(std::string(KELMAR_TEST_DATA) + "/two_rings.answers"));
    // Standard output is a pipe whose reading end is already closed: the first console
    // line fails with EPIPE.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int ends[2];
        if (pipe(ends) != 0 || chdir(dir.c_str()) != 0) _exit(127);
        close(ends[0]);
        const int answers = open(".answers", O_RDONLY);
        const int errors = open(".stderr", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (answers < 0 || errors < 0) _exit(127);
        dup2(answers, 0);
        dup2(ends[1], 1);
        dup2(errors, 2);
        execl(KELMAR_BINARY, KELMAR_BINARY, static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by a signal: " << status;
    EXPECT_EQ(WEXITSTATUS(status), 32);
    EXPECT_EQ(readFile(dir / ".stderr"), "kelmar: cannot write to 'standard output': Broken pipe\n");
}

}  // namespace
