#pragma once
/// The plane operations of the oval model: distance, turn, line through two points and side of
/// a line, which carry every geometric decision, and the point along and direction of a vector.

#include "base/real80.hpp"

/// A point of the plane (construction points and placed points).
struct PlanePoint {
    Real80 x = 0;
    Real80 y = 0;
};

/// The line a*x + b*y + c = 0; (a, b) is a unit vector when it was built from two distinct
/// points, and the all-zero record (coincident points) stands for no line at all.
struct LineEquation {
    Real80 a = 0;
    Real80 b = 0;
    Real80 c = 0;
};

/// Distance between two points, exactly 0 when the squared distance is at most 1e-20.
Real80 pointDistance(Real80 x1, Real80 y1, Real80 x2, Real80 y2);

/// Turns (x, y) about the origin by -angle (a positive angle turns clockwise). The inputs are
/// taken by value, so xr and yr may be the variables that supplied x and y.
void rotatePoint(Real80 x, Real80 y, Real80 angle, Real80& xr, Real80& yr);

/// The line through two points, normal (a, b) pointing to the left of the direction from the
/// first to the second; all zero when the squared length is below 1e-50.
void lineThroughPoints(Real80 x1, Real80 y1, Real80 x2, Real80 y2, Real80& a, Real80& b, Real80& c);

/// True when (x, y) lies strictly to the right of the directed line.
bool isRightOfLine(const LineEquation& line, Real80 x, Real80 y);

/// The point at distance `length` from (x1, y1) toward (x2, y2); (x1, y1) itself when the
/// length or the distance between the two points vanishes.
void pointAlong(Real80 x1, Real80 y1, Real80 x2, Real80 y2, Real80 length, Real80& x, Real80& y);

/// Direction of the vector from (x1, y1) to (x2, y2) in radians, in [0, 2 pi); 0 for a zero vector.
Real80 directionAngle(Real80 x1, Real80 y1, Real80 x2, Real80 y2);
