#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <limits>
#include <numbers>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "app/commands.hpp"
#include "app/fit_plan.hpp"
#include "app/input_problems.hpp"
#include "app/progress.hpp"
#include "app/start_file.hpp"
#include "base/constants.hpp"
#include "base/output_set.hpp"
#include "base/ring_source.hpp"
#include "base/run_error.hpp"
#include "base/text_io.hpp"
#include "drawing/dxf_encoder.hpp"
#include "drawing/svg_encoder.hpp"
#include "fit/fit_quality.hpp"
#include "fit/model_fit.hpp"
#include "fit/model_quality.hpp"
#include "fit/oval_fit.hpp"
#include "fit/robust_start.hpp"
#include "fit/starting_values.hpp"
#include "input/coefficient_file.hpp"
#include "app/plan_input.hpp"
#include "input/input_kind.hpp"
#include "model/ellipse_model.hpp"
#include "model/four_centre_limit.hpp"
#include "model/four_centre_model.hpp"
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
                                         (rings == 1 ? "' needs " : "' need ") + std::to_string(needed) + ": " + startOrder +
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

/// The automatic starting values (rotation in radians), with `robust` from the points near each
/// ring's consensus ellipse; a drawing that yields none ends the run, saying how to give them to
/// `command`, or, for guess, to kelmar fit.
AutomaticStart automaticStart(const CurveStore& curves, const std::string& plan, const std::string& command,
                              bool robust = false) {
    std::optional<AutomaticStart> start = robust ? robustStartingValues(curves) : startingValues(curves);
    if (!start && !robust && robustStartingValues(curves)) {
        // The rings do yield ellipses once their points far from them are set aside: saying that
        // none does would be false.
        failInput(exitStatus::dataError,
                  "no ellipse fits all the points of a ring of '" + plan +
                      "', but one does with the points far from it set aside: a point lies far from its ring "
                      "(a digitising slip?); correct it, or fit with 'kelmar fit " + plan + " --robust'");
    }
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

/// Refuses a PLAN whose name kelmar.coe cannot hold on its line 1 (a line break, or the
/// character 26 that ends a text file), and warns when the dialogue would take the name for a
/// coefficient file.
void checkPlanName(const std::string& plan, const char* command) {
    if (plan.find_first_of("\r\n\x1a") != std::string::npos) {
        failInput(exitStatus::usage, "PLAN '" + plan + "' holds a line break (or the character 26), which " +
                                         (std::string(command) == "fit" ? "line 1 of kelmar.coe" : "the answers' first line") +
                                         " cannot hold: rename the file");
    }
    if (plan.empty() || inputKindOf(plan) != InputKind::CoefficientFile) return;
    const std::string why = "PLAN '" + plan + "' ends in e, so the dialogue takes that name for a coefficient file, "
                            "not for points";
    if (std::string(command) == "guess") {
        failInput(exitStatus::usage, why + ": the answers would not run; copy or rename the plan to a name that does "
                                           "not end in e (a drawing ending .dxf), and guess again");
    }
    warn(why + ", and would refuse the kelmar.coe of this run: copy or rename the plan to a name that does not end "
               "in e to start the dialogue from it");
}

/// PLAN as kelmar.coe names it: as seen from the output folder, where the dialogue reads it
/// (absolute when PLAN was given absolute, or when no relative path leads there).
std::string planSeenFrom(const std::string& plan, const std::string& folder) {
    const std::filesystem::path given(plan);
    if (given.is_absolute()) return plan;
    std::error_code error;
    const std::filesystem::path relative = std::filesystem::relative(given, folder, error);
    if (!error && !relative.empty()) return relative.string();
    const std::filesystem::path absolute = std::filesystem::absolute(given, error);
    return error ? plan : absolute.lexically_normal().string();
}

/// Writes the six files into `folder` as one set (the folder is created when missing) and returns
/// their names; a failure leaves every earlier file as it was and ends the run. An ellipse has no
/// kelmar.coe: one that an earlier run left goes with the set, so that the folder never holds it
/// beside files it does not belong to.
std::vector<std::string> writeOutputs(const FitRun& run, const CurveStore& curves, const std::string& folder,
                                      Progress& progress) {
    setActivity("writing the results");
    const bool withCoefficients = run.model != FitModel::Ellipse;
    std::vector<std::string> names{reportFileName, drawingFileName, pictureFileName, jsonFileName, geoPackageFileName};
    if (withCoefficients) names.insert(names.begin() + 1, coefficientFileName);
    OutputSet set = startOutputSet(folder, names);
    auto add = [&](const char* name, const std::string& text) {
        if (std::optional<OutputFailure> failure = addOutputText(set, name, text)) {
            abandonOutputSet(set);
            failInput(failure->status, failure->sentence);
        }
    };
    // The large files go straight to their temporary files instead of being held whole.
    auto stream = [&](const char* name, const std::function<void(OutputChannel&)>& write) {
        OutputChannel channel;
        if (std::optional<OutputFailure> failure = openOutputChannel(set, name, channel)) {
            abandonOutputSet(set);
            failInput(failure->status, failure->sentence);
        }
        write(channel);
        closeChannel(channel);
    };

    // A fit of a million points makes files of many megabytes: none is held whole.
    progress.show(std::string("writing ") + reportFileName);
    stream(reportFileName, [&](OutputChannel& report) { writeFitReport(report, run, curves); });
    if (withCoefficients) {
        // A four-centre oval's file holds the fitted oval in its limiting position: the dialogue
        // started from it begins at the four-centre answer, which no eight-centre start gave.
        OutputChannel coefficients = memoryOutput();
        writeCoefficientText(coefficients, planSeenFrom(run.inputFileName, folder),
                             run.model == FitModel::FourCentre ? inDegrees(run.fit.coefficients) : run.start);
        add(coefficientFileName, coefficients.captured);
    }
    // The drawing and the picture come from the same entities, drawn afresh for each so that
    // none of them is held.
    const DrawingSource entities = [&run, &curves](const DrawingSink& sink) { drawFit(run, curves, sink); };
    progress.show(std::string("writing ") + drawingFileName);
    stream(drawingFileName, [&](OutputChannel& drawing) {
        openDxfEntities(drawing);
        entities([&drawing](const DrawnEntity& entity) { writeDxfEntity(drawing, entity); });
        closeDxfEntities(drawing);
    });
    progress.show(std::string("writing ") + pictureFileName);
    {
        const std::string curvesFitted = run.model == FitModel::EightCentre  ? "eight-centre ovals"
                                         : run.model == FitModel::FourCentre ? "four-centre ovals"
                                                                             : "ellipses";
        PictureCaption caption{run.inputFileName + ": " + curvesFitted + " fitted by kelmar fit",
                               run.quality.deviations.rms};
        if (run.model == FitModel::Ellipse) {
            caption.lineOutlines = "fitted ellipses, as lines";
            caption.lineOutlineRings = static_cast<std::size_t>(curves.curveCount());
        }
        for (std::int32_t j = 1; j <= curves.curveCount() && ringSourceOf(curves, j); ++j) {
            caption.ringSources.push_back(describeRingSource(*ringSourceOf(curves, j), idsNamedInPicture));
        }
        stream(pictureFileName, [&](OutputChannel& picture) { writeSvgPicture(picture, entities, caption); });
    }
    add(jsonFileName, fitJson(run, curves));

    progress.show(std::string("writing ") + geoPackageFileName);
    // GDAL writes the GeoPackage itself, to the temporary path of the set.
    std::string geoPackage;
    std::optional<OutputFailure> failure = reserveOutputPath(set, geoPackageFileName, geoPackage);
    if (!failure) failure = writeFitGeoPackage(geoPackage, run, curves);
    if (failure) {
        // The sentence names the file the user knows, not its temporary name.
        std::string sentence = failure->sentence;
        const std::string shown = set.members.back().shownName;
        for (std::size_t at = sentence.find(geoPackage); !geoPackage.empty() && at != std::string::npos;
             at = sentence.find(geoPackage, at + shown.size())) {
            sentence.replace(at, geoPackage.size(), shown);
        }
        const std::string clause = untouchedFilesClause(set);
        abandonOutputSet(set);
        failInput(failure->status, sentence + "; nothing was replaced: " + clause);
    }

    progress.clear();
    std::vector<std::string> written;
    for (const OutputMember& member : set.members) written.push_back(member.shownName);
    if (!withCoefficients) removeWithOutputSet(set, coefficientFileName);
    if (std::optional<OutputFailure> failure = commitOutputSet(set)) failInput(failure->status, failure->sentence);
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


/// The rings of `curves` as the fit of a curve model takes them.
std::vector<RingPoints> modelRingPoints(const CurveStore& curves) {
    std::vector<RingPoints> rings;
    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
        RingPoints ring;
        ring.curve = j;
        for (std::int32_t i = 1; i <= curves.pointCount(j); ++i) {
            ring.x.push_back(static_cast<double>(curves.x(j, i)));
            ring.y.push_back(static_cast<double>(curves.y(j, i)));
        }
        rings.push_back(std::move(ring));
    }
    return rings;
}

/// Each ring's semi-axes of the eight-centre start (rotation in radians).
std::vector<RingAxes> startAxes(const CoefficientVector& start) {
    const OvalConstruction k = buildOvalConstruction(start);
    std::vector<RingAxes> axes;
    for (std::int32_t j = 1; j <= start.curveCount(); ++j) {
        const ArcRadii radii = arcRadii(k, start.coef(coefficient::ae(j)));
        const SemiAxes s = semiAxes(k, radii.rMin, radii.rMax);
        axes.push_back({static_cast<double>(s.semiMajor), static_cast<double>(s.semiMinor)});
    }
    return axes;
}

/// The placement of the eight-centre start, at the head of a shared block.
std::vector<double> startPlacement(const CoefficientVector& start) {
    return {static_cast<double>(start.coef(coefficient::centreX)), static_cast<double>(start.coef(coefficient::centreY)),
            static_cast<double>(start.coef(coefficient::rotation))};
}

/// The ellipses of the eight-centre start's semi-axes about its centre and rotation.
CurveParameters ellipseStart(const CoefficientVector& start) {
    CurveParameters p;
    p.shared = startPlacement(start);
    for (const RingAxes& axes : startAxes(start)) p.rings.push_back({axes.semiMajor, axes.semiMinor});
    return p;
}

/// The four-centre ovals through the ends of the eight-centre start's axes: the first ring's end
/// radius is the ellipse's radius of curvature there (b^2 / a, kept below b), the side radius
/// follows from tangency, and each further ring keeps OA and takes the end radius of its own
/// semi-major axis.
CurveParameters fourCentreStart(const CoefficientVector& start) {
    const std::vector<RingAxes> axes = startAxes(start);
    const double a = axes.front().semiMajor, b = axes.front().semiMinor;
    // A nearly round first ring would put the end arcs' centres at O: they stay a little apart.
    const double end = std::min(b * b / a, 0.999 * b);
    const double side = ((a - end) * (a - end) + b * b - end * end) / (2 * (b - end));
    CurveParameters p;
    p.shared = startPlacement(start);
    p.shared.push_back(a - end);
    p.shared.push_back(side - b);
    for (const RingAxes& ring : axes) p.rings.push_back({std::max(ring.semiMajor - (a - end), 0.01 * end)});
    return p;
}

/// The ellipses with the first ring's semi-axis along the own X axis the longer, the rotation
/// in (-90, 90] degrees: the same curves, named as the oval's are.
void orientEllipses(CurveParameters& p) {
    constexpr double halfTurn = std::numbers::pi;
    double& rotation = p.shared[placement::rotation];
    if (!p.rings.empty() && p.rings.front()[EllipseModel::semiY] > p.rings.front()[EllipseModel::semiX]) {
        for (std::vector<double>& ring : p.rings) std::swap(ring[EllipseModel::semiX], ring[EllipseModel::semiY]);
        rotation += halfTurn / 2;
    }
    rotation = std::remainder(rotation, halfTurn);
    if (rotation <= -halfTurn / 2) rotation += halfTurn;
}

/// The standard errors of a four-centre oval or an ellipse in the record the writers take: the
/// placement, OA and OB of the four-centre oval, each ring's AE (four-centre) and semi-axes; NaN,
/// null in kelmar.json, for what the model does not have.
std::optional<StandardErrors> modelStandardErrors(FitModel model, const ModelFitResult& result) {
    if (!result.standardErrors) return std::nullopt;
    const ModelStandardErrors& e = *result.standardErrors;
    StandardErrors out;
    out.centreX = e.shared.at(placement::centreX);
    out.centreY = e.shared.at(placement::centreY);
    out.rotationDegrees = e.shared.at(placement::rotation) * static_cast<double>(constant::degreesPerRadian);
    const bool fourCentre = model == FitModel::FourCentre;
    out.oa = fourCentre ? e.shared.at(placement::count + FourCentreModel::oa) : NAN;
    out.ob = fourCentre ? e.shared.at(placement::count + FourCentreModel::ob) : NAN;
    out.oc = NAN;
    out.dc = NAN;
    for (const std::optional<RingStandardErrors>& ring : e.rings) {
        if (!ring) {
            out.rings.emplace_back();
            continue;
        }
        out.rings.push_back(RingErrors{fourCentre ? ring->values.at(FourCentreModel::ae) : NAN, ring->axes.semiMajor,
                                       ring->axes.semiMinor});
    }
    return out;
}

/// Fits the four-centre oval or the ellipse into `run` from the automatic start `found`.
void fitOtherModel(FitRun& run, const CurveStore& curves, const AutomaticStart& found) {
    const std::vector<RingPoints> rings = modelRingPoints(curves);
    const ModelFitSettings settings;
    ModelFitResult result;
    if (run.model == FitModel::FourCentre) {
        run.modelStart = fourCentreStart(found.coefficients);
        result = fitCurveModel<FourCentreModel>(rings, run.modelStart, settings);
        run.quality = assessModelFit<FourCentreModel>(curves, result, settings.maxIterations,
                                                      "its AE is not fitted and keeps its starting value",
                                                      run.faultSentence);
        // The dialogue's layouts take the oval as the eight-centre construction in its limiting position.
        run.fit.coefficients = limitingEightCentre(result.parameters);
        run.start = inDegrees(limitingEightCentre(run.modelStart));
    } else {
        run.modelStart = ellipseStart(found.coefficients);
        result = fitCurveModel<EllipseModel>(rings, run.modelStart, settings);
        orientEllipses(result.parameters);
        run.quality = assessModelFit<EllipseModel>(curves, result, settings.maxIterations,
                                                   "its semi-axes are not fitted and keep their starting values",
                                                   run.faultSentence);
    }
    run.parameters = result.parameters;
    run.proper = run.faultSentence.empty();
    run.fit.iterations = result.iterations;
    run.fit.evaluations = result.iterations;
    run.fit.stopReason = result.converged                          ? StopReason::Converged
                         : result.iterations >= settings.maxIterations ? StopReason::IterationLimit
                                                                       : StopReason::NoProgress;
    run.fit.standardErrors = modelStandardErrors(run.model, result);
    if (!run.fit.standardErrors) {
        addWarning(run.quality, warningCode::noStandardErrors,
                   "the points do not determine every parameter of the " + std::string(fitModelName(run.model)) +
                       " curve (too few of them), so no standard errors are given");
    }
}

}  // namespace

int runFitCommand(const FitOptions& options) {
    const FitModel model = fitModelNamed(options.model).value_or(FitModel::EightCentre);
    if (model != FitModel::EightCentre && options.start) {
        failInput(exitStatus::usage, "--start gives an eight-centre oval (X,Y,ROT,OA,OB,OC,DC,AE...), so it goes with "
                                     "--model eight-centre only: leave it out, and the " + options.model +
                                         " fit finds its start from the points");
    }
    if (model != FitModel::EightCentre && options.robust) {
        failInput(exitStatus::usage, "--robust goes with --model eight-centre only: the " + options.model +
                                         " fit has no robust loss yet");
    }
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
    checkPlanName(options.plan, "fit");
    checkOutputFolderOption(options.outDir);
    refusePlanAsOutput(options.plan, options.outDir,
                       {reportFileName, coefficientFileName, drawingFileName, jsonFileName, pictureFileName,
                        geoPackageFileName});
    Progress progress = Progress::onTerminal();
    progress.show("reading '" + options.plan + "'");
    const CurveStore curves = readPlan(options.plan, options.selection);
    progress.clear();
    refuseUnresolvableDrawing(curves, options.plan);

    FitRun run;
    run.inputFileName = options.plan;
    run.model = model;
    // run.crsWkt stays empty until the plan's reader gives its coordinate reference system.
    run.settings.robust = options.robust;
    OutputChannel console = consoleOutput();
    writeLine(console, "kelmar fit " + describePlan(curves, options.plan) +
                           (model == FitModel::EightCentre ? std::string() : "; --model " + options.model));
    if (model != FitModel::EightCentre) {
        writeLine(console, "finding starting values from the points");
        flushChannel(console);
        progress.show("finding starting values");
        const AutomaticStart found = automaticStart(curves, options.plan, "fit");
        setActivity("fitting the " + options.model + " curve to the points of '" + options.plan + "'");
        progress.show("fitting the " + options.model + " curve");
        fitOtherModel(run, curves, found);
        progress.clear();
        for (const std::string& warning : run.quality.warnings) warn(warning);
        const std::vector<std::string> written = writeOutputs(run, curves, options.outDir, progress);
        writeFitSummary(console, run, curves, written);
        flushChannel(console);
        return 0;
    }
    CoefficientVector start;
    if (startFile) {
        // The coefficient file's own order and units are the run's: OA, OB, X, Y, degrees, OC, DC, AE.
        run.startFromPoints = false;
        run.start = valueOrFail(coefficientsForCurves(*startFile, *options.start, options.plan, curves.curveCount()));
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
        progress.show("finding starting values");
        const AutomaticStart found = automaticStart(curves, options.plan, "fit", options.robust);
        progress.clear();
        writeLine(console, "starting values: the best of " + std::to_string(found.trials) + " trial ovals refined on " +
                               std::to_string(found.samplePoints) + " of the points");
        start = found.coefficients;
        run.start = inDegrees(start);
        run.runnerUp = found.runnerUp;
    }

    setActivity("fitting the oval to the points of '" + options.plan + "'");
    run.settings.stageReport = [&progress](const std::string& stage) { progress.show(stage); };
    progress.show("fitting the oval");
    run.fit = fitOval(curves, start, run.settings, [&](const FitIteration& iteration) {
        progress.clear();
        writeLine(console, iterationLine(iteration));
        flushChannel(console);
        progress.show("fitting the oval: iteration " + std::to_string(iteration.number) + " done");
        if (iteration.accepted) run.iterations.push_back(iteration);
    });
    run.settings.stageReport = nullptr;
    if (!allFinite(run.fit.coefficients)) {
        failInput(exitStatus::dataError, "the fit of '" + options.plan +
                                             "' ended without a usable oval (a value is not a number); try --start");
    }
    progress.show("checking the fitted oval");
    run.quality = assessFit(curves, run.fit, run.settings);
    if (run.runnerUp) warnOfOtherOptimum(run.quality, curves, run.fit, run.runnerUp->coefficients, run.runnerUp->rms);
    progress.clear();
    for (const std::string& warning : run.quality.warnings) warn(warning);
    settleEightCentreRun(run);

    const std::vector<std::string> written = writeOutputs(run, curves, options.outDir, progress);
    writeFitSummary(console, run, curves, written);
    flushChannel(console);
    return 0;
}

int runGuessCommand(const GuessOptions& options) {
    const std::string& plan = options.plan;
    // The answers name the plan on their first line; --start-line prints the values alone.
    if (!options.startLine) checkPlanName(plan, "guess");
    Progress progress = Progress::onTerminal();
    progress.show("reading '" + plan + "'");
    const CurveStore curves = readPlan(plan, options.selection);
    refuseUnresolvableDrawing(curves, plan);
    progress.show("finding starting values");
    const CoefficientVector start = automaticStart(curves, plan, "guess").coefficients;
    progress.clear();
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
