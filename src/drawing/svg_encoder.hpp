#pragma once
/// The SVG encoder of the drawing: a standalone SVG 1.1 picture of the same entities the DXF
/// encoder writes, for readers without CAD software.
///
/// The picture shows the fitted ovals dark over light construction lines, the points coloured
/// by their layer (within the residual, beyond it, beyond twice it), each point's deviation
/// from its nearest oval as a radial whisker magnified by a stated factor, each ring's
/// semi-axes, a scale bar, a legend and the RMS. Y points up as in CAD; the page is 1200 units
/// wide and as tall as the drawing needs, on an opaque light background of its own, so that
/// light and dark viewers show it alike. Rings, semi-axes and deviations are measured from
/// the drawn arcs (drawing/drawn_rings.hpp), so the picture of a drawing read back from its DXF
/// file and the picture of the fit that wrote it are the same.
///
/// Coordinates stay those of the drawing: the entities are written in drawing units with as
/// many decimals as a hundredth of a pixel needs, and one transform of the group with id
/// "drawing" scales them to the page and turns Y up. A drawing that lies more than a hundred
/// times its size from its own origin (a survey grid) is written less a round origin, stated
/// in the group's attribute kelmar:origin="X Y" ("0 0" otherwise).
///
/// A caller that draws through a DrawingSink collects the entities first:
///     std::vector<DrawnEntity> entities;
///     const DrawingSink toPicture = [&entities](const DrawnEntity& e) { entities.push_back(e); };
///     ... draw ...
///     writeSvgPicture(channel, entities, {"Title", residual});

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/real80.hpp"
#include "base/text_io.hpp"
#include "drawing/drawing_entities.hpp"

/// What the picture says beside what it draws.
struct PictureCaption {
    std::string title;
    /// The residual of the fit, shown as the picture's RMS. Without it the picture shows the
    /// root mean square of the point deviations it measures from the drawn rings.
    std::optional<Real80> statedRms;
    /// Where each ring came from, in words, added to its label; empty (or shorter than the
    /// rings) when the plan does not say.
    std::vector<std::string> ringSources{};
    /// Curves drawn as lines (ellipses), which the picture cannot measure as it measures arcs: the
    /// legend's words for them and how many rings they are. Empty for ovals drawn as arcs.
    std::string lineOutlines{};
    std::size_t lineOutlineRings = 0;
};

/// What a picture shows, for the caller's message.
struct PictureSummary {
    std::array<std::size_t, 3> pointsByClass{};  // within the residual, beyond it, beyond twice it
    std::size_t rings = 0;
    Real80 rms = 0;              // as shown in the picture
    bool rmsStated = false;      // the caption's, not measured
    Real80 magnification = 0;    // of the deviation whiskers; 0 when none is drawn
    std::size_t leftOut = 0;     // entities too far from the origin to draw (beyond 1e12)
};

/// Writes the picture of `entities` (in drawing order) to `picture`.
PictureSummary writeSvgPicture(OutputChannel& picture, const std::vector<DrawnEntity>& entities,
                               const PictureCaption& caption);

/// The same for a drawing that `draw` hands to the sink it is given, entity by entity in drawing
/// order (once): no entity needs to be held.
using DrawingSource = std::function<void(const DrawingSink&)>;
PictureSummary writeSvgPicture(OutputChannel& picture, const DrawingSource& draw, const PictureCaption& caption);

/// The name of a point's class in the picture's words: "within the RMS", "beyond the RMS",
/// "beyond twice the RMS"; index as in PictureSummary::pointsByClass.
extern const std::array<const char*, 3> pointClassNames;
