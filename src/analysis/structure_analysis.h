// The per-structure analysis behind Analyser::score, for the front ends in
// this program that need more than the public header gives: the batch's
// stand-in analyses (tests), its reused point table, and its console.
#pragma once

#include "analysis/analysis.h"
#include "analysis/engine_link.h"
#include "common/workspace.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// The analysis of one split complex: SC_P, or a stand-in in tests. It works
// on the structure files in the working directory.
using AnalysisFunction = std::function<int(std::vector<InterfacePoint>&, ScoreSet&,
                                           const std::string&, AnalysisRecord&)>;

// Where the console messages of one structure go: straight to a stream
// (the batch's stdout), or captured per interface (the library's results).
class ConsoleSink {
public:
    explicit ConsoleSink(std::FILE* direct);  // messages go to `direct`
    ConsoleSink();                            // messages are captured
    ~ConsoleSink();
    ConsoleSink(const ConsoleSink&) = delete;
    ConsoleSink& operator=(const ConsoleSink&) = delete;

    std::FILE* file() const { return file_; }
    // The messages captured since the last call ("" when they went to a stream).
    std::string take();

private:
    void open();
    std::FILE* file_ = nullptr;
    bool capture_ = false;
    char* buffer_ = nullptr;
    std::size_t size_ = 0;
};

struct AnalysisHooks {
    const AnalysisFunction* analyse = nullptr;    // null: SC_P
    std::vector<InterfacePoint>* points = nullptr;  // the point table to reuse; null: one of its own
    // With every pair: called with the part's name and its number of pairs
    // before the first is scored; may be empty.
    std::function<void(const std::string& name, std::size_t pairs)> onPairs;
};

// Scores `input` with its working files in `files` and its messages to
// `console`, handing each interface's result to `onResult` (its `messages`
// taken from `console`). A program engine needs `files` to be a directory
// holding the control files. Removes the structure's working files
// (TEMP.*, Complex*.*) before it returns; the control files stay.
void analyseStructure(const EngineLink& engine, const StructureInput& input,
                      const AnalysisSettings& settings, Workspace& files, ConsoleSink& console,
                      const AnalysisHooks& hooks, const ResultCallback& onResult);

// True when `input` is read as a structure and rewritten for the engine,
// rather than copied byte for byte: mmCIF, gzipped and .ent files, and every
// file when sides, a model or all pairs are asked for.
bool needsConversion(const StructureInput& input, const AnalysisSettings& settings);

// Why the structure file at `path` cannot be read, in a few words: "no such
// file", "a link to nothing", "a directory, not a structure file", "not a
// regular file" or "cannot be read".
const char* whyUnreadable(const std::string& path);
