// Any bytes as a survey point file, with --columns and --ring-by taken from its first line, and
// as pieces of a plan: the points read are finite, the layers kept are the layers named, and
// grouping keeps every point of every piece (less a repeated closing vertex) in one ring with
// one source.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_support.hpp"
#include "input/plan_pieces.hpp"
#include "input/survey_points.hpp"

namespace {

/// Every grouping of `pieces` keeps their points.
void checkGrouping(const std::vector<PlanPiece>& pieces) {
    std::size_t expected = 0;
    for (const PlanPiece& piece : pieces) {
        Curve points = piece.points;
        if (!piece.isPoint) dropRepeatedClosingVertex(points);
        expected += points.x.size();
    }
    for (const RingGrouping grouping : {RingGrouping::ByPiece, RingGrouping::ByLayer, RingGrouping::ByField}) {
        const CurveStore store = ringsOfPieces(pieces, grouping);
        if (store.sources.size() != store.curves.size()) std::abort();
        std::size_t points = 0;
        for (const Curve& curve : store.curves) {
            if (curve.x.empty() || curve.x.size() != curve.y.size()) std::abort();
            points += curve.x.size();
        }
        if (points != expected) std::abort();
        if (grouping != RingGrouping::ByPiece && store.curves.size() > pieces.size()) std::abort();
    }
}

/// Pieces decoded from bytes: a layer byte (one of four names), a kind byte, a count, coordinates.
std::vector<PlanPiece> piecesOf(std::string_view bytes) {
    static const char* const layers[] = {"RINGS", "rings", "SITE", ""};
    std::vector<PlanPiece> pieces;
    std::size_t at = 0;
    while (at + 3 <= bytes.size()) {
        PlanPiece piece;
        piece.layer = layers[static_cast<unsigned char>(bytes[at]) % 4];
        piece.isPoint = (bytes[at + 1] & 1) != 0;
        piece.group = std::string(1, static_cast<char>('a' + (static_cast<unsigned char>(bytes[at + 1]) >> 6)));
        piece.id = std::to_string(pieces.size());
        const std::size_t count = piece.isPoint ? 1 : static_cast<unsigned char>(bytes[at + 2]) % 8;
        at += 3;
        for (std::size_t i = 0; i < count && at + 2 <= bytes.size(); ++i, at += 2) {
            piece.points.x.push_back(static_cast<signed char>(bytes[at]));
            piece.points.y.push_back(static_cast<signed char>(bytes[at + 1]));
        }
        pieces.push_back(std::move(piece));
    }
    return pieces;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::prepare();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::vector<PlanPiece> decoded = piecesOf(bytes);
    checkGrouping(decoded);
    const std::vector<PlanPiece> kept = piecesOnLayers(decoded, {"Rings"});
    for (const PlanPiece& piece : kept) {
        if (!sameLayerName("RINGS", piece.layer)) std::abort();
    }

    // The first line: "columns|ringBy"; the rest: the file.
    const std::size_t end = std::min(bytes.find('\n'), bytes.size());
    const std::string_view options = bytes.substr(0, end);
    const std::size_t bar = std::min(options.find('|'), options.size());
    const std::string columns(options.substr(0, bar));
    const std::string ringBy(bar < options.size() ? options.substr(bar + 1) : std::string_view());
    const std::string_view text = end < bytes.size() ? bytes.substr(end + 1) : std::string_view();
    isOwnPointList(text);
    const SurveyReading reading = readSurveyPoints(text, "fuzz.csv", "fuzz", columns, ringBy);
    if (reading.problem) {
        if (reading.problem->empty()) std::abort();
        return 0;
    }
    if (reading.pieces.empty()) std::abort();  // a file without points must be refused
    for (const PlanPiece& piece : reading.pieces) {
        if (!piece.isPoint || piece.points.x.size() != 1 || piece.points.y.size() != 1) std::abort();
        fuzzing::requireFinite(piece.points.x[0]);
        fuzzing::requireFinite(piece.points.y[0]);
    }
    checkGrouping(reading.pieces);
    return 0;
}
