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
#include <utility>
#include <vector>

// The roles of the three axes (0 = x, 1 = y, 2 = z) in one walk. mytri
// triangulates the plane of the outer and middle axes.
struct AxisOrder {
    int outer = 0;
    int middle = 1;
    int inner = 2;
};

// The triangles mytri made of the lists the walks of one grid gathered.
// mytri is a function of its list alone (the points, in order), and the 24
// cases gather most lists more than once: a block reached with an empty
// list holds its own points in the order gathered, whatever the case, and
// the points of a block without triangles carry on into the same next block
// in several. A list met again gets the triangles made of it, copied: found
// by the block's centre and inner axis when it started empty (without
// gathering it), else by the list itself. Lists that made no triangle are
// not kept: mytri leaves them sorted, to be carried on.
struct BlockTriangles {
    using Range = std::pair<std::size_t, std::size_t>;  // of triangles
    using Centre = std::array<std::int32_t, 4>;         // centre x, y, z; inner axis
    std::vector<FramePoint> points;     // of the lists kept, one after another
    std::vector<Triangle> triangles;    // what they made, one after another

    // The triangles of the block at `centre` reached with an empty list,
    // or null when it has not been met.
    const Range* atCentre(const Centre& centre) const;
    // Keeps `made` for that block (a block kept already keeps its own).
    void keepCentre(const Centre& centre, const Range& made);
    // The triangles made of list[0..n) in a walk with this inner axis
    // (`digest`: listDigest of them), or null when it has not been met.
    const Range* find(std::uint64_t digest, std::int32_t inner, const FramePoint* list,
                      std::size_t n) const;
    // Keeps madeOf[0..count) as what list[0..n) made.
    Range keep(std::uint64_t digest, std::int32_t inner, const FramePoint* list, std::size_t n,
               const Triangle* madeOf, std::size_t count);

private:
    struct List {
        std::uint64_t digest;
        std::int32_t inner;         // the axis swapped into z
        std::size_t first, count;   // its points: points[first ..]
        Range made;
    };
    std::vector<std::pair<Centre, Range>> centres_;
    std::vector<List> lists_;
    // Open addressing with linear probing, at most half full: a slot holds
    // 1 + the position of its entry, 0 when free. Lists are found by their
    // digest; the points themselves, bit for bit, decide.
    std::vector<std::uint32_t> centreSlots_, listSlots_;
};
std::uint64_t listDigest(std::int32_t inner, const FramePoint* list, std::size_t n);

// Walks grid in the given order and directions, triangulating the points of
// each 3 x 3 x 3 block with mytri. Fills caseList from position 0 (it grows
// as needed), removes repeated triangles and writes caseScore. scratch is the
// gathered list (grown to n + 3 records). Returns the list's length,
// discarded entries included. dims are grid.dims, and every binned frame
// point's index is a position in points and framePoints (delaunayMain
// checks both). mytri's message on a list too long goes to `console`.
// With `made` (kept for one grid), a list an earlier case triangulated
// takes its triangles from there, and the lists this one triangulates are
// added.
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
