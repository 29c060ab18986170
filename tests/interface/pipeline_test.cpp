// SC_P end to end with the deterministic test engine: hand-made .asa files
// stand in for the engine's output on Complex, ComplexA and ComplexB.
#include "interface/pipeline.h"
#include "analysis/engine_link.h"

#include "asa_lines.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string kEngineDir = KAVZUR_FAKE_ENGINE_DIR;
const char* const kTooSmall = "\nInterface is too small to triangulate ... exiting ... \n";
const char* const kEngineProblem = "\nProblem in NACEESS program ... exiting\n";

// One atom of a subunit with its area alone and in the complex.
struct Atom {
    AsaAtom sub;
    float cpxArea;
};
using Subunit = std::vector<Atom>;

// Each test runs in a fresh working directory holding the control files the
// driver writes at start-up and three small structure files.
class Pipeline : public ::testing::Test {
protected:
    void SetUp() override {
        old_ = fs::current_path();
        std::string templ = (fs::temp_directory_path() / "kavzur_pipeline_XXXXXX").string();
        ASSERT_NE(mkdtemp(templ.data()), nullptr);
        dir_ = templ;
        fs::current_path(dir_);
        for (const char* stem : {"Complex", "ComplexA", "ComplexB", "ComplexP"}) {
            write(std::string(stem) + "_accall.input",
                  std::string("PDBFILE ") + stem + ".pdb\nVDWFILE " + kEngineDir +
                      "/vdw.radii\nSTDFILE " + kEngineDir +
                      "/standard.data\nPROBE 1.40\nZSLICE 0.05\n");
        }
        for (const char* name : {"Complex.pdb", "ComplexA.pdb", "ComplexB.pdb"})
            write(name, "structure file of the test\n");
    }
    void TearDown() override {
        fs::current_path(old_);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    static void write(const std::string& name, const std::string& text) {
        std::ofstream(name, std::ios::binary) << text;
    }

    // The engine's output for both subunits and for the complex (A's lines,
    // then B's).
    void setAsa(const Subunit& a, const Subunit& b) {
        std::string textA, textB, complex;
        int serial = 1;
        for (const Atom& atom : a) {
            textA += asaLine(serial, "CA", 'A', atom.sub);
            AsaAtom c = atom.sub;
            c.area = atom.cpxArea;
            complex += asaLine(serial++, "CA", 'A', c);
        }
        for (const Atom& atom : b) {
            textB += asaLine(serial, "CA", 'B', atom.sub);
            AsaAtom c = atom.sub;
            c.area = atom.cpxArea;
            complex += asaLine(serial++, "CA", 'B', c);
        }
        write("ComplexA.asa.fixture", textA);
        write("ComplexB.asa.fixture", textB);
        write("Complex.asa.fixture", complex);
    }

    struct Outcome {
        int result;
        ScoreSet scores;
        std::string out;
    };
    Outcome run() {
        Outcome o{};
        std::vector<InterfacePoint> points;
        points.reserve(10000);
        testing::internal::CaptureStdout();
        o.result = SC_P(points, o.scores, kEngineDir);
        o.out = testing::internal::GetCapturedStdout();
        return o;
    }

    static bool structureFilesGone() {
        for (const char* name : {"Complex.pdb", "ComplexA.pdb", "ComplexB.pdb", "ComplexP.pdb"})
            if (fs::exists(name)) return false;
        return true;
    }

private:
    fs::path old_, dir_;
};

// `count` atoms of residue `res`, each losing `loss` square angstroms, spread
// 1.6 A apart along x at height y.
Subunit line(const char* res, int count, float loss, float y, float z, int firstSeq = 1) {
    Subunit s;
    for (int i = 0; i < count; ++i)
        s.push_back({{res, firstSeq + i, 1.6f * static_cast<float>(i), y, z, 20.0f + loss}, 20.0f});
    return s;
}

Subunit join(std::initializer_list<Subunit> parts) {
    Subunit all;
    for (const Subunit& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// A patch of 8 x 8 atoms 1.6 A apart in a plane at height z, one residue
// kind per quadrant so that the class centroids span the interface, with a
// total loss of 8 x 8 x `loss`.
Subunit patch(const char* const res[4], float z, float loss = 5.0f, int firstSeq = 1) {
    Subunit s;
    int seq = firstSeq;
    for (int j = 0; j < 8; ++j)
        for (int i = 0; i < 8; ++i) {
            const char* r = res[(i >= 4 ? 1 : 0) + (j >= 4 ? 2 : 0)];
            // A slight ripple keeps the patch from being exactly flat.
            const float ripple = 0.3f * static_cast<float>((i * 3 + j * 5) % 4);
            s.push_back({{r, seq++, 1.6f * static_cast<float>(i), 1.6f * static_cast<float>(j),
                          z + ripple, 20.0f + loss},
                         20.0f});
        }
    return s;
}

const char* const kResA[4] = {"ALA", "GLY", "SER", "LYS"};
const char* const kResB[4] = {"ASP", "GLU", "PHE", "TYR"};

TEST_F(Pipeline, EngineFailureOnAnyRunGivesMinusOne) {
    setAsa(patch(kResA, 0), patch(kResB, 5));
    for (const char* failing : {"Complex.fail", "ComplexA.fail", "ComplexB.fail"}) {
        for (const char* name : {"Complex.pdb", "ComplexA.pdb", "ComplexB.pdb"})
            write(name, "structure file of the test\n");
        for (const char* log : {"Complex.log", "ComplexA.log", "ComplexB.log"}) fs::remove(log);
        write(failing, "");
        const Outcome o = run();
        fs::remove(failing);
        EXPECT_EQ(o.result, -1) << failing;
        EXPECT_EQ(o.out, kEngineProblem) << failing;
        EXPECT_TRUE(structureFilesGone()) << failing;
        // A failing run stops the call: no later run is made.
        if (std::string(failing) == "ComplexA.fail") {
            EXPECT_FALSE(fs::exists("ComplexB.log"));
        }
    }
}

TEST_F(Pipeline, EngineThatCannotStartGivesMinusOne) {
    std::vector<InterfacePoint> points;
    ScoreSet scores;
    testing::internal::CaptureStdout();
    const int result = SC_P(points, scores, "/nonexistent/engine/dir");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, -1);
    // Why the engine did not run, then the structure's message.
    EXPECT_EQ(out, "\n/nonexistent/engine/dir/accall: cannot be started: No such file or directory" +
                       std::string(kEngineProblem));
    EXPECT_TRUE(structureFilesGone());
}

TEST_F(Pipeline, PackingFileThatCannotBeCreatedGivesMinusTwo) {
    setAsa(patch(kResA, 0), patch(kResB, 5));
    fs::create_directory("ComplexP.pdb");
    const Outcome o = run();
    EXPECT_EQ(o.result, -2);
    EXPECT_EQ(o.out, "");
    EXPECT_FALSE(fs::exists("ComplexA.pdb"));
}

TEST_F(Pipeline, PackingFileThatCannotBeWrittenWholeGivesMinusTwo) {
    // A full disk: the packing atoms cannot be stored, so no KAV may be given.
    setAsa(patch(kResA, 0), patch(kResB, 5, 4.0f, 101));
    fs::create_symlink("/dev/full", "ComplexP.pdb");
    const Outcome o = run();
    EXPECT_EQ(o.result, -2);
    EXPECT_EQ(o.out, "");
    EXPECT_TRUE(structureFilesGone());
    EXPECT_FALSE(fs::exists("ComplexP.asa"));
}

TEST_F(Pipeline, MismatchedResidueGivesMinusThreeAndRemovesTheStructureFiles) {
    Subunit a = patch(kResA, 0);
    setAsa(a, patch(kResB, 5));
    // The subunit file names residue 99 where the complex has residue 13.
    a[12].sub.resSeq = 99;
    std::string textA;
    for (std::size_t i = 0; i < a.size(); ++i)
        textA += asaLine(static_cast<int>(i + 1), "CA", 'A', a[i].sub);
    write("ComplexA.asa.fixture", textA);
    const Outcome o = run();
    EXPECT_EQ(o.result, -3);
    EXPECT_EQ(o.out, "");
    EXPECT_TRUE(structureFilesGone());
}

TEST_F(Pipeline, SizeTestOnSubunitA) {
    struct Case {
        const char* name;
        Subunit a;
        int result;  // -4: too small; -5: passed the size test, then no reference triple
        float buried;
    };
    // One residue kind gives no reference triple, so a structure that
    // passes the size test stops at -5 instead of -4.
    const std::vector<Case> cases = {
        {"4 atoms, 100.0 A2", line("ALA", 4, 25.0f, 0, 0), -5, 100.0f},
        {"3 atoms, 120.0 A2", line("ALA", 3, 40.0f, 0, 0), -4, 120.0f},
        {"4 atoms, just under 100", join({line("ALA", 3, 25.0f, 0, 0), line("ALA", 1, 24.99f, 0, 0, 4)}),
         -4, 75.0f + (std::strtof("44.990", nullptr) - 20.0f)},
        {"no interface at all", line("ALA", 6, 0.0f, 0, 0), -4, 0.0f},
    };
    for (const Case& c : cases) {
        for (const char* name : {"Complex.pdb", "ComplexA.pdb", "ComplexB.pdb"})
            write(name, "structure file of the test\n");
        setAsa(c.a, patch(kResB, 5));
        const Outcome o = run();
        EXPECT_EQ(o.result, c.result) << c.name;
        EXPECT_EQ(o.out, kTooSmall) << c.name;
        EXPECT_EQ(o.scores.buriedAreaA, c.buried) << c.name;
        EXPECT_EQ(o.scores.buriedAreaB, 0.0f) << c.name;
        EXPECT_TRUE(structureFilesGone()) << c.name;
    }
}

TEST_F(Pipeline, NonStandardResiduesCountInTheSizeTestButGiveNoTriple) {
    // Five UNK atoms: n and the buried area pass, slot 0 alone has a centroid.
    setAsa(line("UNK", 5, 30.0f, 0, 0), patch(kResB, 5));
    const Outcome o = run();
    EXPECT_EQ(o.result, -5);
    EXPECT_EQ(o.out, kTooSmall);
    EXPECT_EQ(o.scores.buriedAreaA, 150.0f);
}

TEST_F(Pipeline, SuccessfulCallScoresBothSubunits) {
    setAsa(patch(kResA, 0), patch(kResB, 5, 4.0f, 101));
    const Outcome o = run();
    EXPECT_EQ(o.result, 128);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.scores.buriedAreaA, 64 * 5.0f);
    EXPECT_EQ(o.scores.buriedAreaB, 64 * 4.0f);
    EXPECT_TRUE(std::isfinite(o.scores.packingSum));
    EXPECT_GT(o.scores.packingSum, 0.0f);
    EXPECT_TRUE(std::isfinite(o.scores.complementaritySum));
    EXPECT_GT(o.scores.complementaritySum, 0.0f);
    // Nothing is removed on success; ComplexP.pdb holds A's block, then B's.
    EXPECT_TRUE(fs::exists("Complex.pdb"));
    std::ifstream packing("ComplexP.pdb");
    int atoms = 0, ends = 0;
    for (std::string l; std::getline(packing, l);) {
        if (l.rfind("ATOM", 0) == 0) ++atoms;
        if (l == "END") ++ends;
    }
    EXPECT_EQ(atoms, 128);
    EXPECT_EQ(ends, 2);
}

TEST_F(Pipeline, SmallestPassingInterfacesGiveEight) {
    // Four atoms of four residue kinds, 100.0 A2 in all, on each side.
    const Subunit a = {{{"ALA", 1, 0, 0, 0, 45}, 20},
                       {{"GLY", 2, 4, 0, 0, 45}, 20},
                       {{"SER", 3, 0, 4, 0, 45}, 20},
                       {{"LYS", 4, 4, 4, 0.5f, 45}, 20}};
    Subunit b = a;
    for (Atom& atom : b) atom.sub.z += 4.0f;
    setAsa(a, b);
    const Outcome o = run();
    EXPECT_EQ(o.result, 8);
    EXPECT_EQ(o.scores.buriedAreaA, 100.0f);
    EXPECT_EQ(o.scores.buriedAreaB, 100.0f);
    EXPECT_TRUE(std::isfinite(o.scores.packingSum));
    EXPECT_TRUE(std::isfinite(o.scores.complementaritySum));
}

TEST_F(Pipeline, SubunitBPairsWithTheComplexLinesAfterA) {
    // B's residues differ from A's: pairing B with the complex from its start
    // would be a mismatch (-3). B also has an atom that loses nothing.
    Subunit b = patch(kResB, 5, 4.0f, 101);
    b.push_back({{"TRP", 300, 0, 0, 9, 20.0f}, 20.0f});
    setAsa(patch(kResA, 0), b);
    const Outcome o = run();
    EXPECT_EQ(o.result, 128);
    EXPECT_EQ(o.scores.buriedAreaB, 256.0f);
}

TEST_F(Pipeline, SubunitBTooSmallAfterAPassedKeepsBothBuriedAreas) {
    const Subunit b = join({line("ASP", 3, 33.33f, 0, 5), line("GLU", 1, 0.0f, 0, 5, 4)});
    setAsa(patch(kResA, 0), b);
    const Outcome o = run();
    EXPECT_EQ(o.result, -4);
    EXPECT_EQ(o.out, kTooSmall);
    EXPECT_EQ(o.scores.buriedAreaA, 320.0f);
    EXPECT_NEAR(o.scores.buriedAreaB, 99.99f, 1e-3f);
    EXPECT_LT(o.scores.buriedAreaB, 100.0f);
    EXPECT_EQ(o.scores.packingSum, 0.0f);
    EXPECT_EQ(o.scores.complementaritySum, 0.0f);
    EXPECT_TRUE(structureFilesGone());
}

TEST_F(Pipeline, OverfullGridCellGivesMinusSixWithTheTriangulationsMessageOnly) {
    // Twenty atoms within 0.1 A fall into one 3 A cell.
    Subunit a = patch(kResA, 0);
    for (int i = 0; i < 20; ++i)
        a.push_back({{"MET", 200 + i, 20.0f + 0.005f * static_cast<float>(i), 20.0f, 0.0f, 25.0f},
                     20.0f});
    setAsa(a, patch(kResB, 5, 4.0f, 101));
    const Outcome o = run();
    EXPECT_EQ(o.result, -6);
    EXPECT_EQ(o.out, "\nTechnical Problem. May be short contact in your structure.");
    EXPECT_TRUE(structureFilesGone());
}

}  // namespace
