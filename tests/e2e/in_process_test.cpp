// The bundled engine inside kav_zur against the same engine as a program
// (--engine program): the same bytes in every file and on the console, and a
// structure that crashes or hangs the engine in the process costs only itself,
// also to a worker that scores entry after entry.
#include "records/score_file.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testutil::readText;
using testutil::writeText;

// Every file under `dir`, by its path relative to it.
std::map<std::string, std::string> filesUnder(const fs::path& dir) {
    std::map<std::string, std::string> files;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return files;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) files[fs::relative(e.path(), dir).string()] = readText(e.path());
    return files;
}

// The details file without its seconds column (the wall time of each row).
std::string withoutSeconds(const std::string& details) {
    std::istringstream in(details);
    std::string out;
    std::size_t column = std::string::npos;  // the seconds column's number, from the header
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> cells;
        std::istringstream row(line);
        for (std::string cell; std::getline(row, cell, '\t');) cells.push_back(cell);
        if (!line.empty() && line.back() == '\t') cells.emplace_back();
        if (column == std::string::npos)
            column = std::find(cells.begin(), cells.end(), "seconds") - cells.begin();
        if (column < cells.size()) cells.erase(cells.begin() + static_cast<std::ptrdiff_t>(column));
        for (std::size_t i = 0; i < cells.size(); ++i) out += (i ? "\t" : "") + cells[i];
        out += "\n";
    }
    return out;
}

struct Outcome {
    e2e::RunResult run;
    std::string scores, details;
    std::map<std::string, std::string> report;
    std::vector<std::string> left;  // what the working directory holds after the run
};

Outcome runIn(const fs::path& work, const fs::path& list, std::vector<std::string> args,
              const std::vector<std::pair<std::string, std::string>>& env = {}) {
    fs::create_directories(work);
    fs::copy_file(list, work / "pdblist", fs::copy_options::overwrite_existing);
    args.insert(args.end(), {"--details", "run.tsv", "--report", "report", "../structures",
                             KAVZUR_ENGINE_DIR});
    const e2e::Started started = e2e::startKavZur(work, args, env);
    Outcome o{e2e::finishKavZur(started), readText(work / kScoreFileName),
              withoutSeconds(readText(work / "run.tsv")), filesUnder(work / "report"), {}};
    for (const auto& e : fs::directory_iterator(work)) o.left.push_back(e.path().filename());
    std::sort(o.left.begin(), o.left.end());
    return o;
}

struct SameCase {
    const char* what;
    const char* structures;  // in the source tree
    const char* list;        // a pdblist in the source tree, or "" for every file there
    std::vector<std::string> options;
};

const SameCase kSame[] = {
    {"examples", "examples", "examples/pdblist", {}},
    {"edge structures", "tests/data", "tests/e2e/edge.pdblist", {}},
    {"every file of tests/data", "tests/data", "", {}},
    {"every file of tests/data, every pair", "tests/data", "", {"--all-pairs"}},
    {"examples, two workers", "examples", "examples/pdblist", {"-j", "2"}},
};

void PrintTo(const SameCase& c, std::ostream* os) { *os << c.what; }

class SameBytesTest : public ::testing::TestWithParam<SameCase> {};

TEST_P(SameBytesTest, InProcessAndProgramWriteAndPrintTheSame) {
    const SameCase& c = GetParam();
    const fs::path source = KAVZUR_SOURCE_DIR;
    testutil::ScratchDir scratch;
    fs::create_directory_symlink(source / c.structures, scratch.parent() / "structures");
    fs::path list = source / c.list;
    if (!*c.list) {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(source / c.structures))
            if (e.is_regular_file() && e.path().filename() != "README.md")
                names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        std::string text;
        for (const std::string& n : names) text += n + "\n";
        list = scratch.parent() / "pdblist";
        writeText(list, text);
    }
    std::vector<std::string> program = c.options;
    program.insert(program.begin(), {"--engine", "program"});
    // Both runs give their structure directory as "../structures".
    const Outcome inside = runIn(scratch.parent() / "in", list, c.options);
    const Outcome outside = runIn(scratch.parent() / "out", list, program);

    EXPECT_EQ(inside.run.status, 0);
    EXPECT_EQ(inside.run.status, outside.run.status);
    EXPECT_EQ(inside.run.out, outside.run.out);
    EXPECT_EQ(inside.run.err, outside.run.err);
    EXPECT_EQ(inside.scores, outside.scores);
    EXPECT_EQ(inside.details, outside.details);
    EXPECT_GT(inside.report.size(), 8u);
    EXPECT_EQ(inside.report, outside.report);
    EXPECT_EQ(inside.left, outside.left);
    EXPECT_EQ(inside.left,
              (std::vector<std::string>{kScoreFileName, "pdblist", "report", "run.tsv"}));
}

INSTANTIATE_TEST_SUITE_P(Runs, SameBytesTest, ::testing::ValuesIn(kSame));

// The statuses column of a details file, row by row.
std::vector<std::string> statuses(const std::string& details) {
    std::istringstream in(details);
    std::vector<std::string> out;
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::istringstream row(line);
        std::string name, sides, status;
        std::getline(row, name, '\t');
        std::getline(row, sides, '\t');
        std::getline(row, status, '\t');
        out.push_back(status);
    }
    return out;
}

// A worker process of kav_zur `parent`: a child working in a directory of
// the run's workers (not the accall it starts once to check it), or 0.
pid_t workerOf(pid_t parent) {
    std::ifstream in("/proc/" + std::to_string(parent) + "/task/" + std::to_string(parent) +
                     "/children");
    for (pid_t child = 0; in >> child;) {
        std::error_code ec;
        const fs::path cwd = fs::read_symlink("/proc/" + std::to_string(child) + "/cwd", ec);
        if (!ec && cwd.string().find("/.kav_zur-jobs.") != std::string::npos) return child;
    }
    return 0;
}

struct FaultCase {
    const char* what;
    const char* jobs;
    bool hang;  // a time limit every engine run passes; else one worker crashes
};

const FaultCase kFaults[] = {
    {"a crash, -j 1", "1", false},
    {"a crash, -j 2", "2", false},
    {"a hang, -j 1", "1", true},
    {"a hang, -j 2", "2", true},
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.what; }

class InProcessFaultTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(InProcessFaultTest, CostsOnlyItsStructure) {
    const FaultCase& c = GetParam();
    const fs::path source = KAVZUR_SOURCE_DIR;
    testutil::ScratchDir scratch;
    fs::create_directory_symlink(source / "examples", scratch.parent() / "structures");
    // 7ddo first: its engine runs take long enough to be caught.
    writeText("pdblist", "7ddo.pdb\n1ycr.pdb\n1hpv.pdb\n");
    std::vector<std::pair<std::string, std::string>> env;
    if (c.hang) env.push_back({"KAV_ZUR_ENGINE_TIMEOUT", "0.000001"});
    // A sanitized build's own SIGSEGV handler would turn the crash into exit 1.
    const char* asan = std::getenv("ASAN_OPTIONS");
    if (!c.hang) env.push_back({"ASAN_OPTIONS", std::string(asan ? asan : "") + ":handle_segv=0"});
    const e2e::Started started = e2e::startKavZur(
        scratch.work(),
        {"-j", c.jobs, "--details", "run.tsv", "../structures", KAVZUR_ENGINE_DIR}, env);
    if (!c.hang) {
        // The worker scoring 7ddo, the first one started, crashes.
        pid_t worker = 0;
        for (int i = 0; i < 2000 && !worker; ++i) {
            worker = workerOf(started.pid);
            if (!worker) std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        ASSERT_GT(worker, 0);
        kill(worker, SIGSEGV);
    }
    const e2e::RunResult run = e2e::finishKavZur(started);
    EXPECT_EQ(run.status, 0);
    // The crash hits the worker found first: with -j 2 that may be the one
    // scoring 1ycr, started a moment after 7ddo's. Exactly that entry fails.
    const std::vector<std::string> got = statuses(readText("run.tsv"));
    const char* const names[] = {"7ddo.pdb", "1ycr.pdb", "1hpv.pdb"};
    std::size_t crashed = 0;
    if (!c.hang) {
        for (std::size_t i = 0; i < got.size(); ++i)
            if (got[i] == "worker_died") crashed = i;
        if (c.jobs == std::string("1")) {
            EXPECT_EQ(crashed, 0u);
        }
    }
    std::vector<std::string> expected(3, c.hang ? "worker_died" : "scored");
    expected[crashed] = "worker_died";
    EXPECT_EQ(got, expected);
    const std::string how = c.hang ? "ran the engine longer than 1e-06 s and was stopped"
                                   : "ended by signal 11";
    const std::string crashedName = std::string("../structures/") + names[crashed];
    // A crash may come before the structure's first words.
    EXPECT_NE(run.out.find((c.hang ? "Working on " + crashedName + ". \n" : std::string()) +
                           "The worker process scoring " + crashedName + " " + how +
                           " ... skipped\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(testutil::listDir(),
              (std::vector<std::string>{kScoreFileName, "pdblist", "run.tsv"}));
}

INSTANTIATE_TEST_SUITE_P(Faults, InProcessFaultTest, ::testing::ValuesIn(kFaults));

// --- workers that score entry after entry -------------------------------------

// SlowToWake: the worker, having answered, wakes to each next entry late.
enum class Fault { None, Crash, Hang, SlowToWake };

struct ReuseCase {
    const char* what;
    const char* jobs;
    const char* workerEntries;  // KAV_ZUR_WORKER_ENTRIES; "" for the default
    bool predictions;           // the list of predictions and plain entries, with --confidence
    Fault fault;                // what befalls the worker while it scores the list's second entry
};

const ReuseCase kReuse[] = {
    {"one worker for the list", "1", "", false, Fault::None},
    {"a worker retiring after every 2 entries", "1", "2", false, Fault::None},
    {"two workers", "2", "", false, Fault::None},
    {"a worker slow to wake for its next entry", "1", "", false, Fault::SlowToWake},
    {"--confidence, plain entries between predictions", "1", "", true, Fault::None},
    {"a crash on entry 2 of 4", "1", "", false, Fault::Crash},
    {"a hang on entry 2 of 4", "1", "", false, Fault::Hang},
};

void PrintTo(const ReuseCase& c, std::ostream* os) { *os << c.what; }

class WorkerReuseTest : public ::testing::TestWithParam<ReuseCase> {};

// Each row against a run that gives every entry a fresh worker (as each
// entry had one before workers scored many): the same bytes everywhere, but
// for the entry at work when its worker crashed or hung.
TEST_P(WorkerReuseTest, GivesWhatAFreshWorkerPerEntryGives) {
    const ReuseCase& c = GetParam();
    const fs::path source = KAVZUR_SOURCE_DIR;
    testutil::ScratchDir scratch;
    const fs::path structures = scratch.parent() / "structures";
    fs::create_directory(structures);
    for (const fs::path& dir : {source / "examples", source / "examples/predicted"})
        for (const auto& e : fs::directory_iterator(dir))
            if (e.is_regular_file()) fs::create_symlink(e.path(), structures / e.path().filename());
    const std::string secondName = c.predictions ? "1hpv.pdb" : "7ddo.pdb";
    const std::string list =
        c.predictions
            ? "pdl1_binder_unrelaxed_rank_001_alphafold2_multimer_v3_model_1_seed_000.pdb\n"
              "1hpv.pdb\n"
              "pdl1_binder_unrelaxed_rank_002_alphafold2_multimer_v3_model_3_seed_000.pdb\n"
              "1ycr.pdb\n"
            : "1hpv.pdb\n" + secondName + "\n1ycr.pdb\n4hhb.pdb\n";
    writeText(scratch.parent() / "pdblist", list);
    auto options = [&c](const char* jobs) {
        return c.predictions ? std::vector<std::string>{"-j", jobs, "--confidence"}
                             : std::vector<std::string>{"-j", jobs};
    };
    std::vector<std::pair<std::string, std::string>> env;
    if (c.fault == Fault::Hang) env.push_back({"KAV_ZUR_ENGINE_TIMEOUT", "2"});
    auto freshEnv = env;
    freshEnv.push_back({"KAV_ZUR_WORKER_ENTRIES", "1"});
    const Outcome fresh =
        runIn(scratch.parent() / "fresh", scratch.parent() / "pdblist", options("1"), freshEnv);
    ASSERT_EQ(fresh.run.status, 0) << fresh.run.err;

    if (*c.workerEntries) env.push_back({"KAV_ZUR_WORKER_ENTRIES", c.workerEntries});
    const char* asan = std::getenv("ASAN_OPTIONS");
    if (c.fault == Fault::SlowToWake) {
        env.push_back({"LD_PRELOAD", KAVZUR_SLOW_WAKE});
        env.push_back({"ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0"});
    }
    if (c.fault == Fault::Crash || c.fault == Fault::Hang) {
        // At the second entry's first engine run, whenever it comes. A
        // sanitized build's own SIGSEGV handler would turn the crash into exit 1.
        env.push_back({"LD_PRELOAD", KAVZUR_ENGINE_FAULT});
        env.push_back({"KAV_ZUR_TEST_FAULT", c.fault == Fault::Crash ? "crash" : "hang"});
        env.push_back({"KAV_ZUR_TEST_FAULT_AT", "/structures/" + secondName + ". "});
        env.push_back({"ASAN_OPTIONS", std::string(asan ? asan : "") +
                                           ":handle_segv=0:verify_asan_link_order=0"});
    }
    const Outcome reused =
        runIn(scratch.parent() / "reused", scratch.parent() / "pdblist", options(c.jobs), env);
    EXPECT_EQ(reused.run.status, 0) << reused.run.err;
    EXPECT_EQ(reused.run.err, fresh.run.err);
    EXPECT_EQ(reused.left, fresh.left);
    if (c.fault == Fault::None || c.fault == Fault::SlowToWake) {
        EXPECT_EQ(reused.run.out, fresh.run.out);
        EXPECT_EQ(reused.scores, fresh.scores);
        EXPECT_EQ(reused.details, fresh.details);
        EXPECT_GT(reused.report.size(), 4u);
        EXPECT_EQ(reused.report, fresh.report);
        return;
    }
    // The second entry's line and row go; its console line is cut where it
    // was at work, followed by the message. All else stays.
    const std::vector<std::string> freshOut = e2e::splitLines(fresh.run.out);
    ASSERT_GE(freshOut.size(), 4u);
    const std::string how = c.fault == Fault::Crash
                                ? "ended by signal 11"
                                : "ran the engine longer than 2 s and was stopped";
    const std::string message = "\nThe worker process scoring ../structures/" + secondName + " " +
                                how + " ... skipped\n";
    const std::size_t at = reused.run.out.find(message), from = freshOut[0].size();
    ASSERT_NE(at, std::string::npos) << reused.run.out;
    const std::string cut = reused.run.out.substr(from, at - from);
    EXPECT_EQ(reused.run.out.substr(0, from) + freshOut[1].substr(0, cut.size()) +
                  reused.run.out.substr(at),
              freshOut[0] + cut + message + fresh.run.out.substr(from + freshOut[1].size()));
    EXPECT_EQ(cut.rfind("Working on ../structures/" + secondName, 0), 0u) << cut;
    std::string scores = fresh.scores;
    const std::size_t line = scores.find("\n" + secondName + "\t");
    ASSERT_NE(line, std::string::npos);
    scores.erase(line + 1, scores.find('\n', line + 1) - line);
    EXPECT_EQ(reused.scores, scores);
    std::vector<std::string> freshRows = e2e::splitLines(fresh.details),
                             reusedRows = e2e::splitLines(reused.details);
    ASSERT_EQ(reusedRows.size(), 5u);
    freshRows.erase(freshRows.begin() + 2);
    reusedRows.erase(reusedRows.begin() + 2);
    EXPECT_EQ(reusedRows, freshRows);
    EXPECT_EQ(statuses(reused.details),
              (std::vector<std::string>{"scored", "worker_died", "scored", "scored"}));
}

INSTANTIATE_TEST_SUITE_P(Lists, WorkerReuseTest, ::testing::ValuesIn(kReuse));

}  // namespace
