#include <optional>
#include <string>
#include <vector>

#include "app/commands.hpp"
#include "app/fit_plan.hpp"
#include "app/progress.hpp"
#include "base/output_set.hpp"
#include "base/run_error.hpp"
#include "base/text_io.hpp"
#include "fit/compared_fits.hpp"
#include "fit/model_from_points.hpp"
#include "fit/starting_values.hpp"
#include "report/compare_report.hpp"

namespace {

constexpr const char* jsonFileName = "compare.json";
constexpr const char* pictureFileName = "compare.svg";

/// Writes compare.json and compare.svg into `folder` as one set; a failure leaves both files as
/// they were and ends the run.
std::vector<std::string> writeOutputs(const std::string& folder, const std::string& json, const std::string& picture) {
    setActivity("writing the comparison");
    OutputSet set = startOutputSet(folder, {jsonFileName, pictureFileName});
    for (const auto& [name, text] : {std::pair{jsonFileName, &json}, std::pair{pictureFileName, &picture}}) {
        if (std::optional<OutputFailure> failure = addOutputText(set, name, *text)) {
            abandonOutputSet(set);
            failInput(failure->status, failure->sentence);
        }
    }
    std::vector<std::string> written;
    for (const OutputMember& member : set.members) written.push_back(member.shownName);
    if (std::optional<OutputFailure> failure = commitOutputSet(set)) failInput(failure->status, failure->sentence);
    return written;
}

}  // namespace

int runCompareCommand(const CompareOptions& options) {
    checkOutputFolderOption(options.outDir);
    refusePlanAsOutput(options.plan, options.outDir, {jsonFileName, pictureFileName});
    Progress progress = Progress::onTerminal();
    progress.show("reading '" + options.plan + "'");
    const CurveStore curves = readPlan(options.plan, options.selection);
    progress.clear();
    refuseUnresolvableDrawing(curves, options.plan);
    if (!meanEllipse(curves)) {
        failInput(exitStatus::dataError,
                  "no ring of '" + options.plan + "' yields an ellipse (each needs " +
                      std::to_string(minPointsForEllipse) +
                      " points or more, not all on a line), so no curve can be fitted from the points alone");
    }
    OutputChannel console = consoleOutput();
    writeLine(console, "kelmar compare " + describePlan(curves, options.plan));
    flushChannel(console);

    setActivity("fitting the three curves to the points of '" + options.plan + "'");
    progress.show("fitting the ellipse, the four-centre and the eight-centre oval");
    const std::vector<ComparedFit> fits = fitEveryModel(curves);
    const Weighing weighing = weighFits(fits);
    progress.clear();
    if (!weighing.best) {
        failInput(exitStatus::dataError, "no curve could be fitted to the points of '" + options.plan + "'");
    }
    for (const std::string& line : comparisonTable(fits, weighing)) writeLine(console, line);
    flushChannel(console);

    const std::vector<std::string> written =
        writeOutputs(options.outDir, comparisonJson(options.plan, curves, fits, weighing),
                     comparisonPicture(options.plan + ": three curves fitted by kelmar compare", fits, weighing));
    std::string line = "written:";
    for (std::size_t k = 0; k < written.size(); ++k) line += (k == 0 ? " " : ", ") + written[k];
    writeLine(console, line);
    flushChannel(console);
    return 0;
}
