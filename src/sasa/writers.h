// The engine's area files: .asa (one line per atom) and .rsa (per residue,
// per chain and in total).
#pragma once

#include "common/asa_line.h"
#include "sasa/pdb_reader.h"
#include "sasa/radii_file.h"
#include "sasa/reference_data.h"

#include <ostream>
#include <string>
#include <vector>

namespace sasa {

// Columns 1-30 of the record, then x, y, z, area and radius as
// "%8.3f%8.3f%8.3f%8.3f %5.2f": 68 characters, no line end.
std::string asaLine(const PdbAtom& atom, double area, double radius);
// The same line appended to `out`.
void appendAsaLine(std::string& out, const PdbAtom& atom, double area, double radius);
inline constexpr std::size_t kAsaLineBytes = 69;  // a line of the .asa with its line end

// The same line held without its text: true, with `out` filled, exactly
// when asa::readAsaColumns reads the line, with what it reads (worked out
// from the numbers, with no text in between). With `from` (the columns of
// the line the atom was read from, a held line of an earlier run), its
// fields and coordinates are taken as they are: the same head and
// coordinates print the same.
bool heldLine(const PdbAtom& atom, double area, double radius, asa::HeldLine& out,
              const asa::AsaColumns* from = nullptr);

// The text of held lines, each asaLine's with its line end.
std::string heldText(const std::vector<asa::HeldLine>& lines);

void writeAsa(std::ostream& out, const std::vector<PdbAtom>& atoms,
              const std::vector<double>& areas, const std::vector<AtomRadius>& radii);

// Main chain atoms are N, CA, C, O and OXT; every other atom is side chain.
bool isMainChain(const std::string& atomName);

// One residue's absolute areas by class.
struct ResidueAreas {
    const PdbAtom* first = nullptr;  // its first atom, for name, chain and number
    AreaSums areas{};
};

// Consecutive atoms with the same residue name, chain, number and insertion code.
std::vector<ResidueAreas> sumResidues(const std::vector<PdbAtom>& atoms,
                                      const std::vector<double>& areas,
                                      const std::vector<AtomRadius>& radii);

// Relative value in percent, or -99.9 without a (non-zero) reference.
double relativeArea(double absolute, const AreaSums* reference, AreaClass cls);

// `inputName` and `referenceName` (the standard data file) head the file.
void writeRsa(std::ostream& out, const std::string& inputName, const std::string& referenceName,
              const std::vector<ResidueAreas>& residues, const ReferenceTable& reference);

}  // namespace sasa
