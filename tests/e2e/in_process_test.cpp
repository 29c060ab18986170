// The bundled engine inside kav_zur against the same engine as a program
// (--engine program): the same bytes in every file and on the console, and a
// structure that crashes or hangs the engine in the process costs only itself.
#include "records/score_file.h"
#include "run_program.h"

#include <gtest/gtest.h>

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

// The details file without its last column (the wall time of each row).
std::string withoutSeconds(const std::string& details) {
    std::istringstream in(details);
    std::string out;
    for (std::string line; std::getline(in, line);) out += line.substr(0, line.rfind('\t')) + "\n";
    return out;
}

struct Outcome {
    e2e::RunResult run;
    std::string scores, details;
    std::map<std::string, std::string> report;
    std::vector<std::string> left;  // what the working directory holds after the run
};

Outcome runIn(const fs::path& work, const fs::path& list, std::vector<std::string> args) {
    fs::create_directories(work);
    fs::copy_file(list, work / "pdblist", fs::copy_options::overwrite_existing);
    args.insert(args.end(), {"--details", "run.tsv", "--report", "report", "../structures",
                             KAVZUR_ENGINE_DIR});
    Outcome o{e2e::runKavZur(work, args), readText(work / kScoreFileName),
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
        if (c.jobs == std::string("1")) EXPECT_EQ(crashed, 0u);
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

}  // namespace
