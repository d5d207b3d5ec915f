#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "app/commands.hpp"
#include "app/input_problems.hpp"
#include "base/output_set.hpp"
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

// How much of an existing file is read to tell whether it is an SVG picture.
constexpr std::size_t pictureHeadBytes = 4096;

/// Refuses a picture name that stands for something other than an earlier picture: a folder, or
/// a file that is not empty and has no <svg element near its start (a plan, a drawing, a text).
void refuseNonPictureTarget(const std::string& out) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(out, error);
    if (!std::filesystem::exists(status)) return;
    if (std::filesystem::is_directory(status)) {
        failInput(exitStatus::usage, "the picture '" + out + "' is a folder: name the picture's file");
    }
    std::FILE* file = std::fopen(out.c_str(), "rb");
    if (file == nullptr) return;  // the set reports what keeps it from replacing the file
    std::string head(pictureHeadBytes, '\0');
    head.resize(std::fread(head.data(), 1, head.size(), file));
    std::fclose(file);
    if (head.empty() || head.find("<svg") != std::string::npos) return;
    failInput(exitStatus::usage, "'" + out + "' is not an SVG picture, and the picture would replace it: name "
                                 "another file for the picture, or remove that one first");
}

/// Reads the drawing whole. Whatever stops the reading (a missing or unreadable file, a broken
/// drawing) ends the run as unusable data, with the reader's sentence, as kelmar fit does.
DecodedDrawing readDrawing(const std::string& name) {
    setFailureMode(FailureMode::ThrowRunEnded);
    try {
        InputChannel input = openForReading(name);
        InputResult<DecodedDrawing> drawing = readKelmarDrawing(input);
        closeChannel(input);
        setFailureMode(FailureMode::ExitProcess);
        return valueOrFail(std::move(drawing));
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
    refuseNonPictureTarget(out);
    if (drawing.skippedCount > 0) {
        notice("skipped " + std::to_string(drawing.skippedCount) +
               (drawing.skippedCount == 1 ? " entity" : " entities") + " of '" + options.drawing +
               "' that kelmar does not draw: " + drawing.skipped);
    }

    const std::string name = std::filesystem::path(options.drawing).filename().string();
    OutputChannel picture = memoryOutput();
    const PictureSummary summary =
        writeSvgPicture(picture, drawing.entities, {name + ": fitted eight-centre ovals and digitised points", {}});
    const std::filesystem::path outPath(out);
    OutputSet set = startOutputSet(outPath.parent_path().string(), {outPath.filename().string()});
    std::optional<OutputFailure> failure = addOutputText(set, outPath.filename().string(), picture.captured);
    if (!failure) failure = commitOutputSet(set);
    if (failure) {
        abandonOutputSet(set);
        failInput(failure->status, failure->sentence);
    }
    if (summary.leftOut > 0) {
        warn(std::to_string(summary.leftOut) + " entities of '" + options.drawing +
             "' lie too far from the origin to draw (beyond 1e12) and were left out of the picture");
    }

    const std::size_t points = summary.pointsByClass[0] + summary.pointsByClass[1] + summary.pointsByClass[2];
    std::string line = "wrote " + out + ": " + std::to_string(summary.rings) +
                       (summary.rings == 1 ? " ring, " : " rings, ") + std::to_string(points) +
                       (points == 1 ? " point (" : " points (") + std::to_string(summary.pointsByClass[0]) + " " + pointClassNames[0] + ", " +
                       std::to_string(summary.pointsByClass[1]) + " " + pointClassNames[1] + ", " +
                       std::to_string(summary.pointsByClass[2]) + " " + pointClassNames[2] + ")";
    if (summary.magnification > 0) {
        char factor[32];
        std::snprintf(factor, sizeof factor, "%.6g", static_cast<double>(summary.magnification));
        line += "; deviations drawn \u00d7 " + std::string(factor);
    }
    OutputChannel console = consoleOutput();
    writeText(console, line + "\n");
    flushChannel(console);
    return 0;
}
