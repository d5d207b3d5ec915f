#pragma once
/// The drawing as primitives: points, lines and arcs, each on one of the drawing's seven layers,
/// whose names and colours stand in one table. Encoders (DXF, SVG) turn them into files.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <variant>

#include "base/real80.hpp"
#include "model/primitives.hpp"

/// The layers of the drawing: the construction of the first curve, every curve's radii and
/// arcs, and the points by how far they lie from their oval.
enum class Layer { Axes, Triangles, Radii, Arcs, TwiceOverResidual, OverResidual, WithinResidual };

/// A layer's name in the drawing, the colour (DXF colour index) of all its entities, and its
/// colour in a picture.
struct LayerStyle {
    Layer layer;
    std::string_view name;
    std::int32_t dxfColour;
    std::string_view pictureColour;
};

/// One row per layer, in the order of Layer. The DXF colours suit a black CAD screen, where
/// white (7) and yellow (2) stand out; a picture is read on a light page, so it takes the same
/// hues where they read on it: construction lines light, the ovals dark, and points in three
/// colours that stay apart for readers with red-green colour blindness.
inline constexpr std::array<LayerStyle, 7> layerTable{{
    {Layer::Axes, "assi", 2, "#b3a46b"},
    {Layer::Triangles, "triangolo", 1, "#eba8a8"},
    {Layer::Radii, "raggi", 4, "#9ccfdc"},
    {Layer::Arcs, "archi", 7, "#1c2533"},
    {Layer::TwiceOverResidual, "Maggiore_scarto_doppio", 1, "#d7191c"},
    {Layer::OverResidual, "Scarto", 2, "#f29e0c"},
    {Layer::WithinResidual, "Minore_scarto", 7, "#2c7bb6"},
}};

constexpr const LayerStyle& styleOf(Layer layer) { return layerTable[static_cast<std::size_t>(layer)]; }

/// A digitised point.
struct DrawnPoint {
    Layer layer;
    PlanePoint at;
};

/// A straight line from one point to another.
struct DrawnLine {
    Layer layer;
    PlanePoint from, to;
};

/// An arc drawn counter-clockwise from startDegrees to endDegrees (degrees from the positive
/// X axis, as computed: the end may be smaller than the start).
struct DrawnArc {
    Layer layer;
    PlanePoint centre;
    Real80 radius;
    Real80 startDegrees, endDegrees;
};

using DrawnEntity = std::variant<DrawnPoint, DrawnLine, DrawnArc>;

/// Receives the entities of a drawing one at a time, in drawing order.
using DrawingSink = std::function<void(const DrawnEntity&)>;
