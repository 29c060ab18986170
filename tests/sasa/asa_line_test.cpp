// The area-file reader without sscanf against sscanf itself: on every line
// the engine writes for the structures of tests/data, and on lines outside
// the engine's layout, which it must leave to sscanf.
#include "common/asa_line.h"
#include "sasa/accall_run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

bool sameFloat(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Every field of the call sites' formats, read by sscanf; the number assigned.
int scanAll(const char* line, asa::AsaColumns& c) {
    char name[100] = {}, res[100] = {};
    const int n = std::sscanf(line, "%*s %d %99s %99s %c %d %f %f %f %f %f", &c.serial, name, res,
                              &c.chain, &c.resSeq, &c.x, &c.y, &c.z, &c.area, &c.radius);
    std::snprintf(c.atomName, sizeof c.atomName, "%s", name);
    std::snprintf(c.resName, sizeof c.resName, "%s", res);
    return n;
}

// A regular line gives sscanf's ten fields, floats to the bit.
void expectAsScanf(const std::string& line) {
    asa::AsaColumns mine, theirs;
    if (!asa::readAsaColumns(line.c_str(), mine)) return;
    ASSERT_EQ(scanAll(line.c_str(), theirs), 10) << line;
    EXPECT_EQ(mine.serial, theirs.serial) << line;
    EXPECT_STREQ(mine.atomName, theirs.atomName) << line;
    EXPECT_STREQ(mine.resName, theirs.resName) << line;
    EXPECT_EQ(mine.chain, theirs.chain) << line;
    EXPECT_EQ(mine.resSeq, theirs.resSeq) << line;
    for (auto [a, b] : {std::pair{mine.x, theirs.x}, {mine.y, theirs.y}, {mine.z, theirs.z},
                        {mine.area, theirs.area}, {mine.radius, theirs.radius}})
        EXPECT_TRUE(sameFloat(a, b)) << line;
}

TEST(AsaColumns, EveryEngineLineReadsAsScanfReadsIt) {
    std::vector<fs::path> structures;
    for (const auto& e : fs::directory_iterator(SASA_TEST_DATA_DIR))
        if (e.path().extension() == ".pdb") structures.push_back(e.path());
    std::string pattern = (fs::temp_directory_path() / "asa-line-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path previous = fs::current_path();
    fs::current_path(pattern);
    std::size_t lines = 0, regular = 0;
    for (const fs::path& structure : structures) {
        // With hetero atoms, waters and hydrogens: every kind of record.
        for (const char* extra : {"", "HETATOMS\nWATERS\nHYDROGENS\n"}) {
            std::istringstream control("PDBFILE " + structure.string() + "\nPROBE 1.40\n" + extra);
            if (sasa::runJob(control, SASA_ENGINE_DIR) != 0) continue;
            std::ifstream in(sasa::outputStem(structure.string()) + ".asa");
            for (std::string line; std::getline(in, line);) {
                ++lines;
                asa::AsaColumns c;
                if (asa::readAsaColumns(line.c_str(), c)) ++regular;
                expectAsScanf(line);
                expectAsScanf(line + "\n");
            }
        }
    }
    fs::current_path(previous);
    fs::remove_all(pattern);
    EXPECT_GT(lines, 40000u);
    EXPECT_GT(regular, lines * 9 / 10);  // HETATM lines and insertion codes go to sscanf
}

TEST(AsaColumns, LinesOutsideTheLayoutAreLeftToScanf) {
    const std::string good = "ATOM      1  N   MET A   1      27.340  24.430   2.614   8.123  1.65";
    asa::AsaColumns c;
    ASSERT_TRUE(asa::readAsaColumns(good.c_str(), c));
    expectAsScanf(good);
    struct Case {
        const char* what;
        int column;  // from 1
        const char* text;
    };
    const Case cases[] = {
        {"HETATM record", 1, "HETATM"},
        {"insertion code", 27, "A"},
        {"alternate location", 17, "B"},
        {"blank chain", 22, " "},
        {"numbers that touch", 39, "1"},
        {"a tab in the name", 14, "\t"},
        {"a name with a blank inside", 13, "C A "},
        {"residue number with a plus", 24, "+"},
        {"no point", 35, "3"},
        {"text after the radius", 69, "0"},
    };
    for (const Case& k : cases) {
        std::string line = good;
        line.replace(k.column - 1, std::strlen(k.text), k.text);
        EXPECT_FALSE(asa::readAsaColumns(line.c_str(), c)) << k.what;
    }
    EXPECT_FALSE(asa::readAsaColumns(good.substr(0, 60).c_str(), c)) << "short line";
}

}  // namespace
