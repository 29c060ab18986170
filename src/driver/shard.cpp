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

std::optional<EntryRange> shardEntries(std::istream& list, const Shard& shard) {
    if (shard.count == 0) return EntryRange{0, std::numeric_limits<std::size_t>::max()};
    std::size_t entries = 0;
    for (std::string entry; list >> entry;) ++entries;
    list.clear();
    list.seekg(0);
    if (!list || list.tellg() != 0) return std::nullopt;
    return shardRange(entries, shard.index, shard.count);
}
