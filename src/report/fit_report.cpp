#include "report/fit_report.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/constants.hpp"
#include "base/ring_source.hpp"
#include "drawing/oval_drawing.hpp"
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

}  // namespace

void writeFitReport(OutputChannel& report, const FitRun& run, const CurveStore& curves) {
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
    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) drawOvalCurve(run.fit.coefficients, j, j == 1, draw);
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
    const CoefficientVector& c = run.fit.coefficients;
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
    const OvalConstruction construction = buildOvalConstruction(c);
    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
        const std::size_t ring = static_cast<std::size_t>(j - 1);
        const ArcRadii radii = arcRadii(construction, c.coef(coefficient::ae(j)));
        const SemiAxes axes = semiAxes(construction, radii.rMin, radii.rMax);
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
    writeLine(console, "centre (" +
                           withError(static_cast<double>(c.coef(coefficient::centreX)), sharedError(run, &StandardErrors::centreX),
                                     plainDecimals) +
                           ", " +
                           withError(static_cast<double>(c.coef(coefficient::centreY)), sharedError(run, &StandardErrors::centreY),
                                     plainDecimals) +
                           ")");
    writeLine(console, "rotation " +
                           withError(static_cast<double>(c.coef(coefficient::rotation) * constant::degreesPerRadian),
                                     sharedError(run, &StandardErrors::rotationDegrees), 3) +
                           " degrees (positive turns the major axis clockwise)");
    writeLine(console,
              "OA " + withError(static_cast<double>(construction.oa), sharedError(run, &StandardErrors::oa), plainDecimals) +
                  "   OB " + withError(static_cast<double>(construction.ob), sharedError(run, &StandardErrors::ob), plainDecimals) +
                  "   OC " + withError(static_cast<double>(construction.oc), sharedError(run, &StandardErrors::oc), plainDecimals) +
                  "   DC " + withError(static_cast<double>(construction.dc), sharedError(run, &StandardErrors::dc), plainDecimals));
    writeLine(console, run.quality.fault == ConstructionFault::None
                           ? "the oval is a proper eight-centre construction"
                           : "the oval is NOT a proper construction: " + run.quality.faultDescription);
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
