// Areas kept from one engine run for the next, for the whole of an entry:
// the copy, the complex and each subunit of every interface of a structure
// are subsets of its atoms, and most atoms keep, from one run to the next,
// every neighbour they had, so their areas can be copied.
//
// An atom's area is a function of its sphere, the slice count and the set of
// spheres that reach it (centres closer than the sum of the two sphere
// radii): its neighbours are taken in an order fixed by their own geometry
// (direction, then centre), never by the run's other atoms. So an atom whose
// sphere (exact bits) and reaching set are unchanged gets, copied, the very
// value a full run computes.
//
// Every distinct sphere an entry's runs meet gets a number; an area is kept
// with the numbers of its reaching set, and an atom may have several areas,
// one for each neighbourhood it was measured in. A lookup checks the
// neighbours' numbers one by one: the count and an order-independent digest
// only pass over the areas that cannot match. The table grows with the
// spheres and their neighbourhoods, never with the number of runs. The
// numbers of a set are kept in the order the run found them (cell by cell,
// so no sort is paid a kept area), as the differences from one to the next
// in one to five bytes (neighbours are mostly numbered close together, so
// most take one); the lookup counts members, whatever their order.
#pragma once

#include "common/asa_line.h"
#include "sasa/lee_richards.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace sasa {

// A sphere's exact bits: centre x, y, z and radius (atom radius + probe).
struct SphereKey {
    std::uint64_t x = 0, y = 0, z = 0, r = 0;
    // Word by word (a defaulted one may become a call to memcmp).
    bool operator==(const SphereKey& o) const {
        return x == o.x && y == o.y && z == o.z && r == o.r;
    }
};
std::uint64_t keyDigest(const SphereKey& k);
// A digest of a sphere number: the areas' digests are sums of these.
std::uint64_t numberDigest(std::uint32_t n);

struct AreaCache {
    using Key = SphereKey;
    static constexpr std::uint32_t kNone = 0xffffffffu;

    // The spheres met so far, numbered from 0 in the order met: their keys
    // by number, and a table from key to number (open addressing, linear
    // probing, eight bytes a slot: the number and a part of the key's
    // digest that passes over most other keys before theirs are compared).
    class Spheres {
    public:
        // The number of `k`, given now if it has none; kNone for the zero
        // key and once kNone numbers are given.
        std::uint32_t number(const Key& k) { return number(k, keyDigest(k)); }
        std::uint32_t number(const Key& k, std::uint64_t digest);  // digest: keyDigest(k)
        // Whether `k` is the key of number `n` (a number of this table).
        bool is(std::uint32_t n, const Key& k) const { return keys_[n] == k; }
        void clear();
        std::size_t size() const { return keys_.size(); }

    private:
        struct Slot {
            std::uint32_t number = kNone;  // kNone: a free slot
            std::uint32_t tag = 0;         // the high half of the key's digest
        };
        std::vector<Key> keys_;    // by number
        std::vector<Slot> slots_;  // a power of two, at most three quarters used
        Slot& slotOf(const Key& k, std::uint64_t digest);
    };

    // One measured area of a sphere, with its neighbourhood.
    struct Area {
        double area = 0;               // square angstroms
        std::uint64_t digest = 0;      // sum of numberDigest over the spheres within reach
        // Where its reaching set's bytes start: block first >> 20 of
        // `reach`, byte first & (kBlock - 1) of it.
        std::size_t first = 0;
        std::uint32_t count = 0;
        std::uint32_t next = kNone;    // the sphere's area measured before this one
    };

    // The kept area of sphere `sphere` whose reaching set is `reaching`
    // (`count` sphere numbers, in any order), or null.
    const Area* find(std::uint32_t sphere, std::uint64_t digest, const std::uint32_t* reaching,
                     std::uint32_t count);
    // Keeps `area` for sphere `sphere` and that reaching set (in any order).
    void put(std::uint32_t sphere, double area, std::uint64_t digest,
             const std::uint32_t* reaching, std::uint32_t count);

    int slices = 0;  // slices per sphere of the areas; a run with another count starts afresh
    Spheres spheres;
    std::vector<std::uint32_t> latest;  // per sphere number: its latest Area, or kNone
    // Both grow a block at a time: no copy of all that is kept, and no
    // peak of twice its size, when they grow.
    std::deque<Area> areas;
    static constexpr std::size_t kBlock = std::size_t(1) << 20;  // bytes of a block of `reach`
    std::vector<std::unique_ptr<std::uint8_t[]>> reach;  // the reaching sets, one after another
    std::size_t reachUsed = 0;  // bytes used of the last block
    // Of the last run's atoms: areas copied from the cache, and computed.
    std::size_t copied = 0, computed = 0;
    // Whether areas are also kept by neighbourhood (find, put), for runs
    // long after: an entry of many interfaces. Without, only the recent
    // runs below are compared, which is all one interface's runs need.
    bool byNeighbourhood = true;
    // For tests only: every digest taken as 0, so that all neighbourhoods
    // of one size look alike until their members are compared.
    bool digestsCollide = false;

    // The last runs' atoms. An atom of a new run that was in one of them,
    // and that no sphere of only one of the two runs reaches, has there the
    // very reaching set it has now: its area is copied without its
    // neighbours being looked for (most atoms of a subunit cut from its
    // complex, or of a complex after the copy it was cut from). The run
    // sharing the most atoms with the new one is the one compared.
    struct RecentRun {
        std::vector<Sphere> spheres;
        std::vector<std::uint32_t> numbers;  // per atom: its sphere's number, or kNone
        std::vector<double> areas;
        std::vector<char> alone;  // no other atom of the run at its centre: its area is its own
    };
    static constexpr std::size_t kRecentRuns = 4;
    std::deque<RecentRun> recent;

    // Per atom of a run (`n` spheres, their numbers, and whether another
    // atom of the run shares its centre): the area it had in the nearest
    // recent run when its reaching set is the same there, else NaN.
    std::vector<double> unchanged(const Sphere* atoms, const std::uint32_t* numbers,
                                  const char* shared, std::size_t n);
    // The numbers of a run's atoms (kNone for the zero key, or once the
    // table is full). An atom whose sphere followed the atom before it in
    // the last run that had that one is numbered without a lookup.
    void number(const Sphere* atoms, std::size_t n, std::uint32_t* numbers);
    // Keeps a run's atoms and areas as the latest of `recent`.
    void remember(const Sphere* atoms, const std::uint32_t* numbers, const char* shared,
                  const double* areas, std::size_t n);

    // Whole runs kept, in memory, for the next runs of the entry: a run of
    // the very atoms, with the same probe, slices and radii, writes what one
    // of these wrote, and is neither measured nor made into lines again (the
    // complex after the copy it was cut from, a subunit of the pairs it is
    // in). The most recently used first.
    struct KeptRun {
        double probe = 0;
        int slices = 0;
        std::string vdwFile;
        std::vector<Sphere> spheres;       // measured
        std::vector<asa::HeldLine> lines;  // the area file, line by line
        std::string notes;                 // the log's lines between its settings and its counts
        std::size_t chains = 0, residues = 0;
    };
    static constexpr std::size_t kKeptRuns = 3;  // enough for a complex and a side of consecutive pairs
    std::deque<KeptRun> kept;

    void clear();

private:
    // Of a lookup: a sphere's count in the set looked for, valid where
    // its stamp is the lookup's.
    std::vector<std::uint32_t> stamp_;
    std::vector<std::uint32_t> left_;
    std::uint32_t lookup_ = 0;
    void mark(const std::uint32_t* reaching, std::uint32_t count);  // the set looked for
    bool holds(const Area& a);  // the set marked is a's reaching set
    // Of unchanged(): per sphere number, the stamp of the run it is in
    // (the new one, the one compared) and its atom there.
    std::vector<std::uint32_t> inNew_, inRecent_, atomIn_;
    // Of number(): per sphere number, the number of the sphere after it in
    // the last run it was in (kNone: none known).
    std::vector<std::uint32_t> followedBy_;
    std::uint32_t stamp2_ = 0;
    void growStamps();  // to a stamp a sphere number
};

SphereKey keyOf(const Sphere& s);

}  // namespace sasa
