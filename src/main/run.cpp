#include "main/run.hpp"

#include <cstdint>
#include <limits>
#include <string>

#include "dxf/dxf_writer.hpp"
#include "dxf/oval_drawing.hpp"
#include "fit/optimiser.hpp"
#include "input/dxf_reader.hpp"
#include "input/text_reader.hpp"
#include "main/coefficient_file.hpp"
#include "main/run_error.hpp"
#include "main/run_state.hpp"
#include "main/text_io.hpp"
#include "report/oval_summary.hpp"
#include "report/points_listing.hpp"

namespace {

constexpr const char* bannerLine = "Programma per l'interpolazione di un ovale a 8 centri";
constexpr const char* creditLine = "kelmar 1.0 - ovale a otto centri ai minimi quadrati, precisione estesa";
constexpr const char* reportFileName = "kelmar.txt";
constexpr const char* drawingFileName = "kelmar.dxf";

// pi as the extended real nearest to it (significand C90FDAA22168C235).
constexpr Real80 pi = 0xC.90FDAA22168C235p-2L;
static_assert(pi == 3.14159265358979323851L);
// Added to every coefficient before the fit: each step starts from the coefficient's own
// value, so a coefficient of exactly 0 would never move.
constexpr Real80 startOffset = 1.111e-6L;
constexpr std::int32_t checkpointInterval = 500;

/// The reader is chosen by the last character of the name, compared case-sensitively.
enum class InputKind { CoefficientFile, TextPoints, DxfDrawing };

InputKind inputKindOf(const std::string& name) {
    switch (name.back()) {
        case 'e': return InputKind::CoefficientFile;
        case 't': return InputKind::TextPoints;
        default: return InputKind::DxfDrawing;
    }
}

void writeLine(OutputChannel& out, std::string_view text) {
    writeText(out, text);
    endLine(out);
}

void readPoints(RunState& run) {
    setActivity("reading the points of '" + run.inputFileName + "'");
    if (inputKindOf(run.inputFileName) == InputKind::TextPoints) {
        readTextPoints(run.inputFileName, run.curves);
    } else {
        readDxfPolylines(run.inputFileName, run.curves);
    }
}

/// A coefficient file names the points of its run on line 1: they are read from there, and
/// the run goes on from the loaded values without asking.
void loadRunFromCoefficientFile(RunState& run, const std::string coefficientFile) {
    const LoadedCoefficients loaded = loadCoefficientFile(coefficientFile);
    run.inputFileName = loaded.inputFileName;
    run.coefFileLoaded = true;
    run.loadedCoefCount = loaded.declaredCount;
    if (run.inputFileName.empty()) {
        failInput(exitStatus::usage,
                  "line 1 of '" + coefficientFile + "' is empty: it must name the file that holds the points");
    }
    if (inputKindOf(run.inputFileName) == InputKind::CoefficientFile) {
        failInput(exitStatus::dataError, "line 1 of '" + coefficientFile + "' names '" + run.inputFileName +
                                             "', another coefficient file: it must name the file that holds the "
                                             "points (a DXF drawing, or a text list whose name ends in t)");
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

void writeReportHeader(RunState& run) {
    OutputChannel& report = run.report;
    writeLine(report, bannerLine);
    writeLine(report, creditLine);
    endLine(report);
    writeText(report, "File ingresso ");
    writeLine(report, run.inputFileName);
    endLine(report);
    writeText(report, "Numero curve lette ");
    writeIntegerField(report, run.curves.curveCount(), 0);
    endLine(report);
    for (std::int32_t j = 1; j <= run.curves.curveCount(); ++j) {
        writeText(report, "Numero punti curva ");
        writeIntegerField(report, j, 0);
        writeText(report, " ");
        writeIntegerField(report, run.curves.pointCount(j), 5);
        endLine(report);
    }
    endLine(report);
    for (std::int32_t j = 1; j <= run.curves.curveCount(); ++j) {
        writeText(report, "Curva ");
        writeIntegerField(report, j, 2);
        endLine(report);
        for (std::int32_t i = 1; i <= run.curves.pointCount(j); ++i) {
            writeIntegerField(report, i, 4);
            writeText(report, "  X ");
            writeRealField(report, run.curves.x(j, i), 12, 4);
            writeText(report, "  Y ");
            writeRealField(report, run.curves.y(j, i), 12, 4);
            endLine(report);
        }
        endLine(report);
    }
    endLine(report);
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
    const std::int32_t coefCount = run.curves.curveCount() + 7;
    writeText(run.console, "Coefficienti totali ");
    writeIntegerField(run.console, coefCount, 8);
    endLine(run.console);
    writeText(run.console, "Curve lette da file ");
    writeIntegerField(run.console, run.curves.curveCount(), 8);
    endLine(run.console);
    writeText(run.report, "Coefficienti totali ");
    writeIntegerField(run.report, coefCount, 8);
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
            "Valore approssimato del raggio AE curva " + formatIntegerField(j, 2) + " ";
        c.coef(coefficient::ae(j)) = askReal(run, answers, question);
    }
}

void writeCoefficientListing(OutputChannel& report, const CoefficientVector& coefficients, std::string_view label) {
    for (std::int32_t k = 1; k <= coefficients.coefCount(); ++k) {
        writeText(report, label);
        writeIntegerField(report, k, 0);
        writeText(report, " = ");
        writeRealField(report, coefficients.coef(k), 14, 9);
        endLine(report);
    }
}

}  // namespace

int runProgram(ResidualEvaluation evaluation) {
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
                  "no input file was named: type the name of a DXF drawing, a point list ending in t, or a coefficient "
                  "file ending in e at the first question");
    }

    if (inputKindOf(run.inputFileName) == InputKind::CoefficientFile) {
        loadRunFromCoefficientFile(run, run.inputFileName);
    } else {
        readPoints(run);
    }
    warnWhenOriginOutside(run);

    setActivity("writing the report");
    run.report = createForWriting(reportFileName);
    writeReportHeader(run);
    countPoints(run);

    if (!run.coefFileLoaded) askCoefficients(run, answers);

    endLine(run.report);
    writeCoefficientListing(run.report, run.coefficients, "Valore iniziale coefficiente ");
    setActivity("writing the coefficient file");
    writeCoefficientFile(run.inputFileName, run.coefficients);
    endLine(run.report);

    CoefficientVector& c = run.coefficients;
    c.coef(coefficient::rotation) = c.coef(coefficient::rotation) * pi / 180;
    for (std::int32_t k = 1; k <= c.coefCount(); ++k) c.coef(k) = c.coef(k) + startOffset;

    setActivity("fitting the oval to the points of '" + run.inputFileName + "'");
    optimiseCoefficients(run, checkpointInterval, evaluation);

    setActivity("writing the results");
    writeText(run.console, "Scarto ");
    writeRealField(run.console, run.totals.residual, 14, 9);
    endLine(run.console);
    endLine(run.console);

    writeText(run.report, "Scarto quadratico medio ");
    writeRealField(run.report, run.totals.residual, 14, 9);
    endLine(run.report);
    endLine(run.report);
    writeCoefficientListing(run.report, c, "Valore finale coefficiente ");
    endLine(run.report);
    writeLine(run.report, "Valori finali ovale");

    run.drawing = createForWriting(drawingFileName);
    openDxfEntities(run.drawing);
    writeReportSummary(run.report, c, run.totals);
    writePointsListing(run);
    closeChannel(run.report);

    for (std::int32_t j = 1; j <= run.curves.curveCount(); ++j) drawOvalCurve(run, j, j == 1);
    closeDxfEntities(run.drawing);
    closeChannel(run.drawing);
    flushChannel(run.console);
    return 0;
}
