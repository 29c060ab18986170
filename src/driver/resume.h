// Picking up an interrupted run (--resume): what the score file, and the
// details file when there is one, of an earlier run over the same list
// already record, and how much of each to keep.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <vector>

// Where a run over `list` goes on. Entries are recorded in list order (with
// -j N too), so only the last one recorded can be incomplete: an entry with
// many interfaces (--all-pairs) killed between two of its writes. The run
// re-enters that entry, list[next], and scores only its interfaces whose
// names are not in `recorded`; the files then end as those of a run that was
// never stopped.
struct ResumePoint {
    std::size_t done = 0;    // list entries with something recorded (the last perhaps in part)
    std::size_t next = 0;    // scoring starts at list[next]: done - 1, or 0 when done is 0
    std::set<std::string> recorded;  // the name column ("x.pdb", "x.cif A:B") of every
                                     // interface of list[next] recorded whole: skip these
    std::size_t scoreKeep = 0;    // bytes of the score file to keep (a half-written
                                  // last line and lines of entries not yet recorded go)
    std::size_t detailsKeep = 0;  // the same for the details file
    std::string problem;          // not empty: the files are not this run's; change nothing
};

// The entry a score or details line belongs to: its name up to the first
// blank (with --all-pairs the name is "<entry> A:B").
std::string entryOfName(const std::string& name);

// The name column of an entry's interfaces: the entry with a NUL byte shown
// as "\0" (such an entry is recorded as failed, under that name).
std::string recordedEntryName(const std::string& entry);

// `scoreText` and `detailsText` are the whole files, null when there is no
// such file (or, for details, no --details). Each must begin with its own
// header; only whole lines count. With a details file, which has a row for
// every entry tried, the entries recorded are exactly those it holds; score
// lines past them (an entry whose line was written, but not yet its row) are
// dropped. Without one, an entry counts as recorded when a later score line
// shows that the run got past it. Names listed twice are matched in turn.
// The kept bytes end with the last interface of list[next] recorded whole
// (with details: its row, and its score line when it was scored).
// `detailsName` names the details file in problems.
ResumePoint findResumePoint(const std::vector<std::string>& list, const std::string* scoreText,
                            const std::string* detailsText, const std::string& detailsName,
                            bool confidence = false);
