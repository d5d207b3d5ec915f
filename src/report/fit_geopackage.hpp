#pragma once
/// kelmar.gpkg: the fitted ovals, the points with their deviations and the construction of a
/// finished fit, as a GeoPackage that a GIS lays over the plan.
///
/// Three layers, in the plan's own X, Y: `ovals` (one closed line per ring, sampled along its
/// eight arcs), `points` (one point per digitised point, without a spatial index: on a large plan
/// it would cost more than the fit) and `construction` (the axes, the triangles whose corners are
/// the arcs' centres, and each ring's radii to the junctions of its arcs, as in the drawing).
/// Everything is written in one transaction; a coordinate reference system is written only when
/// the run carries the plan's.

#include <optional>
#include <string>

#include "base/output_set.hpp"

#include "base/records.hpp"
#include "report/fit_report.hpp"

inline constexpr const char* ovalsLayerName = "ovals";
inline constexpr const char* pointsLayerName = "points";
inline constexpr const char* constructionLayerName = "construction";

/// The sampled oval strays from its arcs by at most this share of the ring's semi-major axis.
inline constexpr double ovalSamplingTolerance = 1e-6;

/// Writes the GeoPackage of `run` to `path` (replacing a file of that name; the GeoPackage driver
/// is chosen by name, whatever the file's extension). Nothing is left at `path` when it fails.
std::optional<OutputFailure> writeFitGeoPackage(const std::string& path, const FitRun& run, const CurveStore& curves);
