// Joining shard files: score files and details files under one header, in
// the order given, and the files kav_zur-merge refuses without touching OUT.
#include "driver/details_file.h"
#include "driver/score_file.h"
#include "merge/merge.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

using testutil::readText;
using testutil::writeText;

const std::string kScoreA = "1hpv.pdb\t   853.4\t          0.000231\t  0.000350\n"
                            "1ycr.pdb\t   662.5\t          0.000285\t  0.000443\n";
const std::string kScoreB = "3ub5.pdb\t  1050.7\t          0.000184\t  0.000291\n";

std::string detailsRowOf(const char* name, EntryStatus status) {
    EntryResult r;
    r.name = name;
    r.sides = "A:B";
    r.status = status;
    r.seconds = 0.25;
    return detailsRow(r);
}

// Merges in memory through a temporary stream.
struct Merged {
    MergeOutcome outcome;
    std::string text;
};

Merged merge(const std::vector<std::string>& paths) {
    std::FILE* out = std::tmpfile();
    Merged m{mergeShards(paths, out), ""};
    std::rewind(out);
    for (int c; (c = std::fgetc(out)) != EOF;) m.text.push_back(static_cast<char>(c));
    std::fclose(out);
    return m;
}

TEST(MergeShards, ScoreFilesInTheOrderGivenUnderOneHeader) {
    testutil::ScratchDir scratch;
    writeText("s1", scoreHeader() + kScoreA);
    writeText("s2", scoreHeader());  // a part with no scored entry
    writeText("s3", scoreHeader() + kScoreB);
    Merged m = merge({"s1", "s2", "s3"});
    ASSERT_TRUE(m.outcome.ok) << m.outcome.path << ": " << m.outcome.reason;
    EXPECT_EQ(m.outcome.kind, ShardKind::Score);
    EXPECT_EQ(m.outcome.lines, 3u);
    EXPECT_EQ(m.text, scoreHeader() + kScoreA + kScoreB);
    m = merge({"s3", "s1"});
    EXPECT_EQ(m.text, scoreHeader() + kScoreB + kScoreA);
}

TEST(MergeShards, DetailsFilesWithFailedRows) {
    testutil::ScratchDir scratch;
    const std::string a = detailsRowOf("1ubq.pdb", EntryStatus::OneChain) +
                          detailsRowOf("gone.pdb", EntryStatus::NoFile);
    const std::string b = detailsRowOf("x.pdb", EntryStatus::WorkerDied);
    writeText("d1", detailsHeader() + a);
    writeText("d2", detailsHeader() + b);
    const Merged m = merge({"d1", "d2"});
    ASSERT_TRUE(m.outcome.ok) << m.outcome.path << ": " << m.outcome.reason;
    EXPECT_EQ(m.outcome.kind, ShardKind::Details);
    EXPECT_EQ(m.text, detailsHeader() + a + b);
}

TEST(MergeShards, RefusesAndNamesTheFileAtFault) {
    const std::string header = scoreHeader();
    const std::string firstLine = header.substr(0, header.find('\n') + 1);
    struct Case {
        const char* why;
        std::string second;  // the second shard's text; the first is a good score file
        const char* reason;  // part of the message
    } cases[] = {
        {"empty", "", "is empty"},
        {"a console log", "\nWorking on x/1abc.pdb. \n", "neither"},
        {"a details file after a score file", detailsHeader(), "is a details file, but"},
        {"a score header cut short", firstLine + "---\n", "header line 2"},
        {"CRLF line ends", firstLine.substr(0, firstLine.size() - 1) + "\r\n", "neither"},
        {"a last line without its end", header + kScoreB.substr(0, 20), "line 5 has no line end"},
        {"two files joined by hand", header + kScoreB + header, "line 6 is a header line again"},
        {"a line too long to be ours", header + std::string(1u << 21, 'x') + "\n", "line 5 is longer"},
    };
    for (const Case& c : cases) {
        testutil::ScratchDir scratch;
        writeText("first", header + kScoreA);
        writeText("second", c.second);
        const Merged m = merge({"first", "second"});
        EXPECT_FALSE(m.outcome.ok) << c.why;
        EXPECT_EQ(m.outcome.path, "second") << c.why;
        EXPECT_NE(m.outcome.reason.find(c.reason), std::string::npos) << c.why << ": " << m.outcome.reason;
    }
    testutil::ScratchDir scratch;
    const Merged missing = merge({"no-such-file"});
    EXPECT_FALSE(missing.outcome.ok);
    EXPECT_EQ(missing.outcome.path, "no-such-file");
    EXPECT_NE(missing.outcome.reason.find("No such file"), std::string::npos);
}

// kav_zur-merge started as a user starts it, in the current directory.
struct MergeRun {
    int status;
    std::string out, err;
};

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

TEST(MergeProgram, WritesOutWholeOrLeavesItAsItWas) {
    testutil::ScratchDir scratch;
    writeText("s1", scoreHeader() + kScoreA);
    writeText("s2", scoreHeader() + kScoreB);
    writeText("d1", detailsHeader());
    writeText("OUT", "an earlier merge\n");

    MergeRun run = runMerge({"OUT", "s1", "d1"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("d1: is a details file, but s1 is a score file"), std::string::npos) << run.err;
    EXPECT_EQ(readText("OUT"), "an earlier merge\n");
    for (const auto& [args, named] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"OUT", "s1", "s1"}, "s1: is given twice"},
             {{"OUT", "s1", "OUT"}, "OUT: is the output file too"},
             {{"OUT", "s1", "missing"}, "missing: cannot be opened"},
             {{"no-dir/OUT", "s1"}, "no-dir/OUT: cannot create"}}) {
        run = runMerge(args);
        EXPECT_EQ(run.status, 1) << named;
        EXPECT_NE(run.err.find(named), std::string::npos) << run.err;
    }
    EXPECT_EQ(readText("OUT"), "an earlier merge\n");
    // No temporary file is left behind by any refusal.
    EXPECT_EQ(testutil::listDir(), (std::vector<std::string>{"OUT", "d1", "s1", "s2"}));

    run = runMerge({"OUT", "s1", "s2"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readText("OUT"), scoreHeader() + kScoreA + kScoreB);
    EXPECT_EQ(testutil::listDir(), (std::vector<std::string>{"OUT", "d1", "s1", "s2"}));
}

TEST(MergeProgram, CommandLine) {
    testutil::ScratchDir scratch;
    MergeRun run = runMerge({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Usage: kav_zur-merge OUT SHARD..."), std::string::npos);
    run = runMerge({"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("kav_zur-merge ", 0), 0u) << run.out;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"OUT"}, {"--bogus", "OUT", "s1"}, {"-x", "OUT", "s1"}}) {
        run = runMerge(args);
        EXPECT_EQ(run.status, 2) << (args.empty() ? "no arguments" : args[0]);
        EXPECT_NE(run.err.find("Try 'kav_zur-merge --help'"), std::string::npos) << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists("OUT"));
}

}  // namespace
