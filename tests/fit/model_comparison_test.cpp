#include "fit/model_comparison.hpp"

#include <cmath>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

namespace {

TEST(InformationCriteria, GaussianLikelihoodWithThePenaltyOfEachParameter) {
    // 100 points with a mean square of 0.01: n ln(RSS / n) = 100 ln 0.01.
    const InformationCriteria c = informationCriteria(100, 1.0, 9);
    EXPECT_NEAR(c.aic, 100 * std::log(0.01) + 18, 1e-9);
    EXPECT_NEAR(c.bic, 100 * std::log(0.01) + 9 * std::log(100.0), 1e-9);
    // A fit through every point stays finite.
    EXPECT_TRUE(std::isfinite(informationCriteria(50, 0.0, 5).bic));
}

struct EvidenceRow {
    std::string name;
    double difference;
    Evidence evidence;
    std::string words;
};
void PrintTo(const EvidenceRow& row, std::ostream* os) { *os << row.name; }

class EvidenceOfDifference : public ::testing::TestWithParam<EvidenceRow> {};

TEST_P(EvidenceOfDifference, FollowsTheThresholds) {
    EXPECT_EQ(evidenceOf(GetParam().difference), GetParam().evidence);
    EXPECT_EQ(evidenceName(GetParam().evidence), GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(
    ModelComparison, EvidenceOfDifference,
    ::testing::Values(EvidenceRow{"none", 0.0, Evidence::CannotTell, "cannot tell apart"},
                      EvidenceRow{"justBelowTwo", 1.99, Evidence::CannotTell, "cannot tell apart"},
                      EvidenceRow{"two", 2.0, Evidence::Positive, "positive"},
                      EvidenceRow{"justBelowSix", 5.99, Evidence::Positive, "positive"},
                      EvidenceRow{"six", 6.0, Evidence::Strong, "strong"},
                      EvidenceRow{"ten", 10.0, Evidence::Strong, "strong"},
                      EvidenceRow{"justAboveTen", 10.01, Evidence::VeryStrong, "very strong"},
                      EvidenceRow{"thousands", 6099.4, Evidence::VeryStrong, "very strong"}),
    [](const auto& info) { return info.param.name; });

/// The three models with the given BICs (NaN: failed) and parameter counts 9, 8 and 10.
std::vector<ModelStanding> threeModels(double ellipse, double fourCentre, double eightCentre) {
    auto standing = [](std::string model, std::string noun, int parameters, double bic, std::string specialCaseOf) {
        ModelStanding s{std::move(model), std::move(noun), parameters, std::nullopt, std::move(specialCaseOf)};
        if (!std::isnan(bic)) s.criteria = InformationCriteria{bic, bic};
        return s;
    };
    return {standing("ellipse", "ellipse", 9, ellipse, ""),
            standing("four-centre", "four-centre oval", 8, fourCentre, "eight-centre"),
            standing("eight-centre", "eight-centre oval", 10, eightCentre, "")};
}

struct VerdictRow {
    std::string name;
    double ellipse, fourCentre, eightCentre;
    std::string best;
    std::string verdict;
};
void PrintTo(const VerdictRow& row, std::ostream* os) { *os << row.name; }

class VerdictOfBics : public ::testing::TestWithParam<VerdictRow> {};

TEST_P(VerdictOfBics, NamesTheBestWithTheStrengthOfTheEvidence) {
    const VerdictRow& row = GetParam();
    const std::vector<ModelStanding> models = threeModels(row.ellipse, row.fourCentre, row.eightCentre);
    const Weighing w = weighModels(models);
    ASSERT_TRUE(w.best.has_value());
    EXPECT_EQ(models[*w.best].model, row.best);
    EXPECT_EQ(w.verdict, row.verdict);
}

constexpr double failed = NAN;

INSTANTIATE_TEST_SUITE_P(
    ModelComparison, VerdictOfBics,
    ::testing::Values(
        VerdictRow{"ellipseVeryStrongly", -900, -100, -400, "ellipse",
                   "The ellipse fits best, with very strong evidence over the eight-centre oval (BIC lower by 500.0) "
                   "and very strong evidence over the four-centre oval (by 800.0)."},
        VerdictRow{"eightCentreStronglyOverTheFourCentre", -20, -93, -100, "eight-centre",
                   "The eight-centre oval fits best, with strong evidence over the four-centre oval (BIC lower by "
                   "7.0) and very strong evidence over the ellipse (by 80.0)."},
        VerdictRow{"fourCentreWhileTheEightCentreBuysNothing", -20, -100, -97, "four-centre",
                   "The four-centre oval fits best, with positive evidence over the eight-centre oval (BIC lower by "
                   "3.0) and very strong evidence over the ellipse (by 80.0); the eight-centre oval's 2 extra "
                   "parameters buy nothing: the four-centre oval is its special case."},
        VerdictRow{"eightCentreBarelyBelowItsSpecialCase", -20, -100, -101.5, "eight-centre",
                   "The data cannot tell the eight-centre oval from the four-centre oval (BIC 1.5 apart); the "
                   "eight-centre oval has the lowest BIC, with very strong evidence over the ellipse (BIC lower by "
                   "81.5); the eight-centre oval's 2 extra parameters buy nothing: the four-centre oval is its "
                   "special case."},
        VerdictRow{"noneApart", -100.5, -100, -99, "ellipse",
                   "The data cannot tell the ellipse from the four-centre oval (BIC 0.5 apart) or from the "
                   "eight-centre oval (1.5 apart); the ellipse has the lowest BIC; the eight-centre oval's 2 extra "
                   "parameters buy nothing: the four-centre oval is its special case."},
        VerdictRow{"aTieGoesToFewerParameters", -100, -100, -50, "four-centre",
                   "The data cannot tell the four-centre oval from the ellipse (BIC 0.0 apart); the four-centre oval "
                   "has the lowest BIC, with very strong evidence over the eight-centre oval (BIC lower by 50.0); the "
                   "eight-centre oval's 2 extra parameters buy nothing: the four-centre oval is its special case."},
        VerdictRow{"aFailedModelIsLeftOut", -300, failed, -100, "ellipse",
                   "The ellipse fits best, with very strong evidence over the eight-centre oval (BIC lower by "
                   "200.0)."},
        VerdictRow{"onlyOneFitted", failed, -40, failed, "four-centre",
                   "Only the four-centre oval could be fitted, so there is nothing to weigh it against."}),
    [](const auto& info) { return info.param.name; });

TEST(ModelComparison, DifferencesToTheBestAndNoneForAFailedModel) {
    const Weighing w = weighModels(threeModels(-10, failed, -25));
    ASSERT_EQ(w.bicDifference.size(), 3u);
    EXPECT_DOUBLE_EQ(*w.bicDifference[0], 15);
    EXPECT_FALSE(w.bicDifference[1].has_value());
    EXPECT_DOUBLE_EQ(*w.bicDifference[2], 0);
    EXPECT_EQ(w.evidence, Evidence::VeryStrong);
    const Weighing none = weighModels(threeModels(failed, failed, failed));
    EXPECT_FALSE(none.best.has_value());
    EXPECT_FALSE(none.evidence.has_value());
}

}  // namespace
