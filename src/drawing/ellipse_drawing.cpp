#include "drawing/ellipse_drawing.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "model/ellipse_model.hpp"

int ellipseLineCount(const CurveParameters& parameters, std::size_t ring, double tolerance) {
    const RingAxes axes = EllipseModel::semiAxes(nullptr, parameters.rings.at(ring).data());
    const double a = std::max(axes.semiMajor, 0.0), b = std::max(axes.semiMinor, 0.0);
    if (!(a > 0) || !(b > 0)) return fewestEllipseLines;
    // A chord of length L where the curvature is greatest (a / b^2, at the ends of the major axis)
    // strays L^2 a / (8 b^2) from the ellipse; the perimeter is at most 2 pi times the root mean
    // square of the semi-axes.
    const double chord = b * std::sqrt(8 * tolerance);
    const double perimeter = 2 * std::numbers::pi * std::sqrt((a * a + b * b) / 2);
    const double count = std::ceil(perimeter / chord);
    return static_cast<int>(std::clamp(count, static_cast<double>(fewestEllipseLines),
                                       static_cast<double>(mostEllipseLines)));
}

void drawEllipseRing(const CurveParameters& parameters, std::size_t ring, bool isFirstRing, const DrawingSink& draw) {
    const double* shared = parameters.shared.data();
    const double* block = parameters.rings.at(ring).data();
    if (isFirstRing) {
        const double sx = block[EllipseModel::semiX], sy = block[EllipseModel::semiY];
        auto placed = [shared](double x, double y) {
            const OutlinePoint p = placedOutlinePoint(shared, {x, y, 0, 0});
            return PlanePoint{p.x, p.y};
        };
        // The major axis first, as the oval's drawing has it.
        if (sx >= sy) {
            draw(DrawnLine{Layer::Axes, placed(sx, 0), placed(-sx, 0)});
            draw(DrawnLine{Layer::Axes, placed(0, sy), placed(0, -sy)});
        } else {
            draw(DrawnLine{Layer::Axes, placed(0, sy), placed(0, -sy)});
            draw(DrawnLine{Layer::Axes, placed(sx, 0), placed(-sx, 0)});
        }
    }
    const std::vector<OutlinePoint> outline =
        sampledOutline<EllipseModel>(parameters, ring, ellipseLineCount(parameters, ring));
    for (std::size_t k = 0; k < outline.size(); ++k) {
        const OutlinePoint& from = outline[k];
        const OutlinePoint& to = outline[(k + 1) % outline.size()];
        draw(DrawnLine{Layer::Arcs, {from.x, from.y}, {to.x, to.y}});
    }
}
