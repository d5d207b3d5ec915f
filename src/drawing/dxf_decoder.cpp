#include "drawing/dxf_decoder.hpp"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "base/run_error.hpp"

namespace {

// Group codes and names are short; a longer line is read to its end but only its start kept.
constexpr std::size_t valueKeep = 256;
constexpr std::size_t codeKeep = 16;
// Kinds of skipped entity that a sentence lists by name; the rest are counted.
constexpr std::size_t maxSkippedKindsListed = 8;

/// The groups a point, a line or an arc of the drawing carries, by their DXF group codes.
enum class Group { X, Y, EndX, EndY, Radius, StartAngle, EndAngle };
constexpr std::array<int, 7> groupCodes{10, 20, 11, 21, 40, 50, 51};
constexpr std::array<const char*, 7> groupMeanings{"X",      "Y",           "X of its end", "Y of its end",
                                                   "radius", "start angle", "end angle"};

/// Parts of an entity that the DXF format attaches to the entity before them and that are
/// no entities of their own.
constexpr std::array<std::string_view, 3> subentities{"VERTEX", "SEQEND", "ATTRIB"};

InputProblem drawingProblem(const std::string& sentence) { return InputProblem{exitStatus::dataError, sentence}; }

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

/// The text with every byte that is no printable ASCII character shown as '?': a binary file
/// must not write its bytes into the sentence on standard error.
std::string printable(std::string_view text) {
    std::string shown(text);
    for (char& c : shown) {
        if (c < 0x20 || c > 0x7e) c = '?';
    }
    return shown;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

/// A layer of the drawing by its name; DXF layer names ignore case.
std::optional<Layer> layerNamed(std::string_view name) {
    for (const LayerStyle& style : layerTable) {
        if (sameName(style.name, name)) return style.layer;
    }
    return std::nullopt;
}

struct Pair {
    int code = 0;
    std::string value;    // trimmed
    long long line = 0;   // of the value
};

/// An entity as read: its type and the groups the drawing uses, raw.
struct RawEntity {
    std::string type;
    long long line = 0;  // of the type
    std::string layer;
    std::array<std::optional<Pair>, groupCodes.size()> groups;
};

class PairReader {
public:
    explicit PairReader(InputChannel& channel) : channel_(channel) {}

    /// The next group; false at the end of the file, and at a line that breaks the pairs of
    /// groups, after which problem() says what broke them and nothing more is read.
    bool next(Pair& pair) {
        if (problem_ || atEndOfFile(channel_)) return false;
        const long long codeLine = channel_.lineNumber;
        const LineHead code = readLineHead(channel_, codeKeep);
        if (!parseCode(code, pair.code)) {
            problem_ = drawingProblem("'" + channel_.name + "' is not a DXF drawing written by kelmar: line " +
                                      std::to_string(codeLine) + " holds " + quotedToken(printable(code.text)) +
                                      " where a group code belongs (kelmar reads ASCII DXF)");
            return false;
        }
        if (atEndOfFile(channel_)) {
            problem_ = drawingProblem("'" + channel_.name + "' ends after the group code on line " +
                                      std::to_string(codeLine) + ": the file is cut off");
            return false;
        }
        pair.line = channel_.lineNumber;
        const LineHead value = readLineHead(channel_, valueKeep);
        pair.value = trimmed(value.text);
        return true;
    }

    const std::optional<InputProblem>& problem() const { return problem_; }

private:
    static bool parseCode(const LineHead& line, int& code) {
        const std::string_view text = trimmed(line.text);
        // DXF group codes run from -5 to 1071; seven characters hold any of them.
        if (line.length > codeKeep || text.empty() || text.size() > 7) return false;
        std::size_t i = text[0] == '-' ? 1 : 0;
        if (i == text.size()) return false;
        int value = 0;
        for (; i < text.size(); ++i) {
            if (text[i] < '0' || text[i] > '9') return false;
            value = value * 10 + (text[i] - '0');
        }
        code = text[0] == '-' ? -value : value;
        return true;
    }

    InputChannel& channel_;
    std::optional<InputProblem> problem_;
};

/// The values of `groups` of an entity, in that order, or the problem of the first one that is
/// missing or no number.
template <std::size_t count>
InputResult<std::array<Real80, count>> numbersOf(const RawEntity& entity, const std::array<Group, count>& groups,
                                                 const std::string& fileName) {
    std::array<Real80, count> values{};
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t g = static_cast<std::size_t>(groups[i]);
        const std::optional<Pair>& pair = entity.groups[g];
        if (!pair) {
            return drawingProblem("the " + entity.type + " on line " + std::to_string(entity.line) + " of '" +
                                  fileName + "' has no group " + std::to_string(groupCodes[g]) + " (its " +
                                  groupMeanings[g] + ")");
        }
        const TokenProblem problem = parseRealToken(pair->value, values[i]);
        if (problem != TokenProblem::Valid) {
            return drawingProblem(tokenProblemSentence(
                quotedToken(pair->value) + " on line " + std::to_string(pair->line) + " of '" + fileName + "'",
                problem, false));
        }
    }
    return values;
}

/// The drawn entity an entity of the file stands for, or nothing when kelmar does not draw it.
InputResult<std::optional<DrawnEntity>> decode(const RawEntity& raw, const std::string& fileName) {
    const std::optional<Layer> layer = layerNamed(raw.layer);
    if (!layer) return std::optional<DrawnEntity>{};
    if (raw.type == "POINT") {
        const auto n = numbersOf<2>(raw, {Group::X, Group::Y}, fileName);
        if (!n.hasValue()) return n.problem();
        const auto& v = n.value();
        return std::optional<DrawnEntity>{DrawnPoint{*layer, {v[0], v[1]}}};
    }
    if (raw.type == "LINE") {
        const auto n = numbersOf<4>(raw, {Group::X, Group::Y, Group::EndX, Group::EndY}, fileName);
        if (!n.hasValue()) return n.problem();
        const auto& v = n.value();
        return std::optional<DrawnEntity>{DrawnLine{*layer, {v[0], v[1]}, {v[2], v[3]}}};
    }
    if (raw.type == "ARC") {
        const auto n =
            numbersOf<5>(raw, {Group::X, Group::Y, Group::Radius, Group::StartAngle, Group::EndAngle}, fileName);
        if (!n.hasValue()) return n.problem();
        const auto& v = n.value();
        return std::optional<DrawnEntity>{DrawnArc{*layer, {v[0], v[1]}, v[2], v[3], v[4]}};
    }
    return std::optional<DrawnEntity>{};
}

bool isKelmarType(std::string_view type) { return type == "POINT" || type == "LINE" || type == "ARC"; }

std::string layerList() {
    std::string list;
    for (const LayerStyle& style : layerTable) {
        if (!list.empty()) list += ", ";
        list += style.name;
    }
    return list;
}

}  // namespace

InputResult<DecodedDrawing> readKelmarDrawing(InputChannel& drawing) {
    DecodedDrawing result;
    std::map<std::string, std::size_t> skipped;
    PairReader reader(drawing);
    Pair pair;
    bool sawEntities = false;

    // Outside the entities section only the framing matters: SECTION, its name, EOF.
    bool sectionNamePending = false;
    while (!sawEntities && reader.next(pair)) {
        if (sectionNamePending && pair.code == 2) {
            sawEntities = pair.value == "ENTITIES";
        }
        sectionNamePending = pair.code == 0 && pair.value == "SECTION";
        if (pair.code == 0 && pair.value == "EOF") break;
    }
    if (reader.problem()) return *reader.problem();
    if (!sawEntities) {
        return drawingProblem("'" + drawing.name +
                              "' has no ENTITIES section: it is not a DXF drawing written by kelmar");
    }

    std::optional<RawEntity> entity;
    // The entity read so far, decoded and kept, or counted among the skipped ones.
    const auto finish = [&]() -> std::optional<InputProblem> {
        if (!entity) return std::nullopt;
        InputResult<std::optional<DrawnEntity>> decoded = decode(*entity, drawing.name);
        if (!decoded.hasValue()) return decoded.problem();
        if (std::optional<DrawnEntity>& drawn = decoded.value()) {
            result.entities.push_back(*drawn);
        } else {
            bool part = false;
            for (const std::string_view sub : subentities) part = part || entity->type == sub;
            if (!part) {
                ++skipped[printable(entity->type) + (isKelmarType(entity->type) ? " on other layers" : "")];
                ++result.skippedCount;
            }
        }
        entity.reset();
        return std::nullopt;
    };
    bool closed = false;
    while (reader.next(pair)) {
        if (pair.code == 0) {
            if (std::optional<InputProblem> problem = finish()) return *problem;
            if (pair.value == "ENDSEC") {
                closed = true;
                break;
            }
            entity = RawEntity{pair.value, pair.line, {}, {}};
            continue;
        }
        if (!entity) continue;
        if (pair.code == 8) {
            entity->layer = pair.value;
            continue;
        }
        for (std::size_t g = 0; g < groupCodes.size(); ++g) {
            if (pair.code == groupCodes[g] && !entity->groups[g]) entity->groups[g] = pair;
        }
    }
    if (reader.problem()) return *reader.problem();
    if (!closed) {
        return drawingProblem("'" + drawing.name +
                              "' ends inside its ENTITIES section, before ENDSEC: the file is cut off");
    }

    // The commonest kinds first, and only a few of them: a file of many made-up entity types
    // would otherwise make a sentence as long as the file.
    std::vector<std::pair<std::string, std::size_t>> kinds(skipped.begin(), skipped.end());
    std::stable_sort(kinds.begin(), kinds.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    std::size_t listed = 0;
    for (; listed < kinds.size() && listed < maxSkippedKindsListed; ++listed) {
        if (!result.skipped.empty()) result.skipped += ", ";
        result.skipped += std::to_string(kinds[listed].second) + " " + kinds[listed].first;
    }
    if (listed < kinds.size()) {
        std::size_t rest = 0;
        for (std::size_t k = listed; k < kinds.size(); ++k) rest += kinds[k].second;
        result.skipped += " and " + std::to_string(rest) + " of " + std::to_string(kinds.size() - listed) +
                          " other kinds";
    }
    if (result.entities.empty()) {
        return drawingProblem("'" + drawing.name + "' holds no POINT, LINE or ARC on the layers kelmar draws (" + layerList() +
                              "), so it is not a drawing written by kelmar; " +
                              (result.skipped.empty() ? std::string("its ENTITIES section is empty")
                                                      : "it holds " + result.skipped));
    }
    return result;
}
