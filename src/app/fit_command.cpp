#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "app/commands.hpp"
#include "app/start_file.hpp"
#include "base/constants.hpp"
#include "base/ring_source.hpp"
#include "base/run_error.hpp"
#include "base/text_io.hpp"
#include "drawing/dxf_encoder.hpp"
#include "drawing/svg_encoder.hpp"
#include "fit/fit_quality.hpp"
#include "fit/oval_fit.hpp"
#include "fit/starting_values.hpp"
#include "input/coefficient_file.hpp"
#include "app/plan_input.hpp"
#include "input/input_kind.hpp"
#include "model/oval_construction.hpp"
#include "report/fit_geopackage.hpp"
#include "report/fit_json.hpp"
#include "report/fit_report.hpp"

namespace {

constexpr const char* reportFileName = "kelmar.txt";
constexpr const char* drawingFileName = "kelmar.dxf";
constexpr const char* jsonFileName = "kelmar.json";
constexpr const char* pictureFileName = "kelmar.svg";
constexpr const char* geoPackageFileName = "kelmar.gpkg";
constexpr const char* startOrder = "X,Y,ROT,OA,OB,OC,DC,AE1[,AE2...]";
// Coordinates and starting values beyond this magnitude are refused: the fit computes in double
// precision, and squares of such values would overflow.
constexpr Real80 largestUsableValue = 1e100L;
// The dialogue picks a point's arc partly by the signs of its stored coordinates: beyond this
// rotation, or with the centre further from the origin than this share of the smallest ring's
// semi-minor axis, it fits worse than the points allow.
constexpr double dialogueRotationLimitDegrees = 5;
constexpr double dialogueCentreShareLimit = 0.03;
// A picture's ring label names the first ids of the ring's pieces and counts the others.
constexpr std::size_t idsNamedInPicture = 2;

/// The values of --start, in the dialogue's order of questions.
std::vector<Real80> parseStartValues(const std::string& text) {
    std::vector<Real80> values;
    for (std::size_t from = 0; from <= text.size();) {
        const std::size_t comma = std::min(text.find(',', from), text.size());
        std::string item = text.substr(from, comma - from);
        item.erase(0, item.find_first_not_of(' '));
        item.erase(item.find_last_not_of(' ') + 1);
        const std::string where = "value " + std::to_string(values.size() + 1) + " of --start, " + quotedToken(item) + ",";
        Real80 value = 0;
        const TokenProblem problem = parseRealToken(item, value);
        if (problem != TokenProblem::Valid) {
            failInput(exitStatus::usage, tokenProblemSentence(where, problem, false) + "; --start takes " + startOrder +
                                             ", or the name of a coefficient file such as kelmar.coe");
        }
        if (!(std::fabs(value) <= largestUsableValue)) {
            failInput(exitStatus::usage, where + " is too large: the fit takes values up to 1e100");
        }
        values.push_back(value);
        from = comma + 1;
    }
    const std::size_t least = coefficient::sharedCount + 1;
    if (values.size() < least) {
        failInput(exitStatus::usage, "--start gives " + std::to_string(values.size()) + " values, but it needs " +
                                         startOrder + ": at least " + std::to_string(least));
    }
    return values;
}

/// The starting coefficients of --start for `rings` rings: the rotation stays in degrees.
CoefficientVector startFromValues(const std::vector<Real80>& values, std::int32_t rings, const std::string& plan) {
    const std::size_t needed = static_cast<std::size_t>(coefficient::sharedCount + rings);
    if (values.size() != needed) {
        failInput(exitStatus::usage, "--start gives " + std::to_string(values.size()) + " values, but the " +
                                         std::to_string(rings) + (rings == 1 ? " ring" : " rings") + " of '" + plan +
                                         "' need " + std::to_string(needed) + ": " + startOrder +
                                         ", one AE per ring");
    }
    CoefficientVector start;
    start.values.assign(needed, 0);
    start.coef(coefficient::centreX) = values[0];
    start.coef(coefficient::centreY) = values[1];
    start.coef(coefficient::rotation) = values[2];
    start.coef(coefficient::oa) = values[3];
    start.coef(coefficient::ob) = values[4];
    start.coef(coefficient::oc) = values[5];
    start.coef(coefficient::dc) = values[6];
    for (std::int32_t j = 1; j <= rings; ++j) start.coef(coefficient::ae(j)) = values[6 + static_cast<std::size_t>(j)];
    return start;
}

/// The same coefficients with the rotation in radians, and back.
CoefficientVector inRadians(CoefficientVector c) {
    c.coef(coefficient::rotation) /= constant::degreesPerRadian;
    return c;
}
CoefficientVector inDegrees(CoefficientVector c) {
    c.coef(coefficient::rotation) *= constant::degreesPerRadian;
    return c;
}

/// Reads the rings of `plan` with `selection`. Whatever stops the reading (a missing file, a number
/// that is not one, a broken drawing, a selection that leaves nothing) ends the run as unusable
/// data, with the reader's sentence.
CurveStore readPlan(const std::string& plan, const PlanSelection& selection) {
    if (plan.empty()) failInput(exitStatus::usage, "PLAN is empty: name " + std::string(planFormats));
    std::error_code error;
    if (std::filesystem::is_directory(plan, error)) {
        failInput(exitStatus::dataError, "'" + plan + "' is a folder: name one of " + std::string(planFormats));
    }
    const PlanContents contents = readPlanOrEnd(plan, selection);
    warnOfDoubtfulRings(contents, plan);
    CurveStore curves = contents.rings;

    std::int64_t total = 0;
    for (const Curve& curve : curves.curves) {
        total += static_cast<std::int64_t>(curve.x.size());
        for (std::size_t i = 0; i < curve.x.size(); ++i) {
            if (!(std::fabs(curve.x[i]) <= largestUsableValue && std::fabs(curve.y[i]) <= largestUsableValue)) {
                failInput(exitStatus::dataError, "'" + plan + "' holds a point beyond 1e100 from the origin, which the "
                                                                "fit cannot compute with");
            }
        }
    }
    if (total > std::numeric_limits<std::int32_t>::max()) {
        failInput(exitStatus::dataError, "'" + plan + "' holds " + std::to_string(total) +
                                             " points, more than the program can count");
    }
    curves.totalPointCount = static_cast<std::int32_t>(total);
    return curves;
}

/// The automatic starting values (rotation in radians); a drawing that yields none ends the run,
/// saying how to give them to `command`, or, for guess, to kelmar fit.
AutomaticStart automaticStart(const CurveStore& curves, const std::string& plan, const std::string& command) {
    std::optional<AutomaticStart> start = startingValues(curves);
    if (!start) {
        const std::string how = command == "fit" ? "give them with --start " + std::string(startOrder)
                                                 : "give them to 'kelmar fit " + plan + " --start " + startOrder +
                                                       "', or type them at the dialogue's questions";
        failInput(exitStatus::dataError,
                  "no ring of '" + plan + "' yields an ellipse (each needs " + std::to_string(minPointsForEllipse) +
                      " points or more, not all on a line), so there are no starting values: " + how);
    }
    return *start;
}

std::string describe(const CurveStore& curves, const std::string& plan) {
    const std::int32_t rings = curves.curveCount();
    return "'" + plan + "': " + std::to_string(rings) + (rings == 1 ? " ring, " : " rings, ") +
           std::to_string(curves.totalPointCount) + (curves.totalPointCount == 1 ? " point" : " points");
}

/// Refuses a --out that cannot be a folder before anything is computed.
void checkOutputFolder(const std::string& folder) {
    if (folder.empty()) failInput(exitStatus::usage, "--out is empty: name a folder for the output files");
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(folder, error);
    if (std::filesystem::exists(status) && !std::filesystem::is_directory(status)) {
        failInput(exitStatus::usage, "--out '" + folder + "' is a file, not a folder");
    }
}

/// Refuses a PLAN that is one of the files the run writes into `folder`: it would be read, then
/// replaced by an output.
void refusePlanAsOutput(const std::string& plan, const std::string& folder) {
    for (const char* output :
         {reportFileName, coefficientFileName, drawingFileName, jsonFileName, pictureFileName, geoPackageFileName}) {
        const std::string path = (std::filesystem::path(folder) / output).string();
        if (!isSameFile(plan, path)) continue;
        failInput(exitStatus::dataError, "PLAN '" + plan + "' is the same file as " + path +
                                             ", which this run replaces with one of its outputs, so its content "
                                             "would be lost: rename or copy it, or write the outputs elsewhere "
                                             "with --out");
    }
}

void writeWhole(const std::filesystem::path& path, const std::string& text) {
    OutputChannel file = createForWriting(path.string());
    writeText(file, text);
    closeChannel(file);
}

/// Writes the six files into `folder` (created when missing) and returns their names.
std::vector<std::string> writeOutputs(const FitRun& run, const CurveStore& curves, const std::string& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        failRun(error.value(), KELMAR_HERE, "cannot create the folder '" + folder + "': " + error.message());
    }
    const std::filesystem::path dir(folder);
    std::vector<std::string> written;
    setActivity("writing the results");

    OutputChannel report = createForWriting((dir / reportFileName).string());
    writeFitReport(report, run, curves);
    closeChannel(report);
    written.push_back(report.name);

    OutputChannel coefficients = createForWriting((dir / coefficientFileName).string());
    writeCoefficientText(coefficients, run.inputFileName, run.start);
    closeChannel(coefficients);
    written.push_back(coefficients.name);

    // The drawing and the picture come from the same entities.
    const std::vector<DrawnEntity> entities = fitDrawing(run, curves);
    OutputChannel drawing = createForWriting((dir / drawingFileName).string());
    openDxfEntities(drawing);
    for (const DrawnEntity& entity : entities) writeDxfEntity(drawing, entity);
    closeDxfEntities(drawing);
    closeChannel(drawing);
    written.push_back(drawing.name);

    PictureCaption caption{run.inputFileName + ": eight-centre ovals fitted by kelmar fit", run.quality.deviations.rms};
    for (std::int32_t j = 1; j <= curves.curveCount() && ringSourceOf(curves, j); ++j) {
        caption.ringSources.push_back(describeRingSource(*ringSourceOf(curves, j), idsNamedInPicture));
    }
    OutputChannel picture = createForWriting((dir / pictureFileName).string());
    writeSvgPicture(picture, entities, caption);
    closeChannel(picture);
    written.push_back(picture.name);

    writeWhole(dir / jsonFileName, fitJson(run, curves));
    written.push_back((dir / jsonFileName).string());

    const std::string geoPackage = (dir / geoPackageFileName).string();
    if (const std::optional<OutputFailure> failure = writeFitGeoPackage(geoPackage, run, curves)) {
        failRun(failure->errorNumber, KELMAR_HERE, failure->sentence);
    }
    written.push_back(geoPackage);
    return written;
}

bool allFinite(const CoefficientVector& c) {
    for (const Real80 v : c.values) {
        if (!std::isfinite(v)) return false;
    }
    return true;
}

/// Decimals that keep about a ten-millionth of the size of the first ring (its semi-major axis).
int answerDecimals(const CoefficientVector& c) {
    const double size = static_cast<double>(std::fabs(c.coef(coefficient::oa)) + std::fabs(c.coef(coefficient::ae(1))));
    if (!(size > 0)) return 6;
    return std::clamp(7 - static_cast<int>(std::ceil(std::log10(size))), 2, 12);
}

}  // namespace

int runFitCommand(const FitOptions& options) {
    std::optional<std::vector<Real80>> startValues;
    std::optional<LoadedCoefficients> startFile;
    if (options.start && namesStartFile(*options.start)) {
        startFile = readStartFile(*options.start, largestUsableValue);
    } else if (options.start) {
        Real80 single = 0;
        if (options.start->find(',') == std::string::npos &&
            parseRealToken(*options.start, single) != TokenProblem::Valid) {
            failInput(exitStatus::usage, "--start '" + *options.start + "' names no file that exists, and it is not " +
                                             "a list of values: --start takes " + startOrder +
                                             ", or the name of a coefficient file such as kelmar.coe");
        }
        startValues = parseStartValues(*options.start);
    }
    checkOutputFolder(options.outDir);
    refusePlanAsOutput(options.plan, options.outDir);
    const CurveStore curves = readPlan(options.plan, options.selection);

    FitRun run;
    run.inputFileName = options.plan;
    // run.crsWkt stays empty until the plan's reader gives its coordinate reference system.
    run.settings.robust = options.robust;
    OutputChannel console = consoleOutput();
    writeLine(console, "kelmar fit " + describe(curves, options.plan));
    CoefficientVector start;
    if (startFile) {
        // The coefficient file's own order and units are the run's: OA, OB, X, Y, degrees, OC, DC, AE.
        run.startFromPoints = false;
        run.start = coefficientsForCurves(*startFile, *options.start, options.plan, curves.curveCount());
        start = inRadians(run.start);
        writeLine(console, "starting values from '" + *options.start + "'");
    } else if (startValues) {
        run.startFromPoints = false;
        run.start = startFromValues(*startValues, curves.curveCount(), options.plan);
        start = inRadians(run.start);
        writeLine(console, "starting values from --start");
    } else {
        writeLine(console, "finding starting values from the points");
        flushChannel(console);
        const AutomaticStart found = automaticStart(curves, options.plan, "fit");
        writeLine(console, "starting values: the best of " + std::to_string(found.trials) + " trial ovals refined on " +
                               std::to_string(found.samplePoints) + " of the points");
        start = found.coefficients;
        run.start = inDegrees(start);
    }

    setActivity("fitting the oval to the points of '" + options.plan + "'");
    run.fit = fitOval(curves, start, run.settings, [&](const FitIteration& iteration) {
        writeLine(console, iterationLine(iteration));
        flushChannel(console);
        if (iteration.accepted) run.iterations.push_back(iteration);
    });
    if (!allFinite(run.fit.coefficients)) {
        failInput(exitStatus::dataError, "the fit of '" + options.plan +
                                             "' ended without a usable oval (a value is not a number); try --start");
    }
    run.quality = assessFit(curves, run.fit, run.settings);
    for (const std::string& warning : run.quality.warnings) warn(warning);

    const std::vector<std::string> written = writeOutputs(run, curves, options.outDir);
    writeFitSummary(console, run, curves, written);
    flushChannel(console);
    return 0;
}

int runGuessCommand(const GuessOptions& options) {
    const std::string& plan = options.plan;
    const CurveStore curves = readPlan(plan, options.selection);
    const CoefficientVector start = automaticStart(curves, plan, "guess").coefficients;
    const int decimals = answerDecimals(start);
    // The values in the order of the dialogue's questions, which is also the order of --start.
    std::vector<std::string> answers;
    auto answer = [&](Real80 value, int places) { answers.push_back(formatRealField(value, 0, places)); };
    answer(start.coef(coefficient::centreX), decimals);
    answer(start.coef(coefficient::centreY), decimals);
    const Real80 rotationDegrees = start.coef(coefficient::rotation) * constant::degreesPerRadian;
    answer(rotationDegrees, 4);
    answer(start.coef(coefficient::oa), decimals);
    answer(start.coef(coefficient::ob), decimals);
    answer(start.coef(coefficient::oc), decimals);
    answer(start.coef(coefficient::dc), decimals);
    for (std::int32_t j = 1; j <= start.curveCount(); ++j) answer(start.coef(coefficient::ae(j)), decimals);
    OutputChannel out = consoleOutput();
    if (options.startLine) {
        std::string line;
        for (const std::string& value : answers) line += (line.empty() ? "" : ",") + value;
        writeLine(out, line);
        flushChannel(out);
        return 0;
    }
    writeLine(out, plan);
    for (const std::string& value : answers) writeLine(out, value);
    flushChannel(out);

    // The smallest ring's semi-minor axis is the size the dialogue's sign tests work at.
    const OvalConstruction k = buildOvalConstruction(start);
    Real80 smallestAe = std::fabs(start.coef(coefficient::ae(1)));
    for (std::int32_t j = 2; j <= start.curveCount(); ++j) {
        smallestAe = std::min(smallestAe, std::fabs(start.coef(coefficient::ae(j))));
    }
    const double semiMinor = static_cast<double>(semiAxes(k, smallestAe, arcRadii(k, smallestAe).rMax).semiMinor);
    const double offCentre = static_cast<double>(std::hypot(start.coef(coefficient::centreX), start.coef(coefficient::centreY)));
    const bool turned = std::fabs(static_cast<double>(rotationDegrees)) > dialogueRotationLimitDegrees;
    const bool moved = offCentre > dialogueCentreShareLimit * semiMinor;
    if (turned || moved) {
        char why[256];
        if (turned && moved) {
            std::snprintf(why, sizeof why, "its centre lies %.4g from the origin and it is turned by %.1f degrees",
                          offCentre, static_cast<double>(rotationDegrees));
        } else if (moved) {
            std::snprintf(why, sizeof why, "its centre lies %.4g from the origin (the smallest ring's semi-minor axis is %.4g)",
                          offCentre, semiMinor);
        } else {
            std::snprintf(why, sizeof why, "it is turned by %.1f degrees", static_cast<double>(rotationDegrees));
        }
        notice(std::string("the dialogue picks each point's arc partly by the signs of its coordinates, which suits a "
                           "drawing centred on the origin and turned by a few degrees at most; this one is not (") +
               why + "), so the dialogue will fit it worse than its points allow: 'kelmar fit " + plan +
               "' takes each point's arc in the oval's own frame and handles it");
    }
    return 0;
}
