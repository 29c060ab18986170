// One accall run: read the control file, measure the structure it names,
// and write <stem>.asa, <stem>.rsa and <stem>.log into the current directory.
#pragma once

#include "sasa/area_cache.h"

#include <istream>
#include <string>

namespace sasa {

inline constexpr const char* kSuccessLine = " SOLVA: PROGRAM ENDS CORRECTLY";

// `engineDir` holds the default vdw.radii and standard.data, used when the
// control file names none. Returns the exit status: 0 on success, 1 on any
// failure (the log then says why and lacks the success line).
// With a `cache`, the areas of atoms already measured in an earlier run
// with unchanged surroundings are copied from it and the others entered
// (see area_cache.h); the files written are the same as without it.
int runJob(std::istream& control, const std::string& engineDir, AreaCache* cache = nullptr);

// <stem> for an input path: its file name without the last extension.
std::string outputStem(const std::string& pdbFile);

}  // namespace sasa
