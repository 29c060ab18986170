#include "driver/shard.h"

#include <algorithm>
#include <limits>
#include <string>

EntryRange shardRange(std::size_t entries, int index, int count) {
    // q and r instead of (index - 1) * entries / count: no product overflows.
    const std::size_t n = static_cast<std::size_t>(count);
    const std::size_t k = static_cast<std::size_t>(index) - 1;
    const std::size_t q = entries / n;
    const std::size_t r = entries % n;
    const std::size_t begin = k * q + std::min(k, r);
    return {begin, begin + q + (k < r ? 1 : 0)};
}

EntryRange shardOf(std::size_t entries, const Shard& shard) {
    if (shard.count == 0) return EntryRange{0, entries};
    return shardRange(entries, shard.index, shard.count);
}
