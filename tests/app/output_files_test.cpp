// What a run does to the user's files when it cannot finish: a failed write, SIGTERM or Ctrl-C
// during a long fit, two runs into one folder, a console that cannot be written. The previous
// files are compared byte for byte with what the folder held before.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "oval_sampling.hpp"
#include "support/noisy_ovals.hpp"
#include "support/program_runner.hpp"

namespace {

namespace fs = std::filesystem;
using kelmartest::readFile;
using kelmartest::writeFile;
using Folder = std::map<std::string, std::string>;

const std::vector<std::string> fitOutputs = {"kelmar.txt",  "kelmar.coe", "kelmar.dxf",
                                             "kelmar.svg", "kelmar.json", "kelmar.gpkg"};

/// The files of a folder with their bytes; a folder shows as "<folder>". Temporary files of a
/// run (".kelmar-...") are listed too, so that one left behind shows as a difference.
Folder contentsOf(const fs::path& dir) {
    Folder contents;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(".std", 0) == 0) continue;  // the runner's own files
        contents[name] = entry.is_directory() ? std::string("<folder>") : readFile(entry.path());
    }
    return contents;
}

/// Starts the program in `dir` with `arguments` (no shell: any byte may be in them), standard
/// input from `input`, standard output into `output` (relative to dir) and error into .stderr.
pid_t launch(const fs::path& dir, const std::vector<std::string>& arguments, const std::string& output = ".stdout",
             const std::string& input = "/dev/null", const std::string& errors = ".stderr") {
    std::vector<std::string> words = {KELMAR_BINARY};
    words.insert(words.end(), arguments.begin(), arguments.end());
    const pid_t child = fork();
    if (child != 0) return child;
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    if (chdir(dir.c_str()) != 0) _exit(120);
    const int in = open(input.c_str(), O_RDONLY);
    const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(121);
    execv(argv[0], argv.data());
    _exit(122);
}

/// The exit status, or 128 + the signal that ended the process.
int statusOf(pid_t child) {
    int raw = 0;
    if (waitpid(child, &raw, 0) != child) return -1;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

struct Finished {
    int status;
    std::string out, err;
};
Finished runIn(const fs::path& dir, const std::vector<std::string>& arguments, const std::string& input = "/dev/null") {
    const int status = statusOf(launch(dir, arguments, ".stdout", input));
    return {status, readFile(dir / ".stdout"), readFile(dir / ".stderr")};
}

/// Three rings of the generator's default oval, `points` each, as a DXF drawing.
std::string ovalDrawing(int points, std::uint64_t seed, Real80 ae = 2) {
    CoefficientVector truth;
    truth.values = {10, 6, 0, 0, 0, 8, 5, ae, ae + 1, ae + 2};
    return kelmartest::dxfOf(curveStoreOf(sampleOvalFamily(truth, points, 0.01L, seed)), 6);
}

/// The same rings as a survey file with a RING column, which kelmar reads itself: large
/// drawings go through it where a DXF's long polylines would be slow to read under sanitizers.
std::string ovalSurvey(int points, std::uint64_t seed) {
    CoefficientVector truth;
    truth.values = {10, 6, 0, 0, 0, 8, 5, 2, 3, 4};
    const CurveStore store = curveStoreOf(sampleOvalFamily(truth, points, 0.01L, seed));
    std::string text = "X,Y,RING\n";
    char line[96];
    for (std::size_t j = 0; j < store.curves.size(); ++j) {
        for (std::size_t i = 0; i < store.curves[j].x.size(); ++i) {
            std::snprintf(line, sizeof line, "%.9f,%.9f,%zu\n", static_cast<double>(store.curves[j].x[i]),
                          static_cast<double>(store.curves[j].y[i]), j + 1);
            text += line;
        }
    }
    return text;
}

/// Waits until `done` holds (true) or `seconds` pass (false).
template <typename Condition>
bool waitFor(Condition done, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

Folder previousFitFiles() {
    Folder files;
    for (const std::string& name : fitOutputs) files[name] = "previous " + name + "\r\n";
    return files;
}

// ---------------------------------------------------------------- a file that cannot be written

struct BlockedFitRow {
    std::string name;
    std::string blocked;  // a folder stands where this output goes
};
void PrintTo(const BlockedFitRow& row, std::ostream* os) { *os << row.name; }

class BlockedFitOutput : public ::testing::TestWithParam<BlockedFitRow> {};

TEST_P(BlockedFitOutput, LeavesEveryPreviousFileAsItWas) {
    const BlockedFitRow& row = GetParam();
    const fs::path dir = kelmartest::scratchDirectory("fit_blocked_" + row.name);
    writeFile(dir / "plan.dxf", ovalDrawing(60, 4));
    fs::create_directory(dir / "out");
    for (const auto& [name, text] : previousFitFiles()) {
        if (name != row.blocked) writeFile(dir / "out" / name, text);
    }
    fs::create_directory(dir / "out" / row.blocked);
    const Folder before = contentsOf(dir / "out");

    const Finished run = runIn(dir, {"fit", "plan.dxf", "--out", "out"});
    EXPECT_EQ(run.status, EISDIR) << run.err;
    EXPECT_NE(run.err.find("'out/" + row.blocked + "': Is a directory"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("nothing was replaced: out/kelmar.txt, out/kelmar.coe"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("Runtime error"), std::string::npos);
    EXPECT_EQ(run.out.find("Runtime error"), std::string::npos) << "the commands print a sentence alone";
    EXPECT_EQ(contentsOf(dir / "out"), before);
}

INSTANTIATE_TEST_SUITE_P(OutputFiles, BlockedFitOutput,
                         ::testing::Values(BlockedFitRow{"FirstOfTheSet", "kelmar.txt"},
                                           BlockedFitRow{"Drawing", "kelmar.dxf"},
                                           BlockedFitRow{"Json", "kelmar.json"},
                                           BlockedFitRow{"LastOfTheSet", "kelmar.gpkg"}),
                         [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------- interrupted runs

struct InterruptRow {
    std::string name;
    int signal;
    int status;
    std::string said;
};
void PrintTo(const InterruptRow& row, std::ostream* os) { *os << row.name; }

class InterruptedFit : public ::testing::TestWithParam<InterruptRow> {};

// Long enough (3 rings of 40,000 points, more than a second on this machine) that the signal
// comes while the solver iterates: its first iteration line is the cue.
TEST_P(InterruptedFit, RemovesItsTemporariesAndKeepsThePreviousFiles) {
    const InterruptRow& row = GetParam();
    const fs::path dir = kelmartest::scratchDirectory("fit_interrupted_" + row.name);
    writeFile(dir / "plan.csv", ovalSurvey(40000, 6));
    fs::create_directory(dir / "out");
    for (const auto& [name, text] : previousFitFiles()) writeFile(dir / "out" / name, text);
    const Folder before = contentsOf(dir / "out");

    const pid_t child = launch(dir, {"fit", "plan.csv", "--ring-by", "RING", "--out", "out"});
    const bool iterating =
        waitFor([&] { return readFile(dir / ".stdout").find("iteration") != std::string::npos; }, 120);
    kill(child, row.signal);
    const int status = statusOf(child);
    ASSERT_TRUE(iterating) << "the fit never reached its iterations";
    ASSERT_NE(status, 0) << "the fit ended before the signal came: give it more points";
    EXPECT_EQ(status, row.status);
    EXPECT_NE(readFile(dir / ".stderr").find(row.said), std::string::npos) << readFile(dir / ".stderr");
    EXPECT_EQ(contentsOf(dir / "out"), before);
}

INSTANTIATE_TEST_SUITE_P(OutputFiles, InterruptedFit,
                         ::testing::Values(InterruptRow{"Terminated", SIGTERM, 143, "interrupted (SIGTERM)"},
                                           InterruptRow{"CtrlC", SIGINT, 130, "interrupted (SIGINT)"}),
                         [](const auto& info) { return info.param.name; });

// The dialogue writes kelmar.coe whole before its fit, so that an interrupted fit can be started
// again from it; its report and drawing stay the previous run's.
TEST(InterruptedDialogue, KeepsThePreviousReportAndDrawingAndAWholeCoefficientFile) {
    const fs::path dir = kelmartest::scratchDirectory("dialogue_interrupted");
    writeFile(dir / "big.dxf", ovalDrawing(20000, 8));
    writeFile(dir / "kelmar.txt", "previous report\r\n");
    writeFile(dir / "kelmar.dxf", "previous drawing\r\n");
    writeFile(dir / "kelmar.coe", "previous coefficients\r\n");
    writeFile(dir / ".answers", "big.dxf\n0.2\n-0.1\n1\n10.4\n5.8\n8.3\n4.8\n2.1\n3.1\n4.1\n");

    const pid_t child = launch(dir, {}, ".stdout", ".answers");
    const bool started = waitFor([&] { return readFile(dir / "kelmar.coe").rfind("big.dxf\r\n", 0) == 0; }, 120);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(child, SIGTERM);
    const int status = statusOf(child);
    ASSERT_TRUE(started) << "kelmar.coe was never written";
    ASSERT_NE(status, 0) << "the fit ended before the signal came: give it more points";
    EXPECT_EQ(status, 143);
    EXPECT_EQ(readFile(dir / "kelmar.txt"), "previous report\r\n");
    EXPECT_EQ(readFile(dir / "kelmar.dxf"), "previous drawing\r\n");
    const std::string coe = readFile(dir / "kelmar.coe");
    std::size_t lines = 0;
    for (std::size_t at = coe.find("\r\n"); at != std::string::npos; at = coe.find("\r\n", at + 2)) ++lines;
    EXPECT_EQ(lines, 12u) << "the name, the count and ten coefficients: " << coe;
    EXPECT_EQ(coe.substr(coe.size() - 2), "\r\n");
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        EXPECT_NE(entry.path().filename().string().rfind(".kelmar-", 0), 0u) << "left behind: " << entry.path();
    }
}

// ---------------------------------------------------------------- two runs into one folder

TEST(ConcurrentFits, NeverMixTheirFiles) {
    const fs::path dir = kelmartest::scratchDirectory("fit_concurrent");
    writeFile(dir / "a.dxf", ovalDrawing(400, 11));
    writeFile(dir / "b.dxf", ovalDrawing(400, 12, 2.5L));
    ASSERT_EQ(runIn(dir, {"fit", "a.dxf", "--out", "alone_a"}).status, 0);
    ASSERT_EQ(runIn(dir, {"fit", "b.dxf", "--out", "alone_b"}).status, 0);
    // The GeoPackage holds GDAL's timestamps, so it differs from run to run: the other files tell.
    Folder setA = contentsOf(dir / "alone_a");
    Folder setB = contentsOf(dir / "alone_b");
    setA.erase("kelmar.gpkg");
    setB.erase("kelmar.gpkg");
    ASSERT_NE(setA.at("kelmar.txt"), setB.at("kelmar.txt"));

    for (int round = 0; round < 6; ++round) {
        const pid_t first = launch(dir, {"fit", "a.dxf", "--out", "out"}, ".stdout_a", "/dev/null", ".stderr_a");
        const pid_t second = launch(dir, {"fit", "b.dxf", "--out", "out"}, ".stdout_b", "/dev/null", ".stderr_b");
        EXPECT_EQ(statusOf(first), 0) << readFile(dir / ".stderr_a");
        EXPECT_EQ(statusOf(second), 0) << readFile(dir / ".stderr_b");
        Folder now = contentsOf(dir / "out");
        EXPECT_EQ(now.erase("kelmar.gpkg"), 1u);
        EXPECT_TRUE(now == setA || now == setB) << "round " << round << ": the folder holds a mixed set";
    }
}

TEST(ConcurrentRuns, AFitIsRefusedWhileTheDialogueHoldsTheFolder) {
    const fs::path dir = kelmartest::scratchDirectory("dialogue_holds_folder");
    // Long enough that the dialogue still holds the folder when the fit has waited its while.
    writeFile(dir / "big.dxf", ovalDrawing(60000, 8));
    writeFile(dir / "small.dxf", ovalDrawing(60, 9));
    writeFile(dir / ".answers", "big.dxf\n0.2\n-0.1\n1\n10.4\n5.8\n8.3\n4.8\n2.1\n3.1\n4.1\n");
    const pid_t dialogue = launch(dir, {}, ".stdout_d", ".answers", ".stderr_d");
    const bool fitting = waitFor([&] { return readFile(dir / "kelmar.coe").rfind("big.dxf\r\n", 0) == 0; }, 120);

    const Finished fit = runIn(dir, {"fit", "small.dxf"});
    kill(dialogue, SIGTERM);
    const int dialogueStatus = statusOf(dialogue);
    ASSERT_TRUE(fitting);
    ASSERT_EQ(dialogueStatus, 143) << "the dialogue ended before the fit was tried";
    EXPECT_EQ(fit.status, 75) << fit.err;
    EXPECT_NE(fit.err.find("is busy"), std::string::npos) << fit.err;
    EXPECT_FALSE(fs::exists(dir / "kelmar.json"));
}

// ---------------------------------------------------------------- standard output is an output

struct FullConsoleRow {
    std::string name;
    std::vector<std::string> arguments;  // none: the dialogue
};
void PrintTo(const FullConsoleRow& row, std::ostream* os) { *os << row.name; }

class FullConsole : public ::testing::TestWithParam<FullConsoleRow> {};

TEST_P(FullConsole, EndsWithTheFullDisksStatus) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    const fs::path dir = kelmartest::scratchDirectory("full_console_" + GetParam().name);
    writeFile(dir / "plan.dxf", ovalDrawing(60, 4));
    writeFile(dir / "drawing.dxf", readFile(std::string(KELMAR_TEST_DATA) + "/golden/arena/kelmar.dxf"));
    writeFile(dir / ".answers", "plan.dxf\n0\n0\n0\n10\n6\n8\n5\n2\n3\n4\n");
    const int status = statusOf(launch(dir, GetParam().arguments, "/dev/full", ".answers"));
    EXPECT_EQ(status, 28);
    EXPECT_NE(readFile(dir / ".stderr").find("cannot write to 'standard output': No space left on device"),
              std::string::npos)
        << readFile(dir / ".stderr");
}

INSTANTIATE_TEST_SUITE_P(OutputFiles, FullConsole,
                         ::testing::Values(FullConsoleRow{"Guess", {"guess", "plan.dxf"}},
                                           FullConsoleRow{"Fit", {"fit", "plan.dxf", "--out", "out"}},
                                           FullConsoleRow{"Svg", {"svg", "drawing.dxf", "picture.svg"}},
                                           FullConsoleRow{"Dialogue", {}}),
                         [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------- names and folders

TEST(FitNames, APlanNameThatIsNotUtf8IsWrittenWithReplacementCharacters) {
    const fs::path dir = kelmartest::scratchDirectory("fit_latin1_name");
    const std::string plan = "caf\xe9.dxf";  // Latin-1, as an old archive names it
    writeFile(dir / plan, ovalDrawing(60, 4));
    const Finished run = runIn(dir, {"fit", plan, "--out", "out"});
    ASSERT_EQ(run.status, 0) << run.err;
    const nlohmann::json j = nlohmann::json::parse(readFile(dir / "out" / "kelmar.json"));
    EXPECT_EQ(j["input"].get<std::string>(), "caf\xef\xbf\xbd.dxf");
    // kelmar.coe keeps the name's own bytes, so that the dialogue finds the file.
    EXPECT_EQ(readFile(dir / "out" / "kelmar.coe").rfind("../" + plan + "\r\n", 0), 0u);
}

TEST(FitNames, TheCoefficientFileLetsTheDialogueRunInTheOutputFolder) {
    const fs::path dir = kelmartest::scratchDirectory("fit_coe_from_out");
    fs::create_directory(dir / "data");
    writeFile(dir / "data" / "plan.dxf", ovalDrawing(60, 4));
    ASSERT_EQ(runIn(dir, {"fit", "data/plan.dxf", "--out", "results/first"}).status, 0);
    EXPECT_EQ(readFile(dir / "results" / "first" / "kelmar.coe").rfind("../../data/plan.dxf\r\n", 0), 0u);
    writeFile(dir / "results" / "first" / ".answers", "kelmar.coe\n");
    const Finished dialogue = runIn(dir / "results" / "first", {}, ".answers");
    EXPECT_EQ(dialogue.status, 0) << dialogue.err;
}

TEST(SvgTarget, ReplacesAnEarlierPictureButNeverAnotherFile) {
    const fs::path dir = kelmartest::scratchDirectory("svg_target");
    const std::string drawing = readFile(std::string(KELMAR_TEST_DATA) + "/golden/arena/kelmar.dxf");
    writeFile(dir / "kelmar.dxf", drawing);
    writeFile(dir / "plan_copy.dxf", drawing);
    writeFile(dir / "old.svg", "<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\"></svg>\n");

    const Finished refused = runIn(dir, {"svg", "kelmar.dxf", "plan_copy.dxf"});
    EXPECT_EQ(refused.status, 64);
    EXPECT_NE(refused.err.find("'plan_copy.dxf' is not an SVG picture"), std::string::npos) << refused.err;
    EXPECT_EQ(readFile(dir / "plan_copy.dxf"), drawing);

    const Finished replaced = runIn(dir, {"svg", "kelmar.dxf", "old.svg"});
    EXPECT_EQ(replaced.status, 0) << replaced.err;
    EXPECT_NE(readFile(dir / "old.svg").find("fitted eight-centre ovals"), std::string::npos);
}

}  // namespace
