#include "sasa/area_cache.h"

#include "sasa/lee_richards.h"

#include <algorithm>
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

AreaCache::Spheres::Slot& AreaCache::Spheres::slotOf(const Key& k, std::uint64_t digest) {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = digest & mask;; i = (i + 1) & mask)
        if (slots_[i].key.r == 0 || slots_[i].key == k) return slots_[i];
}

std::uint32_t AreaCache::Spheres::number(const Key& k, std::uint64_t digest) {
    if (k.r == 0) return kNone;  // no sphere
    if (!slots_.empty()) {
        const Slot& s = slotOf(k, digest);
        if (s.key.r != 0) return s.number;
    }
    if (used_ >= kNone) return kNone;  // every number given
    if (4 * (used_ + 1) > 3 * slots_.size()) {
        std::vector<Slot> old = std::move(slots_);
        slots_.assign(old.empty() ? 1024 : 2 * old.size(), Slot{});
        for (const Slot& s : old)
            if (s.key.r != 0) slotOf(s.key, keyDigest(s.key)) = s;
    }
    Slot& s = slotOf(k, digest);
    s = {k, static_cast<std::uint32_t>(used_++)};
    return s.number;
}

void AreaCache::Spheres::clear() {
    slots_.clear();
    slots_.shrink_to_fit();
    used_ = 0;
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
        number += decode(in);
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
                    std::uint32_t* reaching, std::uint32_t count) {
    if (sphere == kNone || areas.size() >= kNone) return;  // not kept: measured again when met
    if (sphere >= latest.size()) latest.resize(static_cast<std::size_t>(sphere) + 1, kNone);
    // The set's bytes in one block: a new one when the last may lack room.
    const std::size_t most = kMostBytes * count;
    if (most > kBlock) return;  // a neighbourhood beyond any real structure's: not kept
    if (reach.empty() || reachUsed + most > kBlock) {
        reach.push_back(std::make_unique_for_overwrite<std::uint8_t[]>(kBlock));
        reachUsed = 0;
    }
    std::sort(reaching, reaching + count);
    areas.push_back({area, digest, ((reach.size() - 1) << 20) | reachUsed, count, latest[sphere]});
    std::uint8_t* const start = reach.back().get() + reachUsed;
    std::uint8_t* out = start;
    std::uint32_t previous = 0;
    for (std::uint32_t k = 0; k < count; ++k) {
        out = encode(reaching[k] - previous, out);
        previous = reaching[k];
    }
    reachUsed += static_cast<std::size_t>(out - start);
    latest[sphere] = static_cast<std::uint32_t>(areas.size() - 1);
}

void AreaCache::clear() {
    spheres.clear();
    for (auto* v : {&latest, &stamp_, &left_}) {
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
