// The command line: what each option takes, and the wrong command lines that
// end with exit status 2 before anything is written.
#include "driver/options.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Parsed {
    int status;
    Options options;
    std::string err;
};

Parsed parse(std::vector<std::string> args) {
    args.insert(args.begin(), "kav_zur");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    Parsed p{};
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    p.status = parseOptions(static_cast<int>(args.size()), argv.data(), p.options);
    p.err = ::testing::internal::GetCapturedStderr();
    ::testing::internal::GetCapturedStdout();
    return p;
}

TEST(Options, ValuesReachTheRun) {
    const Parsed p = parse({"--chains", "L,H:A", "--model", "2", "-j", "3", "--details", "d.tsv",
                            "--resume", "--shard", "2/5", "--report", "out", "in", "engine"});
    ASSERT_EQ(p.status, kRunOn) << p.err;
    EXPECT_EQ(p.options.chains.one, (std::vector<std::string>{"L", "H"}));
    EXPECT_EQ(p.options.chains.two, (std::vector<std::string>{"A"}));
    EXPECT_EQ(sidesText(p.options.chains), "L,H:A");
    EXPECT_EQ(p.options.model, 2);
    EXPECT_EQ(p.options.jobs, 3);
    EXPECT_EQ(p.options.detailsPath, "d.tsv");
    EXPECT_TRUE(p.options.resume);
    EXPECT_EQ(p.options.shard.index, 2);
    EXPECT_EQ(p.options.shard.count, 5);
    EXPECT_EQ(p.options.reportDir, "out");
    EXPECT_EQ(p.options.structureDir, "in");
    EXPECT_EQ(p.options.naccessDir, "engine");
}

TEST(Options, ConfidenceCutoffsAndDetailsByItsOldAbbreviation) {
    const Parsed p = parse({"--confidence", "--pae-cutoff", "7.5", "--dist-cutoff", "1e1", "--d",
                            "d.tsv", "in", "engine"});
    ASSERT_EQ(p.status, kRunOn) << p.err;
    EXPECT_TRUE(p.options.confidence);
    EXPECT_EQ(p.options.paeCutoff, 7.5);
    EXPECT_EQ(p.options.distCutoff, 10.0);
    EXPECT_EQ(p.options.detailsPath, "d.tsv");
    EXPECT_EQ(parse({"--di", "5", "--confidence", "--details", "d", "in", "engine"}).options.distCutoff,
              5.0);
}

TEST(Options, AssembliesCrystalAndEveryModel) {
    Parsed p = parse({"--model", "all", "--assembly", "2", "--all-pairs", "in", "engine"});
    ASSERT_EQ(p.status, kRunOn) << p.err;
    EXPECT_TRUE(p.options.allModels);
    EXPECT_EQ(p.options.model, 0);
    EXPECT_EQ(p.options.assembly, "2");
    EXPECT_FALSE(p.options.crystal);
    p = parse({"--all-pairs", "--crystal", "in", "engine"});
    ASSERT_EQ(p.status, kRunOn) << p.err;
    EXPECT_TRUE(p.options.crystal);
    EXPECT_TRUE(p.options.assembly.empty());
    EXPECT_FALSE(p.options.allModels);
}

TEST(Options, PlainRunAndJobsForEveryCore) {
    Parsed p = parse({"in", "engine"});
    ASSERT_EQ(p.status, kRunOn);
    EXPECT_EQ(p.options.jobs, 1);
    EXPECT_EQ(p.options.shard.count, 0);
    EXPECT_TRUE(p.options.chains.empty());
    p = parse({"-j", "0", "in", "engine"});
    ASSERT_EQ(p.status, kRunOn);
    EXPECT_GE(p.options.jobs, 1);
    p = parse({"-j", "100000", "in", "engine"});
    ASSERT_EQ(p.status, kRunOn);
    EXPECT_EQ(p.options.jobs, 256);
    EXPECT_NE(p.err.find("using 256"), std::string::npos);
}

TEST(Options, ShardFromTheSlurmArrayStartingAnywhere) {
    setenv("SLURM_ARRAY_TASK_ID", "12", 1);
    setenv("SLURM_ARRAY_TASK_MIN", "10", 1);
    setenv("SLURM_ARRAY_TASK_COUNT", "4", 1);
    const Parsed p = parse({"--shard", "slurm", "in", "engine"});
    unsetenv("SLURM_ARRAY_TASK_ID");
    unsetenv("SLURM_ARRAY_TASK_MIN");
    unsetenv("SLURM_ARRAY_TASK_COUNT");
    ASSERT_EQ(p.status, kRunOn) << p.err;
    EXPECT_EQ(p.options.shard.index, 3);
    EXPECT_EQ(p.options.shard.count, 4);
    EXPECT_EQ(parse({"--shard", "slurm", "in", "engine"}).status, 2);
}

TEST(Options, WrongCommandLinesNameTheirFault) {
    struct Case {
        std::vector<std::string> args;
        const char* named;  // what the one-line message must name
    } cases[] = {
        {{"--bogus", "in", "engine"}, "--bogus"},
        {{"-x", "in", "engine"}, "-x"},
        {{"--model"}, "--model"},
        {{"--model", "0", "in", "engine"}, "'0'"},
        {{"--model", "2x", "in", "engine"}, "'2x'"},
        {{"-j", "-1", "in", "engine"}, "'-1'"},
        {{"--shard", "0/4", "in", "engine"}, "'0/4'"},
        {{"--shard", "5/4", "in", "engine"}, "'5/4'"},
        {{"--shard", "a/b", "in", "engine"}, "'a/b'"},
        {{"--chains", "A:A", "in", "engine"}, "chain A is named on both sides"},
        {{"--chains", "A,:B", "in", "engine"}, "empty"},
        {{"--chains", ":B", "in", "engine"}, "empty"},
        {{"--chains", "AB", "in", "engine"}, "':'"},
        {{"--chains", "A:B", "--all-pairs", "in", "engine"}, "exclude each other"},
        {{"--details", "", "in", "engine"}, "--details"},
        {{"--model", "ALL", "in", "engine"}, "'ALL'"},
        {{"--assembly", "", "in", "engine"}, "--assembly"},
        {{"--crystal", "in", "engine"}, "--crystal needs --all-pairs"},
        {{"--crystal", "--all-pairs", "--assembly", "1", "in", "engine"}, "exclude each other"},
        // A flag given a value, and an abbreviation that fits several options.
        {{"--help=1"}, "option '--help' takes no value"},
        {{"--all-pairs=yes", "in", "engine"}, "option '--all-pairs' takes no value"},
        {{"--all=yes", "in", "engine"}, "option '--all-pairs' takes no value"},
        {{"--version=2"}, "option '--version' takes no value"},
        {{"--re", "x", "in", "engine"}, "option '--re' is ambiguous (--resume, --report)"},
        {{"--re=x", "in", "engine"}, "option '--re' is ambiguous (--resume, --report)"},
        {{"--bogus=1", "in", "engine"}, "unknown option '--bogus'"},
        {{"--confidence", "in", "engine"}, "--confidence needs --details or --report"},
        {{"--pae-cutoff", "5", "--details", "d", "in", "engine"}, "need --confidence"},
        {{"--confidence", "--details", "d", "--pae-cutoff", "0", "in", "engine"}, "'0'"},
        {{"--confidence", "--details", "d", "--pae-cutoff", "-3", "in", "engine"}, "'-3'"},
        {{"--confidence", "--details", "d", "--dist-cutoff", "8A", "in", "engine"}, "'8A'"},
        {{"--confidence", "--details", "d", "--dist-cutoff", "nan", "in", "engine"}, "'nan'"},
        {{"--confidence", "--details", "d", "--dist-cutoff", "inf", "in", "engine"}, "'inf'"},
        {{"--confidence", "--details", "d", "--pae-cutoff", "", "in", "engine"}, "--pae-cutoff"},
    };
    for (const Case& c : cases) {
        const Parsed p = parse(c.args);
        EXPECT_EQ(p.status, 2) << c.named;
        EXPECT_NE(p.err.find(c.named), std::string::npos) << p.err;
        EXPECT_NE(p.err.find("Try 'kav_zur --help'"), std::string::npos) << c.named;
    }
}

TEST(Options, HelpVersionAndDirectoryCount) {
    EXPECT_EQ(parse({"--help"}).status, 0);
    EXPECT_EQ(parse({"--version", "in"}).status, 0);
    // Options stop at the first directory: what follows is a third one.
    EXPECT_EQ(parse({"in", "engine", "--help"}).status, 2);
    EXPECT_EQ(parse({"in"}).status, 2);
}

}  // namespace
