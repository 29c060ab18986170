// What of a structure file is scored: a model as written, a biological
// assembly, the interfaces of the crystal, or every model; each part as the
// program's own InputStructure, with the chain pairs to score in it.
#pragma once

#include "input/input_structure.h"

#include <string>
#include <vector>

// The choices of the command line that decide what is read.
struct StructureChoice {
    int model = 0;           // model number (1-based); 0: the first model
    bool allModels = false;  // every model, each a part of its own
    std::string assembly;    // biological assembly id; "": the chains as written
    bool crystal = false;    // the crystal's interfaces (the chains and their symmetry copies)
    bool pairs = false;      // every pair of chains in contact
    bool mseAsMet = false;   // selenomethionine read as methionine (readAsMethionine)
};

// Two chains of a part, scored against each other: indices only, since an
// entry may have millions of pairs; pairName and pairSides give the names.
struct ChainPair {
    int first = 0;         // index into the part's chains: side one
    int second = 0;        // side two
    int secondChain = 0;   // the chain side two is (or, with --crystal, is a copy of)
    bool crystal = false;  // a crystal interface: named with its operator
};

// The pair as it is named: "A:B", "A:A-2", with --crystal "A:B 7_555" (and
// "A:B 1_555" for two chains as written).
std::string pairName(const InputStructure& s, const ChainPair& p);
// The chains of each side: "A:B", "A:A-2"; of a crystal copy, the chain
// it is a copy of ("A:B" for "A:B 7_555").
std::string pairSides(const InputStructure& s, const ChainPair& p);

// One structure to score: the file's model, an assembly built from it, or
// one of several models.
struct StructurePart {
    std::string label;             // "" for the one part of a file; "model 2" for each model
    InputStructure structure;      // chains as named: A, A-2 (assembly copies), "B 7_555" (crystal copies)
    std::vector<ChainPair> pairs;  // with pairs or crystal: the interfaces to score, in order
};

// Reads the file at `path` into the parts `choice` asks for. Without an
// assembly, the crystal or every model, this is readStructure (and, with
// pairs, touchingChains) as ever. Assembly copies are named by the chain
// and the operator ("A-2"), or the operators of a product joined by 'x'
// ("A-1x2", from an mmCIF expression "(1)(2)"); the identity copy keeps the
// chain's name, and a copy asked for twice is built once. With
// the crystal, every chain of the file is paired with every chain and
// symmetry copy within contact (heavy atoms of ATOM records within 5 A),
// each interface once (A with B by S is B with A by the inverse of S), named
// with the operator in the n_klm notation of PDB files ("A:B 3_655";
// "1_555" for two chains as written). False, with a short reason in `why`,
// for a file that cannot be read, an assembly that is not in the file (the
// reason lists those present) or whose operators are missing or cannot be
// read, and for a crystal without a real cell, with a space group that is
// not known, or with one whose operators do not move the chains rigidly in
// the cell (a group its cell does not fit); never throws.
bool readStructureParts(const std::string& path, const StructureChoice& choice,
                        std::vector<StructurePart>& parts, std::string& why);

// The symmetry operators of space group `name` (Hermann-Mauguin, as in
// CRYST1) as "x,y,z"-style triplets, numbered (from 1) as PDB files number
// them in their n_klm codes. False, with the reason, for a name not known.
bool spaceGroupOperators(const std::string& name, std::vector<std::string>& triplets,
                         std::string& why);
