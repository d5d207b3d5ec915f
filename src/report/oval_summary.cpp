#include "report/oval_summary.hpp"

#include "model/oval_construction.hpp"

namespace {

// The Real80 nearest to 180/pi.
constexpr Real80 degreesPerRadian = 57.295779513082320877L;

enum class SummaryLayout { Report, Console };

void writeHead(OutputChannel& out, const CoefficientVector& coefficients, const FitTotals& totals,
               const OvalConstruction& construction) {
    writeText(out, "Scarto quadratico medio ");
    writeRealField(out, totals.residual, 12, 9);
    endLine(out);
    endLine(out);
    auto line = [&out](const char* label, Real80 value) {
        writeText(out, label);
        writeRealField(out, value, 14, 9);
        endLine(out);
    };
    line("Delta X centro        ", coefficients.coef(coefficient::centreX));
    line("Delta Y centro        ", coefficients.coef(coefficient::centreY));
    line("Rotazione in gradi    ", coefficients.coef(coefficient::rotation) * degreesPerRadian);
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
    const int width = report ? 14 : 11;
    const int decimals = report ? 9 : 6;
    const std::int32_t curveCount = coefficients.coefCount() - 7;
    for (std::int32_t j = 1; j <= curveCount; ++j) {
        const ArcRadii radii = arcRadii(construction, coefficients.coef(coefficient::ae(j)));
        const SemiAxes axes = semiAxes(construction, radii.rMin, radii.rMax);
        writeText(out, "Raggio minore  ");
        writeIntegerField(out, j, 4);
        writeText(out, "   ");
        writeRealField(out, radii.rMin, width, decimals);
        writeText(out, "  R. med. ");
        writeRealField(out, radii.rMed, width, decimals);
        writeText(out, "  R. max. ");
        writeRealField(out, radii.rMax, width, decimals);
        if (report) {
            writeText(out, "  Semiasse max.  ");
        } else {
            endLine(out);
            writeText(out, "Semiasse max.  ");
        }
        writeIntegerField(out, j, 4);
        writeText(out, "   ");
        writeRealField(out, axes.semiMajor, width, decimals);
        writeText(out, "  S. min. ");
        writeRealField(out, axes.semiMinor, width, decimals);
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
