#include "input/dxf_reader.hpp"

#include <cstdint>
#include <limits>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/run_error.hpp"
#include "base/text_io.hpp"

namespace {

// Keywords are compared with whole lines; a line longer than this is no keyword, so only
// its start needs to be kept (a huge line costs no memory).
constexpr std::size_t keywordKeep = 16;
constexpr std::size_t valueKeep = 200;

InputProblem drawingProblem(const std::string& sentence) { return InputProblem{exitStatus::dataError, sentence}; }

std::string onLine(long long line, const std::string& name) {
    return "line " + std::to_string(line) + " of '" + name + "'";
}

/// One pass over a drawing, line by line.
struct LineScan {
    InputChannel& channel;
    const std::string& name;
    bool sawBareTen = false;  // a line that is exactly "10": group codes written at the left

    LineHead next() {
        LineHead head = readLineHead(channel, keywordKeep);
        if (head.is("10")) sawBareTen = true;
        return head;
    }
    bool atEnd() { return atEndOfFile(channel); }
    long long line() const { return channel.lineNumber; }
};

std::optional<InputProblem> skipToEntities(LineScan& scan) {
    for (;;) {
        if (scan.atEnd()) {
            return drawingProblem("'" + scan.name +
                                  "' has no line ENTITIES, so it holds no entities section to read curves from");
        }
        if (scan.next().is("ENTITIES")) return std::nullopt;
    }
}

/// Adds an empty curve at the end of `store`.
std::optional<InputProblem> addCurve(CurveStore& store, const std::string& name) {
    if (store.curves.size() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        return drawingProblem("'" + name + "' holds more curves than the program can count");
    }
    store.curves.emplace_back();
    return std::nullopt;
}

std::optional<InputProblem> addPoint(Curve& curve, Real80 x, Real80 y, const std::string& name) {
    if (curve.x.size() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        return drawingProblem("a curve of '" + name + "' holds more points than the program can count");
    }
    curve.x.push_back(x);
    curve.y.push_back(y);
    return std::nullopt;
}

InputProblem vertexWithoutX(LineScan& scan, long long vertexLine, long long keywordLine, const std::string& keyword) {
    // Left-aligned group codes anywhere in the file explain the missing " 10".
    while (!scan.sawBareTen && !scan.atEnd()) scan.next();
    std::string sentence = "the VERTEX on " + onLine(vertexLine, scan.name) + " has no X coordinate: line " +
                           std::to_string(keywordLine) + " (" + keyword + ") comes before any ' 10' group code";
    if (scan.sawBareTen) {
        sentence += "; the file writes its group codes at the left ('10' instead of ' 10'): "
                    "save the drawing again as ASCII DXF with right-aligned group codes";
    }
    return drawingProblem(sentence);
}

/// One vertex: the first line that starts with " 10" is its X group code, the value after it
/// is X, the line after that (the " 20" code) is skipped unread, and the next value is Y.
std::optional<InputProblem> readVertex(LineScan& scan, Curve& curve, long long vertexLine) {
    for (;;) {
        if (scan.atEnd()) {
            return drawingProblem("the VERTEX on " + onLine(vertexLine, scan.name) +
                                  " has no X coordinate: the file ends before a ' 10' group code");
        }
        const long long line = scan.line();
        const LineHead head = scan.next();
        // Matched on the first three characters only: a longer line that starts with " 10"
        // is taken for the code too.
        if (head.length >= 3 && head.text.compare(0, 3, " 10") == 0) break;
        if (head.is("VERTEX") || head.is("SEQEND") || head.is("POLYLINE")) {
            return vertexWithoutX(scan, vertexLine, line, head.text);
        }
    }
    Real80 x = 0;
    Real80 y = 0;
    if (!readRealToken(scan.channel, x)) {
        return drawingProblem("the VERTEX on " + onLine(vertexLine, scan.name) +
                              " has no X value: the file ends after its ' 10' group code");
    }
    skipRestOfLine(scan.channel);
    skipRestOfLine(scan.channel);
    if (!readRealToken(scan.channel, y)) {
        return drawingProblem("the VERTEX on " + onLine(vertexLine, scan.name) +
                              " has no Y value: the file ends before it");
    }
    skipRestOfLine(scan.channel);
    return addPoint(curve, x, y, scan.name);
}

/// The line scanner: every line "POLYLINE" after "ENTITIES" starts a curve, every line
/// "VERTEX" inside it a point, and "SEQEND" ends it. Returns the lines "LWPOLYLINE" outside the
/// polylines of the entities section: the entities this reading leaves out.
InputResult<long long> scanPolylines(LineScan& scan, CurveStore& store) {
    store.curves.clear();
    if (std::optional<InputProblem> problem = skipToEntities(scan)) return *problem;
    long long lwpolylines = 0;
    bool inEntities = true;
    while (!scan.atEnd()) {
        const long long polylineLine = scan.line();
        const LineHead head = scan.next();
        if (head.is("ENDSEC")) inEntities = false;
        if (inEntities && head.is("LWPOLYLINE")) ++lwpolylines;
        if (!head.is("POLYLINE")) continue;
        if (std::optional<InputProblem> problem = addCurve(store, scan.name)) return *problem;
        Curve& curve = store.curves.back();
        for (;;) {
            if (scan.atEnd()) {
                return drawingProblem("the POLYLINE on " + onLine(polylineLine, scan.name) +
                                      " has no SEQEND before the end of the file");
            }
            const long long line = scan.line();
            const LineHead head = scan.next();
            if (head.is("VERTEX")) {
                if (std::optional<InputProblem> problem = readVertex(scan, curve, line)) return *problem;
            }
            if (head.is("SEQEND")) break;
        }
    }
    return lwpolylines;
}

/// Entity types of the entities section, in order of first appearance, with their counts.
/// The index keeps counting linear when a drawing holds very many distinct types.
struct EntityCensus {
    std::vector<std::pair<std::string, long long>> types;
    std::unordered_map<std::string, std::size_t> index;
};

void countEntity(EntityCensus& census, const std::string& type) {
    const auto [entry, added] = census.index.try_emplace(type, census.types.size());
    if (added) census.types.emplace_back(type, 0);
    ++census.types[entry->second].second;
}

std::string trimmed(const std::string& text) {
    std::size_t first = 0;
    while (first < text.size() && static_cast<unsigned char>(text[first]) <= 32) ++first;
    std::size_t last = text.size();
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32) --last;
    return text.substr(first, last - first);
}

bool parseGroupCode(const LineHead& head, int& code) {
    std::int32_t value = 0;
    const std::string text = trimmed(head.text);
    if (head.length > keywordKeep || text.empty()) return false;
    for (char c : text) {
        if ((c < '0' || c > '9') && c != '-') return false;
    }
    if (parseIntegerToken(text, value) != TokenProblem::Valid) return false;
    code = value;
    return true;
}

/// The first token of a value line, taken as the reading rules take a token: after the
/// characters of code 32 or less, up to the next one.
Real80 coordinateValue(const LineHead& head, long long line, const std::string& name) {
    const std::string& text = head.text;
    std::size_t start = 0;
    while (start < text.size() && static_cast<unsigned char>(text[start]) <= 32) ++start;
    std::size_t end = start;
    while (end < text.size() && static_cast<unsigned char>(text[end]) > 32) ++end;
    const std::string token = text.substr(start, end - start);
    // Only the start of a long line is kept: a token that runs to its end is too long.
    const bool cut = end == text.size() && head.length > text.size();
    Real80 value = 0;
    const TokenProblem problem = cut ? TokenProblem::TooLong : parseRealToken(token, value);
    if (problem != TokenProblem::Valid) {
        failRun(runtimeError::invalidNumber, KELMAR_HERE,
                tokenProblemSentence(quotedToken(token) + " on " + onLine(line, name), problem, false));
    }
    return value;
}

/// The group-code pairs of the entities section: LWPOLYLINE vertices become curves, and
/// every entity type is counted for the message of a drawing that yields no point.
std::optional<InputProblem> scanLwPolylines(LineScan& scan, CurveStore& store, EntityCensus& census) {
    store.curves.clear();
    if (std::optional<InputProblem> problem = skipToEntities(scan)) return problem;
    Curve* curve = nullptr;
    long long entityLine = 0;
    bool expectingY = false;
    while (!scan.atEnd()) {
        const long long codeLine = scan.line();
        int code = 0;
        if (!parseGroupCode(scan.next(), code)) continue;  // out of step: try the next line
        if (scan.atEnd()) break;
        const long long valueLine = scan.line();
        const LineHead value = readLineHead(scan.channel, valueKeep);
        if (expectingY && code != 20) {
            return drawingProblem("a vertex of the LWPOLYLINE on " + onLine(entityLine, scan.name) +
                                  " has an X (group code 10) but no Y (group code 20) after it, at line " +
                                  std::to_string(codeLine));
        }
        if (code == 0) {
            const std::string type = trimmed(value.text);
            if (type == "ENDSEC" || type == "EOF") break;
            countEntity(census, type);
            curve = nullptr;
            if (type == "LWPOLYLINE") {
                if (std::optional<InputProblem> problem = addCurve(store, scan.name)) return problem;
                curve = &store.curves.back();
                entityLine = valueLine;
            }
        } else if (curve != nullptr && code == 10) {
            const Real80 x = coordinateValue(value, valueLine, scan.name);
            if (std::optional<InputProblem> problem = addPoint(*curve, x, 0, scan.name)) return problem;
            expectingY = true;
        } else if (curve != nullptr && code == 20 && expectingY) {
            curve->y.back() = coordinateValue(value, valueLine, scan.name);
            expectingY = false;
        }
    }
    if (expectingY) {
        return drawingProblem("the last vertex of the LWPOLYLINE on " + onLine(entityLine, scan.name) + " has no Y");
    }
    return std::nullopt;
}

/// "1 LWPOLYLINE entity", "3 LWPOLYLINE entities".
std::string entities(std::size_t count, const std::string& type) {
    return std::to_string(count) + " " + type + (count == 1 ? " entity" : " entities");
}

long long pointsIn(const CurveStore& store) {
    long long total = 0;
    for (const Curve& curve : store.curves) total += static_cast<long long>(curve.x.size());
    return total;
}

// Types named in the message; the rest are summed so that the sentence stays short.
constexpr std::size_t namedTypes = 8;

std::string describeCensus(const EntityCensus& census) {
    const auto& types = census.types;
    if (types.empty()) return "its entities section is empty";
    // A single type left over is named too, so that the sum always covers two or more.
    const std::size_t named = types.size() <= namedTypes + 1 ? types.size() : namedTypes;
    std::string text = "the file holds ";
    for (std::size_t i = 0; i < named; ++i) {
        if (i > 0) text += i + 1 == types.size() ? " and " : ", ";
        text += std::to_string(types[i].second) + " " + types[i].first;
    }
    if (named < types.size()) {
        long long others = 0;
        for (std::size_t i = named; i < types.size(); ++i) others += types[i].second;
        text += " and " + std::to_string(others) + " entities of " + std::to_string(types.size() - named) +
                " other types";
        return text;
    }
    return text + (types.size() == 1 && types[0].second == 1 ? " entity" : " entities");
}

/// Reads the drawing with `open`, which gives a fresh channel for each pass.
template <typename OpenChannel>
std::optional<InputProblem> readDrawing(const std::string& name, CurveStore& store, OpenChannel open) {
    long long lwpolylines = 0;
    {
        InputChannel channel = open();
        LineScan scan{channel, name};
        const InputResult<long long> scanned = scanPolylines(scan, store);
        closeChannel(channel);
        if (!scanned.hasValue()) return scanned.problem();
        lwpolylines = scanned.value();
    }
    if (!store.curves.empty()) {
        if (pointsIn(store) == 0) {
            return drawingProblem("'" + name + "' holds " + entities(store.curves.size(), "POLYLINE") +
                                  " after ENTITIES but not one VERTEX in them: there is no point to fit");
        }
        // A drawing with both kinds is read from its POLYLINE entities alone, as one without
        // LWPOLYLINE would be; the user hears what was left out.
        if (lwpolylines > 0) {
            const std::size_t read = store.curves.size();
            notice("'" + name + "' holds " + entities(read, "POLYLINE") + " and " +
                   entities(static_cast<std::size_t>(lwpolylines), "LWPOLYLINE") + " after ENTITIES: only the " +
                   (read == 1 ? "POLYLINE was" : "POLYLINE entities were") + " read (" + std::to_string(read) +
                   (read == 1 ? " curve" : " curves") + "), and the LWPOLYLINE entities were left out; save every "
                   "ring as the same kind of polyline if they all belong to the fit");
        }
        return std::nullopt;
    }
    // No POLYLINE at all: current CAD programs write 2D polylines as LWPOLYLINE.
    EntityCensus census;
    InputChannel channel = open();
    LineScan scan{channel, name};
    const std::optional<InputProblem> problem = scanLwPolylines(scan, store, census);
    closeChannel(channel);
    if (problem) return problem;
    if (store.curves.empty()) {
        return drawingProblem("'" + name + "' yields no point: no POLYLINE or LWPOLYLINE after ENTITIES; " +
                              describeCensus(census));
    }
    if (pointsIn(store) == 0) {
        return drawingProblem("'" + name + "' yields no point: " + entities(store.curves.size(), "LWPOLYLINE") +
                              " and not one vertex in them");
    }
    notice("'" + name + "' holds no POLYLINE entity; " + entities(store.curves.size(), "LWPOLYLINE") +
           (store.curves.size() == 1 ? " was" : " were") + " read instead, one curve each");
    return std::nullopt;
}

}  // namespace

std::optional<InputProblem> readDxfPolylines(const std::string& name, CurveStore& store) {
    return readDrawing(name, store, [&name] { return openForReading(name); });
}

std::optional<InputProblem> readDxfPolylinesFromText(std::string_view bytes, const std::string& name,
                                                     CurveStore& store) {
    return readDrawing(name, store, [&] { return memoryInput(bytes, name); });
}
