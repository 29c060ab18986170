// The kav_zur program itself, started as a user starts it, on real
// structures with the test engine.
#include "records/score_file.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct RunResult {
    int status;
    std::string out;
};

// Runs the program in `dir` with `args`; its standard output is collected
// in a file beside `dir`, so that the working directory stays as it leaves it.
RunResult runProgram(const fs::path& dir, std::vector<std::string> args) {
    const fs::path outPath = dir.parent_path() / "stdout.txt";
    args.insert(args.begin(), KAVZUR_BINARY);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || dup2(out, 1) < 0 || chdir(dir.c_str()) != 0) _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = -1;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return {-1, ""};
    RunResult run{WEXITSTATUS(status), testutil::readText(outPath)};
    fs::remove(outPath);
    return run;
}

TEST(EndToEnd, RealStructuresAreSplitAndTheDirectoryIsCleaned) {
    testutil::ScratchDir scratch;
    testutil::writeText("pdblist", "1ycr.pdb\n1hpv.pdb\n");
    const std::string data = KAVZUR_TEST_DATA;

    const RunResult run = runProgram(scratch.work(), {data, KAVZUR_FAKE_ENGINE_DIR});
    EXPECT_EQ(run.status, 0);
    // MDM2 (chain A) with its p53 peptide (B); the two protease monomers.
    EXPECT_NE(run.out.find("Working on " + data + "/1ycr.pdb.  Subunit one contains 705 atoms "
                           "and Subunit two contains 113 atoms.\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("Working on " + data + "/1hpv.pdb.  Subunit one contains 758 atoms "
                           "and Subunit two contains 758 atoms.\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.substr(run.out.size() - 10), "\nFinished\n");
    const std::string scores = testutil::readText(kScoreFileName);
    EXPECT_EQ(scores.substr(0, scoreHeader().size()), scoreHeader());
    EXPECT_EQ(testutil::listDir(), (std::vector<std::string>{kScoreFileName, "pdblist"}));
}

TEST(EndToEnd, TheBundledEngineGivesScoreLines) {
    testutil::ScratchDir scratch;
    testutil::writeText("pdblist", "1ycr.pdb");
    const RunResult run = runProgram(scratch.work(), {KAVZUR_TEST_DATA, KAVZUR_ENGINE_DIR});
    EXPECT_EQ(run.status, 0);
    const std::string scores = testutil::readText(kScoreFileName);
    ASSERT_EQ(scores.substr(0, scoreHeader().size()), scoreHeader()) << run.out;
    // The name as listed, then the three numbers in their widths.
    const std::regex line("1ycr\\.pdb\t[ 0-9]{5}[0-9]\\.[0-9]\t[ 0-9]{10}[0-9]\\.[0-9]{6}"
                          "\t[ 0-9]{2}[0-9]\\.[0-9]{6}\n");
    EXPECT_TRUE(std::regex_match(scores.substr(scoreHeader().size()), line)) << scores;
    EXPECT_EQ(testutil::listDir(), (std::vector<std::string>{kScoreFileName, "pdblist"}));
}

TEST(EndToEnd, UsageExitsWithStatusTwo) {
    testutil::ScratchDir scratch;
    const RunResult run = runProgram(scratch.work(), {"only-one-argument"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out.rfind("\nUSAGE:: ./kav_zur <path of pdb file> <path of naccess program>\n", 0),
              0u);
    EXPECT_TRUE(testutil::listDir().empty());
}

}  // namespace
