// The command line: `kav_zur [options] <structure directory> <NACCESS directory>`.
// Options come before the two directories; a run without options is the
// plain batch run over the first two chains of every listed file.
#pragma once

#include "records/chain_sides.h"

#include <cstdio>
#include <string>
#include <vector>


// A contiguous part of pdblist: part `index` (1-based) of `count`. A count of
// 0 means the whole list.
struct Shard {
    int index = 1;
    int count = 0;
    bool fromSlurm = false;  // --shard slurm: index and count from the array task
};

struct Options {
    std::string structureDir;
    std::string naccessDir;
    int model = 0;            // --model N (1-based); 0: the first model in the file
    bool allModels = false;   // --model all: every model, each its own line
    std::string assembly;     // --assembly ID: a biological assembly; "": the chains as written
    bool crystal = false;     // --crystal: the crystal's interfaces (with --all-pairs)
    bool mseAsMet = false;    // --mse-as-met: selenomethionine read as methionine
    ChainSides chains;        // --chains H,L:A
    bool allPairs = false;    // --all-pairs: every pair of chains in contact
    int jobs = 1;             // -j/--jobs N; 0 on the command line means every core
    std::string detailsPath;  // --details FILE; empty: no record of the run
    bool resume = false;      // --resume
    Shard shard;              // --shard K/N or --shard slurm
    std::string reportDir;    // --report DIR; empty: no reports
    int progress = -1;        // --progress 1, --no-progress 0; -1: when stderr is a terminal
    bool engineProgram = false;  // --engine program: never the in-process engine
    bool freshAreas = false;     // --fresh-areas: no area copied between engine runs
    bool confidence = false;  // --confidence: the predictor's confidence in the details file
    double paeCutoff = 10.0;  // --pae-cutoff A
    double distCutoff = 10.0; // --dist-cutoff A
};

// What parseOptions decided.
inline constexpr int kRunOn = -1;

// Reads the command line into `options`. Returns kRunOn when the run goes on;
// otherwise the exit status, having printed what was asked or what is wrong:
// 0 after --help or --version (on standard output), 2 after a wrong command
// line (an unknown option, a missing or bad value, conflicting options: one
// line naming it and the usage line on standard error; a wrong number of
// directories: the usage and about texts on standard output, as always).
int parseOptions(int argc, char** argv, Options& options);

// The usage text and the about text, as printed for a wrong command line.
void printUsage(std::FILE* out);
