#include "report/oval_summary.hpp"

#include "base/constants.hpp"
#include "model/oval_construction.hpp"

namespace {

enum class SummaryLayout { Report, Console };

void writeHead(OutputChannel& out, const CoefficientVector& coefficients, const FitTotals& totals,
               const OvalConstruction& construction) {
    writeText(out, "Scarto quadratico medio ");
    writeRealField(out, totals.residual, field::summaryResidual);
    endLine(out);
    endLine(out);
    auto line = [&out](const char* label, Real80 value) {
        writeText(out, label);
        writeRealField(out, value, field::coefficient);
        endLine(out);
    };
    line("Delta X centro        ", coefficients.coef(coefficient::centreX));
    line("Delta Y centro        ", coefficients.coef(coefficient::centreY));
    line("Rotazione in gradi    ", coefficients.coef(coefficient::rotation) * constant::degreesPerRadian);
    line("Cateto    OA          ", construction.oa);
    line("Cateto    OB          ", construction.ob);
    line("Lunghezza OC          ", construction.oc);
    line("Lunghezza DC          ", construction.dc);
}

void writeSummary(OutputChannel& out, const CoefficientVector& coefficients, const FitTotals& totals,
                  SummaryLayout layout) {
    const OvalConstruction construction = buildOvalConstruction(coefficients);
    writeHead(out, coefficients, totals, construction);
    const bool report = layout == SummaryLayout::Report;
    const field::Real value = report ? field::reportCurveValue : field::consoleCurveValue;
    for (std::int32_t j = 1; j <= coefficients.curveCount(); ++j) {
        const ArcRadii radii = arcRadii(construction, coefficients.coef(coefficient::ae(j)));
        const SemiAxes axes = semiAxes(construction, radii.rMin, radii.rMax);
        writeText(out, "Raggio minore  ");
        writeIntegerField(out, j, field::summaryCurveNumber);
        writeText(out, "   ");
        writeRealField(out, radii.rMin, value);
        writeText(out, "  R. med. ");
        writeRealField(out, radii.rMed, value);
        writeText(out, "  R. max. ");
        writeRealField(out, radii.rMax, value);
        if (report) {
            writeText(out, "  Semiasse max.  ");
        } else {
            endLine(out);
            writeText(out, "Semiasse max.  ");
        }
        writeIntegerField(out, j, field::summaryCurveNumber);
        writeText(out, "   ");
        writeRealField(out, axes.semiMajor, value);
        writeText(out, "  S. min. ");
        writeRealField(out, axes.semiMinor, value);
        endLine(out);
    }
    endLine(out);
}

}  // namespace

void writeReportSummary(OutputChannel& out, const CoefficientVector& coefficients, const FitTotals& totals) {
    writeSummary(out, coefficients, totals, SummaryLayout::Report);
}

void writeConsoleSummary(OutputChannel& out, const CoefficientVector& coefficients, const FitTotals& totals) {
    writeSummary(out, coefficients, totals, SummaryLayout::Console);
}
