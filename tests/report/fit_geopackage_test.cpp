// kelmar.gpkg read back through GDAL and ogrinfo: its layers and fields, ovals that lie on the
// fitted ovals, the points as stored, the coordinate reference system only when the run has one.

#include "report/fit_geopackage.hpp"

#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "drawing/svg_encoder.hpp"
#include "fit/own_frame_arc.hpp"
#include "model/oval_construction.hpp"
#include "report/points_listing.hpp"
#include "support/finished_fit.hpp"
#include "support/program_runner.hpp"

namespace {

namespace fs = std::filesystem;
using kelmartest::finishedRun;
using kelmartest::threeRingCurves;
using kelmartest::threeRingTruth;

GDALDatasetUniquePtr openGeoPackage(const fs::path& path) {
    GDALAllRegister();
    const char* const drivers[] = {"GPKG", nullptr};
    return GDALDatasetUniquePtr(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, drivers));
}

std::vector<std::string> fieldNames(OGRLayer& layer) {
    std::vector<std::string> names;
    OGRFeatureDefn* defn = layer.GetLayerDefn();
    for (int k = 0; k < defn->GetFieldCount(); ++k) names.push_back(defn->GetFieldDefn(k)->GetNameRef());
    return names;
}

/// A fit of three rings with sources, written to `name` in a scratch folder.
struct Written {
    fs::path path;
    CurveStore curves;
    FitRun run;
};
Written writeExample(const std::string& folder, const std::string& name = "kelmar.gpkg", const std::string& crs = "") {
    Written w;
    w.path = kelmartest::scratchDirectory(folder) / name;
    w.curves = threeRingCurves(2461830.25L, 4640112.5L);  // survey coordinates
    w.curves.sources = {{"RINGS", "", {"2F"}}, {"RINGS", "", {"30", "31"}}, {"WALL", "outer", {"7", "8", "9"}}};
    w.run = finishedRun(w.curves, threeRingTruth(2461830.25L, 4640112.5L));
    w.run.crsWkt = crs;
    const std::optional<OutputFailure> failure = writeFitGeoPackage(w.path.string(), w.run, w.curves);
    EXPECT_FALSE(failure) << failure->sentence;
    return w;
}

TEST(FitGeoPackage, HasTheThreeLayersWithTheirFields) {
    const Written w = writeExample("gpkg_layers");
    const GDALDatasetUniquePtr ds = openGeoPackage(w.path);
    ASSERT_TRUE(ds);
    EXPECT_STREQ(ds->GetDriver()->GetDescription(), "GPKG");
    ASSERT_EQ(ds->GetLayerCount(), 3);
    OGRLayer* ovals = ds->GetLayerByName("ovals");
    OGRLayer* points = ds->GetLayerByName("points");
    OGRLayer* construction = ds->GetLayerByName("construction");
    ASSERT_TRUE(ovals && points && construction);
    EXPECT_EQ(fieldNames(*ovals), (std::vector<std::string>{"ring", "source", "source_group", "source_ids",
                                                              "semi_major", "semi_minor", "rms", "points"}));
    EXPECT_EQ(fieldNames(*points), (std::vector<std::string>{"ring", "point", "source", "deviation", "class"}));
    EXPECT_EQ(fieldNames(*construction), (std::vector<std::string>{"ring", "element", "layer"}));
    EXPECT_EQ(wkbFlatten(ovals->GetGeomType()), wkbLineString);
    EXPECT_EQ(wkbFlatten(points->GetGeomType()), wkbPoint);
    EXPECT_EQ(ovals->GetFeatureCount(), 3);
    EXPECT_EQ(points->GetFeatureCount(), w.curves.totalPointCount);
    // The axes and the eight sides of the triangles once, eight radii a ring.
    EXPECT_EQ(construction->GetFeatureCount(), 2 + 8 + 8 * 3);

    const OvalConstruction k = buildOvalConstruction(w.run.fit.coefficients);
    for (auto& oval : *ovals) {
        const int j = oval->GetFieldAsInteger("ring");
        const ArcRadii radii = arcRadii(k, w.run.fit.coefficients.coef(coefficient::ae(j)));
        const SemiAxes axes = semiAxes(k, radii.rMin, radii.rMax);
        EXPECT_DOUBLE_EQ(oval->GetFieldAsDouble("semi_major"), static_cast<double>(axes.semiMajor));
        EXPECT_DOUBLE_EQ(oval->GetFieldAsDouble("semi_minor"), static_cast<double>(axes.semiMinor));
        EXPECT_DOUBLE_EQ(oval->GetFieldAsDouble("rms"),
                         static_cast<double>(w.run.quality.deviations.curveRms[static_cast<std::size_t>(j - 1)]));
        EXPECT_EQ(oval->GetFieldAsInteger("points"), w.curves.pointCount(j));
    }
    ovals->SetAttributeFilter("ring = 3");
    OGRFeatureUniquePtr third(ovals->GetNextFeature());
    ASSERT_TRUE(third);
    EXPECT_STREQ(third->GetFieldAsString("source"), "WALL");
    EXPECT_STREQ(third->GetFieldAsString("source_group"), "outer");
    EXPECT_STREQ(third->GetFieldAsString("source_ids"), "7, 8, 9");

    // The axes are those of the first ring, as in the drawing.
    const ArcRadii first = arcRadii(k, w.run.fit.coefficients.coef(coefficient::ae(1)));
    const SemiAxes firstAxes = semiAxes(k, first.rMin, first.rMax);
    std::vector<double> axisLengths;
    for (auto& piece : *construction) {
        const std::string element = piece->GetFieldAsString("element");
        EXPECT_EQ(piece->IsFieldNull(piece->GetFieldIndex("ring")), element != "radius") << element;
        if (element == "axis") axisLengths.push_back(piece->GetGeometryRef()->toLineString()->get_Length());
    }
    std::sort(axisLengths.begin(), axisLengths.end());
    ASSERT_EQ(axisLengths.size(), 2u);
    EXPECT_NEAR(axisLengths[0], 2 * static_cast<double>(firstAxes.semiMinor), 1e-8);
    EXPECT_NEAR(axisLengths[1], 2 * static_cast<double>(firstAxes.semiMajor), 1e-8);
}

TEST(FitGeoPackage, OvalsLieOnTheFittedOvals) {
    const Written w = writeExample("gpkg_ovals");
    const GDALDatasetUniquePtr ds = openGeoPackage(w.path);
    ASSERT_TRUE(ds);
    // The vertices of ring j as curve j, and the middles of their chords likewise.
    CurveStore vertices, middles;
    vertices.curves.resize(3);
    middles.curves.resize(3);
    std::vector<double> semiMajor(3);
    for (auto& oval : *ds->GetLayerByName("ovals")) {
        const std::size_t ring = static_cast<std::size_t>(oval->GetFieldAsInteger("ring") - 1);
        ASSERT_LT(ring, 3u);
        semiMajor[ring] = oval->GetFieldAsDouble("semi_major");
        const OGRLineString* line = oval->GetGeometryRef()->toLineString();
        ASSERT_GT(line->getNumPoints(), 8 * 8);
        EXPECT_LT(line->getNumPoints(), 100000);
        EXPECT_EQ(line->getX(0), line->getX(line->getNumPoints() - 1));  // closed
        EXPECT_EQ(line->getY(0), line->getY(line->getNumPoints() - 1));
        for (int v = 0; v < line->getNumPoints(); ++v) {
            vertices.curves[ring].x.push_back(line->getX(v));
            vertices.curves[ring].y.push_back(line->getY(v));
            if (v == 0) continue;
            middles.curves[ring].x.push_back((line->getX(v - 1) + line->getX(v)) / 2);
            middles.curves[ring].y.push_back((line->getY(v - 1) + line->getY(v)) / 2);
        }
    }
    const OwnFrameDeviations onOval = ownFrameDeviations(w.run.fit.coefficients, vertices);
    const OwnFrameDeviations betweenVertices = ownFrameDeviations(w.run.fit.coefficients, middles);
    for (std::size_t ring = 0; ring < 3; ++ring) {
        ASSERT_FALSE(onOval.byCurve[ring].empty());
        Real80 farthest = 0, farthestChord = 0;
        for (const Real80 d : onOval.byCurve[ring]) farthest = std::max(farthest, std::fabs(d));
        for (const Real80 d : betweenVertices.byCurve[ring]) farthestChord = std::max(farthestChord, std::fabs(d));
        // Survey coordinates hold about 1e-9 in double.
        EXPECT_LT(farthest, 1e-8L) << "ring " << ring + 1;
        EXPECT_LT(farthestChord, ovalSamplingTolerance * semiMajor[ring] * 1.001 + 1e-8) << "ring " << ring + 1;
    }
}

TEST(FitGeoPackage, PointsAreTheStoredPointsWithTheirDeviationAndClass) {
    const Written w = writeExample("gpkg_points");
    const GDALDatasetUniquePtr ds = openGeoPackage(w.path);
    ASSERT_TRUE(ds);
    std::size_t seen = 0, beyond = 0;
    for (auto& point : *ds->GetLayerByName("points")) {
        const int j = point->GetFieldAsInteger("ring");
        const int i = point->GetFieldAsInteger("point");
        ASSERT_TRUE(j >= 1 && j <= 3 && i >= 1 && i <= w.curves.pointCount(j)) << j << " " << i;
        const OGRPoint* at = point->GetGeometryRef()->toPoint();
        EXPECT_EQ(at->getX(), static_cast<double>(w.curves.x(j, i)));
        EXPECT_EQ(at->getY(), static_cast<double>(w.curves.y(j, i)));
        const Real80 deviation = w.run.quality.deviations.byCurve[static_cast<std::size_t>(j - 1)][static_cast<std::size_t>(i - 1)];
        EXPECT_EQ(point->GetFieldAsDouble("deviation"), static_cast<double>(deviation));
        const Layer layer = classifyDeviation(deviation, w.run.quality.deviations.rms).layer;
        const std::size_t cls = layer == Layer::WithinResidual ? 0 : layer == Layer::OverResidual ? 1 : 2;
        EXPECT_STREQ(point->GetFieldAsString("class"), pointClassNames[cls]);
        EXPECT_STREQ(point->GetFieldAsString("source"), j == 3 ? "WALL" : "RINGS");
        beyond += cls > 0;
        ++seen;
    }
    EXPECT_EQ(seen, static_cast<std::size_t>(w.curves.totalPointCount));
    EXPECT_GT(beyond, 0u);  // uniform noise: some points lie beyond the rms
}

/// What ogrinfo prints for `arguments` on `path`; empty when ogrinfo is missing.
std::string ogrinfo(const fs::path& path, const std::string& arguments) {
    const fs::path out = path.parent_path() / ".ogrinfo";
    const std::string command = "ogrinfo -ro " + arguments + " '" + path.string() + "' > '" + out.string() + "' 2>&1";
    if (std::system(command.c_str()) != 0) return "";
    return kelmartest::readFile(out);
}

TEST(FitGeoPackage, OpensWithOgrinfoAndHasNoSpatialIndexOnThePoints) {
    if (std::system("command -v ogrinfo > /dev/null 2>&1") != 0) GTEST_SKIP() << "ogrinfo (gdal-bin) is not installed";
    const Written w = writeExample("gpkg_ogrinfo");
    const std::string summary = ogrinfo(w.path, "-so -al");
    for (const char* part : {"Layer name: ovals", "Layer name: points", "Layer name: construction",
                             "Geometry: Line String", "Geometry: Point", "semi_major: Real", "source: String",
                             "deviation: Real", "class: String", "Feature Count: 3\n"}) {
        EXPECT_NE(summary.find(part), std::string::npos) << part << "\n" << summary;
    }
    const std::string indexes = ogrinfo(w.path, "-sql \"SELECT name FROM sqlite_master WHERE name LIKE 'rtree%'\"");
    EXPECT_NE(indexes.find("rtree_ovals_geom"), std::string::npos) << indexes;
    EXPECT_EQ(indexes.find("rtree_points"), std::string::npos) << indexes;
}

// ---------------------------------------------------------------- the coordinate reference system

struct CrsRow {
    std::string name;
    std::string definition;  // as the user would type it for GDAL; "" none
    bool written;
};
void PrintTo(const CrsRow& row, std::ostream* os) { *os << row.name; }

class GeoPackageCrs : public ::testing::TestWithParam<CrsRow> {};

TEST_P(GeoPackageCrs, IsCopiedWhenKnownAndNeverMovesTheCoordinates) {
    std::string wkt = GetParam().definition;
    OGRSpatialReference expected;
    if (GetParam().written) {
        ASSERT_EQ(expected.SetFromUserInput(GetParam().definition.c_str()), OGRERR_NONE);
        char* text = nullptr;
        expected.exportToWkt(&text);
        wkt = text;
        CPLFree(text);
    }
    const Written w = writeExample("gpkg_crs_" + GetParam().name, "kelmar.gpkg", wkt);
    const GDALDatasetUniquePtr ds = openGeoPackage(w.path);
    ASSERT_TRUE(ds);
    for (OGRLayer* layer : ds->GetLayers()) {
        const OGRSpatialReference* crs = layer->GetSpatialRef();
        if (GetParam().written) {
            ASSERT_NE(crs, nullptr) << layer->GetName();
            // GDAL hands a layer's system out with X, Y in the traditional order, whatever the
            // authority's: the definition is compared, the coordinates below.
            const char* const sameDefinition[] = {"IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES", nullptr};
            EXPECT_TRUE(crs->IsSame(&expected, sameDefinition)) << layer->GetName();
        } else {
            // GDAL reads a layer without one as an undefined system, or as none.
            EXPECT_TRUE(crs == nullptr || crs->GetAuthorityCode(nullptr) == nullptr) << layer->GetName();
        }
    }
    OGRLayer* points = ds->GetLayerByName("points");
    points->SetAttributeFilter("ring = 1 AND point = 1");
    OGRFeatureUniquePtr first(points->GetNextFeature());
    ASSERT_TRUE(first);
    EXPECT_EQ(first->GetGeometryRef()->toPoint()->getX(), static_cast<double>(w.curves.x(1, 1)));
    EXPECT_EQ(first->GetGeometryRef()->toPoint()->getY(), static_cast<double>(w.curves.y(1, 1)));
}

INSTANTIATE_TEST_SUITE_P(FitGeoPackage, GeoPackageCrs,
                         ::testing::Values(CrsRow{"none", "", false},
                                           CrsRow{"projected", "EPSG:3003", true},
                                           // Latitude first by its authority: X stays X all the same.
                                           CrsRow{"geographicLatitudeFirst", "EPSG:4326", true},
                                           CrsRow{"unreadable", "not a coordinate system", false}),
                         [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------- where it is written

TEST(FitGeoPackage, WritesAnyNameSilentlyAndReplacesAFileThere) {
    const fs::path dir = kelmartest::scratchDirectory("gpkg_names");
    const fs::path path = dir / "kelmar.gpkg.part-1234";
    kelmartest::writeFile(path, "an earlier file, not a GeoPackage\n");
    const CurveStore curves = threeRingCurves();
    const FitRun run = finishedRun(curves, threeRingTruth());
    ::testing::internal::CaptureStderr();
    const std::optional<OutputFailure> failure = writeFitGeoPackage(path.string(), run, curves);
    const std::string err = ::testing::internal::GetCapturedStderr();
    ASSERT_FALSE(failure) << failure->sentence;
    EXPECT_EQ(err, "");  // GDAL's warning about the extension is not the user's business
    const GDALDatasetUniquePtr ds = openGeoPackage(path);
    ASSERT_TRUE(ds);
    EXPECT_EQ(ds->GetLayerByName("ovals")->GetFeatureCount(), 3);
    // Without sources the source fields are empty.
    OGRFeatureUniquePtr oval(ds->GetLayerByName("ovals")->GetNextFeature());
    EXPECT_TRUE(oval->IsFieldNull(oval->GetFieldIndex("source")));
    EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(dir), fs::directory_iterator()), std::vector<fs::path>{path});
}

struct BlockedRow {
    std::string name;
    std::string target;  // relative to a scratch folder
    bool folderThere;    // a folder (holding a file) at the target
};
void PrintTo(const BlockedRow& row, std::ostream* os) { *os << row.name; }

class BlockedGeoPackage : public ::testing::TestWithParam<BlockedRow> {};

TEST_P(BlockedGeoPackage, FailsWithASentenceAndLeavesNothing) {
    const fs::path dir = kelmartest::scratchDirectory("gpkg_blocked");
    const fs::path path = dir / GetParam().target;
    if (GetParam().folderThere) {
        fs::create_directories(path);
        kelmartest::writeFile(path / "keep", "x");
    }
    const CurveStore curves = threeRingCurves();
    const FitRun run = finishedRun(curves, threeRingTruth());
    ::testing::internal::CaptureStderr();
    const std::optional<OutputFailure> failure = writeFitGeoPackage(path.string(), run, curves);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->status, 0);
    EXPECT_NE(failure->sentence.find("'" + path.string() + "'"), std::string::npos) << failure->sentence;
    EXPECT_EQ(fs::is_directory(path), GetParam().folderThere);
    EXPECT_EQ(fs::exists(path / "keep"), GetParam().folderThere);
    if (!GetParam().folderThere) {
        EXPECT_FALSE(fs::exists(path));
    }
}

INSTANTIATE_TEST_SUITE_P(FitGeoPackage, BlockedGeoPackage,
                         ::testing::Values(BlockedRow{"missingFolder", "nowhere/kelmar.gpkg", false},
                                           BlockedRow{"folderOfThatName", "kelmar.gpkg", true}),
                         [](const auto& info) { return info.param.name; });

}  // namespace
