// Parts of pdblist: the ranges of --shard K/N, and K/N from a SLURM array.
#include "driver/options.h"
#include "driver/shard.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <sstream>

namespace {

int parse(std::vector<std::string> args, Options& options) {
    args.insert(args.begin(), "kav_zur");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::testing::internal::CaptureStderr();
    const int status = parseOptions(static_cast<int>(args.size()), argv.data(), options);
    ::testing::internal::GetCapturedStderr();
    return status;
}

TEST(ShardRange, PartsCoverTheListOnceInOrderAndDifferByAtMostOne) {
    for (std::size_t entries : {0, 1, 2, 3, 7, 10, 15, 199999, 200000}) {
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
    // The largest counts: no product of index and entries overflows.
    const int n = INT32_MAX;
    EXPECT_EQ(shardRange(SIZE_MAX, n, n).end, SIZE_MAX);
    EXPECT_EQ(shardRange(SIZE_MAX, n, n).begin, SIZE_MAX - SIZE_MAX / n);
}

TEST(ShardOf, EveryEntryWithoutAShardItsPartWithOne) {
    EXPECT_EQ(shardOf(5, Shard{0, 0, false}).begin, 0u);
    EXPECT_EQ(shardOf(5, Shard{0, 0, false}).end, 5u);
    EXPECT_EQ(shardOf(5, Shard{2, 2, false}).begin, 3u);
    EXPECT_EQ(shardOf(5, Shard{2, 2, false}).end, 5u);
    EXPECT_EQ(shardOf(0, Shard{1, 3, false}).size(), 0u);
}

TEST(ShardFromSlurm, ArraysOfAnyStartAndStep) {
    const char* names[] = {"SLURM_ARRAY_TASK_ID", "SLURM_ARRAY_TASK_MIN", "SLURM_ARRAY_TASK_MAX",
                           "SLURM_ARRAY_TASK_COUNT", "SLURM_ARRAY_TASK_STEP"};
    struct Case {
        const char* values[5];  // ID, MIN, MAX, COUNT, STEP; null: not set
        int index, count;       // the part; 0, 0: a wrong command line
    } cases[] = {
        {{"1", "1", "4", "4", "1"}, 1, 4},      {{"0", "0", "3", "4", "1"}, 1, 4},
        {{"12", "10", "13", "4", "1"}, 3, 4},   {{"7", "1", "9", "5", "2"}, 4, 5},  // 1-9:2
        {{"12", "10", nullptr, "4", nullptr}, 3, 4},                               // no MAX, STEP
        {{"5", "5", "5", "1", "1"}, 1, 1},
        {{"7", "3", "7", "2", "1"}, 0, 0},   // --array=3,7: not one range
        {{"8", "1", "8", "4", "1"}, 0, 0},   // --array=1-3,8
        {{"2", "1", "9", "5", "2"}, 0, 0},   // off the step
        {{"10", "1", "9", "5", "2"}, 0, 0},  // past the end
        {{"0", "1", "4", "4", "1"}, 0, 0},   // before the start
        {{"1", "1", nullptr, nullptr, nullptr}, 0, 0},
        {{nullptr, nullptr, nullptr, nullptr, nullptr}, 0, 0},
        {{"1", "1", "4", "4", "0"}, 0, 0},
        {{" 1", "1", "4", "4", "1"}, 0, 0},
    };
    for (const Case& c : cases) {
        std::string what;
        for (int i = 0; i < 5; ++i) {
            what += std::string(c.values[i] ? c.values[i] : "-") + " ";
            if (c.values[i]) setenv(names[i], c.values[i], 1);
            else unsetenv(names[i]);
        }
        Options options;
        const int status = parse({"--shard", "slurm", "in", "engine"}, options);
        for (const char* name : names) unsetenv(name);
        EXPECT_EQ(status, c.count ? kRunOn : 2) << what;
        if (c.count && status == kRunOn) {
            EXPECT_EQ(options.shard.index, c.index) << what;
            EXPECT_EQ(options.shard.count, c.count) << what;
        }
    }
}

TEST(ShardOption, OnlyPlainNumbers) {
    for (const char* text : {"+1/4", " 1/4", "1/ 4", "1/4 ", "1/+4", "0x1/4", "1/4/4", "/4", "1/"}) {
        Options options;
        EXPECT_EQ(parse({"--shard", text, "in", "engine"}, options), 2) << text;
    }
}

// -j 0 in a SLURM task: the cores of the task (its affinity), not the node's.
TEST(JobsOption, ZeroMeansTheCoresThisProcessMayUse) {
    cpu_set_t before, one;
    ASSERT_EQ(sched_getaffinity(0, sizeof before, &before), 0);
    int first = 0;
    while (!CPU_ISSET(first, &before)) ++first;
    CPU_ZERO(&one);
    CPU_SET(first, &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    Options options;
    const int status = parse({"-j", "0", "in", "engine"}, options);
    sched_setaffinity(0, sizeof before, &before);
    EXPECT_EQ(status, kRunOn);
    EXPECT_EQ(options.jobs, 1);
}

}  // namespace
