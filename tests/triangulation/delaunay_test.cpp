#include "triangulation/delaunay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

FramePoint at(double x, double y, int index) { return FramePoint{x, y, 0.0, index}; }

// Random points in a square, at least minGap apart like atoms, with index
// values 100, 101, ... so that they differ from array positions.
std::vector<FramePoint> scattered(unsigned seed, int count, double side, double minGap) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, side);
    std::vector<FramePoint> pts;
    while (static_cast<int>(pts.size()) < count) {
        const FramePoint p{u(rng), u(rng), u(rng), 100 + static_cast<int>(pts.size())};
        const bool clear = std::none_of(pts.begin(), pts.end(), [&](const FramePoint& q) {
            return std::hypot(p.x - q.x, p.y - q.y) < minGap;
        });
        if (clear) pts.push_back(p);
    }
    return pts;
}

TEST(CircumCircle, RightIsoscelesTriangle) {
    struct Probe {
        double xp, yp;
        int inside;
    };
    // (1, 0.5) inside, (2.5, 0) outside, the vertex (2, 0) on the circle.
    const Probe probes[] = {{1.0, 0.5, 1}, {2.5, 0.0, 0}, {2.0, 0.0, 1}};
    for (const Probe& p : probes) {
        double xc = -7.0, yc = -7.0, r = -7.0;
        EXPECT_EQ(CircumCircle(xc, yc, r, p.xp, p.yp, 0, 0, 1, 1, 2, 0), p.inside)
            << "(" << p.xp << ", " << p.yp << ")";
        EXPECT_DOUBLE_EQ(xc, 1.0);
        EXPECT_DOUBLE_EQ(yc, 0.0);
        EXPECT_DOUBLE_EQ(r, 1.0);
    }
}

TEST(CircumCircle, NearlyHorizontalEdgesHandled) {
    // Edge 1-2 horizontal within the tolerance: the centre's x is its midpoint.
    double xc = 0, yc = 0, r = 0;
    EXPECT_EQ(CircumCircle(xc, yc, r, 1.0, 0.5, 0, 0, 2, 0.04, 1, 1), 1);
    EXPECT_DOUBLE_EQ(xc, 1.0);
    // Edge 2-3 horizontal within the tolerance: x from the midpoint of 2-3.
    EXPECT_EQ(CircumCircle(xc, yc, r, 5.0, 5.0, 1, 1, 0, 0, 2, 0.04), 0);
    EXPECT_DOUBLE_EQ(xc, 1.0);
    EXPECT_GT(r, 0.9);
}

TEST(CircumCircle, BothEdgesFlatReturnsWithoutWriting) {
    double xc = 3.5, yc = -2.5, r = 9.0;
    EXPECT_EQ(CircumCircle(xc, yc, r, 1.0, 0.01, 0, 0, 1, 0.01, 2, 0.02), 0);
    EXPECT_EQ(xc, 3.5);
    EXPECT_EQ(yc, -2.5);
    EXPECT_EQ(r, 9.0);
}

TEST(Mytri, SingleTriangleKeepsIndexOrder) {
    // Given out of x order; the sort brings (0,0), (1,1), (2,0) to the front.
    std::vector<FramePoint> pts = {at(2, 0, 30), at(0, 0, 10), at(1, 1, 20)};
    std::vector<Triangle> out(4, Triangle{{-9, -9, -9}});
    ASSERT_EQ(mytri(1, pts, 3, out), 2);
    EXPECT_EQ(out[1].v[0], 10);
    EXPECT_EQ(out[1].v[1], 20);
    EXPECT_EQ(out[1].v[2], 30);
    EXPECT_EQ(out[0].v[0], -9);  // before nTriIn: untouched
    EXPECT_EQ(out[2].v[0], -9);  // past the result: untouched
}

TEST(Mytri, DegenerateSetsYieldNothing) {
    struct Case {
        const char* what;
        std::vector<FramePoint> pts;
    };
    const Case cases[] = {
        {"nearly collinear", {at(0, 0, 0), at(1, 0.01, 1), at(2, 0.02, 2)}},
        // Its circumcircle reaches an auxiliary vertex and goes with it.
        {"thin triangle", {at(-3.41, -3.03, 0), at(1.40, 1.36, 1), at(4.72, 4.54, 2)}},
    };
    for (const Case& c : cases) {
        std::vector<FramePoint> pts = c.pts;
        std::vector<Triangle> out;
        EXPECT_EQ(mytri(0, pts, 3, out), 0) << c.what;
    }
}

TEST(Mytri, RefusesFifteenHundredPoints) {
    for (const int nv : {1499, 1500}) {
        std::vector<FramePoint> pts = scattered(7, nv, 400.0, 0.0);
        pts.resize(static_cast<std::size_t>(nv) + 3);
        const std::vector<FramePoint> before = pts;
        std::vector<Triangle> out(2, Triangle{{5, 6, 7}});
        testing::internal::CaptureStdout();
        const int r = mytri(2, pts, nv, out);
        const std::string printed = testing::internal::GetCapturedStdout();
        if (nv == 1499) {
            EXPECT_GT(r, 2);
            EXPECT_EQ(printed, "");
        } else {
            EXPECT_EQ(r, 2);
            EXPECT_EQ(printed, "\nIn my tri ... nv=1500");
            ASSERT_EQ(out.size(), 2u);
            EXPECT_EQ(out[1].v[2], 7);
            for (std::size_t i = 0; i < pts.size(); ++i) {
                EXPECT_EQ(pts[i].x, before[i].x);
                EXPECT_EQ(pts[i].index, before[i].index);
            }
        }
    }
}

TEST(Mytri, SortsPointsAndLeavesAuxiliaryVertices) {
    std::vector<FramePoint> pts = scattered(3, 40, 12.0, 1.0);
    std::vector<Triangle> out;
    ASSERT_GT(mytri(0, pts, 40, out), 0);
    ASSERT_GE(pts.size(), 43u);
    double xmin = pts[0].x, xmax = pts[0].x, ymin = pts[0].y, ymax = pts[0].y;
    for (int i = 1; i < 40; ++i) {
        EXPECT_LE(pts[i - 1].x, pts[i].x) << "position " << i;
        xmin = std::min(xmin, pts[i].x);
        xmax = std::max(xmax, pts[i].x);
        ymin = std::min(ymin, pts[i].y);
        ymax = std::max(ymax, pts[i].y);
    }
    const double dmax = std::max(xmax - xmin, ymax - ymin);
    const double xmid = (xmax + xmin) / 2.0, ymid = (ymax + ymin) / 2.0;
    const double expected[3][2] = {{xmid - 20.0 * dmax, ymid - dmax},
                                   {xmid, ymid + 20.0 * dmax},
                                   {xmid + 20.0 * dmax, ymid - dmax}};
    for (int k = 0; k < 3; ++k) {
        EXPECT_DOUBLE_EQ(pts[40 + k].x, expected[k][0]);
        EXPECT_DOUBLE_EQ(pts[40 + k].y, expected[k][1]);
        EXPECT_EQ(pts[40 + k].z, 0.0);
    }
}

TEST(Mytri, EqualXKeepsExchangeSortOrder) {
    // The exchange sort is not stable: with x values 1, 1, 0 the swap of the
    // first and third records puts the second one ahead of the first.
    std::vector<FramePoint> pts = {at(1, 0, 0), at(1, 1, 1), at(0, 2, 2)};
    std::vector<Triangle> out;
    mytri(0, pts, 3, out);
    EXPECT_EQ(pts[0].index, 2);
    EXPECT_EQ(pts[1].index, 1);
    EXPECT_EQ(pts[2].index, 0);
}

// Every triangle of a random set is Delaunay: no other point lies inside its
// true circumcircle by more than the 0.05 tolerance. No triangle uses an
// auxiliary vertex, and triangles that were already there stay.
TEST(Mytri, RandomSetsGiveDelaunayTriangles) {
    for (unsigned seed = 1; seed <= 60; ++seed) {
        const int nv = 3 + static_cast<int>(seed % 50);
        std::vector<FramePoint> pts = scattered(seed, nv, 14.0, 1.2);
        const std::vector<FramePoint> original = pts;
        std::vector<Triangle> out(3, Triangle{{-4, -5, -6}});
        const int r = mytri(3, pts, nv, out);
        ASSERT_GE(r, 3);
        for (int t = 0; t < 3; ++t) EXPECT_EQ(out[t].v[1], -5);
        std::set<std::set<int>> seen;
        for (int t = 3; t < r; ++t) {
            const FramePoint* v[3];
            for (int k = 0; k < 3; ++k) {
                const int idx = out[t].v[k];
                ASSERT_GE(idx, 100) << "seed " << seed;
                ASSERT_LT(idx, 100 + nv) << "seed " << seed;
                v[k] = &original[static_cast<std::size_t>(idx - 100)];
            }
            EXPECT_TRUE(seen.insert({out[t].v[0], out[t].v[1], out[t].v[2]}).second);
            const double ax = v[0]->x, ay = v[0]->y, bx = v[1]->x, by = v[1]->y;
            const double cx = v[2]->x, cy = v[2]->y;
            const double d = 2.0 * (ax * (by - cy) + bx * (cy - ay) + cx * (ay - by));
            ASSERT_NE(d, 0.0);
            const double a2 = ax * ax + ay * ay, b2 = bx * bx + by * by, c2 = cx * cx + cy * cy;
            const double ux = (a2 * (by - cy) + b2 * (cy - ay) + c2 * (ay - by)) / d;
            const double uy = (a2 * (cx - bx) + b2 * (ax - cx) + c2 * (bx - ax)) / d;
            const double radius = std::hypot(ax - ux, ay - uy);
            for (const FramePoint& p : original) {
                EXPECT_GE(std::hypot(p.x - ux, p.y - uy), radius - 0.05)
                    << "seed " << seed << ": point " << p.index << " inside triangle " << t;
            }
        }
    }
}

TEST(Triangulate, FewPointsGiveNoTriangle) {
    for (const int nv : {1, 2}) {
        std::vector<FramePoint> pts = {at(0, 0, 0), at(1, 1, 1)};
        std::vector<Triangle> tris;
        int ntri = -1;
        EXPECT_EQ(Triangulate(nv, pts, tris, ntri), kTriangulateOk);
        EXPECT_EQ(ntri, 0);
        EXPECT_GE(pts.size(), static_cast<std::size_t>(nv) + 3);
    }
}

}  // namespace
