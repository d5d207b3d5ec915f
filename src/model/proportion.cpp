#include "model/proportion.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// The first few out of proportion are named, the rest counted.
constexpr std::size_t namedAtMost = 3;

/// A number of any size for a sentence: 6 significant digits.
std::string shortNumber(Real80 value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6Lg", value);
    return text;
}

}  // namespace

OutOfProportion outOfProportion(const CurveStore& curves, const CoefficientVector& c) {
    OutOfProportion found;
    const PointBox box = pointBox(curves);
    const Real80 minX = box.minX, maxX = box.maxX, minY = box.minY, maxY = box.maxY;
    const Real80 halfSize = std::max(maxX / 2 - minX / 2, maxY / 2 - minY / 2);
    found.span = 2 * halfSize;
    if (halfSize == 0) return found;  // a single place: there is no size to compare with

    auto check = [&](Real80 halfLength, const std::string& what, Real80 shown) {
        if (!(std::fabs(halfLength) / proportionLimit > halfSize)) return;
        found.count += 1;
        if (found.named.size() < namedAtMost) found.named.push_back(what + " = " + shortNumber(shown));
    };
    check(c.coef(coefficient::oa) / 2, "OA", c.coef(coefficient::oa));
    check(c.coef(coefficient::ob) / 2, "OB", c.coef(coefficient::ob));
    check(c.coef(coefficient::oc) / 2, "OC", c.coef(coefficient::oc));
    check(c.coef(coefficient::dc) / 2, "DC", c.coef(coefficient::dc));
    for (std::int32_t j = 1; j <= c.curveCount(); ++j) {
        check(c.coef(coefficient::ae(j)) / 2, "AE of curve " + std::to_string(j), c.coef(coefficient::ae(j)));
    }
    check(c.coef(coefficient::centreX) / 2 - (minX / 2 + maxX / 2) / 2, "centre X", c.coef(coefficient::centreX));
    check(c.coef(coefficient::centreY) / 2 - (minY / 2 + maxY / 2) / 2, "centre Y", c.coef(coefficient::centreY));
    return found;
}

std::string outOfProportionSentence(const OutOfProportion& found) {
    std::string list;
    for (std::size_t i = 0; i < found.named.size(); ++i) list += (i == 0 ? "" : ", ") + found.named[i];
    if (found.count > found.named.size()) list += " and " + std::to_string(found.count - found.named.size()) + " more";
    return "the fitted oval is out of all proportion to the points, which span " + shortNumber(found.span) + ": " +
           list + " (a length, or a distance of the centre from the middle of the points, more than " +
           shortNumber(proportionLimit) + " times the span)";
}
