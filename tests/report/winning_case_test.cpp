// The winning case a report names is the one whose triangles were kept: the
// first of the 24 walking cases with the smallest score.
#include "point_set.h"
#include "report/interface_report.h"
#include "triangulation/grid.h"
#include "triangulation/variants.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using Variant = int (*)(const CellGrid&, const GridDims&, const WalkStep&,
                        const std::vector<InterfacePoint>&, const std::vector<FramePoint>&,
                        std::vector<FramePoint>&, std::vector<Triangle>&, CaseScore&, std::FILE*,
                        BlockTriangles*);
const Variant kVariants[6] = {delaunayXYZ, delaunayXZY, delaunayYXZ,
                              delaunayYZX, delaunayZXY, delaunayZYX};
// The four walking directions of each order, as the triangulation tries them.
const WalkStep kSteps[6][4] = {
    {{2, 2, 2}, {-2, 2, 2}, {2, -2, 2}, {-2, -2, 2}},
    {{2, 2, 2}, {-2, 2, 2}, {2, 2, -2}, {-2, 2, -2}},
    {{2, 2, 2}, {2, -2, 2}, {-2, 2, 2}, {-2, -2, 2}},
    {{2, 2, 2}, {2, -2, 2}, {2, 2, -2}, {2, -2, -2}},
    {{2, 2, 2}, {2, 2, -2}, {-2, 2, 2}, {-2, 2, -2}},
    {{2, 2, 2}, {2, 2, -2}, {2, -2, 2}, {2, -2, -2}},
};

TEST(WinningCase, IsTheFirstBestCaseAndItsTrianglesAreTheKeptOnes) {
    for (unsigned seed = 1; seed <= 6; ++seed) {
        const PointSet s = curvedPatch(seed, 90, 18.0);
        std::vector<FramePoint> scratch;
        std::vector<Triangle> kept;
        std::vector<float> areas;
        std::vector<Vector3> centroids, normals;
        WinningCase winner;
        ASSERT_GT(delaunayMain(s.points, s.frame, scratch, s.size(), kept, areas, centroids,
                               normals, &winner),
                  0);

        CellGrid grid;
        ASSERT_EQ(binPoints(s.frame, s.size(), grid), 0);
        int bestOrder = -1, bestDirection = -1;
        CaseScore best{};
        std::vector<Triangle> bestList;
        for (int order = 0; order < 6; ++order) {
            for (int k = 0; k < 4; ++k) {
                std::vector<Triangle> list;
                CaseScore score;
                const int n = kVariants[order](grid, grid.dims, kSteps[order][k], s.points,
                                               s.frame, scratch, list, score, stdout, nullptr);
                if (bestOrder < 0 || scoreLess(score, best)) {
                    best = score;
                    bestOrder = order;
                    bestDirection = k;
                    bestList.assign(list.begin(), list.begin() + n);
                }
            }
        }
        EXPECT_EQ(winner.order, bestOrder) << "seed " << seed;
        EXPECT_EQ(winner.direction, bestDirection) << "seed " << seed;
        const WalkStep& step = kSteps[bestOrder][bestDirection];
        EXPECT_EQ((std::array<int, 3>{winner.step[0], winner.step[1], winner.step[2]}),
                  (std::array<int, 3>{step.sx, step.sy, step.sz}));
        ASSERT_EQ(kept.size(), bestList.size()) << "seed " << seed;
        for (std::size_t i = 0; i < kept.size(); ++i)
            for (int v = 0; v < 3; ++v) EXPECT_EQ(kept[i].v[v], bestList[i].v[v]);
    }
}

}  // namespace
