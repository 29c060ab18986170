// The two ways to run the surface-area engine on a workspace: the engine
// directory's accall as a program in the workspace's directory (the control
// files there, as NACCESS wants them), or the bundled engine called in this
// process on the workspace's files. Both read and write the same files.
#pragma once

#include "common/engine_runs.h"
#include "common/types.h"
#include "common/workspace.h"
#include "analysis/engine_program.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

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

// The engine runs of one structure's analysis on `files`, handed to the
// stages (common/engine_runs.h): runEngineStep with `console`, the areas of
// the runs at probe 1.40 shared through `accessible` and those of the
// packing runs at 0.40 through `packing` (either may be null: measured
// afresh).
class LinkedEngineRuns : public EngineRuns {
public:
    LinkedEngineRuns(const EngineLink& engine, Workspace& files, std::FILE* console,
                     sasa::AreaCache* accessible = nullptr, sasa::AreaCache* packing = nullptr)
        : engine_(engine), files_(files), console_(console), accessible_(accessible),
          packing_(packing) {}
    bool run(const ControlFile& control, const std::string& logName) override;
    void printErrors(const std::string& logName) override;

private:
    const EngineLink& engine_;
    Workspace& files_;
    std::FILE* console_;
    sasa::AreaCache* accessible_;
    sasa::AreaCache* packing_;
};

struct AnalysisRecord;  // interface/pipeline.h

// SC_P and computepack as a program of their own runs them: in the working
// directory, with the engine of `naccessDir` as a program and the messages
// on standard output.
int SC_P(std::vector<InterfacePoint>& points, ScoreSet& scores, const std::string& naccessDir);
int SC_P(std::vector<InterfacePoint>& points, ScoreSet& scores, const std::string& naccessDir,
         AnalysisRecord& record);
float computepack(const std::string& naccessDir);

// The control file of each engine run written into a workspace with a
// directory (for the program). Returns the name of the first that could not
// be written, or nullptr.
const char* writeControlFilesTo(Workspace& files, const std::string& naccessDir);
