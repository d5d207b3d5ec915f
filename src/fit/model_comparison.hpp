#pragma once
/// The weighing of curve models fitted to the same points: Gaussian information criteria, the
/// strength of evidence a BIC difference gives, and the verdict in one sentence.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// Akaike's and the Bayesian information criterion of a least-squares fit with Gaussian
/// deviations: n ln(RSS / n) + 2k and n ln(RSS / n) + k ln n, k the model's parameters (the
/// variance of the deviations is not counted: it would add the same to every model).
struct InformationCriteria {
    double aic = 0, bic = 0;
};
InformationCriteria informationCriteria(std::int64_t points, double sumOfSquares, int parameters);

/// How strongly a BIC difference speaks for the model with the lower BIC.
enum class Evidence { CannotTell, Positive, Strong, VeryStrong };

/// The evidence of a BIC difference: below 2 the data cannot tell the models apart, 2 to 6
/// positive, 6 to 10 strong, above 10 very strong.
Evidence evidenceOf(double bicDifference);

/// "cannot tell apart", "positive", "strong", "very strong".
std::string_view evidenceName(Evidence evidence);

/// One model as the weighing sees it. A model whose fit failed has no criteria.
struct ModelStanding {
    std::string model;     // the name on the command line: "ellipse"
    std::string noun;      // as a sentence names it: "ellipse", "four-centre oval"
    int parameters = 0;
    std::optional<InformationCriteria> criteria;
    /// The model this one is a special case of ("eight-centre" for the four-centre oval), empty
    /// when none of the others is.
    std::string specialCaseOf;
};

/// The models weighed: the one of lowest BIC, each one's BIC above it, and the verdict.
struct Weighing {
    std::optional<std::size_t> best;       // none when no model was fitted
    std::vector<std::optional<double>> bicDifference;  // none for a failed model
    std::optional<Evidence> evidence;      // of the best over the next; none with fewer than two fitted
    std::string verdict;
};
Weighing weighModels(const std::vector<ModelStanding>& models);
