#include "fit/ring_deviations.hpp"

#include <ceres/jet.h>

#include <array>
#include <cmath>

#include "fit/own_frame_arc.hpp"

namespace {

using Jet4 = ceres::Jet<double, 4>;  // by OA, OB and the two fractions

}  // namespace

bool evaluateRing(const RingPoints& ring, const double* shared, double ae, double* deviations,
                  double* sharedDerivatives, double* aeDerivatives) {
    return evaluateRingStretch(ring, 0, ring.x.size(), shared, ae, deviations, sharedDerivatives, aeDerivatives);
}

bool evaluateRingStretch(const RingPoints& ring, std::size_t first, std::size_t count, const double* shared,
                         double ae, double* deviations, double* sharedDerivatives, double* aeDerivatives) {
    using namespace variable;
    const QuadrantOval<Jet4> oval = quadrantOvalOf(Jet4(shared[oa], 0), Jet4(shared[ob], 1),
                                                   Jet4(shared[cFraction], 2), Jet4(shared[dFraction], 3));
    const QuadrantOval<double> plain{oval.a.a,  oval.b.a,       oval.c.a,      oval.dx.a,
                                     oval.dy.a, oval.stepMed.a, oval.stepMax.a};
    const std::array<QuadrantArc<Jet4>, 3> arcs{quadrantArc(oval, ArcKind::End),
                                                 quadrantArc(oval, ArcKind::Intermediate),
                                                 quadrantArc(oval, ArcKind::TopOrBottom)};
    const double cosine = std::cos(shared[rotation]);
    const double sine = std::sin(shared[rotation]);
    bool finite = true;
    for (std::size_t i = 0; i < count; ++i) {
        // The point in the oval's own frame, folded into the first quadrant.
        const double dx = ring.x[first + i] - shared[centreX];
        const double dy = ring.y[first + i] - shared[centreY];
        const double lx = dx * cosine - dy * sine;
        const double ly = dx * sine + dy * cosine;
        const double sx = lx < 0 ? -1 : 1;
        const double sy = ly < 0 ? -1 : 1;
        const double qx = sx * lx;
        const double qy = sy * ly;
        const QuadrantArc<Jet4>& arc = arcs[static_cast<std::size_t>(arcKindAt(plain, qx, qy))];
        const double ex = qx - arc.centreX.a;
        const double ey = qy - arc.centreY.a;
        const double distance = std::sqrt(ex * ex + ey * ey);
        deviations[i] = distance - (ae + arc.radiusOverAe.a);
        finite = finite && std::isfinite(deviations[i]);
        if (aeDerivatives != nullptr) aeDerivatives[i] = -1;
        if (sharedDerivatives == nullptr) continue;
        // The unit vector from the arc's centre to the point (none at the centre itself).
        const double nx = distance > 0 ? ex / distance : 0;
        const double ny = distance > 0 ? ey / distance : 0;
        double* row = sharedDerivatives + i * sharedVariableCount;
        row[centreX] = -(nx * sx * cosine + ny * sy * sine);
        row[centreY] = nx * sx * sine - ny * sy * cosine;
        row[rotation] = -nx * sx * ly + ny * sy * lx;
        for (int k = 0; k < 4; ++k) {
            row[oa + k] = -(nx * arc.centreX.v[k] + ny * arc.centreY.v[k] + arc.radiusOverAe.v[k]);
        }
    }
    return finite;
}

std::vector<double> ringDeviations(const RingPoints& ring, const double* shared, double ae) {
    std::vector<double> deviations(ring.x.size());
    evaluateRing(ring, shared, ae, deviations.data(), nullptr, nullptr);
    return deviations;
}
