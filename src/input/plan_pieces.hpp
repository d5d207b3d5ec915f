#pragma once
/// The geometry of a plan as pieces (one curve or one point each, with its layer and id), the
/// choice of the pieces a run keeps, and their grouping into rings with their sources.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "base/records.hpp"

/// One curve or one point read from a plan.
struct PlanPiece {
    std::string layer;   // the CAD layer's name, or the GIS dataset's layer
    std::string id;      // the entity's handle or the feature's id
    std::string kind;    // what it was in the plan, as the listing names it (LWPOLYLINE, Point, ...)
    std::string group;   // the value of the --ring-by field; empty without one
    bool isPoint = false;
    Curve points;        // a curve's vertices in drawing order, or the one point
};

/// How pieces become rings: each curve its own ring and the points of a layer one ring; all
/// pieces of a layer one ring; all pieces with the same value of a field one ring.
enum class RingGrouping { ByPiece, ByLayer, ByField };

/// A curve whose last vertex equals its first keeps that vertex once.
void dropRepeatedClosingVertex(Curve& curve);

/// True when `name` names `layer`: layer names compare without regard to case, as CAD programs
/// take them.
bool sameLayerName(const std::string& name, const std::string& layer);

/// The first name in `wanted` that names none of `present`; none when every name does.
std::optional<std::string> unknownLayer(const std::vector<std::string>& wanted, const std::vector<std::string>& present);

/// The pieces on the layers `wanted` names (all pieces when it is empty), in their order.
std::vector<PlanPiece> piecesOnLayers(std::vector<PlanPiece> pieces, const std::vector<std::string>& wanted);

/// The rings the pieces make under `grouping`, in the order of each ring's first piece, with one
/// source each; a ring's points are its pieces' points in file order. Pieces without points
/// make no ring.
CurveStore ringsOfPieces(const std::vector<PlanPiece>& pieces, RingGrouping grouping);

/// The items of `names` joined with commas, each in quotes, at most `shown` of them and a count
/// of the rest: for sentences that list layers or fields.
std::string quotedList(const std::vector<std::string>& names, std::size_t shown = 20);
