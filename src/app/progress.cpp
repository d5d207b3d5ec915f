#include "app/progress.hpp"

#include <unistd.h>

namespace {

// Back to the start of the line, and the line erased from there (ECMA-48 EL).
constexpr const char* eraseLine = "\r\033[K";

}  // namespace

Progress Progress::onTerminal() { return Progress(stderr, ::isatty(STDERR_FILENO) == 1); }

void Progress::show(const std::string& stage) {
    if (!shown_) return;
    std::fprintf(out_, "%skelmar: %s ...", eraseLine, stage.c_str());
    std::fflush(out_);
    pending_ = true;
}

void Progress::clear() {
    if (!pending_) return;
    std::fputs(eraseLine, out_);
    std::fflush(out_);
    pending_ = false;
}
