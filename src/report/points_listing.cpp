#include "report/points_listing.hpp"

#include <cmath>
#include <string_view>

#include "dxf/dxf_writer.hpp"
#include "model/oval_construction.hpp"
#include "model/residual.hpp"

namespace {

/// The class of a point, by its absolute deviation against the residual R.
struct PointClass {
    std::string_view marker;
    DxfLayer layer;
};

PointClass classify(Real80 deviation, Real80 residual, Real80 twiceResidual) {
    // Strict comparisons: a point exactly at R is within, exactly at 2R is over.
    const Real80 size = std::fabs(deviation);
    if (size > twiceResidual) {
        return {"  **", dxfLayer::twiceOverResidual};
    }
    if (size > residual) {
        return {"  *", dxfLayer::overResidual};
    }
    return {"", dxfLayer::withinResidual};
}

}  // namespace

void writePointsListing(RunState& run) {
    OutputChannel& report = run.report;
    const CurveStore& curves = run.curves;
    const OvalConstruction construction = buildOvalConstruction(run.coefficients);
    const SectorLines sectorLines = buildSectorLines(construction);
    const Real80 residual = run.totals.residual;
    const Real80 twiceResidual = 2 * residual;

    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
        Real80 curveSumOfSquares = 0;
        writeText(report, "Punti sull'ovale ");
        writeIntegerField(report, j, 3);
        endLine(report);
        writeText(report, "          X            Y          Scarto (val. neg. -> punto interno)");
        endLine(report);
        const ArcRadii radii = arcRadii(construction, run.coefficients.coef(coefficient::ae(j)));

        const std::int32_t count = curves.pointCount(j);
        for (std::int32_t i = 1; i <= count; ++i) {
            const Real80 x = curves.x(j, i);
            const Real80 y = curves.y(j, i);
            // The listing's own sector test: rows 2, 4 and 6 look at the sign of X only.
            const Real80 deviation =
                pointDeviation(construction, sectorLines, radii, x, y, SectorTestVariant::ListingVariant).deviation;
            writeIntegerField(report, i, 3);
            writeText(report, " ");
            writeRealField(report, x, 12, 6);
            writeText(report, " ");
            writeRealField(report, y, 12, 6);
            writeText(report, " ");
            writeRealField(report, deviation, 14, 9);
            const PointClass pointClass = classify(deviation, residual, twiceResidual);
            writeText(report, pointClass.marker);
            endLine(report);
            writeDxfPoint(run.drawing, pointClass.layer.name, pointClass.layer.colour, x, y);
            curveSumOfSquares += deviation * deviation;
        }

        // A curve without points has no mean deviation; this program prints 0 for it rather
        // than dividing 0 by 0, which would end the run with an invalid-operation error.
        Real80 curveRms = 0;
        if (count > 0) {
            curveRms = std::sqrt(curveSumOfSquares / static_cast<Real80>(count));
        }
        writeText(report, "SQM curva ");
        writeRealField(report, curveRms, 14, 9);
        endLine(report);
        endLine(report);
    }
}
