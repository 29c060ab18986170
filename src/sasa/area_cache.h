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
#include <vector>

namespace sasa {

struct Sphere;

struct AreaCache {
    // A sphere's exact bits: centre x, y, z and radius (atom radius + probe).
    struct Key {
        std::uint64_t x = 0, y = 0, z = 0, r = 0;
        bool operator==(const Key&) const = default;
    };
    struct Entry {
        double area = 0;               // square angstroms
        std::uint64_t digest = 0;      // sum of keyDigest over the spheres within reach
        std::uint32_t neighbours = 0;  // their number, in the run that computed it
    };

    // Entries by key in one table (open addressing, linear probing): no
    // allocation an atom. A sphere's radius is never zero bits (it holds
    // the probe, > 0), which marks a free slot.
    class Table {
    public:
        const Entry* find(const Key& k) const;
        void put(const Key& k, const Entry& e);  // adds, or replaces the entry of k
        void clear();
        std::size_t size() const { return used_; }

    private:
        struct Slot {
            Key key;
            Entry entry;
        };
        std::vector<Slot> slots_;  // a power of two, at most three quarters used
        std::size_t used_ = 0;
        Slot& slotOf(const Key& k);
    };

    int slices = 0;  // slices per sphere of the entries; a run with another count starts afresh
    Table entries;
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
