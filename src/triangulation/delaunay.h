// Planar Delaunay triangulation of a small point set in the x-y plane of its
// records: incremental insertion inside an auxiliary triangle, with a
// completeness flag per triangle that relies on x-sorted input. The z
// coordinate is carried along and otherwise ignored.
#pragma once

#include <cstdio>

#include "common/types.h"

#include <cstdint>
#include <vector>

// One edge of the hole left by the triangles that a new point removes.
// Both ends -1: cancelled (shared by two removed triangles).
struct Edge {
    std::int32_t start = -1;
    std::int32_t end = -1;
};

// Horizontal-edge tolerance of the circumcircle, absolute, in angstroms.
inline constexpr double kCircleTolerance = 0.05;

// mytri refuses point sets with 3 * nv at or above this.
inline constexpr int kMytriLimit = 4500;

// Triangulate statuses.
inline constexpr int kTriangulateOk = 0;
inline constexpr int kNoFlagMemory = 1;
inline constexpr int kNoEdgeMemory = 2;
inline constexpr int kEdgeGrowthFailed = 3;
inline constexpr int kTooManyTriangles = 4;

// The circumcircle of (x1, y1), (x2, y2), (x3, y3): centre, radius and its
// square. It does not exist when edges 1-2 and 2-3 are both nearly
// horizontal; collinear vertices otherwise give an infinite or undefined
// centre, and comparisons with it come out false.
struct Circle {
    double xc = 0.0;
    double yc = 0.0;
    double r = 0.0;
    double rsqr = 0.0;
    bool exists = false;
};
Circle circleThrough(double x1, double y1, double x2, double y2, double x3, double y3);

// (xp, yp) inside or on the circle, with no tolerance.
bool insideCircle(const Circle& c, double xp, double yp);

// 1 if (xp, yp) lies inside or on the circumcircle of (x1, y1), (x2, y2),
// (x3, y3), else 0. Writes the centre (xc, yc) and radius r, except when
// edges 1-2 and 2-3 are both nearly horizontal: then it returns 0 at once and
// leaves the three outputs as they were.
int CircumCircle(double& xc, double& yc, double& r, double xp, double yp, double x1, double y1,
                 double x2, double y2, double x3, double y3);

// Triangulates points[0..nv-1], already sorted by ascending x. Writes the
// auxiliary vertices to points[nv..nv+2] (points grows if it is shorter) and
// the triangles, as positions in points, to triangles[0..ntri-1] (grown to
// hold 4 * nv). Returns one of the statuses above; after 3 or 4 the list is
// incomplete and may still use auxiliary vertices.
int Triangulate(int nv, std::vector<FramePoint>& points, std::vector<Triangle>& triangles,
                int& ntri);

// Sorts points[0..nv-1] by x, triangulates them and appends the triangles to
// out[nTriIn..], with vertex numbers taken from the points' `index`. Earlier
// entries of out are untouched; out grows as needed. Returns the new count.
// A set of 1500 points or more is refused with a message, and nothing is
// appended after an incomplete triangulation.
int mytri(int nTriIn, std::vector<FramePoint>& points, int nv, std::vector<Triangle>& out,
          std::FILE* console = stdout);
