// The analysis of one complex: engine runs on the complex and both subunits,
// interface atoms and buried areas, interface frames, triangulated surfaces,
// the packing sum and the complementarity sum.
#pragma once

#include "common/engine_runs.h"
#include "common/status.h"
#include "common/types.h"
#include "common/workspace.h"

#include <cstdio>

#include <string>
#include <vector>

struct InterfaceReport;  // what a report shows of the analysis (src/report)

// What SC_P saw beyond the four scores: the record of a run and the report
// read it. Counts stay -1 and flags false for the steps never reached.
struct AnalysisRecord {
    EntryStatus status = EntryStatus::Scored;  // the reason when SC_P fails
    int interfaceAtomsA = -1;
    int interfaceAtomsB = -1;
    bool buriedA = false;  // scores.buriedAreaA was set
    bool buriedB = false;
    int trianglesA = -1;   // kept triangles of each side's surface
    int trianglesB = -1;
    bool sums = false;     // packingSum and complementaritySum were computed
    const char* failedLog = nullptr;  // the log of the engine run that failed, if one did
    InterfaceReport* report = nullptr;  // filled as well when not null
};

// Where one analysis runs: the engine runs it asks for (made by the
// analysis above: in process or as a program), its working files and the
// stream its console messages go to.
struct AnalysisRun {
    EngineRuns& engine;
    Workspace& files;
    std::FILE* console;
};

// Works on Complex.pdb, ComplexA.pdb and ComplexB.pdb in `run.files` (and
// the control files there when the engine is a program), messages to
// run.console. `points` is the caller's interface point table, reused for
// both subunits (entries 0..n-1 of the current subunit; it grows if a
// subunit has more interface atoms than it holds). Fills `scores` and
// `record` and returns the number of interface atoms of both subunits, or a
// negative code on failure. (analysis/engine_link.h has the forms that work
// in the current directory with an engine directory's accall.)
int SC_P(std::vector<InterfacePoint>& points, ScoreSet& scores, const AnalysisRun& run,
         AnalysisRecord& record);
