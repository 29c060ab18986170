// Writing an InputStructure as a PDB-format file that the engine and the
// split read: which chains, in which order, under which one-character IDs.
#pragma once

#include "common/workspace.h"
#include "input/input_structure.h"

#include <string>
#include <vector>

// Where each chain of a structure goes. Chains of one pass are written
// together, in file order of their atoms; pass 0 first.
struct ChainLayout {
    std::vector<int> passOf;   // per chain: its pass, or -1 when it is not written
    std::vector<char> idOf;    // per chain: the one-character ID it is written under
    int passes = 0;
};

// Every chain in one pass, the file's own order: one-character names kept,
// longer names given free one-character IDs (A-Z, a-z, 0-9 not used by any
// chain), a blank name kept blank. False, with the reason in `why`, when
// there are more long names than free IDs.
bool layoutAllChains(const InputStructure& s, ChainLayout& layout, std::string& why);

// Side one in pass 0, side two in pass 1, each under one ID: its first chain
// (file order) if that name is one character or blank, else a free ID. False when a
// named chain is not in the structure; `why` names it and the chains present.
bool layoutSides(const InputStructure& s, const std::vector<std::string>& one,
                 const std::vector<std::string>& two, ChainLayout& layout, std::string& why);

// The chains of each pass in file order, comma-separated, passes joined by
// ':' ("H,L:A").
std::string layoutSidesText(const InputStructure& s, const ChainLayout& layout);

// What was renamed, for the console: "AA written as chain B. H,L written as
// chain H. " ("" when every written chain kept its name).
std::string layoutRenames(const InputStructure& s, const ChainLayout& layout);

// The written name behind an ID of the layout ("H,L" for H above); "" if no
// chain is written under it.
std::string chainsWrittenAs(const InputStructure& s, const ChainLayout& layout, char id);

// One ATOM/HETATM record (with its line end) in standard PDB columns, with
// chain ID `chain` and serial `serial`. False, with the reason in `why`, when
// a field does not fit its columns (coordinates outside -999.999..9999.999,
// a residue number outside -999..9999, a name too long).
bool formatAtomRecord(const InputAtom& a, char chain, int serial, std::string& record,
                      std::string& why);

// The text of records held in memory (Workspace::records): the records
// formatAtomRecord writes, and END.
std::string heldRecordsText(const std::vector<HeldRecord>& records);

// Writes the layout's atoms to `path` as ATOM/HETATM records and END.
// Into a workspace in memory they are held as records (storeRecords), the
// text made only if the file is read as one.
// HETATM records whose residue does not fit the PDB columns are left out
// (the engine never measures hetero atoms); their number goes to `skipped`.
// False, with the reason in `why`, when an ATOM record does not fit or the
// file cannot be written; the file is then removed.
bool writePdb(const InputStructure& s, const ChainLayout& layout, const std::string& path,
              int& skipped, std::string& why);

// writePdb into `files` (`path` a name there). `runs`, when given, is
// atomRuns(s): a structure whose chains are written many times (every pair
// of an assembly) then visits only the atoms each layout writes.
bool writePdb(const InputStructure& s, const ChainLayout& layout, Workspace& files,
              const std::string& path, int& skipped, std::string& why,
              const std::vector<AtomRun>* runs = nullptr);
