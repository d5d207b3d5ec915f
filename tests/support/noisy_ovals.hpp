#pragma once
// Digitised curves made up for the tests: points along the eight arcs of a family of ovals,
// moved along their radius by seeded noise (with the generator's arc sweeps and random units),
// and the same points as a DXF drawing.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <utility>

#include "base/records.hpp"
#include "model/oval_construction.hpp"
#include "model/primitives.hpp"
#include "oval_sampling.hpp"

namespace kelmartest {

/// `perArc` points on each arc of every curve of `truth` (coefficient 7 + j is curve j's AE), at
/// the middles of equal parts of the arc's sweep, each moved along its radius by up to `noise`
/// either way. The generator spaces its points along the whole curve instead; the tests keep
/// every arc equally covered, so that each arc weighs in the fit whatever its length.
inline CurveStore noisyOvalStore(const CoefficientVector& truth, int perArc, Real80 noise, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    CurveStore store;
    const OvalConstruction k = buildOvalConstruction(truth);
    for (std::int32_t j = 1; j <= truth.curveCount(); ++j) {
        Curve curve;
        for (const ArcTableRow& arc : arcTable(k, arcRadii(k, truth.coef(coefficient::ae(j))))) {
            const Real80 start = directionAngle(arc.startFrom.x, arc.startFrom.y, arc.startTo.x, arc.startTo.y);
            const Real80 sweep = arcSweep(arc);
            for (int s = 0; s < perArc; ++s) {
                const Real80 angle = start + sweep * (s + 0.5L) / perArc;
                const Real80 radius = arc.radius + noise * (2 * uniformUnit(random()) - 1);
                curve.x.push_back(arc.centre.x + radius * std::cos(angle));
                curve.y.push_back(arc.centre.y + radius * std::sin(angle));
            }
        }
        store.totalPointCount += static_cast<std::int32_t>(curve.x.size());
        store.curves.push_back(std::move(curve));
    }
    return store;
}

/// The curves as an R12 DXF of POLYLINE entities, coordinates with `decimals` decimals.
inline std::string dxfOf(const CurveStore& store, int decimals) {
    std::string text = "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n";
    char number[64];
    for (const Curve& curve : store.curves) {
        text += "  0\r\nPOLYLINE\r\n  8\r\n0\r\n 66\r\n     1\r\n";
        for (std::size_t i = 0; i < curve.x.size(); ++i) {
            text += "  0\r\nVERTEX\r\n  8\r\n0\r\n 10\r\n";
            std::snprintf(number, sizeof number, "%.*Lf", decimals, curve.x[i]);
            text += number;
            text += "\r\n 20\r\n";
            std::snprintf(number, sizeof number, "%.*Lf", decimals, curve.y[i]);
            text += number;
            text += "\r\n 30\r\n0.0\r\n";
        }
        text += "  0\r\nSEQEND\r\n";
    }
    return text + "  0\r\nENDSEC\r\n  0\r\nEOF\r\n";
}

}  // namespace kelmartest
