// Areas kept from one engine run for the next: the complex and each subunit
// are subsets of the structure measured first, and most of their atoms keep
// every neighbour they had there, so their areas can be copied.
//
// An atom's area is a function of its sphere, the slice count and the set of
// spheres that reach it (centres closer than the sum of the two sphere
// radii): its neighbours are taken in an order fixed by their own geometry
// (direction, then centre), never by the run's other atoms. So an atom whose
// sphere (exact bits) and reaching set are unchanged gets, copied, the very
// value a full run computes. The set is compared by its size and an
// order-independent digest of its spheres' bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>

namespace sasa {

struct Sphere;

struct AreaCache {
    // A sphere's exact bits: centre x, y, z and radius (atom radius + probe).
    struct Key {
        std::uint64_t x = 0, y = 0, z = 0, r = 0;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& k) const;
    };
    struct Entry {
        double area = 0;               // square angstroms
        std::uint32_t neighbours = 0;  // spheres within reach in the run that computed it
        std::uint64_t digest = 0;      // sum of keyDigest over those spheres
    };

    int slices = 0;  // slices per sphere of the entries; a run with another count starts afresh
    std::unordered_map<Key, Entry, KeyHash> entries;
    // Of the last run's atoms: areas copied from the cache, and computed.
    std::size_t copied = 0, computed = 0;

    void clear() {
        entries.clear();
        slices = 0;
        copied = computed = 0;
    }
};

AreaCache::Key keyOf(const Sphere& s);
std::uint64_t keyDigest(const AreaCache::Key& k);

}  // namespace sasa
