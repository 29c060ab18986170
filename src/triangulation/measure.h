// Single-precision triangle measures shared by the case score and the final
// pass, so that both see the same lengths and areas for the same triangle.
#pragma once

#include "common/types.h"

#include <vector>

// |a - b|: squares summed in single precision as (x² + y²) + z², the root
// taken in double precision and rounded to single.
float edgeLength(const InterfacePoint& a, const InterfacePoint& b);

// A triangle's vertices A, B, C in stored order and its edge lengths
// dAB = |A - B|, dCB = |C - B|, dAC = |A - C|.
struct TriangleSides {
    InterfacePoint a, b, c;
    float dAB, dCB, dAC;
};
TriangleSides sidesOf(const std::vector<InterfacePoint>& points, const Triangle& t);

// Heron's area from three edge lengths: s and the product in single
// precision, the root in double. A product below zero (collinear or nearly
// collinear vertices, through rounding) counts as area 0.
double heronArea(float dAB, float dCB, float dAC);

// The final pass over a winning list: for each of triangles[0..total-1] not
// discarded, its area (single), centroid and normal (A - B) x (C - B), the
// latter computed in single precision, from the structure coordinates.
// Replaces the three output lists, one entry per kept triangle in list
// order, and returns their number.
int measureTriangles(const std::vector<InterfacePoint>& points,
                     const std::vector<Triangle>& triangles, int total, std::vector<float>& areas,
                     std::vector<Vector3>& centroids, std::vector<Vector3>& normals);
