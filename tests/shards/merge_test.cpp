// kav_zur-merge: score files, or details files, under one header in the
// order given; the files it refuses, naming them, with OUT left as it was.
#include "records/details_file.h"
#include "records/score_file.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <thread>

namespace {

using testutil::listDir;
using testutil::readText;
using testutil::writeText;

const std::string kScoreA = "1hpv.pdb\t   853.4\t          0.000231\t  0.000350\n"
                            "1ycr.pdb\t   662.5\t          0.000285\t  0.000443\n";
const std::string kScoreB = "3ub5.pdb\t  1050.7\t          0.000184\t  0.000291\n";

struct MergeRun {
    int status;
    std::string out, err;
};

// kav_zur-merge in the current directory, its output beside it.
MergeRun runMerge(std::vector<std::string> args) {
    args.insert(args.begin(), KAVZUR_MERGE_BINARY);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open("../out.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open("../err.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readText("../out.txt"), readText("../err.txt")};
}

TEST(Merge, ScoreFilesAndDetailsFilesInTheOrderGiven) {
    testutil::ScratchDir scratch;
    writeText("s1", scoreHeader() + kScoreA);
    writeText("s2", scoreHeader());  // a part with no scored entry
    writeText("s3", scoreHeader() + kScoreB);
    MergeRun run = runMerge({"OUT", "s3", "s2", "s1"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readText("OUT"), scoreHeader() + kScoreB + kScoreA);

    InterfaceResult failed;
    failed.name = "1ubq.pdb";
    failed.status = EntryStatus::OneChain;
    InterfaceResult died = failed;
    died.name = "x.pdb";
    died.status = EntryStatus::WorkerDied;
    writeText("d1", detailsHeader() + detailsRow(failed));
    writeText("d2", detailsHeader() + detailsRow(died));
    run = runMerge({"D", "d1", "d2"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readText("D"), detailsHeader() + detailsRow(failed) + detailsRow(died));
    EXPECT_EQ(listDir(), (std::vector<std::string>{"D", "OUT", "d1", "d2", "s1", "s2", "s3"}));

    // Details files with the confidence columns (--confidence) are a kind of their own.
    writeText("c1", detailsHeader(true) + detailsRow(failed, true));
    writeText("c2", detailsHeader(true) + detailsRow(died, true));
    run = runMerge({"C", "c1", "c2"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readText("C"), detailsHeader(true) + detailsRow(failed, true) + detailsRow(died, true));
    run = runMerge({"M", "c1", "d1"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("d1: is a details file, but c1 is a details file with confidence"),
              std::string::npos) << run.err;
}

TEST(Merge, RefusesNamingTheFileAndLeavesOutAsItWas) {
    const std::string header = scoreHeader();
    const std::string firstLine = header.substr(0, header.find('\n') + 1);
    struct Case {
        std::string second;             // the text of file "second"
        std::vector<std::string> args;  // after OUT; "first" is a good score file
        const char* message;
    } cases[] = {
        {"", {"first", "second"}, "second: is empty"},
        {"\nWorking on x/1abc.pdb. \n", {"first", "second"}, "second: is neither"},
        {detailsHeader(), {"first", "second"}, "second: is a details file, but first is a score"},
        {firstLine + "---\n", {"first", "second"}, "second: begins like a score file"},
        {firstLine.substr(0, firstLine.size() - 1) + "\r\n", {"first", "second"}, "second: is neither"},
        {header + kScoreB.substr(0, 20), {"first", "second"}, "second: line 5 has no line end"},
        {header + kScoreB + header, {"first", "second"}, "second: line 6 is a header line again"},
        {header + std::string(1u << 21, 'x') + "\n", {"first", "second"}, "second: line 5 is longer"},
        {header, {"first", "second", "first"}, "first: is given twice"},
        {header, {"first", "OUT"}, "OUT: is the output file too"},
        {header, {"first", "missing"}, "missing: cannot be opened"},
    };
    for (const Case& c : cases) {
        testutil::ScratchDir scratch;
        writeText("first", header + kScoreA);
        writeText("second", c.second);
        writeText("OUT", "an earlier merge\n");
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), "OUT");
        const MergeRun run = runMerge(args);
        EXPECT_EQ(run.status, 1) << c.message;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(readText("OUT"), "an earlier merge\n") << c.message;
        EXPECT_EQ(listDir(), (std::vector<std::string>{"OUT", "first", "second"})) << c.message;
    }
    testutil::ScratchDir scratch;
    writeText("first", header);
    EXPECT_EQ(runMerge({"no-dir/OUT", "first"}).status, 1);
}

// OUT as a link, a FIFO, a directory or a private file: a link's target is
// the file written and the link stays, what cannot be replaced whole is
// refused and left as it was, an existing file keeps its mode.
TEST(Merge, WhatOutIs) {
    namespace fs = std::filesystem;
    struct Case {
        const char* what;
        std::function<void()> make;  // makes OUT (and what it names)
        int status;
        const char* message;  // in the error, for a refusal
        std::function<void()> check;
    } cases[] = {
        {"a link to a file", [] { writeText("real", "an earlier merge\n"); fs::create_symlink("real", "OUT"); },
         0, "",
         [] {
             EXPECT_TRUE(fs::is_symlink("OUT"));
             EXPECT_EQ(fs::read_symlink("OUT"), "real");
             EXPECT_EQ(readText("real"), scoreHeader() + kScoreA);
             EXPECT_EQ(listDir(), (std::vector<std::string>{"OUT", "first", "real"}));
         }},
        {"a link to nothing", [] { fs::create_symlink("gone", "OUT"); }, 1, "OUT: is a link to nothing",
         [] { EXPECT_EQ(listDir(), (std::vector<std::string>{"OUT", "first"})); }},
        {"a FIFO", [] { ASSERT_EQ(mkfifo("OUT", 0644), 0); }, 1, "OUT: is not a regular file",
         [] { EXPECT_EQ(fs::status("OUT").type(), fs::file_type::fifo); }},
        {"a link to a FIFO", [] { ASSERT_EQ(mkfifo("pipe", 0644), 0); fs::create_symlink("pipe", "OUT"); },
         1, "OUT: is not a regular file",
         [] { EXPECT_EQ(fs::status("pipe").type(), fs::file_type::fifo); }},
        {"a directory", [] { fs::create_directory("OUT"); }, 1, "OUT: is not a regular file",
         [] { EXPECT_TRUE(fs::is_directory("OUT")); }},
        {"a private file", [] { writeText("OUT", "old\n"); fs::permissions("OUT", fs::perms::owner_read | fs::perms::owner_write); },
         0, "",
         [] {
             EXPECT_EQ(fs::status("OUT").permissions(), fs::perms::owner_read | fs::perms::owner_write);
             EXPECT_EQ(readText("OUT"), scoreHeader() + kScoreA);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testutil::ScratchDir scratch;
        writeText("first", scoreHeader() + kScoreA);
        c.make();
        const MergeRun run = runMerge({"OUT", "first"});
        EXPECT_EQ(run.status, c.status) << run.err;
        if (c.status != 0) {
            EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        }
        c.check();
    }
}

// A signal that ends kav_zur-merge while it waits on a shard (a FIFO nobody
// writes) removes its temporary file first, whichever terminating signal.
TEST(Merge, EveryTerminatingSignalRemovesTheTemporaryFile) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXFSZ, SIGUSR1, SIGALRM, SIGRTMIN}) {
        SCOPED_TRACE(strsignal(signal));
        testutil::ScratchDir scratch;
        ASSERT_EQ(mkfifo("shard", 0644), 0);
        const pid_t pid = fork();
        if (pid == 0) {
            const rlimit noCore{0, 0};
            setrlimit(RLIMIT_CORE, &noCore);
            execl(KAVZUR_MERGE_BINARY, KAVZUR_MERGE_BINARY, "OUT", "shard", static_cast<char*>(nullptr));
            _exit(127);
        }
        bool tempSeen = false;
        for (int i = 0; i < 1000 && !tempSeen; ++i) {
            for (const std::string& name : listDir()) tempSeen = tempSeen || name.rfind("OUT.merge-", 0) == 0;
            if (!tempSeen) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_TRUE(tempSeen);
        kill(pid, signal);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_EQ(listDir(), std::vector<std::string>{"shard"});
    }
}

TEST(Merge, CommandLine) {
    testutil::ScratchDir scratch;
    MergeRun run = runMerge({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Usage: kav_zur-merge OUT SHARD..."), std::string::npos);
    EXPECT_EQ(runMerge({"--version"}).out, "kav_zur-merge " KAVZUR_VERSION "\n");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"OUT"}, {"--bogus", "OUT", "s1"}, {"-x", "OUT", "s1"}}) {
        run = runMerge(args);
        EXPECT_EQ(run.status, 2) << (args.empty() ? "no arguments" : args[0]);
        EXPECT_NE(run.err.find("Try 'kav_zur-merge --help'"), std::string::npos) << run.err;
    }
    EXPECT_EQ(listDir(), std::vector<std::string>{});
}

}  // namespace
