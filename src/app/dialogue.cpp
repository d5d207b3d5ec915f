#include "app/dialogue.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "app/input_problems.hpp"
#include "app/run_state.hpp"
#include "base/output_set.hpp"
#include "base/run_error.hpp"
#include "base/text_io.hpp"
#include "drawing/dxf_encoder.hpp"
#include "drawing/oval_drawing.hpp"
#include "dialogue/optimiser.hpp"
#include "input/coefficient_file.hpp"
#include "input/input_kind.hpp"
#include "model/oval_construction.hpp"
#include "model/proportion.hpp"
#include "report/oval_summary.hpp"
#include "report/points_listing.hpp"
#include "report/run_report.hpp"

namespace {

constexpr const char* reportFileName = "kelmar.txt";
constexpr const char* drawingFileName = "kelmar.dxf";

/// The three files a run replaces, and what it writes into each.
struct OutputFile {
    const char* name;
    const char* holds;
};
constexpr std::array<OutputFile, 3> outputFiles = {{{reportFileName, "its report"},
                                                    {coefficientFileName, "its coefficient file"},
                                                    {drawingFileName, "its drawing"}}};

/// Ends the run before anything is written when the input `name` is one of the files the run
/// replaces: it would be read, then lost. `source` says where the name came from ("" when it
/// was typed). Only the coefficient file may be loaded from kelmar.coe itself, since it is read
/// whole before the new one is written from the same values.
void refuseOutputAsInput(const std::string& name, const std::string& source, bool coefficientInput) {
    for (const OutputFile& output : outputFiles) {
        if (coefficientInput && std::string_view(output.name) == coefficientFileName) continue;
        if (!isSameFile(name, output.name)) continue;
        failInput(exitStatus::dataError, "the input '" + name + "'" + source + " is the same file as " + output.name +
                                             ", which this run replaces with " + output.holds +
                                             ", so its content would be lost: rename or copy it, and give the "
                                             "new name");
    }
}

void readPoints(RunState& run, const std::string& source) {
    refuseOutputAsInput(run.inputFileName, source, false);
    setActivity("reading the points of '" + run.inputFileName + "'");
    if (std::optional<InputProblem> problem = readPointsFile(run.inputFileName, run.curves)) failOnProblem(*problem);
}

/// A coefficient file names the points of its run on line 1: they are read from there, and
/// the run goes on from the loaded values without asking. `coefficientFile` is taken by value on
/// purpose: the caller passes run.inputFileName, which the load replaces.
void loadRunFromCoefficientFile(RunState& run, const std::string coefficientFile) {
    refuseOutputAsInput(coefficientFile, "", true);
    const LoadedCoefficients loaded = valueOrFail(loadCoefficientFile(coefficientFile));
    run.inputFileName = loaded.inputFileName;
    run.coefFileLoaded = true;
    if (run.inputFileName.empty()) {
        failInput(exitStatus::usage,
                  "line 1 of '" + coefficientFile + "' is empty: it must name the file that holds the points");
    }
    if (inputKindOf(run.inputFileName) == InputKind::CoefficientFile) {
        const bool itself = run.inputFileName == coefficientFile || isSameFile(run.inputFileName, coefficientFile);
        failInput(exitStatus::dataError, "line 1 of '" + coefficientFile + "' names '" + run.inputFileName + "', " +
                                             (itself ? "the coefficient file itself" : "another coefficient file") +
                                             ": it must name the file that holds the points (" +
                                             std::string(pointFormats) + ")");
    }
    readPoints(run, ", named on line 1 of '" + coefficientFile + "',");
    run.coefficients =
        valueOrFail(coefficientsForCurves(loaded, coefficientFile, run.inputFileName, run.curves.curveCount()));
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

/// The questions of one run, and the first of them that standard input left without an answer.
struct Questions {
    InputChannel& answers;
    std::int64_t asked = 0;
    std::int64_t firstUnanswered = 0;  // counted from 1; 0 while every question had its answer
    std::string firstUnansweredText;
};

Real80 askReal(RunState& run, Questions& questions, std::string_view question) {
    writeText(run.console, question);
    flushChannel(run.console);
    questions.asked += 1;
    Real80 value = 0;
    // The end of standard input answers 0.
    if (!readRealToken(questions.answers, value) && questions.firstUnanswered == 0) {
        questions.firstUnanswered = questions.asked;
        questions.firstUnansweredText = question.substr(0, question.find_last_not_of(' ') + 1);
    }
    skipRestOfLine(questions.answers);
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

    setActivity("reading the answers");
    Questions questions{answers, 0, 0, ""};
    CoefficientVector& c = run.coefficients;
    c.values.assign(static_cast<std::size_t>(coefCount), 0);
    c.coef(coefficient::centreX) = askReal(run, questions, "Coordinata approssimata X centro   ");
    c.coef(coefficient::centreY) = askReal(run, questions, "Coordinata approssimata Y centro   ");
    c.coef(coefficient::rotation) = askReal(run, questions, "Rotazione approssimata in gradi    ");
    c.coef(coefficient::oa) = askReal(run, questions, "Distanza approssimata OA           ");
    c.coef(coefficient::ob) = askReal(run, questions, "Distanza approssimata OB           ");
    c.coef(coefficient::oc) = askReal(run, questions, "Distanza approssimata OC           ");
    c.coef(coefficient::dc) = askReal(run, questions, "Distanza approssimata DC           ");
    for (std::int32_t j = 1; j <= run.curves.curveCount(); ++j) {
        const std::string question =
            "Valore approssimato del raggio AE curva " + formatIntegerField(j, field::inputCurveNumber) + " ";
        c.coef(coefficient::ae(j)) = askReal(run, questions, question);
    }

    if (questions.firstUnanswered != 0) {
        const std::int64_t after = questions.asked - questions.firstUnanswered;
        notice("standard input ended before the answer to '" + questions.firstUnansweredText + "' (question " +
               std::to_string(questions.firstUnanswered) + " of " + std::to_string(questions.asked) + "): " +
               (after == 0 ? std::string("it was")
                           : "it and the " + std::to_string(after) + (after == 1 ? " question" : " questions") +
                                 " after it were") +
               " taken as 0, and the fit starts from those values");
    }
}

/// What to try when a fit ends badly: the two commands that find a start from the points alone.
std::string betterStartHint(const std::string& pointsFile) {
    return "start again from other values: 'kelmar guess " + pointsFile +
           "' prints starting values for these questions, and 'kelmar fit " + pointsFile +
           "' fits the points without them";
}

/// Warns when a length of the fitted oval, or its centre's distance from the middle of the
/// points, is out of all proportion to the points' size.
void warnWhenOutOfProportion(const RunState& run, const CoefficientVector& c) {
    const OutOfProportion found = outOfProportion(run.curves, c);
    if (found.count == 0) return;
    warn(outOfProportionSentence(found) + ": the fit ran away from its start; " + betterStartHint(run.inputFileName));
}

/// Says how the fit ended, and warns when its oval is no proper construction or has run away.
void reportFitEnding(const RunState& run, const SearchEnd& end) {
    notice(describeSearchEnd(end, checkpointInterval));
    const OvalConstruction construction = buildOvalConstruction(run.coefficients);
    const ConstructionFault fault = constructionFault(construction);
    if (fault != ConstructionFault::None) {
        warn("the fitted oval is not a proper eight-centre construction: " +
             describeConstructionFault(construction, fault) +
             "; the report and the drawing show it as fitted, but its arcs do not make the oval; " +
             betterStartHint(run.inputFileName));
    }
    warnWhenOutOfProportion(run, run.coefficients);
}

/// More coefficients than points: many ovals pass through the points, and the fit ends on one of them.
void noteWhenFewerPointsThanCoefficients(const RunState& run) {
    const std::int32_t coefCount = run.coefficients.coefCount();
    if (run.curves.totalPointCount >= coefCount) return;
    notice("'" + run.inputFileName + "' holds " + std::to_string(run.curves.totalPointCount) +
           (run.curves.totalPointCount == 1 ? " point" : " points") + " for " + std::to_string(coefCount) +
           " coefficients: more than one oval passes through them, so the fit ends on one of many; digitise at "
           "least as many points as there are coefficients for a determined oval");
}

/// Ends the run on a set that could not be written: a busy folder is refused, a failed write is a
/// run-time error with the system's code.
[[noreturn]] void failOutputs(OutputSet& files, const OutputFailure& failure) {
    abandonOutputSet(files);
    if (failure.status == exitStatus::folderBusy) failInput(failure.status, failure.sentence);
    failRun(failure.status, KELMAR_HERE, failure.sentence);
}

/// Checks, before anything is written, that no folder stands where one of the three files goes.
void checkOutputTargets(OutputSet& files) {
    for (const OutputFile& output : outputFiles) {
        std::error_code error;
        if (!std::filesystem::is_directory(output.name, error)) continue;
        failOutputs(files, {EISDIR, std::string("cannot create '") + output.name + "': " + std::strerror(EISDIR) +
                                        "; nothing was replaced: " + untouchedFilesClause(files)});
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
        readPoints(run, "");
    }
    warnWhenOriginOutside(run);
    countPoints(run);

    if (!run.coefFileLoaded) askCoefficients(run, answers);

    // The files are written only now that the run has all its answers: a run that ends at a
    // question leaves the three files of the previous run together and untouched. The folder is
    // held until the run ends, so that another run cannot mix its files with these.
    setActivity("writing the report");
    OutputSet files = startOutputSet("", {reportFileName, coefficientFileName, drawingFileName});
    if (std::optional<OutputFailure> busy = lockOutputFolder(files, folderLockWaitSeconds)) failOutputs(files, *busy);
    checkOutputTargets(files);

    // kelmar.coe is in place before the fit starts, so that a long fit can be interrupted and
    // started again from it; kelmar.txt and kelmar.dxf appear whole when the run has finished.
    setActivity("writing the coefficient file");
    OutputChannel coefficientText = memoryOutput();
    writeCoefficientText(coefficientText, run.inputFileName, run.coefficients);
    std::optional<OutputFailure> coefficientFailure =
        addOutputText(files, coefficientFileName, coefficientText.captured);
    if (!coefficientFailure) coefficientFailure = commitOutputSet(files);
    if (coefficientFailure) failOutputs(files, *coefficientFailure);

    // The report's opening blocks need nothing the questions gave, so they are the same bytes as
    // if written first.
    setActivity("writing the report");
    if (std::optional<OutputFailure> failure = openOutputChannel(files, reportFileName, run.report)) {
        failOutputs(files, *failure);
    }
    writeReportHeader(run.report, run.inputFileName, run.curves);
    if (!run.coefFileLoaded) {
        writeText(run.report, "Coefficienti totali ");
        writeIntegerField(run.report, run.coefficients.coefCount(), field::count);
        endLine(run.report);
    }
    endLine(run.report);
    writeCoefficientListing(run.report, run.coefficients, "Valore iniziale coefficiente ");
    endLine(run.report);

    CoefficientVector& c = run.coefficients;
    prepareForFit(c);
    noteWhenFewerPointsThanCoefficients(run);

    setActivity("fitting the oval to the points of '" + run.inputFileName + "'");
    auto reportProgress = [&run](const CoefficientVector& coefficients, const FitTotals& totals) {
        writeConsoleSummary(run.console, coefficients, totals);
        writeReportSummary(run.report, coefficients, totals);
    };
    // Starting values whose construction collapses, or a search that walks into one, end the run
    // at the vector that collapsed.
    const SearchEnd end =
        valueOrFail(optimiseCoefficients(c, run.totals, run.curves, checkpointInterval, reportProgress, evaluation));

    setActivity("writing the results");
    writeText(run.console, "Scarto ");
    writeRealField(run.console, run.totals.residual, field::coefficient);
    endLine(run.console);
    endLine(run.console);
    setActivity("checking the fitted oval");
    reportFitEnding(run, end);
    setActivity("writing the results");

    writeText(run.report, "Scarto quadratico medio ");
    writeRealField(run.report, run.totals.residual, field::coefficient);
    endLine(run.report);
    endLine(run.report);
    writeCoefficientListing(run.report, c, "Valore finale coefficiente ");
    endLine(run.report);
    writeLine(run.report, "Valori finali ovale");

    if (std::optional<OutputFailure> failure = openOutputChannel(files, drawingFileName, run.drawing)) {
        failOutputs(files, *failure);
    }
    openDxfEntities(run.drawing);
    writeReportSummary(run.report, c, run.totals);
    const DrawingSink toDrawing = [&run](const DrawnEntity& entity) { writeDxfEntity(run.drawing, entity); };
    writePointsListing(run.report, run.curves, c, run.totals.residual, toDrawing);
    closeChannel(run.report);

    for (std::int32_t j = 1; j <= run.curves.curveCount(); ++j) drawOvalCurve(c, j, j == 1, toDrawing);
    closeDxfEntities(run.drawing);
    closeChannel(run.drawing);
    if (std::optional<OutputFailure> failure = commitOutputSet(files)) failOutputs(files, *failure);
    flushChannel(run.console);
    return 0;
}
