#include "app/dialogue.hpp"

#include <cstdint>
#include <limits>
#include <string>

#include "app/run_state.hpp"
#include "base/run_error.hpp"
#include "base/text_io.hpp"
#include "drawing/dxf_encoder.hpp"
#include "drawing/oval_drawing.hpp"
#include "fit/optimiser.hpp"
#include "input/coefficient_file.hpp"
#include "input/input_kind.hpp"
#include "report/oval_summary.hpp"
#include "report/points_listing.hpp"
#include "report/run_report.hpp"

namespace {

constexpr const char* reportFileName = "kelmar.txt";
constexpr const char* drawingFileName = "kelmar.dxf";

void readPoints(RunState& run) {
    setActivity("reading the points of '" + run.inputFileName + "'");
    readPointsFile(run.inputFileName, run.curves);
}

/// A coefficient file names the points of its run on line 1: they are read from there, and
/// the run goes on from the loaded values without asking. `coefficientFile` is taken by value on
/// purpose: the caller passes run.inputFileName, which the load replaces.
void loadRunFromCoefficientFile(RunState& run, const std::string coefficientFile) {
    const LoadedCoefficients loaded = loadCoefficientFile(coefficientFile);
    run.inputFileName = loaded.inputFileName;
    run.coefFileLoaded = true;
    if (run.inputFileName.empty()) {
        failInput(exitStatus::usage,
                  "line 1 of '" + coefficientFile + "' is empty: it must name the file that holds the points");
    }
    if (inputKindOf(run.inputFileName) == InputKind::CoefficientFile) {
        failInput(exitStatus::dataError, "line 1 of '" + coefficientFile + "' names '" + run.inputFileName +
                                             "', another coefficient file: it must name the file that holds the points (" +
                                             std::string(pointFormats) + ")");
    }
    readPoints(run);
    run.coefficients = coefficientsForCurves(loaded, coefficientFile, run.inputFileName, run.curves.curveCount());
}

/// The arc of a point is chosen partly by the signs of its coordinates, which only works
/// when the drawing's origin lies inside the oval.
void warnWhenOriginOutside(const RunState& run) {
    bool left = false, right = false, below = false, above = false;
    for (const Curve& curve : run.curves.curves) {
        for (std::size_t i = 0; i < curve.x.size(); ++i) {
            left = left || curve.x[i] < 0;
            right = right || curve.x[i] > 0;
            below = below || curve.y[i] < 0;
            above = above || curve.y[i] > 0;
        }
    }
    if (!(left && right && below && above)) {
        warn("the points of '" + run.inputFileName +
             "' do not surround the origin of their drawing; the arc of each point is chosen partly by the signs of "
             "its coordinates, so move the drawing until the oval's centre lies near (0, 0) for a sound fit");
    }
}

void countPoints(RunState& run) {
    std::int64_t total = 0;
    for (std::int32_t j = 1; j <= run.curves.curveCount(); ++j) total += run.curves.pointCount(j);
    if (total > std::numeric_limits<std::int32_t>::max()) {
        failInput(exitStatus::dataError, "'" + run.inputFileName + "' holds " + std::to_string(total) +
                                             " points, more than the program can count");
    }
    run.curves.totalPointCount = static_cast<std::int32_t>(total);
}

Real80 askReal(RunState& run, InputChannel& answers, std::string_view question) {
    writeText(run.console, question);
    flushChannel(run.console);
    Real80 value = 0;
    readRealToken(answers, value);  // the end of standard input answers 0
    skipRestOfLine(answers);
    return value;
}

void askCoefficients(RunState& run, InputChannel& answers) {
    const std::int32_t coefCount = run.curves.curveCount() + coefficient::sharedCount;
    writeText(run.console, "Coefficienti totali ");
    writeIntegerField(run.console, coefCount, field::count);
    endLine(run.console);
    writeText(run.console, "Curve lette da file ");
    writeIntegerField(run.console, run.curves.curveCount(), field::count);
    endLine(run.console);
    writeText(run.report, "Coefficienti totali ");
    writeIntegerField(run.report, coefCount, field::count);
    endLine(run.report);

    setActivity("reading the answers");
    CoefficientVector& c = run.coefficients;
    c.values.assign(static_cast<std::size_t>(coefCount), 0);
    c.coef(coefficient::centreX) = askReal(run, answers, "Coordinata approssimata X centro   ");
    c.coef(coefficient::centreY) = askReal(run, answers, "Coordinata approssimata Y centro   ");
    c.coef(coefficient::rotation) = askReal(run, answers, "Rotazione approssimata in gradi    ");
    c.coef(coefficient::oa) = askReal(run, answers, "Distanza approssimata OA           ");
    c.coef(coefficient::ob) = askReal(run, answers, "Distanza approssimata OB           ");
    c.coef(coefficient::oc) = askReal(run, answers, "Distanza approssimata OC           ");
    c.coef(coefficient::dc) = askReal(run, answers, "Distanza approssimata DC           ");
    for (std::int32_t j = 1; j <= run.curves.curveCount(); ++j) {
        const std::string question =
            "Valore approssimato del raggio AE curva " + formatIntegerField(j, field::inputCurveNumber) + " ";
        c.coef(coefficient::ae(j)) = askReal(run, answers, question);
    }
}

}  // namespace

int runDialogue(ResidualEvaluation evaluation) {
    RunState run;
    run.console = consoleOutput();
    InputChannel answers = consoleInput();

    writeLine(run.console, bannerLine);
    writeLine(run.console, creditLine);
    endLine(run.console);

    writeText(run.console, "Immetti nome file ingresso (spline DXF) ");
    flushChannel(run.console);
    run.inputFileName = readWholeLine(answers);
    if (run.inputFileName.empty()) {
        failInput(exitStatus::usage,
                  "no input file was named: type the name of " + std::string(inputFormats) + " at the first question");
    }

    if (inputKindOf(run.inputFileName) == InputKind::CoefficientFile) {
        loadRunFromCoefficientFile(run, run.inputFileName);
    } else {
        readPoints(run);
    }
    warnWhenOriginOutside(run);

    setActivity("writing the report");
    run.report = createForWriting(reportFileName);
    writeReportHeader(run.report, run.inputFileName, run.curves);
    countPoints(run);

    if (!run.coefFileLoaded) askCoefficients(run, answers);

    endLine(run.report);
    writeCoefficientListing(run.report, run.coefficients, "Valore iniziale coefficiente ");
    setActivity("writing the coefficient file");
    writeCoefficientFile(run.inputFileName, run.coefficients);
    endLine(run.report);

    CoefficientVector& c = run.coefficients;
    prepareForFit(c);

    setActivity("fitting the oval to the points of '" + run.inputFileName + "'");
    auto reportProgress = [&run](const CoefficientVector& coefficients, const FitTotals& totals) {
        writeConsoleSummary(run.console, coefficients, totals);
        writeReportSummary(run.report, coefficients, totals);
    };
    optimiseCoefficients(c, run.totals, run.curves, checkpointInterval, reportProgress, evaluation);

    setActivity("writing the results");
    writeText(run.console, "Scarto ");
    writeRealField(run.console, run.totals.residual, field::coefficient);
    endLine(run.console);
    endLine(run.console);

    writeText(run.report, "Scarto quadratico medio ");
    writeRealField(run.report, run.totals.residual, field::coefficient);
    endLine(run.report);
    endLine(run.report);
    writeCoefficientListing(run.report, c, "Valore finale coefficiente ");
    endLine(run.report);
    writeLine(run.report, "Valori finali ovale");

    run.drawing = createForWriting(drawingFileName);
    openDxfEntities(run.drawing);
    writeReportSummary(run.report, c, run.totals);
    const DrawingSink toDrawing = [&run](const DrawnEntity& entity) { writeDxfEntity(run.drawing, entity); };
    writePointsListing(run.report, run.curves, c, run.totals.residual, toDrawing);
    closeChannel(run.report);

    for (std::int32_t j = 1; j <= run.curves.curveCount(); ++j) drawOvalCurve(c, j, j == 1, toDrawing);
    closeDxfEntities(run.drawing);
    closeChannel(run.drawing);
    flushChannel(run.console);
    return 0;
}
