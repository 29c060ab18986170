#include "sasa/area_cache.h"

#include "sasa/lee_richards.h"

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
    // a sum of digests tells sets apart.
    const auto mix = [](std::uint64_t v) {
        v += 0x9e3779b97f4a7c15ULL;
        v = (v ^ (v >> 30)) * 0xbf58476d1ce4e5b9ULL;
        v = (v ^ (v >> 27)) * 0x94d049bb133111ebULL;
        return v ^ (v >> 31);
    };
    return mix(mix(mix(mix(k.x) ^ k.y) ^ k.z) ^ k.r);
}

const AreaCache::Entry* AreaCache::Table::find(const Key& k) const {
    if (slots_.empty()) return nullptr;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = keyDigest(k) & mask;; i = (i + 1) & mask) {
        const Slot& s = slots_[i];
        if (s.key.r == 0) return nullptr;
        if (s.key == k) return &s.entry;
    }
}

AreaCache::Table::Slot& AreaCache::Table::slotOf(const Key& k) {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = keyDigest(k) & mask;; i = (i + 1) & mask)
        if (slots_[i].key.r == 0 || slots_[i].key == k) return slots_[i];
}

void AreaCache::Table::put(const Key& k, const Entry& e) {
    if (k.r == 0) return;  // no sphere: never asked for
    if (4 * (used_ + 1) > 3 * slots_.size()) {
        std::vector<Slot> old = std::move(slots_);
        slots_.assign(old.empty() ? 1024 : 2 * old.size(), Slot{});
        for (const Slot& s : old)
            if (s.key.r != 0) slotOf(s.key) = s;
    }
    Slot& s = slotOf(k);
    if (s.key.r == 0) ++used_;
    s = {k, e};
}

void AreaCache::Table::clear() {
    slots_.clear();
    slots_.shrink_to_fit();
    used_ = 0;
}

}  // namespace sasa
