// Sets of output files: all of them in place, or none; what the folder holds afterwards is
// compared byte for byte with what it held before.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "base/output_set.hpp"
#include "base/run_error.hpp"
#include "support/program_runner.hpp"

namespace {

namespace fs = std::filesystem;
using Folder = std::map<std::string, std::string>;

/// Every entry of the folder with its bytes ("<folder>" for a folder, "-> target" for a link).
Folder contentsOf(const fs::path& dir) {
    Folder contents;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_symlink()) {
            contents[name] = "-> " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_directory()) {
            contents[name] = "<folder>";
        } else {
            contents[name] = kelmartest::readFile(entry.path());
        }
    }
    return contents;
}

const std::vector<std::string> names = {"kelmar.txt", "kelmar.coe", "kelmar.dxf"};
const Folder previous = {{"kelmar.txt", "old report\r\n"}, {"kelmar.coe", "old coefficients\r\n"},
                         {"kelmar.dxf", "old drawing\r\n"}};

void fill(const fs::path& dir, const Folder& files) {
    for (const auto& [name, text] : files) kelmartest::writeFile(dir / name, text);
}

std::optional<OutputFailure> writeSet(OutputSet& set) {
    for (const std::string& name : names) {
        if (auto failure = addOutputText(set, name, "new " + name + "\r\n")) return failure;
    }
    return commitOutputSet(set);
}

// ---------------------------------------------------------------- a move that fails

// The move that fails: the n-th call fails with EIO (counted from 1; 0 never).
int failingMove = 0;
int movesMade = 0;
int moveOrFail(const char* from, const char* to) {
    if (++movesMade == failingMove) {
        errno = EIO;
        return -1;
    }
    return ::rename(from, to);
}

struct FailingMoveRow {
    std::string name;
    Folder before;    // the folder's files before the run
    int failingMove;  // which move fails
};
void PrintTo(const FailingMoveRow& row, std::ostream* os) { *os << row.name; }

class FailingMove : public ::testing::TestWithParam<FailingMoveRow> {};

TEST_P(FailingMove, PutsBackEveryFileAlreadyReplaced) {
    const FailingMoveRow& row = GetParam();
    const fs::path dir = kelmartest::scratchDirectory("set_move_" + row.name);
    fill(dir, row.before);
    OutputSet set = startOutputSet(dir.string(), names);
    set.moveFile = moveOrFail;
    failingMove = row.failingMove;
    movesMade = 0;

    const std::optional<OutputFailure> failure = writeSet(set);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->status, EIO);
    EXPECT_NE(failure->sentence.find("are as they were"), std::string::npos) << failure->sentence;
    EXPECT_EQ(contentsOf(dir), row.before) << "a file changed, or a temporary file stayed";
}

INSTANTIATE_TEST_SUITE_P(
    OutputSet, FailingMove,
    ::testing::Values(FailingMoveRow{"FirstOfThreePrevious", previous, 1},
                      FailingMoveRow{"SecondOfThreePrevious", previous, 2},
                      FailingMoveRow{"LastOfThreePrevious", previous, 3},
                      FailingMoveRow{"LastWhereNothingStoodBefore", {}, 3},
                      FailingMoveRow{"LastWithSomePrevious", {{"kelmar.coe", "only this\r\n"}}, 3}),
    [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------- members the set removes

struct StaleMemberRow {
    std::string name;
    Folder before;    // the folder's files before the run
    int failingMove;  // which move fails (0: none)
    Folder after;     // the folder afterwards
};
void PrintTo(const StaleMemberRow& row, std::ostream* os) { *os << row.name; }

class StaleMember : public ::testing::TestWithParam<StaleMemberRow> {};

Folder withStale(Folder files) {
    files["kelmar.gpkg"] = "an earlier run's GeoPackage\r\n";
    return files;
}
const Folder written = {{"kelmar.txt", "new kelmar.txt\r\n"}, {"kelmar.coe", "new kelmar.coe\r\n"},
                        {"kelmar.dxf", "new kelmar.dxf\r\n"}};

TEST_P(StaleMember, GoesWithTheSetOrStays) {
    const StaleMemberRow& row = GetParam();
    const fs::path dir = kelmartest::scratchDirectory("set_stale_" + row.name);
    fill(dir, row.before);
    OutputSet set = startOutputSet(dir.string(), names);
    set.moveFile = moveOrFail;
    failingMove = row.failingMove;
    movesMade = 0;
    // Removed first, so that a later move that fails has a removal to put back.
    removeWithOutputSet(set, "kelmar.gpkg");
    const std::optional<OutputFailure> failure = writeSet(set);
    EXPECT_EQ(failure.has_value(), row.failingMove != 0) << (failure ? failure->sentence : "");
    EXPECT_EQ(contentsOf(dir), row.after) << "a file is not as it should be, or a temporary file stayed";
}

INSTANTIATE_TEST_SUITE_P(
    OutputSet, StaleMember,
    ::testing::Values(StaleMemberRow{"RemovedWhenTheSetIsInPlace", withStale(previous), 0, written},
                      StaleMemberRow{"PutBackWhenTheFirstMoveFails", withStale(previous), 1, withStale(previous)},
                      StaleMemberRow{"PutBackWhenTheLastMoveFails", withStale(previous), 3, withStale(previous)},
                      StaleMemberRow{"PutBackWhereNothingElseStood", withStale({}), 2, withStale({})},
                      StaleMemberRow{"AbsentNameLeftAlone", previous, 0, written}),
    [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------- whole sets

TEST(OutputSet, ReplacesEveryFileAndLeavesNoTemporary) {
    const fs::path dir = kelmartest::scratchDirectory("set_whole");
    fill(dir, previous);
    ::chmod((dir / "kelmar.txt").c_str(), 0600);
    OutputSet set = startOutputSet(dir.string(), names);
    ASSERT_FALSE(writeSet(set).has_value());
    const Folder expected = {{"kelmar.txt", "new kelmar.txt\r\n"}, {"kelmar.coe", "new kelmar.coe\r\n"},
                             {"kelmar.dxf", "new kelmar.dxf\r\n"}};
    EXPECT_EQ(contentsOf(dir), expected);
    struct stat info {};
    ASSERT_EQ(::stat((dir / "kelmar.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "the previous file's permissions stay";
}

TEST(OutputSet, AFolderWhereTheLastFileGoesReplacesNothing) {
    const fs::path dir = kelmartest::scratchDirectory("set_folder_target");
    fill(dir, {{"kelmar.txt", "old report\r\n"}, {"kelmar.coe", "old coefficients\r\n"}});
    fs::create_directory(dir / "kelmar.dxf");
    const Folder before = contentsOf(dir);
    OutputSet set = startOutputSet(dir.string(), names);
    const std::optional<OutputFailure> failure = writeSet(set);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->status, EISDIR);
    EXPECT_NE(failure->sentence.find("kelmar.dxf"), std::string::npos) << failure->sentence;
    EXPECT_EQ(contentsOf(dir), before);
}

TEST(OutputSet, ALinkStaysALinkAndLeadsToTheNewContent) {
    const fs::path dir = kelmartest::scratchDirectory("set_link");
    fs::create_directory(dir / "elsewhere");
    kelmartest::writeFile(dir / "elsewhere" / "report.txt", "old\r\n");
    fs::create_symlink("elsewhere/report.txt", dir / "kelmar.txt");
    OutputSet set = startOutputSet(dir.string(), {"kelmar.txt"});
    ASSERT_FALSE(addOutputText(set, "kelmar.txt", "new\r\n").has_value());
    ASSERT_FALSE(commitOutputSet(set).has_value());
    EXPECT_TRUE(fs::is_symlink(dir / "kelmar.txt"));
    EXPECT_EQ(kelmartest::readFile(dir / "elsewhere" / "report.txt"), "new\r\n");
    EXPECT_EQ(contentsOf(dir / "elsewhere").size(), 1u) << "no temporary file stays beside the target";
}

TEST(OutputSet, AMissingFolderIsMadeWhenWrittenAndRemovedWhenAbandoned) {
    const fs::path dir = kelmartest::scratchDirectory("set_new_folder");
    const fs::path folder = dir / "a" / "b";
    OutputSet set = startOutputSet(folder.string(), names);
    EXPECT_FALSE(fs::exists(dir / "a")) << "nothing is made before a file is written";
    std::string path;
    ASSERT_FALSE(reserveOutputPath(set, "kelmar.gpkg", path).has_value());
    EXPECT_EQ(fs::path(path).parent_path(), folder);
    EXPECT_EQ(fs::path(path).extension(), ".gpkg") << "a library choosing its format by the name sees it";
    kelmartest::writeFile(path, "written by a library");
    abandonOutputSet(set);
    EXPECT_FALSE(fs::exists(dir / "a"));
}

TEST(OutputSet, AReservedPathThatWasNeverWrittenFailsTheSet) {
    const fs::path dir = kelmartest::scratchDirectory("set_reserved");
    fill(dir, previous);
    OutputSet set = startOutputSet(dir.string(), names);
    std::string path;
    ASSERT_FALSE(addOutputText(set, "kelmar.txt", "new\r\n").has_value());
    ASSERT_FALSE(reserveOutputPath(set, "kelmar.gpkg", path).has_value());
    const std::optional<OutputFailure> failure = commitOutputSet(set);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->status, ENOENT);
    EXPECT_EQ(contentsOf(dir), previous);
}

TEST(OutputSet, ASecondRunIsRefusedWhileTheFirstHoldsTheFolder) {
    const fs::path dir = kelmartest::scratchDirectory("set_lock");
    OutputSet first = startOutputSet(dir.string(), names);
    OutputSet second = startOutputSet(dir.string(), names);
    ASSERT_FALSE(lockOutputFolder(first, 0).has_value());
    const std::optional<OutputFailure> busy = lockOutputFolder(second, 0.1);
    ASSERT_TRUE(busy.has_value());
    EXPECT_EQ(busy->status, exitStatus::folderBusy);
    EXPECT_NE(busy->sentence.find("is busy"), std::string::npos) << busy->sentence;
    abandonOutputSet(first);
    EXPECT_FALSE(lockOutputFolder(second, 0).has_value()) << "the lock goes with the set that held it";
    abandonOutputSet(second);
}

// ---------------------------------------------------------------- the folder named for a set

struct FolderRow {
    std::string name;
    std::string folder;  // inside the scratch folder
    int status;          // 0: usable
    std::string sentence;
};
void PrintTo(const FolderRow& row, std::ostream* os) { *os << row.name; }

class OutputFolder : public ::testing::TestWithParam<FolderRow> {};

TEST_P(OutputFolder, IsCheckedBeforeAnyWork) {
    const FolderRow& row = GetParam();
    const fs::path dir = kelmartest::scratchDirectory("set_check_" + row.name);
    fs::create_directory(dir / "results");
    kelmartest::writeFile(dir / "afile", "text\n");
    fs::create_symlink("nowhere", dir / "dangling");
    fs::create_symlink("results", dir / "linked");
    const Folder before = contentsOf(dir);

    const std::optional<OutputFailure> failure = checkOutputFolder((dir / row.folder).string(), "--out");
    if (row.status == 0) {
        EXPECT_FALSE(failure.has_value()) << failure->sentence;
    } else {
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(failure->status, row.status);
        EXPECT_NE(failure->sentence.find(row.sentence), std::string::npos) << failure->sentence;
    }
    EXPECT_EQ(contentsOf(dir), before) << "the check makes nothing";
}

INSTANTIATE_TEST_SUITE_P(
    OutputSet, OutputFolder,
    ::testing::Values(FolderRow{"Existing", "results", 0, ""}, FolderRow{"LinkToAFolder", "linked", 0, ""},
                      FolderRow{"MissingUnderAFolder", "results/new/deeper", 0, ""},
                      FolderRow{"AFile", "afile", exitStatus::usage, "is a file, not a folder"},
                      FolderRow{"DanglingLink", "dangling", exitStatus::outputFolder, "which does not exist"},
                      FolderRow{"ThroughAFile", "afile/sub", exitStatus::outputFolder, "part of its path is a file"},
                      FolderRow{"DeepThroughAFile", "afile/sub/deeper", exitStatus::outputFolder,
                                "part of its path is a file"}),
    [](const auto& info) { return info.param.name; });

TEST(OutputSet, AnEmptyFolderNameIsAUsageError) {
    const std::optional<OutputFailure> failure = checkOutputFolder("", "--out");
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->status, exitStatus::usage);
}

// ---------------------------------------------------------------- sentences

TEST(PrintableText, ShowsControlBytesAndKeepsTheRest) {
    EXPECT_EQ(printableText(std::string("a\0b", 3)), "a\\x00b");
    EXPECT_EQ(printableText("\x1b[31mred\x7f"), "\\x1b[31mred\\x7f");
    EXPECT_EQ(printableText("caf\xc3\xa9 \xe9"), "caf\xc3\xa9 \xe9") << "bytes above 127 are a name's own";
}

}  // namespace
