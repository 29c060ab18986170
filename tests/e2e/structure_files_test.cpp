// Faulty structure files, pdblists and working directories, run through the
// real program with the bundled engine. Each faulty structure sits between
// two copies of 1ycr: it must end in its message or its score line, and the
// lines of its neighbours must stay as they are.
#include "records/score_file.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testutil::readText;
using testutil::writeText;

const fs::path kData = fs::path(KAVZUR_SOURCE_DIR) / "tests/data";

const std::string kProblem = "\nProblem in NACEESS program ... exiting\n";
const std::string kNoAtoms = kProblem + " accall: ERROR: TEMP.pdb, no atoms to measure\n";
const std::string kTooShort = kProblem +
                              " accall: ERROR: TEMP.pdb, line 1072: atom record too short for its "
                              "coordinates (columns 31-54)\n";
const std::string kSubunits1ycr =
    " Subunit one contains 705 atoms and Subunit two contains 113 atoms.\n";

std::vector<std::string> lines(const std::string& text) { return e2e::splitLines(text); }

std::string atomRecords(const std::string& pdb) {
    std::string atoms;
    for (const std::string& line : lines(pdb))
        if (line.rfind("ATOM", 0) == 0) atoms += line;
    return atoms;
}

// Atom serial `n` in five columns: decimal up to 99999, then hybrid-36
// ("A0000" is 100000), as large structures are written.
std::string hybrid36(int n) {
    char text[16];
    if (n < 100000) {
        std::snprintf(text, sizeof text, "%5d", n);
        return text;
    }
    const char* digits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    int v = n - 100000 + 10 * 36 * 36 * 36 * 36;
    std::string s(5, '0');
    for (int i = 4; i >= 0; --i, v /= 36) s[static_cast<std::size_t>(i)] = digits[v % 36];
    return s;
}

// 1ycr's two chains, then 122 copies of the complex moved 100 A apart as
// further chains: 100614 atoms, serials past 99999 in hybrid-36.
std::string tiled1ycr(const std::string& pdb) {
    const std::vector<std::string> atoms = lines(atomRecords(pdb));
    const char* chains = "CDEFGHIJKLMNOPQRSTUVWXYZ";
    std::string out;
    int serial = 1;
    for (int copy = 0; copy < 123; ++copy) {
        for (std::string line : atoms) {
            line.replace(6, 5, hybrid36(serial++));
            if (copy > 0) {
                line[21] = chains[copy % 24];
                char xy[20];
                std::snprintf(xy, sizeof xy, "%8.3f%8.3f",
                              std::stod(line.substr(30, 8)) + 100.0 * (copy % 11),
                              std::stod(line.substr(38, 8)) + 100.0 * (copy / 11));
                line.replace(30, 16, xy);
            }
            out += line;
        }
        out += "TER\n";
    }
    return out + "END\n";
}

// The atom records with serials from `first` on; past 99999 `overflow`, or
// hybrid-36 when it is null.
std::string withSerials(const std::string& pdb, int first, const char* overflow) {
    std::string out;
    int serial = first;
    for (std::string line : lines(atomRecords(pdb))) {
        line.replace(6, 5, serial <= 99999 || !overflow ? hybrid36(serial) : overflow);
        ++serial;
        out += line;
    }
    return out;
}

std::string noise(std::size_t n) {
    std::string bytes(n, '\0');
    unsigned state = 2024u;
    for (char& c : bytes) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
    }
    return bytes;
}

struct FileCase {
    const char* what;
    std::function<std::string(const std::string& pdb1ycr)> make;
    std::string message;  // printed after "Working on ../s/case.pdb. "
    bool scoredAs1ycr;    // scores exactly as 1ycr itself, or no line at all
};

const FileCase kFileCases[] = {
    {"an empty file", [](const std::string&) { return std::string(); }, kNoAtoms, false},
    {"a binary file", [](const std::string&) { return noise(5000); }, kNoAtoms, false},
    {"a file cut in the middle of a coordinate",
     [](const std::string& p) {
         const std::size_t at = p.find("ATOM    762");
         return p.substr(0, at + 50);
     },
     kTooShort, false},
    {"a file cut in the middle of an atom name",
     [](const std::string& p) { return p.substr(0, p.find("ATOM    762") + 15); }, kTooShort,
     false},
    {"no atom records",
     [](const std::string& p) {
         std::string out;
         for (const std::string& line : lines(p))
             if (line.rfind("ATOM", 0) != 0) out += line;
         return out;
     },
     kNoAtoms, false},
    {"CRLF line ends",
     [](const std::string& p) {
         std::string out;
         for (std::string line : lines(p)) out += line.substr(0, line.size() - 1) + "\r\n";
         return out;
     },
     kSubunits1ycr, true},
    {"a header line of 100000 characters",
     [](const std::string& p) { return "REMARK   1 " + std::string(100000, 'X') + "\n" + p; },
     kSubunits1ycr, true},
    {"a second chain of one atom",
     [](const std::string& p) {
         std::string out;
         for (const std::string& line : lines(atomRecords(p))) {
             out += line;
             if (line[21] == 'B') break;
         }
         return out;
     },
     " Subunit one contains 705 atoms and Subunit two contains 1 atoms.\n"
     "\nInterface is too small to triangulate ... exiting ... \n"
     "Error in PDB file ... ../s/case.pdb\n",
     false},
    {"a first chain of one atom",
     [](const std::string& p) {
         const std::string atoms = atomRecords(p);
         const std::size_t b = atoms.find(" B ");
         return atoms.substr(0, atoms.find('\n') + 1) + atoms.substr(atoms.rfind('\n', b) + 1);
     },
     " Subunit one contains 1 atoms and Subunit two contains 113 atoms.\n"
     "\nInterface is too small to triangulate ... exiting ... \n"
     "Error in PDB file ... ../s/case.pdb\n",
     false},
    {"serials past 99999 as *****",
     [](const std::string& p) { return withSerials(p, 99500, "*****"); }, kSubunits1ycr, true},
    {"serials past 99999 in hybrid-36",
     [](const std::string& p) { return withSerials(p, 99500, nullptr); }, kSubunits1ycr, true},
    {"more than 99999 atoms", tiled1ycr, kSubunits1ycr, true},
};

void PrintTo(const FileCase& c, std::ostream* os) { *os << c.what; }

// The working directory <scratch>/work, with the structures in <scratch>/s.
struct WorkDir {
    testutil::ScratchDir scratch;
    fs::path structures = scratch.parent() / "s";
    WorkDir() {
        fs::create_directory(structures);
        fs::copy_file(kData / "1ycr.pdb", structures / "1ycr.pdb");
    }
    e2e::RunResult operator()() {
        return e2e::runKavZur(scratch.work(), {"../s", KAVZUR_ENGINE_DIR});
    }
};

// 1ycr's score line, from a run of its own.
const std::string& line1ycr() {
    static const std::string line = [] {
        WorkDir run;
        writeText("pdblist", "1ycr.pdb\n");
        run();
        return readText(kScoreFileName).substr(scoreHeader().size());
    }();
    return line;
}

class FileTest : public ::testing::TestWithParam<FileCase> {};

TEST_P(FileTest, EndsInItsMessageOrItsLine) {
    const FileCase& c = GetParam();
    const std::string expectedLine = line1ycr();
    ASSERT_EQ(expectedLine.rfind("1ycr.pdb\t", 0), 0u) << expectedLine;
    WorkDir run;
    writeText(run.structures / "case.pdb", c.make(readText(kData / "1ycr.pdb")));
    writeText("pdblist", "1ycr.pdb\ncase.pdb\n1ycr.pdb\n");

    const e2e::RunResult result = run();
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    const std::string working = "Working on ../s/1ycr.pdb. " + kSubunits1ycr;
    e2e::expectSameLines(result.out,
                         working + "Working on ../s/case.pdb. " + c.message + working +
                             "\nFinished\n",
                         "console");
    std::string caseLine;
    if (c.scoredAs1ycr) caseLine = "case.pdb" + expectedLine.substr(expectedLine.find('\t'));
    e2e::expectSameLines(readText(kScoreFileName),
                         scoreHeader() + expectedLine + caseLine + expectedLine, kScoreFileName);
    EXPECT_EQ(testutil::listDir(), (std::vector<std::string>{kScoreFileName, "pdblist"}));
}

INSTANTIATE_TEST_SUITE_P(Structures, FileTest, ::testing::ValuesIn(kFileCases));

// Blank lines, a name twice, names of a directory, of a named pipe, of a
// dangling link and of a file that cannot be read: each name ends in its
// line or its message, in list order, and nothing waits on the pipe.
TEST(Pdblist, EveryNameEndsInALineOrAMessage) {
    const std::string expectedLine = line1ycr();
    WorkDir run;
    fs::create_directory(run.structures / "dir");
    ASSERT_EQ(mkfifo((run.structures / "pipe").c_str(), 0644), 0);
    fs::create_symlink("nowhere.pdb", run.structures / "link.pdb");
    fs::copy_file(kData / "1ycr.pdb", run.structures / "locked.pdb");
    fs::permissions(run.structures / "locked.pdb", fs::perms::none);
    // Permissions do not stop root from reading.
    const bool lockedReadable = access((run.structures / "locked.pdb").c_str(), R_OK) == 0;
    writeText("pdblist", "\n\n1ycr.pdb\n\n  \t\ndir pipe\nlink.pdb\r\n1ycr.pdb\nlocked.pdb\n\n");

    const e2e::RunResult result = run();
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    const std::string working = "Working on ../s/1ycr.pdb. " + kSubunits1ycr;
    // A name that cannot be copied gets the engine's message and the reason.
    const auto problem = [](const std::string& name, const std::string& reason) {
        return "Working on ../s/" + name + ". " + kProblem + " ../s/" + name + ": " + reason + "\n";
    };
    const std::string locked = lockedReadable
                                   ? "Working on ../s/locked.pdb. " + kSubunits1ycr
                                   : problem("locked.pdb", "cannot be read");
    e2e::expectSameLines(result.out,
                         working + problem("dir", "a directory, not a structure file") +
                             problem("pipe", "not a regular file") +
                             problem("link.pdb", "a link to nothing") + working + locked +
                             "\nFinished\n",
                         "console");
    const std::string lockedLine =
        lockedReadable ? "locked.pdb" + expectedLine.substr(expectedLine.find('\t')) : "";
    e2e::expectSameLines(readText(kScoreFileName),
                         scoreHeader() + expectedLine + expectedLine + lockedLine,
                         kScoreFileName);
    EXPECT_EQ(testutil::listDir(), (std::vector<std::string>{kScoreFileName, "pdblist"}));
}

// A working directory in which nothing can be created ends the run at once,
// and the program says which file it could not write.
TEST(WorkingDirectory, NotWritableStopsTheRun) {
    WorkDir run;
    writeText("pdblist", "1ycr.pdb\n");
    fs::permissions(run.scratch.work(), fs::perms::owner_read | fs::perms::owner_exec);
    if (access(run.scratch.work().c_str(), W_OK) == 0) {
        fs::permissions(run.scratch.work(), fs::perms::owner_all);
        GTEST_SKIP() << "running as root: permissions do not stop writing "
                        "(Batch.AnUnwritableControlFileStopsTheRun covers the case)";
    }
    const e2e::RunResult result = run();
    fs::permissions(run.scratch.work(), fs::perms::owner_all);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "\nError in writing control file Complex_accallT.input. !!!\n");
    EXPECT_EQ(testutil::listDir(), (std::vector<std::string>{"pdblist"}));
}

// /proc takes no new files, not even from root.
TEST(WorkingDirectory, ProcStopsTheRun) {
    testutil::ScratchDir scratch;
    const e2e::RunResult result = e2e::runKavZur("/proc", {"structures", KAVZUR_ENGINE_DIR}, {},
                                                 scratch.parent());
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "\nError in writing control file Complex_accallT.input. !!!\n");
    EXPECT_FALSE(fs::exists("/proc/Complex_accallT.input"));
}

}  // namespace
