/// generate_ovals: writes concentric eight-centre ovals, four-centre ovals or ellipses with radial
/// noise, as an R12 DXF of POLYLINE entities or as a text point list, and on request (eight-centre
/// ovals) the answers that kelmar asks for, with starting values a few percent off. Run with
/// --help for the options.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "base/constants.hpp"
#include "base/text_io.hpp"
#include "model/ellipse_model.hpp"
#include "model/four_centre_model.hpp"
#include "model/oval_construction.hpp"
#include "model/primitives.hpp"
#include "oval_sampling.hpp"

namespace {


// Mixed into the seed for the starting values, so that asking for answers leaves the
// points unchanged.
constexpr std::uint64_t answerStream = 0x9e3779b97f4a7c15u;

enum class PointFormat { Dxf, Text, Figure };

struct Options {
    CurveKind curve = CurveKind::EightCentre;
    std::int32_t curves = 3;
    std::vector<std::int32_t> points = {100};  // per curve; later curves take the last
    PerimeterPart part;
    Real80 seenSpan = 0;               // degrees seen from the centre; 0: --part decides
    std::vector<Real80> seenFrom = {0};  // per curve; later curves take the last
    Real80 oa = 10, ob = 6, oc = 8, dc = 5;
    std::vector<Real80> ae = {2};  // the first curves' AE; later curves add the spacing
    std::vector<Real80> semiX = {12}, semiY = {8};  // the ellipses' semi-axes, likewise
    Real80 spacing = 1;
    Real80 centreX = 0, centreY = 0, rotationDegrees = 0;
    Real80 noise = 0.01L;
    std::uint64_t seed = 1;
    PointFormat format = PointFormat::Dxf;
    int decimals = 6;
    std::string output;   // empty: standard output
    std::string answers;  // empty: no answer file
    Real80 perturb = 0.03L;
};

const char* const usage =
    "usage: generate_ovals [option value]...\n"
    "  --curve NAME      eight-centre, four-centre or ellipse (eight-centre)\n"
    "  --curves N        number of concentric curves (3, or as many as --ae lists)\n"
    "  --points N[,N...] points per curve, or of the first curves; later curves take the last (100)\n"
    "  --part S,L        sample only the stretch from S of the perimeter over L of it, both\n"
    "                    fractions counted from the start of the top arc (0,1: the whole curve)\n"
    "                    (an ellipse's from the end of its semi-axis --a)\n"
    "  --seen DEG[@FROM,...]  an eight-centre oval: sample only what is seen from the centre over\n"
    "                    DEG degrees, counter-clockwise from the direction FROM (degrees from the\n"
    "                    X axis) of each curve, or of the first curves; later curves take the last\n"
    "  --oa, --ob, --oc, --dc L   the construction lengths (10, 6, 8, 5); a four-centre oval\n"
    "                    takes OA and OB alone\n"
    "  --ae L[,L...]     smallest radius AE of curve 1, or of the first curves (2); the end\n"
    "                    radius of a four-centre oval\n"
    "  --a, --b L[,L...] an ellipse's semi-axes along and across its axis of rotation (12, 8)\n"
    "  --spacing L       added to the last AE (or semi-axes) for each further curve (1)\n"
    "  --cx X, --cy Y    centre (0, 0)\n"
    "  --rotation DEG    rotation in degrees, positive clockwise (0)\n"
    "  --noise A         radial noise, uniform in [-A, A] (0.01)\n"
    "  --seed N          seed of the 64-bit Mersenne twister (1)\n"
    "  --format dxf|text|svg R12 DXF with POLYLINE entities, or count then X Y lines, or an SVG\n"
    "                    figure of the curves themselves (no noise): each ring, and the centre\n"
    "                    of each arc joined to the arc's ends (the axes of an ellipse) (dxf)\n"
    "  --decimals N      decimals of the coordinates written (6)\n"
    "  --output FILE     the point file (standard output)\n"
    "  --answers FILE    also write kelmar's answers for the point file (needs --output;\n"
    "                    eight-centre ovals only)\n"
    "  --perturb P       how far off the answers' starting values are (0.03)\n";

[[noreturn]] void fail(const std::string& sentence) {
    std::fprintf(stderr, "generate_ovals: %s (--help lists the options)\n", sentence.c_str());
    std::exit(2);
}

Real80 parseReal(const std::string& name, const std::string& text) {
    Real80 value = 0;
    if (parseRealToken(text, value) != TokenProblem::Valid) fail("--" + name + " needs a number, not '" + text + "'");
    return value;
}

std::int32_t parseCount(const std::string& name, const std::string& text) {
    std::int32_t value = 0;
    if (parseIntegerToken(text, value) != TokenProblem::Valid || value < 1) {
        fail("--" + name + " needs a whole number of at least 1, not '" + text + "'");
    }
    return value;
}

/// The items of a comma-separated list.
std::vector<std::string> listItems(const std::string& value) {
    std::vector<std::string> items;
    for (std::size_t from = 0; from <= value.size();) {
        const std::size_t comma = std::min(value.find(',', from), value.size());
        items.push_back(value.substr(from, comma - from));
        from = comma + 1;
    }
    return items;
}

Options parseOptions(int argc, char** argv) {
    Options o;
    bool curvesGiven = false;
    std::map<std::string, Real80*> reals = {
        {"oa", &o.oa},         {"ob", &o.ob},       {"oc", &o.oc},       {"dc", &o.dc},
        {"spacing", &o.spacing}, {"cx", &o.centreX}, {"cy", &o.centreY},
        {"rotation", &o.rotationDegrees}, {"noise", &o.noise}, {"perturb", &o.perturb}};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            std::exit(0);
        }
        if (arg.rfind("--", 0) != 0 || i + 1 >= argc) fail("'" + arg + "' is not an option followed by a value");
        const std::string name = arg.substr(2);
        const std::string value = argv[++i];
        if (auto r = reals.find(name); r != reals.end()) {
            *r->second = parseReal(name, value);
        } else if (name == "ae" || name == "a" || name == "b") {
            std::vector<Real80>& list = name == "ae" ? o.ae : name == "a" ? o.semiX : o.semiY;
            list.clear();
            for (const std::string& item : listItems(value)) list.push_back(parseReal(name, item));
            if (!curvesGiven) o.curves = static_cast<std::int32_t>(list.size() > 1 ? list.size() : 3);
        } else if (name == "curve") {
            if (value == "eight-centre") {
                o.curve = CurveKind::EightCentre;
            } else if (value == "four-centre") {
                o.curve = CurveKind::FourCentre;
            } else if (value == "ellipse") {
                o.curve = CurveKind::Ellipse;
            } else {
                fail("--curve is eight-centre, four-centre or ellipse, not '" + value + "'");
            }
        } else if (name == "curves") {
            o.curves = parseCount(name, value);
            curvesGiven = true;
        } else if (name == "points") {
            o.points.clear();
            for (const std::string& count : listItems(value)) o.points.push_back(parseCount(name, count));
        } else if (name == "part") {
            const std::vector<std::string> items = listItems(value);
            if (items.size() != 2) fail("--part needs two fractions START,SPAN, not '" + value + "'");
            o.part = {parseReal(name, items[0]), parseReal(name, items[1])};
            if (!(o.part.span > 0 && o.part.span <= 1)) fail("--part needs a span above 0 and at most 1");
        } else if (name == "seen") {
            const std::size_t at = value.find('@');
            o.seenSpan = parseReal(name, value.substr(0, at));
            if (!(o.seenSpan > 0 && o.seenSpan <= 360)) fail("--seen needs a span above 0 and at most 360 degrees");
            o.seenFrom = {0};
            if (at != std::string::npos) {
                o.seenFrom.clear();
                for (const std::string& item : listItems(value.substr(at + 1))) o.seenFrom.push_back(parseReal(name, item));
                if (o.seenFrom.empty()) fail("--seen needs a direction after '@'");
            }
        } else if (name == "decimals") {
            o.decimals = parseCount(name, value);
        } else if (name == "seed") {
            char* end = nullptr;
            o.seed = std::strtoull(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0') fail("--seed needs a whole number, not '" + value + "'");
        } else if (name == "format") {
            if (value != "dxf" && value != "text" && value != "svg") fail("--format is dxf, text or svg, not '" + value + "'");
            o.format = value == "dxf" ? PointFormat::Dxf : value == "text" ? PointFormat::Text : PointFormat::Figure;
        } else if (name == "output") {
            o.output = value;
        } else if (name == "answers") {
            o.answers = value;
        } else {
            fail("unknown option '" + arg + "'");
        }
    }
    if (o.format == PointFormat::Text && o.curves != 1) fail("the text format holds one curve: add --curves 1");
    if (!o.answers.empty() && o.output.empty()) fail("--answers names the point file, so it needs --output");
    if (!o.answers.empty() && o.curve != CurveKind::EightCentre) fail("--answers are written for eight-centre ovals only");
    return o;
}

/// The value of curve j (counted from 1) in a list of the first curves' values.
Real80 listedOrSpaced(const Options& o, const std::vector<Real80>& list, std::int32_t j) {
    const std::size_t listed = list.size();
    if (static_cast<std::size_t>(j) <= listed) return list[static_cast<std::size_t>(j - 1)];
    return list.back() + o.spacing * static_cast<Real80>(static_cast<std::size_t>(j) - listed);
}

/// The AE of curve j, counted from 1.
Real80 aeOf(const Options& o, std::int32_t j) { return listedOrSpaced(o, o.ae, j); }

/// A four-centre or ellipse family as its model holds it.
CurveParameters modelParametersOf(const Options& o) {
    CurveParameters p;
    p.shared = {static_cast<double>(o.centreX), static_cast<double>(o.centreY),
                static_cast<double>(o.rotationDegrees * constant::pi / 180)};
    if (o.curve == CurveKind::FourCentre) p.shared.insert(p.shared.end(), {static_cast<double>(o.oa), static_cast<double>(o.ob)});
    for (std::int32_t j = 1; j <= o.curves; ++j) {
        if (o.curve == CurveKind::FourCentre) {
            p.rings.push_back({static_cast<double>(aeOf(o, j))});
        } else {
            p.rings.push_back({static_cast<double>(listedOrSpaced(o, o.semiX, j)),
                               static_cast<double>(listedOrSpaced(o, o.semiY, j))});
        }
    }
    return p;
}

/// Refuses a four-centre or ellipse family that its model calls improper.
void checkProperModel(const Options& o, const CurveParameters& p) {
    if (o.curve == CurveKind::FourCentre) {
        const FourCentreModel::Fault fault = FourCentreModel::fault(p);
        if (fault != FourCentreModel::Fault::None) fail("not a four-centre oval: " + FourCentreModel::describeFault(p, fault));
    } else {
        const EllipseModel::Fault fault = EllipseModel::fault(p);
        if (fault != EllipseModel::Fault::None) fail("not an ellipse: " + EllipseModel::describeFault(p, fault));
    }
}

CoefficientVector coefficientsOf(const Options& o) {
    CoefficientVector v;
    v.values = {o.oa, o.ob, o.centreX, o.centreY, o.rotationDegrees * constant::pi / 180, o.oc, o.dc};
    for (std::int32_t j = 1; j <= o.curves; ++j) v.values.push_back(aeOf(o, j));
    return v;
}

/// Refuses a construction that does not close into a convex oval.
void checkProperOval(const Options& o, const OvalConstruction& construction) {
    if (!(o.oa > 0 && o.ob > 0 && o.oc > 0 && o.dc > 0)) fail("OA, OB, OC and DC must be positive");
    if (!(o.oa > o.oc)) fail("OA must be greater than OC, or the end arcs turn inside out");
    if (!(o.dc < construction.cbLength)) fail("DC must be shorter than the segment from C1 to B1");
    for (std::int32_t j = 1; j <= o.curves; ++j) {
        if (!(aeOf(o, j) > 0)) fail("every curve's AE must be positive");
    }
}

/// A DXF group: the code right-aligned in three columns, then its value.
void writeGroup(OutputChannel& out, int code, const std::string& value) {
    writeLine(out, formatIntegerField(code, 3));
    writeLine(out, value);
}

void writeDxf(OutputChannel& out, const std::vector<std::vector<PlanePoint>>& curves, int decimals, bool closed) {
    const std::string zero = formatRealField(0, 0, decimals);
    writeGroup(out, 0, "SECTION");
    writeGroup(out, 2, "HEADER");
    writeGroup(out, 9, "$ACADVER");
    writeGroup(out, 1, "AC1009");
    writeGroup(out, 0, "ENDSEC");
    writeGroup(out, 0, "SECTION");
    writeGroup(out, 2, "ENTITIES");
    for (std::size_t j = 0; j < curves.size(); ++j) {
        const std::string layer = "curve_" + std::to_string(j + 1);
        writeGroup(out, 0, "POLYLINE");
        writeGroup(out, 8, layer);
        writeGroup(out, 66, formatIntegerField(1, 6));  // vertices follow
        writeGroup(out, 10, zero);
        writeGroup(out, 20, zero);
        writeGroup(out, 30, zero);
        writeGroup(out, 70, formatIntegerField(closed ? 1 : 0, 6));  // 1: closed
        for (const PlanePoint& p : curves[j]) {
            writeGroup(out, 0, "VERTEX");
            writeGroup(out, 8, layer);
            // Values are left-aligned: a value line that began with " 10" would pass for a
            // group code.
            writeGroup(out, 10, formatRealField(p.x, 0, decimals));
            writeGroup(out, 20, formatRealField(p.y, 0, decimals));
            writeGroup(out, 30, zero);
        }
        writeGroup(out, 0, "SEQEND");
        writeGroup(out, 8, layer);
    }
    writeGroup(out, 0, "ENDSEC");
    writeGroup(out, 0, "EOF");
}

void writeText(OutputChannel& out, const std::vector<PlanePoint>& curve, int decimals) {
    writeLine(out, formatIntegerField(static_cast<std::int64_t>(curve.size()), 0));
    for (const PlanePoint& p : curve) {
        writeLine(out, formatRealField(p.x, 0, decimals) + " " + formatRealField(p.y, 0, decimals));
    }
}

/// A line of the figure: from a centre to the end of its arc, or along an axis.
struct FigureLine {
    PlanePoint from, to;
};

/// The construction lines of the outer ring: each arc's centre joined to its two ends (the
/// axes of an ellipse).
std::vector<FigureLine> constructionLines(const Options& o) {
    std::vector<FigureLine> lines;
    if (o.curve == CurveKind::EightCentre) {
        const CoefficientVector coefficients = coefficientsOf(o);
        const OvalConstruction construction = buildOvalConstruction(coefficients);
        for (const ArcTableRow& arc : arcTable(construction, arcRadii(construction, aeOf(o, o.curves)))) {
            for (const auto& [from, to] : {std::pair{arc.startFrom, arc.startTo}, std::pair{arc.endFrom, arc.endTo}}) {
                const Real80 angle = directionAngle(from.x, from.y, to.x, to.y);
                lines.push_back({arc.centre, {arc.centre.x + arc.radius * std::cos(angle), arc.centre.y + arc.radius * std::sin(angle)}});
            }
        }
    } else if (o.curve == CurveKind::FourCentre) {
        const CurveParameters parameters = modelParametersOf(o);
        for (const OutlineArc& arc : fourCentreArcs(parameters, parameters.rings.size() - 1)) {
            const PlanePoint centre{arc.centreX, arc.centreY};
            for (const double angle : {arc.startAngle, arc.startAngle + arc.sweep}) {
                lines.push_back({centre, {arc.centreX + arc.radius * std::cos(angle), arc.centreY + arc.radius * std::sin(angle)}});
            }
        }
    } else {
        const CurveParameters parameters = modelParametersOf(o);
        const std::vector<double>& ring = parameters.rings.back();
        for (const OutlinePoint& end : {OutlinePoint{ring[EllipseModel::semiX], 0, 0, 0}, OutlinePoint{0, ring[EllipseModel::semiY], 0, 0}}) {
            const OutlinePoint a = placedOutlinePoint(parameters.shared.data(), end);
            const OutlinePoint b = placedOutlinePoint(parameters.shared.data(), {-end.x, -end.y, 0, 0});
            lines.push_back({{a.x, a.y}, {b.x, b.y}});
        }
    }
    return lines;
}

/// The figure: the rings dark, the construction lines light with the centres marked, Y up, on a
/// page 600 units wide.
void writeFigure(OutputChannel& out, const std::vector<std::vector<PlanePoint>>& curves, const std::vector<FigureLine>& lines) {
    Real80 minX = curves.front().front().x, maxX = minX, minY = curves.front().front().y, maxY = minY;
    auto include = [&](const PlanePoint& p) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    };
    for (const std::vector<PlanePoint>& curve : curves) {
        for (const PlanePoint& p : curve) include(p);
    }
    for (const FigureLine& line : lines) {
        include(line.from);
        include(line.to);
    }
    const Real80 margin = 0.04L * std::max(maxX - minX, maxY - minY);
    const Real80 width = 600, scale = width / (maxX - minX + 2 * margin);
    const Real80 height = (maxY - minY + 2 * margin) * scale;
    auto px = [&](Real80 x) { return formatRealField((x - minX + margin) * scale, 0, 2); };
    auto py = [&](Real80 y) { return formatRealField((maxY + margin - y) * scale, 0, 2); };
    writeLine(out, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    writeLine(out, "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"600\" height=\"" +
                       formatRealField(height, 0, 0) + "\" viewBox=\"0 0 600 " + formatRealField(height, 0, 2) + "\">");
    writeLine(out, "<rect width=\"100%\" height=\"100%\" fill=\"#fdfdf8\"/>");
    writeLine(out, "<g stroke=\"#9aa7b8\" stroke-width=\"1\" stroke-dasharray=\"4 3\">");
    for (const FigureLine& line : lines) {
        writeLine(out, "<line x1=\"" + px(line.from.x) + "\" y1=\"" + py(line.from.y) + "\" x2=\"" + px(line.to.x) +
                           "\" y2=\"" + py(line.to.y) + "\"/>");
    }
    writeLine(out, "</g>");
    writeLine(out, "<g fill=\"#c0392b\">");
    for (std::size_t k = 0; k < lines.size(); k += 2) {
        writeLine(out, "<circle cx=\"" + px(lines[k].from.x) + "\" cy=\"" + py(lines[k].from.y) + "\" r=\"3\"/>");
    }
    writeLine(out, "</g>");
    writeLine(out, "<g fill=\"none\" stroke=\"#1f2d3d\" stroke-width=\"2\">");
    for (const std::vector<PlanePoint>& curve : curves) {
        std::string path;
        for (const PlanePoint& p : curve) path += (path.empty() ? "M" : " L") + px(p.x) + " " + py(p.y);
        writeLine(out, "<path d=\"" + path + " Z\"/>");
    }
    writeLine(out, "</g>");
    writeLine(out, "</svg>");
}

/// kelmar's answers: the point file's name, then centre, rotation in degrees, OA, OB, OC, DC
/// and one AE per curve. Lengths are off by between half and all of `perturb` of their
/// value, the centre by up to `perturb` times the first curve's smaller semi-axis, the
/// rotation by up to `perturb` radians. Lengths are rounded to about a hundredth of that
/// semi-axis (0.1 for a semi-axis of 22), degrees to a tenth, as a surveyor would type them.
void writeAnswers(const Options& o, const OvalConstruction& construction) {
    std::mt19937_64 random(o.seed ^ answerStream);
    auto unit = [&random] { return 2 * uniformUnit(random()) - 1; };  // in [-1, 1)
    auto offLength = [&](Real80 length) {
        const Real80 u = unit();
        return length * (1 + o.perturb * (u < 0 ? -0.5L + 0.5L * u : 0.5L + 0.5L * u));
    };
    const SemiAxes first = semiAxes(construction, aeOf(o, 1), arcRadii(construction, aeOf(o, 1)).rMax);
    const Real80 centreShift = o.perturb * first.semiMinor;
    const int lengthDecimals = std::max(0, 2 - static_cast<int>(std::floor(std::log10(first.semiMinor))));
    auto typedLength = [lengthDecimals](Real80 value) { return formatRealField(value, 0, lengthDecimals); };

    OutputChannel out = createForWriting(o.answers);
    writeLine(out, std::filesystem::path(o.output).filename().string());
    writeLine(out, typedLength(o.centreX + centreShift * unit()));
    writeLine(out, typedLength(o.centreY + centreShift * unit()));
    writeLine(out, formatRealField(o.rotationDegrees + o.perturb * unit() * 180 / constant::pi, 0, 1));
    writeLine(out, typedLength(offLength(o.oa)));
    writeLine(out, typedLength(offLength(o.ob)));
    writeLine(out, typedLength(offLength(o.oc)));
    writeLine(out, typedLength(offLength(o.dc)));
    for (std::int32_t j = 1; j <= o.curves; ++j) writeLine(out, typedLength(offLength(aeOf(o, j))));
    closeChannel(out);
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = parseOptions(argc, argv);
    std::vector<std::vector<PlanePoint>> curves;
    // A figure shows the curves themselves.
    const Real80 noise = o.format == PointFormat::Figure ? 0 : o.noise;
    if (o.curve == CurveKind::EightCentre) {
        const CoefficientVector coefficients = coefficientsOf(o);
        const OvalConstruction construction = buildOvalConstruction(coefficients);
        checkProperOval(o, construction);
        std::vector<PerimeterPart> parts{o.part};
        if (o.seenSpan > 0) {
            parts.clear();
            for (std::int32_t j = 1; j <= o.curves; ++j) {
                const Real80 from = o.seenFrom[std::min(static_cast<std::size_t>(j), o.seenFrom.size()) - 1];
                parts.push_back(partSeenOver(construction,
                                             arcRadii(construction, coefficients.coef(coefficient::ae(j))), from,
                                             o.seenSpan));
            }
        }
        curves = pointsOf(sampleOvalFamilyByParts(coefficients, o.points, noise, o.seed, parts));
    } else {
        if (o.seenSpan > 0) fail("--seen takes an eight-centre oval");
        const CurveParameters parameters = modelParametersOf(o);
        checkProperModel(o, parameters);
        curves = sampleModelFamily(o.curve, parameters, o.points, noise, o.seed, o.part);
    }
    OutputChannel out = o.output.empty() ? consoleOutput() : createForWriting(o.output);
    if (o.format == PointFormat::Figure) {
        if (!(o.part.span == 1 && o.seenSpan == 0)) fail("the figure shows whole curves: leave out --part and --seen");
        writeFigure(out, curves, constructionLines(o));
    } else if (o.format == PointFormat::Dxf) {
        writeDxf(out, curves, o.decimals, o.part.span == 1 && o.seenSpan == 0);
    } else {
        writeText(out, curves.front(), o.decimals);
    }
    closeChannel(out);
    if (!o.answers.empty()) writeAnswers(o, buildOvalConstruction(coefficientsOf(o)));
    return 0;
}
