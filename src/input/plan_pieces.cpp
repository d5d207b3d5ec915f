#include "input/plan_pieces.hpp"

#include <algorithm>
#include <cctype>
#include <limits>
#include <map>
#include <utility>

namespace {

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

void append(Curve& to, const Curve& from) {
    to.x.insert(to.x.end(), from.x.begin(), from.x.end());
    to.y.insert(to.y.end(), from.y.begin(), from.y.end());
}

}  // namespace

void dropRepeatedClosingVertex(Curve& curve) {
    const std::size_t n = curve.x.size();
    if (n > 1 && curve.x[n - 1] == curve.x[0] && curve.y[n - 1] == curve.y[0]) {
        curve.x.pop_back();
        curve.y.pop_back();
    }
}

bool sameLayerName(const std::string& name, const std::string& layer) { return upper(name) == upper(layer); }

std::optional<std::string> unknownLayer(const std::vector<std::string>& wanted, const std::vector<std::string>& present) {
    for (const std::string& name : wanted) {
        const bool found = std::any_of(present.begin(), present.end(),
                                       [&](const std::string& layer) { return sameLayerName(name, layer); });
        if (!found) return name;
    }
    return std::nullopt;
}

std::vector<PlanPiece> piecesOnLayers(std::vector<PlanPiece> pieces, const std::vector<std::string>& wanted) {
    if (wanted.empty()) return pieces;
    std::erase_if(pieces, [&](const PlanPiece& piece) {
        return std::none_of(wanted.begin(), wanted.end(),
                            [&](const std::string& name) { return sameLayerName(name, piece.layer); });
    });
    return pieces;
}

CurveStore ringsOfPieces(const std::vector<PlanPiece>& pieces, RingGrouping grouping) {
    CurveStore store;
    // The ring that collects a key's pieces, by the key; curves of ByPiece have no key.
    std::map<std::pair<int, std::string>, std::size_t> ringOfKey;
    for (const PlanPiece& piece : pieces) {
        if (piece.points.x.empty()) continue;
        Curve points = piece.points;
        if (!piece.isPoint) dropRepeatedClosingVertex(points);
        std::optional<std::pair<int, std::string>> key;
        std::string group;
        switch (grouping) {
            case RingGrouping::ByPiece:
                // The points of one layer are the points of one ring.
                if (piece.isPoint) key = std::make_pair(0, upper(piece.layer));
                break;
            case RingGrouping::ByLayer:
                key = std::make_pair(0, upper(piece.layer));
                group = piece.layer;
                break;
            case RingGrouping::ByField:
                key = std::make_pair(1, piece.group);
                group = piece.group;
                break;
        }
        std::size_t ring = store.curves.size();
        if (key) {
            const auto [at, added] = ringOfKey.emplace(*key, ring);
            ring = at->second;
            if (!added) {
                append(store.curves[ring], points);
                RingSource& source = store.sources[ring];
                source.pieces.push_back(piece.id);
                // A field's value may gather pieces of several layers: each is named once.
                bool named = false;
                for (std::size_t from = 0; from <= source.layer.size();) {
                    const std::size_t comma = std::min(source.layer.find(", ", from), source.layer.size());
                    named = named || sameLayerName(source.layer.substr(from, comma - from), piece.layer);
                    from = comma + 2;
                }
                if (!named) source.layer += ", " + piece.layer;
                continue;
            }
        }
        store.curves.push_back(std::move(points));
        store.sources.push_back(RingSource{piece.layer, group, {piece.id}});
    }
    std::int64_t total = 0;
    for (const Curve& curve : store.curves) total += static_cast<std::int64_t>(curve.x.size());
    store.totalPointCount = static_cast<std::int32_t>(std::min<std::int64_t>(total, std::numeric_limits<std::int32_t>::max()));
    return store;
}

std::string quotedList(const std::vector<std::string>& names, std::size_t shown) {
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < shown; ++i) {
        if (i > 0) text += ", ";
        text += "'" + names[i] + "'";
    }
    if (names.size() > shown) text += " and " + std::to_string(names.size() - shown) + " more";
    return text;
}
