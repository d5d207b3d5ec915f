#include "report/fit_geopackage.hpp"

#include <gdal_priv.h>
#include <ogr_feature.h>
#include <ogr_geometry.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

#include "base/constants.hpp"
#include "base/ring_source.hpp"
#include "drawing/drawn_rings.hpp"
#include "drawing/ellipse_drawing.hpp"
#include "drawing/oval_drawing.hpp"
#include "drawing/svg_encoder.hpp"
#include "model/ellipse_model.hpp"
#include "model/oval_construction.hpp"
#include "report/points_listing.hpp"

namespace {

// A quarter turn of an arc is cut into at most this many segments, whatever the tolerance asks:
// a ring far smaller than its neighbours must not make the file huge.
constexpr double mostSegmentsPerQuarterTurn = 4096;

/// GDAL's messages collected instead of printed: the last failure says why a step failed.
class QuietGdal {
public:
    QuietGdal() {
        CPLPushErrorHandlerEx(&QuietGdal::collect, this);
        CPLErrorReset();
    }
    ~QuietGdal() { CPLPopErrorHandler(); }
    QuietGdal(const QuietGdal&) = delete;
    QuietGdal& operator=(const QuietGdal&) = delete;

    /// Starts a step: forgets earlier failures and the system's error number.
    void begin() {
        lastFailure_.clear();
        errno = 0;
    }
    bool failed() const { return !lastFailure_.empty(); }
    OutputFailure failure(const std::string& path, const char* step) const {
        const int number = errno != 0 ? errno : EIO;
        std::string why = lastFailure_.empty() ? std::string(std::strerror(number)) : lastFailure_;
        return {number, "cannot write the GeoPackage '" + path + "' (" + step + "): " + why};
    }

private:
    static void CPL_STDCALL collect(CPLErr level, CPLErrorNum, const char* message) {
        auto* self = static_cast<QuietGdal*>(CPLGetErrorHandlerUserData());
        if (self != nullptr && (level == CE_Failure || level == CE_Fatal)) self->lastFailure_ = message;
    }
    std::string lastFailure_;
};

GDALDriver* geoPackageDriver() {
    static std::once_flag registered;
    std::call_once(registered, [] { GDALAllRegister(); });
    return GetGDALDriverManager()->GetDriverByName("GPKG");
}

/// The vertices of one ring's oval: its arcs in drawing order, each cut so that no chord strays
/// from its arc by more than `tolerance`, the line closed on its first vertex.
std::vector<PlanePoint> ovalVertices(const std::vector<DrawnArc>& arcs, Real80 tolerance) {
    std::vector<PlanePoint> vertices;
    for (const DrawnArc& arc : arcs) {
        const double radius = static_cast<double>(std::fabs(arc.radius));
        const double sweep = static_cast<double>(arcSweepDegrees(arc));
        // The chord of angle t strays radius * (1 - cos(t / 2)) from its arc.
        const double share = std::min(static_cast<double>(tolerance) / std::max(radius, 1e-300), 1.0);
        const double step = 2 * std::acos(1 - share) * constant::degreesPerRadian;
        const double segments = std::clamp(std::ceil(sweep / step), 1.0, mostSegmentsPerQuarterTurn * 4);
        const int count = static_cast<int>(segments);
        for (int k = vertices.empty() ? 0 : 1; k <= count; ++k) {
            vertices.push_back(pointOnCircle(arc, arc.startDegrees + static_cast<Real80>(sweep) * k / count));
        }
    }
    if (!vertices.empty()) vertices.back() = vertices.front();
    return vertices;
}

OGRLineString lineOf(const std::vector<PlanePoint>& vertices) {
    OGRLineString line;
    line.setNumPoints(static_cast<int>(vertices.size()), FALSE);
    for (std::size_t k = 0; k < vertices.size(); ++k) {
        line.setPoint(static_cast<int>(k), static_cast<double>(vertices[k].x), static_cast<double>(vertices[k].y));
    }
    return line;
}

struct FieldDefinition {
    const char* name;
    OGRFieldType type;
};

/// Writes a GeoPackage step by step; the first failure is kept and every later step is skipped.
class GeoPackageWriter {
public:
    GeoPackageWriter(const std::string& path, QuietGdal& gdal) : path_(path), gdal_(gdal) {}

    bool ok() const { return !failure_; }
    const std::optional<OutputFailure>& failure() const { return failure_; }

    /// Runs one step of GDAL: `run` says whether GDAL reported success.
    template <typename Step>
    void step(const char* what, Step run) {
        if (failure_) return;
        gdal_.begin();
        if (!run() || gdal_.failed()) failure_ = gdal_.failure(path_, what);
    }

    OGRLayer* createLayer(GDALDataset& dataset, const char* name, OGRSpatialReference* crs,
                          OGRwkbGeometryType type, bool spatialIndex, std::initializer_list<FieldDefinition> fields) {
        OGRLayer* layer = nullptr;
        step("creating its layers", [&] {
            char** options = nullptr;
            options = CSLSetNameValue(options, "SPATIAL_INDEX", spatialIndex ? "YES" : "NO");
            layer = dataset.CreateLayer(name, crs, type, options);
            CSLDestroy(options);
            if (layer == nullptr) return false;
            for (const FieldDefinition& wanted : fields) {
                OGRFieldDefn field(wanted.name, wanted.type);
                if (layer->CreateField(&field) != OGRERR_NONE) return false;
            }
            return true;
        });
        return layer;
    }

    /// A new feature of `layer`, to be filled and handed to add().
    static OGRFeatureUniquePtr feature(OGRLayer& layer) {
        return OGRFeatureUniquePtr(OGRFeature::CreateFeature(layer.GetLayerDefn()));
    }
    void add(OGRLayer& layer, OGRFeature& feature) {
        step("writing its features", [&] { return layer.CreateFeature(&feature) == OGRERR_NONE; });
    }

private:
    std::string path_;
    QuietGdal& gdal_;
    std::optional<OutputFailure> failure_;
};

void setSource(OGRFeature& feature, const RingSource* source) {
    if (source != nullptr && !source->layer.empty()) {
        feature.SetField("source", source->layer.c_str());
    } else {
        feature.SetFieldNull(feature.GetFieldIndex("source"));
    }
}

void setReal(OGRFeature& feature, const char* name, Real80 value) {
    const double d = static_cast<double>(value);
    if (std::isfinite(d)) {
        feature.SetField(name, d);
    } else {
        feature.SetFieldNull(feature.GetFieldIndex(name));
    }
}

/// The name of a point's class, as the picture's legend gives it.
const char* className(Layer layer) {
    switch (layer) {
        case Layer::OverResidual: return pointClassNames[1];
        case Layer::TwiceOverResidual: return pointClassNames[2];
        default: return pointClassNames[0];
    }
}

const char* elementOf(Layer layer) {
    switch (layer) {
        case Layer::Axes: return "axis";
        case Layer::Triangles: return "triangle";
        default: return "radius";
    }
}

void writeLayers(GeoPackageWriter& writer, GDALDataset& dataset, OGRSpatialReference* crs, const FitRun& run,
                 const CurveStore& curves) {
    OGRLayer* ovals = writer.createLayer(dataset, ovalsLayerName, crs, wkbLineString, true,
                                         {{"ring", OFTInteger},
                                          {"source", OFTString},
                                          {"source_group", OFTString},
                                          {"source_ids", OFTString},
                                          {"semi_major", OFTReal},
                                          {"semi_minor", OFTReal},
                                          {"rms", OFTReal},
                                          {"points", OFTInteger}});
    OGRLayer* points = writer.createLayer(dataset, pointsLayerName, crs, wkbPoint, false,
                                          {{"ring", OFTInteger},
                                           {"point", OFTInteger},
                                           {"source", OFTString},
                                           {"deviation", OFTReal},
                                           {"class", OFTString}});
    OGRLayer* construction = writer.createLayer(dataset, constructionLayerName, crs, wkbLineString, true,
                                                {{"ring", OFTInteger}, {"element", OFTString}, {"layer", OFTString}});
    if (!writer.ok()) return;

    const bool ellipse = run.model == FitModel::Ellipse;
    const CoefficientVector& c = run.fit.coefficients;
    for (std::int32_t j = 1; j <= curves.curveCount() && writer.ok(); ++j) {
        const std::size_t ring = static_cast<std::size_t>(j - 1);
        const RingSource* source = ringSourceOf(curves, j);
        SemiAxes axes;
        if (ellipse) {
            const RingAxes own = EllipseModel::semiAxes(nullptr, run.parameters.rings[ring].data());
            axes = {own.semiMajor, own.semiMinor};
        } else {
            const OvalConstruction k = buildOvalConstruction(c);
            const ArcRadii radii = arcRadii(k, c.coef(coefficient::ae(j)));
            axes = semiAxes(k, radii.rMin, radii.rMax);
        }

        std::vector<DrawnArc> arcs;
        std::vector<DrawnLine> lines;
        const DrawingSink keep = [&](const DrawnEntity& entity) {
            if (const auto* arc = std::get_if<DrawnArc>(&entity)) arcs.push_back(*arc);
            // An ellipse's outline is drawn as lines: the layer takes its own, finer one below.
            const auto* line = std::get_if<DrawnLine>(&entity);
            if (line != nullptr && line->layer != Layer::Arcs) lines.push_back(*line);
        };
        if (ellipse) {
            drawEllipseRing(run.parameters, ring, j == 1, keep);
        } else {
            drawOvalCurve(c, j, j == 1, keep);
        }

        OGRFeatureUniquePtr oval = GeoPackageWriter::feature(*ovals);
        oval->SetField("ring", j);
        setSource(*oval, source);
        if (source != nullptr && !source->group.empty()) {
            oval->SetField("source_group", source->group.c_str());
        } else {
            oval->SetFieldNull(oval->GetFieldIndex("source_group"));
        }
        oval->SetField("source_ids", source != nullptr ? joinedPieceIds(*source).c_str() : "");
        setReal(*oval, "semi_major", axes.semiMajor);
        setReal(*oval, "semi_minor", axes.semiMinor);
        if (curves.pointCount(j) > 0) {
            setReal(*oval, "rms", run.quality.deviations.curveRms[ring]);
        } else {
            oval->SetFieldNull(oval->GetFieldIndex("rms"));
        }
        oval->SetField("points", curves.pointCount(j));
        const Real80 tolerance = ovalSamplingTolerance * std::fabs(axes.semiMajor);
        std::vector<PlanePoint> vertices;
        if (ellipse) {
            const int count = ellipseLineCount(run.parameters, ring, ovalSamplingTolerance);
            for (const OutlinePoint& p : sampledOutline<EllipseModel>(run.parameters, ring, count)) {
                vertices.push_back({p.x, p.y});
            }
            if (!vertices.empty()) vertices.push_back(vertices.front());
        } else {
            vertices = ovalVertices(arcs, tolerance);
        }
        const OGRLineString ovalLine = lineOf(vertices);
        oval->SetGeometry(&ovalLine);
        writer.add(*ovals, *oval);

        for (const DrawnLine& line : lines) {
            OGRFeatureUniquePtr piece = GeoPackageWriter::feature(*construction);
            // The axes and triangles are shared by every ring; the radii are this ring's.
            if (line.layer == Layer::Radii) {
                piece->SetField("ring", j);
            } else {
                piece->SetFieldNull(piece->GetFieldIndex("ring"));
            }
            piece->SetField("element", elementOf(line.layer));
            piece->SetField("layer", std::string(styleOf(line.layer).name).c_str());
            const OGRLineString pieceLine = lineOf({line.from, line.to});
            piece->SetGeometry(&pieceLine);
            writer.add(*construction, *piece);
        }

        const std::vector<Real80>& deviations = run.quality.deviations.byCurve[ring];
        OGRFeatureUniquePtr point = GeoPackageWriter::feature(*points);
        point->SetField("ring", j);
        setSource(*point, source);
        OGRPoint at;
        for (std::int32_t i = 1; i <= curves.pointCount(j) && writer.ok(); ++i) {
            const Real80 deviation = deviations[static_cast<std::size_t>(i - 1)];
            point->SetFID(OGRNullFID);
            point->SetField("point", i);
            setReal(*point, "deviation", deviation);
            point->SetField("class", className(classifyDeviation(deviation, run.quality.deviations.rms).layer));
            at.setX(static_cast<double>(curves.x(j, i)));
            at.setY(static_cast<double>(curves.y(j, i)));
            point->SetGeometry(&at);
            writer.add(*points, *point);
        }
    }
}

}  // namespace

std::optional<OutputFailure> writeFitGeoPackage(const std::string& path, const FitRun& run, const CurveStore& curves) {
    QuietGdal gdal;
    GeoPackageWriter writer(path, gdal);
    GDALDriver* driver = nullptr;
    writer.step("finding GDAL's GeoPackage driver", [&] {
        driver = geoPackageDriver();
        return driver != nullptr;
    });
    // A file of that name is replaced (the driver would otherwise open it as a dataset); a folder
    // of that name is left for the driver to refuse.
    std::error_code ignored;
    if (!std::filesystem::is_directory(std::filesystem::symlink_status(path, ignored))) {
        std::filesystem::remove(path, ignored);
    }

    GDALDatasetUniquePtr dataset;
    writer.step("creating it", [&] {
        dataset.reset(driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
        return dataset != nullptr;
    });
    const bool created = dataset != nullptr;
    if (created) {
        OGRSpatialReference crs;
        bool withCrs = false;
        if (!run.crsWkt.empty()) {
            // Only copied: an unreadable definition leaves the file without one, and the
            // coordinates keep their X, Y order whatever the system's axis order.
            gdal.begin();
            withCrs = crs.SetFromUserInput(run.crsWkt.c_str()) == OGRERR_NONE;
            crs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
        }
        writer.step("starting its transaction", [&] { return dataset->StartTransaction() == OGRERR_NONE; });
        writeLayers(writer, *dataset, withCrs ? &crs : nullptr, run, curves);
        // GDAL builds the spatial indexes and the layers' extents when a layer is synchronised,
        // which otherwise happens on closing, after the transaction.
        for (int layer = 0; layer < dataset->GetLayerCount(); ++layer) {
            writer.step("writing its indexes", [&] { return dataset->GetLayer(layer)->SyncToDisk() == OGRERR_NONE; });
        }
        writer.step("committing its transaction", [&] { return dataset->CommitTransaction() == OGRERR_NONE; });
        if (!writer.ok()) {
            gdal.begin();
            dataset->RollbackTransaction();
        }
        writer.step("closing it", [&] {
            dataset.reset();
            return true;
        });
    }
    if (writer.ok()) return std::nullopt;
    if (created) {
        dataset.reset();
        std::filesystem::remove(path, ignored);
    }
    return writer.failure();
}
