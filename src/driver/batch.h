// The batch run: command line, control files, the loop over pdblist and the
// score file. Returns the process exit status: 0 when the list was worked
// through (even if some structures failed), 1 when the run could not start
// or the score file could not be written, 2 on a wrong command line.
#pragma once

#include "common/types.h"
#include "driver/entry.h"

#include <string>
#include <vector>

// The analysis of one split complex (Complex.pdb, ComplexA.pdb, ComplexB.pdb
// in the working directory): fills the scores, negative on failure.
using Analysis = int (*)(std::vector<InterfacePoint>& points, ScoreSet& scores,
                         const std::string& naccessDir);

// `kav_zur [options] <structure directory> <NACCESS directory>` with SC_P as
// analysis.
int runBatch(int argc, char** argv);

// The same run with another analysis (tests put a stand-in here).
int runBatch(int argc, char** argv, Analysis analyse);
int runBatch(int argc, char** argv, const AnalysisFunction& analyse);
