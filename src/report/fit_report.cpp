#include "report/fit_report.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/constants.hpp"
#include "base/ring_source.hpp"
#include "drawing/ellipse_drawing.hpp"
#include "drawing/oval_drawing.hpp"
#include "model/ellipse_model.hpp"
#include "model/four_centre_limit.hpp"
#include "model/oval_construction.hpp"
#include "report/oval_summary.hpp"
#include "report/points_listing.hpp"
#include "report/run_report.hpp"

namespace {

// Values on the console show their standard error to two significant digits, or, without one,
// three digits below the rms.
constexpr int errorDigits = 2;
constexpr int digitsBelowRms = 3;
constexpr int maxDecimals = 9;

// Values this large, or that need more decimals than maxDecimals, are written with an exponent.
constexpr double largestFixed = 1e15;

/// Decimals that show `significant` digits of `scale`; -1 when only an exponent will do.
int decimalsFor(double scale, int significant) {
    if (!(scale > 0) || !std::isfinite(scale)) return 6;
    const int decimals = significant - 1 - static_cast<int>(std::floor(std::log10(scale)));
    return decimals > maxDecimals ? -1 : std::max(decimals, 0);
}

std::string fixed(double value, int decimals) {
    char text[64];
    if (decimals < 0 || std::fabs(value) >= largestFixed) {
        std::snprintf(text, sizeof text, "%.6g", value);
    } else {
        std::snprintf(text, sizeof text, "%.*f", decimals, value);
    }
    return text;
}

/// "value +- error", or the value alone to `fallbackDecimals` when there is no error.
std::string withError(double value, const std::optional<double>& error, int fallbackDecimals) {
    if (!error) return fixed(value, fallbackDecimals);
    const int decimals = decimalsFor(*error, errorDigits);
    if (decimals < 0) {
        char text[64];
        std::snprintf(text, sizeof text, "%.6g +- %.2g", value, *error);
        return text;
    }
    return fixed(value, decimals) + " +- " + fixed(*error, decimals);
}

/// The text and blanks up to `width`, and at least two blanks after it.
std::string padRight(std::string text, std::size_t width) {
    text.append(text.size() + 2 < width ? width - text.size() : 2, ' ');
    return text;
}

template <typename Field>
std::optional<double> sharedError(const FitRun& run, Field field) {
    if (!run.fit.standardErrors) return std::nullopt;
    return (*run.fit.standardErrors).*field;
}

std::optional<RingErrors> ringError(const FitRun& run, std::size_t ring) {
    if (!run.fit.standardErrors) return std::nullopt;
    return run.fit.standardErrors->rings[ring];
}

/// The source of ring j for the console's table; "-" when the plan does not say.
std::string sourceText(const CurveStore& curves, std::int32_t j) {
    const RingSource* source = ringSourceOf(curves, j);
    const std::string text = source ? describeRingSource(*source) : std::string();
    return text.empty() ? "-" : text;
}


/// The semi-axes of ring j (from 1) of the run's curve.
SemiAxes ringSemiAxes(const FitRun& run, std::int32_t j) {
    if (run.model == FitModel::Ellipse) {
        const RingAxes axes = EllipseModel::semiAxes(nullptr, run.parameters.rings[static_cast<std::size_t>(j - 1)].data());
        return {axes.semiMajor, axes.semiMinor};
    }
    const OvalConstruction construction = buildOvalConstruction(run.fit.coefficients);
    const ArcRadii radii = arcRadii(construction, run.fit.coefficients.coef(coefficient::ae(j)));
    return semiAxes(construction, radii.rMin, radii.rMax);
}

/// The centre and the rotation in degrees of the run's curve.
struct Placement {
    double x = 0, y = 0, rotationDegrees = 0;
};
Placement placementOf(const FitRun& run) {
    if (run.model == FitModel::Ellipse) {
        const std::vector<double>& shared = run.parameters.shared;
        return {shared[placement::centreX], shared[placement::centreY],
                static_cast<double>(shared[placement::rotation] * constant::degreesPerRadian)};
    }
    const CoefficientVector& c = run.fit.coefficients;
    return {static_cast<double>(c.coef(coefficient::centreX)), static_cast<double>(c.coef(coefficient::centreY)),
            static_cast<double>(c.coef(coefficient::rotation) * constant::degreesPerRadian)};
}

/// A line of `values` printed with printf's `format`.
template <typename... Values>
void writeFormatted(OutputChannel& out, const char* format, Values... values) {
    char text[512];
    std::snprintf(text, sizeof text, format, values...);
    writeLine(out, text);
}

/// The ellipses' report: no layout of the dialogue holds an ellipse, so it has its own, in plain
/// words: what was fitted and how the fit ended, the placement, each ring's semi-axes, rms and
/// coverage, the start, the warnings, and every point with its deviation and class.
void writeEllipseReport(OutputChannel& report, const FitRun& run, const CurveStore& curves) {
    constexpr const char* number = "%.10g";
    writeLine(report, "kelmar " KELMAR_VERSION " - concentric ellipses fitted by least squares (kelmar fit --model ellipse)");
    endLine(report);
    writeLine(report, "input " + run.inputFileName);
    const double rms = static_cast<double>(run.quality.deviations.rms);
    writeFormatted(report, "%d rings, %d points; the deviation of a point is its true distance from its ellipse",
                   curves.curveCount(), curves.totalPointCount);
    writeLine(report, std::string(stopReasonName(run.fit.stopReason)) + " after " + std::to_string(run.fit.iterations) +
                          " iterations");
    writeFormatted(report, (std::string("rms ") + number).c_str(), rms);
    endLine(report);
    const Placement at = placementOf(run);
    writeFormatted(report, (std::string("centre ") + number + " " + number).c_str(), at.x, at.y);
    writeFormatted(report, (std::string("rotation ") + number + " degrees (positive turns the major axis clockwise)").c_str(),
                   at.rotationDegrees);
    writeLine(report, run.proper ? "the ellipses are proper" : "the ellipses are NOT proper: " + run.faultSentence);
    endLine(report);
    writeLine(report, "ring  points  semi-major  semi-minor  rms  coverage-degrees");
    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
        const std::size_t ring = static_cast<std::size_t>(j - 1);
        const SemiAxes axes = ringSemiAxes(run, j);
        writeFormatted(report, "%d  %d  %.10g  %.10g  %.10g  %.1f", j, curves.pointCount(j),
                       static_cast<double>(axes.semiMajor), static_cast<double>(axes.semiMinor),
                       static_cast<double>(run.quality.deviations.curveRms[ring]), run.quality.coverageDegrees[ring]);
    }
    endLine(report);
    const CurveParameters& start = run.modelStart;
    if (!start.shared.empty()) {
        writeFormatted(report, "start (from the points): centre %.10g %.10g, rotation %.10g degrees",
                       start.shared[placement::centreX], start.shared[placement::centreY],
                       start.shared[placement::rotation] * static_cast<double>(constant::degreesPerRadian));
        for (std::size_t ring = 0; ring < start.rings.size(); ++ring) {
            writeFormatted(report, "start ring %d: semi-axes %.10g %.10g", static_cast<int>(ring + 1),
                           start.rings[ring][EllipseModel::semiX], start.rings[ring][EllipseModel::semiY]);
        }
        endLine(report);
    }
    writeLine(report, "warnings " + std::to_string(run.quality.warnings.size()));
    for (const std::string& warning : run.quality.warnings) writeLine(report, "  " + warning);
    endLine(report);
    writeLine(report, "ring  point  x  y  deviation  class");
    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
        const std::vector<Real80>& deviations = run.quality.deviations.byCurve[static_cast<std::size_t>(j - 1)];
        for (std::int32_t i = 1; i <= curves.pointCount(j); ++i) {
            const Real80 deviation = deviations[static_cast<std::size_t>(i - 1)];
            const Layer layer = classifyDeviation(deviation, run.quality.deviations.rms).layer;
            const char* name = layer == Layer::WithinResidual ? "within the RMS"
                               : layer == Layer::OverResidual ? "beyond the RMS"
                                                              : "beyond twice the RMS";
            writeFormatted(report, "%d  %d  %.10g  %.10g  %.6g  %s", j, i, static_cast<double>(curves.x(j, i)),
                           static_cast<double>(curves.y(j, i)), static_cast<double>(deviation), name);
        }
    }
}

}  // namespace

void writeFitReport(OutputChannel& report, const FitRun& run, const CurveStore& curves) {
    if (run.model == FitModel::Ellipse) {
        writeEllipseReport(report, run, curves);
        return;
    }
    writeReportHeader(report, run.inputFileName, curves);
    writeText(report, "Coefficienti totali ");
    writeIntegerField(report, run.start.coefCount(), field::count);
    endLine(report);
    endLine(report);
    writeCoefficientListing(report, run.start, "Valore iniziale coefficiente ");
    endLine(report);
    for (const FitIteration& iteration : run.iterations) {
        writeReportSummary(report, iteration.coefficients, FitTotals{iteration.rms});
    }

    const Real80 rms = run.quality.deviations.rms;
    writeText(report, "Scarto quadratico medio ");
    writeRealField(report, rms, field::coefficient);
    endLine(report);
    endLine(report);
    writeCoefficientListing(report, run.fit.coefficients, "Valore finale coefficiente ");
    endLine(report);
    writeLine(report, "Valori finali ovale");
    writeReportSummary(report, run.fit.coefficients, FitTotals{rms});
    const auto& byCurve = run.quality.deviations.byCurve;
    writePointsListing(
        report, curves,
        [&byCurve](std::int32_t j, std::int32_t i) {
            return byCurve[static_cast<std::size_t>(j - 1)][static_cast<std::size_t>(i - 1)];
        },
        rms, [](const DrawnEntity&) {});
    if (run.model == FitModel::FourCentre) {
        // After the dialogue's layout, which a reader of it takes as it is.
        endLine(report);
        writeLine(report, "Four-centre oval (kelmar fit --model four-centre), written as an eight-centre construction in "
                          "its limiting position: D on B, DC = |C1 B1|.");
        writeLine(report, std::string(limitingOcReason) + ".");
        writeLine(report, run.proper ? "It is a proper four-centre construction."
                                     : "It is NOT a proper four-centre construction: " + run.faultSentence + ".");
    }
}

void drawFit(const FitRun& run, const CurveStore& curves, const DrawingSink& draw) {
    const Real80 rms = run.quality.deviations.rms;
    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
        const std::vector<Real80>& deviations = run.quality.deviations.byCurve[static_cast<std::size_t>(j - 1)];
        for (std::int32_t i = 1; i <= curves.pointCount(j); ++i) {
            const Layer layer = classifyDeviation(deviations[static_cast<std::size_t>(i - 1)], rms).layer;
            draw(DrawnPoint{layer, {curves.x(j, i), curves.y(j, i)}});
        }
    }
    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
        if (run.model == FitModel::Ellipse) {
            drawEllipseRing(run.parameters, static_cast<std::size_t>(j - 1), j == 1, draw);
        } else {
            drawOvalCurve(run.fit.coefficients, j, j == 1, draw);
        }
    }
}

std::vector<DrawnEntity> fitDrawing(const FitRun& run, const CurveStore& curves) {
    std::vector<DrawnEntity> entities;
    drawFit(run, curves, [&entities](const DrawnEntity& entity) { entities.push_back(entity); });
    return entities;
}

std::string iterationLine(const FitIteration& iteration) {
    char text[96];
    std::snprintf(text, sizeof text, "iteration %3d  rms %.9g%s", iteration.number, iteration.rms,
                  iteration.accepted ? "" : "  (step rejected)");
    return text;
}

void writeFitSummary(OutputChannel& console, const FitRun& run, const CurveStore& curves,
                     const std::vector<std::string>& filesWritten) {
    const double rms = static_cast<double>(run.quality.deviations.rms);
    const int plainDecimals = decimalsFor(rms, digitsBelowRms);
    std::int64_t points = 0;
    for (const Curve& curve : curves.curves) points += static_cast<std::int64_t>(curve.x.size());

    endLine(console);
    const std::int32_t n = run.fit.iterations;
    writeLine(console, n == 0 && run.fit.stopReason == StopReason::Converged
                           ? std::string("converged at the starting values: no step lowers the deviations")
                           : std::string(stopReasonName(run.fit.stopReason)) + " after " + std::to_string(n) +
                                 (n == 1 ? " iteration (" : " iterations (") + std::to_string(run.fit.evaluations) +
                                 " evaluations of the deviations)");
    writeLine(console, "rms " + fixed(rms, plainDecimals) + " over " + std::to_string(points) +
                           (points == 1 ? " point in " : " points in ") +
                           std::to_string(curves.curveCount()) + (curves.curveCount() == 1 ? " ring" : " rings"));
    endLine(console);

    constexpr std::size_t axisWidth = 26;
    constexpr std::size_t rmsWidth = 12;
    // A plan without sources keeps the table it always had.
    const bool withSources = ringSourceOf(curves, 1) != nullptr;
    writeLine(console, "ring  points  " + padRight("semi-major", axisWidth) + padRight("semi-minor", axisWidth) +
                           (withSources ? padRight("rms", rmsWidth) + "source" : std::string("rms")));
    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
        const std::size_t ring = static_cast<std::size_t>(j - 1);
        const SemiAxes axes = ringSemiAxes(run, j);
        const std::optional<RingErrors> e = ringError(run, ring);
        char head[32];
        std::snprintf(head, sizeof head, "%4d  %6d  ", j, curves.pointCount(j));
        const std::string rmsText =
            curves.pointCount(j) == 0 ? std::string("-")
                                      : fixed(static_cast<double>(run.quality.deviations.curveRms[ring]), plainDecimals);
        writeLine(console, head +
                               padRight(withError(static_cast<double>(axes.semiMajor),
                                                  e ? std::optional(e->semiMajor) : std::nullopt, plainDecimals),
                                        axisWidth) +
                               padRight(withError(static_cast<double>(axes.semiMinor),
                                                  e ? std::optional(e->semiMinor) : std::nullopt, plainDecimals),
                                        axisWidth) +
                               (withSources ? padRight(rmsText, rmsWidth) + sourceText(curves, j) : rmsText));
    }
    endLine(console);
    const Placement at = placementOf(run);
    writeLine(console, "centre (" + withError(at.x, sharedError(run, &StandardErrors::centreX), plainDecimals) + ", " +
                           withError(at.y, sharedError(run, &StandardErrors::centreY), plainDecimals) + ")");
    writeLine(console, "rotation " +
                           withError(at.rotationDegrees, sharedError(run, &StandardErrors::rotationDegrees), 3) +
                           " degrees (positive turns the major axis clockwise)");
    if (run.model == FitModel::EightCentre) {
        const OvalConstruction construction = buildOvalConstruction(run.fit.coefficients);
        writeLine(console,
                  "OA " + withError(static_cast<double>(construction.oa), sharedError(run, &StandardErrors::oa), plainDecimals) +
                      "   OB " + withError(static_cast<double>(construction.ob), sharedError(run, &StandardErrors::ob), plainDecimals) +
                      "   OC " + withError(static_cast<double>(construction.oc), sharedError(run, &StandardErrors::oc), plainDecimals) +
                      "   DC " + withError(static_cast<double>(construction.dc), sharedError(run, &StandardErrors::dc), plainDecimals));
        writeLine(console, run.proper ? "the oval is a proper eight-centre construction"
                                      : "the oval is NOT a proper construction: " + run.faultSentence);
    } else if (run.model == FitModel::FourCentre) {
        const OvalConstruction construction = buildOvalConstruction(run.fit.coefficients);
        writeLine(console, "OA " + withError(static_cast<double>(construction.oa), sharedError(run, &StandardErrors::oa), plainDecimals) +
                               "   OB " + withError(static_cast<double>(construction.ob), sharedError(run, &StandardErrors::ob), plainDecimals) +
                               "   (the end radius of each ring is its AE)");
        writeLine(console, run.proper ? "the oval is a proper four-centre construction"
                                      : "the oval is NOT a proper four-centre construction: " + run.faultSentence);
        writeLine(console, "kelmar.txt, kelmar.coe and kelmar.dxf hold it as an eight-centre construction with D on B "
                           "and OC " + fixed(static_cast<double>(construction.oc), plainDecimals) + ": " + limitingOcReason);
    } else {
        writeLine(console, run.proper ? "the ellipses are proper" : "the ellipses are NOT proper: " + run.faultSentence);
    }
    if (run.settings.robust) {
        // The scale in significant digits: fixed decimals would show a small one as 0.
        char scale[32];
        std::snprintf(scale, sizeof scale, "%.6g", run.fit.robustScale);
        writeLine(console, (run.fit.robustScale > 0 ? "robust loss: deviations beyond " + std::string(scale) +
                                                          " count less and less; "
                                                    : std::string("robust loss: the points lie on the oval, so none "
                                                                  "counts less; ")) + std::to_string(run.fit.downWeighted.size()) +
                               (run.fit.downWeighted.size() == 1 ? " point" : " points") + " down-weighted");
        for (const DownWeightedPoint& p : run.fit.downWeighted) {
            writeLine(console, "  ring " + std::to_string(p.ring) + " point " + std::to_string(p.point) + " (" +
                                   fixed(static_cast<double>(curves.x(p.ring, p.point)), plainDecimals) + ", " +
                                   fixed(static_cast<double>(curves.y(p.ring, p.point)), plainDecimals) +
                                   "): deviation " + fixed(static_cast<double>(p.deviation), plainDecimals) +
                                   ", weight " + fixed(p.weight, 3));
        }
    }
    std::string written = "written:";
    for (std::size_t k = 0; k < filesWritten.size(); ++k) written += (k == 0 ? " " : ", ") + filesWritten[k];
    writeLine(console, written);
}
