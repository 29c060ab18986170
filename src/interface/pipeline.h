// The analysis of one complex: engine runs on the complex and both subunits,
// interface atoms and buried areas, interface frames, triangulated surfaces,
// the packing sum and the complementarity sum.
#pragma once

#include "analysis/engine_link.h"
#include "common/status.h"
#include "common/types.h"
#include "common/workspace.h"

#include <cstdio>

#include <string>
#include <vector>

// Works on Complex.pdb, ComplexA.pdb and ComplexB.pdb in the working
// directory. `points` is the caller's interface point table, reused for both
// subunits (entries 0..n-1 of the current subunit; it grows if a subunit has
// more interface atoms than it holds). Fills `scores` and returns the number
// of interface atoms of both subunits, or a negative code on failure.
int SC_P(std::vector<InterfacePoint>& points, ScoreSet& scores, const std::string& naccessDir);

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

// SC_P that also fills `record`.
int SC_P(std::vector<InterfacePoint>& points, ScoreSet& scores, const std::string& naccessDir,
         AnalysisRecord& record);

// Where one analysis runs: its engine, its working files and the stream its
// console messages go to.
struct AnalysisRun {
    const EngineLink& engine;
    Workspace& files;
    std::FILE* console;
    sasa::AreaCache* areas = nullptr;         // of the entry's runs at probe 1.40 (engine_link.h)
    sasa::AreaCache* packingAreas = nullptr;  // of its packing runs at 0.40
};

// SC_P on the files of `run` (Complex.pdb, ComplexA.pdb, ComplexB.pdb there,
// and the control files when the engine is a program), messages to
// run.console.
int SC_P(std::vector<InterfacePoint>& points, ScoreSet& scores, const AnalysisRun& run,
         AnalysisRecord& record);
