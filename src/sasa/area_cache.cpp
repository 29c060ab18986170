#include "sasa/area_cache.h"

#include "sasa/lee_richards.h"

#include <algorithm>
#include <cstring>

namespace sasa {

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
    // a sum of digests tells most sets apart (and a lookup compares fewer).
    const auto mix = [](std::uint64_t v) {
        v += 0x9e3779b97f4a7c15ULL;
        v = (v ^ (v >> 30)) * 0xbf58476d1ce4e5b9ULL;
        v = (v ^ (v >> 27)) * 0x94d049bb133111ebULL;
        return v ^ (v >> 31);
    };
    return mix(mix(mix(mix(k.x) ^ k.y) ^ k.z) ^ k.r);
}

AreaCache::Spheres::Slot& AreaCache::Spheres::slotOf(const Key& k) {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = keyDigest(k) & mask;; i = (i + 1) & mask)
        if (slots_[i].key.r == 0 || slots_[i].key == k) return slots_[i];
}

std::uint32_t AreaCache::Spheres::number(const Key& k) {
    if (k.r == 0) return kNone;  // no sphere
    if (!slots_.empty()) {
        const Slot& s = slotOf(k);
        if (s.key.r != 0) return s.number;
    }
    if (used_ >= kNone) return kNone;  // every number given
    if (4 * (used_ + 1) > 3 * slots_.size()) {
        std::vector<Slot> old = std::move(slots_);
        slots_.assign(old.empty() ? 1024 : 2 * old.size(), Slot{});
        for (const Slot& s : old)
            if (s.key.r != 0) slotOf(s.key) = s;
    }
    Slot& s = slotOf(k);
    s = {k, static_cast<std::uint32_t>(used_++)};
    return s.number;
}

void AreaCache::Spheres::clear() {
    slots_.clear();
    slots_.shrink_to_fit();
    used_ = 0;
}

const AreaCache::Area* AreaCache::find(std::uint32_t sphere, std::uint64_t digest,
                                       const std::uint32_t* reaching,
                                       std::uint32_t count) const {
    if (sphere >= latest.size()) return nullptr;
    for (std::uint32_t i = latest[sphere]; i != kNone; i = areas[i].next) {
        const Area& a = areas[i];
        // The count and digest pass over most others; only the members decide.
        if (a.count == count && a.digest == digest &&
            std::equal(reaching, reaching + count, reach.begin() + static_cast<std::ptrdiff_t>(a.first)))
            return &a;
    }
    return nullptr;
}

void AreaCache::put(std::uint32_t sphere, double area, std::uint64_t digest,
                    const std::uint32_t* reaching, std::uint32_t count) {
    if (sphere == kNone || areas.size() >= kNone) return;  // not kept: measured again when met
    if (sphere >= latest.size()) latest.resize(static_cast<std::size_t>(sphere) + 1, kNone);
    areas.push_back({area, digest, reach.size(), count, latest[sphere]});
    reach.insert(reach.end(), reaching, reaching + count);
    latest[sphere] = static_cast<std::uint32_t>(areas.size() - 1);
}

void AreaCache::clear() {
    spheres.clear();
    for (auto* v : {&latest, &reach}) {
        v->clear();
        v->shrink_to_fit();
    }
    areas.clear();
    areas.shrink_to_fit();
    slices = 0;
    copied = computed = 0;
}

}  // namespace sasa
