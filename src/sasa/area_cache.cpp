#include "sasa/area_cache.h"

#include <algorithm>
#include <compare>
#include <cmath>
#include <cstring>

namespace sasa {

SphereKey keyOf(const Sphere& s) {
    SphereKey k;
    std::memcpy(&k.x, &s.x, sizeof k.x);
    std::memcpy(&k.y, &s.y, sizeof k.y);
    std::memcpy(&k.z, &s.z, sizeof k.z);
    std::memcpy(&k.r, &s.r, sizeof k.r);
    return k;
}

std::uint64_t keyDigest(const SphereKey& k) {
    // splitmix64's finaliser over each word, chained: well mixed, so that
    // a sum of digests tells most sets apart (and a lookup compares fewer).
    const auto mix = [](std::uint64_t v) {
        v += 0x9e3779b97f4a7c15ULL;
        v = (v ^ (v >> 30)) * 0xbf58476d1ce4e5b9ULL;
        v = (v ^ (v >> 27)) * 0x94d049bb133111ebULL;
        return v ^ (v >> 31);
    };
    return mix(mix(mix(mix(k.x) ^ k.y) ^ k.z) ^ k.r);
}

std::uint64_t numberDigest(std::uint32_t n) {
    // splitmix64's finaliser: well mixed, so that a sum of digests tells
    // most sets apart. Numbers stand for keys one to one, so this tells
    // sets apart as well as a digest of the keys, and costs less.
    std::uint64_t v = n + 0x9e3779b97f4a7c15ULL;
    v = (v ^ (v >> 30)) * 0xbf58476d1ce4e5b9ULL;
    v = (v ^ (v >> 27)) * 0x94d049bb133111ebULL;
    return v ^ (v >> 31);
}

AreaCache::Spheres::Slot& AreaCache::Spheres::slotOf(const Key& k, std::uint64_t digest) {
    // The tag passes over most other keys; the key itself decides.
    const std::size_t mask = slots_.size() - 1;
    const auto tag = static_cast<std::uint32_t>(digest >> 32);
    for (std::size_t i = digest & mask;; i = (i + 1) & mask) {
        Slot& s = slots_[i];
        if (s.number == kNone || (s.tag == tag && keys_[s.number] == k)) return s;
    }
}

std::uint32_t AreaCache::Spheres::number(const Key& k, std::uint64_t digest) {
    if (k.r == 0) return kNone;  // no sphere
    if (!slots_.empty()) {
        const Slot& s = slotOf(k, digest);
        if (s.number != kNone) return s.number;
    }
    if (keys_.size() >= kNone) return kNone;  // every number given
    if (4 * (keys_.size() + 1) > 3 * slots_.size()) {
        slots_.assign(slots_.empty() ? 1024 : 2 * slots_.size(), Slot{});
        for (std::size_t n = 0; n < keys_.size(); ++n) {
            const std::uint64_t d = keyDigest(keys_[n]);
            slotOf(keys_[n], d) = {static_cast<std::uint32_t>(n), static_cast<std::uint32_t>(d >> 32)};
        }
    }
    Slot& s = slotOf(k, digest);
    s = {static_cast<std::uint32_t>(keys_.size()), static_cast<std::uint32_t>(digest >> 32)};
    keys_.push_back(k);
    return s.number;
}

void AreaCache::Spheres::clear() {
    keys_.clear();
    keys_.shrink_to_fit();
    slots_.clear();
    slots_.shrink_to_fit();
}

namespace {

// Numbers as little-endian groups of seven bits, the high bit set on all
// but the last: at most five bytes.
constexpr std::size_t kMostBytes = 5;
std::uint8_t* encode(std::uint32_t v, std::uint8_t* out) {
    while (v >= 0x80) {
        *out++ = static_cast<std::uint8_t>(v | 0x80);
        v >>= 7;
    }
    *out++ = static_cast<std::uint8_t>(v);
    return out;
}

std::uint32_t decode(const std::uint8_t*& in) {
    std::uint32_t v = 0;
    for (int shift = 0;; shift += 7) {
        const std::uint8_t b = *in++;
        v |= static_cast<std::uint32_t>(b & 0x7f) << shift;
        if (!(b & 0x80)) return v;
    }
}

// A step from one number to the next (modulo 2^32), either way, as a
// number whose small values are the short steps of both signs (0, -1, 1,
// -2...): one byte for a step of less than 64.
std::uint32_t zigzag(std::uint32_t step) { return (step << 1) ^ (0u - (step >> 31)); }
std::uint32_t unzigzag(std::uint32_t v) { return (v >> 1) ^ (0u - (v & 1)); }

}  // namespace

void AreaCache::mark(const std::uint32_t* reaching, std::uint32_t count) {
    if (stamp_.size() < spheres.size()) {
        stamp_.resize(spheres.size(), 0);
        left_.resize(spheres.size(), 0);
    }
    if (++lookup_ == 0) {  // the stamps wrapped: none may pass for this lookup's
        std::fill(stamp_.begin(), stamp_.end(), 0);
        lookup_ = 1;
    }
    for (std::uint32_t k = 0; k < count; ++k) {
        const std::uint32_t n = reaching[k];
        if (stamp_[n] != lookup_) {
            stamp_[n] = lookup_;
            left_[n] = 0;
        }
        ++left_[n];
    }
}

bool AreaCache::holds(const Area& a) {
    // Counts are equal: when every kept member is found (as often as it is
    // kept), the two sets are the same.
    const std::uint8_t* in = reach[a.first >> 20].get() + (a.first & (kBlock - 1));
    std::uint32_t number = 0;
    bool ok = true;
    for (std::uint32_t k = 0; k < a.count && ok; ++k) {
        number += unzigzag(decode(in));
        ok = number < stamp_.size() && stamp_[number] == lookup_ && left_[number] > 0;
        if (ok) --left_[number];
    }
    return ok;
}

const AreaCache::Area* AreaCache::find(std::uint32_t sphere, std::uint64_t digest,
                                       const std::uint32_t* reaching, std::uint32_t count) {
    if (sphere >= latest.size()) return nullptr;
    for (std::uint32_t i = latest[sphere]; i != kNone; i = areas[i].next) {
        const Area& a = areas[i];
        // The count and digest pass over most others; only the members decide.
        if (a.count != count || a.digest != digest) continue;
        mark(reaching, count);  // afresh for each candidate: holds() uses the counts up
        if (holds(a)) return &a;
    }
    return nullptr;
}

void AreaCache::put(std::uint32_t sphere, double area, std::uint64_t digest,
                    const std::uint32_t* reaching, std::uint32_t count) {
    if (sphere == kNone || areas.size() >= kNone) return;  // not kept: measured again when met
    if (sphere >= latest.size()) latest.resize(static_cast<std::size_t>(sphere) + 1, kNone);
    // The set's bytes in one block: a new one when the last may lack room.
    const std::size_t most = kMostBytes * count;
    if (most > kBlock) return;  // a neighbourhood beyond any real structure's: not kept
    if (reach.empty() || reachUsed + most > kBlock) {
        reach.push_back(std::make_unique_for_overwrite<std::uint8_t[]>(kBlock));
        reachUsed = 0;
    }
    areas.push_back({area, digest, ((reach.size() - 1) << 20) | reachUsed, count, latest[sphere]});
    std::uint8_t* const start = reach.back().get() + reachUsed;
    std::uint8_t* out = start;
    std::uint32_t previous = 0;
    for (std::uint32_t k = 0; k < count; ++k) {
        out = encode(zigzag(reaching[k] - previous), out);
        previous = reaching[k];
    }
    reachUsed += static_cast<std::size_t>(out - start);
    latest[sphere] = static_cast<std::uint32_t>(areas.size() - 1);
}

namespace {

// Compared member by member (a defaulted comparison, no memcmp).
struct Cell {
    std::int64_t x = 0, y = 0, z = 0;
    auto operator<=>(const Cell&) const = default;
};

// The atoms that only one of two runs has, on a grid of cells no smaller
// than any reach between them and an atom of the new run. A grid whose box
// of cells is not much larger than its atoms is held whole (each cell's
// atoms found by its number); a sparse one keeps only its occupied cells,
// sorted. Either gives a cell the same atoms.
struct Apart {
    std::vector<Sphere> spheres;
    SphereBounds box;
    double cell = 1;
    std::vector<std::pair<Cell, std::uint32_t>> byCell;  // sparse: sorted
    std::int64_t nx = 0, ny = 0, nz = 0;                 // whole: cells along each axis
    std::vector<std::uint32_t> start, members;  // whole: cell c's atoms are members[start[c] ..]

    Cell cellOf(const Sphere& s) const {
        return {static_cast<std::int64_t>(std::floor((s.x - box.minX) / cell)),
                static_cast<std::int64_t>(std::floor((s.y - box.minY) / cell)),
                static_cast<std::int64_t>(std::floor((s.z - box.minZ) / cell))};
    }
    std::size_t numberOf(const Cell& c) const {
        return static_cast<std::size_t>((c.x * ny + c.y) * nz + c.z);
    }

    void index(double largestNewRadius) {
        box = boundsOf(spheres);
        cell = box.maxR + largestNewRadius + 1e-3;
        if (spheres.empty()) return;
        // The cells of the box: its atoms' cells count from 0 (none lies
        // below the box's corner) to those of its far corner.
        const Cell far = cellOf({box.maxX, box.maxY, box.maxZ, 0});
        nx = far.x + 1;
        ny = far.y + 1;
        nz = far.z + 1;
        if (holdBoxWhole(static_cast<std::size_t>(nx), static_cast<std::size_t>(ny),
                         static_cast<std::size_t>(nz), spheres.size())) {
            std::vector<std::uint32_t> cellOfAtom(spheres.size());
            for (std::size_t i = 0; i < spheres.size(); ++i)
                cellOfAtom[i] = static_cast<std::uint32_t>(numberOf(cellOf(spheres[i])));
            countIntoCells(cellOfAtom, static_cast<std::size_t>(nx * ny * nz), start, members);
            return;
        }
        nx = ny = nz = 0;
        byCell.resize(spheres.size());
        for (std::size_t i = 0; i < spheres.size(); ++i)
            byCell[i] = {cellOf(spheres[i]), static_cast<std::uint32_t>(i)};
        std::sort(byCell.begin(), byCell.end());
    }

    // Whether sphere b reaches `a`: the engine's own test of reach with a
    // hair more room, so that no reach it finds is missed here.
    static bool reaches(const Sphere& b, const Sphere& a) {
        const double x = b.x - a.x, y = b.y - a.y, z = b.z - a.z;
        const double reach = a.r + b.r + 1e-6;
        return x * x + y * y + z * z < reach * reach;
    }

    // Whether a sphere of these reaches `a`.
    bool reach(const Sphere& a) const {
        if (spheres.empty()) return false;
        // Most atoms lie a cell or more outside the box of these.
        if (a.x < box.minX - cell || a.x > box.maxX + cell || a.y < box.minY - cell ||
            a.y > box.maxY + cell || a.z < box.minZ - cell || a.z > box.maxZ + cell)
            return false;
        const Cell c = cellOf(a);
        for (std::int64_t dx = -1; dx <= 1; ++dx)
            for (std::int64_t dy = -1; dy <= 1; ++dy)
                for (std::int64_t dz = -1; dz <= 1; ++dz) {
                    const Cell want = {c.x + dx, c.y + dy, c.z + dz};
                    if (nx > 0) {  // held whole: a cell outside the box holds none
                        if (want.x < 0 || want.x >= nx || want.y < 0 || want.y >= ny ||
                            want.z < 0 || want.z >= nz)
                            continue;
                        const std::size_t at = numberOf(want);
                        for (std::uint32_t k = start[at]; k < start[at + 1]; ++k)
                            if (reaches(spheres[members[k]], a)) return true;
                        continue;
                    }
                    auto it = std::lower_bound(
                        byCell.begin(), byCell.end(), want,
                        [](const std::pair<Cell, std::uint32_t>& e, const Cell& k) {
                            return e.first < k;
                        });
                    for (; it != byCell.end() && it->first == want; ++it)
                        if (reaches(spheres[it->second], a)) return true;
                }
        return false;
    }
};

}  // namespace

void AreaCache::growStamps() {
    for (auto* v : {&inNew_, &inRecent_, &atomIn_})
        if (v->size() < spheres.size()) v->resize(spheres.size(), 0);
}

void AreaCache::number(const Sphere* atoms, std::size_t n, std::uint32_t* numbers) {
    // A guess is taken only when the number's key is the atom's, bit for
    // bit, and a number stands for one key alone: a number found so is the
    // one the table gives. Runs cut from one structure keep its atoms in
    // its order, so most atoms are found so, without a lookup.
    std::uint32_t previous = kNone;
    for (std::size_t i = 0; i < n; ++i) {
        const Key key = keyOf(atoms[i]);
        const std::uint32_t guess = previous != kNone ? followedBy_[previous] : kNone;
        const std::uint32_t number =
            guess != kNone && spheres.is(guess, key) ? guess : spheres.number(key);
        if (number != kNone && number >= followedBy_.size())
            followedBy_.resize(spheres.size(), kNone);
        if (previous != kNone) followedBy_[previous] = number;
        numbers[i] = previous = number;
    }
}

std::vector<double> AreaCache::unchanged(const Sphere* atoms, const std::uint32_t* numbers,
                                         const char* shared, std::size_t n) {
    std::vector<double> out(n, std::nan(""));
    if (recent.empty() || n == 0) return out;
    growStamps();
    if (stamp2_ > kNone - 4) {  // the stamps would wrap: none may pass for this call's
        std::fill(inNew_.begin(), inNew_.end(), 0);
        std::fill(inRecent_.begin(), inRecent_.end(), 0);
        stamp2_ = 0;
    }
    const std::uint32_t mine = ++stamp2_, theirs = ++stamp2_;
    for (std::size_t i = 0; i < n; ++i)
        if (numbers[i] != kNone) inNew_[numbers[i]] = mine;

    // The recent run with the fewest atoms that only one of the two has.
    const RecentRun* nearest = nullptr;
    std::size_t fewest = 0;
    for (const RecentRun& run : recent) {
        std::size_t common = 0;
        for (std::uint32_t number : run.numbers)
            common += number != kNone && number < inNew_.size() && inNew_[number] == mine;
        const std::size_t apart = run.numbers.size() + n - 2 * common;
        if (common > 0 && (!nearest || apart < fewest)) {
            nearest = &run;
            fewest = apart;
        }
    }
    if (!nearest) return out;
    const RecentRun& then = *nearest;
    for (std::size_t j = 0; j < then.numbers.size(); ++j)
        if (then.numbers[j] != kNone) {
            inRecent_[then.numbers[j]] = theirs;
            atomIn_[then.numbers[j]] = static_cast<std::uint32_t>(j);
        }

    // Apart: the atoms of one run only, and every atom that shares its
    // centre with another (a sphere that occurs twice counts as one of
    // neither run): whatever they reach changed surroundings.
    Apart apart;
    for (std::size_t j = 0; j < then.numbers.size(); ++j) {
        const std::uint32_t number = then.numbers[j];
        if (number == kNone || !then.alone[j] || inNew_[number] != mine)
            apart.spheres.push_back(then.spheres[j]);
    }
    double largestNew = 0;
    for (std::size_t i = 0; i < n; ++i) {
        largestNew = std::max(largestNew, atoms[i].r);
        const std::uint32_t number = numbers[i];
        if (number == kNone || shared[i] || inRecent_[number] != theirs)
            apart.spheres.push_back(atoms[i]);
    }
    apart.index(largestNew);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t number = numbers[i];
        if (number == kNone || shared[i] || inRecent_[number] != theirs) continue;
        const std::uint32_t j = atomIn_[number];
        if (!then.alone[j] || apart.reach(atoms[i])) continue;
        out[i] = then.areas[j];
    }
    return out;
}

void AreaCache::remember(const Sphere* atoms, const std::uint32_t* numbers, const char* shared,
                         const double* areas, std::size_t n) {
    // The oldest run's room is reused: no new memory a run once it is had.
    RecentRun run;
    if (recent.size() >= kRecentRuns) {
        run = std::move(recent.front());
        recent.pop_front();
    }
    run.spheres.assign(atoms, atoms + n);
    run.numbers.assign(numbers, numbers + n);
    run.areas.assign(areas, areas + n);
    run.alone.resize(n);
    for (std::size_t i = 0; i < n; ++i) run.alone[i] = !shared[i];
    recent.push_back(std::move(run));
}

void AreaCache::clear() {
    recent.clear();
    kept.clear();
    for (auto* v : {&inNew_, &inRecent_, &atomIn_}) {
        v->clear();
        v->shrink_to_fit();
    }
    stamp2_ = 0;
    spheres.clear();
    for (auto* v : {&latest, &stamp_, &left_, &followedBy_}) {
        v->clear();
        v->shrink_to_fit();
    }
    reach.clear();
    reach.shrink_to_fit();
    reachUsed = 0;
    areas.clear();
    areas.shrink_to_fit();
    lookup_ = 0;
    slices = 0;
    copied = computed = 0;
}

}  // namespace sasa
