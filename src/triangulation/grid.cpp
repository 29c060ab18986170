#include "triangulation/grid.h"

#include "common/interface_record.h"
#include "triangulation/measure.h"
#include "triangulation/variants.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>

namespace {

// Starting bounds: any frame coordinate of a real interface lies inside.
constexpr float kBoundStart = 32767.0f;

// Case scores at or above this are never taken.
constexpr CaseScore kWorstScore{10000, 10000, 10000};

using Variant = int (*)(const CellGrid&, const GridDims&, const WalkStep&,
                        const std::vector<InterfacePoint>&, const std::vector<FramePoint>&,
                        std::vector<FramePoint>&, std::vector<Triangle>&, CaseScore&, std::FILE*,
                        BlockTriangles*);

// The 24 cases: case 0 walks the outer and middle axes forward, case 1
// reverses the outer axis, case 2 the middle one, case 3 both. The inner
// axis's component is not read.
struct OrderCases {
    Variant variant;
    WalkStep steps[4];
};

const OrderCases kOrders[6] = {
    {delaunayXYZ, {{2, 2, 2}, {-2, 2, 2}, {2, -2, 2}, {-2, -2, 2}}},
    {delaunayXZY, {{2, 2, 2}, {-2, 2, 2}, {2, 2, -2}, {-2, 2, -2}}},
    {delaunayYXZ, {{2, 2, 2}, {2, -2, 2}, {-2, 2, 2}, {-2, -2, 2}}},
    {delaunayYZX, {{2, 2, 2}, {2, -2, 2}, {2, 2, -2}, {2, -2, -2}}},
    {delaunayZXY, {{2, 2, 2}, {2, 2, -2}, {-2, 2, 2}, {-2, 2, -2}}},
    {delaunayZYX, {{2, 2, 2}, {2, 2, -2}, {2, -2, 2}, {2, -2, -2}}},
};

// The case FindMinCase took: the first whose score equals the new best.
void nameWinner(int order, const OrderCases& cases, const std::array<CaseScore, 4>& scores,
                const CaseScore& best, WinningCase& winner) {
    for (int k = 0; k < 4; ++k) {
        const CaseScore& s = scores[static_cast<std::size_t>(k)];
        if (scoreLess(s, best) || scoreLess(best, s)) continue;
        winner.order = order;
        winner.direction = k;
        winner.step[0] = cases.steps[k].sx;
        winner.step[1] = cases.steps[k].sy;
        winner.step[2] = cases.steps[k].sz;
        return;
    }
}

double coordinate(const FramePoint& p, int axis) { return axis == 0 ? p.x : axis == 1 ? p.y : p.z; }

}  // namespace

bool scoreLess(const CaseScore& a, const CaseScore& b) {
    if (a.areaExcess != b.areaExcess) return a.areaExcess < b.areaExcess;
    if (a.edgeExcess != b.edgeExcess) return a.edgeExcess < b.edgeExcess;
    return a.obtuseCount < b.obtuseCount;
}

int binPoints(const std::vector<FramePoint>& framePoints, int n, CellGrid& grid,
              std::FILE* console) {
    // Single-precision bounds: a double coordinate is compared with the bound
    // widened to double and stored rounded to single.
    float lo[3] = {kBoundStart, kBoundStart, kBoundStart};
    float hi[3] = {-kBoundStart, -kBoundStart, -kBoundStart};
    for (int i = 0; i < n; ++i) {
        for (int axis = 0; axis < 3; ++axis) {
            const double c = coordinate(framePoints[static_cast<std::size_t>(i)], axis);
            // A finite value beyond the single-precision range has no bound
            // to be stored in (infinities and NaN fail the binning below).
            if (std::isfinite(c) && std::fabs(c) > static_cast<double>(FLT_MAX)) return kNoGrid;
            if (c > static_cast<double>(hi[axis])) hi[axis] = static_cast<float>(c);
            if (c < static_cast<double>(lo[axis])) lo[axis] = static_cast<float>(c);
        }
    }

    // Two empty cells beyond the occupied ones on every axis.
    std::int32_t dim[3] = {0, 0, 0};
    for (int axis = 0; axis < 3; ++axis) {
        const float extent = hi[axis] - lo[axis];
        const double cells = static_cast<double>(extent) / kCellWidth;
        if (!(cells >= 0.0) || cells > static_cast<double>(kMaxAxisCells)) return kNoGrid;
        dim[axis] = static_cast<std::int32_t>(cells) + 3;
    }

    grid.dims = GridDims{dim[0], dim[1], dim[2]};
    grid.cells.clear();
    grid.where.clear();
    grid.index.clear();
    grid.dense.clear();
    const std::int64_t total = std::int64_t{dim[0] + 1} * (dim[1] + 1) * (dim[2] + 1);
    if (total <= kDenseCellsPerPoint * n) grid.dense.assign(static_cast<std::size_t>(total), -1);
    for (int i = 0; i < n; ++i) {
        std::array<std::int32_t, 3> cell{0, 0, 0};
        for (int axis = 0; axis < 3; ++axis) {
            const double c = coordinate(framePoints[static_cast<std::size_t>(i)], axis);
            const double q = (c - static_cast<double>(lo[axis])) / kCellWidth;
            // Finite coordinates always land in 1..dim-1; anything else is
            // not a number.
            if (!(q > -1.0 && q < static_cast<double>(dim[axis] - 1))) return kNoGrid;
            cell[static_cast<std::size_t>(axis)] = static_cast<std::int32_t>(q) + 1;
        }
        const std::int64_t number = grid.number(cell[0], cell[1], cell[2]);
        const auto next = static_cast<std::int32_t>(grid.cells.size());
        std::int32_t position = next;
        if (!grid.dense.empty()) {
            std::int32_t& entry = grid.dense[static_cast<std::size_t>(number)];
            if (entry < 0) entry = next;
            position = entry;
        } else {
            position = grid.index.try_emplace(number, next).first->second;
        }
        if (position == next) {
            grid.cells.emplace_back();
            grid.where.push_back(cell);
        }
        GridCell& target = grid.cells[static_cast<std::size_t>(position)];
        target.slot[target.count] = i;
        ++target.count;
        if (target.count > kMaxCellPoints) {
            std::fprintf(console, "\nTechnical Problem. May be short contact in your structure.");
            return kOverfullCell;
        }
    }
    return 0;
}

int FindMinCase(const std::array<CaseScore, 4>& scores, CaseScore& best,
                const std::array<int, 4>& counts, std::vector<Triangle>& out,
                const std::vector<Triangle>& list0, const std::vector<Triangle>& list1,
                const std::vector<Triangle>& list2, const std::vector<Triangle>& list3) {
    int winner = -1;
    for (int k = 0; k < 4; ++k) {
        if (scoreLess(scores[static_cast<std::size_t>(k)], best)) {
            best = scores[static_cast<std::size_t>(k)];
            winner = k;
        }
    }
    if (winner < 0) return -1;

    const std::vector<Triangle>* lists[4] = {&list0, &list1, &list2, &list3};
    const std::vector<Triangle>& list = *lists[winner];
    const int count = counts[static_cast<std::size_t>(winner)];
    // An empty winner copies nothing: out keeps the previous winner's list.
    if (out.size() < static_cast<std::size_t>(count)) out.resize(static_cast<std::size_t>(count));
    std::copy(list.begin(), list.begin() + count, out.begin());
    return count;
}

int delaunayMain(const std::vector<InterfacePoint>& points,
                 const std::vector<FramePoint>& framePoints, std::vector<FramePoint>& scratch,
                 int n, std::vector<Triangle>& triangles, std::vector<float>& areas,
                 std::vector<Vector3>& centroids, std::vector<Vector3>& normals,
                 WinningCase* winner, std::FILE* console) {
    triangles.clear();
    areas.clear();
    centroids.clear();
    normals.clear();
    if (n <= 0) return 0;

    // Every triangle vertex is a frame point's index and is looked up in
    // points: a table too short or an index outside 0..n-1 gives nothing.
    const auto count = static_cast<std::size_t>(n);
    if (points.size() < count || framePoints.size() < count) return 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (framePoints[i].index < 0 || framePoints[i].index >= n) return 0;
    }

    CellGrid grid;
    const int binned = binPoints(framePoints, n, grid, console);
    if (binned == kOverfullCell) return kOverfullCell;
    if (binned != 0) return 0;

    CaseScore best = kWorstScore;
    int total = 0;
    std::array<std::vector<Triangle>, 4> lists;
    std::array<CaseScore, 4> scores{};
    std::array<int, 4> counts{};
    BlockTriangles made;  // the cases share most blocks
    for (const OrderCases& order : kOrders) {
        for (std::size_t k = 0; k < 4; ++k) {
            counts[k] = order.variant(grid, grid.dims, order.steps[k], points, framePoints,
                                      scratch, lists[k], scores[k], console, &made);
        }
        const int r = FindMinCase(scores, best, counts, triangles, lists[0], lists[1], lists[2],
                                  lists[3]);
        if (r > 0) {
            total = r;
            if (winner) nameWinner(static_cast<int>(&order - kOrders), order, scores, best, *winner);
        }
    }
    triangles.resize(static_cast<std::size_t>(total));
    return measureTriangles(points, triangles, total, areas, centroids, normals);
}
