// A coordinate file as this program uses it: the atoms of one model, in file
// order, with the fields a PDB ATOM/HETATM record holds. Filled from PDB or
// mmCIF files, plain or gzipped, by readStructure; nothing else here knows
// the file formats.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct InputAtom {
    bool hetero = false;     // a HETATM record (else ATOM)
    std::string name;        // padded as in PDB columns 13-16 (" CA", "FE"), at most 4 wide
    char altLoc = ' ';       // alternate location; ' ' for none
    std::string resName;     // residue name as in the file
    int resSeq = 0;          // author residue number
    char iCode = ' ';        // insertion code; ' ' for none
    double x = 0.0, y = 0.0, z = 0.0;
    float occupancy = 1.0f;
    float bFactor = 0.0f;
    std::string element;     // upper case, 1-2 letters; "" when unknown
    int charge = 0;
    int serial = 0;          // the file's atom serial; 0 when it has none
    int chain = 0;           // index into InputStructure::chains
};

struct InputStructure {
    std::vector<std::string> chains;  // distinct author chain names, in order of first atom
    std::vector<InputAtom> atoms;     // the model's atoms in file order
};

// A stretch of consecutive atoms of one chain: `atoms[begin..end)`.
struct AtomRun {
    int chain = 0;
    std::size_t begin = 0, end = 0;
};

// The structure's atoms as such stretches, in file order: what is done
// chain by chain many times (every pair of an assembly written, every
// crystal copy made) visits only the atoms of its chains.
inline std::vector<AtomRun> atomRuns(const InputStructure& s) {
    std::vector<AtomRun> runs;
    for (std::size_t i = 0; i < s.atoms.size(); ++i) {
        if (runs.empty() || runs.back().chain != s.atoms[i].chain)
            runs.push_back({s.atoms[i].chain, i, i});
        runs.back().end = i + 1;
    }
    return runs;
}

// Reads model `model` (its number in the file; 0: the first model) of the
// structure file at `path`. The format comes from the name (.cif, .mmcif:
// mmCIF; .pdb, .ent and anything else: PDB), after a ".gz", which is
// decompressed. Returns false with a short reason in `why` (corrupt gzip,
// malformed mmCIF, no atoms, no such model, ...) and `out` empty; never
// throws. With `mseAsMet`, selenomethionine is read as methionine (see
// readAsMethionine).
bool readStructure(const std::string& path, int model, InputStructure& out, std::string& why,
                   bool mseAsMet = false);

// readStructure on the file's text already read (not gzipped): mmCIF when
// `mmcif`, else PDB; `name` names it in the parser's messages.
bool readStructureText(const std::string& text, bool mmcif, const std::string& name, int model,
                       InputStructure& out, std::string& why, bool mseAsMet = false);

// An atom of selenomethionine (residue MSE, ATOM or HETATM record) as the
// same atom of methionine: residue MET in an ATOM record, its selenium SE as
// the sulphur SD (element S). Phased crystal structures carry MSE where the
// protein has MET, and hetero atoms are left out of the areas. Any other
// atom is left as it is.
void readAsMethionine(InputAtom& atom);

