#include "drawing/svg_encoder.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <type_traits>
#include <unordered_set>

#include "base/constants.hpp"

#include "drawing/drawn_rings.hpp"

const std::array<const char*, 3> pointClassNames{"within the RMS", "beyond the RMS", "beyond twice the RMS"};

namespace {

// ---------------------------------------------------------------- page layout (page units)

constexpr double pageWidth = 1200;
constexpr double margin = 28;
constexpr double headerHeight = 80;
constexpr double legendRow = 22;
constexpr double footerHeight = 24 + 3 * legendRow + 20;
constexpr double minDrawingHeight = 260;
constexpr double maxDrawingHeight = 1000;
constexpr double titleFont = 20;
constexpr double textFont = 13;
constexpr double labelRow = 18;
// The viewer's font is unknown; this average width per character of a sans-serif font sizes
// the label column and keeps a long title clear of the RMS.
constexpr double characterShare = 0.6;
constexpr double leaderGap = 20;
constexpr double rmsBlockWidth = 360;
constexpr double scaleBarLength = 220;

// Every coordinate carries the decimals a hundredth of a pixel needs.
constexpr double resolutionPixels = 0.01;
constexpr int maxDecimals = 12;
// Coordinates beyond this cannot be placed on a page together with a drawing of ordinary
// size (a fit that ran away writes such values); they are left out and counted.
constexpr Real80 farthestDrawable = 1e12L;
// A drawing smaller than this is drawn as if it were one unit across: page, scale and
// decimals then stay far from the ends of the double range.
constexpr double minimumSpan = 1e-9;
// A drawing whose middle lies farther from its origin than this many times its size.
constexpr double farFromOrigin = 100;

// Strokes and marks in page units, whatever the drawing's extent.
constexpr double arcStroke = 1.7;
constexpr double radiusStroke = 0.9;
constexpr double constructionStroke = 1.1;
constexpr double whiskerStroke = 1.5;
constexpr double axisDash = 7;
constexpr std::array<double, 3> dotDiameter{5.5, 6.5, 7.5};  // within, beyond, beyond twice

// Whiskers: the RMS deviation drawn as this share of the drawing's larger side, the
// magnification rounded down to 1, 2 or 5 times a power of ten; none longer than the cap.
constexpr double whiskerRmsShare = 0.012;
constexpr double whiskerCapShare = 0.06;
constexpr double paddingShare = 0.03;
// A large drawing is summarised so that its ovals stay visible and its file small: beyond this
// many points of a class, every so many of them carries a whisker; beyond this many, a point
// is drawn only where no point of its class is drawn yet within a page unit.
constexpr std::size_t whiskersPerClass = 2000;
constexpr std::size_t dotsBeforeThinning = 20000;
// Labelled rings at most: beyond, every so many rings and the last carry a label.
constexpr std::size_t maxRingLabels = 40;
// The labels' leaders end on their rings at directions spread over the right side of the rings.
constexpr double labelDirectionSpread = 110;  // degrees, centred on the direction to the right

constexpr const char* pageColour = "#fbfbf8";
constexpr const char* inkColour = "#1c2533";
constexpr const char* mutedInk = "#5a6272";
constexpr const char* leaderColour = "#9aa0aa";

int classOf(Layer layer) {
    switch (layer) {
        case Layer::WithinResidual: return 0;
        case Layer::OverResidual: return 1;
        case Layer::TwiceOverResidual: return 2;
        default: return -1;
    }
}
constexpr std::array<Layer, 3> classLayers{Layer::WithinResidual, Layer::OverResidual, Layer::TwiceOverResidual};
std::size_t indexOf(Layer layer) { return static_cast<std::size_t>(layer); }

struct Dot {
    double x, y;
};
struct Segment {
    double x1, y1, x2, y2;
};
struct Sweep {
    double x1, y1, x2, y2, radius;
    bool large;
};

struct Box {
    double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
    void add(double x, double y) {
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
    }
    bool empty() const { return minX > maxX; }
};

bool drawable(Real80 value) { return std::fabs(value) <= farthestDrawable; }

bool isDrawable(const DrawnEntity& entity) {
    return std::visit(
        [](const auto& e) {
            using E = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<E, DrawnPoint>) {
                return drawable(e.at.x) && drawable(e.at.y);
            } else if constexpr (std::is_same_v<E, DrawnLine>) {
                return drawable(e.from.x) && drawable(e.from.y) && drawable(e.to.x) && drawable(e.to.y);
            } else {
                return drawable(e.centre.x) && drawable(e.centre.y) && drawable(e.radius) &&
                       drawable(e.startDegrees) && drawable(e.endDegrees);
            }
        },
        entity);
}

/// 1, 2 or 5 times a power of ten, at most `value` (which must be positive).
double niceFloor(double value) {
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    for (const double step : {5.0, 2.0}) {
        if (step * power <= value) return step * power;
    }
    return power;
}

// ---------------------------------------------------------------- text of the picture

void appendFixed(std::string& out, double value, int decimals) {
    char buffer[64];
    char* end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals).ptr;
    if (decimals > 0) {
        while (end[-1] == '0') --end;
        if (end[-1] == '.') --end;
    }
    const std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
    out += text == "-0" ? "0" : text;
}

void appendShort(std::string& out, double value) {
    char buffer[32];
    const char* end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6).ptr;
    out.append(buffer, static_cast<std::size_t>(end - buffer));
}

/// The value with exactly `decimals` decimals, trailing zeros kept.
std::string fixedDecimalsText(double value, int decimals) {
    char buffer[64];
    const char* end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals).ptr;
    return std::string(static_cast<const char*>(buffer), end);
}

std::string shortText(double value) {
    std::string text;
    appendShort(text, value);
    return text;
}

/// Length of the UTF-8 sequence at the start of `text`, or 0 when it is none (a file name in
/// another encoding must not make the picture ill-formed XML).
std::size_t utf8Length(std::string_view text) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    if (lead < 0x80) {
        length = 1;
    } else if (lead >= 0xc2 && lead < 0xe0) {
        length = 2;
    } else if (lead >= 0xe0 && lead < 0xf0) {
        length = 3;
    } else if (lead >= 0xf0 && lead < 0xf5) {
        length = 4;
    }
    if (length == 0 || length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xc0) != 0x80) return 0;
    }
    return length;
}

/// Text for XML: markup characters escaped; control characters (not allowed in XML 1.0)
/// dropped; a byte that starts no UTF-8 sequence shown as '?'.
std::string escaped(std::string_view text) {
    std::string out;
    while (!text.empty()) {
        const std::size_t length = utf8Length(text);
        const char c = text[0];
        if (length == 0) {
            out += '?';
        } else if (length > 1) {
            out += text.substr(0, length);
        } else if (c == '&') {
            out += "&amp;";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (c == '"') {
            out += "&quot;";
        } else if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') {
            out += c;
        }
        text.remove_prefix(length == 0 ? 1 : length);
    }
    return out;
}

/// Decimals that show `value` to about four significant digits.
int decimalsForFourDigits(double value) {
    if (!(value > 0)) return 0;
    return std::clamp(3 - static_cast<int>(std::floor(std::log10(value))), 0, maxDecimals);
}

// ---------------------------------------------------------------- the picture

/// Where the drawing lands on the page: page = scale * (drawing - origin) + offset, Y turned.
struct PageTransform {
    double scale = 1;
    double originX = 0, originY = 0;
    double offsetX = 0, offsetY = 0;
    int decimals = 0;     // of every coordinate written in drawing units
    int originDecimals = 0;
    double pageX(double x) const { return scale * (x - originX) + offsetX; }
    double pageY(double y) const { return -scale * (y - originY) + offsetY; }
};

struct RingLabel {
    std::size_t ring = 0;
    double anchorX = 0, anchorY = 0;  // page
    double y = 0;             // page, the label's line
    std::string text;
};

class SvgText {
public:
    explicit SvgText(OutputChannel& channel) : channel_(channel) {}
    std::string& text() { return text_; }
    /// Hands what has collected to the channel once it is large, so memory stays bounded.
    void spill(bool always = false) {
        if (always || text_.size() > (1u << 20)) {
            writeText(channel_, text_);
            text_.clear();
        }
    }

private:
    OutputChannel& channel_;
    std::string text_;
};

void appendPoint(std::string& out, const PageTransform& t, double x, double y) {
    appendFixed(out, x - t.originX, t.decimals);
    out += ' ';
    appendFixed(out, y - t.originY, t.decimals);
}

/// Opens a path in the drawing's group: class, colour, width (page units), optional dash.
void openPath(std::string& out, std::string_view cls, std::string_view colour, double width,
              const PageTransform& t, double dash = 0) {
    out += "<path class=\"";
    out += cls;
    out += "\" stroke=\"";
    out += colour;
    out += "\" stroke-width=\"";
    appendShort(out, width / t.scale);
    if (dash > 0) {
        out += "\" stroke-dasharray=\"";
        appendShort(out, dash / t.scale);
        out += ' ';
        appendShort(out, 0.6 * dash / t.scale);
    }
    out += "\" d=\"";
}

// Long paths are split so that no attribute grows beyond what XML parsers accept by default.
constexpr std::size_t subpathsPerPath = 4000;

template <typename Item, typename Append>
void writePaths(SvgText& svg, const std::vector<Item>& items, std::string_view cls, std::string_view colour,
                double width, const PageTransform& t, double dash, Append append) {
    std::string& out = svg.text();
    for (std::size_t first = 0; first < items.size(); first += subpathsPerPath) {
        openPath(out, cls, colour, width, t, dash);
        const std::size_t last = std::min(items.size(), first + subpathsPerPath);
        for (std::size_t i = first; i < last; ++i) {
            if (i > first) out += ' ';
            append(out, items[i]);
        }
        out += "\"/>\n";
        svg.spill();
    }
}

void appendPageText(std::string& out, double x, double y, double size, std::string_view colour, std::string_view text,
               std::string_view anchor = "start", std::string_view weight = "normal") {
    out += "<text x=\"";
    appendFixed(out, x, 1);
    out += "\" y=\"";
    appendFixed(out, y, 1);
    out += "\" font-size=\"";
    appendShort(out, size);
    out += "\" fill=\"";
    out += colour;
    if (anchor != "start") {
        out += "\" text-anchor=\"";
        out += anchor;
    }
    if (weight != "normal") {
        out += "\" font-weight=\"";
        out += weight;
    }
    out += "\">";
    out += escaped(text);
    out += "</text>\n";
}

void appendPageLine(std::string& out, double x1, double y1, double x2, double y2, std::string_view colour,
                   double width, double dash = 0) {
    out += "<line x1=\"";
    appendFixed(out, x1, 1);
    out += "\" y1=\"";
    appendFixed(out, y1, 1);
    out += "\" x2=\"";
    appendFixed(out, x2, 1);
    out += "\" y2=\"";
    appendFixed(out, y2, 1);
    out += "\" stroke=\"";
    out += colour;
    out += "\" stroke-width=\"";
    appendShort(out, width);
    if (dash > 0) {
        out += "\" stroke-dasharray=\"";
        appendShort(out, dash);
        out += ' ';
        appendShort(out, 0.6 * dash);
    }
    out += "\"/>\n";
}

void appendPageDot(std::string& out, double x, double y, double diameter, std::string_view colour) {
    out += "<circle cx=\"";
    appendFixed(out, x, 1);
    out += "\" cy=\"";
    appendFixed(out, y, 1);
    out += "\" r=\"";
    appendShort(out, diameter / 2);
    out += "\" fill=\"";
    out += colour;
    out += "\"/>\n";
}

/// Spreads the labels down the column so that none overlaps the next, each as near its
/// anchor as the others allow, all within [top, bottom].
void spreadLabels(std::vector<RingLabel>& labels, double top, double bottom) {
    std::sort(labels.begin(), labels.end(), [](const RingLabel& a, const RingLabel& b) { return a.anchorY < b.anchorY; });
    double previous = top - labelRow;
    for (RingLabel& label : labels) {
        label.y = std::max(label.anchorY, previous + labelRow);
        previous = label.y;
    }
    double next = bottom + labelRow;
    for (auto it = labels.rbegin(); it != labels.rend(); ++it) {
        it->y = std::min(it->y, next - labelRow);
        next = it->y;
    }
}

/// The drawable entities by layer, in drawing order, and the box around them.
struct Collected {
    std::array<std::vector<Dot>, layerTable.size()> dots;
    std::array<std::vector<Segment>, layerTable.size()> lines;
    std::array<std::vector<Sweep>, layerTable.size()> arcs;
    Box box;
    double span = 1;  // the box's larger side
};

void collectEntity(Collected& c, const DrawnEntity& entity) {
    if (const auto* p = std::get_if<DrawnPoint>(&entity)) {
        const Dot dot{static_cast<double>(p->at.x), static_cast<double>(p->at.y)};
        c.dots[indexOf(p->layer)].push_back(dot);
        c.box.add(dot.x, dot.y);
    } else if (const auto* l = std::get_if<DrawnLine>(&entity)) {
        const Segment s{static_cast<double>(l->from.x), static_cast<double>(l->from.y),
                        static_cast<double>(l->to.x), static_cast<double>(l->to.y)};
        c.lines[indexOf(l->layer)].push_back(s);
        c.box.add(s.x1, s.y1);
        c.box.add(s.x2, s.y2);
    } else {
        const auto& a = std::get<DrawnArc>(entity);
        const PlanePoint from = pointOnCircle(a, a.startDegrees);
        const PlanePoint to = pointOnCircle(a, a.endDegrees);
        const Real80 sweep = arcSweepDegrees(a);
        c.arcs[indexOf(a.layer)].push_back({static_cast<double>(from.x), static_cast<double>(from.y),
                                            static_cast<double>(to.x), static_cast<double>(to.y),
                                            static_cast<double>(std::fabs(a.radius)), sweep > 180});
        c.box.add(static_cast<double>(from.x), static_cast<double>(from.y));
        c.box.add(static_cast<double>(to.x), static_cast<double>(to.y));
        for (int quarter = 0; quarter < 4; ++quarter) {
            if (std::fmod(90 * quarter - a.startDegrees + 720, 360.0L) <= sweep) {
                const PlanePoint extreme = pointOnCircle(a, 90.0L * quarter);
                c.box.add(static_cast<double>(extreme.x), static_cast<double>(extreme.y));
            }
        }
    }
}

void finishCollecting(Collected& c) {
    if (c.box.empty()) c.box.add(0, 0);
    c.span = std::max(c.box.maxX - c.box.minX, c.box.maxY - c.box.minY);
    if (!(c.span > minimumSpan)) c.span = 1;  // a single point, or nothing at all
}

/// How far the points lie from their nearest rings, and the magnification of the whiskers.
struct Deviations {
    std::size_t measured = 0;
    double rms = 0;
    double largest = 0;
    double magnification = 0;  // 0: no whisker to draw
};

Deviations measure(const Collected& c, const RingGauge& gauge) {
    Deviations d;
    if (gauge.wedges.empty()) return d;
    double sumOfSquares = 0;
    for (std::size_t k = 0; k < classLayers.size(); ++k) {
        const std::vector<Dot>& dots = c.dots[indexOf(classLayers[k])];
        for (const Dot& dot : dots) {
            const RingDeviation deviation = deviationFromRings(gauge, {dot.x, dot.y});
            const double size = static_cast<double>(deviation.deviation);
            sumOfSquares += size * size;
            d.largest = std::max(d.largest, std::fabs(size));
            ++d.measured;
        }
    }
    if (d.measured > 0) d.rms = std::sqrt(sumOfSquares / static_cast<double>(d.measured));
    if (d.rms > 0) d.magnification = std::max(1.0, niceFloor(whiskerRmsShare * c.span / d.rms));
    return d;
}

/// The page: the drawing's box, padded, scaled into the area left of the ring labels.
struct Page {
    PageTransform t;
    double areaWidth = 0;
    double drawingHeight = 0;
    double height = 0;
};

Page layOut(const Collected& c, double whiskerReach, double labelColumn, std::size_t labelCount) {
    Page page;
    const double pad = paddingShare * c.span + whiskerReach;
    const double left = c.box.minX - pad, right = c.box.maxX + pad;
    const double bottom = c.box.minY - pad, top = c.box.maxY + pad;
    const double width = std::max(right - left, 1e-3 * c.span);
    const double height = std::max(top - bottom, 1e-3 * c.span);
    page.areaWidth = pageWidth - 2 * margin - labelColumn;
    page.drawingHeight = std::max(std::clamp(page.areaWidth * height / width, minDrawingHeight, maxDrawingHeight),
                                  labelRow * static_cast<double>(labelCount + 1));
    page.height = std::ceil(headerHeight + page.drawingHeight + footerHeight);

    PageTransform& t = page.t;
    t.scale = std::min(page.areaWidth / width, page.drawingHeight / height);
    // Browsers place paths in single precision: a drawing far from its own origin (a survey
    // grid) is written from a round origin near it, so that its numbers stay short.
    const double originStep = std::pow(10.0, std::ceil(std::log10(c.span)));
    const double middleX = (left + right) / 2, middleY = (bottom + top) / 2;
    if (std::max(std::fabs(middleX), std::fabs(middleY)) > farFromOrigin * originStep) {
        t.originX = std::round(middleX / originStep) * originStep;
        t.originY = std::round(middleY / originStep) * originStep;
    }
    t.originDecimals = std::max(0, -static_cast<int>(std::round(std::log10(originStep))));
    t.offsetX = margin + (page.areaWidth - width * t.scale) / 2 - t.scale * (left - t.originX);
    t.offsetY = headerHeight + (page.drawingHeight - height * t.scale) / 2 + t.scale * (top - t.originY);
    t.decimals = std::clamp(static_cast<int>(std::ceil(std::log10(t.scale / resolutionPixels))), 0, maxDecimals);
    return page;
}

void openPicture(std::string& out, const Page& page, const std::string& title) {
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n";
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:kelmar=\"urn:kelmar:picture\" version=\"1.1\" width=\"";
    appendFixed(out, pageWidth, 0);
    out += "\" height=\"";
    appendFixed(out, page.height, 0);
    out += "\" viewBox=\"0 0 ";
    appendFixed(out, pageWidth, 0);
    out += ' ';
    appendFixed(out, page.height, 0);
    out += "\" font-family=\"DejaVu Sans, Verdana, Arial, Helvetica, sans-serif\">\n";
    out += "<title>" + escaped(title) + "</title>\n";
    out += "<desc>Fitted eight-centre ovals and the digitised points, coloured by their distance from their oval. "
           "Paths in the group \"drawing\" hold drawing coordinates less its kelmar:origin; its transform turns "
           "them into the page with Y up.</desc>\n";
    out += "<rect width=\"100%\" height=\"100%\" fill=\"";
    out += pageColour;
    out += "\"/>\n";
}

/// The dots to draw: all of them, or beyond dotsBeforeThinning the first in each page unit square.
std::vector<Dot> thinnedDots(const std::vector<Dot>& dots, const PageTransform& t) {
    if (dots.size() <= dotsBeforeThinning) return dots;
    std::unordered_set<std::uint64_t> taken;
    std::vector<Dot> kept;
    for (const Dot& dot : dots) {
        // Page coordinates stay within a few million units: 32 bits each hold their squares.
        const auto cell = [](double page) {
            return static_cast<std::uint64_t>(static_cast<std::uint32_t>(static_cast<std::int64_t>(std::floor(page))));
        };
        if (taken.insert(cell(t.pageX(dot.x)) << 32 | cell(t.pageY(dot.y))).second) kept.push_back(dot);
    }
    return kept;
}

/// The group "drawing": every entity in drawing coordinates, and the whiskers. Returns the
/// number of whiskers cut short.
std::size_t writeDrawing(SvgText& svg, const Collected& c, const RingGauge& gauge, const Deviations& deviations,
                         const PageTransform& t, double whiskerCap) {
    std::string& out = svg.text();
    out += "<g id=\"drawing\" kelmar:origin=\"";
    appendFixed(out, t.originX, t.originDecimals);
    out += ' ';
    appendFixed(out, t.originY, t.originDecimals);
    out += "\" transform=\"matrix(";
    char scaleText[40];
    const char* scaleEnd =
        std::to_chars(scaleText, scaleText + sizeof scaleText, t.scale, std::chars_format::general, 10).ptr;
    const std::string scale(static_cast<const char*>(scaleText), scaleEnd);
    out += scale + " 0 0 -" + scale + ' ';
    appendFixed(out, t.offsetX, 4);
    out += ' ';
    appendFixed(out, t.offsetY, 4);
    out += ")\" fill=\"none\" stroke-linecap=\"round\" stroke-linejoin=\"round\">\n";

    const auto appendSegment = [&t](std::string& o, const Segment& s) {
        o += 'M';
        appendPoint(o, t, s.x1, s.y1);
        o += 'L';
        appendPoint(o, t, s.x2, s.y2);
    };
    const auto appendSweep = [&t](std::string& o, const Sweep& a) {
        o += 'M';
        appendPoint(o, t, a.x1, a.y1);
        o += 'A';
        appendFixed(o, a.radius, t.decimals);
        o += ' ';
        appendFixed(o, a.radius, t.decimals);
        // Counter-clockwise in drawing coordinates is the positive-angle sweep of the path's own
        // coordinates; the group's transform turns both together.
        o += a.large ? " 0 1 1 " : " 0 0 1 ";
        appendPoint(o, t, a.x2, a.y2);
    };
    const auto appendDot = [&t](std::string& o, const Dot& d) {
        o += 'M';
        appendPoint(o, t, d.x, d.y);
        o += "h0";
    };

    // Light construction first (the radii run along the sides of the triangles and would hide
    // them), then the ovals, the whiskers, and the points on top, the points farthest from
    // their oval last so that nothing hides them.
    for (const Layer layer : {Layer::Radii, Layer::Axes, Layer::Triangles, Layer::Arcs, Layer::TwiceOverResidual,
                              Layer::OverResidual, Layer::WithinResidual}) {
        const LayerStyle& style = styleOf(layer);
        const double stroke = layer == Layer::Arcs    ? arcStroke
                              : layer == Layer::Radii ? radiusStroke
                                                      : constructionStroke;
        writePaths(svg, c.lines[indexOf(layer)], style.name, style.pictureColour, stroke, t,
                   layer == Layer::Axes ? axisDash : 0, appendSegment);
        writePaths(svg, c.arcs[indexOf(layer)], style.name, style.pictureColour, stroke, t, 0, appendSweep);
        if (classOf(layer) < 0) {
            writePaths(svg, thinnedDots(c.dots[indexOf(layer)], t), style.name, style.pictureColour, dotDiameter[0], t,
                       0, appendDot);
        }
    }
    std::size_t cutShort = 0;
    const double shortest = dotDiameter[0] / 2 / t.scale;  // shorter ones end under their dot
    for (std::size_t k = 0; k < classLayers.size() && deviations.magnification > 0; ++k) {
        std::vector<Segment> whiskers;
        const std::vector<Dot>& dots = c.dots[indexOf(classLayers[k])];
        const std::size_t stride = (dots.size() + whiskersPerClass - 1) / whiskersPerClass;
        for (std::size_t i = 0; i < dots.size(); i += std::max<std::size_t>(stride, 1)) {
            const RingDeviation d = deviationFromRings(gauge, {dots[i].x, dots[i].y});
            double length = deviations.magnification * static_cast<double>(d.deviation);
            if (std::fabs(length) < shortest) continue;
            if (std::fabs(length) > whiskerCap) {
                length = std::copysign(whiskerCap, length);
                ++cutShort;
            }
            const double fx = static_cast<double>(d.foot.x);
            const double fy = static_cast<double>(d.foot.y);
            whiskers.push_back({fx, fy, fx + length * static_cast<double>(d.direction.x),
                                fy + length * static_cast<double>(d.direction.y)});
        }
        writePaths(svg, whiskers, "whiskers", styleOf(classLayers[k]).pictureColour, whiskerStroke, t, 0,
                   appendSegment);
    }
    for (std::size_t k = 0; k < classLayers.size(); ++k) {
        const LayerStyle& style = styleOf(classLayers[k]);
        writePaths(svg, thinnedDots(c.dots[indexOf(classLayers[k])], t), style.name, style.pictureColour,
                   dotDiameter[k], t, 0, appendDot);
    }
    svg.text() += "</g>\n";
    return cutShort;
}

/// The text of a ring's label: its number, its semi-axes with `decimals` decimals each, and
/// where the caller says it came from (none when empty).
std::string ringLabelText(std::size_t number, double semiMajor, double semiMinor, int decimals,
                          std::string_view source) {
    std::string text = "ring " + std::to_string(number) + ": semi-axes " + fixedDecimalsText(semiMajor, decimals) +
                       " \u00d7 " + fixedDecimalsText(semiMinor, decimals);
    if (!source.empty()) text += " (" + std::string(source) + ")";
    return text;
}

/// The labelled rings' semi-axes, with the decimals a hundred-thousandth of the drawing needs,
/// and their sources: every ring, or of many rings every so many and the last.
std::vector<RingLabel> ringLabels(const std::vector<DrawnRing>& rings, double span,
                                  const std::vector<std::string>& sources) {
    const int decimals = std::clamp(static_cast<int>(std::ceil(std::log10(1e5 / span))), 0, maxDecimals);
    const std::size_t step = (rings.size() + maxRingLabels - 1) / maxRingLabels;
    std::vector<RingLabel> labels;
    for (std::size_t r = 0; r < rings.size(); ++r) {
        if (r % std::max<std::size_t>(step, 1) != 0 && r + 1 != rings.size()) continue;
        RingLabel label{};
        label.ring = r;
        label.text = ringLabelText(r + 1, static_cast<double>(rings[r].semiMajor),
                                   static_cast<double>(rings[r].semiMinor), decimals,
                                   r < sources.size() ? std::string_view(sources[r]) : std::string_view());
        labels.push_back(std::move(label));
    }
    return labels;
}

/// The point of the ring nearest the direction `degrees` from its centre (the ring's arcs
/// sampled finely).
PlanePoint ringPointToward(const DrawnRing& ring, double degrees) {
    constexpr int samplesPerArc = 32;
    const double radians = degrees / static_cast<double>(constant::degreesPerRadian);
    const double wantX = std::cos(radians), wantY = std::sin(radians);
    PlanePoint best = ring.centre;
    double bestAlignment = -INFINITY;
    for (const DrawnArc& arc : ring.arcs) {
        const Real80 sweep = arcSweepDegrees(arc);
        for (int i = 0; i <= samplesPerArc; ++i) {
            const PlanePoint p = pointOnCircle(arc, arc.startDegrees + sweep * i / samplesPerArc);
            const double dx = static_cast<double>(p.x - ring.centre.x), dy = static_cast<double>(p.y - ring.centre.y);
            const double length = std::hypot(dx, dy);
            const double alignment = length > 0 ? (dx * wantX + dy * wantY) / length : -1;
            if (alignment > bestAlignment) {
                bestAlignment = alignment;
                best = p;
            }
        }
    }
    return best;
}

/// The labels in a column right of the drawing, each with a leader to its own ring: the
/// innermost labelled ring from the upper right, the outermost from the lower right, so that no
/// two leaders meet.
void writeRingLabels(std::string& out, std::vector<RingLabel> labels, const std::vector<DrawnRing>& rings,
                     const Page& page) {
    std::vector<std::size_t> bySize(labels.size());
    for (std::size_t i = 0; i < labels.size(); ++i) bySize[i] = i;
    std::stable_sort(bySize.begin(), bySize.end(), [&](std::size_t a, std::size_t b) {
        return rings[labels[a].ring].semiMajor < rings[labels[b].ring].semiMajor;
    });
    for (std::size_t n = 0; n < bySize.size(); ++n) {
        RingLabel& label = labels[bySize[n]];
        const double share = bySize.size() > 1 ? static_cast<double>(n) / static_cast<double>(bySize.size() - 1) : 0.5;
        const PlanePoint at = ringPointToward(rings[label.ring], labelDirectionSpread * (0.5 - share));
        label.anchorX = page.t.pageX(static_cast<double>(at.x));
        label.anchorY = page.t.pageY(static_cast<double>(at.y));
    }
    spreadLabels(labels, headerHeight + labelRow, headerHeight + page.drawingHeight - labelRow / 2);
    const double columnX = margin + page.areaWidth + leaderGap;
    for (const RingLabel& label : labels) {
        appendPageLine(out, label.anchorX, label.anchorY, columnX - 6, label.y - 4, leaderColour, 0.8);
        appendPageText(out, columnX, label.y, textFont, inkColour, label.text);
    }
}

/// Title, what the picture holds, and the RMS in the top right corner.
void writeHeader(std::string& out, const PictureCaption& caption, const PictureSummary& summary,
                 std::size_t measured) {
    const double titleRoom = pageWidth - 2 * margin - rmsBlockWidth;
    const double titleSize = std::clamp(
        titleRoom / (characterShare * static_cast<double>(std::max<std::size_t>(caption.title.size(), 1))), 11.0,
        titleFont);
    appendPageText(out, margin, 36, titleSize, inkColour, caption.title, "start", "bold");
    const std::size_t points = summary.pointsByClass[0] + summary.pointsByClass[1] + summary.pointsByClass[2];
    std::string contents = std::to_string(points) + (points == 1 ? " point" : " points") + " on " +
                           std::to_string(summary.rings) + (summary.rings == 1 ? " ring" : " rings") +
                           "; coordinates in drawing units, Y up";
    if (summary.leftOut > 0) {
        contents += "; " + std::to_string(summary.leftOut) + " entities too far from the origin to draw left out";
    }
    appendPageText(out, margin, 60, textFont, mutedInk, contents);
    const double rms = static_cast<double>(summary.rms);
    const std::string rmsText = "RMS " + (summary.rmsStated ? fixedDecimalsText(rms, 9)
                                          : measured > 0     ? fixedDecimalsText(rms, decimalsForFourDigits(rms))
                                                             : std::string("\u2013"));
    appendPageText(out, pageWidth - margin, 36, 18, inkColour, rmsText, "end", "bold");
    appendPageText(out, pageWidth - margin, 60, 12, mutedInk,
                   summary.rmsStated ? "root mean square deviation of the fit"
                   : measured > 0    ? "root mean square distance of the points from the drawn ovals"
                                     : "no point measured from an oval",
                   "end");
}

/// The legend in two columns, and the scale bar on the right.
void writeFooter(std::string& out, const PictureCaption& caption, const PictureSummary& summary, const Deviations& deviations,
                 std::size_t cutShort, const Page& page) {
    const double top = headerHeight + page.drawingHeight + 24;
    for (std::size_t k = 0; k < classLayers.size(); ++k) {
        const double y = top + legendRow * static_cast<double>(k);
        appendPageDot(out, margin + 8, y - 4, dotDiameter[k] + 1, styleOf(classLayers[k]).pictureColour);
        appendPageText(out, margin + 22, y, textFont, inkColour,
                       std::string("points ") + pointClassNames[k] + ": " + std::to_string(summary.pointsByClass[k]) +
                           " (layer " + std::string(styleOf(classLayers[k]).name) + ")");
    }
    const double x = margin + 480;
    appendPageLine(out, x, top - 4, x + 26, top - 4, styleOf(Layer::Arcs).pictureColour, arcStroke);
    appendPageText(out, x + 34, top, textFont, inkColour,
                   caption.lineOutlines.empty() ? std::string("fitted ovals, eight arcs each") : caption.lineOutlines);
    const double row2 = top + legendRow;
    appendPageLine(out, x, row2 - 4, x + 8, row2 - 4, styleOf(Layer::Radii).pictureColour, 2);
    appendPageLine(out, x + 9, row2 - 4, x + 17, row2 - 4, styleOf(Layer::Triangles).pictureColour, 2);
    appendPageLine(out, x + 18, row2 - 4, x + 26, row2 - 4, styleOf(Layer::Axes).pictureColour, 2);
    appendPageText(out, x + 34, row2, textFont, inkColour, "radii, construction triangles and axes");
    const double row3 = top + 2 * legendRow;
    std::string whiskerText;
    if (deviations.magnification > 0) {
        const std::string_view colour = styleOf(Layer::OverResidual).pictureColour;
        appendPageLine(out, x + 4, row3 - 4, x + 26, row3 - 4, colour, whiskerStroke);
        appendPageDot(out, x + 4, row3 - 4, dotDiameter[1], colour);
        whiskerText = "deviation from the oval \u00d7 " + shortText(deviations.magnification) +
                      ", outward for points outside it";
        if (cutShort > 0) whiskerText += "; " + std::to_string(cutShort) + " cut short";
    } else {
        whiskerText = !caption.lineOutlines.empty() ? "points coloured by their deviation from their curve"
                      : summary.rings == 0         ? "no complete oval in the drawing: deviations not drawn"
                      : deviations.measured == 0 ? "no point to measure from the ovals"
                                                 : "every point on its oval: no deviation to draw";
    }
    appendPageText(out, x + 34, row3, textFont, inkColour, whiskerText);

    const double units = niceFloor(scaleBarLength / page.t.scale);
    const double length = units * page.t.scale;
    const double right = pageWidth - margin;
    const double left = right - length;
    const double y = top + 6;
    appendPageLine(out, left, y, right, y, inkColour, 1.5);
    for (const double at : {0.0, 0.5, 1.0}) {
        appendPageLine(out, left + at * length, y - (at == 0.5 ? 4 : 7), left + at * length, y, inkColour, 1.2);
    }
    appendPageText(out, left, y - 11, textFont, inkColour, "0", "middle");
    appendPageText(out, right, y - 11, textFont, inkColour, shortText(units), "middle");
    appendPageText(out, right, y + 20, textFont, mutedInk, "scale, in drawing units", "end");
}

}  // namespace

PictureSummary writeSvgPicture(OutputChannel& picture, const std::vector<DrawnEntity>& entities,
                               const PictureCaption& caption) {
    return writeSvgPicture(
        picture,
        [&entities](const DrawingSink& sink) {
            for (const DrawnEntity& entity : entities) sink(entity);
        },
        caption);
}

PictureSummary writeSvgPicture(OutputChannel& picture, const DrawingSource& draw, const PictureCaption& caption) {
    PictureSummary summary;
    // One pass: what can be drawn is collected, and the arcs that may close rings kept in order.
    Collected collected;
    std::vector<DrawnEntity> ringArcs;
    draw([&](const DrawnEntity& entity) {
        if (!isDrawable(entity)) {
            ++summary.leftOut;
            return;
        }
        collectEntity(collected, entity);
        if (const auto* arc = std::get_if<DrawnArc>(&entity); arc != nullptr && arc->layer == Layer::Arcs) {
            ringArcs.push_back(entity);
        }
    });
    finishCollecting(collected);
    const std::vector<DrawnRing> rings = ringsOfDrawing(ringArcs);
    const RingGauge gauge = gaugeOfRings(rings);
    const Deviations deviations = measure(collected, gauge);
    for (std::size_t k = 0; k < classLayers.size(); ++k) {
        summary.pointsByClass[k] = collected.dots[indexOf(classLayers[k])].size();
    }
    summary.rings = caption.lineOutlines.empty() ? rings.size() : caption.lineOutlineRings;
    summary.rmsStated = caption.statedRms.has_value();
    summary.rms = summary.rmsStated ? *caption.statedRms : deviations.rms;
    summary.magnification = deviations.magnification;

    const std::vector<RingLabel> labels = ringLabels(rings, collected.span, caption.ringSources);
    std::size_t longestLabel = 0;
    for (const RingLabel& label : labels) longestLabel = std::max(longestLabel, label.text.size());
    const double labelColumn =
        labels.empty() ? 0 : leaderGap + characterShare * textFont * static_cast<double>(longestLabel) + 8;
    const double whiskerCap = whiskerCapShare * collected.span;
    const Page page = layOut(collected, std::min(whiskerCap, deviations.magnification * deviations.largest),
                             labelColumn, labels.size());

    SvgText svg(picture);
    openPicture(svg.text(), page, caption.title);
    const std::size_t cutShort = writeDrawing(svg, collected, gauge, deviations, page.t, whiskerCap);
    writeRingLabels(svg.text(), labels, rings, page);
    writeHeader(svg.text(), caption, summary, deviations.measured);
    writeFooter(svg.text(), caption, summary, deviations, cutShort, page);
    svg.text() += "</svg>\n";
    svg.spill(true);
    return summary;
}
