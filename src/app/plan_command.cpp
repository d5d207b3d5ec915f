#include <cstdio>
#include <string>
#include <vector>

#include "app/commands.hpp"
#include "app/plan_input.hpp"
#include "base/run_error.hpp"
#include "base/text_io.hpp"
#include "fit/ring_doubts.hpp"

namespace {

// Pieces a source names before it gives the count of the rest.
constexpr std::size_t shownPieces = 6;

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) text += (i > 0 ? ", " : "") + items[i];
    return text;
}

std::string plural(std::size_t count, const std::string& one, const std::string& many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

PlanContents readPlanOrEnd(const std::string& plan, const PlanSelection& selection, bool noteLeftOut) {
    PlanReading reading = readPlanFile(plan, selection);
    if (reading.problem) {
        failInput(reading.problem->usage ? exitStatus::usage : exitStatus::dataError, reading.problem->sentence);
    }
    for (const std::string& note : reading.contents.notes) notice(note);
    if (noteLeftOut && !reading.contents.skipped.empty()) {
        notice("left out of '" + plan + "': " + joined(reading.contents.skipped) + " ('kelmar list " + plan +
               "' shows every layer)");
    }
    return std::move(reading.contents);
}

std::string sourceText(const RingSource& source, const std::string& format) {
    std::string text = "layer '" + source.layer + "'";
    if (!source.group.empty() && source.group != source.layer) text += ", group '" + source.group + "'";
    if (source.pieces.empty()) return text;
    const bool drawing = format == "DXF drawing";
    const bool survey = format == "survey point file";
    const std::string one = drawing ? "handle" : survey ? "point" : "feature";
    const std::string many = drawing ? "handles" : survey ? "points" : "features";
    std::vector<std::string> shown(source.pieces.begin(),
                                   source.pieces.begin() + static_cast<std::ptrdiff_t>(std::min(source.pieces.size(), shownPieces)));
    text += ", " + (source.pieces.size() == 1 ? one : many) + " " + joined(shown);
    if (source.pieces.size() > shownPieces) text += " and " + std::to_string(source.pieces.size() - shownPieces) + " more";
    return text;
}

void warnOfDoubtfulRings(const PlanContents& contents, const std::string& plan) {
    for (const RingDoubt& doubt : doubtfulRings(contents.rings)) {
        const std::size_t j = static_cast<std::size_t>(doubt.ring - 1);
        const std::string from =
            j < contents.rings.sources.size() ? " (" + sourceText(contents.rings.sources[j], contents.format) + ")" : "";
        warn("ring " + std::to_string(doubt.ring) + from + " does not look like a ring of this plan: " + doubt.why +
             "; leave it out by naming the rings' layers with --layer ('kelmar list " + plan + "' shows them)");
    }
}

int runListCommand(const ListOptions& options) {
    const PlanContents contents = readPlanOrEnd(options.plan, options.selection, false);
    OutputChannel out = consoleOutput();
    writeLine(out, "'" + options.plan + "': " + contents.format + ", " +
                       plural(contents.layers.size(), "layer", "layers"));
    for (const PlanLayer& layer : contents.layers) {
        std::vector<std::string> kinds;
        for (const auto& [kind, count] : layer.kinds) kinds.push_back(std::to_string(count) + " " + kind);
        std::string state = layer.off && layer.frozen ? " (off, frozen)" : layer.off ? " (off)" : layer.frozen ? " (frozen)" : "";
        writeLine(out, "  layer '" + layer.name + "'" + state + ": " + joined(kinds));
    }
    writeLine(out, contents.skipped.empty() ? "left out: nothing" : "left out: " + joined(contents.skipped));
    const CurveStore& rings = contents.rings;
    std::size_t points = 0;
    for (const Curve& curve : rings.curves) points += curve.x.size();
    writeLine(out, "rings that would be fitted: " + plural(rings.curves.size(), "ring", "rings") + ", " +
                       plural(points, "point", "points"));
    const std::vector<RingDoubt> doubts = doubtfulRings(rings);
    for (std::size_t j = 0; j < rings.curves.size(); ++j) {
        std::string line = "  ring " + std::to_string(j + 1) + ": " +
                           plural(rings.curves[j].x.size(), "point", "points");
        if (j < rings.sources.size()) line += ", " + sourceText(rings.sources[j], contents.format);
        for (const RingDoubt& doubt : doubts) {
            if (doubt.ring == static_cast<std::int32_t>(j + 1)) line += "; in doubt: " + doubt.why;
        }
        writeLine(out, line);
    }
    flushChannel(out);
    return 0;
}
