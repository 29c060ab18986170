// The grid triangulation driver: bins one subunit's interface frame points in
// 3 A cells, runs the 24 walking cases and keeps the best one's triangles.
#pragma once

#include <cstdio>

#include "common/types.h"

#include <array>
#include <cstdint>
#include <unordered_map>
#include <vector>

struct WinningCase;

// Returned by delaunayMain when a grid cell would receive a 20th point; the
// structure then cannot be triangulated.
inline constexpr int kOverfullCell = -1;

// Returned by binPoints when no grid can be made (more than kMaxAxisCells
// along an axis, or coordinates that are not finite).
inline constexpr int kNoGrid = -2;

inline constexpr double kCellWidth = 3.0;  // angstroms
inline constexpr int kCellSlots = 20;
inline constexpr int kMaxCellPoints = 19;  // the 20th point is refused

// Cells along one axis at most: about 3000 km at 3 A a cell, far beyond any
// coordinate a structure file can hold, and small enough that a cell's number
// fits in 64 bits.
inline constexpr std::int64_t kMaxAxisCells = std::int64_t{1} << 20;

// The number of cells along x, y and z less one: cells 0..nx along x.
struct GridDims {
    std::int32_t nx = 0;
    std::int32_t ny = 0;
    std::int32_t nz = 0;
};

// Positions of the frame points that fall in one cell, in binning order.
struct GridCell {
    std::int32_t count = 0;
    std::int32_t slot[kCellSlots] = {};
};

// (nx + 1) x (ny + 1) x (nz + 1) cells. Points occupy cells 1..dim-1 of each
// axis; cells 0 and dim stay empty, so every 3 x 3 x 3 block around a
// walking centre stays inside the grid. Only the occupied cells are stored,
// so that memory follows the number of points and not the volume they span
// (an interface spread over a large assembly spans millions of cells).
struct CellGrid {
    GridDims dims;
    std::vector<GridCell> cells;                     // occupied, in order of first point
    std::vector<std::array<std::int32_t, 3>> where;  // the cell numbers of each along x, y, z
    // number(i, j, k) -> position in cells: a table of every cell (-1 where
    // empty) while the grid has at most kDenseCellsPerPoint cells a point,
    // as a compact interface does, else a hash of the occupied ones.
    std::vector<std::int32_t> dense;
    std::unordered_map<std::int64_t, std::int32_t> index;

    std::int64_t number(int i, int j, int k) const {
        return (std::int64_t{i} * (dims.ny + 1) + j) * (dims.nz + 1) + k;
    }
    // The position in cells of cell (i, j, k), or -1 when no point fell there.
    std::int32_t position(int i, int j, int k) const {
        const std::int64_t n = number(i, j, k);
        if (!dense.empty()) return dense[static_cast<std::size_t>(n)];
        const auto found = index.find(n);
        return found == index.end() ? -1 : found->second;
    }
    // The cell (i, j, k); an empty one when no point fell there.
    const GridCell& at(int i, int j, int k) const {
        static const GridCell kEmpty{};
        const std::int32_t p = position(i, j, k);
        return p < 0 ? kEmpty : cells[static_cast<std::size_t>(p)];
    }
};

// The most cells a point for which a grid keeps a table of every cell
// (4 bytes each): a compact interface spans a few dozen cells a point.
inline constexpr std::int64_t kDenseCellsPerPoint = 64;

// The walking direction of one case along x, y and z: each +2 or -2.
struct WalkStep {
    std::int32_t sx = 2;
    std::int32_t sy = 2;
    std::int32_t sz = 2;
};

// Lexicographic order of case scores; smaller is better.
bool scoreLess(const CaseScore& a, const CaseScore& b);

// Bins framePoints[0..n-1] (0 < n <= framePoints.size()) into a fresh grid:
// single-precision bounds, cells 3 A wide. Returns 0, kNoGrid, or
// kOverfullCell after printing the technical-problem message to `console`.
int binPoints(const std::vector<FramePoint>& framePoints, int n, CellGrid& grid,
              std::FILE* console = stdout);

// Takes the first of the four cases whose score is strictly below best:
// best becomes its score and its counts[k] triangles are copied to out[0..]
// (out grows as needed; entries past them are left alone). Returns that
// count, or -1 when no case beats best.
int FindMinCase(const std::array<CaseScore, 4>& scores, CaseScore& best,
                const std::array<int, 4>& counts, std::vector<Triangle>& out,
                const std::vector<Triangle>& list0, const std::vector<Triangle>& list1,
                const std::vector<Triangle>& list2, const std::vector<Triangle>& list3);

// points: the subunit's interface points (entries 0..n-1); framePoints: the
// same in the interface frame (entries 0..n-1, index i at position i);
// scratch: work space, grown as needed. On return, `triangles` holds the
// winning case's list (discarded entries included) and areas, centroids and
// normals one entry per kept triangle (resized to the result). Result: the
// number of kept triangles (0: none), or kOverfullCell after printing the
// technical-problem message. When `winner` is given, it names the case
// whose triangles were kept. Messages go to `console`.
int delaunayMain(const std::vector<InterfacePoint>& points,
                 const std::vector<FramePoint>& framePoints, std::vector<FramePoint>& scratch,
                 int n, std::vector<Triangle>& triangles, std::vector<float>& areas,
                 std::vector<Vector3>& centroids, std::vector<Vector3>& normals,
                 WinningCase* winner = nullptr, std::FILE* console = stdout);
