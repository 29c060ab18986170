// One accall run: read the control file, measure the structure it names,
// and write <stem>.asa, <stem>.rsa and <stem>.log into the current directory
// or a workspace (common/workspace.h: a directory, or memory).
#pragma once

#include "common/workspace.h"
#include "sasa/area_cache.h"
#include "sasa/radii_file.h"
#include "sasa/reference_data.h"

#include <istream>
#include <string>

namespace sasa {

inline constexpr const char* kSuccessLine = " SOLVA: PROGRAM ENDS CORRECTLY";

// `engineDir` holds the default vdw.radii and standard.data, used when the
// control file names none. Returns the exit status: 0 on success, 1 on any
// failure (the log then says why and lacks the success line). For `cache`,
// see the workspace form below.
int runJob(std::istream& control, const std::string& engineDir, AreaCache* cache = nullptr);

// The engine directory's vdw.radii and standard.data, read once for many
// runs.
struct EngineData {
    std::string vdwFile, stdFile;  // <engineDir>/vdw.radii, <engineDir>/standard.data
    RadiiTable radii;
    RadiiIndex radiiIndex;  // of `radii`
    ReferenceTable reference;
    // Reads both; false with `why` naming the file and the problem.
    bool read(const std::string& engineDir, std::string& why);
};

// runJob with PDBFILE read from and the outputs written to `files` (a name
// in the control file is a name there). With `data`, a VDWFILE or STDFILE
// that names data->vdwFile or data->stdFile is not read again. What is
// written is byte for byte what runJob writes into the current directory.
// With a `cache`, the areas of atoms already measured in an earlier run
// with unchanged surroundings are copied from it and the others entered
// (see area_cache.h); the files written are the same as without it. With
// `releaseInput`, PDBFILE is released (Workspace::release) once read, for a
// caller that reads it no more: in memory its room serves the outputs.
// Without `residueFile`, no .rsa is written (the log is the same), for a
// caller that never reads one.
int runJob(std::istream& control, const std::string& engineDir, Workspace& files,
           const EngineData* data, AreaCache* cache = nullptr, bool releaseInput = false,
           bool residueFile = true);

// <stem> for an input path: its file name without the last extension.
std::string outputStem(const std::string& pdbFile);

}  // namespace sasa
