#include "model/four_centre_limit.hpp"

#include <cmath>

#include "model/four_centre_model.hpp"
#include "model/primitives.hpp"

CoefficientVector limitingEightCentre(const CurveParameters& fourCentre) {
    const double* shape = fourCentre.shared.data() + placement::count;
    const Real80 a = shape[FourCentreModel::oa];
    const Real80 b = shape[FourCentreModel::ob];
    const Real80 c = a * static_cast<Real80>(limitingOcShareOfOa);
    CoefficientVector v;
    v.values.assign(static_cast<std::size_t>(coefficient::sharedCount) + fourCentre.rings.size(), 0);
    v.coef(coefficient::oa) = a;
    v.coef(coefficient::ob) = b;
    v.coef(coefficient::centreX) = fourCentre.shared[placement::centreX];
    v.coef(coefficient::centreY) = fourCentre.shared[placement::centreY];
    v.coef(coefficient::rotation) = fourCentre.shared[placement::rotation];
    v.coef(coefficient::oc) = c;
    // The construction's own |C1 B1|, so that D falls on B to the last bit it can.
    v.coef(coefficient::dc) = pointDistance(c, 0.0L, 0.0L, b);
    for (std::size_t j = 0; j < fourCentre.rings.size(); ++j) {
        v.coef(coefficient::ae(static_cast<std::int32_t>(j + 1))) = fourCentre.rings[j].at(FourCentreModel::ae);
    }
    return v;
}

bool collapsedOntoFourCentre(const OvalConstruction& k) {
    const bool dOnB = std::fabs(k.dc - k.cbLength) <= collapseShare * k.cbLength;
    const bool cOnA = std::fabs(k.oc - k.oa) <= collapseShare * k.oa;
    return dOnB || cOnA;
}
