#include "input/contacts.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>

namespace {

bool isContactAtom(const InputAtom& a) {
    return !a.hetero && a.element != "H" && a.element != "D" && std::isfinite(a.x) &&
           std::isfinite(a.y) && std::isfinite(a.z) && std::fabs(a.x) < 1e5 &&
           std::fabs(a.y) < 1e5 && std::fabs(a.z) < 1e5;
}

// A cell of the grid as one key: 21 bits per axis hold any coordinate below
// 1e5 A divided by a cell of 0.5 A or more.
std::uint64_t cellKey(std::int64_t x, std::int64_t y, std::int64_t z) {
    constexpr std::int64_t kOffset = 1 << 20;
    return (static_cast<std::uint64_t>(x + kOffset) << 42) |
           (static_cast<std::uint64_t>(y + kOffset) << 21) | static_cast<std::uint64_t>(z + kOffset);
}

std::int64_t cellOf(double v, double size) { return static_cast<std::int64_t>(std::floor(v / size)); }

// The atoms of one chain in one cell: positions [begin, end) of Cell::atoms.
struct Run {
    int chain;
    std::size_t begin, end;
};

struct Cell {
    std::int64_t x, y, z;
    std::vector<std::size_t> atoms;  // atom indices, grouped by chain
    std::vector<Run> runs;
};

}  // namespace

std::vector<std::pair<int, int>> touchingChains(const InputStructure& s, double distance) {
    // Cells as wide as the distance: a contact lies in the same or a
    // neighbouring cell.
    const double size = distance < 0.5 ? 0.5 : distance;
    const double limit = distance * distance;
    std::unordered_map<std::uint64_t, Cell> grid;
    for (std::size_t i = 0; i < s.atoms.size(); ++i) {
        const InputAtom& a = s.atoms[i];
        if (!isContactAtom(a)) continue;
        const std::int64_t x = cellOf(a.x, size), y = cellOf(a.y, size), z = cellOf(a.z, size);
        Cell& cell = grid[cellKey(x, y, z)];
        cell.x = x, cell.y = y, cell.z = z;
        cell.atoms.push_back(i);
    }
    // Atoms of a cell grouped by chain, so that only atoms of different
    // chains are ever compared: inside a chain, the work is one pass. Each
    // chain keeps where its runs are.
    std::vector<std::vector<std::pair<const Cell*, std::size_t>>> runsOf(s.chains.size());
    for (auto& [key, cell] : grid) {
        std::stable_sort(cell.atoms.begin(), cell.atoms.end(), [&s](std::size_t a, std::size_t b) {
            return s.atoms[a].chain < s.atoms[b].chain;
        });
        for (std::size_t i = 0; i < cell.atoms.size(); ++i) {
            const int chain = s.atoms[cell.atoms[i]].chain;
            if (cell.runs.empty() || cell.runs.back().chain != chain) {
                cell.runs.push_back({chain, i, i});
                runsOf[static_cast<std::size_t>(chain)].emplace_back(&cell, cell.runs.size() - 1);
            }
            cell.runs.back().end = i + 1;
        }
    }
    // One chain at a time, with the partners found so far marked by that
    // chain's index: no table of every pair (an assembly of thousands of
    // chains in contact has millions), only the list returned.
    std::vector<std::pair<int, int>> touching;
    std::vector<int> foundFor(s.chains.size(), -1);
    std::vector<int> partners;
    for (std::size_t c = 0; c < runsOf.size(); ++c) {
        const int chain = static_cast<int>(c);
        partners.clear();
        for (const auto& [cell, index] : runsOf[c]) {
            const Run& r = cell->runs[index];
            for (std::int64_t dx = -1; dx <= 1; ++dx)
                for (std::int64_t dy = -1; dy <= 1; ++dy)
                    for (std::int64_t dz = -1; dz <= 1; ++dz) {
                        const auto found = grid.find(cellKey(cell->x + dx, cell->y + dy, cell->z + dz));
                        if (found == grid.end()) continue;
                        const Cell& other = found->second;
                        for (const Run& q : other.runs) {
                            // Each pair once (lower chain first), a chain not with itself.
                            if (q.chain <= chain || foundFor[static_cast<std::size_t>(q.chain)] == chain)
                                continue;
                            bool seen = false;
                            for (std::size_t i = r.begin; i < r.end && !seen; ++i)
                                for (std::size_t j = q.begin; j < q.end && !seen; ++j) {
                                    const InputAtom& a = s.atoms[cell->atoms[i]];
                                    const InputAtom& b = s.atoms[other.atoms[j]];
                                    const double ex = a.x - b.x, ey = a.y - b.y, ez = a.z - b.z;
                                    seen = ex * ex + ey * ey + ez * ez <= limit;
                                }
                            if (seen) {
                                foundFor[static_cast<std::size_t>(q.chain)] = chain;
                                partners.push_back(q.chain);
                            }
                        }
                    }
        }
        std::sort(partners.begin(), partners.end());
        for (int p : partners) touching.emplace_back(chain, p);
    }
    return touching;
}
