// Atoms counted into the cubic cells of their box, for the searches of
// near atoms in the engine and in the packing selection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Cells of a box held whole (every cell of it numbered, x first) rather
// than only its occupied ones sorted: when the box of nx x ny x nz cells is
// not much larger than its `atoms` (at most 8 cells an atom, and 4096).
inline bool holdBoxWhole(std::size_t nx, std::size_t ny, std::size_t nz, std::size_t atoms) {
    const std::size_t room = 8 * atoms + 4096;
    return nx <= room && ny <= room / nx && nz <= room / (nx * ny);
}

// Atoms counted out into `cells` cells, atom i into cell[i] (< cells):
// cell c's atoms are members[start[c] .. start[c + 1]), in input order (the
// order a stable sort by cell gives).
template <class Index>
void countIntoCells(const std::vector<std::uint32_t>& cell, std::size_t cells,
                    std::vector<std::uint32_t>& start, std::vector<Index>& members) {
    start.assign(cells + 1, 0);
    for (const std::uint32_t c : cell) ++start[c + 1];
    for (std::size_t c = 1; c <= cells; ++c) start[c] += start[c - 1];
    members.resize(cell.size());
    // Each atom placed at its cell's next free place, which moves start[c]
    // on to the end of cell c; shifted back after.
    for (std::size_t i = 0; i < cell.size(); ++i) members[start[cell[i]]++] = static_cast<Index>(i);
    for (std::size_t c = cells; c > 0; --c) start[c] = start[c - 1];
    start[0] = 0;
}
