// Which programs a run starts, traced by strace: the bundled engine in the
// process starts none (not even once to check that accall can be started);
// an engine run as a program is started once before the first structure.
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testutil::readText;
using testutil::writeText;

// Runs `program args` under `strace -f -e trace=execve` in the current
// directory, the trace in `trace`; its exit status, or -1.
int traced(const std::vector<std::string>& command, const fs::path& trace) {
    std::vector<std::string> args = {"strace", "-f", "-qq", "-e", "trace=execve", "-o",
                                      trace.string()};
    args.insert(args.end(), command.begin(), command.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (null < 0 || dup2(null, 1) < 0 || dup2(null, 2) < 0) _exit(127);
        // LeakSanitizer cannot run under a tracer.
        const char* asan = std::getenv("ASAN_OPTIONS");
        setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":detect_leaks=0").c_str(), 1);
        execvp("strace", argv.data());
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// The programs the trace shows started after the first (the traced one
// itself), by path.
std::vector<std::string> startedAfterFirst(const std::string& trace) {
    std::vector<std::string> programs;
    std::istringstream lines(trace);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t call = line.find("execve(\"");
        if (call == std::string::npos) continue;
        const std::size_t from = call + 8;
        programs.push_back(line.substr(from, line.find('"', from) - from));
    }
    if (!programs.empty()) programs.erase(programs.begin());
    return programs;
}

struct StartCase {
    const char* what;
    std::vector<std::string> options;
    const char* pdblist;
    int accallStarts;  // every program started is an accall
};

const StartCase kStarts[] = {
    {"the bundled engine in the process", {}, "1ycr.pdb\n1hpv.pdb\n", 0},
    {"in the process, two workers", {"-j", "2"}, "1ycr.pdb\n1hpv.pdb\n", 0},
    {"in the process, converted input", {"--chains", "A:B"}, "1ycr.pdb\n", 0},
    {"as a program, nothing to score: the start-up check alone", {"--engine", "program"}, "", 1},
};

void PrintTo(const StartCase& c, std::ostream* os) { *os << c.what; }

class EngineStartTest : public ::testing::TestWithParam<StartCase> {};

TEST_P(EngineStartTest, StartsOnlyTheEngineRunAsAProgram) {
    const StartCase& c = GetParam();
    testutil::ScratchDir scratch;
    const fs::path trace = scratch.parent() / "trace.txt";
    if (traced({"/bin/true"}, trace) != 0) GTEST_SKIP() << "strace cannot trace here";

    writeText("pdblist", c.pdblist);
    std::vector<std::string> command = {KAVZUR_BINARY};
    command.insert(command.end(), c.options.begin(), c.options.end());
    command.push_back(std::string(KAVZUR_SOURCE_DIR) + "/examples");
    command.push_back(KAVZUR_ENGINE_DIR);
    ASSERT_EQ(traced(command, trace), 0) << readText(trace);

    const std::vector<std::string> started = startedAfterFirst(readText(trace));
    EXPECT_EQ(started, std::vector<std::string>(static_cast<std::size_t>(c.accallStarts),
                                                std::string(KAVZUR_ENGINE_DIR) + "/accall"))
        << readText(trace);
    // The run itself went as ever.
    EXPECT_NE(readText("KAV_ZUr_score.txt"), "<missing>");
}

INSTANTIATE_TEST_SUITE_P(Runs, EngineStartTest, ::testing::ValuesIn(kStarts));

}  // namespace
