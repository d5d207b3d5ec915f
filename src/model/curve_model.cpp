#include "model/curve_model.hpp"

OutlinePoint placedOutlinePoint(const double* shared, const OutlinePoint& own) {
    // The inverse of ownFramePoint: turned by the rotation, then moved to the centre.
    const double c = std::cos(shared[placement::rotation]);
    const double s = std::sin(shared[placement::rotation]);
    return {shared[placement::centreX] + own.x * c + own.y * s, shared[placement::centreY] - own.x * s + own.y * c,
            own.normalX * c + own.normalY * s, -own.normalX * s + own.normalY * c};
}
