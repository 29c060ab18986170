// One list entry from its structure file to its score line: the steps that
// every front end takes for one structure (the batch loop, a worker process,
// the viewer). Works in the current working directory through its fixed file
// names, so one entry at a time per directory.
#pragma once

#include "common/status.h"
#include "common/types.h"
#include "driver/options.h"
#include "interface/pipeline.h"

#include <functional>
#include <string>
#include <vector>

// The analysis of one split complex: SC_P, or a stand-in in tests.
using AnalysisFunction = std::function<int(std::vector<InterfacePoint>&, ScoreSet&,
                                           const std::string&, AnalysisRecord&)>;

// What one interface of an entry, scored or failed, leaves for the score file
// and the record of the run.
struct EntryResult {
    std::string name;   // the score file's name column: the entry as listed
    std::string sides;  // "A:B": chains of side one and of side two; "" while unknown
    EntryStatus status = EntryStatus::Scored;
    int atomsA = -1;    // atoms written to each subunit file; -1: never split
    int atomsB = -1;
    AnalysisRecord analysis;  // what SC_P saw (its counts say how far it got)
    ScoreSet scores;          // as far as `analysis` says they were reached
    std::string scoreLine;    // the score file's line; "" when not scored
    double seconds = 0.0;     // wall time spent on this interface
};

// What every entry of a run shares.
struct EntryContext {
    const Options& options;
    AnalysisFunction analyse;
    std::vector<InterfacePoint>& points;  // the interface point table, reused
    // --resume: true for the name column of an interface already recorded
    // (the entry, or "<entry> A:B" with --all-pairs); scoreEntry neither
    // scores nor prints nor returns such an interface. Empty: score all.
    std::function<bool(const std::string& name)> recorded = {};
};

// The steps after TEMP.pdb holds the structure to measure: the engine run on
// it, the split and the analysis, with their console messages (`path` names
// the structure in them). Fills `result` (status, atom counts, scores, score
// line; `sides` from the split when still empty) and removes every working
// file of the structure.
void scorePrepared(const std::string& path, const EntryContext& context, EntryResult& result);

// Scores one list entry, printing its console messages ("Working on ..."
// and whatever went wrong), and appends one result per interface it tried to
// `results`. Removes the entry's working files (TEMP.*, Complex*.*) before it
// returns; the control files stay.
void scoreEntry(const std::string& entry, const EntryContext& context,
                std::vector<EntryResult>& results);

// Why the structure file at `path` cannot be read, in a few words: "no such
// file", "a link to nothing", "a directory, not a structure file", "not a
// regular file" or "cannot be read".
const char* whyUnreadable(const std::string& path);
