// One list entry from its name in pdblist to its results: the name checks of
// the list, then the library's analysis of the structure (src/analysis) with
// its working files in the current working directory and its messages on
// standard output, and the score line of each scored interface. Every front
// end of the command line takes this path for one entry (the batch loop, a
// worker process, the viewer).
#pragma once

#include "analysis/structure_analysis.h"
#include "driver/options.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// What one interface of an entry, scored or failed, leaves for the score file
// and the record of the run: the analysis's result and its score line.
struct EntryResult : InterfaceResult {
    std::string scoreLine;  // the score file's line; "" when not scored
};

// What every entry of a run shares.
struct EntryContext {
    const Options& options;
    AnalysisFunction analyse;             // empty: the library's analysis (SC_P)
    std::vector<InterfacePoint>& points;  // the interface point table, reused
    const EngineLink* engine = nullptr;   // null: options.naccessDir's accall as a program
    // --resume: true for the name column of an interface already recorded
    // (the entry, or "<entry> A:B" with --all-pairs); scoreEntry neither
    // scores nor prints nor returns such an interface. Empty: score all.
    std::function<bool(const std::string& name)> recorded = {};
};

// The library's settings for the command line's options.
AnalysisSettings analysisSettings(const Options& options);

// Scores one list entry, printing its console messages ("Working on ..."
// and whatever went wrong), writing its report with --report, and appends
// one result per interface it tried to `results`. Removes the entry's
// working files (TEMP.*, Complex*.*) before it returns; the control files
// stay.
void scoreEntry(const std::string& entry, const EntryContext& context,
                std::vector<EntryResult>& results);

// The same, handing each result to `onResult` as soon as it is done, so that
// an entry of many pairs is recorded pair by pair.
using EntryResultSink = std::function<void(EntryResult&& result)>;
void scoreEntry(const std::string& entry, const EntryContext& context,
                const EntryResultSink& onResult);

// With --all-pairs, an entry with at least this many pairs of chains in
// contact says so on standard error before it scores the first.
inline constexpr std::size_t kPairsToAnnounce = 100;
