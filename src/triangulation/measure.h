// Single-precision triangle measures shared by the case score and the final
// pass, so that both see the same lengths and areas for the same triangle.
#pragma once

#include "common/types.h"

// |a - b|: squares summed in single precision as (x² + y²) + z², the root
// taken in double precision and rounded to single.
float edgeLength(const InterfacePoint& a, const InterfacePoint& b);

// Heron's area from three edge lengths: s and the product in single
// precision, the root in double. A product below zero (collinear or nearly
// collinear vertices, through rounding) counts as area 0.
double heronArea(float dAB, float dCB, float dAC);
