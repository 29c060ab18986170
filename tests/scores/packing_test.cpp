#include "scores/packing.h"
#include "analysis/engine_link.h"

#include "common/text_file.h"
#include "work_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

// One area-file record as the engine writes it; only the white-space
// separated fields matter to the readers.
std::string asaLine(int serial, const char* atom, const char* res, char chain, int resSeq,
                    const char* x, const char* y, const char* z, const char* area = "10.00",
                    const char* radius = "1.80") {
    char line[200];
    std::snprintf(line, sizeof line, "ATOM  %5d  %-3s %-3s %c%4d    %8s %8s %8s %7s %5s\n", serial,
                  atom, res, chain, resSeq, x, y, z, area, radius);
    return line;
}

// Runs findneighbour on `asa` (written as ComplexA.asa) and returns what it
// appended to a fresh ComplexP.pdb.
std::string neighbours(const std::string& asa, const std::vector<InterfacePoint>& points, int n,
                       float cutoffSq = 16.0f) {
    ScopedWorkDir dir;
    writeText("ComplexA.asa", asa);
    {
        File out = openFile("ComplexP.pdb", "w");
        EXPECT_TRUE(out);
        findneighbour(out.get(), "ComplexA.asa", points, n, cutoffSq);
    }
    return readText("ComplexP.pdb");
}

std::string neighbours(const std::string& asa, const std::vector<InterfacePoint>& points) {
    return neighbours(asa, points, static_cast<int>(points.size()));
}

// Random atoms and points, many of them near the cutoff: the atoms written
// are those a test of every point against every atom selects, in file order,
// for cutoffs from none to wider than the atoms' box.
TEST(Findneighbour, SelectsWhatTestingEveryPairSelects) {
    std::mt19937 random(11);
    std::uniform_real_distribution<float> place(-20.0f, 20.0f), near(-4.5f, 4.5f);
    for (const float cutoffSq : {0.0f, 1.0f, 16.0f, 16.0001f, 4000.0f}) {
        SCOPED_TRACE(cutoffSq);
        std::string asa;
        std::vector<InterfacePoint> atoms, points;
        char x[16], y[16], z[16];
        for (int i = 0; i < 400; ++i) {
            const InterfacePoint a{place(random), place(random), place(random) * 0.1f};
            std::snprintf(x, sizeof x, "%.3f", a.x);
            std::snprintf(y, sizeof y, "%.3f", a.y);
            std::snprintf(z, sizeof z, "%.3f", a.z);
            asa += asaLine(i + 1, "CA", "ALA", 'A', i + 1, x, y, z);
            atoms.push_back({std::strtof(x, nullptr), std::strtof(y, nullptr), std::strtof(z, nullptr)});
        }
        for (int i = 0; i < 60; ++i) {  // half of them about one cutoff from an atom
            const InterfacePoint& a = atoms[static_cast<std::size_t>(i * 5)];
            points.push_back(i % 2 ? InterfacePoint{place(random), place(random), place(random)}
                                   : InterfacePoint{a.x + near(random), a.y + near(random), a.z});
        }
        std::string expected;
        for (std::size_t i = 0; i < atoms.size(); ++i) {
            bool selected = false;
            for (const InterfacePoint& p : points) {
                const float dx = p.x - atoms[i].x, dy = p.y - atoms[i].y, dz = p.z - atoms[i].z;
                selected = selected || dx * dx + dy * dy + dz * dz <= cutoffSq;
            }
            if (selected) expected += " " + std::to_string(i + 1) + " ";
        }
        std::string written;
        std::istringstream lines(
            neighbours(asa, points, static_cast<int>(points.size()), cutoffSq));
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("ATOM", 0) == 0) written += " " + std::to_string(std::stoi(line.substr(5, 6))) + " ";
        EXPECT_EQ(written, expected);
    }
}

struct CutoffCase {
    const char* what;
    InterfacePoint point;
    const char* x;
    const char* y;
    const char* z;
    bool written;
};

TEST(Findneighbour, SelectsAtomsUpToTheCutoffInclusive) {
    const CutoffCase cases[] = {
        {"coincident atom", {1.5f, 2.5f, 3.5f}, "1.500", "2.500", "3.500", true},
        {"exactly 4 A along x", {0.0f, 0.0f, 0.0f}, "4.000", "0.000", "0.000", true},
        {"exactly 4 A along -z", {0.0f, 0.0f, 0.0f}, "0.000", "0.000", "-4.000", true},
        {"exactly 4 A along y, off origin", {10.5f, -3.25f, 7.0f}, "10.500", "0.750", "7.000", true},
        {"one float step beyond 4 A", {0.0f, 0.0f, 0.0f}, "0.000", "4.0000005", "0.000", false},
        {"4.001 A away", {0.0f, 0.0f, 0.0f}, "4.001", "0.000", "0.000", false},
        {"diagonal, d2 = 17", {0.0f, 0.0f, 0.0f}, "2.000", "2.000", "3.000", false},
        {"diagonal, d2 = 9", {0.0f, 0.0f, 0.0f}, "1.000", "2.000", "2.000", true},
    };
    for (const CutoffCase& c : cases) {
        const std::string out =
            neighbours(asaLine(7, "CB", "LEU", 'A', 3, c.x, c.y, c.z), {c.point});
        EXPECT_EQ(out.rfind("ATOM", 0) == 0, c.written) << c.what << "\n" << out;
        EXPECT_TRUE(out.ends_with("END\n")) << c.what;
    }
}

TEST(Findneighbour, RecordColumnsForThreeLetterNames) {
    const std::string out = neighbours(asaLine(12, "CA", "ALA", 'A', 34, "11.104", "6.134", "-6.504"),
                                       {{11.0f, 6.0f, -6.5f}});
    const std::string record = "ATOM     12  CA  ALA A  34      11.104   6.134  -6.504\n";
    ASSERT_EQ(out, record + "END\n");
    // Columns counted from 1: the layout of a PDB ATOM record, which the
    // engine reads back.
    auto cols = [&](int from, int to) { return out.substr(from - 1, to - from + 1); };
    EXPECT_EQ(cols(1, 6), "ATOM  ");
    EXPECT_EQ(cols(7, 11), "   12");
    EXPECT_EQ(cols(13, 16), " CA ");
    EXPECT_EQ(cols(18, 20), "ALA");
    EXPECT_EQ(cols(22, 22), "A");
    EXPECT_EQ(cols(23, 26), "  34");
    EXPECT_EQ(cols(31, 38), "  11.104");
    EXPECT_EQ(cols(39, 46), "   6.134");
    EXPECT_EQ(cols(47, 54), "  -6.504");
}

TEST(Findneighbour, SubunitWithoutNeighboursStillEnds) {
    const std::string asa = asaLine(1, "N", "GLY", 'A', 1, "50.000", "50.000", "50.000");
    EXPECT_EQ(neighbours(asa, {{0.0f, 0.0f, 0.0f}}), "END\n");
    EXPECT_EQ(neighbours(asa, {}), "END\n");
}

TEST(Findneighbour, MissingAreaFileLeavesNoTrace) {
    ScopedWorkDir dir;
    {
        File out = openFile("ComplexP.pdb", "w");
        ASSERT_TRUE(out);
        findneighbour(out.get(), "ComplexA.asa", {{0.0f, 0.0f, 0.0f}}, 1, 16.0f);
    }
    EXPECT_EQ(readText("ComplexP.pdb"), "");
}

// Both subunits write to one stream: A's atoms, END, B's atoms, END, each in
// the order of its area file whatever the order of the points, and an atom
// near several points only once.
TEST(Findneighbour, TwoSubunitsShareOneFileInFileOrder) {
    ScopedWorkDir dir;
    writeText("ComplexA.asa", asaLine(1, "N", "MET", 'A', 1, "0.000", "0.000", "0.000") +
                                  asaLine(2, "CA", "MET", 'A', 1, "20.000", "0.000", "0.000") +
                                  asaLine(3, "C", "MET", 'A', 1, "40.000", "0.000", "0.000"));
    writeText("ComplexB.asa", asaLine(4, "N", "LYS", 'B', 5, "0.000", "9.000", "0.000") +
                                  asaLine(5, "CA", "LYS", 'B', 5, "0.000", "10.000", "0.000"));
    {
        File out = openFile("ComplexP.pdb", "w");
        ASSERT_TRUE(out);
        findneighbour(out.get(), "ComplexA.asa", {{40.0f, 1.0f, 0.0f}, {0.0f, 1.0f, 0.0f}}, 2,
                      16.0f);
        findneighbour(out.get(), "ComplexB.asa", {{0.0f, 9.5f, 0.0f}, {0.0f, 9.0f, 0.0f}}, 2,
                      16.0f);
    }
    EXPECT_EQ(readText("ComplexP.pdb"),
              "ATOM      1  N   MET A   1       0.000   0.000   0.000\n"
              "ATOM      3  C   MET A   1      40.000   0.000   0.000\n"
              "END\n"
              "ATOM      4  N   LYS B   5       0.000   9.000   0.000\n"
              "ATOM      5  CA  LYS B   5       0.000  10.000   0.000\n"
              "END\n");
}

TEST(Findneighbour, OnlyWellFormedAtomLinesAreRead) {
    const std::string asa =
        "HETATM    1  O   HOH W   1       0.000   0.000   0.000   30.00  1.40\n"
        "ATOM  this line does not parse\n"
        "REMARK 0 0 0\n" +
        asaLine(2, "CG", "GLU", 'A', 8, "1.000", "0.000", "0.000") +
        // The last line has no line end.
        "ATOM      3  CD  GLU A   8       2.000   0.000   0.000   12.00  1.80";
    EXPECT_EQ(neighbours(asa, {{0.0f, 0.0f, 0.0f}}),
              "ATOM      2  CG  GLU A   8       1.000   0.000   0.000\n"
              "ATOM      3  CD  GLU A   8       2.000   0.000   0.000\n"
              "END\n");
}

TEST(Findneighbour, OverlongNamesAreCutToFiveCharacters) {
    const std::string out =
        neighbours(asaLine(9, "ABCDEFGHIJ", "LONGNAME", 'A', 1, "0.000", "0.000", "0.000"),
                   {{0.0f, 0.0f, 0.0f}});
    EXPECT_EQ(out, "ATOM      9  ABCDE LONGN A   1       0.000   0.000   0.000\nEND\n");
}

// A record is what printf's conversions write for its fields, whatever they
// hold: the packing run reads the bytes back.
TEST(Findneighbour, RecordsAreThoseOfPrintf) {
    struct Row {
        const char* what;
        int serial;
        const char *atom, *res, *atomCut, *resCut;
        char chain;
        int resSeq;
        const char *x, *y, *z;
    } rows[] = {
        {"plain", 12, "CA", "ALA", "CA", "ALA", 'A', 34, "11.104", "6.134", "-6.504"},
        {"four-letter name", 1, "HD21", "ASN", "HD21", "ASN", 'B', 7, "0.000", "-0.000", "1.000"},
        {"names cut to five", 99999, "ABCDEFG", "LONGNAME", "ABCDE", "LONGN", 'z', -999,
         "-999.999", "9999.999", "0.5"},
        {"wide serial and residue", 1234567, "N", "GLY", "N", "GLY", '1', 123456, "1e3", "-1e3",
         "2.25"},
        {"ties and halves in float", -12, "O", "HOH", "O", "HOH", 'W', 0, "0.0005", "-0.0015",
         "0.0625"},
        {"wide coordinates", 3, "C", "LYS", "C", "LYS", 'A', 1, "123456789.5", "-98765432.1",
         "3.4e30"},
    };
    for (const Row& r : rows) {
        char asa[400];
        std::snprintf(asa, sizeof asa, "ATOM %d %s %s %c %d %s %s %s 10.00 1.80\n", r.serial,
                      r.atom, r.res, r.chain, r.resSeq, r.x, r.y, r.z);
        const float x = std::strtof(r.x, nullptr), y = std::strtof(r.y, nullptr),
                    z = std::strtof(r.z, nullptr);
        char want[400];
        std::snprintf(want, sizeof want, "ATOM %6d  %-3s %-3s %c%4d%12.3f%8.3f%8.3f\nEND\n",
                      r.serial, r.atomCut, r.resCut, r.chain, r.resSeq, x, y, z);
        EXPECT_EQ(neighbours(asa, {{x, y, z}}), want) << r.what;
    }
}

TEST(Findneighbour, AtomTableGrowsBeyond35000) {
    std::string asa;
    const int atoms = 36000;
    for (int i = 1; i <= atoms; ++i) asa += asaLine(i, "C", "ALA", 'A', i % 10000, "1.000", "1.000", "1.000");
    const std::string out = neighbours(asa, {{1.0f, 1.0f, 1.0f}});
    int records = 0;
    for (std::size_t at = out.find("ATOM"); at != std::string::npos; at = out.find("ATOM", at + 1))
        ++records;
    EXPECT_EQ(records, atoms);
    EXPECT_NE(out.find("ATOM  36000  C   ALA A6000"), std::string::npos);
}

TEST(Findneighbour, PointCountIsBoundedByTheTable) {
    const std::string asa = asaLine(1, "N", "GLY", 'A', 1, "0.000", "0.000", "0.000") +
                            asaLine(2, "CA", "GLY", 'A', 1, "30.000", "0.000", "0.000");
    // The second point is not in the table the count claims it is.
    EXPECT_EQ(neighbours(asa, {{0.0f, 0.0f, 0.0f}}, 2),
              "ATOM      1  N   GLY A   1       0.000   0.000   0.000\nEND\n");
    EXPECT_EQ(neighbours(asa, {{0.0f, 0.0f, 0.0f}}, -1), "END\n");
}

// computepack against the test engine, in a directory of its own.
class Computepack : public ::testing::Test {
protected:
    void SetUp() override {
        writeText("ComplexP_accall.input",
                  std::string("PDBFILE ComplexP.pdb\nVDWFILE ") + KAVZUR_FAKE_ENGINE_DIR +
                      "/vdw.radii\nSTDFILE " + KAVZUR_FAKE_ENGINE_DIR +
                      "/standard.data\nPROBE 0.40\nZSLICE 0.05\n");
        writeText("ComplexP.pdb", "");
    }
    // The area file the engine will "compute".
    void engineGives(const std::string& asa) { writeText("ComplexP.asa.fixture", asa); }

    ScopedWorkDir dir_;
};

const char* const kPackingMessage =
    "\nProblem in NACEESS program in computing interface packing ... KAV will be wrong\n";

struct PackCase {
    const char* what;
    std::string asa;
    double expected;
};

TEST_F(Computepack, VolumeOverTheSphereOfTheSameSurface) {
    // An atom of radius 3.5 with an area of 4 * (22/7) * 3.5^2 = 154 is its
    // own sphere: 1 exactly with pi = 22/7 (0.9994 with the exact pi).
    const std::string own = asaLine(1, "C", "ALA", 'A', 1, "0", "0", "0", "154.000", "3.50");
    const PackCase cases[] = {
        {"one atom, its own sphere", own, 1.0},
        {"two such atoms", own + own, 1.0 / std::sqrt(2.0)},
        // Radius 0: no volume, but its area counts in the surface.
        {"radius 0 adds area only",
         own + asaLine(2, "O", "ALA", 'A', 1, "0", "0", "0", "100.000", "0.00"),
         std::pow(154.0 / 254.0, 1.5)},
        {"HETATM and unparsable lines are not read",
         own + "HETATM    2  O   HOH W   1       0.000   0.000   0.000  100.00  1.40\n"
               "ATOM      3  O   HOH\n",
         1.0},
        {"last line without line end",
         own + "ATOM      2  O   ALA A   1   0   0   0 100.000  0.00", std::pow(154.0 / 254.0, 1.5)},
    };
    for (const PackCase& c : cases) {
        engineGives(c.asa);
        testing::internal::CaptureStdout();
        const float ratio = computepack(KAVZUR_FAKE_ENGINE_DIR);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << c.what;
        EXPECT_NEAR(ratio, c.expected, 2e-7) << c.what;
    }
}

TEST_F(Computepack, NoAtomsGiveNotANumber) {
    engineGives("HETATM    1  O   HOH W   1       0.000   0.000   0.000   30.00  1.40\n");
    EXPECT_TRUE(std::isnan(computepack(KAVZUR_FAKE_ENGINE_DIR)));
}

TEST_F(Computepack, FailedRunGivesZeroAndTheMessage) {
    engineGives(asaLine(1, "C", "ALA", 'A', 1, "0", "0", "0", "154.000", "3.50"));
    writeText("ComplexP.fail", "");
    testing::internal::CaptureStdout();
    const float ratio = computepack(KAVZUR_FAKE_ENGINE_DIR);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), kPackingMessage);
    EXPECT_EQ(ratio, 0.0f);
}

// An engine that cannot be started must not let an earlier run's log and
// areas pass for this structure's.
TEST_F(Computepack, StaleOutputIsNotTakenForANewRun) {
    writeText("ComplexP.log", " SOLVA: PROGRAM ENDS CORRECTLY\n");
    writeText("ComplexP.asa", asaLine(1, "C", "ALA", 'A', 1, "0", "0", "0", "154.000", "3.50"));
    testing::internal::CaptureStdout();
    const std::string engine = (dir_.path() / "no engine here").string();
    const float ratio = computepack(engine);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n" + engine + "/accall: cannot be started: No such file or directory" +
                  kPackingMessage);
    EXPECT_EQ(ratio, 0.0f);
}

}  // namespace
