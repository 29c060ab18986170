// List entries that are read as structures and rewritten for the engine,
// rather than copied: mmCIF and gzipped files, and any file when --chains,
// --all-pairs or --model chooses what to score.
#pragma once

#include "driver/entry.h"

#include <string>
#include <vector>

// True for names ending in .cif, .mmcif, .ent or .gz (any case), and for
// every name when --chains, --all-pairs or --model is given. A plain run on a
// .pdb file copies it byte for byte instead.
bool needsConversion(const std::string& entry, const Options& options);

// scoreEntry for such an entry: reads the file at `path`, writes the chosen
// chains as TEMP.pdb and scores it (each touching chain pair in turn with
// --all-pairs, named "<entry> A:B"). A file that cannot be read, or lacks a
// named chain, fails with one result and a message naming the file and the
// problem; after the usual messages of a failed analysis it says why when
// the file has one chain or a side has no protein residues.
void scoreConvertedEntry(const std::string& entry, const std::string& path,
                         const EntryContext& context, std::vector<EntryResult>& results);
