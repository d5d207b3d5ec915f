#pragma once
/// The four-centre oval as an eight-centre construction in its limiting position (D on B: the
/// intermediate arcs share the top and bottom arcs' centre and radius), and the test of whether an
/// eight-centre construction has collapsed onto a four-centre oval.

#include "base/records.hpp"
#include "model/curve_model.hpp"
#include "model/oval_construction.hpp"

/// In the limiting position OC no longer changes the curve: C only marks where the top arc hands
/// over to the intermediate arc, which lies on the same circle. Half of OA keeps C as far from O
/// as from A1, so that the directions from B2 to O, to C1 and to A1 that the dialogue's
/// construction and sector test take stay well apart.
inline constexpr double limitingOcShareOfOa = 0.5;
/// The same in words, for the report, kelmar.json and the console.
inline constexpr const char* limitingOcReason =
    "OC does not change a four-centre oval (with D on B the intermediate arcs share the top arcs' centre and "
    "radius): OA / 2 is written, which keeps C midway between O and A1, so that the dialogue's construction "
    "and sector test keep their directions apart";

/// The eight-centre coefficients (rotation in radians) of the four-centre family `fourCentre`
/// (FourCentreModel's parameters): its centre, rotation, OA, OB and end radii AE, with
/// OC = OA * limitingOcShareOfOa and DC = |C1 B1|, computed as the construction computes it.
CoefficientVector limitingEightCentre(const CurveParameters& fourCentre);

/// A construction this near a four-centre oval (as a share of |C1 B1| and of OA) has collapsed
/// onto one: the solver stops on such a boundary without reaching it exactly.
inline constexpr Real80 collapseShare = 1e-3L;

/// True when the eight-centre construction is, within collapseShare, a four-centre oval: D on B
/// (the intermediate arcs on the top arcs' circle), or C on A1 (the intermediate arcs sweep no
/// angle, their neighbours meeting on the line from B2 through A1).
bool collapsedOntoFourCentre(const OvalConstruction& construction);
