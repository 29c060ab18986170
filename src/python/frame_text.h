// A trajectory's structure prepared once: the PDB ATOM records of its atoms
// up to the coordinates and after them. Each frame gives only coordinates;
// the record text of the frame is made here, so that a frame costs no
// per-atom work in Python.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kzpy {

class FrameRecords {
public:
    // `heads[i]` is atom i's record up to column 30, `tails[i]` the rest of
    // its line after column 54, newline included. Throws
    // std::invalid_argument when the lists differ in length or a head is not
    // 30 columns wide (the coordinates would not land in their columns).
    FrameRecords(std::vector<std::string> heads, std::vector<std::string> tails);

    std::size_t atoms() const { return columns_.size(); }

    // The PDB text of one frame: each atom's record with its coordinates
    // ("%8.3f" each, as x, y, z of `xyz`, 3 * atoms() values in angstroms),
    // then "END". Throws std::invalid_argument naming the atom when a
    // coordinate does not fit its eight columns (below -999.9995 or from
    // 9999.9995 on, or not a number).
    std::string text(const double* xyz, std::size_t values) const;
    // The same into `out`, whose memory is reused when it holds enough.
    void write(const double* xyz, std::size_t values, std::string& out) const;

private:
    // Every record with blank coordinates, then "END": a frame's text is a
    // copy of it with the coordinates written in.
    std::string blank_;
    std::vector<std::size_t> columns_;  // where each atom's coordinates start in blank_
};

}  // namespace kzpy
