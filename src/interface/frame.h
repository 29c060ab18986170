// The interface frame: three residue-class centroids span a coordinate
// system tied to the interface, and every interface point is moved into it.
#pragma once

#include "common/types.h"

#include <vector>

// Searches slots start..20 for a reference triple (first, second, third):
// slots with atoms, the second and third more than 2.0 A from the first, and
// not nearly collinear as seen from the first (|cos| < 0.966). Returns the
// angle at the first point in degrees and writes the three slots, or returns
// 0.0 and leaves them untouched when no triple fits.
float getPoints(int start, const float x[], const float y[], const float z[], const int count[],
                int& first, int& second, int& third);

// Gathers the three reference centroids and moves points 0..n-1 into the
// interface frame, writing frame[0..n-1] (frame grows to n if needed).
void preprocess(const std::vector<InterfacePoint>& points, std::vector<FramePoint>& frame, int n,
                const float x[], const float y[], const float z[], int first, int second,
                int third);

// ref holds the first, second and third reference points (x, y, z each).
// Writes frame[0..n-1]: origin at the first, +z towards the second, the third
// in the xz plane at positive x. frame grows to n if needed.
void Transform_Coordinate(const std::vector<InterfacePoint>& points, int n, const float ref[9],
                          std::vector<FramePoint>& frame);
