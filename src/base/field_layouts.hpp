#pragma once
/// The named field layouts of every text the program writes: a real in field width:decimals
/// and an integer in field width, each named for what it carries.

namespace field {

/// A real written in fixed point with `decimals` decimals, right-aligned in `width` characters.
struct Real {
    int width;
    int decimals;
};

/// Coefficients in listings and in the coefficient file, the final residual, the summary's
/// head lines and each curve's root mean square deviation.
inline constexpr Real coefficient{14, 9};
/// The residual at the head of a summary block.
inline constexpr Real summaryResidual{12, 9};
/// Radii and semi-axes of a curve: in the report, and narrower on the console.
inline constexpr Real reportCurveValue{14, 9};
inline constexpr Real consoleCurveValue{11, 6};
/// A point's coordinates in the report's list of input points.
inline constexpr Real inputCoordinate{12, 4};
/// A point's coordinates and its deviation in the points listing.
inline constexpr Real listingCoordinate{12, 6};
inline constexpr Real deviation{14, 9};
/// Every real of the drawing: coordinates, radii and angles.
inline constexpr Real drawingReal{16, 11};

/// Integer widths: no blanks; a point's number in the input list and in the points listing; a
/// curve's number in the input list, in the questions, in summaries and in the listing; the
/// counts on the console; the points of a curve; a drawing's group code and colour.
inline constexpr int bare = 0;
inline constexpr int inputPointNumber = 4;
inline constexpr int listingPointNumber = 3;
inline constexpr int inputCurveNumber = 2;
inline constexpr int summaryCurveNumber = 4;
inline constexpr int listingCurveNumber = 3;
inline constexpr int count = 8;
inline constexpr int curvePointCount = 5;
inline constexpr int groupCode = 3;
inline constexpr int colour = 6;

}  // namespace field
