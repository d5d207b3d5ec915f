#include "fit/model_comparison.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

// BIC differences at which the evidence grows: positive, strong, very strong.
constexpr double positiveDifference = 2;
constexpr double strongDifference = 6;
constexpr double veryStrongDifference = 10;

/// A BIC difference for a sentence: one decimal below a thousand, whole above.
std::string differenceText(double difference) {
    char text[32];
    std::snprintf(text, sizeof text, difference < 1000 ? "%.1f" : "%.0f", difference);
    return text;
}

}  // namespace

InformationCriteria informationCriteria(std::int64_t points, double sumOfSquares, int parameters) {
    const double n = static_cast<double>(points);
    // A fit through every point exactly still gets a finite criterion.
    const double meanSquare = std::max(sumOfSquares / n, std::numeric_limits<double>::min());
    const double fit = n * std::log(meanSquare);
    return {fit + 2.0 * parameters, fit + parameters * std::log(n)};
}

Evidence evidenceOf(double bicDifference) {
    if (bicDifference > veryStrongDifference) return Evidence::VeryStrong;
    if (bicDifference >= strongDifference) return Evidence::Strong;
    if (bicDifference >= positiveDifference) return Evidence::Positive;
    return Evidence::CannotTell;
}

std::string_view evidenceName(Evidence evidence) {
    switch (evidence) {
        case Evidence::VeryStrong: return "very strong";
        case Evidence::Strong: return "strong";
        case Evidence::Positive: return "positive";
        case Evidence::CannotTell: break;
    }
    return "cannot tell apart";
}

Weighing weighModels(const std::vector<ModelStanding>& models) {
    Weighing w;
    w.bicDifference.assign(models.size(), std::nullopt);
    std::vector<std::size_t> order;
    for (std::size_t k = 0; k < models.size(); ++k) {
        if (models[k].criteria) order.push_back(k);
    }
    // Lowest BIC first; a tie goes to the model with fewer parameters, then to the earlier one.
    std::stable_sort(order.begin(), order.end(), [&models](std::size_t a, std::size_t b) {
        const double ba = models[a].criteria->bic, bb = models[b].criteria->bic;
        if (ba != bb) return ba < bb;
        return models[a].parameters < models[b].parameters;
    });
    if (order.empty()) {
        w.verdict = "No model could be fitted to the points.";
        return w;
    }
    w.best = order.front();
    const ModelStanding& best = models[order.front()];
    for (const std::size_t k : order) w.bicDifference[k] = models[k].criteria->bic - best.criteria->bic;
    if (order.size() == 1) {
        w.verdict = "Only the " + best.noun + " could be fitted, so there is nothing to weigh it against.";
        return w;
    }

    const ModelStanding& next = models[order[1]];
    const double gap = *w.bicDifference[order[1]];
    w.evidence = evidenceOf(gap);
    const bool third = order.size() > 2;
    const std::string thirdNoun = third ? models[order[2]].noun : std::string();
    const double thirdGap = third ? *w.bicDifference[order[2]] : 0;
    std::string sentence;
    if (*w.evidence == Evidence::CannotTell) {
        sentence = "The data cannot tell the " + best.noun + " from the " + next.noun + " (BIC " + differenceText(gap) +
                   " apart";
        if (third && evidenceOf(thirdGap) == Evidence::CannotTell) {
            sentence += ") or from the " + thirdNoun + " (" + differenceText(thirdGap) + " apart";
        }
        sentence += "); the " + best.noun + " has the lowest BIC";
        if (third && evidenceOf(thirdGap) != Evidence::CannotTell) {
            sentence += ", with " + std::string(evidenceName(evidenceOf(thirdGap))) + " evidence over the " +
                        thirdNoun + " (BIC lower by " + differenceText(thirdGap) + ")";
        }
    } else {
        sentence = "The " + best.noun + " fits best, with " + std::string(evidenceName(*w.evidence)) +
                   " evidence over the " + next.noun + " (BIC lower by " + differenceText(gap) + ")";
        if (third) {
            sentence += " and " + std::string(evidenceName(evidenceOf(thirdGap))) + " evidence over the " +
                        thirdNoun + " (by " + differenceText(thirdGap) + ")";
        }
    }
    // A special case and the model it is one of: the larger model's extra parameters buy
    // nothing unless they lower its BIC by at least positive evidence.
    for (const std::size_t k : order) {
        const ModelStanding& special = models[k];
        if (special.specialCaseOf.empty()) continue;
        for (const std::size_t g : order) {
            const ModelStanding& general = models[g];
            if (general.model != special.specialCaseOf) continue;
            if (special.criteria->bic - general.criteria->bic >= positiveDifference) continue;
            const int extra = general.parameters - special.parameters;
            sentence += "; the " + general.noun + "'s " + std::to_string(extra) + " extra parameters buy nothing: the " +
                        special.noun + " is its special case";
        }
    }
    w.verdict = sentence + ".";
    return w;
}
