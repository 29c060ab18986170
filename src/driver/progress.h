// What a run shows of itself while it works: one line on standard error,
// rewritten in place ("1234/200000 done (1180 scored, 54 failed), 7.9/s,
// about 6 h 58 min left"), and a summary after "Finished". Counts list
// entries (the lines of pdblist), not interfaces: an entry counts as scored
// when at least one of its interfaces was scored. Nothing of it goes to
// standard output or into a file of the run.
#pragma once

#include "common/status.h"
#include "driver/entry.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

inline constexpr std::size_t kStatusCount = static_cast<std::size_t>(kLastStatus) + 1;

// What the entries recorded so far came to.
struct RunTally {
    std::size_t done = 0;    // entries recorded
    std::size_t scored = 0;  // entries with at least one interface scored
    std::array<std::size_t, kStatusCount> entries{};     // entries by their status
    std::array<std::size_t, kStatusCount> interfaces{};  // interfaces by status
    std::size_t interfaceCount = 0;
    std::size_t failed() const { return done - scored; }
};

// What one entry's interfaces came to, gathered as they are recorded (an
// entry of many pairs is recorded pair by pair, and none is kept).
struct EntryCounts {
    std::array<std::size_t, kStatusCount> interfaces{};
    std::size_t count = 0;
    EntryStatus status = EntryStatus::WorkerDied;  // the entry's status so far
    void add(const EntryResult& result);
};

// Adds one entry's results: the entry's status is "scored" when one of its
// interfaces was scored, otherwise that of its first interface.
void tallyEntry(RunTally& tally, const std::vector<EntryResult>& results);
void tallyEntry(RunTally& tally, const EntryCounts& counts);

// A duration for people, in whole units: "45 s", "3 min 12 s", "6 h 58 min".
std::string durationText(double seconds);

// The progress line for `tally` out of `total` entries after `seconds`:
// "12/40 done (11 scored, 1 failed), 2.5/s, about 11 s left". The rate and
// the time left are left out until an entry is done; the time left once all are.
std::string progressLine(const RunTally& tally, std::size_t total, double seconds);

// The summary after "Finished", lines ending in '\n': the entries scored and
// failed, the failed ones by status code (those of the details file), the
// time taken and the rate; interfaces by status as well when an entry may
// have more than one (--all-pairs; with --model all each model is one).
std::string summaryText(const RunTally& tally, double seconds);

// The display of one run (off until started). `mode` 1 shows it whatever standard error is
// (--progress), 0 never (--no-progress), -1 when standard error is a
// terminal. `total`: the entries this run will score (its part of the list,
// without those --resume found recorded).
class ProgressDisplay {
public:
    ProgressDisplay() = default;
    ~ProgressDisplay();
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

    // Starts the clock and shows the line when it is to be shown.
    void start(int mode, std::size_t total);
    bool on() const { return on_; }
    // Counts one recorded entry and redraws the line, at most a few times a
    // second (always for the last entry).
    void record(const std::vector<EntryResult>& results);
    void record(const EntryCounts& counts);
    // Takes the line off its row before console output is printed there
    // (standard output elsewhere, standard error messages of the workers).
    void erase();
    // At the end of the loop, before the last console lines: the line stays
    // on a row of its own, or its bottom row is given back to the console.
    void leave();
    // After "Finished": prints the summary.
    void finish();

private:
    void draw();

    bool on_ = false;
    bool sharedTerminal_ = false;  // standard output is a terminal too
    bool shown_ = false;           // the line is on the screen
    int rows_ = 0;                 // the terminal's rows when its bottom row was taken
    std::size_t total_ = 0;
    RunTally tally_;
    std::chrono::steady_clock::time_point start_, lastDraw_;
};

// Erases the line of the display of the run in progress, if any: for the
// console output that the workers' loop prints.
void eraseProgressLine();
