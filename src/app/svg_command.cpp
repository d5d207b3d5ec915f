#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/commands.hpp"
#include "base/run_error.hpp"
#include "base/text_io.hpp"
#include "drawing/dxf_decoder.hpp"
#include "drawing/svg_encoder.hpp"

namespace {

/// The drawing's name with .svg in place of its extension ("plan" becomes "plan.svg").
std::string pictureNameFor(const std::string& drawing) {
    std::filesystem::path picture(drawing);
    picture.replace_extension(".svg");
    return picture.string();
}

/// True when both names lead to one file (or would, once the second is created).
bool sameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    if (std::filesystem::equivalent(a, b, error)) return true;
    const std::filesystem::path first = std::filesystem::weakly_canonical(a, error);
    if (error) return false;
    const std::filesystem::path second = std::filesystem::weakly_canonical(b, error);
    return !error && first == second;
}

/// Reads the drawing whole. Whatever stops the reading (a missing or unreadable file, a broken
/// drawing) ends the run as unusable data, with the reader's sentence, as kelmar fit does.
DecodedDrawing readDrawing(const std::string& name) {
    setFailureMode(FailureMode::ThrowRunEnded);
    try {
        InputChannel input = openForReading(name);
        DecodedDrawing drawing = readKelmarDrawing(input);
        closeChannel(input);
        setFailureMode(FailureMode::ExitProcess);
        return drawing;
    } catch (const RunEnded& ended) {
        setFailureMode(FailureMode::ExitProcess);
        failInput(ended.status == exitStatus::usage ? exitStatus::usage : exitStatus::dataError, ended.sentence);
    }
}

}  // namespace

int runSvgCommand(const SvgOptions& options) {
    const std::string out = options.out.empty() ? pictureNameFor(options.drawing) : options.out;
    if (sameFile(options.drawing, out)) {
        failInput(exitStatus::usage, "the picture '" + out + "' would replace the drawing '" + options.drawing +
                                         "' itself: name another file for the picture");
    }
    // The whole drawing is read before the picture is created: a drawing that cannot be used
    // leaves an earlier picture of the same name as it was.
    const DecodedDrawing drawing = readDrawing(options.drawing);
    if (drawing.skippedCount > 0) {
        notice("skipped " + std::to_string(drawing.skippedCount) +
               (drawing.skippedCount == 1 ? " entity" : " entities") + " of '" + options.drawing +
               "' that kelmar does not draw: " + drawing.skipped);
    }

    const std::string name = std::filesystem::path(options.drawing).filename().string();
    OutputChannel picture = createForWriting(out);
    const PictureSummary summary =
        writeSvgPicture(picture, drawing.entities, {name + ": fitted eight-centre ovals and digitised points", {}});
    closeChannel(picture);
    if (summary.leftOut > 0) {
        warn(std::to_string(summary.leftOut) + " entities of '" + options.drawing +
             "' lie too far from the origin to draw (beyond 1e12) and were left out of the picture");
    }

    std::string line = "wrote " + out + ": " + std::to_string(summary.rings) +
                       (summary.rings == 1 ? " ring, " : " rings, ") +
                       std::to_string(summary.pointsByClass[0] + summary.pointsByClass[1] + summary.pointsByClass[2]) +
                       " points (" + std::to_string(summary.pointsByClass[0]) + " " + pointClassNames[0] + ", " +
                       std::to_string(summary.pointsByClass[1]) + " " + pointClassNames[1] + ", " +
                       std::to_string(summary.pointsByClass[2]) + " " + pointClassNames[2] + ")";
    if (summary.magnification > 0) {
        char factor[32];
        std::snprintf(factor, sizeof factor, "%.6g", static_cast<double>(summary.magnification));
        line += "; deviations drawn \u00d7 " + std::string(factor);
    }
    std::printf("%s\n", line.c_str());
    return 0;
}
