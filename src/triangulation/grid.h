// The grid triangulation driver: bins one subunit's interface frame points in
// 3 A cells, runs the 24 walking cases and keeps the best one's triangles.
#pragma once

#include "common/types.h"

#include <vector>

// Returned by delaunayMain when a grid cell would receive a 20th point; the
// structure then cannot be triangulated.
inline constexpr int kOverfullCell = -1;

// points: the subunit's interface points (entries 0..n-1); framePoints: the
// same in the interface frame (entries 0..n-1, index i at position i);
// scratch: work space, grown as needed. On return, `triangles` holds the
// winning case's list (discarded entries included) and areas, centroids and
// normals one entry per kept triangle (resized to the result). Result: the
// number of kept triangles (0: none), or kOverfullCell after printing the
// technical-problem message.
int delaunayMain(const std::vector<InterfacePoint>& points,
                 const std::vector<FramePoint>& framePoints, std::vector<FramePoint>& scratch,
                 int n, std::vector<Triangle>& triangles, std::vector<float>& areas,
                 std::vector<Vector3>& centroids, std::vector<Vector3>& normals);
