#include "input/contacts.h"

#include <cmath>
#include <cstdint>
#include <unordered_map>

namespace {

bool isContactAtom(const InputAtom& a) {
    return !a.hetero && a.element != "H" && a.element != "D";
}

// A cell of the grid as one key: 21 bits per axis hold any PDB coordinate
// divided by a cell of 0.5 A or more.
std::uint64_t cellKey(std::int64_t x, std::int64_t y, std::int64_t z) {
    constexpr std::int64_t kOffset = 1 << 20;
    return (static_cast<std::uint64_t>(x + kOffset) << 42) |
           (static_cast<std::uint64_t>(y + kOffset) << 21) | static_cast<std::uint64_t>(z + kOffset);
}

std::int64_t cellOf(double v, double size) { return static_cast<std::int64_t>(std::floor(v / size)); }

}  // namespace

std::vector<std::pair<int, int>> touchingChains(const InputStructure& s, double distance) {
    const std::size_t n = s.chains.size();
    std::vector<char> touching(n * n, 0);
    // Cells as wide as the distance: a contact lies in the same or a
    // neighbouring cell.
    const double size = distance < 0.5 ? 0.5 : distance;
    const double limit = distance * distance;
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> grid;
    for (std::size_t i = 0; i < s.atoms.size(); ++i) {
        const InputAtom& a = s.atoms[i];
        if (!isContactAtom(a) || !std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(a.z) ||
            std::fabs(a.x) > 1e5 || std::fabs(a.y) > 1e5 || std::fabs(a.z) > 1e5)
            continue;
        grid[cellKey(cellOf(a.x, size), cellOf(a.y, size), cellOf(a.z, size))].push_back(i);
    }
    for (const auto& [key, members] : grid) {
        const InputAtom& probe = s.atoms[members.front()];
        const std::int64_t cx = cellOf(probe.x, size), cy = cellOf(probe.y, size),
                           cz = cellOf(probe.z, size);
        for (std::int64_t dx = -1; dx <= 1; ++dx)
            for (std::int64_t dy = -1; dy <= 1; ++dy)
                for (std::int64_t dz = -1; dz <= 1; ++dz) {
                    const auto other = grid.find(cellKey(cx + dx, cy + dy, cz + dz));
                    if (other == grid.end()) continue;
                    for (std::size_t i : members)
                        for (std::size_t j : other->second) {
                            const InputAtom& a = s.atoms[i];
                            const InputAtom& b = s.atoms[j];
                            if (a.chain >= b.chain) continue;  // each pair once, a chain not with itself
                            char& seen = touching[static_cast<std::size_t>(a.chain) * n +
                                                  static_cast<std::size_t>(b.chain)];
                            if (seen) continue;
                            const double ex = a.x - b.x, ey = a.y - b.y, ez = a.z - b.z;
                            if (ex * ex + ey * ey + ez * ez <= limit) seen = 1;
                        }
                }
    }
    std::vector<std::pair<int, int>> pairs;
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j)
            if (touching[i * n + j]) pairs.emplace_back(static_cast<int>(i), static_cast<int>(j));
    return pairs;
}
