#pragma once
/// The eight-centre oval built from the coefficient vector: ten construction points, the
/// radii of each curve, its semi-axes and its table of eight arcs.

#include <array>
#include <optional>
#include <string>

#include "base/input_problem.hpp"
#include "base/real80.hpp"
#include "base/records.hpp"
#include "model/primitives.hpp"

/// The ten construction points, in the order they are held and turned.
enum class ConstructionPoint { A1, B1, A2, B2, C1, C2, D1, D2, D3, D4 };

/// The eight arcs, counter-clockwise from the top; the numbering is also the order of
/// the sector test.
enum class OvalArc { Top = 1, UpperLeft, LeftEnd, LowerLeft, Bottom, LowerRight, RightEnd, UpperRight };

/// The construction shared by every curve of a run.
struct OvalConstruction {
    Real80 oa = 0, ob = 0, oc = 0, dc = 0;  // absolute values a, b, c, d
    Real80 cbLength = 0;                    // m, the length of C1-B1
    std::array<PlanePoint, 10> local{};     // in the oval's own frame
    std::array<PlanePoint, 10> placed{};    // turned by theta and moved to the centre
    Real80 stepMed = 0;                     // |A1 D4| in the local frame
    Real80 stepMax = 0;                     // |B2 D4| in the local frame
    Real80 theta = 0, cx = 0, cy = 0;       // the placement, for placePoint

    const PlanePoint& localPoint(ConstructionPoint p) const { return local[static_cast<int>(p)]; }
    const PlanePoint& placedPoint(ConstructionPoint p) const { return placed[static_cast<int>(p)]; }
};

/// The three radii of one curve.
struct ArcRadii {
    Real80 rMin = 0, rMed = 0, rMax = 0;
};

/// The two semi-axes of one curve.
struct SemiAxes {
    Real80 semiMajor = 0, semiMinor = 0;
};

/// One row of the arc table: centre, radius, and the start and end directions as pairs of
/// placed points (from -> to).
struct ArcTableRow {
    OvalArc arc = OvalArc::Top;
    PlanePoint centre;
    Real80 radius = 0;
    PlanePoint startFrom, startTo;
    PlanePoint endFrom, endTo;
};

/// The problem of coefficients whose construction collapses: the length of C1-B1 vanishes
/// (c*c + b*b <= 1e-20), and D cannot be placed on it. None when the construction stands.
std::optional<InputProblem> constructionCollapse(const CoefficientVector& coefficients);

/// Builds the construction from coefficients 1 to 7. Coefficients that collapse (see
/// constructionCollapse, which a caller taking them from outside asks first) give the limiting
/// construction, D on C1, without dividing by the vanished length.
OvalConstruction buildOvalConstruction(const CoefficientVector& coefficients);

/// rMin = |ae|, rMed = rMin + stepMed, rMax = rMed + stepMax.
ArcRadii arcRadii(const OvalConstruction& construction, Real80 ae);

/// semiMajor = a + rMin, semiMinor = rMax - b.
SemiAxes semiAxes(const OvalConstruction& construction, Real80 rMin, Real80 rMax);

/// Turns and moves a point of the local frame into the drawing's coordinates.
PlanePoint placePoint(const OvalConstruction& construction, Real80 x, Real80 y);

/// The eight arcs of one curve, in the order of OvalArc.
std::array<ArcTableRow, 8> arcTable(const OvalConstruction& construction, const ArcRadii& radii);

/// Why a construction is not a proper eight-centre oval: DC reaches past B1 on the segment from
/// C1, OC is not shorter than OA, the eight arcs do not go once round (some sweep the long
/// way), or an arc sweeps no angle (OC = 0 puts C at O, DC = 0 puts D at C1: fewer than eight
/// arcs). None for a proper oval; the construction is drawn and measured either way.
enum class ConstructionFault { None, DcNotShorterThanCb, OcNotShorterThanOa, SweepsNotOneTurn, ArcWithoutSweep };

/// The first of the first three conditions above that the construction fails, its sweeps taken
/// between its placed points.
ConstructionFault constructionFault(const OvalConstruction& construction);

/// The first condition of a proper oval that the construction fails, all four tested in its own
/// frame (about its own centre, unturned), so that where the oval lies does not blur its sweeps:
/// the zero sweep is tested before the turn.
ConstructionFault ownFrameConstructionFault(const OvalConstruction& construction);

/// The failed condition in words, for a warning ("DC (12.3) is not shorter than C1B1 (10.1)").
std::string describeConstructionFault(const OvalConstruction& construction, ConstructionFault fault);
