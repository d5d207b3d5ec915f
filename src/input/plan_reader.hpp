#pragma once
/// Reads the rings of a plan for the commands: CAD drawings and GIS datasets through GDAL,
/// survey point files and kelmar's own point list; with the layers and the pieces that
/// become rings, what was left out and why, and a sentence instead of the rings when the plan
/// cannot be used.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/records.hpp"

/// What the user chose to read: --layer (repeatable), --ring-by, --columns as typed.
struct PlanSelection {
    std::vector<std::string> layers;
    std::string ringBy;   // empty, "layer", or the name of a field
    std::string columns;  // X,Y[,RING] for a survey file without header; empty when not given
};

/// One layer of the plan and what it holds, as kinds with their counts.
struct PlanLayer {
    std::string name;
    std::vector<std::pair<std::string, std::int64_t>> kinds;  // "LWPOLYLINE" 3, "TEXT" 2
    bool off = false;     // switched off in the drawing
    bool frozen = false;  // frozen in the drawing
};

/// A plan as read: its rings with their sources (one per ring), and what the reading saw.
struct PlanContents {
    std::string format;                 // "DXF drawing", "GeoPackage", "survey point file", ...
    std::vector<PlanLayer> layers;      // every layer with something in model space, in file order
    std::vector<std::string> skipped;   // one phrase per reason: "2 entities in paper space"
    std::vector<std::string> notes;     // sentences the user should see
    CurveStore rings;
    bool ownPointList = false;          // read by the reader of kelmar's own point list
};

/// Why a plan cannot be used, as one sentence.
struct PlanProblem {
    std::string sentence;
    bool usage = false;  // the command line is at fault (a malformed option), not the file
};

/// Either the contents or the problem.
struct PlanReading {
    std::optional<PlanProblem> problem;
    PlanContents contents;
};

/// Arcs and bulges become one vertex per this many degrees of turn.
inline constexpr double arcStepDegrees = 1.0;

/// Reads `name` with `selection`. Paper space, layers that are off or frozen (unless --layer
/// names them), text, dimensions, hatches and leaders are left out and counted in `skipped`;
/// multi-geometries are split into their parts; a SPLINE given by fit points alone (which GDAL
/// skips) is read from its fit points; every curve left is a ring (one whose last
/// vertex equals its first keeps it once), the points of a layer one ring, unless --ring-by
/// groups them. The plan is refused when no reader opens it, a binary DXF, --layer or
/// --ring-by naming nothing in it, and a selection that leaves no ring.
PlanReading readPlanFile(const std::string& name, const PlanSelection& selection);

/// Every format readPlanFile reads, as a sentence names them.
inline constexpr const char* planFormats =
    "ASCII DXF drawings; GeoPackage, Shapefile, GeoJSON, KML and CSV datasets; survey point files with columns of "
    "X and Y; and kelmar's own point list (a count, then X Y lines)";
