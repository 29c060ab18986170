// Engines that misbehave, run through the real program: the bundled engine
// behind the test engine's misbehaviours (tests/tools/fake_accall.cpp). Three
// copies of 1ycr are scored; the second one meets the misbehaving run and
// must end in its message, never in a crash, a wait without end, a partial
// line or a lost line of the others.
#include "records/score_file.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testutil::readText;
using testutil::writeText;

const std::string kEngine = KAVZUR_FLAKY_ENGINE_DIR;
// What follows "Working on ../s/1ycr.pdb." (its blank included) when 1ycr is split.
const std::string kSplit =
    "  Subunit one contains 705 atoms and Subunit two contains 113 atoms.\n";
const std::string kWorking = "Working on ../s/1ycr.pdb." + kSplit;
const std::string kProblem = "\nProblem in NACEESS program ... exiting\n";
const std::string kError = "Error in PDB file ... ../s/1ycr.pdb\n";
const std::string kPackingProblem =
    "\nProblem in NACEESS program in computing interface packing ... KAV will be wrong\n";

std::string stopped(const char* how) { return "\n" + kEngine + "/accall " + how; }

enum class Line { Kept, None, NoPacking, PackingNotANumber };

struct EngineCase {
    const char* what;
    const char* file;     // the misbehaviour file in the working directory
    const char* request;  // its words; skip=N lets the first structure's runs through
    const char* timeout;  // KAV_ZUR_ENGINE_TIMEOUT
    std::string message;  // what the second structure prints after "Working on ../s/1ycr.pdb."
    Line line;            // the second structure's score line
};

const EngineCase kCases[] = {
    {"the first run aborts", "TEMP.crash", "skip=1", "",
     " " + stopped("ended by signal 6") + kProblem, Line::None},
    {"the complex run dies by SIGSEGV", "Complex.crash", "skip=1 SEGV", "",
     kSplit + stopped("ended by signal 11") + kProblem + kError, Line::None},
    {"a subunit run hangs past the time limit", "ComplexA.hang", "skip=1 seconds=60", "1",
     kSplit + stopped("ran longer than 1 s and was stopped") + kProblem + kError,
     Line::None},
    {"a slow run within the time limit is waited for", "TEMP.hang", "skip=1 seconds=0.5", "",
     kSplit, Line::Kept},
    {"the first run writes a garbage log", "TEMP.garbage", "skip=1 log", "", " " + kProblem,
     Line::None},
    {"the first run writes a garbage area file", "TEMP.garbage", "skip=1", "",
     "  Subunit one contains 1 atoms and Subunit two contains 0 atoms.\n" + kProblem + kError,
     Line::None},
    {"the complex run writes a garbage area file", "Complex.garbage", "skip=1", "",
     kSplit + kError, Line::None},
    {"a subunit run writes a garbage area file", "ComplexB.garbage", "skip=1", "",
     kSplit + kError, Line::None},
    {"the packing run aborts", "ComplexP.crash", "skip=1", "",
     kSplit + stopped("ended by signal 6") + kPackingProblem, Line::NoPacking},
    {"the packing run hangs past the time limit", "ComplexP.hang", "skip=1 seconds=60", "1",
     kSplit + stopped("ran longer than 1 s and was stopped") + kPackingProblem,
     Line::NoPacking},
    {"the packing run leaves no area file", "ComplexP.noasa", "skip=1", "",
     kSplit + kPackingProblem, Line::NoPacking},
    {"a subunit run is refused", "ComplexA.refuse", "skip=1", "",
     kSplit + kProblem + " accall: ERROR: ComplexA.pdb, refused on request\n" + kError,
     Line::None},
    {"the packing run is refused", "ComplexP.refuse", "skip=1", "",
     kSplit + kPackingProblem + " accall: ERROR: ComplexP.pdb, refused on request\n",
     Line::NoPacking},
    // No packing atom is read: the packing ratio is 0/0, printed as such.
    {"the packing run writes a garbage area file", "ComplexP.garbage", "skip=1", "", kSplit,
     Line::PackingNotANumber},
};

void PrintTo(const EngineCase& c, std::ostream* os) { *os << c.what; }

class EngineTest : public ::testing::TestWithParam<EngineCase> {};

TEST_P(EngineTest, TheStructureEndsInItsMessage) {
    const EngineCase& c = GetParam();
    testutil::ScratchDir scratch;
    fs::create_directory(scratch.parent() / "s");
    fs::copy_file(fs::path(KAVZUR_SOURCE_DIR) / "tests/data/1ycr.pdb",
                  scratch.parent() / "s/1ycr.pdb");
    writeText("pdblist", "1ycr.pdb\n1ycr.pdb\n1ycr.pdb\n");
    writeText(c.file, c.request);

    const auto start = std::chrono::steady_clock::now();
    const e2e::RunResult run = e2e::runKavZur(scratch.work(), {"../s", kEngine},
                                              {{"KAV_ZUR_ENGINE_TIMEOUT", c.timeout}});
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    e2e::expectSameLines(run.out,
                         kWorking + "Working on ../s/1ycr.pdb." + c.message + kWorking +
                             "\nFinished\n",
                         "console");
    // The other two lines are the same, whatever happened in between.
    const std::vector<std::string> lines = e2e::splitLines(readText(kScoreFileName));
    const std::size_t header = e2e::splitLines(scoreHeader()).size();
    ASSERT_GE(lines.size(), header + 2) << readText(kScoreFileName);
    const std::string good = lines[header];
    EXPECT_EQ(good.rfind("1ycr.pdb\t", 0), 0u) << good;
    std::string middle;
    if (c.line == Line::Kept) middle = good;
    if (c.line == Line::NoPacking || c.line == Line::PackingNotANumber) {
        // Area and ZUr as before; KAV 0, or 0/0 as this C library prints it.
        volatile double zero = 0.0;
        char kavText[32];
        std::snprintf(kavText, sizeof kavText, "%18.6f",
                      c.line == Line::NoPacking ? 0.0 : static_cast<double>(
                                                             static_cast<float>(zero / zero)));
        const std::size_t kav = good.find('\t', good.find('\t') + 1);
        middle = good.substr(0, kav) + "\t" + kavText + good.substr(good.find('\t', kav + 1));
    }
    e2e::expectSameLines(readText(kScoreFileName), scoreHeader() + good + middle + good,
                         kScoreFileName);
    // Everything is cleaned up, the misbehaviour file included.
    EXPECT_EQ(testutil::listDir(), (std::vector<std::string>{kScoreFileName, "pdblist"}));
    // A hanging engine is stopped long before it would have ended by itself.
    if (std::string(c.request).find("seconds=60") != std::string::npos) {
        EXPECT_LT(seconds, 30.0);
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, EngineTest, ::testing::ValuesIn(kCases));

// Ctrl-C, kill or a closed terminal while the engine runs: the engine (in a
// process group of its own, which the terminal does not reach) is stopped
// first, then the signal ends kav_zur as usual; the lines already written stay.
TEST(EngineSignals, ASignalStopsTheEngineToo) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        testutil::ScratchDir scratch;
        fs::create_directory(scratch.parent() / "s");
        fs::copy_file(fs::path(KAVZUR_SOURCE_DIR) / "tests/data/1ycr.pdb",
                      scratch.parent() / "s/1ycr.pdb");
        writeText("pdblist", "1ycr.pdb\n1ycr.pdb\n");
        writeText("ComplexA.hang", "skip=1 seconds=60");

        const e2e::Started started = e2e::startKavZur(scratch.work(), {"../s", kEngine});
        // The engine tells its process id once it hangs.
        pid_t engine = 0;
        for (int i = 0; i < 3000 && engine == 0; ++i) {
            engine = std::atoi(readText("ComplexA.hanging").c_str());
            if (engine == 0) usleep(10000);
        }
        ASSERT_GT(engine, 0) << "the engine never hung";
        kill(started.pid, signal);
        const e2e::RunResult run = e2e::finishKavZur(started);

        EXPECT_EQ(run.signal, signal);
        EXPECT_EQ(kill(engine, 0), -1) << "the engine still runs";
        EXPECT_EQ(run.out, kWorking + "Working on ../s/1ycr.pdb." + kSplit);
        const std::vector<std::string> lines = e2e::splitLines(readText(kScoreFileName));
        ASSERT_EQ(lines.size(), e2e::splitLines(scoreHeader()).size() + 1);
        EXPECT_EQ(lines.back().rfind("1ycr.pdb\t", 0), 0u);
    }
}

// 1ycr in ../s beside the scratch working directory.
void copy1ycr(const testutil::ScratchDir& scratch) {
    fs::create_directory(scratch.parent() / "s");
    fs::copy_file(fs::path(KAVZUR_SOURCE_DIR) / "tests/data/1ycr.pdb",
                  scratch.parent() / "s/1ycr.pdb");
}

// Signals while the engine runs. One that ends kav_zur ends the engine too
// (relayed to its group, or, for SIGKILL, through the death of its parent)
// and, when kav_zur can still act, the working files go; one inherited as
// ignored stays ignored and the run goes on to its end.
TEST(EngineSignals, EachSignalEndsTheRunWithTheEngineOrStaysIgnored) {
    struct Case {
        int signal;
        bool ignored;
    };
    const Case cases[] = {{SIGQUIT, false}, {SIGUSR1, false}, {SIGKILL, false},
                          {SIGHUP, true},   {SIGINT, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.signal);
        testutil::ScratchDir scratch;
        copy1ycr(scratch);
        writeText("pdblist", "1ycr.pdb\n1ycr.pdb\n");
        writeText("ComplexA.hang", c.ignored ? "skip=1 seconds=1" : "skip=1 seconds=60");
        std::vector<int> ignored;
        if (c.ignored) ignored.push_back(c.signal);

        const e2e::Started started = e2e::startKavZur(scratch.work(), {"../s", kEngine}, {}, {},
                                                      ignored);
        pid_t engine = 0;
        for (int i = 0; i < 3000 && engine == 0; ++i) {
            engine = std::atoi(readText("ComplexA.hanging").c_str());
            if (engine == 0) usleep(10000);
        }
        ASSERT_GT(engine, 0) << "the engine never hung";
        kill(started.pid, c.signal);
        const e2e::RunResult run = e2e::finishKavZur(started);
        const std::size_t header = e2e::splitLines(scoreHeader()).size();

        if (c.ignored) {
            EXPECT_EQ(run.status, 0);
            EXPECT_EQ(run.out, kWorking + kWorking + "\nFinished\n");
            EXPECT_EQ(e2e::splitLines(readText(kScoreFileName)).size(), header + 2);
            continue;
        }
        EXPECT_EQ(run.signal, c.signal);
        // The engine may take a moment to be reaped by init after its parent's death.
        bool gone = false;
        for (int i = 0; i < 500 && !gone; ++i) {
            gone = kill(engine, 0) != 0 || readText("/proc/" + std::to_string(engine) + "/stat")
                                                   .find(") Z") != std::string::npos;
            if (!gone) usleep(10000);
        }
        EXPECT_TRUE(gone) << "the engine outlived kav_zur";
        EXPECT_EQ(e2e::splitLines(readText(kScoreFileName)).size(), header + 1);
        if (c.signal != SIGKILL) {
            EXPECT_EQ(testutil::listDir(),
                      (std::vector<std::string>{kScoreFileName, "pdblist"}));
        }
    }
}

// A parent that ignores SIGCHLD (some launchers and daemons do) hands that on:
// the engine runs are still waited for, without spinning to the time limit.
TEST(EngineSignals, AnInheritedIgnoredSigchldChangesNothing) {
    testutil::ScratchDir scratch;
    copy1ycr(scratch);
    writeText("pdblist", "1ycr.pdb\n");
    const auto start = std::chrono::steady_clock::now();
    const e2e::RunResult run = e2e::runKavZur(scratch.work(), {"../s", kEngine},
                                              {{"KAV_ZUR_ENGINE_TIMEOUT", "20"}}, {}, {SIGCHLD});
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, kWorking + "\nFinished\n");
    EXPECT_EQ(e2e::splitLines(readText(kScoreFileName)).size(),
              e2e::splitLines(scoreHeader()).size() + 1);
    EXPECT_LT(seconds, 15.0);
}

// The engine is handed standard input, output and error, and nothing else:
// neither pdblist nor the score file being written.
TEST(EngineRuns, NoFileOfTheProgramReachesTheEngine) {
    testutil::ScratchDir scratch;
    copy1ycr(scratch);
    writeText("pdblist", "1ycr.pdb\n");
    writeText("Complex.fds", "");
    const e2e::RunResult run = e2e::runKavZur(scratch.work(), {"../s", kEngine});
    EXPECT_EQ(run.status, 0);
    ASSERT_TRUE(fs::exists("open-descriptors")) << "the engine did not look";
    EXPECT_EQ(readText("open-descriptors"), "");
}

// The bundled engine's data files are read when the run starts, whichever
// way its accall runs: a radius that cannot be read stops the run before any
// structure, exit 1, with one message naming the file and the line.
struct DataCase {
    const char* what;
    std::vector<std::string> options;
    const char* file;      // the data file spoilt
    std::string from, to;  // the text changed in it
    std::string problem;   // after "<dir>/<file>, "
};

const DataCase kData[] = {
    {"a radius of nan, in process", {}, "vdw.radii", "ATOM CA   1.87 0", "ATOM CA   nan  0",
     "line 7: ATOM line needs an atom name in columns 6-9 and a radius from 0 to 100 in columns "
     "11-14"},
    {"a radius of nan, as a program", {"--engine", "program"}, "vdw.radii", "ATOM CA   1.87 0",
     "ATOM CA   nan  0",
     "line 7: ATOM line needs an atom name in columns 6-9 and a radius from 0 to 100 in columns "
     "11-14"},
};

void PrintTo(const DataCase& c, std::ostream* os) { *os << c.what; }

class EngineDataTest : public ::testing::TestWithParam<DataCase> {};

TEST_P(EngineDataTest, AnUnreadableFileStopsTheRunInEitherMode) {
    const DataCase& c = GetParam();
    testutil::ScratchDir scratch;
    const fs::path engine = scratch.parent() / "naccess";
    fs::copy(KAVZUR_ENGINE_DIR, engine, fs::copy_options::recursive);
    std::string text = readText(engine / c.file);
    const std::size_t at = text.find(c.from);
    ASSERT_NE(at, std::string::npos);
    writeText(engine / c.file, text.replace(at, c.from.size(), c.to));
    fs::create_directory(scratch.parent() / "s");
    fs::copy_file(fs::path(KAVZUR_SOURCE_DIR) / "tests/data/1ycr.pdb", scratch.parent() / "s/1ycr.pdb");
    writeText("pdblist", "1ycr.pdb\n");
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"../s", "../naccess"});
    const e2e::RunResult run = e2e::runKavZur(scratch.work(), args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "\nError in NACCESS directory: ../naccess/" + std::string(c.file) + ", " +
                           c.problem + ". !!!\n");
    EXPECT_FALSE(fs::exists(kScoreFileName));
}

INSTANTIATE_TEST_SUITE_P(Engines, EngineDataTest, ::testing::ValuesIn(kData));

}  // namespace
