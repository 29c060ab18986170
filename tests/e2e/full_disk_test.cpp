// A working directory on a full disk (a small tmpfs in a mount namespace of
// the test's own; root only): working files that cannot be written stop the
// run with exit status 1 and the disk's words, and no entry is recorded as
// scored or failed because of them; the in-process engine writes no working
// files and scores as ever.
#include "records/score_file.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testutil::readText;
using testutil::writeText;

struct DiskCase {
    const char* what;
    std::vector<std::string> options;
    int status;
    const char* out;    // what standard output holds
    bool lineWritten;   // 1ycr's score line is in the score file
};

const DiskCase kDisks[] = {
    {"as a program", {"--engine", "program"}, 1,
     "Error in writing working files in the working directory: No space left on device. !!!",
     false},
    {"in process", {}, 0, "Finished", true},
};

void PrintTo(const DiskCase& c, std::ostream* os) { *os << c.what; }

class FullDiskTest : public ::testing::TestWithParam<DiskCase> {};

TEST_P(FullDiskTest, StopsTheRunOrNeedsNoDisk) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
    const DiskCase& c = GetParam();
    const fs::path source = KAVZUR_SOURCE_DIR;
    testutil::ScratchDir scratch;
    const fs::path disk = scratch.parent() / "disk", out = scratch.parent() / "out";
    fs::create_directories(disk);
    fs::create_directories(out);
    std::vector<std::string> args = {KAVZUR_BINARY};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.insert(args.end(), {(source / "examples").string(), KAVZUR_ENGINE_DIR});

    const pid_t runner = fork();
    if (runner == 0) {
        // 1ycr's working files take some 400 kB; the disk holds 96 kB.
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=96k") != 0 || chdir(disk.c_str()) != 0)
            _exit(120);
        writeText("pdblist", "1ycr.pdb\n");
        const pid_t run = fork();
        if (run == 0) {
            const int fd = open((out / "stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0 || dup2(fd, 1) < 0) _exit(121);
            std::vector<char*> argv;
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(122);
        }
        int status = 0;
        waitpid(run, &status, 0);
        std::error_code ec;
        fs::copy_file(kScoreFileName, out / kScoreFileName, ec);
        writeText(out / "left.txt", std::to_string(testutil::listDir().size()));
        _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 123);
    }
    int status = 0;
    ASSERT_EQ(waitpid(runner, &status, 0), runner);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_LT(WEXITSTATUS(status), 120) << "the disk could not be set up";
    EXPECT_EQ(WEXITSTATUS(status), c.status);
    const std::string printed = readText(out / "stdout.txt");
    EXPECT_NE(printed.find(c.out), std::string::npos) << printed;
    const std::string scores = readText(out / kScoreFileName);
    EXPECT_EQ(scores.find("1ycr.pdb") != std::string::npos, c.lineWritten) << scores;
    // Only pdblist and the score file are left on the disk.
    EXPECT_EQ(readText(out / "left.txt"), "2");
}

INSTANTIATE_TEST_SUITE_P(Runs, FullDiskTest, ::testing::ValuesIn(kDisks));

}  // namespace
