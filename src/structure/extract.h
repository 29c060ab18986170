// Splitting a complex: the first chain of an area file goes to ComplexA.pdb,
// the second to ComplexB.pdb, and both, one after the other, to Complex.pdb.
#pragma once

#include "common/workspace.h"

#include <cstdio>
#include <string>

// Reads the area file at `path` (PDB columns) and writes the three structure
// files in the working directory. Records are copied verbatim, except that
// an atom serial that does not read as a number (hybrid-36 or "*****" past
// 99999 atoms) becomes the record's position in its subunit file.
// 0 on success; -1 when a file cannot be opened or the input is empty; -2
// when an accepted atom record of the first two chains has a blank chain
// identifier.
int Extract(const std::string& path);

// Extract that also hands back the atoms written to each subunit file (both
// 0 when it fails before the subunit files are complete).
int Extract(const std::string& path, int& atomsA, int& atomsB);

// Extract on files of `files` (`path` is a name there too), with its
// messages written to `console`.
int Extract(Workspace& files, const std::string& path, int& atomsA, int& atomsB,
            std::FILE* console);
