// One part of pdblist for one machine or array task (--shard K/N): the K-th
// of N contiguous parts of the list's entries, in list order.
#pragma once

#include "driver/options.h"

#include <cstddef>
#include <istream>
#include <optional>

// Entries [begin, end) of the list, counted from 0 in list order.
struct EntryRange {
    std::size_t begin = 0;
    std::size_t end = 0;
    bool contains(std::size_t i) const { return begin <= i && i < end; }
    std::size_t size() const { return end - begin; }
};

// Part `index` (1-based) of `count` parts of `entries` entries. The parts
// are contiguous, cover the list once, and their sizes differ by at most
// one (the first entries % count parts hold one entry more). More parts than
// entries leave the last parts empty. Requires 1 <= index <= count.
EntryRange shardRange(std::size_t entries, int index, int count);

// The entries `shard` selects from `list` (white-space separated names, as
// the batch loop reads them): every entry when the shard's count is 0, so
// that a run without --shard does not read the list twice. Otherwise the
// list is counted and rewound to its start; nullopt when it cannot be
// rewound (a pipe), as the part cannot be known before the list ends.
std::optional<EntryRange> shardEntries(std::istream& list, const Shard& shard);
