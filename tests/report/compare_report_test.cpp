#include "report/compare_report.hpp"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

/// A fitted model with one ring of `points` deviations of `rms` each way, or a failed one.
ComparedFit fitted(std::string model, std::string noun, int parameters, double rms, double bic, int points = 4) {
    ComparedFit fit;
    fit.standing = {std::move(model), std::move(noun), parameters, InformationCriteria{bic - 1, bic}, ""};
    fit.points = points;
    fit.rms = rms;
    ComparedRing ring;
    ring.points = points;
    ring.rms = rms;
    ring.axes = {12, 8};
    for (int i = 0; i < points; ++i) ring.deviations.push_back({90.0 * i, i % 2 == 0 ? rms : -rms});
    fit.rings.push_back(ring);
    return fit;
}

ComparedFit failed(std::string model, std::string noun, int parameters, std::string why) {
    ComparedFit fit;
    fit.standing = {std::move(model), std::move(noun), parameters, std::nullopt, ""};
    fit.failure = std::move(why);
    return fit;
}

TEST(CompareReport, TableMarksTheBestAndSaysWhyAModelFailed) {
    const std::vector<ComparedFit> fits{fitted("ellipse", "ellipse", 5, 0.25, -20.5),
                                        failed("four-centre", "four-centre oval", 6, "no ring yields an ellipse"),
                                        fitted("eight-centre", "eight-centre oval", 8, 0.125, -30)};
    const Weighing w = weighFits(fits);
    const std::vector<std::string> lines = comparisonTable(fits, w);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "model         parameters         RMS          AIC          BIC  BIC - best   RMS of the ring");
    EXPECT_EQ(lines[1], "ellipse                5        0.25        -21.5        -20.5         9.5   0.25");
    EXPECT_EQ(lines[2], "four-centre            6   failed: no ring yields an ellipse");
    EXPECT_EQ(lines[3], "eight-centre           8       0.125        -31.0        -30.0        best   0.125");
    EXPECT_EQ(lines[4], "The eight-centre oval fits best, with strong evidence over the ellipse (BIC lower by 9.5).");
}

TEST(CompareReport, JsonNamesTheBestAndLeavesAFailedModelsFiguresNull) {
    const std::vector<ComparedFit> fits{fitted("ellipse", "ellipse", 5, 0.25, -20.5),
                                        failed("four-centre", "four-centre oval", 6, "no ring yields an ellipse")};
    CurveStore curves;
    curves.curves.push_back({{1, 2, 3, 4}, {0, 1, 0, 1}});
    const nlohmann::json j = nlohmann::json::parse(comparisonJson("plan.dxf", curves, fits, weighFits(fits)));
    EXPECT_EQ(j["input"], "plan.dxf");
    EXPECT_EQ(j["best"], "ellipse");
    EXPECT_EQ(j["evidence"], nullptr);  // one model alone has nothing to be weighed against
    EXPECT_EQ(j["models"][0]["bic"], -20.5);
    EXPECT_EQ(j["models"][0]["rings"][0]["semi_major"], 12);
    EXPECT_FALSE(j["models"][0]["rings"][0].contains("source"));  // the plan does not say
    const nlohmann::json& f = j["models"][1];
    EXPECT_EQ(f["fitted"], false);
    EXPECT_EQ(f["parameters"], 6);
    EXPECT_EQ(f["failure"], "no ring yields an ellipse");
    for (const char* key : {"rms", "aic", "bic", "bic_difference"}) EXPECT_EQ(f[key], nullptr) << key;
}

TEST(CompareReport, PictureHasABandPerModelWithItsScale) {
    const std::vector<ComparedFit> fits{fitted("ellipse", "ellipse", 5, 0.25, -20.5),
                                        failed("four-centre", "four-centre oval", 6, "no ring yields an ellipse"),
                                        fitted("eight-centre", "eight-centre oval", 8, 0.03, -30)};
    const std::string svg = comparisonPicture("plan.dxf", fits, weighFits(fits));
    EXPECT_NE(svg.find("<g id=\"four-centre\">"), std::string::npos);
    EXPECT_NE(svg.find("four-centre oval: failed, no ring yields an ellipse"), std::string::npos);
    // Each band at its own round scale, 1, 2 or 5 times a power of ten: 0.5 for deviations of
    // 0.25, 0.05 for 0.03.
    EXPECT_NE(svg.find(">+0.5<"), std::string::npos);
    EXPECT_NE(svg.find(">+0.05<"), std::string::npos);
    EXPECT_NE(svg.find("eight-centre oval: RMS 0.03, BIC -30.0 (the lowest)"), std::string::npos);
}

}  // namespace
