#include "report/points_listing.hpp"

#include <cmath>
#include <string_view>

#include "model/oval_construction.hpp"
#include "dialogue/residual.hpp"

PointClass classifyDeviation(Real80 deviation, Real80 residual) {
    // Strict comparisons: a point exactly at R is within, exactly at 2R is over.
    const Real80 size = std::fabs(deviation);
    if (size > 2 * residual) return {"  **", Layer::TwiceOverResidual};
    if (size > residual) return {"  *", Layer::OverResidual};
    return {"", Layer::WithinResidual};
}

void writePointsListing(OutputChannel& report, const CurveStore& curves, const CoefficientVector& coefficients,
                        Real80 residual, const DrawingSink& draw) {
    const OvalConstruction construction = buildOvalConstruction(coefficients);
    const SectorLines sectorLines = buildSectorLines(construction);
    std::int32_t radiiCurve = 0;
    ArcRadii radii;
    const DeviationOfPoint listingDeviation = [&](std::int32_t j, std::int32_t i) {
        if (j != radiiCurve) {
            radii = arcRadii(construction, coefficients.coef(coefficient::ae(j)));
            radiiCurve = j;
        }
        // The listing's own sector test: rows 2, 4 and 6 look at the sign of X only.
        return pointDeviation(construction, sectorLines, radii, curves.x(j, i), curves.y(j, i),
                              SectorTestVariant::ListingVariant)
            .deviation;
    };
    writePointsListing(report, curves, listingDeviation, residual, draw);
}

void writePointsListing(OutputChannel& report, const CurveStore& curves, const DeviationOfPoint& deviationOf,
                        Real80 residual, const DrawingSink& draw) {
    for (std::int32_t j = 1; j <= curves.curveCount(); ++j) {
        Real80 curveSumOfSquares = 0;
        writeText(report, "Punti sull'ovale ");
        writeIntegerField(report, j, field::listingCurveNumber);
        endLine(report);
        writeText(report, "          X            Y          Scarto (val. neg. -> punto interno)");
        endLine(report);

        const std::int32_t count = curves.pointCount(j);
        for (std::int32_t i = 1; i <= count; ++i) {
            const Real80 x = curves.x(j, i);
            const Real80 y = curves.y(j, i);
            const Real80 deviation = deviationOf(j, i);
            writeIntegerField(report, i, field::listingPointNumber);
            writeText(report, " ");
            writeRealField(report, x, field::listingCoordinate);
            writeText(report, " ");
            writeRealField(report, y, field::listingCoordinate);
            writeText(report, " ");
            writeRealField(report, deviation, field::deviation);
            const PointClass pointClass = classifyDeviation(deviation, residual);
            writeText(report, pointClass.marker);
            endLine(report);
            draw(DrawnPoint{pointClass.layer, {x, y}});
            curveSumOfSquares += deviation * deviation;
        }

        // A curve without points has no mean deviation; this program prints 0 for it rather
        // than dividing 0 by 0, which would end the run with an invalid-operation error.
        Real80 curveRms = 0;
        if (count > 0) {
            curveRms = std::sqrt(curveSumOfSquares / static_cast<Real80>(count));
        }
        writeText(report, "SQM curva ");
        writeRealField(report, curveRms, field::coefficient);
        endLine(report);
        endLine(report);
    }
}
