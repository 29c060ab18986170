// Scoring a list with N worker processes (-j N): each worker scores entry
// after entry as the parent hands them out, in a private working directory
// of the worker's slot, through the same scoreEntry as a run in one process;
// it retires after a number of entries or past a peak of memory, and a
// fresh worker takes its slot. The console
// output of each worker is captured and printed, and its results recorded,
// in list order, so that a run with workers prints and writes what a run
// without them does.
#pragma once

#include "driver/entry.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Takes results of one entry, in list order: those of an entry still being
// scored as they come (`entryEnds` false), then the rest of it (true). False
// when they could not be written (the run then starts no further entry).
using RecordEntry = std::function<bool(const std::vector<EntryResult>&, bool entryEnds)>;

struct WorkersOutcome {
    int signal = 0;             // the signal that stopped the run, or 0
    bool recordFailed = false;  // `record` returned false
};

// Scores list[first], list[first+1], ... with `jobs` workers at a time (only
// list[first] with context.recorded, the entry --resume re-enters) and
// hands each entry's results to `record` after printing its messages. The
// workers' directories live in ".kav_zur-jobs.XXXXXX" in the working
// directory, removed at the end; such directories left by a run that was
// killed outright are removed first. A worker that dies costs the entry at
// work only: a message, and one result with status WorkerDied; a fresh
// worker takes the entries after it. A signal that ends
// a run from outside (Ctrl-C, SIGTERM, SIGHUP, ...) stops every worker (by
// SIGTERM, which makes a worker stop its engine first, SIGKILL after 5 s);
// they are waited for, their directories removed, and its number returned,
// for the caller to take its usual effect once its own files are closed.
WorkersOutcome runWorkers(const std::vector<std::string>& list, std::size_t first, int jobs,
                          const EntryContext& context, const RecordEntry& record);

// Why workers could not be handed the paths of this run, or "": they work
// in directories below the working directory and see every relative path
// made absolute, which must stay shorter than the system allows (as the
// relative paths of a run in one process do). Checked before any work.
std::string workerPathProblem(const Options& options, const std::vector<std::string>& list);

// Removes the workers' directories that runs killed outright (kill -9, a
// batch system's time limit) left in the working directory; those of runs
// still alive are locked and stay.
void removeAbandonedRunDirectories();

// The results of one entry as a worker hands them over, and back. decode is
// false for anything that encode did not write (a worker that died while
// writing them), and leaves `results` empty then.
std::string encodeResults(const std::vector<EntryResult>& results);
bool decodeResults(const std::string& data, std::vector<EntryResult>& results);

// Replaces every `from` in `text` by `to`.
std::string replaceAll(std::string text, const std::string& from, const std::string& to);
