// Parts of pdblist: the ranges of --shard K/N, and K/N from a SLURM array.
#include "driver/options.h"
#include "driver/shard.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include "scratch_dir.h"

#include <fstream>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace {

TEST(ShardRange, PartsCoverTheListOnceInOrderAndDifferByAtMostOne) {
    for (std::size_t entries : {0, 1, 2, 3, 7, 10, 60, 199999, 200000}) {
        for (int count : {1, 2, 3, 4, 7, 10, 64, 640}) {
            std::size_t next = 0, smallest = SIZE_MAX, largest = 0;
            for (int k = 1; k <= count; ++k) {
                const EntryRange part = shardRange(entries, k, count);
                ASSERT_EQ(part.begin, next) << entries << " entries, part " << k << "/" << count;
                ASSERT_LE(part.begin, part.end);
                next = part.end;
                smallest = std::min(smallest, part.size());
                largest = std::max(largest, part.size());
            }
            EXPECT_EQ(next, entries) << entries << " entries in " << count << " parts";
            EXPECT_LE(largest - smallest, 1u) << entries << " entries in " << count << " parts";
        }
    }
}

TEST(ShardRange, Examples) {
    struct Case {
        std::size_t entries;
        int index, count;
        EntryRange expected;
    } cases[] = {
        {10, 1, 3, {0, 4}},  {10, 2, 3, {4, 7}},  {10, 3, 3, {7, 10}},
        {2, 1, 4, {0, 1}},   {2, 2, 4, {1, 2}},   {2, 4, 4, {2, 2}},  // more parts than entries
        {0, 1, 1, {0, 0}},   {5, 1, 1, {0, 5}},
        // No product of index and entries is formed: nothing overflows.
        {SIZE_MAX, std::numeric_limits<int>::max(), std::numeric_limits<int>::max(),
         {SIZE_MAX - SIZE_MAX / std::numeric_limits<int>::max(), SIZE_MAX}},
    };
    for (const Case& c : cases) {
        const EntryRange part = shardRange(c.entries, c.index, c.count);
        EXPECT_EQ(part.begin, c.expected.begin) << c.entries << " " << c.index << "/" << c.count;
        EXPECT_EQ(part.end, c.expected.end) << c.entries << " " << c.index << "/" << c.count;
    }
}

TEST(ShardEntries, CountsWhiteSpaceSeparatedNamesAndRewinds) {
    std::istringstream list("a.pdb\n b.pdb\t c.pdb\r\n\nd.pdb e.pdb");
    const std::optional<EntryRange> part = shardEntries(list, Shard{2, 2, false});
    ASSERT_TRUE(part);
    EXPECT_EQ(part->begin, 3u);
    EXPECT_EQ(part->end, 5u);
    std::string first;
    list >> first;
    EXPECT_EQ(first, "a.pdb");  // the loop reads the list from its start

    // Without --shard the list is not read at all.
    std::istringstream whole("a b");
    const std::optional<EntryRange> all = shardEntries(whole, Shard{});
    ASSERT_TRUE(all);
    EXPECT_TRUE(all->contains(0) && all->contains(1u << 30));
    EXPECT_EQ(whole.tellg(), 0);
}

// A pdblist that is a pipe cannot be counted and then read: no part at all,
// rather than an empty one that would look like a finished run.
TEST(ShardEntries, AListThatCannotBeReadTwiceGivesNoPart) {
    testutil::ScratchDir scratch;
    ASSERT_EQ(mkfifo("pdblist", 0600), 0);
    const int writer = open("pdblist", O_RDWR);  // keeps the reader's open from waiting
    ASSERT_GE(writer, 0);
    ASSERT_EQ(write(writer, "a b c\n", 6), 6);
    std::ifstream list("pdblist");
    close(writer);
    EXPECT_FALSE(shardEntries(list, Shard{1, 2, false}));
}

// --shard slurm with the array task variables of `env` (name, value; a null
// value leaves the variable unset).
struct SlurmCase {
    const char* id;
    const char* min;
    const char* max;
    const char* count;
    const char* step;
    int index, count_;  // expected part; count_ 0: a usage error
};

int parseWithSlurm(const SlurmCase& c, Shard& shard) {
    const char* names[] = {"SLURM_ARRAY_TASK_ID", "SLURM_ARRAY_TASK_MIN", "SLURM_ARRAY_TASK_MAX",
                           "SLURM_ARRAY_TASK_COUNT", "SLURM_ARRAY_TASK_STEP"};
    const char* values[] = {c.id, c.min, c.max, c.count, c.step};
    for (int i = 0; i < 5; ++i) {
        if (values[i]) setenv(names[i], values[i], 1);
        else unsetenv(names[i]);
    }
    std::vector<std::string> args = {"kav_zur", "--shard", "slurm", "in", "engine"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    Options options;
    ::testing::internal::CaptureStderr();
    const int status = parseOptions(static_cast<int>(args.size()), argv.data(), options);
    ::testing::internal::GetCapturedStderr();
    for (const char* name : names) unsetenv(name);
    shard = options.shard;
    return status;
}

TEST(ShardFromSlurm, ArraysOfAnyStartAndStep) {
    const SlurmCase cases[] = {
        {"1", "1", "4", "4", "1", 1, 4},      // --array=1-4
        {"0", "0", "3", "4", "1", 1, 4},      // --array=0-3
        {"12", "10", "13", "4", "1", 3, 4},   // --array=10-13
        {"7", "1", "9", "5", "2", 4, 5},      // --array=1-9:2, task 7 is the fourth
        {"12", "10", nullptr, "4", nullptr, 3, 4},  // older SLURM: no MAX, no STEP
        {"5", "5", "5", "1", "1", 1, 1},      // one task
        // Refused: tasks that are not one range (--array=3,7 or 1-3,8), an
        // index outside it or off its step, missing variables.
        {"7", "3", "7", "2", "1", 0, 0},
        {"8", "1", "8", "4", "1", 0, 0},
        {"2", "1", "9", "5", "2", 0, 0},
        {"10", "1", "9", "5", "2", 0, 0},
        {"0", "1", "4", "4", "1", 0, 0},
        {"1", "1", nullptr, nullptr, nullptr, 0, 0},
        {nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0},
        {"1", "1", "4", "4", "0", 0, 0},
        {" 1", "1", "4", "4", "1", 0, 0},
    };
    for (const SlurmCase& c : cases) {
        Shard shard;
        const int status = parseWithSlurm(c, shard);
        const std::string what = std::string("task ") + (c.id ? c.id : "-") + " of " +
                                 (c.min ? c.min : "-") + "-" + (c.max ? c.max : "-") + ":" +
                                 (c.step ? c.step : "-");
        if (c.count_ == 0) {
            EXPECT_EQ(status, 2) << what;
            continue;
        }
        ASSERT_EQ(status, kRunOn) << what;
        EXPECT_EQ(shard.index, c.index) << what;
        EXPECT_EQ(shard.count, c.count_) << what;
        EXPECT_TRUE(shard.fromSlurm);
    }
}

TEST(ShardOption, OnlyPlainNumbers) {
    for (const char* text : {"+1/4", " 1/4", "1/ 4", "1/4 ", "1/+4", "0x1/4", "1/4/4", "/4", "1/"}) {
        std::vector<std::string> args = {"kav_zur", "--shard", text, "in", "engine"};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        Options options;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(parseOptions(static_cast<int>(args.size()), argv.data(), options), 2) << text;
        ::testing::internal::GetCapturedStderr();
    }
}

// -j 0 on a cluster node: the cores of this task (its affinity), not the node's.
TEST(JobsOption, ZeroMeansTheCoresThisProcessMayUse) {
    cpu_set_t before;
    ASSERT_EQ(sched_getaffinity(0, sizeof before, &before), 0);
    int first = 0;
    while (!CPU_ISSET(first, &before)) ++first;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(first, &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    std::vector<std::string> args = {"kav_zur", "-j", "0", "in", "engine"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    Options options;
    const int status = parseOptions(static_cast<int>(args.size()), argv.data(), options);
    sched_setaffinity(0, sizeof before, &before);
    EXPECT_EQ(status, kRunOn);
    EXPECT_EQ(options.jobs, 1);
}

}  // namespace
