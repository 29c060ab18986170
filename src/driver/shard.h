// One part of pdblist for one machine or array task (--shard K/N): the K-th
// of N contiguous parts of the list's entries, in list order.
#pragma once

#include "driver/options.h"

#include <cstddef>

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

// The entries `shard` selects from a list of `entries` entries: all of them
// when the shard's count is 0 (no --shard), else its part.
EntryRange shardOf(std::size_t entries, const Shard& shard);
