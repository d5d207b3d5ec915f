#pragma once
/// What the rings' own ellipses agree on, the ground every model's starting candidates are built on.

#include <vector>

#include "model/curve_model.hpp"

/// The centre, the rotation (as a placement turns it: positive clockwise, radians) and the mean
/// semi-axes of the rings' ellipses, the major one along the own x axis; and each ring's own
/// semi-axes (the mean ones for a ring that yields no ellipse), in the order of the rings.
struct MeanEllipse {
    double centreX = 0, centreY = 0;
    double rotation = 0;
    double semiMajor = 0, semiMinor = 0;
    std::vector<RingAxes> rings;
};
