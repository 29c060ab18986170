// The engine runs a stage asks for, without knowing how the engine is
// started: the analysis (src/analysis) hands one in that runs the bundled
// engine in this process or an engine directory's accall as a program, on
// the files of a workspace, and chooses which areas of earlier runs it may
// reuse.
#pragma once

#include "common/engine_files.h"

#include <string>

class EngineRuns {
public:
    virtual ~EngineRuns() = default;

    // One run of `control` (one of kControlFiles), whose log is `logName`:
    // the log and the area file of that name are removed first, so that
    // files left by an earlier run never pass for this one's. False when the
    // run fails or its log lacks the success line.
    virtual bool run(const ControlFile& control, const std::string& logName) = 0;

    // The engine's own words on why the run of `logName` failed, to the
    // console, each line as " accall: <line>".
    virtual void printErrors(const std::string& logName) = 0;
};
