#pragma once
/// The known name nearest to a mistyped one, for a "did you mean ...?" after an unknown option
/// or command.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// The typing distance between two names: the fewest insertions, deletions, replacements and
/// swaps of two neighbouring characters that turn one into the other, letters compared
/// without their case.
int typingDistance(std::string_view a, std::string_view b);

/// The name of `known` nearest to `typed`, when it is near enough to be what was meant: at
/// most two edits away, and fewer edits than its letters (leading dashes aside). The first of
/// equally near names wins.
std::optional<std::string> nearestName(std::string_view typed, const std::vector<std::string>& known);
