#include "triangulation/variants.h"

#include "triangulation/delaunay.h"
#include "triangulation/measure.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

namespace {

// Truncation toward zero of a non-negative measure; a value that is not a
// number (never seen from finite coordinates) counts as 0.
int truncated(double value) {
    if (!(value >= 0.0)) return 0;
    if (value >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    return static_cast<int>(value);
}

float dot(float ax, float ay, float az, float bx, float by, float bz) {
    return (ax * bx + ay * by) + az * bz;
}

using VertexSet = std::array<std::int32_t, 3>;

VertexSet vertexSet(const Triangle& t) {
    VertexSet k{t.v[0], t.v[1], t.v[2]};
    std::sort(k.begin(), k.end());
    return k;
}

std::size_t hashOf(const VertexSet& k) {
    std::uint64_t h = static_cast<std::uint32_t>(k[0]);
    h = h * 0x9E3779B97F4A7C15ull + static_cast<std::uint32_t>(k[1]);
    h = h * 0x9E3779B97F4A7C15ull + static_cast<std::uint32_t>(k[2]);
    return static_cast<std::size_t>(h ^ (h >> 29));
}

// The walking centres along one axis: start, start + step, ... (count of
// them). Forward (step +2) from cell 1, backward (step -2) from cell dim - 1;
// dim / 2 of them either way, so every occupied cell lies in some block.
struct Lattice {
    int start = 1;
    int step = 2;
    int count = 0;
};

Lattice walkLattice(int dim, int step) { return Lattice{step > 0 ? 1 : dim - 1, step, dim / 2}; }

int centreOf(const Lattice& l, int position) { return l.start + l.step * position; }

// The positions of the centres whose block (centre - 1 .. centre + 1) holds
// cell x: one or two, written to out. Returns how many.
int centresHolding(const Lattice& l, int x, int out[2]) {
    int n = 0;
    for (int c = x - 1; c <= x + 1; ++c) {
        const int offset = c - l.start;
        if (offset % l.step != 0) continue;
        const int position = offset / l.step;
        if (position >= 0 && position < l.count) out[n++] = position;
    }
    return n;
}

std::uint64_t centreDigest(const BlockTriangles::Centre& k) {
    std::uint64_t h = 0;
    for (const std::int32_t v : k) h = (h ^ static_cast<std::uint32_t>(v)) * 0x9E3779B97F4A7C15ull;
    return h ^ (h >> 29);
}

// Bit for bit: mytri may treat -0 and 0 apart.
bool samePoint(const FramePoint& a, const FramePoint& b) {
    return std::bit_cast<std::uint64_t>(a.x) == std::bit_cast<std::uint64_t>(b.x) &&
           std::bit_cast<std::uint64_t>(a.y) == std::bit_cast<std::uint64_t>(b.y) &&
           std::bit_cast<std::uint64_t>(a.z) == std::bit_cast<std::uint64_t>(b.z) &&
           a.index == b.index;
}

// Where in an open-addressing table (a power of two of slots) the entry
// that `matches` accepts lies, or the free slot where it would go.
template <typename Matches>
std::size_t slotOf(const std::vector<std::uint32_t>& slots, std::uint64_t digest,
                   Matches matches) {
    const std::size_t mask = slots.size() - 1;
    for (std::size_t i = (digest ^ (digest >> 32)) & mask;; i = (i + 1) & mask)
        if (slots[i] == 0 || matches(slots[i] - 1)) return i;
}
constexpr auto kNoMatch = [](std::uint32_t) { return false; };

// Room in `slots` for one entry more than `entries`: twice the slots, the
// entries put back, when it would be more than half full. False when an
// entry's position would not fit a slot.
template <typename DigestOf>
bool roomFor(std::vector<std::uint32_t>& slots, std::size_t entries, DigestOf digestOf) {
    if (entries + 1 >= std::numeric_limits<std::uint32_t>::max()) return false;
    if (2 * (entries + 1) <= slots.size()) return true;
    slots.assign(slots.empty() ? 256 : 2 * slots.size(), 0);
    for (std::size_t e = 0; e < entries; ++e)
        slots[slotOf(slots, digestOf(e), kNoMatch)] = static_cast<std::uint32_t>(e + 1);
    return true;
}

}  // namespace

std::uint64_t listDigest(std::int32_t inner, const FramePoint* list, std::size_t n) {
    std::uint64_t h = static_cast<std::uint32_t>(inner);
    for (std::size_t k = 0; k < n; ++k)
        h = (h ^ static_cast<std::uint32_t>(list[k].index)) * 0x9E3779B97F4A7C15ull;
    return h ^ (h >> 29);
}

const BlockTriangles::Range* BlockTriangles::atCentre(const Centre& centre) const {
    if (centreSlots_.empty()) return nullptr;
    const std::uint32_t slot = centreSlots_[slotOf(
        centreSlots_, centreDigest(centre),
        [&](std::uint32_t e) { return centres_[e].first == centre; })];
    return slot == 0 ? nullptr : &centres_[slot - 1].second;
}

void BlockTriangles::keepCentre(const Centre& centre, const Range& made) {
    if (!roomFor(centreSlots_, centres_.size(),
                 [this](std::size_t e) { return centreDigest(centres_[e].first); }))
        return;
    std::uint32_t& slot = centreSlots_[slotOf(
        centreSlots_, centreDigest(centre),
        [&](std::uint32_t e) { return centres_[e].first == centre; })];
    if (slot != 0) return;
    centres_.emplace_back(centre, made);
    slot = static_cast<std::uint32_t>(centres_.size());
}

const BlockTriangles::Range* BlockTriangles::find(std::uint64_t digest, std::int32_t inner,
                                                  const FramePoint* list, std::size_t n) const {
    if (listSlots_.empty()) return nullptr;
    const std::uint32_t slot = listSlots_[slotOf(listSlots_, digest, [&](std::uint32_t e) {
        const List& l = lists_[e];
        return l.digest == digest && l.inner == inner && l.count == n &&
               std::equal(list, list + n, points.begin() + static_cast<std::ptrdiff_t>(l.first),
                          samePoint);
    })];
    return slot == 0 ? nullptr : &lists_[slot - 1].made;
}

BlockTriangles::Range BlockTriangles::keep(std::uint64_t digest, std::int32_t inner,
                                           const FramePoint* list, std::size_t n,
                                           const Triangle* madeOf, std::size_t count) {
    const std::size_t first = points.size(), from = triangles.size();
    points.insert(points.end(), list, list + n);
    triangles.insert(triangles.end(), madeOf, madeOf + count);
    const Range range{from, triangles.size()};
    // A list not met before (find came first): its free slot.
    if (roomFor(listSlots_, lists_.size(), [this](std::size_t e) { return lists_[e].digest; })) {
        lists_.push_back({digest, inner, first, n, range});
        listSlots_[slotOf(listSlots_, digest, kNoMatch)] =
            static_cast<std::uint32_t>(lists_.size());
    }
    return range;
}

void removeDuplicates(std::vector<Triangle>& list, int ntri) {
    // The kept triangles so far, by vertex set, in an open-addressing table
    // of list positions: walking the list in order, a triangle whose set is
    // already there is a later copy. That is the result of comparing every
    // pair in list order, because the vertices of one triangle are always
    // distinct (the gathered list has no repeated index), so "each vertex of
    // t occurs in u" means equal sets.
    std::size_t size = 16;
    while (size < 2 * static_cast<std::size_t>(ntri)) size *= 2;
    std::vector<std::uint32_t> table(size, 0);
    for (int t = 0; t < ntri; ++t) {
        Triangle& tri = list[static_cast<std::size_t>(t)];
        if (tri.v[0] == -1) continue;
        const VertexSet key = vertexSet(tri);
        std::uint32_t& slot = table[slotOf(table, hashOf(key), [&](std::uint32_t kept) {
            return vertexSet(list[kept]) == key;
        })];
        if (slot != 0) tri = Triangle{{-1, -1, -1}};
        else slot = static_cast<std::uint32_t>(t + 1);
    }
}

CaseScore scoreCase(const std::vector<InterfacePoint>& points, const std::vector<Triangle>& list,
                    int ntri) {
    CaseScore score;
    for (int t = 0; t < ntri; ++t) {
        const Triangle& tri = list[static_cast<std::size_t>(t)];
        if (tri.v[0] == -1) continue;
        const auto [a, b, c, dAB, dCB, dAC] = sidesOf(points, tri);
        const double area = heronArea(dAB, dCB, dAC);
        score.areaExcess += truncated(area / 11.0);
        score.edgeExcess += truncated(static_cast<double>(dAB) / 5.0) +
                            truncated(static_cast<double>(dCB) / 5.0) +
                            truncated(static_cast<double>(dAC) / 5.0);

        // u = A - B, v = C - B, w = A - C; a right angle is not obtuse.
        const float ux = a.x - b.x, uy = a.y - b.y, uz = a.z - b.z;
        const float vx = c.x - b.x, vy = c.y - b.y, vz = c.z - b.z;
        const float wx = a.x - c.x, wy = a.y - c.y, wz = a.z - c.z;
        const bool obtuse = dot(ux, uy, uz, wx, wy, wz) < 0.0f ||
                            dot(ux, uy, uz, vx, vy, vz) < 0.0f ||
                            dot(wx, wy, wz, b.x - c.x, b.y - c.y, b.z - c.z) < 0.0f;
        if (obtuse) ++score.obtuseCount;
    }
    return score;
}

int walkCase(const AxisOrder& order, const CellGrid& grid, const GridDims& dims,
             const WalkStep& step, const std::vector<InterfacePoint>& points,
             const std::vector<FramePoint>& framePoints, std::vector<FramePoint>& scratch,
             std::vector<Triangle>& caseList, CaseScore& caseScore,
             std::FILE* console, BlockTriangles* made) {
    const int dim[3] = {dims.nx, dims.ny, dims.nz};
    const int stride[3] = {step.sx, step.sy, step.sz};
    const int outer = order.outer;
    const int middle = order.middle;
    const int inner = order.inner;

    // No two gathered entries share an index, so the list never outgrows the
    // frame table; mytri needs three records beyond it.
    if (scratch.size() < framePoints.size() + 3) scratch.resize(framePoints.size() + 3);

    // Membership of the gathered list by index: stamp[index] == generation.
    // Emptying the list starts a new generation.
    std::vector<int> stamp(framePoints.size(), -1);
    int generation = 0;
    int npts = 0;
    int ntri = 0;

    auto emptyList = [&] {
        npts = 0;
        ++generation;
    };

    auto gather = [&](const int centre[3]) {
        for (int i = centre[0] - 1; i <= centre[0] + 1; ++i) {
            for (int j = centre[1] - 1; j <= centre[1] + 1; ++j) {
                for (int k = centre[2] - 1; k <= centre[2] + 1; ++k) {
                    const GridCell& cell = grid.at(i, j, k);
                    for (int s = 0; s < cell.count; ++s) {
                        const FramePoint& f = framePoints[static_cast<std::size_t>(cell.slot[s])];
                        int& mark = stamp[static_cast<std::size_t>(f.index)];
                        if (mark == generation) continue;
                        mark = generation;
                        // The inner axis's coordinate goes to z; mytri works
                        // in the plane of the outer and middle axes.
                        double c[3] = {f.x, f.y, f.z};
                        std::swap(c[inner], c[2]);
                        scratch[static_cast<std::size_t>(npts)] = FramePoint{c[0], c[1], c[2], f.index};
                        ++npts;
                    }
                }
            }
        }
    };

    // A list met before: its triangles copied after those so far.
    auto copyMade = [&](const BlockTriangles::Range& range) {
        const std::size_t need = static_cast<std::size_t>(ntri) + (range.second - range.first);
        if (caseList.size() < need) caseList.resize(need);
        std::copy(made->triangles.begin() + static_cast<std::ptrdiff_t>(range.first),
                  made->triangles.begin() + static_cast<std::ptrdiff_t>(range.second),
                  caseList.begin() + ntri);
        ntri = static_cast<int>(need);
        emptyList();
    };
    std::vector<FramePoint> asGathered;  // mytri sorts the list where it lies
    auto triangulateBlock = [&](const int centre[3]) {
        const bool afresh = npts == 0;
        const BlockTriangles::Centre key = {centre[0], centre[1], centre[2], inner};
        if (afresh && made) {
            if (const BlockTriangles::Range* found = made->atCentre(key)) return copyMade(*found);
        }
        gather(centre);
        // Fewer than three points, or no triangle: the points carry over to
        // the next block of the column.
        if (npts <= 2) return;
        // A list too long is refused with a message, each time.
        if (!made || 3 * npts >= kMytriLimit) {
            const int r = mytri(ntri, scratch, npts, caseList, console);
            if (r > ntri) emptyList();
            ntri = r;
            return;
        }
        const auto n = static_cast<std::size_t>(npts);
        const std::uint64_t digest = listDigest(inner, scratch.data(), n);
        if (const BlockTriangles::Range* range = made->find(digest, inner, scratch.data(), n)) {
            if (afresh) made->keepCentre(key, *range);
            return copyMade(*range);
        }
        asGathered.assign(scratch.begin(), scratch.begin() + npts);
        const int r = mytri(ntri, scratch, npts, caseList, console);
        if (r > ntri) {
            const BlockTriangles::Range range =
                made->keep(digest, inner, asGathered.data(), n, caseList.data() + ntri,
                           static_cast<std::size_t>(r - ntri));
            if (afresh) made->keepCentre(key, range);
            emptyList();
        }
        ntri = r;
    };

    // The walk visits columns of blocks (outer, then middle axis) and the
    // blocks of each column along the inner axis, serpentine.
    int centre[3] = {0, 0, 0};
    if (!grid.dense.empty()) {
        // A compact grid: every block, empty or not, costs little.
        centre[outer] = stride[outer] == 2 ? 1 : dim[outer] - 1;
        for (int a = 0; a < dim[outer] / 2; ++a, centre[outer] += stride[outer]) {
            centre[middle] = stride[middle] == 2 ? 1 : dim[middle] - 1;
            for (int b = 0; b < dim[middle] / 2; ++b, centre[middle] += stride[middle]) {
                emptyList();  // every column starts afresh
                // Serpentine: up the column when the middle cell is 1 mod 4.
                if (centre[middle] % 4 == 1) {
                    for (centre[inner] = 1; centre[inner] < dim[inner]; centre[inner] += 2)
                        triangulateBlock(centre);
                } else {
                    for (centre[inner] = dim[inner] - 1; centre[inner] > 0; centre[inner] -= 2)
                        triangulateBlock(centre);
                }
            }
        }
        removeDuplicates(caseList, ntri);
        caseScore = scoreCase(points, caseList, ntri);
        return ntri;
    }

    // A spread-out grid: only the blocks that hold a point are visited, in
    // the same order. An empty block adds nothing to the gathered list, so
    // it can only repeat the block before it, which made no triangle (else
    // the list would have been emptied).
    const Lattice outerCentres = walkLattice(dim[outer], stride[outer]);
    const Lattice middleCentres = walkLattice(dim[middle], stride[middle]);
    const Lattice up = walkLattice(dim[inner], 2);
    const Lattice down = walkLattice(dim[inner], -2);
    // Serpentine: up the column when the middle cell is 1 mod 4.
    auto upward = [&](int b) { return centreOf(middleCentres, b) % 4 == 1; };

    const std::int64_t span = std::int64_t{up.count} + 1;
    const std::int64_t columns = std::int64_t{middleCentres.count} + 1;
    std::vector<std::int64_t> blocks;
    blocks.reserve(grid.cells.size() * 8);
    for (const std::array<std::int32_t, 3>& cell : grid.where) {
        int as[2], bs[2], cs[2];
        const int na = centresHolding(outerCentres, cell[static_cast<std::size_t>(outer)], as);
        const int nb = centresHolding(middleCentres, cell[static_cast<std::size_t>(middle)], bs);
        for (int ia = 0; ia < na; ++ia) {
            for (int ib = 0; ib < nb; ++ib) {
                const Lattice& column = upward(bs[ib]) ? up : down;
                const int nc = centresHolding(column, cell[static_cast<std::size_t>(inner)], cs);
                for (int ic = 0; ic < nc; ++ic)
                    blocks.push_back((std::int64_t{as[ia]} * columns + bs[ib]) * span + cs[ic]);
            }
        }
    }
    std::sort(blocks.begin(), blocks.end());
    blocks.erase(std::unique(blocks.begin(), blocks.end()), blocks.end());

    // Blocks skipped behind a visited one: each would have handed mytri the
    // same points again, which only matters for its message on a list too
    // long to triangulate.
    auto repeatEmpty = [&](std::int64_t skipped) {
        if (npts > 2 && 3 * npts >= kMytriLimit)
            for (std::int64_t k = 0; k < skipped; ++k) ntri = mytri(ntri, scratch, npts, caseList, console);
    };

    std::int64_t column = -1;
    int last = -1;  // the position in its column of the block visited last
    for (const std::int64_t key : blocks) {
        const std::int64_t thisColumn = key / span;
        const int c = static_cast<int>(key % span);
        if (thisColumn != column) {
            if (column >= 0) repeatEmpty(up.count - 1 - last);
            column = thisColumn;
            emptyList();  // every column starts afresh
            last = -1;
        } else {
            repeatEmpty(c - last - 1);
        }
        const int a = static_cast<int>(thisColumn / columns);
        const int b = static_cast<int>(thisColumn % columns);
        centre[outer] = centreOf(outerCentres, a);
        centre[middle] = centreOf(middleCentres, b);
        centre[inner] = centreOf(upward(b) ? up : down, c);
        triangulateBlock(centre);
        last = c;
    }
    if (column >= 0) repeatEmpty(up.count - 1 - last);

    removeDuplicates(caseList, ntri);
    caseScore = scoreCase(points, caseList, ntri);
    return ntri;
}

int delaunayXYZ(const CellGrid& grid, const GridDims& dims, const WalkStep& step,
                const std::vector<InterfacePoint>& points,
                const std::vector<FramePoint>& framePoints, std::vector<FramePoint>& scratch,
                std::vector<Triangle>& caseList, CaseScore& caseScore, std::FILE* console,
                BlockTriangles* made) {
    return walkCase(AxisOrder{0, 1, 2}, grid, dims, step, points, framePoints, scratch, caseList,
                    caseScore, console, made);
}

int delaunayXZY(const CellGrid& grid, const GridDims& dims, const WalkStep& step,
                const std::vector<InterfacePoint>& points,
                const std::vector<FramePoint>& framePoints, std::vector<FramePoint>& scratch,
                std::vector<Triangle>& caseList, CaseScore& caseScore, std::FILE* console,
                BlockTriangles* made) {
    return walkCase(AxisOrder{0, 2, 1}, grid, dims, step, points, framePoints, scratch, caseList,
                    caseScore, console, made);
}

int delaunayYXZ(const CellGrid& grid, const GridDims& dims, const WalkStep& step,
                const std::vector<InterfacePoint>& points,
                const std::vector<FramePoint>& framePoints, std::vector<FramePoint>& scratch,
                std::vector<Triangle>& caseList, CaseScore& caseScore, std::FILE* console,
                BlockTriangles* made) {
    return walkCase(AxisOrder{1, 0, 2}, grid, dims, step, points, framePoints, scratch, caseList,
                    caseScore, console, made);
}

int delaunayYZX(const CellGrid& grid, const GridDims& dims, const WalkStep& step,
                const std::vector<InterfacePoint>& points,
                const std::vector<FramePoint>& framePoints, std::vector<FramePoint>& scratch,
                std::vector<Triangle>& caseList, CaseScore& caseScore, std::FILE* console,
                BlockTriangles* made) {
    return walkCase(AxisOrder{1, 2, 0}, grid, dims, step, points, framePoints, scratch, caseList,
                    caseScore, console, made);
}

int delaunayZXY(const CellGrid& grid, const GridDims& dims, const WalkStep& step,
                const std::vector<InterfacePoint>& points,
                const std::vector<FramePoint>& framePoints, std::vector<FramePoint>& scratch,
                std::vector<Triangle>& caseList, CaseScore& caseScore, std::FILE* console,
                BlockTriangles* made) {
    return walkCase(AxisOrder{2, 0, 1}, grid, dims, step, points, framePoints, scratch, caseList,
                    caseScore, console, made);
}

int delaunayZYX(const CellGrid& grid, const GridDims& dims, const WalkStep& step,
                const std::vector<InterfacePoint>& points,
                const std::vector<FramePoint>& framePoints, std::vector<FramePoint>& scratch,
                std::vector<Triangle>& caseList, CaseScore& caseScore, std::FILE* console,
                BlockTriangles* made) {
    return walkCase(AxisOrder{2, 1, 0}, grid, dims, step, points, framePoints, scratch, caseList,
                    caseScore, console, made);
}
