#pragma once
// Helpers shared by the point-reader tests: drawings and lists written line by line, the
// way a run ends, and curves compared with what a row expects.

#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "base/input_problem.hpp"
#include "base/records.hpp"
#include "base/run_error.hpp"

namespace readertest {

/// Line ends a file may use; the readers accept all three.
enum class LineEnd { CrLf, Lf, Cr };

inline const char* lineEndText(LineEnd end) {
    switch (end) {
        case LineEnd::Lf: return "\n";
        case LineEnd::Cr: return "\r";
        default: return "\r\n";
    }
}

inline const char* lineEndName(LineEnd end) {
    switch (end) {
        case LineEnd::Lf: return "Lf";
        case LineEnd::Cr: return "Cr";
        default: return "CrLf";
    }
}
inline void PrintTo(LineEnd end, std::ostream* os) { *os << lineEndName(end); }

/// The lines joined, each followed by `end` (the last one too).
inline std::string joinLines(const std::vector<std::string>& lines, LineEnd end = LineEnd::CrLf) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += lineEndText(end);
    }
    return text;
}

struct Point {
    long double x;
    long double y;
};
using Curves = std::vector<std::vector<Point>>;

/// Every point of every curve, compared exactly: the readers convert each token once.
inline void expectCurves(const CurveStore& store, const Curves& expected) {
    ASSERT_EQ(store.curves.size(), expected.size());
    for (std::size_t j = 0; j < expected.size(); ++j) {
        const Curve& curve = store.curves[j];
        ASSERT_EQ(curve.x.size(), expected[j].size()) << "curve " << j + 1;
        ASSERT_EQ(curve.y.size(), expected[j].size()) << "curve " << j + 1;
        for (std::size_t i = 0; i < expected[j].size(); ++i) {
            EXPECT_EQ(curve.x[i], expected[j][i].x) << "X of point " << i + 1 << " of curve " << j + 1;
            EXPECT_EQ(curve.y[i], expected[j][i].y) << "Y of point " << i + 1 << " of curve " << j + 1;
        }
    }
}

/// How a rejected input ended the reading; `ended` is false when the input was read. A problem
/// the reader gave back is `returned`; a run-time error (a number that is no number, a file
/// that cannot be opened) ends the process in the program and is thrown here.
struct Ending {
    bool ended = false;
    bool returned = false;
    RunEnded run;
};

/// The problem a reader gave back, or null when it read the input.
inline const InputProblem* problemIn(const std::optional<InputProblem>& given) { return given ? &*given : nullptr; }
template <typename Value>
const InputProblem* problemIn(const InputResult<Value>& given) {
    return given.hasValue() ? nullptr : &given.problem();
}

/// How `call` ended: it returns what a reader gives back (or nothing).
template <typename Call>
Ending endingOf(Call&& call) {
    Ending ending;
    try {
        if constexpr (std::is_void_v<std::invoke_result_t<Call&>>) {
            call();
        } else if (const auto given = call(); const InputProblem* problem = problemIn(given)) {
            ending.ended = true;
            ending.returned = true;
            ending.run = RunEnded{problem->status, false, problem->sentence};
        }
    } catch (const RunEnded& run) {
        ending.ended = true;
        ending.run = run;
    }
    return ending;
}

/// The value a reader gave back; a problem fails the test with its sentence.
template <typename Value>
Value readValue(InputResult<Value> given) {
    EXPECT_TRUE(given.hasValue()) << given.problem().sentence;
    return given.hasValue() ? std::move(given.value()) : Value{};
}

/// Fails the test when a reader gave back a problem.
inline void expectRead(const std::optional<InputProblem>& given) {
    EXPECT_FALSE(given.has_value()) << given->sentence;
}

/// What a rejected input must give: the exit status, whether the "Runtime error" line is
/// printed, and pieces the sentence must hold.
struct ExpectedEnding {
    int status = 0;
    bool runtimeErrorLine = false;
    std::vector<std::string> sentenceHolds;
};

/// One rejected input of a table: its name, its bytes, and how it must end.
struct RejectRow {
    std::string name;
    std::string text;
    ExpectedEnding expected;
};
inline void PrintTo(const RejectRow& row, std::ostream* os) { *os << row.name; }

inline constexpr int data = exitStatus::dataError;
inline constexpr int badNumber = runtimeError::invalidNumber;

inline void expectEnding(const Ending& ending, const ExpectedEnding& expected) {
    ASSERT_TRUE(ending.ended) << "the input was accepted";
    EXPECT_EQ(ending.run.status, expected.status) << ending.run.sentence;
    EXPECT_EQ(ending.run.runtimeErrorLine, expected.runtimeErrorLine) << ending.run.sentence;
    // Unusable data comes back to the caller; only a run-time error ends the process.
    EXPECT_EQ(ending.returned, !expected.runtimeErrorLine) << ending.run.sentence;
    for (const std::string& piece : expected.sentenceHolds) {
        EXPECT_NE(ending.run.sentence.find(piece), std::string::npos)
            << "sentence: " << ending.run.sentence << "\nmissing: " << piece;
    }
}

/// Sets the throwing mode for every test of a fixture, and puts the process's own mode back
/// after it, so that no later test finds a failure thrown where it expects the process to end.
template <typename Base>
class ReaderTest : public Base {
protected:
    void SetUp() override { setFailureMode(FailureMode::ThrowRunEnded); }
    void TearDown() override { setFailureMode(FailureMode::ExitProcess); }
};

}  // namespace readertest
