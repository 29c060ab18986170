// --report with the bundled engine on real structures: the files of every
// scored entry, checked against each other and against the scores they
// explain. (kav_zur-view is run by the PyMOL test.)
#include "run_program.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using testutil::readText;
using testutil::writeText;

const fs::path kData = fs::path(KAVZUR_SOURCE_DIR) / "tests/data";
const char* const kReportFiles[] = {"complex.pdb",   "interface.pdb", "residues.tsv",
                                    "surface_A.obj", "surface_B.obj", "pairs.tsv",
                                    "view.pml",      "view.cxc",      "summary.json"};

std::vector<std::vector<std::string>> tsvRows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::istringstream f(line);
        std::string field;
        while (std::getline(f, field, '\t')) fields.push_back(field);
        rows.push_back(fields);
    }
    return rows;
}

// The number after the n-th (from 0) "key": in a summary.
double jsonNumber(const std::string& json, const std::string& key, int n = 0) {
    std::size_t at = 0;
    for (int i = 0; i <= n; ++i) {
        at = json.find("\"" + key + "\": ", at);
        if (at == std::string::npos) return NAN;
        at += key.size() + 4;
    }
    return std::strtod(json.c_str() + at, nullptr);
}

// One run over 1ycr (under 1000 A2 buried), 1hpv (over: the large triangles
// count in the surface sums), a name with "../" and a missing file.
struct ReportRun {
    fs::path previous = fs::current_path();  // given back: tests share this run
    testutil::ScratchDir scratch;
    fs::path structures = scratch.parent() / "s";
    e2e::RunResult result;
    std::string plainScores;  // the score file of the same list without --report
    ReportRun() {
        fs::create_directory(structures);
        fs::copy_file(kData / "1ycr.pdb", structures / "1ycr.pdb");
        fs::copy_file(kData / "1hpv.pdb", structures / "1hpv.pdb");
        writeText("pdblist", "1ycr.pdb\nmissing.pdb\n../s/1hpv.pdb\n");
        e2e::runKavZur(scratch.work(), {"../s", KAVZUR_ENGINE_DIR});
        plainScores = readText("KAV_ZUr_score.txt");
        result = e2e::runKavZur(scratch.work(), {"--report", "out", "../s", KAVZUR_ENGINE_DIR});
        fs::current_path(previous);
    }
};

ReportRun& run() {
    static ReportRun shared;  // one run for all tests of a process
    return shared;
}

TEST(Report, ScoresAreThoseOfARunWithoutIt) {
    ASSERT_EQ(run().result.status, 0) << run().result.out << run().result.err;
    EXPECT_EQ(readText(run().scratch.work() / "KAV_ZUr_score.txt"), run().plainScores);
}

TEST(Report, OneCompleteFolderPerScoredEntryAndNoneElsewhere) {
    ASSERT_EQ(run().result.status, 0);
    const fs::path out = run().scratch.work() / "out";
    const std::vector<std::string> folders = testutil::listDir(out);
    ASSERT_EQ(folders.size(), 2u);  // the missing file has none
    EXPECT_EQ(folders[1], "1ycr.pdb");
    // "../s/1hpv.pdb" stays one folder inside out/, named apart from a plain 1hpv.pdb.
    EXPECT_EQ(folders[0].find('/'), std::string::npos);
    EXPECT_NE(folders[0].find("1hpv.pdb"), std::string::npos);
    EXPECT_NE(folders[0], "1hpv.pdb");
    for (const std::string& folder : folders)
        for (const char* file : kReportFiles)
            EXPECT_TRUE(fs::is_regular_file(out / folder / file)) << folder << "/" << file;
    EXPECT_EQ(testutil::listDir(run().scratch.parent()),
              (std::vector<std::string>{"s", "work"}));
}

class ReportFolder : public ::testing::TestWithParam<const char*> {
protected:
    fs::path folder() const {
        for (const std::string& f : testutil::listDir(run().scratch.work() / "out"))
            if (f.find(GetParam()) != std::string::npos) return run().scratch.work() / "out" / f;
        return {};
    }
    std::string file(const char* name) const { return readText(folder() / name); }
};

// interface.pdb's atoms of one side: coordinates and buried areas.
struct PdbAtom {
    double x, y, z, buried;
};
std::vector<PdbAtom> sideAtoms(const std::string& pdb, int side) {
    std::vector<PdbAtom> atoms;
    std::istringstream in(pdb);
    std::string line;
    int current = 0;
    while (std::getline(in, line)) {
        if (line.rfind("TER", 0) == 0) ++current;
        if (line.rfind("ATOM", 0) != 0 || current != side) continue;
        atoms.push_back({std::stod(line.substr(30, 8)), std::stod(line.substr(38, 8)),
                         std::stod(line.substr(46, 8)), std::stod(line.substr(60, 6))});
    }
    return atoms;
}

TEST_P(ReportFolder, MeshesHoldTheKeptTrianglesOverTheInterfaceAtoms) {
    const char* objs[2] = {"surface_A.obj", "surface_B.obj"};
    for (int side = 0; side < 2; ++side) {
        std::vector<std::array<double, 3>> atoms, vertices;
        for (const PdbAtom& a : sideAtoms(file("interface.pdb"), side)) atoms.push_back({a.x, a.y, a.z});
        std::istringstream in(file(objs[side]));
        std::size_t faces = 0, a, b, c;
        for (std::string tag, line; std::getline(in, line);) {
            std::istringstream words(line);
            if (words >> tag && tag == "v") {
                vertices.emplace_back();
                words >> vertices.back()[0] >> vertices.back()[1] >> vertices.back()[2];
            } else if (tag == "f" && words >> a >> b >> c) {
                EXPECT_TRUE(std::min({a, b, c}) >= 1 && std::max({a, b, c}) <= atoms.size());
                ++faces;
            }
        }
        EXPECT_EQ(vertices, atoms);
        const std::string summary = file("summary.json");
        EXPECT_EQ(faces, jsonNumber(summary, side ? "triangles_B" : "triangles_A"));
        EXPECT_EQ(faces, jsonNumber(summary, "triangles", side));
    }
}

TEST_P(ReportFolder, AtomAndResidueAreasSumToEachSidesBuriedArea) {
    const std::string summary = file("summary.json");
    const auto residues = tsvRows(file("residues.tsv"));
    for (int side = 0; side < 2; ++side) {
        const double buried = jsonNumber(summary, side ? "buried_B" : "buried_A");
        EXPECT_EQ(buried, jsonNumber(summary, "buried_area", side));
        const std::vector<PdbAtom> atoms = sideAtoms(file("interface.pdb"), side);
        double atomSum = 0.0;
        for (const PdbAtom& a : atoms) atomSum += a.buried;
        EXPECT_NEAR(atomSum, buried, 0.005 * atoms.size() + 0.01);

        double residueSum = 0.0;
        int residueAtoms = 0, count = 0;
        for (const auto& row : residues) {
            ASSERT_EQ(row.size(), 7u);
            if (row[0] != (side ? "B" : "A")) continue;
            residueAtoms += std::stoi(row[5]);
            residueSum += std::stod(row[6]);
            ++count;
        }
        EXPECT_EQ(static_cast<std::size_t>(residueAtoms), atoms.size());
        EXPECT_NEAR(residueSum, buried, 0.005 * count + 0.01);
    }
}

// The complementarity sum again, from the credited pairs: per triangle the
// smaller of its area and its partners' summed area, the larger direction's
// total over the smaller surface.
TEST_P(ReportFolder, CreditedPairsGiveTheComplementaritySum) {
    const std::string summary = file("summary.json");
    std::map<std::string, float> totals;
    std::string lastKey;
    float partners = 0.0f, area = 0.0f;
    auto credit = [&] {
        if (!lastKey.empty())
            totals[lastKey.substr(0, 3)] += partners > area ? area : partners;
    };
    for (const auto& row : tsvRows(file("pairs.tsv"))) {
        ASSERT_EQ(row.size(), 7u);
        const std::string key = row[0] + " " + row[1];
        if (key != lastKey) {
            credit();
            lastKey = key;
            partners = 0.0f;
            area = std::stof(row[3]);
        }
        partners += std::stof(row[4]);
    }
    credit();
    ASSERT_EQ(totals.size(), 2u);
    const float best = std::max(totals["A>B"], totals["B>A"]);
    const auto sA = static_cast<float>(jsonNumber(summary, "surface_sum", 0));
    const auto sB = static_cast<float>(jsonNumber(summary, "surface_sum", 1));
    const float sum = sA > sB ? best / sB : best / sA;
    EXPECT_EQ(sum, static_cast<float>(jsonNumber(summary, "complementarity")));
}

INSTANTIATE_TEST_SUITE_P(Entries, ReportFolder, ::testing::Values("1ycr.pdb", "1hpv.pdb"));

TEST(Report, UnusableDirectoryStopsTheRunBeforeAnyWork) {
    testutil::ScratchDir scratch;
    writeText("pdblist", "1ycr.pdb\n");
    for (const char* dir : {"pdblist/out", "/proc/kav_zur-report"}) {
        const e2e::RunResult result =
            e2e::runKavZur(scratch.work(), {"--report", dir, kData.string(), KAVZUR_ENGINE_DIR});
        EXPECT_EQ(result.status, 1) << dir;
        EXPECT_EQ(result.out, "") << dir;
        EXPECT_NE(result.err.find(dir), std::string::npos) << result.err;
        EXPECT_EQ(testutil::listDir(), (std::vector<std::string>{"pdblist"}));
    }
}

TEST(Report, AFolderThatCannotBeWrittenIsNamedAndTheScoreStays) {
    testutil::ScratchDir scratch;
    writeText("pdblist", "1ycr.pdb\n");
    writeText("out/1ycr.pdb", "a file where the folder would go\n");
    const e2e::RunResult result =
        e2e::runKavZur(scratch.work(), {"--report", "out", kData.string(), KAVZUR_ENGINE_DIR});
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.err.find("the report of 1ycr.pdb is incomplete"), std::string::npos)
        << result.err;
    // The header and 1ycr's line, as in the run of the list without --report.
    const std::string& plain = run().plainScores;
    EXPECT_EQ(readText("KAV_ZUr_score.txt"), plain.substr(0, plain.find('\n', plain.find("1ycr.pdb")) + 1));
}

// Two names of one folder name and hash (they differ only in characters
// that become '_') and a name outside UTF-8: a folder each, with -j 1 and
// -j 2 and again in a second run, each summary naming its entry in UTF-8.
TEST(Report, EveryEntryKeepsAFolderOfItsOwn) {
    // "x_______.pdb~575efac0" both.
    const std::string entries[] = {"x}}=)]=%.pdb", "x&#,)}]].pdb", "\xff" "1ycr.pdb"};
    const std::string named[] = {"x}}=)]=%.pdb", "x&#,)}]].pdb", "\\\\xff1ycr.pdb"};
    for (const char* jobs : {"1", "2"}) {
        SCOPED_TRACE(std::string("-j ") + jobs);
        testutil::ScratchDir scratch;
        const fs::path structures = scratch.parent() / "s";
        std::string list;
        for (const std::string& entry : entries) {
            fs::create_directories(structures);
            fs::copy_file(kData / "1ycr.pdb", structures / entry);
            list += entry + "\n";
        }
        writeText("pdblist", list);
        for (int round = 0; round < 2; ++round) {
            const e2e::RunResult result = e2e::runKavZur(
                scratch.work(), {"-j", jobs, "--report", "out", structures.string(), KAVZUR_ENGINE_DIR});
            ASSERT_EQ(result.status, 0) << result.err;
            const std::vector<std::string> folders = testutil::listDir("out");
            ASSERT_EQ(folders.size(), 3u) << round;
            std::set<std::string> names;
            for (const std::string& folder : folders) {
                const std::string summary = readText(fs::path("out") / folder / "summary.json");
                EXPECT_TRUE(std::all_of(summary.begin(), summary.end(),
                                        [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
                    << folder;
                for (const std::string& name : named)
                    if (summary.find("\"name\": \"" + name + "\"") != std::string::npos) names.insert(name);
            }
            EXPECT_EQ(names.size(), 3u) << round;
        }
    }
}

}  // namespace
