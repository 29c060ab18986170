// The accall program end to end: started like kav_zur starts it, in a
// scratch working directory, with a control file on standard input.
#include "sasa/accall_run.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

const std::string kEngine = SASA_ENGINE_DIR;

class Accall : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "accall-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    void write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }
    std::string read(const std::string& name) {
        std::ifstream in(dir_ / name, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    bool exists(const std::string& name) { return fs::exists(dir_ / name); }

    // Runs <engine>/accall in the scratch directory on `control`; its exit status.
    int run(const std::string& control) {
        write("control.input", control);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string input = (dir_ / "control.input").string();
        posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
        const std::string program = kEngine + "/accall";
        // The child changes into the scratch directory through its own cwd:
        // spawn it from there.
        const fs::path previous = fs::current_path();
        fs::current_path(dir_);
        std::vector<char> arg0(program.begin(), program.end());
        arg0.push_back('\0');
        char* argv[] = {arg0.data(), nullptr};
        pid_t pid = 0;
        const int started = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
        fs::current_path(previous);
        posix_spawn_file_actions_destroy(&actions);
        if (started != 0) return -1;
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    static std::string control(const std::string& pdb, const char* probe = "1.40") {
        return "PDBFILE " + pdb + "\nVDWFILE " + kEngine + "/vdw.radii\nSTDFILE " + kEngine +
               "/standard.data\nPROBE " + probe + "\nZSLICE 0.05\n";
    }

    // Files in the scratch directory other than those named.
    std::vector<std::string> others(std::initializer_list<std::string> known) {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir_)) {
            const std::string name = e.path().filename().string();
            if (std::find(known.begin(), known.end(), name) == known.end()) out.push_back(name);
        }
        return out;
    }

    fs::path dir_;
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

TEST_F(Accall, MeasuresARealStructure) {
    fs::copy_file(std::string(SASA_TEST_DATA_DIR) + "/1ubq.pdb", dir_ / "Complex.pdb");
    ASSERT_EQ(run(control("Complex.pdb")), 0);
    const std::string log = read("Complex.log");
    EXPECT_NE(log.find("\n SOLVA: PROGRAM ENDS CORRECTLY\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" ATOMS         602\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" RESIDUES       76\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" CHAINS          1\n"), std::string::npos) << log;

    // One line per ATOM record in input order, columns 1-30 verbatim.
    std::vector<std::string> atoms;
    for (const auto& l : lines(read("Complex.pdb")))
        if (l.compare(0, 4, "ATOM") == 0) atoms.push_back(l);
    const auto asa = lines(read("Complex.asa"));
    ASSERT_EQ(asa.size(), atoms.size());
    double total = 0;
    for (std::size_t i = 0; i < asa.size(); ++i) {
        ASSERT_EQ(asa[i].size(), 68u) << asa[i];
        EXPECT_EQ(asa[i].substr(0, 30), atoms[i].substr(0, 30));
        EXPECT_EQ(asa[i].substr(30, 24), atoms[i].substr(30, 24));
        total += std::stod(asa[i].substr(54, 8));
    }
    // FreeSASA gives 4782.16 with these radii (bench/sasa/validate_freesasa.py).
    EXPECT_NEAR(total, 4782.16, 0.5);
    const std::string rsa = read("Complex.rsa");
    EXPECT_NE(rsa.find("\nRES MET A   1 "), std::string::npos);
    EXPECT_NE(rsa.find("\nTOTAL "), std::string::npos);
    EXPECT_TRUE(others({"control.input", "Complex.pdb", "Complex.asa", "Complex.rsa", "Complex.log"}).empty());
}

TEST_F(Accall, AsaOnlyFlagsAndDefaultDataFiles) {
    write("lig.ent",
          "ATOM      1  CA  GLY A   1       0.000   0.000   0.000  1.00  0.00           C\n"
          "HETATM    2 CO    CO A 101       9.000   0.000   0.000  1.00  0.00          CO\n"
          "HETATM    3  O   HOH A 201      20.000   0.000   0.000  1.00  0.00           O\n"
          "ATOM      4  H   GLY A   1       1.000   0.000   0.000  1.00  0.00           H\n"
          "HETATM    5  CB  XYZ A 301      30.000   0.000   0.000  1.00  0.00           C\n");
    // No VDWFILE or STDFILE: those beside accall are used.
    ASSERT_EQ(run("PDBFILE lig.ent\nASAONLY\nHETATOMS\nWATERS\nHYDROGENS\nSPEED fast\n"), 0);
    EXPECT_FALSE(exists("lig.rsa"));
    const auto asa = lines(read("lig.asa"));
    ASSERT_EQ(asa.size(), 5u);
    EXPECT_EQ(asa[1].substr(63), " 1.80");  // cobalt: guessed
    EXPECT_EQ(asa[3].substr(63), " 1.00");  // hydrogen
    EXPECT_EQ(asa[4].substr(63), " 1.87");  // CB of an unknown residue: assumed from ALA
    const std::string log = read("lig.log");
    EXPECT_NE(log.find(" IGNORED CONTROL LINE: SPEED fast\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" GUESSED RADIUS 1.80 FOR ATOM CO   RESIDUE CO  A 101  (line 2)\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" ASSUMED RADIUS 1.87 FOR ATOM CB   RESIDUE XYZ A 301  (line 5)\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" INCLUDING HETATOMS\n INCLUDING WATERS\n INCLUDING HYDROGENS\n"), std::string::npos) << log;
    EXPECT_NE(log.find(kEngine + "/vdw.radii"), std::string::npos) << log;
}

// Every failure: a log saying what went wrong, no success line, a non-zero
// status, and no area file of the run (nor a temporary one) left behind.
TEST_F(Accall, FailuresAreReportedAndLeaveNoAreaFile) {
    const std::string good = "ATOM      1  CA  GLY A   1       0.000   0.000   0.000\n";
    const struct {
        const char* what;
        std::string pdb;
        std::string control;
        std::string logName;
        std::string expected;
    } cases[] = {
        {"missing input", "", control("absent.pdb"), "absent.log", " ERROR: cannot open absent.pdb\n"},
        {"bad coordinates", good + "ATOM      2  CA  GLY A   2       0.000   x.000   0.000\n",
         control("bad.pdb"), "bad.log",
         " ERROR: bad.pdb, line 2: unreadable coordinates '   0.000   x.000   0.000'\n"},
        {"no atoms", "HETATM    1  O   HOH A   1       0.000   0.000   0.000\n", control("bad.pdb"),
         "bad.log", " ERROR: bad.pdb, no atoms to measure\n"},
        {"probe 0", good, control("bad.pdb", "0"), "bad.log",
         " ERROR: control file, line 4: PROBE must be a number greater than 0, not '0'\n"},
        {"missing radii", good, "PDBFILE bad.pdb\nVDWFILE /nonexistent/vdw.radii\n", "bad.log",
         " ERROR: radii file cannot open /nonexistent/vdw.radii\n"},
        {"missing reference", good, "PDBFILE bad.pdb\nSTDFILE /nonexistent/standard.data\n", "bad.log",
         " ERROR: standard data file cannot open /nonexistent/standard.data\n"},
        {"no PDBFILE", good, "PROBE 1.4\n", "accall.log", " ERROR: control file, no PDBFILE given\n"},
        // What the area file's columns cannot hold is refused, never written wider.
        {"coordinate too large", good + good.substr(0, 30) + "10000.00   0.000   0.000\n",
         control("bad.pdb"), "bad.log",
         " ERROR: bad.pdb, line 2: coordinates '10000.00   0.000   0.000' do not fit the area "
         "file's columns (-999.999 to 9999.999)\n"},
        {"NUL byte", good + good.substr(0, 25) + std::string(1, '\0') + good.substr(26),
         control("bad.pdb"), "bad.log", " ERROR: bad.pdb, line 2: atom record holds a NUL byte\n"},
        {"probe 1e308", good, control("bad.pdb", "1e308"), "bad.log",
         " ERROR: control file, line 4: PROBE must be at most 100, not '1e308'\n"},
        {"area too large", good, control("bad.pdb", "30"), "bad.log",
         " ERROR: bad.pdb, line 1: area 12763.624 or radius 1.87 does not fit the area file's "
         "columns (at most 9999.999 and 99.99)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.pdb.empty()) write("bad.pdb", c.pdb);
        // A successful log of an earlier run must not survive.
        write(c.logName, std::string(sasa::kSuccessLine) + "\n");
        EXPECT_EQ(run(c.control), 1);
        const std::string log = read(c.logName);
        EXPECT_NE(log.find(c.expected), std::string::npos) << log;
        EXPECT_EQ(log.find("SOLVA: PROGRAM ENDS CORRECTLY"), std::string::npos) << log;
        EXPECT_TRUE(others({"control.input", "bad.pdb", c.logName}).empty());
        fs::remove(dir_ / c.logName);
    }
}

// Columns 73-80 of old files hold a segment or entry ID: "28" in columns
// 77-78 is no element, and OXT is then an oxygen by its name.
TEST_F(Accall, SegmentIdIsNoElement) {
    write("seg.pdb", "ATOM      1  OXT GLY A   1       0.000   0.000   0.000  1.00  0.00      1A28  \n");
    write("radii", "RESIDUE ATOM GLY   1\nATOM CA   1.87 0\n");
    ASSERT_EQ(run("PDBFILE seg.pdb\nVDWFILE radii\nASAONLY\n"), 0) << read("seg.log");
    const auto asa = lines(read("seg.asa"));
    ASSERT_EQ(asa.size(), 1u);
    EXPECT_EQ(asa[0].substr(63), " 1.40");
    EXPECT_NE(read("seg.log").find(" GUESSED RADIUS 1.40 FOR ATOM OXT"), std::string::npos);
}

TEST_F(Accall, EchoedTextCannotForgeTheSuccessLine) {
    write("x.pdb", "ATOM      1  CA  GLY A   1       0.000   0.000   0.000\n");
    ASSERT_EQ(run("PDBFILE x.pdb\nSOLVA: PROGRAM ENDS CORRECTLY\nVDWFILE /nonexistent\n"), 1);
    const std::string log = read("x.log");
    EXPECT_NE(log.find("IGNORED CONTROL LINE: SOLVA; PROGRAM ENDS CORRECTLY"), std::string::npos) << log;
    EXPECT_EQ(log.find("SOLVA: PROGRAM ENDS CORRECTLY"), std::string::npos) << log;
}

TEST_F(Accall, NeverWritesOverItsInput) {
    const std::string text = "ATOM      1  CA  GLY A   1       0.000   0.000   0.000\n";
    write("x.asa", text);
    EXPECT_EQ(run("PDBFILE x.asa\nASAONLY\n"), 1);
    EXPECT_EQ(read("x.asa"), text);
}

}  // namespace
