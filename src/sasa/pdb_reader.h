// Reading the atoms to measure from a PDB file: the first model's ATOM
// records (HETATM, waters and hydrogens on request), one alternate location
// per residue, coordinates checked.
#pragma once

#include "common/asa_line.h"
#include "common/held_record.h"

#include <array>
#include <istream>
#include <string>
#include <vector>

namespace sasa {

struct ReadOptions {
    bool hetatoms = false;   // HETATM records other than water
    bool waters = false;     // residue HOH, ATOM or HETATM
    bool hydrogens = false;  // hydrogen (and deuterium) atoms
};

// One measured atom. Columns 1-30 are kept as read: the .asa repeats them,
// and name, residue and chain are read from them.
struct PdbAtom {
    std::array<char, 30> head{};
    double x = 0, y = 0, z = 0;
    std::array<char, 3> element{};  // columns 77-78 trimmed, upper case; empty when no element symbol
    bool hydrogen = false;
    bool hetero = false;  // a HETATM record
    long line = 0;        // line number in the input, for messages
};

struct PdbResult {
    std::vector<PdbAtom> atoms;
    // Read from held lines: what readAsaColumns reads of each atom's line.
    std::vector<asa::AsaColumns> from;
    std::string error;  // empty on success; otherwise "line N: reason" or the open failure
};

// Fails, with "line N: ..." in `error`, on an atom record that is too short,
// holds a NUL byte, or has coordinates that are not numbers or do not fit
// the area file's %8.3f columns (-999.999 to 9999.999).
PdbResult readPdb(const std::string& path, const ReadOptions& options);

// The same on an open stream (the file's, or text in memory for tests).
// `atomsAtMost`, when known (the line count), is room reserved for the
// atoms at once, instead of growth by doubling.
PdbResult readPdb(std::istream& in, const ReadOptions& options, std::size_t atomsAtMost = 0);

// readPdb of the text of area-file lines held in memory (each in the
// engine's layout: an ATOM record of 68 characters with no element symbol
// or alternate location), with no text in between: the same atoms, each
// with its line's columns in `from`.
PdbResult readHeldLines(const std::vector<asa::HeldLine>& lines, const ReadOptions& options);

// readPdb of the text of atom records held in memory (each one record of
// the structure written for the engine, common/held_record.h), with no text
// in between: the same atoms, with the coordinates as they are held.
PdbResult readHeldRecords(const std::vector<HeldRecord>& records, const ReadOptions& options);

// Fields of columns 1-30, blanks trimmed.
std::string atomName(const PdbAtom& a);     // columns 13-16
std::string residueName(const PdbAtom& a);  // columns 18-20
char chainId(const PdbAtom& a);             // column 22
// Columns 18-27 (residue name, chain, number, insertion code) as one key:
// consecutive atoms with the same key belong to one residue.
std::string residueKey(const PdbAtom& a);

// Hydrogen by element (H or D in columns 77-78) or, with no element symbol
// there (blank, or a segment ID's digits), by
// name: column 14 is H, D or Q after a blank or digit in column 13, or a
// four-character name starts with H. `record` is the whole record line.
bool isHydrogen(const std::string& record);

}  // namespace sasa
