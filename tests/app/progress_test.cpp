// The progress line: stages overwrite one another on a terminal, nothing reaches anything else.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/progress.hpp"

namespace {

std::string written(bool shown, bool clearAtEnd) {
    std::FILE* file = std::tmpfile();
    {
        Progress progress(file, shown);
        progress.show("reading 'plan.dxf'");
        progress.show("iteration 3");
        if (clearAtEnd) progress.clear();
        progress.clear();  // a second clear writes nothing more
    }
    std::fflush(file);
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
    std::fclose(file);
    return text;
}

TEST(Progress, OnATerminalEachStageReplacesTheLastAndTheLineIsErasedAtTheEnd) {
    EXPECT_EQ(written(true, true),
              "\r\033[Kkelmar: reading 'plan.dxf' ...\r\033[Kkelmar: iteration 3 ...\r\033[K");
}

TEST(Progress, ElsewhereNothingIsWritten) {
    EXPECT_EQ(written(false, true), "");
    EXPECT_EQ(written(false, false), "");
}

TEST(Progress, ALineLeftShowingIsErasedWhenTheRunEnds) {
    EXPECT_EQ(written(true, false).substr(written(true, false).size() - 4), "\r\033[K");
}

}  // namespace
