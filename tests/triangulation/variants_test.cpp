#include "triangulation/delaunay.h"
#include "triangulation/measure.h"
#include "triangulation/variants.h"

#include "point_set.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using Key = std::array<int, 3>;

Key sortedKey(const Triangle& t) {
    Key k{t.v[0], t.v[1], t.v[2]};
    std::sort(k.begin(), k.end());
    return k;
}

// A well-shaped triangle inside one 3 A cell, in every axis plane.
void addCluster(PointSet& s, double bx, double by, double bz) {
    s.add(bx, by, bz);
    s.add(bx + 2.0, by + 0.8, bz + 1.4);
    s.add(bx + 0.9, by + 2.2, bz + 2.0);
}

Key clusterKey(int cluster) { return Key{3 * cluster, 3 * cluster + 1, 3 * cluster + 2}; }

using VariantFn = int (*)(const CellGrid&, const GridDims&, const WalkStep&,
                          const std::vector<InterfacePoint>&, const std::vector<FramePoint>&,
                          std::vector<FramePoint>&, std::vector<Triangle>&, CaseScore&, std::FILE*,
                          BlockTriangles*);

struct CaseRun {
    std::vector<Triangle> list;
    int count = 0;
    CaseScore score;
};

CaseRun runVariant(VariantFn variant, const PointSet& s, const CellGrid& grid, WalkStep step) {
    CaseRun run;
    std::vector<FramePoint> scratch;
    run.count =
        variant(grid, grid.dims, step, s.points, s.frame, scratch, run.list, run.score, stdout, nullptr);
    return run;
}

std::vector<Key> keptKeys(const CaseRun& run) {
    std::vector<Key> keys;
    for (int t = 0; t < run.count; ++t) {
        if (run.list[t].v[0] != -1) keys.push_back(sortedKey(run.list[t]));
    }
    return keys;
}

// ---- case score -----------------------------------------------------------

TEST(CaseScore, WorkedTriangles) {
    const float h = static_cast<float>(3.0 * std::sqrt(3.0));
    struct Case {
        const char* what;
        InterfacePoint a, b, c;
        CaseScore expected;
    };
    const Case cases[] = {
        // Area 6 A², only the 5 A edge counts, a right angle is not obtuse.
        {"right 3-4-5", {0, 0, 0}, {3, 0, 0}, {0, 4, 0}, {0, 1, 0}},
        // About 15.6 A², each 6 A edge counts once.
        {"equilateral 6", {0, 0, 0}, {6, 0, 0}, {3, h, 0}, {1, 3, 0}},
        // Area 5 A², edges 10, 5.10 and 5.10, obtuse at C.
        {"obtuse at C", {0, 0, 0}, {10, 0, 0}, {5, 1, 0}, {0, 4, 1}},
        // Obtuse at A, then at B (edges 4.1, 3.2 and 5.4).
        {"obtuse at A", {0, 0, 0}, {4, 1, 0}, {-1, 3, 0}, {0, 1, 1}},
        {"obtuse at B", {4, 1, 0}, {0, 0, 0}, {-1, 3, 0}, {0, 1, 1}},
        // 23 A² in the xz plane: two full 11 A²; edges 4.6, 10 and 11.0.
        {"two area units", {0, 0, 0}, {4.6f, 0, 0}, {0, 0, 10}, {2, 4, 0}},
    };
    for (const Case& c : cases) {
        const std::vector<InterfacePoint> pts = {c.a, c.b, c.c};
        const std::vector<Triangle> list = {Triangle{{0, 1, 2}}};
        const CaseScore got = scoreCase(pts, list, 1);
        EXPECT_EQ(got.areaExcess, c.expected.areaExcess) << c.what;
        EXPECT_EQ(got.edgeExcess, c.expected.edgeExcess) << c.what;
        EXPECT_EQ(got.obtuseCount, c.expected.obtuseCount) << c.what;
    }
}

TEST(CaseScore, SkipsDiscardedAndSumsTheRest) {
    const std::vector<InterfacePoint> pts = {{0, 0, 0}, {3, 0, 0}, {0, 4, 0}, {0, 0, 4}};
    const std::vector<Triangle> list = {Triangle{{0, 1, 2}}, Triangle{{-1, -1, -1}},
                                        Triangle{{0, 1, 3}}, Triangle{{9, 9, 9}}};
    // (0, 1, 0) + (0, 1, 0): the entry past ntri is not read.
    const CaseScore got = scoreCase(pts, list, 3);
    EXPECT_EQ(got.areaExcess, 0);
    EXPECT_EQ(got.edgeExcess, 2);
    EXPECT_EQ(got.obtuseCount, 0);
    const CaseScore none = scoreCase(pts, list, 0);
    EXPECT_EQ(none.areaExcess + none.edgeExcess + none.obtuseCount, 0);
}

// Collinear vertices whose Heron product comes out below zero through
// rounding: the area counts as 0, never as not-a-number.
TEST(CaseScore, NegativeHeronProductCountsAsZeroArea) {
    const InterfacePoint a{7.3004055f, 7.89213371f, 6.58293915f};
    const InterfacePoint b{6.59206772f, -9.2189045f, -4.53900051f};
    const InterfacePoint c{7.1813798f, 5.01687431f, 4.71405983f};
    const float dAB = edgeLength(a, b), dCB = edgeLength(c, b), dAC = edgeLength(a, c);
    const float s = ((dAB + dCB) + dAC) / 2.0f;
    ASSERT_LT((((s - dAB) * s) * (s - dCB)) * (s - dAC), 0.0f) << "not a rounding case";
    EXPECT_EQ(heronArea(dAB, dCB, dAC), 0.0);

    const std::vector<InterfacePoint> pts = {a, b, c};
    const CaseScore got = scoreCase(pts, {Triangle{{0, 1, 2}}}, 1);
    EXPECT_EQ(got.areaExcess, 0);
    EXPECT_EQ(got.edgeExcess, static_cast<int>(dAB / 5.0) + static_cast<int>(dCB / 5.0) +
                                  static_cast<int>(dAC / 5.0));
    EXPECT_EQ(got.obtuseCount, 1);  // C lies between A and B
}

// ---- duplicate removal ----------------------------------------------------

TEST(RemoveDuplicates, FirstCopyWinsInAnyVertexOrder) {
    const Triangle X{{-1, -1, -1}};
    struct Case {
        const char* what;
        std::vector<Triangle> in;
        int ntri;
        std::vector<Triangle> expected;
    };
    const Case cases[] = {
        {"rotations and reflections",
         {{{1, 2, 3}}, {{3, 1, 2}}, {{4, 5, 6}}, {{2, 1, 3}}, {{6, 4, 5}}},
         5,
         {{{1, 2, 3}}, X, {{4, 5, 6}}, X, X}},
        {"already discarded entries are skipped",
         {X, {{1, 2, 3}}, {{1, 2, 4}}, {{3, 2, 1}}},
         4,
         {X, {{1, 2, 3}}, {{1, 2, 4}}, X}},
        {"sharing two vertices is no duplicate",
         {{{1, 2, 3}}, {{1, 2, 4}}, {{2, 3, 4}}},
         3,
         {{{1, 2, 3}}, {{1, 2, 4}}, {{2, 3, 4}}}},
        {"entries past ntri untouched", {{{1, 2, 3}}, {{3, 2, 1}}, {{1, 2, 3}}}, 2,
         {{{1, 2, 3}}, X, {{1, 2, 3}}}},
    };
    for (const Case& c : cases) {
        std::vector<Triangle> list = c.in;
        removeDuplicates(list, c.ntri);
        ASSERT_EQ(list.size(), c.expected.size());
        for (std::size_t i = 0; i < list.size(); ++i) {
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(list[i].v[k], c.expected[i].v[k]) << c.what << ", entry " << i;
        }
    }
}

// The pairwise rule as stated: for each kept t, every later kept u that
// holds each of t's vertices is discarded.
void pairwiseReference(std::vector<Triangle>& list, int ntri) {
    for (int t = 0; t < ntri; ++t) {
        if (list[t].v[0] == -1) continue;
        for (int u = t + 1; u < ntri; ++u) {
            if (list[u].v[0] == -1) continue;
            bool all = true;
            for (int k = 0; k < 3; ++k) {
                const int* b = list[u].v;
                all = all && (b[0] == list[t].v[k] || b[1] == list[t].v[k] || b[2] == list[t].v[k]);
            }
            if (all) list[u] = Triangle{{-1, -1, -1}};
        }
    }
}

TEST(RemoveDuplicates, MatchesThePairwiseRuleOnRandomLists) {
    std::mt19937 rng(11);
    for (int trial = 0; trial < 200; ++trial) {
        std::uniform_int_distribution<int> vertex(0, 6 + trial % 10);
        std::vector<Triangle> list;
        const int ntri = 1 + trial % 60;
        while (static_cast<int>(list.size()) < ntri) {
            Triangle t{{vertex(rng), vertex(rng), vertex(rng)}};
            if (t.v[0] == t.v[1] || t.v[1] == t.v[2] || t.v[0] == t.v[2]) continue;
            if (rng() % 10 == 0) t = Triangle{{-1, -1, -1}};
            list.push_back(t);
        }
        std::vector<Triangle> expected = list;
        pairwiseReference(expected, ntri);
        removeDuplicates(list, ntri);
        for (int i = 0; i < ntri; ++i) {
            for (int k = 0; k < 3; ++k) ASSERT_EQ(list[i].v[k], expected[i].v[k]) << "trial " << trial;
        }
    }
}

// ---- the walk ---------------------------------------------------------------

// Four clusters on cells x in {1, 3}, y in {1, 3}, z = 1 of a 5 x 5 x 3 grid:
// a forward walk meets each in a block of its own.
class FourClusters : public testing::Test {
protected:
    void SetUp() override {
        addCluster(set, 0, 0, 0);  // cluster 0: cell (1, 1, 1)
        addCluster(set, 0, 6, 0);  // cluster 1: cell (1, 3, 1)
        addCluster(set, 6, 0, 0);  // cluster 2: cell (3, 1, 1)
        addCluster(set, 6, 6, 0);  // cluster 3: cell (3, 3, 1)
        ASSERT_EQ(binPoints(set.frame, set.size(), grid), 0);
        ASSERT_EQ(grid.dims.nx, 5);
        ASSERT_EQ(grid.dims.ny, 5);
        ASSERT_EQ(grid.dims.nz, 3);
    }
    PointSet set;
    CellGrid grid;
};

TEST_F(FourClusters, ForwardWalksVisitBlocksInAxisOrder) {
    struct Case {
        const char* what;
        VariantFn variant;
        std::vector<int> clusters;  // expected order of the triangles
    };
    const Case cases[] = {
        {"XYZ: x outer, y middle", delaunayXYZ, {0, 1, 2, 3}},
        {"YXZ: y outer, x middle", delaunayYXZ, {0, 2, 1, 3}},
        // z has dimension 3: a single middle step, y walks inside the column.
        {"XZY: x outer, y inner", delaunayXZY, {0, 1, 2, 3}},
        {"YZX: y outer, x inner", delaunayYZX, {0, 2, 1, 3}},
    };
    for (const Case& c : cases) {
        const CaseRun run = runVariant(c.variant, set, grid, WalkStep{2, 2, 2});
        ASSERT_EQ(run.count, 4) << c.what;
        for (int t = 0; t < 4; ++t)
            EXPECT_EQ(sortedKey(run.list[t]), clusterKey(c.clusters[t])) << c.what << ", " << t;
    }
}

TEST_F(FourClusters, BackwardOuterWalkStartsAtTheFarEnd) {
    // x backwards: centres 4 then 2; the block at 4 holds clusters 2 and 3
    // alone, the block at 2 finds them again with clusters 0 and 1.
    const CaseRun run = runVariant(delaunayXYZ, set, grid, WalkStep{-2, 2, 2});
    ASSERT_GT(run.count, 4);
    EXPECT_EQ(sortedKey(run.list[0]), clusterKey(2));
    EXPECT_EQ(sortedKey(run.list[1]), clusterKey(3));
    // Found again later, each remains once.
    const std::vector<Key> kept = keptKeys(run);
    EXPECT_EQ(std::count(kept.begin(), kept.end(), clusterKey(2)), 1);
    EXPECT_EQ(std::count(kept.begin(), kept.end(), clusterKey(3)), 1);
    EXPECT_LT(static_cast<int>(kept.size()), run.count);
}

TEST_F(FourClusters, SerpentineFollowsTheMiddleCell) {
    // XZY: middle axis z (dimension 3). Forward, the middle cell is 1 and the
    // inner walk over y ascends: cluster 0 (y cell 1) comes first. Backward,
    // the middle cell is 2 and y descends from cell 4: cluster 1 first.
    const CaseRun up = runVariant(delaunayXZY, set, grid, WalkStep{2, 2, 2});
    const CaseRun down = runVariant(delaunayXZY, set, grid, WalkStep{2, 2, -2});
    ASSERT_GT(up.count, 0);
    ASSERT_GT(down.count, 0);
    EXPECT_EQ(sortedKey(up.list[0]), clusterKey(0));
    EXPECT_EQ(sortedKey(down.list[0]), clusterKey(1));
}

TEST(Walk, TooFewPointsGiveAnEmptyCase) {
    for (int n = 1; n <= 2; ++n) {
        PointSet s;
        for (int i = 0; i < n; ++i) s.add(i, 2.0 * i, 0.5 * i);
        CellGrid grid;
        ASSERT_EQ(binPoints(s.frame, n, grid), 0);
        const CaseRun run = runVariant(delaunayZYX, s, grid, WalkStep{2, 2, 2});
        EXPECT_EQ(run.count, 0);
        EXPECT_EQ(run.score.areaExcess, 0);
        EXPECT_EQ(run.score.edgeExcess, 0);
        EXPECT_EQ(run.score.obtuseCount, 0);
    }
}

// Over every variant and direction: vertices are real points, no kept
// triangle appears twice, and a triangle's vertices lie within one column
// of blocks (two cells apart at most along the outer and middle axes).
TEST(Walk, RandomSurfacesGiveValidCases) {
    struct Variant {
        VariantFn fn;
        int outer, middle;
    };
    const Variant variants[] = {{delaunayXYZ, 0, 1}, {delaunayXZY, 0, 2}, {delaunayYXZ, 1, 0},
                                {delaunayYZX, 1, 2}, {delaunayZXY, 2, 0}, {delaunayZYX, 2, 1}};
    const WalkStep steps[] = {{2, 2, 2}, {-2, 2, 2}, {2, -2, 2}, {-2, -2, 2},
                              {2, 2, -2}, {-2, 2, -2}, {2, -2, -2}};
    for (unsigned seed = 1; seed <= 3; ++seed) {
        const PointSet s = curvedPatch(seed, 120, 22.0);
        CellGrid grid;
        ASSERT_EQ(binPoints(s.frame, s.size(), grid), 0);
        std::vector<std::array<int, 3>> cellOf(static_cast<std::size_t>(s.size()));
        for (int i = 0; i <= grid.dims.nx; ++i)
            for (int j = 0; j <= grid.dims.ny; ++j)
                for (int k = 0; k <= grid.dims.nz; ++k)
                    for (int q = 0; q < grid.at(i, j, k).count; ++q)
                        cellOf[grid.at(i, j, k).slot[q]] = {i, j, k};

        for (const Variant& v : variants) {
            for (const WalkStep& step : steps) {
                const CaseRun run = runVariant(v.fn, s, grid, step);
                ASSERT_GT(run.count, 0);
                std::set<Key> seen;
                for (int t = 0; t < run.count; ++t) {
                    const Triangle& tri = run.list[t];
                    if (tri.v[0] == -1) continue;
                    for (int k = 0; k < 3; ++k) {
                        ASSERT_GE(tri.v[k], 0);
                        ASSERT_LT(tri.v[k], s.size());
                    }
                    EXPECT_TRUE(seen.insert(sortedKey(tri)).second) << "duplicate kept";
                    for (const int axis : {v.outer, v.middle}) {
                        int lo = 1 << 20, hi = -1;
                        for (int k = 0; k < 3; ++k) {
                            lo = std::min(lo, cellOf[tri.v[k]][axis]);
                            hi = std::max(hi, cellOf[tri.v[k]][axis]);
                        }
                        EXPECT_LE(hi - lo, 2) << "triangle " << t << " spans columns";
                    }
                }
            }
        }
    }
}

}  // namespace

namespace {

// The walk as it reads with every block of the grid visited, empty or not:
// the reference that skipping empty blocks must match.
int everyBlockWalk(const AxisOrder& order, const CellGrid& grid, const WalkStep& step,
                   const PointSet& s, std::vector<Triangle>& list, CaseScore& score) {
    const int dim[3] = {grid.dims.nx, grid.dims.ny, grid.dims.nz};
    const int stride[3] = {step.sx, step.sy, step.sz};
    std::vector<FramePoint> scratch(s.frame.size() + 3);
    std::vector<int> stamp(s.frame.size(), -1);
    int generation = 0, npts = 0, ntri = 0;
    int centre[3] = {0, 0, 0};
    auto block = [&] {
        for (int i = centre[0] - 1; i <= centre[0] + 1; ++i)
            for (int j = centre[1] - 1; j <= centre[1] + 1; ++j)
                for (int k = centre[2] - 1; k <= centre[2] + 1; ++k) {
                    const GridCell& cell = grid.at(i, j, k);
                    for (int q = 0; q < cell.count; ++q) {
                        const FramePoint& f = s.frame[static_cast<std::size_t>(cell.slot[q])];
                        if (stamp[static_cast<std::size_t>(f.index)] == generation) continue;
                        stamp[static_cast<std::size_t>(f.index)] = generation;
                        double c[3] = {f.x, f.y, f.z};
                        std::swap(c[order.inner], c[2]);
                        scratch[static_cast<std::size_t>(npts++)] = FramePoint{c[0], c[1], c[2], f.index};
                    }
                }
        if (npts > 2) {
            const int r = mytri(ntri, scratch, npts, list);
            if (r > ntri) npts = 0, ++generation;
            ntri = r;
        }
    };
    centre[order.outer] = stride[order.outer] == 2 ? 1 : dim[order.outer] - 1;
    for (int a = 0; a < dim[order.outer] / 2; ++a, centre[order.outer] += stride[order.outer]) {
        centre[order.middle] = stride[order.middle] == 2 ? 1 : dim[order.middle] - 1;
        for (int b = 0; b < dim[order.middle] / 2; ++b, centre[order.middle] += stride[order.middle]) {
            npts = 0;
            ++generation;
            int& c = centre[order.inner];
            if (centre[order.middle] % 4 == 1)
                for (c = 1; c < dim[order.inner]; c += 2) block();
            else
                for (c = dim[order.inner] - 1; c > 0; c -= 2) block();
        }
    }
    removeDuplicates(list, ntri);
    score = scoreCase(s.points, list, ntri);
    return ntri;
}

}  // namespace

// Patches with gaps of empty blocks between them (along every axis, so that
// columns and blocks are skipped in every walk): the walk over occupied
// blocks gives the same list and score as a visit of every block, alone and
// with the blocks of all the walks before it kept and copied.
TEST(Walk, SkippingEmptyBlocksAndCopyingBlocksChangeNothing) {
    const AxisOrder orders[] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    const WalkStep steps[] = {{2, 2, 2},  {-2, 2, 2},  {2, -2, 2},  {-2, -2, 2},
                              {2, 2, -2}, {-2, 2, -2}, {2, -2, -2}, {-2, -2, -2}};
    const double offsets[][3] = {{0, 0, 0}, {31, 4, 9}, {5, 40, 17}, {13, 22, 44}};
    for (unsigned seed = 1; seed <= 2; ++seed) {
        PointSet s;
        for (const auto& o : offsets) {
            const PointSet patch = curvedPatch(seed * 10 + static_cast<unsigned>(o[0]), 25, 9.0);
            for (const FramePoint& f : patch.frame) s.add(f.x + o[0], f.y + o[1], f.z + o[2]);
        }
        CellGrid binned;
        ASSERT_EQ(binPoints(s.frame, s.size(), binned), 0);
        // The same cells in a table of every cell, as in a compact grid, and
        // looked up by hash, as in a grid spread out far.
        CellGrid table = binned, hashed = binned;
        table.index.clear();
        table.dense.assign(static_cast<std::size_t>(table.number(table.dims.nx, table.dims.ny,
                                                                 table.dims.nz) + 1), -1);
        hashed.dense.clear();
        for (std::size_t p = 0; p < binned.where.size(); ++p) {
            const auto& w = binned.where[p];
            table.dense[static_cast<std::size_t>(table.number(w[0], w[1], w[2]))] =
                static_cast<std::int32_t>(p);
            hashed.index[hashed.number(w[0], w[1], w[2])] = static_cast<std::int32_t>(p);
        }
        for (const CellGrid* g : {&table, &hashed}) {
        const CellGrid& grid = *g;
        BlockTriangles made;  // kept over all the walks of this grid
        for (const AxisOrder& order : orders) {
            for (const WalkStep& step : steps) {
                std::vector<Triangle> expected;
                CaseScore expectedScore;
                const int want = everyBlockWalk(order, grid, step, s, expected, expectedScore);
                ASSERT_GT(want, 0);
                for (BlockTriangles* kept : {static_cast<BlockTriangles*>(nullptr), &made}) {
                    std::vector<Triangle> got;
                    CaseScore gotScore;
                    std::vector<FramePoint> scratch;
                    const int count = walkCase(order, grid, grid.dims, step, s.points, s.frame,
                                               scratch, got, gotScore, stdout, kept);
                    ASSERT_EQ(count, want) << (kept ? "copying blocks" : "alone");
                    for (int t = 0; t < want; ++t)
                        for (int v = 0; v < 3; ++v) ASSERT_EQ(got[t].v[v], expected[t].v[v]) << t;
                    EXPECT_EQ(gotScore.areaExcess, expectedScore.areaExcess);
                    EXPECT_EQ(gotScore.edgeExcess, expectedScore.edgeExcess);
                    EXPECT_EQ(gotScore.obtuseCount, expectedScore.obtuseCount);
                }
            }
        }
        }
    }
}
