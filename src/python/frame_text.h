// A trajectory's structure prepared once: the PDB ATOM records of its atoms
// up to the coordinates and after them, and the atoms they read as. Each
// frame gives only coordinates; the frame's atoms (or its record text) are
// made here, so that a frame costs no per-atom work in Python and no text.
#pragma once

#include "input/input_structure.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kzpy {

// A frame's atoms as values: a copy of the records' structure (made once per
// thread and set of records), each frame's coordinates written into it.
struct FrameAtoms {
    InputStructure structure;
    std::uint64_t records = 0;  // the FrameRecords it is a copy of (their id)
};

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

    // The structure the analysis reads from text(xyz), with no text: the
    // records' atoms, read once, each coordinate the number its "%8.3f"
    // text reads back as. False when the records do not read back atom for
    // atom in their order (then the text is what to score); throws as
    // write does.
    bool structure(const double* xyz, std::size_t values, FrameAtoms& out) const;

private:
    // Every record with blank coordinates, then "END": a frame's text is a
    // copy of it with the coordinates written in.
    std::string blank_;
    std::vector<std::size_t> columns_;  // where each atom's coordinates start in blank_
    InputStructure atoms_;  // the records read as the analysis reads a frame's text
    bool readable_ = false;
    std::uint64_t id_ = 0;  // unique among the records of this process
};

}  // namespace kzpy
