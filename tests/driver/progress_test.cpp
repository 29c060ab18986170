// The progress line and the summary of a run: what they say for given
// counts, and how entries of several interfaces are counted.
#include "driver/progress.h"

#include <gtest/gtest.h>

namespace {

std::vector<EntryResult> entry(std::initializer_list<EntryStatus> statuses) {
    std::vector<EntryResult> results;
    for (EntryStatus s : statuses) {
        EntryResult r;
        r.status = s;
        results.push_back(r);
    }
    return results;
}

TEST(ProgressTest, DurationsInWholeUnits) {
    const struct { double seconds; const char* text; } cases[] = {
        {0, "0 s"}, {0.4, "0 s"}, {44.6, "45 s"}, {59.4, "59 s"}, {60, "1 min 0 s"},
        {192, "3 min 12 s"}, {3599, "59 min 59 s"}, {3600, "1 h 0 min"},
        {6 * 3600 + 58 * 60 + 20, "6 h 58 min"}, {250 * 3600, "250 h 0 min"}, {-3, "0 s"},
    };
    for (const auto& c : cases) EXPECT_EQ(durationText(c.seconds), c.text) << c.seconds;
}

TEST(ProgressTest, LineCountsRateAndTimeLeft) {
    const struct {
        std::size_t scored, failed, total;
        double seconds;
        const char* line;
    } cases[] = {
        {0, 0, 200000, 0, "0/200000 done (0 scored, 0 failed)"},
        {0, 0, 5, 3, "0/5 done (0 scored, 0 failed)"},
        // 1234 entries in 156.2 s: 7.9/s, 198766 left at that rate take 6 h 59 min.
        {1180, 54, 200000, 156.2, "1234/200000 done (1180 scored, 54 failed), 7.9/s, about 6 h 59 min left"},
        {3, 1, 4, 8, "4/4 done (3 scored, 1 failed), 0.50/s"},
        {1, 0, 3, 2, "1/3 done (1 scored, 0 failed), 0.50/s, about 4 s left"},
        {500, 0, 1000, 2, "500/1000 done (500 scored, 0 failed), 250/s, about 2 s left"},
    };
    for (const auto& c : cases) {
        RunTally tally;
        for (std::size_t i = 0; i < c.scored; ++i) tallyEntry(tally, entry({EntryStatus::Scored}));
        for (std::size_t i = 0; i < c.failed; ++i) tallyEntry(tally, entry({EntryStatus::NoFile}));
        EXPECT_EQ(progressLine(tally, c.total, c.seconds), c.line);
    }
}

TEST(ProgressTest, EntriesCountedByTheirInterfaces) {
    // Each case: the entries of a run, and the summary it ends with.
    const struct {
        std::vector<std::vector<EntryResult>> entries;
        double seconds;
        const char* summary;
    } cases[] = {
        {{entry({EntryStatus::Scored})}, 2, "kav_zur: 1 entry in 2 s (0.50/s): 1 scored, 0 failed\n"},
        {{entry({EntryStatus::Scored}), entry({EntryStatus::NoFile}), entry({EntryStatus::TooSmall}),
          entry({EntryStatus::NoFile})},
         80,
         "kav_zur: 4 entries in 1 min 20 s (0.05/s): 1 scored, 3 failed (2 no_file, 1 too_small)\n"},
        // --all-pairs: an entry with one pair scored counts as scored; the
        // interfaces are counted on a line of their own.
        {{entry({EntryStatus::TooSmall, EntryStatus::Scored, EntryStatus::Scored}),
          entry({EntryStatus::OneChain}), entry({EntryStatus::WorkerDied})},
         3,
         "kav_zur: 3 entries in 3 s (1.0/s): 1 scored, 2 failed (1 one_chain, 1 worker_died)\n"
         "kav_zur: 5 interfaces: 2 scored, 3 not (1 one_chain, 1 too_small, 1 worker_died)\n"},
        {{}, 0, "kav_zur: 0 entries in 0 s: 0 scored, 0 failed\n"},
    };
    for (const auto& c : cases) {
        RunTally tally;
        for (const auto& results : c.entries) tallyEntry(tally, results);
        EXPECT_EQ(summaryText(tally, c.seconds), c.summary);
    }
}

}  // namespace
