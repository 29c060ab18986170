#include "sasa/lee_richards.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace sasa {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2.0 * kPi;

// Atoms binned into cubic cells at least as wide as the largest sphere
// diameter, so that every overlapping pair lies in the same or adjacent
// cells. Only occupied cells are stored, sorted, so sparse or widely spread
// inputs cost no more than dense ones.
using CellKey = std::array<std::int64_t, 3>;

struct Cell {
    CellKey key;
    int first, last;  // range in the cell-ordered atom arrays
};

// One neighbour of the atom being measured, as seen from it.
struct Neighbour {
    double angle;  // direction of the neighbour's centre in the xy plane
    double dxy;    // distance of the centres projected on the xy plane
    double z, r2;  // its centre's z and squared sphere radius
    double r;      // its sphere radius
    double x, y;   // its centre's x and y, which order neighbours of equal direction
};

// Neighbours in order of direction; those of equal direction (one above
// another) by their centres, so that the order depends on the neighbours
// alone and never on where the run's other atoms put them in the grid.
bool before(const Neighbour& p, const Neighbour& q) {
    if (p.angle != q.angle) return p.angle < q.angle;
    if (p.x != q.x) return p.x < q.x;
    if (p.y != q.y) return p.y < q.y;
    return p.z < q.z;
}


}  // namespace

namespace {

inline double acosApprox(double x) {
    // sqrt(1 - x) times a polynomial (Abramowitz and Stegun 4.4.46): within
    // 2.2e-8 radian of acos over [0, 1], some ten times cheaper than the
    // library's. Over a slice that is an area error below 1e-7 A^2 an arc.
    const double t = std::fabs(x);
    double p = -0.0012624911;
    p = p * t + 0.0066700901;
    p = p * t - 0.0170881256;
    p = p * t + 0.0308918810;
    p = p * t - 0.0501743046;
    p = p * t + 0.0889789874;
    p = p * t - 0.2145988016;
    p = p * t + 1.5707963050;
    const double r = std::sqrt(1.0 - t) * p;
    return x < 0 ? kPi - r : r;
}

}  // namespace

double arcCosine(double x) { return acosApprox(x); }

double exposedAngle(std::vector<Arc>& arcs) {
    // Bring starts into [0, 2pi) and cut arcs that run past 2pi in two.
    const std::size_t n = arcs.size();
    for (std::size_t k = 0; k < n; ++k) {
        Arc& a = arcs[k];
        if (a.start < 0 || a.start >= kTwoPi) {
            const double turns = std::floor(a.start / kTwoPi) * kTwoPi;
            a.start -= turns;
            a.end -= turns;
            if (a.start >= kTwoPi) {  // rounding of a start just below a whole turn
                a.start -= kTwoPi;
                a.end -= kTwoPi;
            }
        }
        if (a.end > kTwoPi) {
            const double wrapped = a.end - kTwoPi;
            a.end = kTwoPi;
            arcs.push_back({0.0, wrapped});  // after the last use of `a`: this may move it
        }
    }
    std::sort(arcs.begin(), arcs.end(), [](const Arc& p, const Arc& q) { return p.start < q.start; });
    double covered = 0, reached = 0;
    for (const Arc& a : arcs) {
        covered += std::max(0.0, a.end - std::max(a.start, reached));
        reached = std::max(reached, a.end);
    }
    return std::max(0.0, kTwoPi - covered);
}

namespace {

bool measurable(const Sphere& s) {
    const auto within = [](double c) { return std::fabs(c) <= kMaxCentre; };  // false for NaN
    return within(s.x) && within(s.y) && within(s.z) && !(s.r > kMaxSphereRadius) &&
           !std::isnan(s.r);
}

// The atoms of a run as the measuring loop sees them.
struct Run {
    const std::vector<Sphere>& spheres;
    const std::vector<char>& inside;  // buried in a coincident sphere: neither measured nor a neighbour
    const std::vector<char>& shared;  // shares its centre with another: never cached
    AreaCache* cache;
};

std::vector<double> measure(const Run& run, int slices);

}  // namespace

AreaCache::Key keyOf(const Sphere& s) {
    AreaCache::Key k;
    std::memcpy(&k.x, &s.x, sizeof k.x);
    std::memcpy(&k.y, &s.y, sizeof k.y);
    std::memcpy(&k.z, &s.z, sizeof k.z);
    std::memcpy(&k.r, &s.r, sizeof k.r);
    return k;
}

std::uint64_t keyDigest(const AreaCache::Key& k) {
    // splitmix64's finaliser over each word, chained: well mixed, so that
    // a sum of digests tells sets apart.
    const auto mix = [](std::uint64_t v) {
        v += 0x9e3779b97f4a7c15ULL;
        v = (v ^ (v >> 30)) * 0xbf58476d1ce4e5b9ULL;
        v = (v ^ (v >> 27)) * 0x94d049bb133111ebULL;
        return v ^ (v >> 31);
    };
    return mix(mix(mix(mix(k.x) ^ k.y) ^ k.z) ^ k.r);
}

std::size_t AreaCache::KeyHash::operator()(const Key& k) const {
    return static_cast<std::size_t>(keyDigest(k));
}

std::vector<double> leeRichardsAreas(const std::vector<Sphere>& spheres, int slices,
                                     std::size_t* coincident, AreaCache* cache) {
    if (coincident) *coincident = 0;
    const std::size_t n = spheres.size();
    for (const Sphere& s : spheres)
        if (!measurable(s)) return std::vector<double>(n, std::nan(""));

    // Groups of equal centres, the largest sphere first (the earliest of
    // equals). The others lie inside it: they add nothing to any neighbour's
    // cover, and it buries each of them in every slice.
    std::vector<std::size_t> order(n);
    for (std::size_t i = 0; i < n; ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const Sphere &p = spheres[a], &q = spheres[b];
        if (p.x != q.x) return p.x < q.x;
        if (p.y != q.y) return p.y < q.y;
        if (p.z != q.z) return p.z < q.z;
        if (p.r != q.r) return p.r > q.r;
        return a < b;
    });
    std::vector<char> inside(n, 0);  // buried in a coincident sphere
    std::vector<char> tied(n, 0);    // the largest of its group, but not alone in that
    std::vector<char> shared(n, 0);  // in a group of two or more
    std::size_t dropped = 0;
    for (std::size_t k = 1; k < n; ++k) {
        const Sphere &first = spheres[order[k - 1]], &s = spheres[order[k]];
        if (s.x != first.x || s.y != first.y || s.z != first.z) continue;
        // order[k - 1] is the group's largest or already inside: find the head.
        std::size_t head = k - 1;
        while (inside[order[head]]) --head;
        inside[order[k]] = 1;
        shared[order[k]] = shared[order[head]] = 1;
        if (s.r == spheres[order[head]].r) tied[order[head]] = 1;
        ++dropped;
    }
    order.clear();
    order.shrink_to_fit();

    if (cache) {
        if (cache->slices != slices) {
            cache->entries.clear();
            cache->slices = slices;
        }
        cache->copied = cache->computed = 0;
    }
    std::vector<double> areas = measure({spheres, inside, shared, cache}, slices);
    for (std::size_t i = 0; i < n; ++i)
        if (inside[i] || tied[i]) areas[i] = 0.0;
    if (coincident) *coincident = dropped;
    return areas;
}

namespace {

// Per-slice state of the sphere being measured, kept between spheres so
// that no slice allocates.
struct SliceWork {
    std::vector<std::vector<Arc>> arcs;
    std::vector<Arc> runs;
    std::vector<char> buried;
    std::vector<double> z, r, r2;
    explicit SliceWork(int slices)
        : arcs(slices), runs(slices), buried(slices), z(slices), r(slices), r2(slices) {}
};

// The exposed area of sphere `a` among its neighbours, sorted by `before`.
double sphereArea(const Sphere& a, const std::vector<Neighbour>& neighbours, int slices,
                  SliceWork& w) {
    const double thickness = 2.0 * a.r / slices;
    for (int s = 0; s < slices; ++s) {
        w.z[s] = a.z - a.r + (s + 0.5) * thickness;
        const double h = w.z[s] - a.z;
        w.r2[s] = a.r * a.r - h * h;
        w.r[s] = std::sqrt(w.r2[s]);
        w.arcs[s].clear();
        w.runs[s] = {0.0, -1.0};  // none yet
        // A sphere too small for its squared radius to be a number has no
        // slice circle and no area.
        w.buried[s] = !(w.r2[s] > 0);
    }
    const double base = a.z - a.r;
    for (const Neighbour& nb : neighbours) {
        // Only the slices whose mid-plane cuts the neighbour's sphere
        // (bounds clamped before they become integers: a vanishing
        // sphere has vanishing slices).
        const double from = std::clamp((nb.z - nb.r - base) / thickness - 0.5, 0.0, double(slices));
        const double to = std::clamp((nb.z + nb.r - base) / thickness, -1.0, slices - 1.0);
        const int lo = static_cast<int>(from), hi = static_cast<int>(to);
        const double d = nb.dxy, d2 = d * d;
        for (int s = lo; s <= hi; ++s) {
            if (w.buried[s]) continue;
            const double h = w.z[s] - nb.z;
            const double rj2 = nb.r2 - h * h;
            if (rj2 <= 0) continue;
            const double rj = std::sqrt(rj2), ri = w.r[s];
            if (d >= ri + rj) continue;  // circles apart
            if (d + ri <= rj) {          // this circle inside the neighbour's
                w.buried[s] = 1;
                continue;
            }
            if (d + rj <= ri) continue;  // the neighbour's circle inside: no arc covered
            double c = (w.r2[s] + d2 - rj2) / (2.0 * ri * d);
            c = std::clamp(c, -1.0, 1.0);
            const double half = acosApprox(c);
            const Arc arc = {nb.angle - half, nb.angle + half};
            // Neighbours come in order of direction, so an arc often
            // overlaps the one before it: the two are joined at once,
            // which leaves few arcs to sort, and a run that closes the
            // circle buries the slice.
            Arc& run = w.runs[s];
            if (run.end >= run.start && arc.start <= run.end && run.start <= arc.end) {
                run.start = std::min(run.start, arc.start);
                run.end = std::max(run.end, arc.end);
                if (run.end - run.start >= kTwoPi) w.buried[s] = 1;
            } else {
                if (run.end >= run.start) w.arcs[s].push_back(run);
                run = arc;
            }
        }
    }
    double area = 0;
    for (int s = 0; s < slices; ++s) {
        if (w.buried[s]) continue;
        if (w.runs[s].end >= w.runs[s].start) w.arcs[s].push_back(w.runs[s]);
        const double exposedArc = exposedAngle(w.arcs[s]) * w.r[s];
        area += exposedArc * thickness * a.r / w.r[s];
    }
    return area;
}

// Sorts by `before`: by direction, then each run of equal directions by centre.
void sortNeighbours(std::vector<Neighbour>& neighbours) {
    std::sort(neighbours.begin(), neighbours.end(),
              [](const Neighbour& p, const Neighbour& q) { return p.angle < q.angle; });
    for (std::size_t k = 0; k + 1 < neighbours.size();) {
        std::size_t e = k + 1;
        while (e < neighbours.size() && neighbours[e].angle == neighbours[k].angle) ++e;
        if (e - k > 1) std::sort(neighbours.begin() + k, neighbours.begin() + e, before);
        k = e;
    }
}

std::vector<double> measure(const Run& run, int slices) {
    const std::vector<Sphere>& spheres = run.spheres;
    const std::size_t n = spheres.size();
    std::vector<double> areas(n, 0.0);
    if (n == 0 || slices < 1) return areas;

    double maxR = 0, minX = spheres[0].x, minY = spheres[0].y, minZ = spheres[0].z;
    double maxX = minX, maxY = minY, maxZ = minZ;
    for (const Sphere& s : spheres) {
        maxR = std::max(maxR, s.r);
        minX = std::min(minX, s.x);
        minY = std::min(minY, s.y);
        minZ = std::min(minZ, s.z);
        maxX = std::max(maxX, s.x);
        maxY = std::max(maxY, s.y);
        maxZ = std::max(maxZ, s.z);
    }
    // Cells no smaller than a millionth of the extent keep the cell numbers
    // small whatever the radii (a tiny probe on a zero radius, say).
    const double span = std::max({maxX - minX, maxY - minY, maxZ - minZ});
    const double cellSize = std::max(2.0 * maxR, span * 1e-6);
    std::vector<CellKey> keys(n);
    for (std::size_t i = 0; i < n; ++i) {
        keys[i] = {static_cast<std::int64_t>((spheres[i].x - minX) / cellSize),
                   static_cast<std::int64_t>((spheres[i].y - minY) / cellSize),
                   static_cast<std::int64_t>((spheres[i].z - minZ) / cellSize)};
    }
    std::vector<int> order(n);
    for (std::size_t i = 0; i < n; ++i) order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return keys[a] < keys[b]; });

    // Cell-ordered copies, one array a coordinate, keep each cell's atoms
    // together in memory for the distance tests.
    std::vector<double> xs(n), ys(n), zs(n), rs(n);
    std::vector<char> neighbourOk(n);              // may cover another atom
    std::vector<std::uint64_t> digests(run.cache ? n : 0);
    std::vector<Cell> cells;
    for (std::size_t k = 0; k < n; ++k) {
        const Sphere& s = spheres[order[k]];
        xs[k] = s.x;
        ys[k] = s.y;
        zs[k] = s.z;
        rs[k] = s.r;
        neighbourOk[k] = !run.inside[order[k]];
        if (run.cache) digests[k] = keyDigest(keyOf(s));
        const CellKey& key = keys[order[k]];
        if (cells.empty() || cells.back().key != key)
            cells.push_back({key, static_cast<int>(k), static_cast<int>(k)});
        cells.back().last = static_cast<int>(k) + 1;
    }
    keys.clear();
    keys.shrink_to_fit();

    std::vector<Neighbour> neighbours;
    SliceWork work(slices);
    std::vector<const Cell*> around;
    std::vector<int> reaching;  // cell-ordered indices of the spheres within reach

    for (const Cell& cell : cells) {
        // The occupied cells among the 27 around this one.
        around.clear();
        for (std::int64_t dx = -1; dx <= 1; ++dx)
            for (std::int64_t dy = -1; dy <= 1; ++dy)
                for (std::int64_t dz = -1; dz <= 1; ++dz) {
                    const CellKey want = {cell.key[0] + dx, cell.key[1] + dy, cell.key[2] + dz};
                    const auto found = std::lower_bound(
                        cells.begin(), cells.end(), want,
                        [](const Cell& c, const CellKey& k) { return c.key < k; });
                    if (found != cells.end() && found->key == want) around.push_back(&*found);
                }

        for (int i = cell.first; i < cell.last; ++i) {
            const std::size_t atom = static_cast<std::size_t>(order[i]);
            if (run.inside[atom]) continue;
            const double ax = xs[i], ay = ys[i], az = zs[i], ar = rs[i];
            reaching.clear();
            std::uint64_t digest = 0;
            for (const Cell* c : around) {
                for (int j = c->first; j < c->last; ++j) {
                    const double dx = xs[j] - ax, dy = ys[j] - ay, dz = zs[j] - az;
                    const double reach = ar + rs[j];
                    const double dxy2 = dx * dx + dy * dy;
                    if (dxy2 + dz * dz >= reach * reach || j == i) continue;
                    reaching.push_back(j);
                    if (run.cache) digest += digests[j];
                }
            }
            const auto count = static_cast<std::uint32_t>(reaching.size());
            const bool cached = run.cache && !run.shared[atom];
            if (cached) {
                const auto found = run.cache->entries.find(keyOf(spheres[atom]));
                if (found != run.cache->entries.end() && found->second.neighbours == count &&
                    found->second.digest == digest) {
                    areas[atom] = found->second.area;
                    ++run.cache->copied;
                    continue;
                }
            }
            neighbours.clear();
            for (int j : reaching) {
                if (!neighbourOk[j]) continue;
                const double dx = xs[j] - ax, dy = ys[j] - ay;
                neighbours.push_back({std::atan2(dy, dx), std::sqrt(dx * dx + dy * dy), zs[j],
                                      rs[j] * rs[j], rs[j], xs[j], ys[j]});
            }
            sortNeighbours(neighbours);
            const double area = sphereArea(spheres[atom], neighbours, slices, work);
            areas[atom] = area;
            if (cached) {
                run.cache->entries.insert_or_assign(keyOf(spheres[atom]),
                                                    AreaCache::Entry{area, count, digest});
                ++run.cache->computed;
            }
        }
    }
    return areas;
}

}  // namespace

}  // namespace sasa
