#include "sasa/lee_richards.h"

#include "common/engine_stop.h"
#include "sasa/area_cache.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

namespace {

// atan(t) for t in [0, 1] and the quadrant after it, one operation at a
// time so that the vector version below repeats them exactly (Cephes'
// rational approximation: within 2 ulp of the true angle).
constexpr double kPiOver2 = 1.57079632679489661923, kPiOver4 = 0.78539816339744830962;
constexpr double kMoreBits = 6.123233995736765886130e-17;  // pi/2 - kPiOver2
constexpr double kP[] = {-8.750608600031904122785e-1, -1.615753718733365076637e1,
                         -7.500855792314704667340e1, -1.228866684490136173410e2,
                         -6.485021904942025371773e1};
constexpr double kQ[] = {2.485846490142306297962e1, 1.650270098316988542046e2,
                         4.328810604912902668951e2, 4.853903996359136964868e2,
                         1.945506571482613964425e2};

double directionOf(double y, double x) {
    const double ax = std::fabs(x), ay = std::fabs(y);
    const bool steep = ay > ax;  // the angle from the y axis is the smaller
    const double num = steep ? ax : ay, den = steep ? ay : ax;
    const double t = num / (den == 0 ? 1.0 : den);  // in [0, 1]; 0 at the origin
    const bool upper = t > 0.66;
    const double u = upper ? (t - 1.0) / (t + 1.0) : t;
    const double z = u * u;
    const double p = (((kP[0] * z + kP[1]) * z + kP[2]) * z + kP[3]) * z + kP[4];
    const double q = ((((z + kQ[0]) * z + kQ[1]) * z + kQ[2]) * z + kQ[3]) * z + kQ[4];
    double a = u * (z * p / q) + u;
    if (upper) a = (a + 0.5 * kMoreBits) + kPiOver4;
    if (steep) a = (kPiOver2 - a) + kMoreBits;
    if (std::signbit(x)) a = (2.0 * kPiOver2 - a) + 2.0 * kMoreBits;
    return std::signbit(y) ? -a : a;
}

}  // namespace

double direction(double y, double x) { return directionOf(y, x); }

namespace {

// exposedAngle on arcs[0..n), with room for 2n: an arc cut in two ends
// at 2pi and its rest goes to the end, as push_back would put it. The arcs
// are then arcs[0..total), in order.
double exposedOf(Arc* arcs, std::size_t n, std::size_t& total) {
    // Bring starts into [0, 2pi) and cut arcs that run past 2pi in two.
    total = n;
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
            arcs[total++] = {0.0, wrapped};
        }
    }
    std::sort(arcs, arcs + total, [](const Arc& p, const Arc& q) { return p.start < q.start; });
    double covered = 0, reached = 0;
    for (std::size_t k = 0; k < total; ++k) {
        const Arc& a = arcs[k];
        covered += std::max(0.0, a.end - std::max(a.start, reached));
        reached = std::max(reached, a.end);
    }
    return std::max(0.0, kTwoPi - covered);
}

}  // namespace

double exposedAngle(std::vector<Arc>& arcs) {
    const std::size_t n = arcs.size();
    arcs.resize(2 * n);
    std::size_t total = 0;
    const double exposed = exposedOf(arcs.data(), n, total);
    arcs.resize(total);
    return exposed;
}

namespace {

bool measurable(const Sphere& s) {
    const auto within = [](double c) { return std::fabs(c) <= kMaxCentre; };  // false for NaN
    return within(s.x) && within(s.y) && within(s.z) && !(s.r > kMaxSphereRadius) &&
           !std::isnan(s.r);
}

// A centre's bits, -0 taken as +0 (adding +0 makes it so), so that centres
// equal as numbers (none is NaN here) have equal bits.
std::uint64_t centreBits(double v) {
    v += 0.0;
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// Marks the groups of spheres of equal centre (compared as numbers): every
// member but its head inside, every member shared, and the head tied when
// another member is as large. Its head is the largest member, the earliest
// of equals, whatever the order of the others. Returns the number inside.
// The centres are found in a table of their bits (open addressing, linear
// probing), atom by atom in input order: no sort of all the run's atoms.
std::size_t coincidentGroups(const std::vector<Sphere>& spheres, std::vector<char>& inside,
                             std::vector<char>& tied, std::vector<char>& shared) {
    const std::size_t n = spheres.size();
    std::size_t size = 16;
    while (size < 2 * n) size *= 2;  // at most half used
    constexpr std::uint32_t kFree = 0xffffffffu;
    std::vector<std::uint32_t> head(size, kFree);  // per slot: the head of its centre's group
    const std::size_t mask = size - 1;
    std::size_t dropped = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const Sphere& s = spheres[i];
        std::uint64_t h = centreBits(s.x) * 0x9e3779b97f4a7c15ULL;
        h = (h ^ centreBits(s.y) ^ (h >> 29)) * 0xbf58476d1ce4e5b9ULL;
        h = (h ^ centreBits(s.z) ^ (h >> 32)) * 0x94d049bb133111ebULL;
        std::size_t at = (h ^ (h >> 31)) & mask;
        for (;; at = (at + 1) & mask) {
            if (head[at] == kFree) break;
            const Sphere& g = spheres[head[at]];
            if (g.x == s.x && g.y == s.y && g.z == s.z) break;
        }
        if (head[at] == kFree) {
            head[at] = static_cast<std::uint32_t>(i);
            continue;
        }
        const std::size_t first = head[at];
        shared[i] = shared[first] = 1;
        ++dropped;
        if (s.r > spheres[first].r) {  // the new head: the old one lies inside it
            inside[first] = 1;
            tied[first] = 0;
            head[at] = static_cast<std::uint32_t>(i);
        } else {
            inside[i] = 1;
            if (s.r == spheres[first].r) tied[first] = 1;
        }
    }
    return dropped;
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

std::vector<double> leeRichardsAreas(const std::vector<Sphere>& spheres, int slices,
                                     std::size_t* coincident, AreaCache* cache) {
    if (coincident) *coincident = 0;
    const std::size_t n = spheres.size();
    for (const Sphere& s : spheres)
        if (!measurable(s)) return std::vector<double>(n, std::nan(""));

    // Groups of equal centres: the largest sphere (the earliest of equals)
    // is the group's head, the others lie inside it: they add nothing to any
    // neighbour's cover, and it buries each of them in every slice.
    std::vector<char> inside(n, 0);  // buried in a coincident sphere
    std::vector<char> tied(n, 0);    // the head of its group, but not alone in that
    std::vector<char> shared(n, 0);  // in a group of two or more
    const std::size_t dropped = coincidentGroups(spheres, inside, tied, shared);

    if (cache) {
        if (cache->slices != slices) {
            const bool collide = cache->digestsCollide;
            cache->clear();
            cache->digestsCollide = collide;
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

constexpr std::size_t kLanes = 4;  // the widest group of neighbours measured at once

// The state of the sphere being measured, kept between spheres so that no
// slice allocates.
struct SliceWork {
    std::vector<double> z, r, r2;
    // Of each neighbour, padded to whole groups of lanes: its direction,
    // where its centre lies (x and y from the atom's, z), its sphere radius
    // and its square, distance in the plane and its square, and the first
    // and last slice it reaches.
    std::vector<double> angle, dx, dy, nz, nr, nr2, d, d2, lo, hi;
    // Of the neighbours that cover an arc of the slice being measured, in
    // order: their direction, distance in the plane and its square, the
    // squared radius of their circle, and their arcs.
    std::vector<double> cAngle, cD, cD2, cRj2, start, end;
    std::vector<Arc> runs;  // the runs they join into, and room for those cut at 2pi
    explicit SliceWork(int slices) : z(slices), r(slices), r2(slices) {}
    // Room for `count` neighbours and the padding lanes after them.
    void reserve(std::size_t count) {
        const std::size_t room = count + 2 * kLanes;
        if (angle.size() >= room) return;
        for (std::vector<double>* v : {&angle, &dx, &dy, &nz, &nr, &nr2, &d, &d2, &lo, &hi, &cAngle,
                                       &cD, &cD2, &cRj2, &start, &end})
            v->resize(2 * room);
        runs.resize(2 * room);
    }
};

constexpr double kInf = std::numeric_limits<double>::infinity();

// A slice is measured in two steps. First, what each neighbour does to its
// circle (height z[s], radius r[s]): nothing (beyond the neighbour's
// slices, circles apart, or the neighbour's circle inside this one), hold
// the whole circle (the slice is buried, whatever the others do), or cover
// an arc. Then, for the arc-covering ones only, where the arc lies: the
// costly part (a division and two roots) is spent on them alone.

// Of the neighbours 0 to count - 1: their squared radius, their distance in
// the plane and its square, and the slices whose mid-plane cuts their sphere (bounds clamped before they
// become integers: a vanishing sphere has vanishing slices), of a sphere
// whose slices start at height `base`, `thickness` apart.
void slicesReachedScalar(SliceWork& w, std::size_t count, double base, double thickness,
                         int slices) {
    for (std::size_t k = 0; k < count; ++k) {
        const double nz = w.nz[k], nr = w.nr[k];
        const double d = std::sqrt(w.dx[k] * w.dx[k] + w.dy[k] * w.dy[k]);
        w.nr2[k] = nr * nr;
        w.d[k] = d;
        w.d2[k] = d * d;
        const double from = std::clamp((nz - nr - base) / thickness - 0.5, 0.0, double(slices));
        const double to = std::clamp((nz + nr - base) / thickness, -1.0, slices - 1.0);
        w.lo[k] = static_cast<int>(from);
        w.hi[k] = static_cast<int>(to);
    }
}

// The first step over the neighbours 0 to stride - 1: true when one holds
// the circle; otherwise what the second needs of the covering ones goes, in
// order, to w.cAngle, w.cD, w.cD2 and w.cRj2, and their number to `found`.
bool classifyScalar(SliceWork& w, std::size_t stride, int s, std::size_t& found) {
    const double z = w.z[s], ri = w.r[s];
    found = 0;
    for (std::size_t k = 0; k < stride; ++k) {
        if (s < w.lo[k] || s > w.hi[k]) continue;  // beyond the neighbour's slices
        const double h = z - w.nz[k];
        const double rj2 = w.nr2[k] - h * h;
        if (rj2 <= 0) continue;
        const double rj = std::sqrt(rj2), d = w.d[k];
        if (d >= ri + rj) continue;       // circles apart
        if (d + ri <= rj) return true;    // this circle inside the neighbour's
        if (d + rj <= ri) continue;       // the neighbour's circle inside: no arc covered
        w.cAngle[found] = w.angle[k];
        w.cD[found] = d;
        w.cD2[found] = w.d2[k];
        w.cRj2[found] = rj2;
        ++found;
    }
    return false;
}

// The second step: the arcs of the `found` covering neighbours, from
// w.start[i] to w.end[i], counterclockwise.
void arcsScalar(SliceWork& w, std::size_t found, int s) {
    const double ri = w.r[s], ri2 = w.r2[s];
    for (std::size_t i = 0; i < found; ++i) {
        const double c = std::clamp((ri2 + w.cD2[i] - w.cRj2[i]) / (2.0 * ri * w.cD[i]), -1.0, 1.0);
        const double half = acosApprox(c);
        w.start[i] = w.cAngle[i] - half;
        w.end[i] = w.cAngle[i] + half;
    }
}

// The arcs start[i] to end[i], in order of direction, as runs of arcs
// that overlap the one before: neighbours come in order of direction, so an
// arc often overlaps the one before it, which leaves few arcs to sort.
// Returns the number of runs, written to `runs` (room for found + 1), or
// kBuried when a run closes the circle.
constexpr std::size_t kBuried = ~std::size_t{0};
std::size_t joinArcs(const double* start, const double* end, std::size_t found, Arc* runs) {
    std::size_t n = 0;
    double from = 0.0, to = -1.0;  // the run, none yet
    for (std::size_t i = 0; i < found; ++i) {
        const double s = start[i], e = end[i];
        const bool valid = to >= from;
        const bool joins = valid & (s <= to) & (from <= e);
        // Without branches whose outcome is hard to foresee: the run is
        // always written, and kept when the arc starts a new one.
        runs[n] = {from, to};
        n += valid & !joins;
        from = joins ? (s < from ? s : from) : s;  // std::min
        to = joins ? (to < e ? e : to) : e;        // std::max
        if (joins & (to - from >= kTwoPi)) return kBuried;
    }
    runs[n] = {from, to};
    n += to >= from;
    return n;
}

// The exposed area of sphere `a` among its `count` neighbours, whose
// direction, centre (x and y from a's, z) and sphere radius are the first
// entries of w.angle, w.dx, w.dy, w.nz and w.nr; the scalar or the vector
// steps as template arguments.
template <void (*slicesReached)(SliceWork&, std::size_t, double, double, int),
          bool (*classify)(SliceWork&, std::size_t, int, std::size_t&),
          void (*arcsOf)(SliceWork&, std::size_t, int)>
inline double sphereAreaWith(const Sphere& a, std::size_t count, int slices, SliceWork& w) {
    const double thickness = 2.0 * a.r / slices;
    for (int s = 0; s < slices; ++s) {
        w.z[s] = a.z - a.r + (s + 0.5) * thickness;
        const double h = w.z[s] - a.z;
        w.r2[s] = a.r * a.r - h * h;
        w.r[s] = std::sqrt(w.r2[s]);
    }
    const double base = a.z - a.r;
    const std::size_t stride = (count + kLanes - 1) / kLanes * kLanes;
    slicesReached(w, count, base, thickness, slices);
    for (std::size_t k = count; k < stride; ++k) {  // padding lanes reach no slice
        w.angle[k] = w.nz[k] = 0.0;
        w.nr2[k] = -1.0;
        w.d[k] = w.d2[k] = 1.0;
        w.lo[k] = 1.0;
        w.hi[k] = 0.0;
    }
    double area = 0;
    for (int s = 0; s < slices; ++s) {
        // A sphere too small for its squared radius to be a number has no
        // slice circle and no area.
        if (!(w.r2[s] > 0)) continue;
        std::size_t found = 0;
        if (classify(w, stride, s, found)) continue;  // held: buried
        arcsOf(w, found, s);
        const std::size_t runs = joinArcs(w.start.data(), w.end.data(), found, w.runs.data());
        if (runs == kBuried) continue;
        std::size_t arcs = 0;
        const double exposedArc = exposedOf(w.runs.data(), runs, arcs) * w.r[s];
        area += exposedArc * thickness * a.r / w.r[s];
    }
    return area;
}

void directionsScalar(const double* y, const double* x, std::size_t count, double* out) {
    for (std::size_t i = 0; i < count; ++i) out[i] = directionOf(y[i], x[i]);
}

double sphereAreaScalar(const Sphere& a, std::size_t count, int slices, SliceWork& w) {
    return sphereAreaWith<slicesReachedScalar, classifyScalar, arcsScalar>(a, count, slices, w);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// The steps with the processor's vector instructions, four neighbours at a
// time: the same operations in the same order on every lane, each rounded
// as the scalar one is (no fused operations), every outcome computed and
// then chosen. A lane that the tests send elsewhere may hold any value
// before it is chosen away.

__attribute__((target("avx2"), always_inline)) inline __m256d clampAvx2(__m256d v, __m256d low,
                                                                        __m256d high) {
    v = _mm256_blendv_pd(v, low, _mm256_cmp_pd(v, low, _CMP_LT_OQ));  // std::clamp
    return _mm256_blendv_pd(v, high, _mm256_cmp_pd(high, v, _CMP_LT_OQ));
}

// To an int and back, as static_cast<int> does (toward zero).
__attribute__((target("avx2"), always_inline)) inline __m256d truncateAvx2(__m256d v) {
    return _mm256_cvtepi32_pd(_mm256_cvttpd_epi32(v));
}

// slicesReachedScalar, count rounded up to whole groups (the padding lanes
// are set after).
__attribute__((target("avx2"))) void slicesReachedAvx2(SliceWork& w, std::size_t count, double base,
                                               double thickness, int slices) {
    const __m256d b = _mm256_set1_pd(base), t = _mm256_set1_pd(thickness);
    const __m256d half = _mm256_set1_pd(0.5), zero = _mm256_setzero_pd();
    const __m256d all = _mm256_set1_pd(slices), minusOne = _mm256_set1_pd(-1.0);
    const __m256d last = _mm256_set1_pd(slices - 1.0);
    const double *const nz = w.nz.data(), *const nr = w.nr.data(), *const dx = w.dx.data(),
                       *const dy = w.dy.data();
    double *const nd = w.d.data(), *const nr2 = w.nr2.data(), *const nd2 = w.d2.data(),
                 *const lo = w.lo.data(), *const hi = w.hi.data();
    for (std::size_t k = 0; k < count; k += 4) {
        const __m256d z = _mm256_loadu_pd(nz + k), r = _mm256_loadu_pd(nr + k);
        const __m256d x = _mm256_loadu_pd(dx + k), y = _mm256_loadu_pd(dy + k);
        const __m256d d = _mm256_sqrt_pd(_mm256_add_pd(_mm256_mul_pd(x, x), _mm256_mul_pd(y, y)));
        _mm256_storeu_pd(nd + k, d);
        _mm256_storeu_pd(nr2 + k, _mm256_mul_pd(r, r));
        _mm256_storeu_pd(nd2 + k, _mm256_mul_pd(d, d));
        const __m256d from =
            _mm256_sub_pd(_mm256_div_pd(_mm256_sub_pd(_mm256_sub_pd(z, r), b), t), half);
        const __m256d to = _mm256_div_pd(_mm256_sub_pd(_mm256_add_pd(z, r), b), t);
        _mm256_storeu_pd(lo + k, truncateAvx2(clampAvx2(from, zero, all)));
        _mm256_storeu_pd(hi + k, truncateAvx2(clampAvx2(to, minusOne, last)));
    }
}

// For each set of four lanes (bit b: lane b), the parts (`Parts` to a lane:
// its 32-bit halves, its bytes) that bring those lanes to the front, in
// order; the parts after them are `rest`.
template <typename Part, int Parts>
struct alignas(32) LaneMoves {
    Part parts[16][4 * Parts];
};
template <typename Part, int Parts>
constexpr LaneMoves<Part, Parts> lanesToFront(Part rest) {
    LaneMoves<Part, Parts> t{};
    for (int mask = 0; mask < 16; ++mask) {
        int to = 0;
        for (int lane = 0; lane < 4; ++lane)
            if (mask & (1 << lane)) {
                for (int p = 0; p < Parts; ++p)
                    t.parts[mask][Parts * to + p] = static_cast<Part>(Parts * lane + p);
                ++to;
            }
        for (int p = Parts * to; p < 4 * Parts; ++p) t.parts[mask][p] = rest;
    }
    return t;
}
constexpr auto kToFront = lanesToFront<std::int32_t, 2>(0);  // of four doubles

__attribute__((target("avx2"), always_inline)) inline void toFront(double* to, __m256d v,
                                                                   __m256i move) {
    _mm256_storeu_pd(to, _mm256_castps_pd(_mm256_permutevar8x32_ps(_mm256_castpd_ps(v), move)));
}

// classifyScalar; the covering lanes of a group move to the front, in
// order, and are stored after those found so far.
__attribute__((target("avx2"))) bool classifyAvx2(SliceWork& w, std::size_t stride, int s,
                                                  std::size_t& found) {
    const __m256d zero = _mm256_setzero_pd();
    const __m256d z = _mm256_set1_pd(w.z[s]), ri = _mm256_set1_pd(w.r[s]);
    const __m256d slice = _mm256_set1_pd(s);
    // Local pointers: the stores below could otherwise be taken to change
    // the vectors' own pointers, reloaded every group.
    const double *const angle = w.angle.data(), *const nd = w.d.data(), *const nd2 = w.d2.data();
    const double *const nz = w.nz.data(), *const nr2 = w.nr2.data();
    const double *const lo = w.lo.data(), *const hi = w.hi.data();
    double *const cAngle = w.cAngle.data(), *const cD = w.cD.data(), *const cD2 = w.cD2.data(),
                 *const cRj2 = w.cRj2.data();
    std::size_t m = 0;
    for (std::size_t k = 0; k < stride; k += 4) {
        const __m256d d = _mm256_loadu_pd(nd + k);
        const __m256d h = _mm256_sub_pd(z, _mm256_loadu_pd(nz + k));
        const __m256d rj2 = _mm256_sub_pd(_mm256_loadu_pd(nr2 + k), _mm256_mul_pd(h, h));
        const __m256d rj = _mm256_sqrt_pd(_mm256_max_pd(rj2, zero));
        const __m256d beyond =
            _mm256_or_pd(_mm256_cmp_pd(slice, _mm256_loadu_pd(lo + k), _CMP_LT_OQ),
                         _mm256_cmp_pd(slice, _mm256_loadu_pd(hi + k), _CMP_GT_OQ));
        const __m256d apart = _mm256_or_pd(
            beyond, _mm256_or_pd(_mm256_cmp_pd(rj2, zero, _CMP_LE_OQ),
                                 _mm256_cmp_pd(d, _mm256_add_pd(ri, rj), _CMP_GE_OQ)));
        const __m256d holds =
            _mm256_andnot_pd(apart, _mm256_cmp_pd(_mm256_add_pd(d, ri), rj, _CMP_LE_OQ));
        if (_mm256_movemask_pd(holds) != 0) return true;
        const __m256d within = _mm256_cmp_pd(_mm256_add_pd(d, rj), ri, _CMP_LE_OQ);
        const int covers = _mm256_movemask_pd(_mm256_or_pd(apart, within)) ^ 0xf;
        // The covering lanes moved to the front, in order, and stored at
        // the end of those found so far (the lanes after them are
        // overwritten by the next group).
        const __m256i move = _mm256_load_si256(reinterpret_cast<const __m256i*>(kToFront.parts[covers]));
        toFront(cAngle + m, _mm256_loadu_pd(angle + k), move);
        toFront(cD + m, d, move);
        toFront(cD2 + m, _mm256_loadu_pd(nd2 + k), move);
        toFront(cRj2 + m, rj2, move);
        m += static_cast<std::size_t>(std::popcount(static_cast<unsigned>(covers)));
    }
    found = m;
    return false;
}

// arcsScalar.
__attribute__((target("avx2"))) void arcsAvx2(SliceWork& w, std::size_t found, int s) {
    const __m256d one = _mm256_set1_pd(1.0), minusOne = _mm256_set1_pd(-1.0);
    const __m256d zero = _mm256_setzero_pd();
    const __m256d ri = _mm256_set1_pd(w.r[s]), ri2 = _mm256_set1_pd(w.r2[s]);
    const __m256d twoRi = _mm256_mul_pd(_mm256_set1_pd(2.0), ri);
    const double *const cAngle = w.cAngle.data(), *const cD = w.cD.data(), *const cD2 = w.cD2.data(),
                       *const cRj2 = w.cRj2.data();
    double *const start = w.start.data(), *const end = w.end.data();
    for (std::size_t i = 0; i < found; i += 4) {  // lanes past `found` are not used
        const __m256d d = _mm256_loadu_pd(cD + i);
        const __m256d d2 = _mm256_loadu_pd(cD2 + i);
        const __m256d rj2 = _mm256_loadu_pd(cRj2 + i);
        const __m256d angle = _mm256_loadu_pd(cAngle + i);
        __m256d c = _mm256_div_pd(_mm256_sub_pd(_mm256_add_pd(ri2, d2), rj2), _mm256_mul_pd(twoRi, d));
        c = _mm256_blendv_pd(c, minusOne, _mm256_cmp_pd(c, minusOne, _CMP_LT_OQ));
        c = _mm256_blendv_pd(c, one, _mm256_cmp_pd(one, c, _CMP_LT_OQ));
        const __m256d t = _mm256_andnot_pd(_mm256_set1_pd(-0.0), c);  // acosApprox
        __m256d p = _mm256_set1_pd(-0.0012624911);
        p = _mm256_add_pd(_mm256_mul_pd(p, t), _mm256_set1_pd(0.0066700901));
        p = _mm256_sub_pd(_mm256_mul_pd(p, t), _mm256_set1_pd(0.0170881256));
        p = _mm256_add_pd(_mm256_mul_pd(p, t), _mm256_set1_pd(0.0308918810));
        p = _mm256_sub_pd(_mm256_mul_pd(p, t), _mm256_set1_pd(0.0501743046));
        p = _mm256_add_pd(_mm256_mul_pd(p, t), _mm256_set1_pd(0.0889789874));
        p = _mm256_sub_pd(_mm256_mul_pd(p, t), _mm256_set1_pd(0.2145988016));
        p = _mm256_add_pd(_mm256_mul_pd(p, t), _mm256_set1_pd(1.5707963050));
        const __m256d root = _mm256_mul_pd(_mm256_sqrt_pd(_mm256_sub_pd(one, t)), p);
        const __m256d half = _mm256_blendv_pd(root, _mm256_sub_pd(_mm256_set1_pd(kPi), root),
                                              _mm256_cmp_pd(c, zero, _CMP_LT_OQ));
        _mm256_storeu_pd(start + i, _mm256_sub_pd(angle, half));
        _mm256_storeu_pd(end + i, _mm256_add_pd(angle, half));
    }
}

// One atom in one call with the processor's vector instructions, every
// step inlined: no call a slice.
__attribute__((target("avx2"), flatten)) double sphereAreaAvx2(const Sphere& a, std::size_t count,
                                                              int slices, SliceWork& w) {
    return sphereAreaWith<slicesReachedAvx2, classifyAvx2, arcsAvx2>(a, count, slices, w);
}

// directionOf for y[i], x[i], i < count (rounded up to whole groups), four
// at a time: both branches of every choice computed, the same operations.
__attribute__((target("avx2"))) void directionsAvx2(const double* y, const double* x,
                                                   std::size_t count, double* out) {
    const __m256d sign = _mm256_set1_pd(-0.0), zero = _mm256_setzero_pd();
    const __m256d one = _mm256_set1_pd(1.0), more = _mm256_set1_pd(kMoreBits);
    for (std::size_t i = 0; i < count; i += 4) {
        const __m256d vx = _mm256_loadu_pd(x + i), vy = _mm256_loadu_pd(y + i);
        const __m256d ax = _mm256_andnot_pd(sign, vx), ay = _mm256_andnot_pd(sign, vy);
        const __m256d steep = _mm256_cmp_pd(ay, ax, _CMP_GT_OQ);
        const __m256d num = _mm256_blendv_pd(ay, ax, steep), den = _mm256_blendv_pd(ax, ay, steep);
        const __m256d t =
            _mm256_div_pd(num, _mm256_blendv_pd(den, one, _mm256_cmp_pd(den, zero, _CMP_EQ_OQ)));
        const __m256d upper = _mm256_cmp_pd(t, _mm256_set1_pd(0.66), _CMP_GT_OQ);
        const __m256d u = _mm256_blendv_pd(
            t, _mm256_div_pd(_mm256_sub_pd(t, one), _mm256_add_pd(t, one)), upper);
        const __m256d z = _mm256_mul_pd(u, u);
        __m256d p = _mm256_add_pd(_mm256_mul_pd(_mm256_set1_pd(kP[0]), z), _mm256_set1_pd(kP[1]));
        __m256d q = _mm256_add_pd(z, _mm256_set1_pd(kQ[0]));
        for (int k = 2; k < 5; ++k) p = _mm256_add_pd(_mm256_mul_pd(p, z), _mm256_set1_pd(kP[k]));
        for (int k = 1; k < 5; ++k) q = _mm256_add_pd(_mm256_mul_pd(q, z), _mm256_set1_pd(kQ[k]));
        __m256d a = _mm256_add_pd(_mm256_mul_pd(u, _mm256_div_pd(_mm256_mul_pd(z, p), q)), u);
        a = _mm256_blendv_pd(
            a,
            _mm256_add_pd(_mm256_add_pd(a, _mm256_mul_pd(_mm256_set1_pd(0.5), more)),
                          _mm256_set1_pd(kPiOver4)),
            upper);
        a = _mm256_blendv_pd(a, _mm256_add_pd(_mm256_sub_pd(_mm256_set1_pd(kPiOver2), a), more),
                             steep);
        a = _mm256_blendv_pd(
            a,
            _mm256_add_pd(_mm256_sub_pd(_mm256_set1_pd(2.0 * kPiOver2), a),
                          _mm256_set1_pd(2.0 * kMoreBits)),
            vx);  // the sign bit of x chooses
        _mm256_storeu_pd(out + i, _mm256_or_pd(a, _mm256_and_pd(sign, vy)));
    }
}

#endif

// The cell-ordered indices of the candidates (centres nx, ny, nz, sphere
// radii nr, indices nj) that reach the sphere at (ax, ay, az) of radius ar,
// itself (index self) left out, written to `out`; their number.
std::size_t reachingScalar(const double* nx, const double* ny, const double* nz,
                           const double* nr, const int* nj, std::size_t count, double ax,
                           double ay, double az, double ar, int self, int* out) {
    std::size_t found = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const double dx = nx[k] - ax, dy = ny[k] - ay, dz = nz[k] - az;
        const double reach = ar + nr[k];
        const double dxy2 = dx * dx + dy * dy;
        out[found] = nj[k];  // kept without a branch
        found += (dxy2 + dz * dz < reach * reach) & (nj[k] != self);
    }
    return found;
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// Of four 32-bit words, by bytes; the bytes after them are zeros.
constexpr auto kWordsToFront = lanesToFront<std::int8_t, 4>(-1);

// The same, four candidates at a time, with the same operations; the
// indices of those that reach move to the front of their group and are
// stored after those found so far (the words after them are overwritten by
// the next group: `out` has room for `count`).
__attribute__((target("avx2"))) std::size_t reachingAvx2(const double* nx, const double* ny,
                                                         const double* nz, const double* nr,
                                                         const int* nj, std::size_t count,
                                                         double ax, double ay, double az,
                                                         double ar, int self, int* out) {
    const __m256d x = _mm256_set1_pd(ax), y = _mm256_set1_pd(ay), z = _mm256_set1_pd(az),
                  r = _mm256_set1_pd(ar);
    const __m128i self4 = _mm_set1_epi32(self);
    std::size_t found = 0, k = 0;
    for (; k + 4 <= count; k += 4) {
        const __m256d dx = _mm256_sub_pd(_mm256_loadu_pd(nx + k), x);
        const __m256d dy = _mm256_sub_pd(_mm256_loadu_pd(ny + k), y);
        const __m256d dz = _mm256_sub_pd(_mm256_loadu_pd(nz + k), z);
        const __m256d reach = _mm256_add_pd(r, _mm256_loadu_pd(nr + k));
        const __m256d dxy2 = _mm256_add_pd(_mm256_mul_pd(dx, dx), _mm256_mul_pd(dy, dy));
        const int within = _mm256_movemask_pd(
            _mm256_cmp_pd(_mm256_add_pd(dxy2, _mm256_mul_pd(dz, dz)),
                          _mm256_mul_pd(reach, reach), _CMP_LT_OQ));
        const __m128i j = _mm_loadu_si128(reinterpret_cast<const __m128i*>(nj + k));
        const int other =
            _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(j, self4))) ^ 0xf;  // not itself
        const int keep = within & other;
        const __m128i move =
            _mm_load_si128(reinterpret_cast<const __m128i*>(kWordsToFront.parts[keep]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + found), _mm_shuffle_epi8(j, move));
        found += static_cast<std::size_t>(std::popcount(static_cast<unsigned>(keep)));
    }
    return found + reachingScalar(nx + k, ny + k, nz + k, nr + k, nj + k, count - k, ax, ay, az,
                                  ar, self, out + found);
}

#endif

// The steps of an atom's measurement, in scalar code or with the
// processor's vector instructions: the same operations, the same bits.
struct Steps {
    std::size_t (*reaching)(const double*, const double*, const double*, const double*,
                            const int*, std::size_t, double, double, double, double, int, int*);
    void (*directions)(const double*, const double*, std::size_t, double*);
    double (*area)(const Sphere&, std::size_t, int, SliceWork&);
};
constexpr Steps kScalarSteps = {reachingScalar, directionsScalar, sphereAreaScalar};

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
constexpr Steps kVectorSteps = {reachingAvx2, directionsAvx2, sphereAreaAvx2};
// Read at start-up (the processor's features first: this may run before
// the other constructors).
bool hasVectorSteps() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
#else
constexpr Steps kVectorSteps = kScalarSteps;
bool hasVectorSteps() { return false; }
#endif
std::atomic<bool> vectorStepsInUse{hasVectorSteps()};

// A candidate neighbour while the list is put in order: its direction
// from the atom being measured and its cell-ordered index.
struct Candidate {
    double angle;
    int j;
};

struct Centres {
    const double *x, *y, *z;  // cell-ordered
};

bool centreBefore(const Centres& c, int p, int q) {
    if (c.x[p] != c.x[q]) return c.x[p] < c.x[q];
    if (c.y[p] != c.y[q]) return c.y[p] < c.y[q];
    return c.z[p] < c.z[q];
}

bool before(const Candidate& p, const Candidate& q, const Centres& c) {
    return p.angle != q.angle ? p.angle < q.angle : centreBefore(c, p.j, q.j);
}

struct Ordering {
    std::vector<std::uint32_t> bucketOf, starts;
    std::vector<Candidate> sorted;
};

// The candidates in order of direction; those of equal direction (one above
// another) by their centres, so that the order depends on the neighbours
// alone and never on where the run's other atoms put them in the grid.
// Neighbours' centres are distinct (a coincident sphere is no one's
// neighbour), so the order is total and any way of finding it gives it.
void orderCandidates(const std::vector<Candidate>& in, const Centres& c, Ordering& o) {
    const std::size_t m = in.size();
    // Buckets by direction, about one candidate each: an angle's bucket
    // never decreases as the angle grows (every step of it rounds
    // monotonically), so the candidates laid out bucket by bucket are in
    // order but for neighbours within a bucket, which an insertion pass
    // then puts right (mostly one comparison each, foreseen by the
    // processor: no branch of it to guess, as there was placing each
    // candidate among those of its bucket).
    std::size_t buckets = 16;
    while (buckets < m) buckets *= 2;
    const double scale = static_cast<double>(buckets) / kTwoPi;
    o.bucketOf.resize(m);
    o.starts.assign(buckets + 1, 0);
    for (std::size_t i = 0; i < m; ++i) {
        const double at = (in[i].angle + kPi) * scale;  // angles lie in [-pi, pi]
        const auto b =
            static_cast<std::uint32_t>(std::clamp(at, 0.0, static_cast<double>(buckets - 1)));
        o.bucketOf[i] = b;
        ++o.starts[b + 1];
    }
    for (std::size_t b = 0; b < buckets; ++b) o.starts[b + 1] += o.starts[b];
    o.sorted.resize(m);
    for (std::size_t i = 0; i < m; ++i) o.sorted[o.starts[o.bucketOf[i]]++] = in[i];
    Candidate* const out = o.sorted.data();
    for (std::size_t i = 1; i < m; ++i) {
        if (!before(out[i], out[i - 1], c)) continue;
        const Candidate moving = out[i];
        std::size_t at = i;
        do {
            out[at] = out[at - 1];
            --at;
        } while (at > 0 && before(moving, out[at - 1], c));
        out[at] = moving;
    }
}

// Word by word (std::array's == may become a call to memcmp).
bool sameCell(const CellKey& a, const CellKey& b) {
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

// The atoms in order of their cells, those of one cell in input order: the
// order a stable sort by cell gives. Cells are counted out one by one when
// a box of them is not much larger than the atoms (cell numbers are never
// negative: they count from the box's corner), else sorted. `extent` is the
// box's cells along each axis when counted out, else 0, 0, 0.
std::vector<int> cellOrder(const std::vector<CellKey>& keys, CellKey& extent) {
    const std::size_t n = keys.size();
    std::vector<int> order(n);
    CellKey most = {0, 0, 0};
    for (const CellKey& k : keys)
        for (int d = 0; d < 3; ++d) most[d] = std::max(most[d], k[d]);
    const auto nx = static_cast<std::size_t>(most[0]) + 1, ny = static_cast<std::size_t>(most[1]) + 1,
               nz = static_cast<std::size_t>(most[2]) + 1;
    extent = {0, 0, 0};
    if (!holdBoxWhole(nx, ny, nz, n)) {
        for (std::size_t i = 0; i < n; ++i) order[i] = static_cast<int>(i);
        std::stable_sort(order.begin(), order.end(),
                         [&](int a, int b) { return keys[a] < keys[b]; });
        return order;
    }
    // A cell's number grows with its key, x first, as the sort's order does.
    std::vector<std::uint32_t> cell(n), start;
    for (std::size_t i = 0; i < n; ++i)
        cell[i] = static_cast<std::uint32_t>(
            (static_cast<std::size_t>(keys[i][0]) * ny + static_cast<std::size_t>(keys[i][1])) * nz +
            static_cast<std::size_t>(keys[i][2]));
    extent = {static_cast<std::int64_t>(nx), static_cast<std::int64_t>(ny),
              static_cast<std::int64_t>(nz)};
    countIntoCells(cell, nx * ny * nz, start, order);
    return order;
}

std::vector<double> measure(const Run& run, int slices) {
    const std::vector<Sphere>& spheres = run.spheres;
    const std::size_t n = spheres.size();
    std::vector<double> areas(n, 0.0);
    if (n == 0 || slices < 1) return areas;

    const SphereBounds box = boundsOf(spheres);
    const double maxR = box.maxR, minX = box.minX, minY = box.minY, minZ = box.minZ;
    const double maxX = box.maxX, maxY = box.maxY, maxZ = box.maxZ;
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
    CellKey extent;
    std::vector<int> order = cellOrder(keys, extent);

    // Cell-ordered copies, one array a coordinate, keep each cell's atoms
    // together in memory for the distance tests.
    std::vector<double> xs(n), ys(n), zs(n), rs(n);
    std::vector<char> neighbourOk(n);  // may cover another atom
    std::vector<std::uint32_t> numberOf(run.cache ? n : 0);  // per atom (file order)
    if (run.cache) run.cache->number(spheres.data(), n, numberOf.data());
    const bool table = run.cache && run.cache->byNeighbourhood;
    std::vector<std::uint64_t> digests(table ? n : 0);
    std::vector<std::uint32_t> numbers(table ? n : 0);  // numberOf, cell-ordered, for the table
    std::vector<Cell> cells;
    for (std::size_t k = 0; k < n; ++k) {
        const Sphere& s = spheres[order[k]];
        xs[k] = s.x;
        ys[k] = s.y;
        zs[k] = s.z;
        rs[k] = s.r;
        neighbourOk[k] = !run.inside[order[k]];
        if (table) {
            numbers[k] = numberOf[static_cast<std::size_t>(order[k])];
            // Of a sphere without a number: never summed (its neighbours are
            // not looked up).
            digests[k] = run.cache->digestsCollide ? 0 : numberDigest(numbers[k]);
        }
        const CellKey& key = keys[order[k]];
        if (cells.empty() || !sameCell(cells.back().key, key))
            cells.push_back({key, static_cast<int>(k), static_cast<int>(k)});
        cells.back().last = static_cast<int>(k) + 1;
    }
    keys.clear();
    keys.shrink_to_fit();
    // A cell's place in `cells`: by its number in a box counted out (the
    // same cells a search finds), else by a binary search.
    const bool whole = extent[0] > 0;
    const auto cellNumber = [&extent](const CellKey& k) {
        return static_cast<std::size_t>((k[0] * extent[1] + k[1]) * extent[2] + k[2]);
    };
    const std::size_t boxCells = static_cast<std::size_t>(extent[0] * extent[1] * extent[2]);
    std::vector<int> cellIndex(boxCells, -1);  // empty when not counted out
    if (whole)
        for (std::size_t c = 0; c < cells.size(); ++c)
            cellIndex[cellNumber(cells[c].key)] = static_cast<int>(c);
    const auto cellAt = [&](const CellKey& want) -> const Cell* {
        if (whole) {
            for (int d = 0; d < 3; ++d)
                if (want[d] < 0 || want[d] >= extent[d]) return nullptr;
            const int at = cellIndex[cellNumber(want)];
            return at < 0 ? nullptr : &cells[static_cast<std::size_t>(at)];
        }
        const auto found =
            std::lower_bound(cells.begin(), cells.end(), want,
                             [](const Cell& c, const CellKey& k) { return c.key < k; });
        return found == cells.end() || !sameCell(found->key, want) ? nullptr : &*found;
    };
    // The areas of atoms whose surroundings an earlier run had already.
    std::vector<double> known;
    if (run.cache)
        known = run.cache->unchanged(spheres.data(), numberOf.data(), run.shared.data(), n);
    const auto isKnown = [&known](std::size_t atom) {
        return !known.empty() && !std::isnan(known[atom]);
    };

    const Steps& steps =
        vectorStepsInUse.load(std::memory_order_relaxed) ? kVectorSteps : kScalarSteps;
    std::vector<Candidate> candidates;
    Ordering ordering;
    SliceWork work(slices);
    // The atoms of the 27 cells around the one being measured, gathered
    // once for all its atoms.
    std::vector<double> nx, ny, nz, nr;
    std::vector<int> nj;
    std::vector<int> reaching;  // cell-ordered indices of the spheres within reach
    std::vector<std::uint32_t> reachingNumbers;  // their numbers in the cache, sorted
    struct {
        std::vector<double> x, y, angle;  // from the atom being measured, padded to whole groups
        std::vector<int> j;
    } toward;

    std::uint32_t measured = 0;
    for (const Cell& cell : cells) {
        bool anyToMeasure = false;
        for (int i = cell.first; i < cell.last; ++i) {
            const std::size_t atom = static_cast<std::size_t>(order[i]);
            if (isKnown(atom)) {
                areas[atom] = known[atom];
                ++run.cache->copied;
            } else {
                anyToMeasure = anyToMeasure || !run.inside[atom];
            }
        }
        if (!anyToMeasure) continue;
        nx.clear();
        ny.clear();
        nz.clear();
        nr.clear();
        nj.clear();
        for (std::int64_t dx = -1; dx <= 1; ++dx)
            for (std::int64_t dy = -1; dy <= 1; ++dy)
                for (std::int64_t dz = -1; dz <= 1; ++dz) {
                    const CellKey want = {cell.key[0] + dx, cell.key[1] + dy, cell.key[2] + dz};
                    const Cell* found = cellAt(want);
                    if (!found) continue;
                    for (int j = found->first; j < found->last; ++j) {
                        nx.push_back(xs[j]);
                        ny.push_back(ys[j]);
                        nz.push_back(zs[j]);
                        nr.push_back(rs[j]);
                        nj.push_back(j);
                    }
                }
        const std::size_t around = nj.size();
        reaching.resize(around);
        if (run.cache) reachingNumbers.resize(around);
        if (toward.j.size() < around + kLanes) {  // the lanes past the candidates are not used
            for (auto* v : {&toward.x, &toward.y, &toward.angle}) v->resize(around + kLanes);
            toward.j.resize(around + kLanes);
        }

        for (int i = cell.first; i < cell.last; ++i) {
            const std::size_t atom = static_cast<std::size_t>(order[i]);
            if (run.inside[atom] || isKnown(atom)) continue;
            // A caller's stop (a time limit, a cancel), looked at rarely
            // enough to cost nothing: it throws out of the run.
            if ((++measured & 255u) == 0) checkEngineStop();
            const double ax = xs[i], ay = ys[i], az = zs[i], ar = rs[i];
            const std::size_t found = steps.reaching(nx.data(), ny.data(), nz.data(), nr.data(),
                                                 nj.data(), around, ax, ay, az, ar, i,
                                                 reaching.data());
            std::uint64_t digest = 0;
            const auto count = static_cast<std::uint32_t>(found);
            // A sphere without a number (a table full) is measured, never kept.
            bool cached = table && !run.shared[atom] && numbers[i] != AreaCache::kNone;
            if (cached) {
                for (std::size_t k = 0; k < found; ++k) {
                    digest += digests[reaching[k]];
                    reachingNumbers[k] = numbers[reaching[k]];
                    cached = cached && reachingNumbers[k] != AreaCache::kNone;
                }
            }
            if (cached) {
                const AreaCache::Area* hit =
                    run.cache->find(numbers[i], digest, reachingNumbers.data(), count);
                if (hit) {
                    areas[atom] = hit->area;
                    ++run.cache->copied;
                    continue;
                }
            }
            // The candidates' directions, four at a time.
            std::size_t m = 0;
            for (std::size_t k = 0; k < found; ++k) {
                const int j = reaching[k];
                toward.x[m] = xs[j] - ax;
                toward.y[m] = ys[j] - ay;
                toward.j[m] = j;
                m += neighbourOk[j] != 0;  // kept without a branch
            }
            steps.directions(toward.y.data(), toward.x.data(), m, toward.angle.data());
            candidates.resize(m);
            for (std::size_t k = 0; k < m; ++k) candidates[k] = {toward.angle[k], toward.j[k]};
            orderCandidates(candidates, {xs.data(), ys.data(), zs.data()}, ordering);
            const std::size_t neighbours = ordering.sorted.size();
            work.reserve(neighbours);
            for (std::size_t k = 0; k < neighbours; ++k) {
                const Candidate& c = ordering.sorted[k];
                work.angle[k] = c.angle;
                work.dx[k] = xs[c.j] - ax;
                work.dy[k] = ys[c.j] - ay;
                work.nz[k] = zs[c.j];
                work.nr[k] = rs[c.j];
            }
            const double area = steps.area(spheres[atom], neighbours, slices, work);
            areas[atom] = area;
            if (cached) {
                run.cache->put(numbers[i], area, digest, reachingNumbers.data(), count);
                ++run.cache->computed;
            }
        }
    }
    if (run.cache)
        run.cache->remember(spheres.data(), numberOf.data(), run.shared.data(), areas.data(), n);
    return areas;
}

}  // namespace

bool vectorSteps(bool wanted) {
    vectorStepsInUse = wanted && hasVectorSteps();
    return vectorStepsInUse;
}

}  // namespace sasa
