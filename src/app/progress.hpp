#pragma once
/// Where a long run is: one line on standard error, overwritten stage by stage, shown only when
/// standard error is a terminal (a log or a pipe gets nothing).

#include <cstdio>
#include <string>

class Progress {
public:
    /// Shows its stages on `out` only when `shown`.
    Progress(std::FILE* out, bool shown) : out_(out), shown_(shown) {}
    /// Standard error, shown when it is a terminal.
    static Progress onTerminal();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    ~Progress() { clear(); }

    /// Replaces the line with "kelmar: STAGE ...".
    void show(const std::string& stage);
    /// Removes the line, before other text is written to the terminal.
    void clear();

private:
    std::FILE* out_;
    bool shown_;
    bool pending_ = false;
};
