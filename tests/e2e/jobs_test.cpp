// Many structures at a time (-j), the record of a run (--details) and going
// on after an interruption (--resume), through the real program with the
// bundled engine; the golden files of one-process runs are the oracle.
#include "records/score_file.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testutil::readText;
using testutil::writeText;

const fs::path kSource = KAVZUR_SOURCE_DIR;
const fs::path kGolden = kSource / "tests/e2e/golden";
const std::string kEngine = KAVZUR_FLAKY_ENGINE_DIR;
const std::vector<std::string> kExamples = {"1hpv.pdb", "1ycr.pdb", "3ub5.pdb",
                                            "4hhb.pdb", "1a0q.pdb", "7ddo.pdb"};

using Env = std::vector<std::pair<std::string, std::string>>;

// A scratch directory laid out like the golden runs: ../structures, pdblist,
// and ../requests for the test engine's misbehaviours.
struct Layout {
    testutil::ScratchDir scratch;
    fs::path requests = scratch.parent() / "requests";
    explicit Layout(const char* structures, const char* list, bool copy = false) {
        if (copy)
            fs::copy(kSource / structures, scratch.parent() / "structures",
                     fs::copy_options::recursive);
        else
            fs::create_directory_symlink(kSource / structures, scratch.parent() / "structures");
        fs::copy_file(kSource / list, "pdblist");
        fs::create_directory(requests);
    }
    Env env() const { return {{"KAVZUR_FAKE_REQUESTS", requests.string()}}; }
};

std::vector<std::string> args(std::vector<std::string> options) {
    options.push_back("../structures");
    options.push_back(kEngine);
    return options;
}

// The details file without its last column (seconds), which no two runs share.
std::string withoutSeconds(const std::string& details) {
    std::string out;
    for (const std::string& row : e2e::splitLines(details)) out += row.substr(0, row.rfind('\t')) + "\n";
    return out;
}

// The status column of each row after the header.
std::vector<std::string> statuses(const std::string& details) {
    std::vector<std::string> codes;
    const std::vector<std::string> rows = e2e::splitLines(details);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const std::size_t a = rows[i].find('\t'), b = rows[i].find('\t', a + 1);
        codes.push_back(rows[i].substr(b + 1, rows[i].find('\t', b + 1) - b - 1));
    }
    return codes;
}

// Waits up to 60 s for `path` to hold a process id.
pid_t waitForPid(const fs::path& path) {
    for (int i = 0; i < 6000; ++i) {
        std::ifstream in(path);
        pid_t pid = 0;
        if (in >> pid && pid > 0) return pid;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

pid_t parentOf(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // pid (comm) state ppid: comm may hold blanks, so read after its ')'.
    std::istringstream rest(text.substr(text.rfind(')') + 1));
    std::string state;
    pid_t parent = -1;
    rest >> state >> parent;
    return parent;
}

// kav_zur started in a process group of its own, so that the whole group
// can be killed as a batch system or a user would.
e2e::Started startInGroup(const fs::path& dir, std::vector<std::string> argv, const Env& env) {
    argv.insert(argv.begin(), KAVZUR_BINARY);
    std::vector<char*> raw;
    for (std::string& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    e2e::Started started{-1, dir.parent_path() / "stdout.txt", dir.parent_path() / "stderr.txt"};
    started.pid = fork();
    if (started.pid == 0) {
        setpgid(0, 0);
        if (!freopen(started.outPath.c_str(), "w", stdout) ||
            !freopen(started.errPath.c_str(), "w", stderr) || chdir(dir.c_str()) != 0)
            _exit(127);
        for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
        execv(raw[0], raw.data());
        _exit(127);
    }
    setpgid(started.pid, started.pid);
    return started;
}

// Kills every process working under `dir`, as a batch system that ends a
// job kills all of it: the engines run in process groups of their own.
void killEverythingUnder(const fs::path& dir) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(name) == getpid())
            continue;
        const fs::path cwd = fs::read_symlink(entry.path() / "cwd", ec);
        if (!ec && cwd.string().rfind(dir.string(), 0) == 0) kill(std::stoi(name), SIGKILL);
    }
}

std::string goldenScores(const char* name) {
    return readText(kGolden / (std::string(name) + ".scores.txt"));
}

// --- -j N prints and writes what one process does ----------------------------

struct GoldenCase {
    const char* name;
    const char* structures;
    const char* list;
};
const GoldenCase kGoldenCases[] = {{"examples", "examples", "examples/pdblist"},
                                   {"edge", "tests/data", "tests/e2e/edge.pdblist"}};
void PrintTo(const GoldenCase& c, std::ostream* os) { *os << c.name; }

class JobsGoldenTest : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(JobsGoldenTest, TwoWorkersGiveTheGoldenFiles) {
    const GoldenCase& c = GetParam();
    Layout layout(c.structures, c.list);
    const e2e::RunResult run =
        e2e::runKavZur(layout.scratch.work(), {"-j", "2", "../structures", KAVZUR_ENGINE_DIR});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(testutil::listDir(), (std::vector<std::string>{kScoreFileName, "pdblist"}));
    e2e::expectSameLines(readText(kScoreFileName), goldenScores(c.name), "scores");
    e2e::expectSameLines(run.out, readText(kGolden / (std::string(c.name) + ".out.txt")),
                         "console");
}

INSTANTIATE_TEST_SUITE_P(Runs, JobsGoldenTest, ::testing::ValuesIn(kGoldenCases));

// --- the record of a run ------------------------------------------------------

TEST(Details, ARowForEveryEntryWhateverTheWorkers) {
    Layout layout("tests/data", "tests/e2e/edge.pdblist");
    // Two more entries: one missing, one whose first engine run crashes.
    {
        std::ofstream list("pdblist", std::ios::app);
        list << "missing.pdb\n1ycr.pdb\n";
    }
    std::string details[2];
    for (int run = 0; run < 2; ++run) {
        writeText(layout.requests / "TEMP.crash", "skip=9\n");  // the tenth entry's run
        const char* jobs = run == 0 ? "1" : "2";
        const e2e::RunResult r =
            e2e::runKavZur(layout.scratch.work(),
                           args({"-j", jobs, "--details", "run.tsv"}), layout.env());
        EXPECT_EQ(r.status, 0) << "-j " << jobs;
        details[run] = readText("run.tsv");
    }
    // One worker's run of the tenth engine run is the last entry's. With two,
    // it is that of whichever of the last two entries with runs started its
    // run later: the rows are the same but for those two, one of which failed.
    const std::vector<std::string> one = e2e::splitLines(withoutSeconds(details[0])),
                                   two = e2e::splitLines(withoutSeconds(details[1]));
    ASSERT_EQ(two.size(), one.size());
    for (std::size_t i = 0; i < one.size(); ++i) {
        if (i != 9 && i != 11) {
            EXPECT_EQ(two[i], one[i]) << "row " << i;
        }
    }
    const std::vector<std::string> two_statuses = statuses(details[1]);
    const std::vector<std::string> last = {two_statuses[8], two_statuses[10]};
    if (last[0] == "scored") {
        EXPECT_EQ(two[9], one[9]);
        EXPECT_EQ(two[11], one[11]);
    } else {
        EXPECT_EQ(last, (std::vector<std::string>{"engine_failed", "scored"}));
    }
    EXPECT_EQ(statuses(details[0]),
              (std::vector<std::string>{"one_chain", "no_frame", "too_small", "scored",
                                        "no_frame", "scored", "scored", "blank_chain",
                                        "scored", "no_file", "engine_failed"}));
    // The score file's KAV and ZUr are the record's numbers, rounded.
    const std::vector<std::string> rows = e2e::splitLines(details[0]);
    EXPECT_EQ(rows[0].substr(0, 18), "name\tsides\tstatus\t");
    EXPECT_NE(rows[4].find("1ake.pdb\t"), std::string::npos);
    EXPECT_NE(rows[4].find("\t0.00157"), std::string::npos) << rows[4];
}

TEST(Details, AFileThatCannotBeWrittenStopsTheRunBeforeAnyWork) {
    Layout layout("examples", "examples/pdblist");
    writeText(kScoreFileName, "an earlier run\n");
    for (const char* path : {"no/such/dir/run.tsv", ".", "pdblist"}) {
        const e2e::RunResult r =
            e2e::runKavZur(layout.scratch.work(), args({"--details", path, "-j", "2"}));
        EXPECT_EQ(r.status, 1) << path;
        EXPECT_EQ(r.out, "") << path;
        EXPECT_NE(r.err.find(path), std::string::npos) << r.err;
        EXPECT_EQ(readText(kScoreFileName), "an earlier run\n");
        EXPECT_EQ(testutil::listDir(), (std::vector<std::string>{kScoreFileName, "pdblist"}));
    }
}

// Directories made below `top` until its path is `size` bytes long.
fs::path deepDirectory(fs::path top, std::size_t size) {
    while (top.string().size() < size) {
        const std::size_t left = size - top.string().size() - 1;
        // Halves on the way, so that the last component is never empty.
        top /= std::string(left <= 200 ? left : left < 400 ? left / 2 : 200, 'd');
    }
    fs::create_directories(top);
    return top;
}

// Runs under working directories of long paths: -j 2 gives what -j 1 gives,
// or is refused before it touches a file where a worker's paths would be
// longer than the system allows.
TEST(Jobs, ALongWorkingDirectoryPathGivesTheSameRunOrARefusal) {
    const struct {
        const char* what;
        std::size_t cwdSize;
        std::size_t entrySize;  // an entry's path below the working directory; 0: none
        bool refused;
    } cases[] = {{"a path of 2000 bytes", 2000, 0, false},
                 {"a path of 4080 bytes", 4080, 0, true},
                 {"a path of 2000 bytes, an entry of 2200 below it", 2000, 2200, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testutil::ScratchDir scratch;
        fs::create_directory(scratch.parent() / "s");
        fs::copy_file(kSource / "examples/1ycr.pdb", scratch.parent() / "s/1ycr.pdb");
        const fs::path cwd = deepDirectory(scratch.work(), c.cwdSize);
        fs::current_path(cwd);
        std::string structures = (scratch.parent() / "s").string(), entry = "1ycr.pdb";
        if (c.entrySize > 0) {  // made from here: its absolute path is too long for the system
            const fs::path below = deepDirectory("e", c.entrySize - entry.size() - 1);
            fs::copy_file(kSource / "examples/1ycr.pdb", below / entry);
            structures = ".";
            entry = (below / entry).string();
        }
        writeText("pdblist", entry + "\n");
        const std::vector<std::string> names = testutil::listDir();
        const std::vector<std::string> options = {structures, kEngine};
        std::vector<std::string> withJobs = options;
        withJobs.insert(withJobs.begin(), {"-j", "2"});
        const e2e::RunResult jobs = e2e::runKavZur(cwd, withJobs, {}, scratch.parent());
        const std::string jobsScores = readText(kScoreFileName);
        fs::remove(kScoreFileName);
        const e2e::RunResult one = e2e::runKavZur(cwd, options, {}, scratch.parent());
        EXPECT_EQ(one.status, 0);
        EXPECT_NE(readText(kScoreFileName).find("1ycr.pdb\t"), std::string::npos) << one.out;
        if (c.refused) {
            EXPECT_EQ(jobs.status, 1);
            EXPECT_EQ(jobs.out, "");
            EXPECT_NE(jobs.err.find("kav_zur: -j 2: "), std::string::npos) << jobs.err;
            EXPECT_NE(jobs.err.find("more than the system allows"), std::string::npos) << jobs.err;
            EXPECT_EQ(jobsScores, "<missing>");
        } else {
            EXPECT_EQ(jobs.status, 0) << jobs.err;
            EXPECT_EQ(jobs.out, one.out);
            EXPECT_EQ(jobsScores, readText(kScoreFileName));
        }
        fs::remove(kScoreFileName);
        EXPECT_EQ(testutil::listDir(), names);
        // Removed from here: the whole path is too long for the system.
        fs::remove_all("e");
    }
}

// --- workers that die, runs that are stopped ----------------------------------

TEST(Jobs, AWorkerKilledMidStructureCostsOnlyItsStructure) {
    Layout layout("examples", "examples/pdblist");
    // The third engine run of the copies hangs, and its worker is killed.
    // Which entry that is depends on how fast each worker got going (3ub5
    // when both started at once): the copy the engine was given tells.
    writeText(layout.requests / "TEMP.hang", "skip=2 seconds=60\n");
    const e2e::Started started = e2e::startKavZur(
        layout.scratch.work(), args({"-j", "2", "--details", "run.tsv"}), layout.env());
    const pid_t engine = waitForPid(layout.requests / "TEMP.hanging");
    ASSERT_GT(engine, 0);
    const pid_t worker = parentOf(engine);
    ASSERT_GT(worker, 0);
    ASSERT_NE(worker, started.pid);
    const std::string copy = readText("/proc/" + std::to_string(engine) + "/cwd/TEMP.pdb");
    std::size_t hung = 0;
    while (hung < kExamples.size() && readText(kSource / "examples" / kExamples[hung]) != copy)
        ++hung;
    ASSERT_LT(hung, kExamples.size()) << "the hanging engine's copy is no example's";
    kill(worker, SIGKILL);
    kill(engine, SIGKILL);
    const e2e::RunResult run = e2e::finishKavZur(started);
    EXPECT_EQ(run.status, 0);
    const std::string& name = kExamples[hung];
    std::string expected = goldenScores("examples");
    const std::size_t at = expected.find(name + "\t");
    expected.erase(at, expected.find('\n', at) + 1 - at);
    EXPECT_EQ(readText(kScoreFileName), expected);
    std::vector<std::string> codes(kExamples.size(), "scored");
    codes[hung] = "worker_died";
    EXPECT_EQ(statuses(readText("run.tsv")), codes);
    const std::string next =
        hung + 1 < kExamples.size() ? "Working on ../structures/" + kExamples[hung + 1] : "";
    EXPECT_NE(run.out.find("Working on ../structures/" + name + ". \nThe worker process scoring "
                           "../structures/" + name + " ended by signal 9 ... skipped\n" + next),
              std::string::npos)
        << run.out;
    EXPECT_EQ(testutil::listDir(),
              (std::vector<std::string>{kScoreFileName, "pdblist", "run.tsv"}));
}

struct StopCase {
    const char* what;
    int signal;
    bool group;  // to the whole process group (a terminal's Ctrl-C), or kav_zur alone
};
const StopCase kStops[] = {{"Ctrl-C", SIGINT, true},
                           {"kill of kav_zur alone", SIGTERM, false},
                           {"a closed terminal", SIGHUP, false}};
void PrintTo(const StopCase& c, std::ostream* os) { *os << c.what; }

class StopTest : public ::testing::TestWithParam<StopCase> {};

TEST_P(StopTest, EndsEveryWorkerAndEngineAndKeepsEveryLine) {
    const StopCase& c = GetParam();
    Layout layout("examples", "examples/pdblist");
    writeText(layout.requests / "TEMP.hang", "skip=3 seconds=60\n");
    const e2e::Started started =
        startInGroup(layout.scratch.work(), args({"-j", "2"}), layout.env());
    const pid_t engine = waitForPid(layout.requests / "TEMP.hanging");
    ASSERT_GT(engine, 0);
    kill(c.group ? -started.pid : started.pid, c.signal);
    const e2e::RunResult run = e2e::finishKavZur(started);
    EXPECT_EQ(run.signal, c.signal);
    // The engine, in a group of its own, was stopped by its worker.
    for (int i = 0; i < 100 && kill(engine, 0) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_NE(kill(engine, 0), 0) << "the engine still runs";
    const std::string scores = readText(kScoreFileName);
    EXPECT_EQ(goldenScores("examples").compare(0, scores.size(), scores), 0) << scores;
    EXPECT_GE(e2e::splitLines(scores).size(), 4u + 1u);  // at least 1hpv's line
    EXPECT_EQ(testutil::listDir(), (std::vector<std::string>{kScoreFileName, "pdblist"}));
}

INSTANTIATE_TEST_SUITE_P(Signals, StopTest, ::testing::ValuesIn(kStops));

// A process gone, or left only as a zombie for whoever adopted it.
bool ended(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    if (text.empty()) return true;
    std::istringstream rest(text.substr(text.rfind(')') + 1));
    std::string state;
    rest >> state;
    return state == "Z" || state == "X";
}

// kav_zur -j 2 killed with kill -9 under its workers: each worker and its
// engine end too, whatever stop signals the run was started ignoring (a job
// script's trap '' TERM, nohup).
TEST(Jobs, AWorkerAndItsEngineEndWithAKilledRun) {
    const struct {
        const char* what;
        std::vector<int> ignored;
    } cases[] = {{"nothing ignored", {}},
                 {"SIGTERM ignored", {SIGTERM}},
                 {"SIGTERM, SIGHUP and SIGINT ignored", {SIGTERM, SIGHUP, SIGINT}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Layout layout("examples", "examples/pdblist");
        writeText(layout.requests / "TEMP.hang", "skip=0 seconds=60\n");
        const e2e::Started started = e2e::startKavZur(layout.scratch.work(), args({"-j", "2"}),
                                                      layout.env(), {}, c.ignored);
        const pid_t engine = waitForPid(layout.requests / "TEMP.hanging");
        ASSERT_GT(engine, 0);
        const pid_t worker = parentOf(engine);
        ASSERT_NE(worker, started.pid);
        kill(started.pid, SIGKILL);
        EXPECT_EQ(e2e::finishKavZur(started).signal, SIGKILL);
        for (int i = 0; i < 250 && !(ended(worker) && ended(engine)); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_TRUE(ended(worker)) << "the worker still runs";
        EXPECT_TRUE(ended(engine)) << "the engine still runs";
        killEverythingUnder(layout.scratch.parent());
    }
}

TEST(Jobs, AVanishingStructureDirectoryLosesNoLine) {
    Layout layout("examples", "examples/pdblist", /*copy=*/true);
    writeText(layout.requests / "TEMP.hang", "skip=2 seconds=1\n");
    const e2e::Started started = e2e::startKavZur(
        layout.scratch.work(), args({"-j", "2", "--details", "run.tsv"}), layout.env());
    ASSERT_GT(waitForPid(layout.requests / "TEMP.hanging"), 0);
    fs::remove_all(layout.scratch.parent() / "structures");
    const e2e::RunResult run = e2e::finishKavZur(started);
    EXPECT_EQ(run.status, 0);
    const std::vector<std::string> golden = e2e::splitLines(goldenScores("examples"));
    const std::vector<std::string> lines = e2e::splitLines(readText(kScoreFileName));
    // 1hpv, 1ycr and the hanging 3ub5 were copied before the directory went.
    ASSERT_GE(lines.size(), 7u);
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i], golden[i]);
    const std::vector<std::string> codes = statuses(readText("run.tsv"));
    ASSERT_EQ(codes.size(), 6u);
    EXPECT_EQ(codes[4], "no_file");
    EXPECT_EQ(codes[5], "no_file");
}

// --- going on after a kill -9 ---------------------------------------------------

struct KillCase {
    const char* jobs;
    int engineRuns;  // TEMP runs let through before the one during which all is killed
};
const KillCase kKills[] = {{"1", 0}, {"1", 3}, {"1", 5}, {"2", 1}, {"2", 4}};
void PrintTo(const KillCase& c, std::ostream* os) {
    *os << "-j " << c.jobs << ", killed in run " << c.engineRuns + 1;
}

class ResumeAfterKillTest : public ::testing::TestWithParam<KillCase> {};

TEST_P(ResumeAfterKillTest, EndsWithTheFilesOfAnUninterruptedRun) {
    const KillCase& c = GetParam();
    Layout layout("examples", "examples/pdblist");
    const std::vector<std::string> options = {"-j", c.jobs, "--details", "run.tsv", "--resume"};
    writeText(layout.requests / "TEMP.hang",
              "skip=" + std::to_string(c.engineRuns) + " seconds=60\n");
    const e2e::Started started = startInGroup(layout.scratch.work(), args(options), layout.env());
    const pid_t engine = waitForPid(layout.requests / "TEMP.hanging");
    ASSERT_GT(engine, 0);
    kill(-started.pid, SIGKILL);
    kill(engine, SIGKILL);
    killEverythingUnder(layout.scratch.parent());
    e2e::finishKavZur(started);

    const e2e::RunResult resumed =
        e2e::runKavZur(layout.scratch.work(), args(options), layout.env());
    EXPECT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_EQ(readText(kScoreFileName), goldenScores("examples"));
    const std::string details = readText("run.tsv");
    EXPECT_EQ(statuses(details), std::vector<std::string>(6, "scored"));
    // Each row once, in list order.
    const std::vector<std::string> rows = e2e::splitLines(details);
    ASSERT_EQ(rows.size(), 7u);
    for (std::size_t i = 0; i < kExamples.size(); ++i)
        EXPECT_EQ(rows[i + 1].substr(0, kExamples[i].size() + 1), kExamples[i] + "\t");
    // What the killed run left (its workers' directories) is gone too.
    EXPECT_EQ(testutil::listDir(),
              (std::vector<std::string>{kScoreFileName, "pdblist", "run.tsv"}));
}

INSTANTIATE_TEST_SUITE_P(Kills, ResumeAfterKillTest, ::testing::ValuesIn(kKills));

TEST(Resume, FilesOfAnotherRunAreRefusedAndLeftAlone) {
    Layout layout("examples", "examples/pdblist");
    const std::string foreign = "PDBfile\tscore\n1hpv.pdb\t1\n";
    const std::string otherList = scoreHeader() + "9xyz.pdb\t   400.0\t          0.500000\t  0.250000\n";
    for (const std::string& text : {foreign, otherList}) {
        writeText(kScoreFileName, text);
        const e2e::RunResult r =
            e2e::runKavZur(layout.scratch.work(), args({"--resume", "-j", "2"}));
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("nothing was changed"), std::string::npos) << r.err;
        EXPECT_EQ(readText(kScoreFileName), text);
        EXPECT_EQ(testutil::listDir(), (std::vector<std::string>{kScoreFileName, "pdblist"}));
    }
}

}  // namespace
