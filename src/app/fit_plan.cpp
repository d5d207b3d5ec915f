#include "app/fit_plan.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <optional>
#include <system_error>

#include "app/plan_input.hpp"
#include "base/constants.hpp"
#include "base/output_set.hpp"
#include "base/run_error.hpp"
#include "base/text_io.hpp"

namespace {

// A drawing is refused when the spacing of doubles where its points lie exceeds this fraction of
// its size: its coordinates cannot resolve the oval.
constexpr double resolutionShare = 1e-3;
// The construction takes two points nearer than the square root of coincidentSquaredDistance for
// one: a drawing must span a thousand times that for its construction points to stay apart.
const double smallestDrawingSpan = 1e3 * std::sqrt(static_cast<double>(constant::coincidentSquaredDistance));

}  // namespace

CurveStore readPlan(const std::string& plan, const PlanSelection& selection) {
    if (plan.empty()) failInput(exitStatus::usage, "PLAN is empty: name " + std::string(planFormats));
    std::error_code error;
    if (std::filesystem::is_directory(plan, error)) {
        failInput(exitStatus::dataError, "'" + plan + "' is a folder: name one of " + std::string(planFormats));
    }
    const PlanContents contents = readPlanOrEnd(plan, selection);
    warnOfDoubtfulRings(contents, plan);
    CurveStore curves = contents.rings;

    std::int64_t total = 0;
    for (const Curve& curve : curves.curves) {
        total += static_cast<std::int64_t>(curve.x.size());
        for (std::size_t i = 0; i < curve.x.size(); ++i) {
            if (!(std::fabs(curve.x[i]) <= largestUsableValue && std::fabs(curve.y[i]) <= largestUsableValue)) {
                failInput(exitStatus::dataError, "'" + plan + "' holds a point beyond 1e100 from the origin, which the "
                                                                "fit cannot compute with");
            }
        }
    }
    if (total > std::numeric_limits<std::int32_t>::max()) {
        failInput(exitStatus::dataError, "'" + plan + "' holds " + std::to_string(total) +
                                             " points, more than the program can count");
    }
    curves.totalPointCount = static_cast<std::int32_t>(total);
    return curves;
}


std::string shortNumber(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

void refuseUnresolvableDrawing(const CurveStore& curves, const std::string& plan) {
    const PointBox box = pointBox(curves);
    const Real80 farthest =
        std::max({std::fabs(box.minX), std::fabs(box.maxX), std::fabs(box.minY), std::fabs(box.maxY)});
    const double span = static_cast<double>(std::max(box.maxX - box.minX, box.maxY - box.minY));
    if (box.empty || span == 0) return;  // one place: the starting values say what is missing
    if (span < smallestDrawingSpan) {
        failInput(exitStatus::dataError, "the points of '" + plan + "' span only " + shortNumber(span) +
                                             ", less than " + shortNumber(smallestDrawingSpan) +
                                             ", below which the oval's construction points cannot be told "
                                             "apart: scale the drawing up");
    }
    const double distance = static_cast<double>(farthest);
    const double spacing = std::nextafter(distance, INFINITY) - distance;
    if (spacing > resolutionShare * span) {
        failInput(exitStatus::dataError,
                  "the points of '" + plan + "' lie up to " + shortNumber(distance) +
                      " from the origin, where numbers are " + shortNumber(spacing) +
                      " apart, more than a thousandth of the " + shortNumber(span) +
                      " the points span, so their coordinates cannot resolve the oval: move the origin "
                      "nearer to the points");
    }
}

std::string describePlan(const CurveStore& curves, const std::string& plan) {
    const std::int32_t rings = curves.curveCount();
    return "'" + plan + "': " + std::to_string(rings) + (rings == 1 ? " ring, " : " rings, ") +
           std::to_string(curves.totalPointCount) + (curves.totalPointCount == 1 ? " point" : " points");
}

void checkOutputFolderOption(const std::string& folder) {
    if (std::optional<OutputFailure> failure = checkOutputFolder(folder, "--out")) {
        failInput(failure->status, failure->sentence);
    }
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) return;
    OutputSet probe = startOutputSet(folder, {});
    std::optional<OutputFailure> busy = lockOutputFolder(probe, folderProbeWaitSeconds);
    abandonOutputSet(probe);
    if (busy) failInput(busy->status, busy->sentence);
}

void refusePlanAsOutput(const std::string& plan, const std::string& folder, const std::vector<std::string>& outputs) {
    for (const std::string& output : outputs) {
        const std::string path = (std::filesystem::path(folder) / output).string();
        if (!isSameFile(plan, path)) continue;
        failInput(exitStatus::dataError, "PLAN '" + plan + "' is the same file as " + path +
                                             ", which this run replaces with one of its outputs, so its content "
                                             "would be lost: rename or copy it, or write the outputs elsewhere "
                                             "with --out");
    }
}
