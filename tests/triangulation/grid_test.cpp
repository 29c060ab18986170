#include "triangulation/grid.h"
#include "triangulation/measure.h"
#include "triangulation/variants.h"

#include "point_set.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

struct Surface {
    std::vector<Triangle> triangles;
    std::vector<float> areas;
    std::vector<Vector3> centroids;
    std::vector<Vector3> normals;
    int result = 0;
};

Surface triangulate(const PointSet& s, int n) {
    Surface out;
    std::vector<FramePoint> scratch;
    out.result = delaunayMain(s.points, s.frame, scratch, n, out.triangles, out.areas,
                              out.centroids, out.normals);
    return out;
}

double length(const Vector3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

// ---- binning ----------------------------------------------------------------

TEST(Binning, GridDimensionsFollowTheExtent) {
    struct Case {
        const char* what;
        double extentX;
        int nx;
        std::size_t occupied;  // cells stored
    };
    // Two empty cells beyond trunc(extent / 3) + 1 occupied ones.
    const Case cases[] = {
        {"coincident points", 0.0, 3, 1}, {"just under one cell", 2.999, 3, 1},
        {"exactly one cell", 3.0, 4, 2},  {"exactly two cells", 6.0, 5, 2},
        {"long axis", 31.5, 13, 2},
    };
    for (const Case& c : cases) {
        PointSet s;
        s.add(-4.25, 1.0, 7.0);
        s.add(-4.25 + c.extentX, 1.0, 7.0);
        CellGrid grid;
        ASSERT_EQ(binPoints(s.frame, s.size(), grid), 0) << c.what;
        EXPECT_EQ(grid.dims.nx, c.nx) << c.what;
        EXPECT_EQ(grid.dims.ny, 3) << c.what;
        EXPECT_EQ(grid.dims.nz, 3) << c.what;
        EXPECT_EQ(grid.cells.size(), c.occupied) << c.what;
    }
}

TEST(Binning, CoincidentPointsShareOneCell) {
    PointSet s;
    for (int i = 0; i < 5; ++i) s.add(12.5, -3.0, 0.25);
    CellGrid grid;
    ASSERT_EQ(binPoints(s.frame, s.size(), grid), 0);
    EXPECT_EQ(grid.dims.nx, 3);  // 4 x 4 x 4 cells, one of them occupied
    EXPECT_EQ(grid.cells.size(), 1u);
    const GridCell& cell = grid.at(1, 1, 1);
    ASSERT_EQ(cell.count, 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(cell.slot[i], i);  // binning order
}

TEST(Binning, CellNumbersCountFromTheLowerBound) {
    PointSet s;
    s.add(0.0, 0.0, 0.0);
    s.add(2.99, 3.0, 8.9);
    s.add(6.1, 0.5, 9.0);
    CellGrid grid;
    ASSERT_EQ(binPoints(s.frame, s.size(), grid), 0);
    EXPECT_EQ(grid.at(1, 1, 1).count, 1);
    EXPECT_EQ(grid.at(1, 2, 3).count, 1);
    EXPECT_EQ(grid.at(3, 1, 4).count, 1);
    EXPECT_EQ(grid.dims.nz, 6);
}

TEST(Binning, TwentiethPointInACellFailsTheStructureOnly) {
    for (const int count : {19, 20}) {
        PointSet s;
        for (int i = 0; i < count; ++i) s.add(0.1 * i, 0.05 * i, 0.0);
        s.add(20.0, 20.0, 20.0);
        CellGrid grid;
        testing::internal::CaptureStdout();
        const int binned = binPoints(s.frame, s.size(), grid);
        const std::string printed = testing::internal::GetCapturedStdout();
        if (count == 19) {
            EXPECT_EQ(binned, 0);
            EXPECT_EQ(printed, "");
            EXPECT_EQ(grid.at(1, 1, 1).count, 19);
        } else {
            EXPECT_EQ(binned, kOverfullCell);
            EXPECT_EQ(printed, "\nTechnical Problem. May be short contact in your structure.");
        }
    }
}

TEST(Binning, CoordinatesThatAreNotNumbersGiveNoGrid) {
    PointSet s;
    s.add(0, 0, 0);
    s.add(1, 2, 3);
    s.frame[1].y = std::numeric_limits<double>::quiet_NaN();
    CellGrid grid;
    EXPECT_EQ(binPoints(s.frame, 2, grid), kNoGrid);
    s.frame[0].y = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(binPoints(s.frame, 2, grid), kNoGrid);
}

// Memory follows the points, not the volume: two points 104000 A apart
// along each axis (some 10^13 cells) take two cells. Beyond 2^20 cells along
// an axis, or beyond single precision, no grid is made.
TEST(Binning, OnlyOccupiedCellsAreStored) {
    struct Case {
        double far;
        int binned;
    };
    const Case cases[] = {{52000.0, 0}, {-52000.0, 0}, {3.2e6, kNoGrid}, {1e39, kNoGrid}};
    for (const Case& c : cases) {
        PointSet s;
        s.add(-52000, -52000, -52000);
        s.add(0, 0, 0);
        s.add(0, 0, 0);
        // Frame coordinates only: binning reads nothing else.
        s.frame[1] = FramePoint{c.far, c.far, c.far, 1};
        s.frame[2] = FramePoint{c.far, c.far, c.far + 0.5, 2};
        CellGrid grid;
        ASSERT_EQ(binPoints(s.frame, 3, grid), c.binned) << c.far;
        if (c.binned != 0) continue;
        EXPECT_EQ(grid.cells.size(), c.far > 0 ? 2u : 1u) << c.far;
        if (c.far > 0) {
            EXPECT_EQ(grid.dims.nx, 34669);
            EXPECT_EQ(grid.at(34667, 34667, 34667).count, 2);
            EXPECT_EQ(grid.at(34667, 34667, 34667).slot[1], 2);
            EXPECT_EQ(grid.at(34666, 34667, 34667).count, 0);
        }
    }
}

// Four small patches at the corners of a 700 A cube: the grid spans some
// 10^10 cells, yet each patch is triangulated as in a grid of its own size.
TEST(DelaunayMain, PatchesFarApartAreAllTriangulated) {
    const PointSet patch = curvedPatch(7, 60, 16.0);
    PointSet s;
    const double corners[4][3] = {{0, 0, 0}, {700, 0, 700}, {0, 700, 700}, {700, 700, 0}};
    for (const auto& corner : corners)
        for (const FramePoint& f : patch.frame) s.add(f.x + corner[0], f.y + corner[1], f.z + corner[2]);
    const Surface out = triangulate(s, s.size());
    ASSERT_GT(out.result, 0);
    int perPatch[4] = {0, 0, 0, 0};
    for (const Triangle& t : out.triangles) {
        if (t.v[0] == -1) continue;
        const int copy = t.v[0] / patch.size();
        EXPECT_EQ(t.v[1] / patch.size(), copy);  // no triangle joins two patches
        EXPECT_EQ(t.v[2] / patch.size(), copy);
        ++perPatch[copy];
    }
    for (int copy = 0; copy < 4; ++copy) EXPECT_GT(perPatch[copy], patch.size()) << copy;
}

// ---- choosing the case ------------------------------------------------------

struct CaseLists {
    std::vector<Triangle> l[4];
    CaseLists() {
        for (int k = 0; k < 4; ++k)
            for (int t = 0; t <= k; ++t) l[k].push_back(Triangle{{10 * k + t, 1, 2}});
    }
};

TEST(FindMinCase, FirstStrictlySmallerScoreWins) {
    const CaseScore worst{10000, 10000, 10000};
    struct Case {
        const char* what;
        std::array<CaseScore, 4> scores;
        CaseScore best;
        int winner;  // -1: none
    };
    const Case cases[] = {
        {"tie within an order: lower case", {{{3, 1, 0}, {2, 5, 5}, {2, 5, 5}, {9, 0, 0}}}, worst, 1},
        {"later strictly smaller", {{{3, 1, 0}, {3, 0, 9}, {3, 0, 8}, {3, 0, 8}}}, worst, 2},
        {"tie with best: earlier order kept", {{{4, 4, 4}, {5, 0, 0}, {4, 4, 4}, {4, 4, 5}}},
         {4, 4, 4}, -1},
        {"the initial bound is never taken", {{worst, {10000, 10000, 10001}, {10001, 0, 0}, worst}},
         worst, -1},
        {"just below the bound", {{worst, {10000, 9999, 99999}, worst, worst}}, worst, 1},
    };
    for (const Case& c : cases) {
        CaseLists lists;
        std::vector<Triangle> out(6, Triangle{{-7, -7, -7}});
        CaseScore best = c.best;
        const std::array<int, 4> counts{1, 2, 3, 4};
        const int r = FindMinCase(c.scores, best, counts, out, lists.l[0], lists.l[1], lists.l[2],
                                  lists.l[3]);
        if (c.winner < 0) {
            EXPECT_EQ(r, -1) << c.what;
            EXPECT_EQ(out[0].v[0], -7) << c.what;
            EXPECT_FALSE(scoreLess(best, c.best) || scoreLess(c.best, best)) << c.what;
        } else {
            EXPECT_EQ(r, counts[c.winner]) << c.what;
            for (int t = 0; t < r; ++t) EXPECT_EQ(out[t].v[0], 10 * c.winner + t) << c.what;
            EXPECT_EQ(out[r].v[0], -7) << c.what;  // past the copy: untouched
            const CaseScore& w = c.scores[c.winner];
            EXPECT_FALSE(scoreLess(best, w) || scoreLess(w, best)) << c.what;
        }
    }
}

TEST(FindMinCase, EmptyWinnerFreezesTheOutput) {
    CaseLists lists;
    std::vector<Triangle> out;
    CaseScore best{10000, 10000, 10000};
    // A first winner with three triangles.
    EXPECT_EQ(FindMinCase({{{5, 0, 0}, {9, 0, 0}, {2, 1, 0}, {7, 0, 0}}}, best, {1, 2, 3, 4}, out,
                          lists.l[0], lists.l[1], lists.l[2], lists.l[3]),
              3);
    // An empty case scores (0, 0, 0): it wins but copies nothing.
    EXPECT_EQ(FindMinCase({{{1, 0, 0}, {0, 0, 0}, {0, 0, 0}, {3, 0, 0}}}, best, {1, 0, 3, 4}, out,
                          lists.l[0], lists.l[1], lists.l[2], lists.l[3]),
              0);
    EXPECT_EQ(best.areaExcess + best.edgeExcess + best.obtuseCount, 0);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].v[0], 20);
    // Nothing beats (0, 0, 0) afterwards.
    EXPECT_EQ(FindMinCase({{{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}}, best, {1, 2, 3, 4}, out,
                          lists.l[0], lists.l[1], lists.l[2], lists.l[3]),
              -1);
}

// ---- the final pass -----------------------------------------------------------

TEST(FinalPass, DiscardedEntriesShiftTheMeasures) {
    const std::vector<InterfacePoint> pts = {{0, 0, 0}, {3, 0, 0}, {0, 4, 0}, {0, 0, 6}};
    const std::vector<Triangle> list = {Triangle{{0, 1, 2}}, Triangle{{-1, -1, -1}},
                                        Triangle{{0, 1, 3}}, Triangle{{1, 2, 3}}};
    std::vector<float> areas(9, -1.0f);
    std::vector<Vector3> centroids, normals;
    ASSERT_EQ(measureTriangles(pts, list, 3, areas, centroids, normals), 2);
    ASSERT_EQ(areas.size(), 2u);
    ASSERT_EQ(centroids.size(), 2u);
    ASSERT_EQ(normals.size(), 2u);
    EXPECT_FLOAT_EQ(areas[0], 6.0f);
    EXPECT_FLOAT_EQ(areas[1], 9.0f);  // the third entry, moved up one place
    EXPECT_DOUBLE_EQ(centroids[1].x, 1.0);
    EXPECT_DOUBLE_EQ(centroids[1].y, 0.0);
    EXPECT_DOUBLE_EQ(centroids[1].z, 2.0);
    // (A - B) x (C - B) with A = (0,0,0), B = (3,0,0), C = (0,4,0).
    EXPECT_EQ(normals[0].x, 0.0);
    EXPECT_EQ(normals[0].y, 0.0);
    EXPECT_EQ(normals[0].z, -12.0);
}

TEST(FinalPass, SwappingVerticesReversesTheNormal) {
    const std::vector<InterfacePoint> pts = {{1.5f, -2.0f, 0.25f}, {4.0f, 1.0f, -1.0f},
                                             {-0.5f, 3.0f, 2.0f}};
    const std::vector<Triangle> list = {Triangle{{0, 1, 2}}, Triangle{{2, 1, 0}}};
    std::vector<float> areas;
    std::vector<Vector3> centroids, normals;
    ASSERT_EQ(measureTriangles(pts, list, 2, areas, centroids, normals), 2);
    EXPECT_EQ(normals[1].x, -normals[0].x);
    EXPECT_EQ(normals[1].y, -normals[0].y);
    EXPECT_EQ(normals[1].z, -normals[0].z);
    EXPECT_NE(length(normals[0]), 0.0);
    // The normal's length is twice the area.
    EXPECT_NEAR(length(normals[0]), 2.0 * areas[0], 1e-4 * areas[0]);
    EXPECT_EQ(areas[0], areas[1]);
}

TEST(FinalPass, CollinearTriangleHasAreaZero) {
    const std::vector<InterfacePoint> pts = {{7.3004055f, 7.89213371f, 6.58293915f},
                                             {6.59206772f, -9.2189045f, -4.53900051f},
                                             {7.1813798f, 5.01687431f, 4.71405983f}};
    std::vector<float> areas;
    std::vector<Vector3> centroids, normals;
    ASSERT_EQ(measureTriangles(pts, {Triangle{{0, 1, 2}}}, 1, areas, centroids, normals), 1);
    EXPECT_EQ(areas[0], 0.0f);
}

// ---- the driver ---------------------------------------------------------------

TEST(DelaunayMain, FewPointsGiveNothing) {
    PointSet s;
    s.add(0, 0, 0);
    s.add(2, 1, 0.5);
    for (int n = 0; n <= 2; ++n) {
        const Surface out = triangulate(s, n);
        EXPECT_EQ(out.result, 0) << "n = " << n;
        EXPECT_TRUE(out.areas.empty());
        EXPECT_TRUE(out.triangles.empty());
    }
}

TEST(DelaunayMain, OverfullCellFailsThisCallAndTheNextOneWorks) {
    PointSet crowded;
    for (int i = 0; i < 20; ++i) crowded.add(0.1 * i, 0.1 * i, 0.0);
    testing::internal::CaptureStdout();
    const Surface failed = triangulate(crowded, crowded.size());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nTechnical Problem. May be short contact in your structure.");
    EXPECT_EQ(failed.result, kOverfullCell);
    EXPECT_TRUE(failed.areas.empty());

    const PointSet good = curvedPatch(5, 60, 14.0);
    testing::internal::CaptureStdout();
    const Surface next = triangulate(good, good.size());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_GT(next.result, 0);
}

// The first case (XYZ, both axes forward) gathers columns along z. Three
// points in three separate x-y columns give it nothing: its score (0, 0, 0)
// wins and nothing can beat it, although the x-z column holding all three
// (case XZY) triangulates them.
TEST(DelaunayMain, EmptyFirstCaseWinsOverLaterTriangles) {
    PointSet s;
    s.add(0.0, 0.5, 0.0);
    s.add(2.0, 6.5, 0.5);
    s.add(1.0, 12.5, 2.5);
    CellGrid grid;
    ASSERT_EQ(binPoints(s.frame, s.size(), grid), 0);
    std::vector<FramePoint> scratch;
    std::vector<Triangle> list;
    CaseScore score;
    ASSERT_EQ(delaunayXYZ(grid, grid.dims, WalkStep{2, 2, 2}, s.points, s.frame, scratch, list,
                          score),
              0);
    ASSERT_GT(delaunayXZY(grid, grid.dims, WalkStep{2, 2, 2}, s.points, s.frame, scratch, list,
                          score),
              0);
    const Surface out = triangulate(s, s.size());
    EXPECT_EQ(out.result, 0);
    EXPECT_TRUE(out.triangles.empty());
}

TEST(DelaunayMain, FrameIndexOutsideThePointsGivesNothing) {
    PointSet s = curvedPatch(2, 30, 10.0);
    s.frame[7].index = s.size();
    EXPECT_EQ(triangulate(s, s.size()).result, 0);
    EXPECT_EQ(triangulate(s, s.size() + 1).result, 0);  // tables shorter than n
}

// Realistic patches: every kept triangle has three distinct real vertices and
// appears once; the measures line up with the kept entries; each normal is
// twice its area long; the surface's area is that of the patch, roughly.
TEST(DelaunayMain, RandomPatchesGiveConsistentSurfaces) {
    for (unsigned seed = 1; seed <= 4; ++seed) {
        const PointSet s = curvedPatch(seed, 120, 20.0);
        const Surface out = triangulate(s, s.size());
        ASSERT_GT(out.result, 0) << "seed " << seed;
        ASSERT_EQ(out.areas.size(), static_cast<std::size_t>(out.result));
        ASSERT_EQ(out.centroids.size(), out.areas.size());
        ASSERT_EQ(out.normals.size(), out.areas.size());

        std::set<std::array<int, 3>> seen;
        std::size_t m = 0;
        double total = 0.0;
        for (const Triangle& t : out.triangles) {
            if (t.v[0] == -1) continue;
            std::array<int, 3> key{t.v[0], t.v[1], t.v[2]};
            std::sort(key.begin(), key.end());
            EXPECT_TRUE(key[0] >= 0 && key[2] < s.size() && key[0] != key[1] && key[1] != key[2]);
            EXPECT_TRUE(seen.insert(key).second) << "duplicate kept";
            ASSERT_LT(m, out.areas.size());
            const float a = out.areas[m];
            EXPECT_TRUE(std::isfinite(a) && a >= 0.0f);
            EXPECT_NEAR(length(out.normals[m]), 2.0 * a, 1e-3 * (1.0 + a));
            const Vector3& c = out.centroids[m];
            const InterfacePoint& p = s.points[t.v[0]];
            EXPECT_LT(std::hypot(std::hypot(c.x - p.x, c.y - p.y), c.z - p.z), 10.0);
            total += a;
            ++m;
        }
        EXPECT_EQ(m, out.areas.size());
        EXPECT_GT(total, 0.5 * 20.0 * 20.0) << "seed " << seed;
        EXPECT_LT(total, 2.0 * 20.0 * 20.0 * 1.2) << "seed " << seed;
    }
}

}  // namespace
