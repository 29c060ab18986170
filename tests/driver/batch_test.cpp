// The batch loop run in-process, with the test engine and a stand-in for the
// interface analysis, in a scratch working directory.
#include "driver/batch.h"

#include "records/score_file.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testutil::atomLine;
using testutil::listDir;
using testutil::readText;
using testutil::writeText;

const std::string kUsage =
    "\nUSAGE:: ./kav_zur <path of pdb file> <path of naccess program>\n\n"
    "Please make a list of pdb files and name it as pdblist. Keep that file in the current "
    "folder\n\n";
const ScoreSet kFixedScores{300.0f, 500.0f, 200.0f, 100.0f};

// What the stand-in analysis saw, call by call.
struct AnalysisLog {
    int calls = 0;
    bool scoresZeroOnEntry = true;
    bool subunitFilesPresent = true;
    bool tempFilesGone = true;
    bool previousFilesRemoved = true;
    bool tableKept = true;
    std::size_t tableSize = 0;
    std::string naccessDir;
};
AnalysisLog analysisLog;

bool exists(const char* name) { return fs::exists(name); }

// Checks what the driver promises the analysis, leaves files behind as the
// real analysis does, and scores every structure alike.
int scoreAlike(std::vector<InterfacePoint>& points, ScoreSet& scores, const std::string& dir) {
    AnalysisLog& log = analysisLog;
    ++log.calls;
    log.scoresZeroOnEntry = log.scoresZeroOnEntry && scores.buriedAreaA == 0.0f &&
                            scores.buriedAreaB == 0.0f && scores.packingSum == 0.0f &&
                            scores.complementaritySum == 0.0f;
    log.subunitFilesPresent = log.subunitFilesPresent && exists("Complex.pdb") &&
                              exists("ComplexA.pdb") && exists("ComplexB.pdb");
    log.tempFilesGone = log.tempFilesGone && !exists("TEMP.pdb") && !exists("TEMP.asa") &&
                        !exists("TEMP.log");
    log.previousFilesRemoved = log.previousFilesRemoved && !exists("ComplexP.pdb") &&
                               !exists("Complex.asa");
    log.tableSize = points.size();
    log.naccessDir = dir;
    // The table is the same one every time, not cleared in between.
    if (log.calls > 1) log.tableKept = log.tableKept && points[0].x == 7.0f;
    points[0].x = 7.0f;

    writeText("ComplexP.pdb", "ATOM\n");
    writeText("Complex.asa", "ATOM\n");
    scores = kFixedScores;
    return 2;
}

// Fails every structure, leaving rubbish in the scores.
int failAlways(std::vector<InterfacePoint>&, ScoreSet& scores, const std::string&) {
    ++analysisLog.calls;
    scores = {1.0f, 2.0f, 3.0f, 4.0f};
    return -4;
}

// Fails the first structure, then checks and scores like scoreAlike.
int failFirst(std::vector<InterfacePoint>& points, ScoreSet& scores, const std::string& dir) {
    if (analysisLog.calls == 0) return failAlways(points, scores, dir);
    return scoreAlike(points, scores, dir);
}

// Succeeds on the first structure with a packing sum that is not a number
// (what unusable engine output gives), then checks and scores like scoreAlike.
// The first structure's scores hold a value that is not a number.
int notANumberFirst(float ScoreSet::*field, std::vector<InterfacePoint>& points,
                    ScoreSet& scores, const std::string& dir) {
    if (analysisLog.calls == 0) {
        ++analysisLog.calls;
        writeText("ComplexP.pdb", "ATOM\n");
        scores = kFixedScores;
        scores.*field = std::numeric_limits<float>::quiet_NaN();
        return 2;
    }
    return scoreAlike(points, scores, dir);
}

int packingNotANumberFirst(std::vector<InterfacePoint>& points, ScoreSet& scores,
                           const std::string& dir) {
    return notANumberFirst(&ScoreSet::packingSum, points, scores, dir);
}

int buriedAreaNotANumberFirst(std::vector<InterfacePoint>& points, ScoreSet& scores,
                              const std::string& dir) {
    return notANumberFirst(&ScoreSet::buriedAreaB, points, scores, dir);
}

struct RunResult {
    int status;
    std::string out;
};

RunResult runDriver(std::vector<std::string> args, Analysis analyse = scoreAlike) {
    analysisLog = {};
    args.insert(args.begin(), "kav_zur");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::testing::internal::CaptureStdout();
    const int status = runBatch(static_cast<int>(args.size()), argv.data(), analyse);
    return {status, ::testing::internal::GetCapturedStdout()};
}

RunResult runDriver(Analysis analyse = scoreAlike) {
    return runDriver({"structures", KAVZUR_FAKE_ENGINE_DIR}, analyse);
}

// A small two-chain complex and some faulty structures.
void writeStructures(const fs::path& dir = "structures") {
    writeText(dir / "a.pdb", "HEADER    TEST COMPLEX\n" + atomLine(1, 'A', 1) +
                                 atomLine(2, 'A', 2) + "TER\n" + atomLine(3, 'B', 1) +
                                 atomLine(4, 'B', 2) + "END\n");
    writeText(dir / "blank.pdb", atomLine(1, 'A', 1) + atomLine(2, ' ', 2));
    writeText(dir / "hetero.pdb", atomLine(1, 'A', 1, ' ', ' ', "HETATM"));
    fs::create_directories(dir / "sub");
}

const std::string kWorkingA =
    "Working on structures/a.pdb.  Subunit one contains 2 atoms and Subunit two contains 2 "
    "atoms.\n";
const std::string kLineA = "a.pdb\t   400.0\t          0.500000\t  0.250000\n";
const std::vector<std::string> kLeftBehind = {"KAV_ZUr_score.txt", "pdblist", "structures"};

// The engine's problem message; `reason` says why a structure could not even
// be copied.
std::string problem(const std::string& entry, const std::string& reason = "") {
    std::string text =
        "Working on structures/" + entry + ". \nProblem in NACEESS program ... exiting\n";
    if (!reason.empty()) text += " structures/" + entry + ": " + reason + "\n";
    return text;
}

struct ListCase {
    const char* what;
    std::string pdblist;
    Analysis analyse;
    std::string out;    // everything the run prints
    std::string lines;  // the score file after its header
};

const ListCase kLists[] = {
    {"an empty list", "", scoreAlike, "\nFinished\n", ""},
    {"blanks only", " \n\t\n\n", scoreAlike, "\nFinished\n", ""},
    {"a last name without a line end", "a.pdb", scoreAlike, kWorkingA + "\nFinished\n", kLineA},
    {"a name listed twice", "a.pdb\n  a.pdb\n", scoreAlike,
     kWorkingA + kWorkingA + "\nFinished\n", kLineA + kLineA},
    {"a missing structure", "missing.pdb\na.pdb\n", scoreAlike,
     problem("missing.pdb", "no such file") + kWorkingA + "\nFinished\n", kLineA},
    {"a directory in place of a structure", "sub a.pdb", scoreAlike,
     problem("sub", "a directory, not a structure file") + kWorkingA + "\nFinished\n", kLineA},
    {"a blank chain", "blank.pdb a.pdb", scoreAlike,
     "Working on structures/blank.pdb. Chain identifier missing ... exiting\n"
     "Error in PDB file ... structures/blank.pdb\n" + kWorkingA + "\nFinished\n",
     kLineA},
    {"no atom records: nothing to split", "hetero.pdb\na.pdb\n", scoreAlike,
     "Working on structures/hetero.pdb. Error in PDB file ... structures/hetero.pdb\n" +
         kWorkingA + "\nFinished\n",
     kLineA},
    {"a packing sum that is not a number is printed", "a.pdb a.pdb", packingNotANumberFirst,
     kWorkingA + kWorkingA + "\nFinished\n",
     "a.pdb\t   400.0\t               nan\t  0.250000\n" + kLineA},
    {"a buried area that is not a number gives no line", "a.pdb a.pdb",
     buriedAreaNotANumberFirst,
     kWorkingA +
         "\nBuried areas are not numbers: the engine's area files are unusable ... exiting\n"
         "Error in PDB file ... structures/a.pdb\n" +
         kWorkingA + "\nFinished\n",
     kLineA},
    // The system would be handed "a.pdb" and the name's rest lost.
    {"a name holding a NUL byte", std::string("a.pdb\0x a.pdb", 13), scoreAlike,
     problem("a.pdb\\0x", "the name holds a NUL byte") + kWorkingA + "\nFinished\n", kLineA},
    {"a name longer than the system allows", std::string(256, 'n') + " a.pdb", scoreAlike,
     problem(std::string(256, 'n'), "the name is longer than the system allows") + kWorkingA +
         "\nFinished\n",
     kLineA},
    {"a failed analysis", "a.pdb a.pdb", failFirst,
     kWorkingA + "Error in PDB file ... structures/a.pdb\n" + kWorkingA + "\nFinished\n",
     kLineA},
};

void PrintTo(const ListCase& c, std::ostream* os) { *os << c.what; }

class ListTest : public ::testing::TestWithParam<ListCase> {};

TEST_P(ListTest, EachStructureEndsInALineOrAMessage) {
    const ListCase& c = GetParam();
    testutil::ScratchDir scratch;
    writeStructures();
    writeText("pdblist", c.pdblist);

    const RunResult run = runDriver(c.analyse);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(readText(kScoreFileName), scoreHeader() + c.lines);
    EXPECT_EQ(listDir(), kLeftBehind);
}

INSTANTIATE_TEST_SUITE_P(Lists, ListTest, ::testing::ValuesIn(kLists));

TEST(Batch, AnalysisGetsTheSplitComplexAndTheTable) {
    testutil::ScratchDir scratch;
    writeStructures();
    writeText("pdblist", "a.pdb a.pdb a.pdb");
    const RunResult run = runDriver();
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(analysisLog.calls, 3);
    EXPECT_TRUE(analysisLog.subunitFilesPresent);
    EXPECT_TRUE(analysisLog.tempFilesGone);
    EXPECT_TRUE(analysisLog.previousFilesRemoved);
    EXPECT_TRUE(analysisLog.tableKept);
    EXPECT_GE(analysisLog.tableSize, 10000u);
    EXPECT_EQ(analysisLog.naccessDir, KAVZUR_FAKE_ENGINE_DIR);
}

TEST(Batch, ScoresAreZeroedBeforeEachAnalysis) {
    testutil::ScratchDir scratch;
    writeStructures();
    writeText("pdblist", "a.pdb a.pdb");
    runDriver(failFirst);
    EXPECT_EQ(analysisLog.calls, 2);
    EXPECT_TRUE(analysisLog.scoresZeroOnEntry);
}

TEST(Batch, AStaleStructureIsNeverMeasured) {
    testutil::ScratchDir scratch;
    writeStructures();
    // What an interrupted run could leave: a complete structure and its areas.
    fs::copy_file("structures/a.pdb", "TEMP.pdb");
    writeText("TEMP.asa", atomLine(1, 'A', 1) + atomLine(2, 'B', 1));
    writeText("TEMP.log", " SOLVA: PROGRAM ENDS CORRECTLY\n");
    writeText("TEMP.rsa", "");
    writeText("TEMP.asa.partial", "");
    writeText("ComplexP.rsa", "");
    writeText("pdblist", "missing.pdb");

    const RunResult run = runDriver();
    EXPECT_EQ(run.out, problem("missing.pdb", "no such file") + "\nFinished\n");
    EXPECT_EQ(analysisLog.calls, 0);
    EXPECT_EQ(listDir(), kLeftBehind);
}

TEST(Batch, HostileNamesReachNoShell) {
    testutil::ScratchDir scratch;
    writeStructures();
    const std::vector<std::string> names = {
        "x;touch${IFS}pwned",    "$(touch${IFS}pwned)",     "`touch${IFS}pwned`",
        "a.pdb|touch${IFS}pwned", "a.pdb&&touch${IFS}pwned", "-rf",
        "'\"\\*?[a]>pwned<",      "../../../x;touch${IFS}pwned"};
    std::string list;
    std::string expected;
    for (const std::string& name : names) {
        list += name + "\n";
        expected += problem(name, "no such file");
    }
    writeText("pdblist", list + "a.pdb\n");

    const RunResult run = runDriver();
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, expected + kWorkingA + "\nFinished\n");
    EXPECT_EQ(readText(kScoreFileName), scoreHeader() + kLineA);
    EXPECT_EQ(listDir(), kLeftBehind);
    EXPECT_EQ(listDir(scratch.parent()), std::vector<std::string>{"work"});
    EXPECT_EQ(listDir("structures"), (std::vector<std::string>{"a.pdb", "blank.pdb", "hetero.pdb",
                                                               "sub"}));
}

TEST(Batch, NamesAndDirectoriesOfAnyLength) {
    testutil::ScratchDir scratch;
    // A structure directory path beyond 512 characters, with blanks and a
    // semicolon, and a list entry beyond 112 characters.
    fs::path dir = scratch.work();
    for (int i = 0; i < 5; ++i) dir /= std::string(100, static_cast<char>('a' + i)) + " ;x";
    std::string entry;
    for (int i = 0; i < 3; ++i) entry += std::string(60, static_cast<char>('p' + i)) + "/";
    entry += "a.pdb";
    writeStructures(dir / entry.substr(0, entry.size() - 6));
    writeText("pdblist", entry);

    const RunResult run = runDriver({dir.string(), KAVZUR_FAKE_ENGINE_DIR});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "Working on " + dir.string() + "/" + entry +
                           ".  Subunit one contains 2 atoms and Subunit two contains 2 atoms.\n"
                           "\nFinished\n");
    EXPECT_EQ(readText(kScoreFileName),
              scoreHeader() + entry + "\t   400.0\t          0.500000\t  0.250000\n");
}

TEST(Batch, WrongArgumentCountsWriteNothing) {
    const std::vector<std::vector<std::string>> commandLines = {
        {}, {"structures"}, {"structures", KAVZUR_FAKE_ENGINE_DIR, "extra"}};
    for (const auto& args : commandLines) {
        testutil::ScratchDir scratch;
        const RunResult run = runDriver(args);
        EXPECT_EQ(run.status, 2) << args.size();
        EXPECT_EQ(run.out.substr(0, kUsage.size()), kUsage);
        EXPECT_NE(run.out.find("WITHOUT ANY WARRANTY"), std::string::npos);
        EXPECT_NE(run.out.find("README"), std::string::npos);
        EXPECT_TRUE(listDir().empty());
    }
}

TEST(Batch, AMissingListKeepsTheLastScores) {
    for (const bool listIsDirectory : {false, true}) {
        testutil::ScratchDir scratch;
        writeText(kScoreFileName, "earlier results\n");
        if (listIsDirectory) fs::create_directory("pdblist");

        const RunResult run = runDriver();
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "\nError in opening pdblist file. !!!\n");
        EXPECT_EQ(readText(kScoreFileName), "earlier results\n");
        EXPECT_EQ(listDir().size(), listIsDirectory ? 2u : 1u);
    }
}

TEST(Batch, AnUncreatableScoreFileStopsTheRun) {
    testutil::ScratchDir scratch;
    writeStructures();
    writeText("pdblist", "a.pdb");
    fs::create_directory(kScoreFileName);
    const RunResult run = runDriver();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "\nError in opening file for write. !!!\n");
    EXPECT_EQ(analysisLog.calls, 0);
    EXPECT_EQ(listDir(), kLeftBehind);
}

TEST(Batch, AFullDiskIsNotReportedAsSuccess) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    testutil::ScratchDir scratch;
    writeStructures();
    writeText("pdblist", "a.pdb");
    fs::create_symlink("/dev/full", kScoreFileName);
    const RunResult run = runDriver();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "\nError in writing file KAV_ZUr_score.txt. !!!\n");
    EXPECT_EQ(listDir(), kLeftBehind);
}

TEST(Batch, AnUnwritableControlFileStopsTheRun) {
    testutil::ScratchDir scratch;
    writeText("pdblist", "a.pdb");
    fs::create_directory("ComplexP_accall.input");
    const RunResult run = runDriver();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "\nError in writing control file ComplexP_accall.input. !!!\n");
    EXPECT_EQ(listDir(), (std::vector<std::string>{"ComplexP_accall.input", "pdblist"}));
}

TEST(Batch, TheEngineFailingEveryTimeStillFinishes) {
    testutil::ScratchDir scratch;
    writeStructures();
    writeText("pdblist", "a.pdb a.pdb");
    writeText("TEMP.fail", "");  // the test engine fails on TEMP.pdb
    const RunResult run = runDriver();
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, problem("a.pdb") + problem("a.pdb") + "\nFinished\n");
    EXPECT_EQ(listDir(), kLeftBehind);
}

// Without the engine's files nothing can work: the run ends before it
// writes anything, and an earlier score file stays.
TEST(Batch, AnEngineDirectoryWithoutItsFilesStopsTheRun) {
    const struct {
        const char* what;
        const char* remove;  // file removed from a copy of the test engine
    } cases[] = {{"no accall", "accall"},
                 {"no radii", "vdw.radii"},
                 {"no reference areas", "standard.data"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testutil::ScratchDir scratch;
        writeStructures();
        writeText("pdblist", "a.pdb");
        writeText(kScoreFileName, "earlier scores\n");
        fs::copy(KAVZUR_FAKE_ENGINE_DIR, "engine");
        fs::remove(fs::path("engine") / c.remove);
        const RunResult run = runDriver({"structures", "engine"});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "\nError in NACCESS directory: engine/" + std::string(c.remove) +
                               " is missing or not usable. !!!\n");
        EXPECT_EQ(readText(kScoreFileName), "earlier scores\n");
        EXPECT_EQ(listDir(), (std::vector<std::string>{kScoreFileName, "engine", "pdblist",
                                                       "structures"}));
    }
}

TEST(Batch, AnAccallThatCannotBeRunStopsTheRun) {
    testutil::ScratchDir scratch;
    writeStructures();
    writeText("pdblist", "a.pdb");
    fs::create_directories("engine/accall");  // a directory, not a program
    writeText("engine/vdw.radii", "");
    writeText("engine/standard.data", "");
    const RunResult run = runDriver({"structures", "engine"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "\nError in NACCESS directory: engine/accall is missing or not usable. !!!\n");
    EXPECT_FALSE(fs::exists(kScoreFileName));
}

// An accall that is there and executable but cannot be started stops the run
// before the first structure, with the reason.
TEST(Batch, AnAccallThatCannotBeStartedStopsTheRun) {
    struct Case {
        const char* what;
        const char* accall;
        const char* reason;
    };
    const Case cases[] = {
        {"a file with no #! line", "PDBFILE nothing\n", "Exec format error"},
        {"a script whose interpreter is missing", "#!/nonexistent/interpreter\n",
         "No such file or directory"},
    };
    for (const Case& c : cases) {
        testutil::ScratchDir scratch;
        writeStructures();
        writeText("pdblist", "a.pdb");
        writeText("engine/accall", c.accall);
        fs::permissions("engine/accall", fs::perms::owner_all);
        writeText("engine/vdw.radii", "");
        writeText("engine/standard.data", "");
        const RunResult run = runDriver({"structures", "engine"});
        EXPECT_EQ(run.status, 1) << c.what;
        EXPECT_EQ(run.out, "\nError in NACCESS directory: engine/accall: cannot be started: " +
                               std::string(c.reason) + ". !!!\n")
            << c.what;
        EXPECT_EQ(listDir(), (std::vector<std::string>{"engine", "pdblist", "structures"}))
            << c.what;
    }
}

}  // namespace
