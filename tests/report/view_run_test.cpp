// kav_zur-view as a user starts it: it never overwrites the structure file it
// reads, and a signal that ends it while its engine runs takes its scratch
// directory along.
#include "run_program.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using testutil::readText;

const fs::path kData = fs::path(KAVZUR_SOURCE_DIR) / "tests/data";

// How the output directory "out" comes to hold the input.
enum class Same { Named, Symlink, HardLink, Apart };

struct InputCase {
    const char* what;
    const char* input;   // the structure file, in "out" unless Apart
    const char* report;  // the report file that is the input
    Same same;
};

const InputCase kInputs[] = {
    {"the input named like a report file", "complex.pdb", "complex.pdb", Same::Named},
    {"a report file that links to the input", "x.pdb", "complex.pdb", Same::Symlink},
    {"a report file that is a hard link of the input", "x.pdb", "view.pml", Same::HardLink},
    {"summary.json as the input", "summary.json", "summary.json", Same::Named},
    {"the same name in another directory", "complex.pdb", "complex.pdb", Same::Apart},
};

void PrintTo(const InputCase& c, std::ostream* os) { *os << c.what; }

class ViewInputTest : public ::testing::TestWithParam<InputCase> {};

TEST_P(ViewInputTest, AReportFileThatIsTheInputIsRefused) {
    const InputCase& c = GetParam();
    testutil::ScratchDir scratch;
    fs::create_directories("out");
    fs::create_directories("in");
    const fs::path input = (c.same == Same::Apart ? "in/" : "out/") + std::string(c.input);
    fs::copy_file(kData / "1ycr.pdb", input);
    if (c.same == Same::Symlink) fs::create_symlink(fs::absolute(input), fs::path("out") / c.report);
    if (c.same == Same::HardLink) fs::create_hard_link(input, fs::path("out") / c.report);
    const std::string before = readText(input);

    const e2e::RunResult run =
        e2e::runKavZur(scratch.work(), {input.string(), KAVZUR_ENGINE_DIR, "out"});
    EXPECT_EQ(readText(input), before);
    if (c.same == Same::Apart) {
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(fs::is_regular_file(fs::path("out") / "summary.json"));
        return;
    }
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(std::string("out/") + c.report + " is the structure file"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("would overwrite it"), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(Inputs, ViewInputTest, ::testing::ValuesIn(kInputs));

// Signals whose default ends the program, from outside.
class ViewSignalTest : public ::testing::TestWithParam<int> {};

TEST_P(ViewSignalTest, KilledWhileItsEngineRunsLeavesNoScratchDirectory) {
    const int signal = GetParam();
    testutil::ScratchDir scratch;
    fs::create_directories("tmp");
    fs::create_directories("requests");
    std::ofstream("requests/TEMP.hang") << "skip=0 seconds=60\n";
    const e2e::Started started = e2e::startKavZur(
        scratch.work(), {(kData / "1ycr.pdb").string(), KAVZUR_FLAKY_ENGINE_DIR, "out"},
        {{"TMPDIR", (scratch.work() / "tmp").string()},
         {"KAVZUR_FAKE_REQUESTS", (scratch.work() / "requests").string()}},
        scratch.parent());
    pid_t engine = 0;
    for (int i = 0; i < 6000 && engine <= 0; ++i) {
        std::ifstream in("requests/TEMP.hanging");
        if (!(in >> engine)) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_GT(engine, 0);
    EXPECT_EQ(testutil::listDir("tmp").size(), 1u);  // its scratch directory
    kill(started.pid, signal);
    const e2e::RunResult run = e2e::finishKavZur(started);
    EXPECT_EQ(run.signal, signal);
    EXPECT_EQ(testutil::listDir("tmp"), std::vector<std::string>{});
    for (int i = 0; i < 100 && kill(engine, 0) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_NE(kill(engine, 0), 0) << "the engine still runs";
}

INSTANTIATE_TEST_SUITE_P(Signals, ViewSignalTest,
                         ::testing::Values(SIGTERM, SIGINT, SIGQUIT, SIGXFSZ, SIGUSR1, SIGRTMIN));

}  // namespace
