#include "report/compare_report.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "base/ring_source.hpp"

namespace {

using json = nlohmann::ordered_json;

std::string formatted(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

/// Pads `text` with blanks to `width`, on the left (right-aligned) or on the right.
std::string padded(const std::string& text, std::size_t width, bool right) {
    if (text.size() >= width) return text;
    const std::string blanks(width - text.size(), ' ');
    return right ? blanks + text : text + blanks;
}

json number(double value) { return std::isfinite(value) ? json(value) : json(nullptr); }

/// A value's unit in compare.json.
const char* unitName(ParameterUnit unit) {
    switch (unit) {
        case ParameterUnit::Angle: return "degree";
        case ParameterUnit::Fraction: return "fraction";
        case ParameterUnit::Length: break;
    }
    return "length";
}

// The picture's page: its width, the height of a model's band, the margins around a band's plot.
constexpr double pageWidth = 1000;
constexpr double bandHeight = 210;
constexpr double titleHeight = 64;
constexpr double plotLeft = 90, plotRight = 30, plotTop = 34, plotBottom = 34;
// A band draws at most about this many points (every so many of a larger plan).
constexpr std::size_t mostPointsDrawn = 20000;
// Ring colours, in turn (distinguishable by readers with red-green colour blindness).
constexpr std::array<const char*, 6> ringColours{"#0072b2", "#d55e00", "#009e73", "#cc79a7", "#e69f00", "#56b4e9"};

/// The band's scale: the smallest 1, 2 or 5 times a power of ten not below `largest`.
double roundScale(double largest) {
    if (!(largest > 0) || !std::isfinite(largest)) return 1;
    const double power = std::pow(10.0, std::floor(std::log10(largest)));
    for (const double step : {1.0, 2.0, 5.0, 10.0}) {
        if (step * power >= largest * (1 - 1e-12)) return step * power;
    }
    return 10 * power;
}

std::string escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

}  // namespace

std::vector<std::string> comparisonTable(const std::vector<ComparedFit>& fits, const Weighing& weighing) {
    std::size_t rings = 0;
    for (const ComparedFit& fit : fits) rings = std::max(rings, fit.rings.size());
    std::string ringHeading = rings == 1 ? "RMS of the ring" : "RMS of rings 1";
    for (std::size_t j = 2; j <= rings; ++j) ringHeading += (j == rings ? " and " : ", ") + std::to_string(j);
    std::vector<std::string> lines;
    lines.push_back(padded("model", 13, false) + padded("parameters", 11, true) + padded("RMS", 12, true) +
                       padded("AIC", 13, true) + padded("BIC", 13, true) + padded("BIC - best", 12, true) + "   " +
                    ringHeading);
    for (std::size_t k = 0; k < fits.size(); ++k) {
        const ComparedFit& fit = fits[k];
        std::string row = padded(fit.standing.model, 13, false) + padded(std::to_string(fit.standing.parameters), 11, true);
        if (fit.failure || !fit.standing.criteria) {
            row += "   failed: " + fit.failure.value_or("no usable curve");
        } else {
            row += padded(formatted("%.4g", fit.rms), 12, true) +
                   padded(formatted("%.1f", fit.standing.criteria->aic), 13, true) +
                   padded(formatted("%.1f", fit.standing.criteria->bic), 13, true);
            const bool best = weighing.best && *weighing.best == k;
            row += padded(best ? "best" : formatted("%.1f", weighing.bicDifference[k].value_or(NAN)), 12, true) + "  ";
            for (const ComparedRing& ring : fit.rings) row += " " + (ring.points > 0 ? formatted("%.3g", ring.rms) : "-");
        }
        lines.push_back(row);
    }
    lines.push_back(weighing.verdict);
    return lines;
}

std::string comparisonJson(const std::string& input, const CurveStore& curves, const std::vector<ComparedFit>& fits,
                           const Weighing& weighing) {
    std::int64_t total = 0;
    for (const Curve& curve : curves.curves) total += static_cast<std::int64_t>(curve.x.size());
    json out = {{"input", input}, {"points", total}, {"models", json::array()}};
    for (std::size_t k = 0; k < fits.size(); ++k) {
        const ComparedFit& fit = fits[k];
        const bool fitted = !fit.failure && fit.standing.criteria.has_value();
        json model = {{"model", fit.standing.model}, {"fitted", fitted}, {"parameters", fit.standing.parameters}};
        json values = json::array();
        for (const NamedValue& v : fit.values) {
            values.push_back({{"name", v.name},
                              {"unit", unitName(v.unit)},
                              {"value", number(v.value)}});
        }
        model["values"] = values;
        model["points"] = fit.points;
        model["rms"] = fitted ? number(fit.rms) : json(nullptr);
        model["aic"] = fitted ? number(fit.standing.criteria->aic) : json(nullptr);
        model["bic"] = fitted ? number(fit.standing.criteria->bic) : json(nullptr);
        model["bic_difference"] = weighing.bicDifference[k] ? number(*weighing.bicDifference[k]) : json(nullptr);
        model["rings"] = json::array();
        for (std::size_t j = 0; j < fit.rings.size(); ++j) {
            const ComparedRing& ring = fit.rings[j];
            json entry = {{"ring", j + 1},
                          {"points", ring.points},
                          {"rms", ring.points > 0 ? number(ring.rms) : json(nullptr)},
                          {"semi_major", number(ring.axes.semiMajor)},
                          {"semi_minor", number(ring.axes.semiMinor)}};
            // Where the ring came from, as kelmar.json names it, when the plan says.
            if (const RingSource* source = ringSourceOf(curves, static_cast<std::int32_t>(j + 1))) {
                entry["source"] = source->layer.empty() ? json(nullptr) : json(source->layer);
                entry["source_group"] = source->group.empty() ? json(nullptr) : json(source->group);
                entry["source_ids"] = source->pieces;
            }
            model["rings"].push_back(entry);
        }
        if (fit.failure) model["failure"] = *fit.failure;
        out["models"].push_back(model);
    }
    out["best"] = weighing.best ? json(fits[*weighing.best].standing.model) : json(nullptr);
    out["evidence"] = weighing.evidence ? json(std::string(evidenceName(*weighing.evidence))) : json(nullptr);
    out["verdict"] = weighing.verdict;
    return out.dump(2) + "\n";
}

std::string comparisonPicture(const std::string& title, const std::vector<ComparedFit>& fits, const Weighing& weighing) {
    const double height = titleHeight + bandHeight * static_cast<double>(fits.size()) + 20;
    const double plotWidth = pageWidth - plotLeft - plotRight;
    const double plotHeight = bandHeight - plotTop - plotBottom;
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" "
                      "version=\"1.1\" width=\"" + formatted("%.0f", pageWidth) + "\" height=\"" + formatted("%.0f", height) +
                      "\" viewBox=\"0 0 " + formatted("%.0f", pageWidth) + " " + formatted("%.0f", height) +
                      "\" font-family=\"sans-serif\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"#fdfdf8\"/>\n";
    svg += "<text x=\"20\" y=\"28\" font-size=\"18\" fill=\"#111\">" + escaped(title) + "</text>\n";
    svg += "<text x=\"20\" y=\"50\" font-size=\"13\" fill=\"#333\">Each point's deviation from its fitted curve "
           "(outside up) against its angle from the major axis; each band at its own scale.</text>\n";
    for (std::size_t k = 0; k < fits.size(); ++k) {
        const ComparedFit& fit = fits[k];
        const double top = titleHeight + bandHeight * static_cast<double>(k);
        const double left = plotLeft, plotTopY = top + plotTop, middle = plotTopY + plotHeight / 2;
        std::string heading = fit.standing.noun;
        if (fit.failure || !fit.standing.criteria) {
            heading += ": failed, " + fit.failure.value_or("no usable curve");
        } else {
            heading += ": RMS " + formatted("%.4g", fit.rms) + ", BIC " + formatted("%.1f", fit.standing.criteria->bic);
            const bool best = weighing.best && *weighing.best == k;
            heading += best ? " (the lowest)" : ", " + formatted("%.1f", weighing.bicDifference[k].value_or(NAN)) +
                                                    " above the lowest";
        }
        svg += "<g id=\"" + escaped(fit.standing.model) + "\">\n";
        svg += "<text x=\"" + formatted("%.0f", left) + "\" y=\"" + formatted("%.1f", top + 22) +
               "\" font-size=\"15\" font-weight=\"bold\" fill=\"#111\">" + escaped(heading) + "</text>\n";
        svg += "<rect x=\"" + formatted("%.1f", left) + "\" y=\"" + formatted("%.1f", plotTopY) + "\" width=\"" +
               formatted("%.1f", plotWidth) + "\" height=\"" + formatted("%.1f", plotHeight) +
               "\" fill=\"#ffffff\" stroke=\"#999\"/>\n";
        // The angle axis: a tick every 45 degrees.
        for (int degrees = 0; degrees <= 360; degrees += 45) {
            const double x = left + plotWidth * degrees / 360.0;
            svg += "<line x1=\"" + formatted("%.1f", x) + "\" y1=\"" + formatted("%.1f", plotTopY) + "\" x2=\"" +
                   formatted("%.1f", x) + "\" y2=\"" + formatted("%.1f", plotTopY + plotHeight) +
                   "\" stroke=\"#e4e4e4\"/>\n";
            svg += "<text x=\"" + formatted("%.1f", x) + "\" y=\"" + formatted("%.1f", plotTopY + plotHeight + 15) +
                   "\" font-size=\"11\" text-anchor=\"middle\" fill=\"#444\">" + std::to_string(degrees) + "</text>\n";
        }
        svg += "<line x1=\"" + formatted("%.1f", left) + "\" y1=\"" + formatted("%.1f", middle) + "\" x2=\"" +
               formatted("%.1f", left + plotWidth) + "\" y2=\"" + formatted("%.1f", middle) + "\" stroke=\"#888\"/>\n";
        if (!fit.failure && fit.standing.criteria) {
            double largest = 0;
            std::size_t count = 0;
            for (const ComparedRing& ring : fit.rings) {
                count += ring.deviations.size();
                for (const AngledDeviation& d : ring.deviations) largest = std::max(largest, std::fabs(d.deviation));
            }
            const double scale = roundScale(largest);
            const double perUnit = plotHeight / 2 / scale;
            for (const double sign : {1.0, -1.0}) {
                const double y = middle - sign * fit.rms * perUnit;
                svg += "<line x1=\"" + formatted("%.1f", left) + "\" y1=\"" + formatted("%.2f", y) + "\" x2=\"" +
                       formatted("%.1f", left + plotWidth) + "\" y2=\"" + formatted("%.2f", y) +
                       "\" stroke=\"#555\" stroke-dasharray=\"6 4\"/>\n";
            }
            svg += "<text x=\"" + formatted("%.1f", left - 6) + "\" y=\"" + formatted("%.1f", plotTopY + 10) +
                   "\" font-size=\"11\" text-anchor=\"end\" fill=\"#444\">+" + formatted("%.3g", scale) + "</text>\n";
            svg += "<text x=\"" + formatted("%.1f", left - 6) + "\" y=\"" + formatted("%.1f", middle + 4) +
                   "\" font-size=\"11\" text-anchor=\"end\" fill=\"#444\">0</text>\n";
            svg += "<text x=\"" + formatted("%.1f", left - 6) + "\" y=\"" + formatted("%.1f", plotTopY + plotHeight) +
                   "\" font-size=\"11\" text-anchor=\"end\" fill=\"#444\">-" + formatted("%.3g", scale) + "</text>\n";
            const std::size_t stride = std::max<std::size_t>(1, (count + mostPointsDrawn - 1) / mostPointsDrawn);
            for (std::size_t j = 0; j < fit.rings.size(); ++j) {
                svg += "<g fill=\"" + std::string(ringColours[j % ringColours.size()]) + "\">";
                const std::vector<AngledDeviation>& ds = fit.rings[j].deviations;
                for (std::size_t i = 0; i < ds.size(); i += stride) {
                    svg += "<circle cx=\"" + formatted("%.1f", left + plotWidth * ds[i].angleDegrees / 360) +
                           "\" cy=\"" + formatted("%.1f", middle - ds[i].deviation * perUnit) + "\" r=\"1.6\"/>";
                }
                svg += "</g>\n";
            }
        }
        svg += "</g>\n";
    }
    // The rings' colours, once for the page.
    std::size_t rings = 0;
    for (const ComparedFit& fit : fits) rings = std::max(rings, fit.rings.size());
    double x = pageWidth - plotRight;
    std::string legend;
    for (std::size_t j = rings; j >= 1; --j) {
        const std::string label = "ring " + std::to_string(j);
        x -= 8.0 * static_cast<double>(label.size()) + 20;
        legend += "<circle cx=\"" + formatted("%.1f", x) + "\" cy=\"24\" r=\"4\" fill=\"" +
                  ringColours[(j - 1) % ringColours.size()] + "\"/><text x=\"" + formatted("%.1f", x + 8) +
                  "\" y=\"28\" font-size=\"13\" fill=\"#333\">" + label + "</text>\n";
    }
    svg += legend;
    svg += "<text x=\"" + formatted("%.1f", pageWidth / 2) + "\" y=\"" + formatted("%.1f", height - 6) +
           "\" font-size=\"12\" text-anchor=\"middle\" fill=\"#444\">degrees around the curve</text>\n";
    return svg + "</svg>\n";
}
