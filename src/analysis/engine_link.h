// The two ways to run the surface-area engine on a workspace: the engine
// directory's accall as a program in the workspace's directory (the control
// files there, as NACCESS wants them), or the bundled engine called in this
// process on the workspace's files. Both read and write the same files.
#pragma once

#include "common/workspace.h"
#include "analysis/engine_program.h"

#include <cstdio>
#include <memory>
#include <string>

namespace sasa {
struct AreaCache;
struct EngineData;
}

struct EngineLink {
    std::string naccessDir;
    bool inProcess = false;
    std::shared_ptr<const sasa::EngineData> data;  // in process: vdw.radii and standard.data
    // In process: called with true before each engine run and false after
    // it (a worker process arms its time limit so); may be null.
    void (*guard)(bool running) = nullptr;
};

// True when `naccessDir` holds the marker of this version's bundled engine.
bool hasEngineMarker(const std::string& naccessDir);

// A link for `naccessDir`: in process when `allowInProcess` and the marker
// is there (the data files are then read once), else the program. False,
// with `why` naming the file, when the in-process engine's data cannot be read.
bool makeEngineLink(const std::string& naccessDir, bool allowInProcess, EngineLink& link,
                    std::string& why);

// One engine run of `control` (one of kControlFiles), whose log is `logName`:
// the log and the area file of that name are removed first, so that files
// left by an earlier run never pass for this one's. False when the run fails
// or its log lacks the success line; the program's line on why goes to
// `console`. The program needs a workspace with a directory holding the
// control file. With `areas` and the engine in process, atoms whose
// surroundings are those of an earlier run with the same cache get the
// areas computed there (sasa/area_cache.h): the same files, less work. The
// structure file, once read, and the run's .rsa are released
// (Workspace::release): the analysis reads neither again. With a stop set
// for this thread (common/engine_stop.h), a raised flag, or an in-process
// run longer than its limit, throws EngineStopped; a program run longer than
// the limit fails as it does past engineTimeout().
bool runEngineStep(const EngineLink& engine, Workspace& files, const ControlFile& control,
                   const std::string& logName, std::FILE* console,
                   sasa::AreaCache* areas = nullptr);

// The control file of each engine run written into a workspace with a
// directory (for the program). Returns the name of the first that could not
// be written, or nullptr.
const char* writeControlFilesTo(Workspace& files, const std::string& naccessDir);
