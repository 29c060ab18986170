// The axis-order variants: one candidate triangulation (a case) of a
// subunit's binned interface points, walked in one order of the axes and one
// set of directions, with duplicates removed and a score to rank it.
#pragma once

#include <cstdio>

#include "common/types.h"
#include "triangulation/grid.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

// The roles of the three axes (0 = x, 1 = y, 2 = z) in one walk. mytri
// triangulates the plane of the outer and middle axes.
struct AxisOrder {
    int outer = 0;
    int middle = 1;
    int inner = 2;
};

// The triangles mytri made of the blocks of one grid whose gathered list
// started empty, by block centre and inner axis. Such a list is the block's
// own points in the order gathered, whatever the case walking it, so mytri
// (a function of the list alone) makes the same triangles of it again: the
// other cases that reach the block afresh copy them. Lists that made no
// triangle are not kept (mytri leaves them sorted, to be carried on).
struct BlockTriangles {
    using Key = std::array<std::int32_t, 4>;  // centre x, y, z; inner axis
    struct KeyHash {
        std::size_t operator()(const Key& k) const;
    };
    std::unordered_map<Key, std::pair<std::size_t, std::size_t>, KeyHash> made;  // range in triangles
    std::vector<Triangle> triangles;
};

// Walks grid in the given order and directions, triangulating the points of
// each 3 x 3 x 3 block with mytri. Fills caseList from position 0 (it grows
// as needed), removes repeated triangles and writes caseScore. scratch is the
// gathered list (grown to n + 3 records). Returns the list's length,
// discarded entries included. dims are grid.dims, and every binned frame
// point's index is a position in points and framePoints (delaunayMain
// checks both). mytri's message on a list too long goes to `console`.
// With `made` (kept for one grid), blocks triangulated afresh by an earlier
// case are copied from it, and those this one triangulates are added.
int walkCase(const AxisOrder& order, const CellGrid& grid, const GridDims& dims,
             const WalkStep& step, const std::vector<InterfacePoint>& points,
             const std::vector<FramePoint>& framePoints, std::vector<FramePoint>& scratch,
             std::vector<Triangle>& caseList, CaseScore& caseScore,
             std::FILE* console = stdout, BlockTriangles* made = nullptr);

// Marks every later copy of a triangle, in any vertex order, as (-1, -1, -1);
// the earliest copy stays. Already discarded entries are skipped.
void removeDuplicates(std::vector<Triangle>& list, int ntri);

// The score of list[0..ntri-1], discarded entries skipped: full 11 A² of
// area, full 5 A of edge length and obtuse triangles, each summed.
CaseScore scoreCase(const std::vector<InterfacePoint>& points, const std::vector<Triangle>& list,
                    int ntri);

// The six variants, named outer, middle, inner axis. All share walkCase.
// Without a console, mytri's message goes to standard output; `made` as for
// walkCase.
int delaunayXYZ(const CellGrid& grid, const GridDims& dims, const WalkStep& step,
                const std::vector<InterfacePoint>& points,
                const std::vector<FramePoint>& framePoints, std::vector<FramePoint>& scratch,
                std::vector<Triangle>& caseList, CaseScore& caseScore, std::FILE* console = stdout,
                BlockTriangles* made = nullptr);
int delaunayXZY(const CellGrid& grid, const GridDims& dims, const WalkStep& step,
                const std::vector<InterfacePoint>& points,
                const std::vector<FramePoint>& framePoints, std::vector<FramePoint>& scratch,
                std::vector<Triangle>& caseList, CaseScore& caseScore, std::FILE* console = stdout,
                BlockTriangles* made = nullptr);
int delaunayYXZ(const CellGrid& grid, const GridDims& dims, const WalkStep& step,
                const std::vector<InterfacePoint>& points,
                const std::vector<FramePoint>& framePoints, std::vector<FramePoint>& scratch,
                std::vector<Triangle>& caseList, CaseScore& caseScore, std::FILE* console = stdout,
                BlockTriangles* made = nullptr);
int delaunayYZX(const CellGrid& grid, const GridDims& dims, const WalkStep& step,
                const std::vector<InterfacePoint>& points,
                const std::vector<FramePoint>& framePoints, std::vector<FramePoint>& scratch,
                std::vector<Triangle>& caseList, CaseScore& caseScore, std::FILE* console = stdout,
                BlockTriangles* made = nullptr);
int delaunayZXY(const CellGrid& grid, const GridDims& dims, const WalkStep& step,
                const std::vector<InterfacePoint>& points,
                const std::vector<FramePoint>& framePoints, std::vector<FramePoint>& scratch,
                std::vector<Triangle>& caseList, CaseScore& caseScore, std::FILE* console = stdout,
                BlockTriangles* made = nullptr);
int delaunayZYX(const CellGrid& grid, const GridDims& dims, const WalkStep& step,
                const std::vector<InterfacePoint>& points,
                const std::vector<FramePoint>& framePoints, std::vector<FramePoint>& scratch,
                std::vector<Triangle>& caseList, CaseScore& caseScore, std::FILE* console = stdout,
                BlockTriangles* made = nullptr);
