// Reference areas for relative accessibility (standard.data).
//
// Layout: one residue a line, "<residue> <all> <side> <main> <nonpolar> <polar>",
// the five reference areas in square angstroms separated by blanks; blank
// lines and lines starting with '#' are comments. A zero reference (glycine's
// side chain, say) gives no relative value.
#pragma once

#include <array>
#include <istream>
#include <map>
#include <string>

namespace sasa {

// The five classes of the .rsa, in its column order.
enum AreaClass { kAllAtoms, kSideChain, kMainChain, kNonPolar, kPolar, kAreaClasses };

using AreaSums = std::array<double, kAreaClasses>;

struct ReferenceTable {
    std::map<std::string, AreaSums> byResidue;
};

struct ReferenceResult {
    ReferenceTable table;
    std::string error;  // empty on success
};

ReferenceResult readReference(const std::string& path);
ReferenceResult readReference(std::istream& in);

}  // namespace sasa
