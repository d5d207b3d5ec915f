#include "report/run_report.hpp"

void writeReportHeader(OutputChannel& report, const std::string& inputFileName, const CurveStore& curves) {
    writeLine(report, bannerLine);
    writeLine(report, creditLine);
    endLine(report);
    writeText(report, "File ingresso ");
    writeLine(report, inputFileName);
    endLine(report);
    writeText(report, "Numero curve lette ");
    writeIntegerField(report, curves.curveCount(), field::bare);
    endLine(report);
    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
        writeText(report, "Numero punti curva ");
        writeIntegerField(report, j, field::bare);
        writeText(report, " ");
        writeIntegerField(report, curves.pointCount(j), field::curvePointCount);
        endLine(report);
    }
    endLine(report);
    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
        writeText(report, "Curva ");
        writeIntegerField(report, j, field::inputCurveNumber);
        endLine(report);
        for (std::int32_t i = 1; i <= curves.pointCount(j); ++i) {
            writeIntegerField(report, i, field::inputPointNumber);
            writeText(report, "  X ");
            writeRealField(report, curves.x(j, i), field::inputCoordinate);
            writeText(report, "  Y ");
            writeRealField(report, curves.y(j, i), field::inputCoordinate);
            endLine(report);
        }
        endLine(report);
    }
    endLine(report);
}

void writeCoefficientListing(OutputChannel& report, const CoefficientVector& coefficients, std::string_view label) {
    for (std::int32_t k = 1; k <= coefficients.coefCount(); ++k) {
        writeText(report, label);
        writeIntegerField(report, k, field::bare);
        writeText(report, " = ");
        writeRealField(report, coefficients.coef(k), field::coefficient);
        endLine(report);
    }
}
