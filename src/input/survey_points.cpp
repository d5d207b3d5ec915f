#include "input/survey_points.hpp"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <set>

#include "base/text_io.hpp"

namespace {

// Header names of the columns, compared in lower case with everything but letters and digits
// left out ("Coord_X" is "coordx").
const std::set<std::string> xNames = {"x", "e", "east", "easting", "est", "coordx", "xcoord", "x1"};
const std::set<std::string> yNames = {"y", "n", "north", "northing", "nord", "coordy", "ycoord", "y1"};
const std::set<std::string> idNames = {"id", "pt", "pnt", "point", "pointid", "ptid", "name", "num", "number",
                                       "nr", "no", "punto", "pto", "station", "fid"};
// Lines looked at to choose the separator.
constexpr std::size_t separatorSampleLines = 5;

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

std::string_view unquoted(std::string_view text) {
    text = trimmed(text);
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front()) {
        text = text.substr(1, text.size() - 2);
    }
    return trimmed(text);
}

std::string simpleName(std::string_view name) {
    std::string out;
    for (const char c : name) {
        if (std::isalnum(static_cast<unsigned char>(c))) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

/// The lines that hold data or a header: not blank, not a comment after '#'.
struct TextLine {
    std::size_t number;  // counted from 1
    std::string_view text;
};
std::vector<TextLine> contentLines(std::string_view bytes) {
    std::vector<TextLine> lines;
    std::size_t number = 0;
    for (std::size_t from = 0; from < bytes.size();) {
        const std::size_t end = std::min(bytes.find('\n', from), bytes.size());
        ++number;
        const std::string_view line = trimmed(bytes.substr(from, end - from));
        if (!line.empty() && line.front() != '#') lines.push_back({number, line});
        from = end + 1;
    }
    return lines;
}

/// Separators: ';', tab, ',' or runs of blanks (' ').
std::vector<std::string_view> fieldsOf(std::string_view line, char separator) {
    std::vector<std::string_view> fields;
    if (separator == ' ') {
        for (std::size_t from = 0; from < line.size();) {
            while (from < line.size() && std::isspace(static_cast<unsigned char>(line[from]))) ++from;
            if (from >= line.size()) break;
            std::size_t end = from;
            while (end < line.size() && !std::isspace(static_cast<unsigned char>(line[end]))) ++end;
            fields.push_back(line.substr(from, end - from));
            from = end;
        }
        return fields;
    }
    for (std::size_t from = 0;;) {
        const std::size_t end = std::min(line.find(separator, from), line.size());
        fields.push_back(unquoted(line.substr(from, end - from)));
        if (end >= line.size()) break;
        from = end + 1;
    }
    return fields;
}

/// A number as a survey file writes it; a decimal comma is taken where commas do not separate.
std::optional<Real80> numberOf(std::string_view field, char separator) {
    std::string token(unquoted(field));
    if (separator != ',' && std::count(token.begin(), token.end(), ',') == 1 && token.find('.') == std::string::npos) {
        std::replace(token.begin(), token.end(), ',', '.');
    }
    Real80 value = 0;
    if (token.empty() || parseRealToken(token, value) != TokenProblem::Valid) return std::nullopt;
    return value;
}

bool isWholeNumber(std::string_view field) {
    field = unquoted(field);
    if (!field.empty() && (field.front() == '+' || field.front() == '-')) field.remove_prefix(1);
    return !field.empty() && std::all_of(field.begin(), field.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

/// The separator that splits the sampled lines into the same number of fields, two or more.
char separatorOf(const std::vector<TextLine>& lines) {
    const std::size_t sample = std::min(lines.size(), separatorSampleLines);
    for (const char separator : {';', '\t', ',', ' '}) {
        const std::size_t first = fieldsOf(lines[0].text, separator).size();
        if (first < 2) continue;
        bool same = true;
        for (std::size_t i = 1; i < sample; ++i) same = same && fieldsOf(lines[i].text, separator).size() == first;
        if (same) return separator;
    }
    return ' ';
}

/// The column of a --columns item: a number counted from 1, or a name of the header.
std::optional<std::size_t> columnOf(std::string_view item, const std::vector<std::string>& fields) {
    item = trimmed(item);
    if (isWholeNumber(item) && item.front() != '-' && item.front() != '+') {
        const std::size_t column = std::stoul(std::string(item.substr(0, 9)));
        if (column >= 1 && column <= fields.size()) return column - 1;
        return std::nullopt;
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (lower(fields[i]) == lower(item)) return i;
    }
    return std::nullopt;
}

std::optional<std::size_t> namedColumn(const std::vector<std::string>& fields, const std::set<std::string>& names) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (names.count(simpleName(fields[i])) > 0) return i;
    }
    return std::nullopt;
}

}  // namespace

bool isOwnPointList(std::string_view bytes) {
    const std::vector<TextLine> lines = contentLines(bytes.substr(0, std::min<std::size_t>(bytes.size(), 4096)));
    if (lines.empty() || fieldsOf(lines[0].text, ' ').size() != 1 || !isWholeNumber(lines[0].text) ||
        lines[0].text.front() == '-') {
        return false;
    }
    // The first line is a count; the next, if any, an X Y pair.
    return lines.size() == 1 || fieldsOf(lines[1].text, ' ').size() == 2;
}

SurveyReading readSurveyPoints(std::string_view bytes, const std::string& name, const std::string& layer,
                               const std::string& columns, const std::string& ringBy) {
    SurveyReading reading;
    std::vector<TextLine> lines = contentLines(bytes);
    if (lines.empty()) {
        reading.problem = "'" + name + "' holds no line of points";
        return reading;
    }
    // A lone whole number ahead of lines of several columns is a count of points.
    bool countLine = false;
    if (lines.size() > 1 && fieldsOf(lines[0].text, ' ').size() == 1 && isWholeNumber(lines[0].text) &&
        fieldsOf(lines[1].text, ' ').size() > 2) {
        lines.erase(lines.begin());
        countLine = true;
    }
    const char separator = separatorOf(lines);
    const std::vector<std::string_view> first = fieldsOf(lines[0].text, separator);
    // A header names a column whose values are numbers; a first line of points may hold names too
    // (point names, codes), in columns that hold names on every line.
    bool header = false;
    const std::vector<std::string_view> second =
        lines.size() > 1 ? fieldsOf(lines[1].text, separator) : std::vector<std::string_view>{};
    for (std::size_t i = 0; i < first.size(); ++i) {
        const bool name = !numberOf(first[i], separator).has_value();
        header = header || (name && (second.empty() || (i < second.size() && numberOf(second[i], separator))));
    }
    for (std::size_t i = 0; i < first.size(); ++i) {
        reading.fields.push_back(header ? std::string(unquoted(first[i])) : std::to_string(i + 1));
    }

    std::optional<std::size_t> xColumn, yColumn, ringColumn, idColumn;
    if (!columns.empty()) {
        std::vector<std::string_view> items = fieldsOf(columns, ',');
        if (items.size() < 2 || items.size() > 3) {
            reading.problem = "--columns takes X,Y or X,Y,RING (column numbers counted from 1, or names of the "
                              "header), not '" + columns + "'";
            reading.usageProblem = true;
            return reading;
        }
        std::optional<std::size_t> found[3];
        for (std::size_t i = 0; i < items.size(); ++i) {
            found[i] = columnOf(items[i], reading.fields);
            if (!found[i]) {
                reading.problem = "--columns names column '" + std::string(trimmed(items[i])) + "', which '" + name +
                                  "' does not have: its columns are " + quotedList(reading.fields);
                return reading;
            }
        }
        xColumn = found[0];
        yColumn = found[1];
        ringColumn = found[2];
    } else if (header) {
        xColumn = namedColumn(reading.fields, xNames);
        yColumn = namedColumn(reading.fields, yNames);
        if (!xColumn || !yColumn) {
            reading.problem = "the header of '" + name + "' names no column of X (X, E, East) and Y (Y, N, North): "
                              "its columns are " + quotedList(reading.fields) + "; name them with --columns X,Y";
            return reading;
        }
    } else if (first.size() == 2) {
        xColumn = 0;
        yColumn = 1;
    } else {
        // Without names: a first column of whole numbers holds point numbers, never a coordinate.
        bool numbered = true;
        for (const TextLine& line : lines) {
            const std::string_view field = fieldsOf(line.text, separator)[0];
            numbered = numbered && (isWholeNumber(field) || !numberOf(field, separator));
        }
        xColumn = numbered ? 1 : 0;
        yColumn = numbered ? 2 : 1;
        reading.note = "'" + name + "' has no header naming its columns: " +
                       (numbered ? std::string("column 1 is taken for point numbers or names and columns 2 and 3 for X and Y")
                                 : std::string("columns 1 and 2 are taken for X and Y")) +
                       "; name them with --columns X,Y if they are others";
    }
    if (countLine) {
        reading.note += std::string(reading.note.empty() ? "" : "; ") + "the first line of '" + name +
                        "' is taken for a count of points";
    }
    if (header) idColumn = namedColumn(reading.fields, idNames);
    if (!header && xColumn == 1) idColumn = 0;
    if (!ringBy.empty() && lower(ringBy) != "layer") {
        const std::optional<std::size_t> byField = columnOf(ringBy, header ? reading.fields : std::vector<std::string>{});
        if (!byField || (ringColumn && *ringColumn != *byField)) {
            reading.problem = "--ring-by '" + ringBy + "' names no column of '" + name + "': its columns are " +
                              quotedList(reading.fields);
            return reading;
        }
        ringColumn = byField;
    }
    if (*xColumn == *yColumn) {
        reading.problem = "X and Y are the same column of '" + name + "'";
        reading.usageProblem = true;
        return reading;
    }

    const std::size_t needed = std::max({*xColumn, *yColumn, ringColumn.value_or(0)}) + 1;
    for (std::size_t l = header ? 1 : 0; l < lines.size(); ++l) {
        const std::vector<std::string_view> fields = fieldsOf(lines[l].text, separator);
        const std::string where = "line " + std::to_string(lines[l].number) + " of '" + name + "'";
        if (fields.size() < needed) {
            reading.problem = where + " has " + std::to_string(fields.size()) + " columns, but the points need " +
                              std::to_string(needed);
            return reading;
        }
        const std::optional<Real80> x = numberOf(fields[*xColumn], separator);
        const std::optional<Real80> y = numberOf(fields[*yColumn], separator);
        if (!x || !y) {
            reading.problem = "the " + std::string(!x ? "X" : "Y") + " of " + where + ", " +
                              quotedToken(unquoted(fields[!x ? *xColumn : *yColumn])) + ", is not a number";
            return reading;
        }
        PlanPiece piece;
        piece.layer = layer;
        piece.kind = "point";
        piece.isPoint = true;
        piece.id = idColumn && *idColumn < fields.size() ? std::string(unquoted(fields[*idColumn]))
                                                          : "line " + std::to_string(lines[l].number);
        if (ringColumn) piece.group = std::string(unquoted(fields[*ringColumn]));
        piece.points.x.push_back(*x);
        piece.points.y.push_back(*y);
        reading.pieces.push_back(std::move(piece));
    }
    if (reading.pieces.empty()) reading.problem = "'" + name + "' has a header but no line of points";
    return reading;
}
