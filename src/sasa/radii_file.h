// The radii file (vdw.radii) and the radius of each atom.
//
// Layout: "RESIDUE <ATOM|NUCL|HETATM|WATER> <res> <n>" lines, each followed
// by its atoms as "ATOM" lines with the atom name in columns 6-9, the radius
// in 11-14 and a polar flag 0/1 in column 16. Every other line is ignored.
#pragma once

#include "sasa/pdb_reader.h"

#include <istream>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace sasa {

struct RadiusEntry {
    std::string atom;  // trimmed atom name
    double radius = 0;
    bool polar = false;
};

struct ResidueRadii {
    std::string kind;  // ATOM, NUCL, HETATM or WATER
    std::string name;  // residue name
    std::vector<RadiusEntry> atoms;
};

struct RadiiTable {
    std::vector<ResidueRadii> residues;  // in file order
};

struct RadiiResult {
    RadiiTable table;
    std::string error;  // empty on success
};

RadiiResult readRadii(const std::string& path);
RadiiResult readRadii(std::istream& in);

// How an atom's radius was found.
enum class RadiusSource { Entry, Assumed, Guessed, Hydrogen };

struct AtomRadius {
    double radius = 0;
    bool polar = false;
    RadiusSource source = RadiusSource::Entry;
};

// The radius of every atom: its residue's entry; else the same atom name in
// the first residue of the table that has it (assumed); else a guess from
// the element, or from the name when there is none (guessed). Hydrogens
// measure 1.00.
std::vector<AtomRadius> assignRadii(const std::vector<PdbAtom>& atoms, const RadiiTable& table);

// The look-ups assignRadii makes in a table, made once for a table that
// serves many runs: positions, so that a copy of the table serves as well.
struct RadiiIndex {
    // Residue name -> its first residue; atom name -> the first entry of it
    // in any residue (residue, atom).
    std::unordered_map<std::string, std::size_t> byResidue;
    std::unordered_map<std::string, std::pair<std::size_t, std::size_t>> byAtom;
};
RadiiIndex indexRadii(const RadiiTable& table);

// assignRadii with the look-ups of `index`, made by indexRadii(table).
std::vector<AtomRadius> assignRadii(const std::vector<PdbAtom>& atoms, const RadiiTable& table,
                                    const RadiiIndex& index);

// The guess for an element symbol (upper case): C 1.80, N 1.60, O 1.40,
// S 1.85, P 1.90, FE 1.47, ZN 1.39, MG 1.73, CU 1.78, anything else 1.80.
double guessRadius(const std::string& element);

// The element an atom is taken to be: columns 77-78, or else read from the name.
std::string elementOf(const PdbAtom& a);

}  // namespace sasa
