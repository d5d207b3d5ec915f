#include "app/nearest_name.hpp"

#include <algorithm>
#include <cctype>

namespace {

// A name more edits away than this is another word, not a slip of the keyboard.
constexpr int farthestSlip = 2;

char folded(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

}  // namespace

int typingDistance(std::string_view a, std::string_view b) {
    // Rows of the edit table: two back for the swap, one back, and the current one.
    const std::size_t n = b.size();
    std::vector<int> twoBack(n + 1), previous(n + 1), current(n + 1);
    for (std::size_t j = 0; j <= n; ++j) previous[j] = static_cast<int>(j);
    for (std::size_t i = 1; i <= a.size(); ++i) {
        current[0] = static_cast<int>(i);
        for (std::size_t j = 1; j <= n; ++j) {
            const int replace = folded(a[i - 1]) == folded(b[j - 1]) ? 0 : 1;
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + replace});
            if (i > 1 && j > 1 && folded(a[i - 1]) == folded(b[j - 2]) && folded(a[i - 2]) == folded(b[j - 1])) {
                current[j] = std::min(current[j], twoBack[j - 2] + 1);
            }
        }
        std::swap(twoBack, previous);
        std::swap(previous, current);
    }
    return previous[n];
}

std::optional<std::string> nearestName(std::string_view typed, const std::vector<std::string>& known) {
    std::optional<std::string> nearest;
    int nearestDistance = farthestSlip + 1;
    for (const std::string& name : known) {
        const int distance = typingDistance(typed, name);
        const std::size_t letters = name.size() - std::min(name.find_first_not_of('-'), name.size());
        if (distance < nearestDistance && static_cast<std::size_t>(distance) < letters) {
            nearest = name;
            nearestDistance = distance;
        }
    }
    return nearest;
}
