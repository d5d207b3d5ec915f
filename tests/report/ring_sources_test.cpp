// Where each ring came from, as the console, kelmar.json and the picture name it.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>

#include "drawing/svg_encoder.hpp"
#include "report/fit_json.hpp"
#include "report/fit_report.hpp"
#include "support/finished_fit.hpp"

namespace {

using kelmartest::finishedRun;
using kelmartest::threeRingCurves;
using kelmartest::threeRingTruth;

CurveStore withSources(CurveStore curves) {
    curves.sources = {{"RINGS", "", {"2F"}}, {"RINGS", "", {"30", "31", "32", "33", "34", "35"}}, {"outer wall", "W", {}}};
    return curves;
}

std::string summaryOf(const FitRun& run, const CurveStore& curves) {
    OutputChannel out = memoryOutput();
    writeFitSummary(out, run, curves, {"kelmar.txt"});
    return out.captured;
}

/// The console's table of rings: its header and one line per ring.
std::vector<std::string> ringTable(const std::string& summary) {
    std::vector<std::string> lines;
    std::size_t at = summary.find("ring  points");
    while (at != std::string::npos && at < summary.size() && summary.compare(at, 2, "\r\n") != 0) {
        const std::size_t end = summary.find("\r\n", at);
        lines.push_back(summary.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

TEST(RingSources, ConsoleNamesEachRingsSourceInItsOwnColumn) {
    const CurveStore curves = withSources(threeRingCurves());
    const FitRun run = finishedRun(curves, threeRingTruth());
    const std::vector<std::string> table = ringTable(summaryOf(run, curves));
    ASSERT_EQ(table.size(), 4u);
    const std::size_t column = table[0].find("source");
    ASSERT_NE(column, std::string::npos) << table[0];
    EXPECT_EQ(table[1].substr(column), "layer RINGS, id 2F");
    EXPECT_EQ(table[2].substr(column), "layer RINGS, ids 30, 31, 32, 33 and 2 more");
    EXPECT_EQ(table[3].substr(column), "layer 'outer wall', group W");
    // The rms stays where it was, ahead of the new column.
    EXPECT_EQ(table[0].find("rms"), 66u);
}

TEST(RingSources, ConsoleWithoutSourcesKeepsItsTable) {
    const CurveStore curves = threeRingCurves();
    const FitRun run = finishedRun(curves, threeRingTruth());
    const std::vector<std::string> table = ringTable(summaryOf(run, curves));
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ(table[0], "ring  points  semi-major                semi-minor                rms");
    for (const std::string& line : table) EXPECT_EQ(line.find("layer"), std::string::npos) << line;
    // The same fit with sources differs only by the column added.
    const std::vector<std::string> sourced = ringTable(summaryOf(run, withSources(curves)));
    for (std::size_t k = 1; k < table.size(); ++k) EXPECT_EQ(sourced[k].substr(0, table[k].size()), table[k]);
}

TEST(RingSources, JsonGivesTheLayerGroupAndIdsOfEachRing) {
    const CurveStore curves = withSources(threeRingCurves());
    const nlohmann::json j = nlohmann::json::parse(fitJson(finishedRun(curves, threeRingTruth()), curves));
    ASSERT_EQ(j["rings"].size(), 3u);
    EXPECT_EQ(j["rings"][0]["source"], "RINGS");
    EXPECT_TRUE(j["rings"][0]["source_group"].is_null());
    EXPECT_EQ(j["rings"][0]["source_ids"], nlohmann::json::array({"2F"}));
    EXPECT_EQ(j["rings"][1]["source_ids"].size(), 6u);
    EXPECT_EQ(j["rings"][2]["source"], "outer wall");
    EXPECT_EQ(j["rings"][2]["source_group"], "W");
    // Every key of before is still there, in its place.
    const std::vector<std::string> keys = {"ae", "r_med", "r_max", "semi_major", "semi_minor", "points", "rms",
                                           "coverage_degrees", "source", "source_group", "source_ids"};
    const nlohmann::ordered_json ordered = nlohmann::ordered_json::parse(fitJson(finishedRun(curves, threeRingTruth()), curves));
    std::vector<std::string> written;
    for (const auto& item : ordered["rings"][0].items()) written.push_back(item.key());
    EXPECT_EQ(written, keys);
}

TEST(RingSources, JsonSaysNullWhenThePlanDoesNot) {
    const CurveStore curves = threeRingCurves();
    const nlohmann::json j = nlohmann::json::parse(fitJson(finishedRun(curves, threeRingTruth()), curves));
    for (const auto& ring : j["rings"]) {
        EXPECT_TRUE(ring["source"].is_null());
        EXPECT_TRUE(ring["source_group"].is_null());
        EXPECT_EQ(ring["source_ids"], nlohmann::json::array());
    }
}

TEST(RingSources, JsonOfALayerNameThatIsNotUtf8StaysValid) {
    CurveStore curves = threeRingCurves();
    curves.sources = {{"Ra\xe8mo", "", {}}, {"B", "", {}}, {"C", "", {}}};  // a Latin-1 byte
    std::string text;
    ASSERT_NO_THROW(text = fitJson(finishedRun(curves, threeRingTruth()), curves));
    const nlohmann::json j = nlohmann::json::parse(text);
    EXPECT_EQ(j["rings"][0]["source"], "Ra\xef\xbf\xbdmo");
}

TEST(RingSources, PictureLabelsNameTheSourceEscaped) {
    CurveStore curves = withSources(threeRingCurves());
    curves.sources[0].layer = "A<B";
    const FitRun run = finishedRun(curves, threeRingTruth());
    PictureCaption caption{"plan", run.quality.deviations.rms, {"layer A<B, id 2F", "layer RINGS, ids 30, 31 and 4 more"}};
    OutputChannel out = memoryOutput();
    writeSvgPicture(out, fitDrawing(run, curves), caption);
    EXPECT_NE(out.captured.find("(layer A&lt;B, id 2F)</text>"), std::string::npos);
    EXPECT_NE(out.captured.find("(layer RINGS, ids 30, 31 and 4 more)</text>"), std::string::npos);
    // The third ring has no source given: its label ends at its semi-axes.
    const std::size_t third = out.captured.find("ring 3: semi-axes");
    ASSERT_NE(third, std::string::npos);
    EXPECT_EQ(out.captured.substr(third, out.captured.find('<', third) - third).find('('), std::string::npos);
}

}  // namespace
