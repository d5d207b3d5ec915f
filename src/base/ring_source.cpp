#include "base/ring_source.hpp"

#include <algorithm>

namespace {

std::string quotedIfNeeded(const std::string& name) {
    if (name.find_first_of(" ,\t") == std::string::npos) return name;
    return "'" + name + "'";
}

}  // namespace

const RingSource* ringSourceOf(const CurveStore& curves, std::int32_t j) {
    const std::size_t k = static_cast<std::size_t>(j - 1);
    if (j < 1 || curves.sources.size() != curves.curves.size() || k >= curves.sources.size()) return nullptr;
    return &curves.sources[k];
}

std::string describeRingSource(const RingSource& source, std::size_t mostIds) {
    std::string text;
    const auto part = [&text](const std::string& words) { text += (text.empty() ? "" : ", ") + words; };
    if (!source.layer.empty()) part("layer " + quotedIfNeeded(source.layer));
    if (!source.group.empty()) part("group " + quotedIfNeeded(source.group));
    if (source.pieces.empty()) return text;
    std::string ids = source.pieces.size() == 1 ? "id " : "ids ";
    const std::size_t named = std::min(source.pieces.size(), std::max<std::size_t>(mostIds, 1));
    for (std::size_t k = 0; k < named; ++k) ids += (k == 0 ? "" : ", ") + source.pieces[k];
    if (named < source.pieces.size()) ids += " and " + std::to_string(source.pieces.size() - named) + " more";
    part(ids);
    return text;
}

std::string joinedPieceIds(const RingSource& source) {
    std::string text;
    for (std::size_t k = 0; k < source.pieces.size(); ++k) text += (k == 0 ? "" : ", ") + source.pieces[k];
    return text;
}
