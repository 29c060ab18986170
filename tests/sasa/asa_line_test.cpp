// The area-file reader without sscanf against sscanf itself: on every line
// the engine writes for the structures of tests/data, and on lines outside
// the engine's layout, which it must leave to sscanf.
#include "common/asa_line.h"
#include "sasa/accall_run.h"
#include "sasa/writers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
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

// Every field the same, floats to the bit.
void expectSameColumns(const asa::AsaColumns& mine, const asa::AsaColumns& theirs,
                       const std::string& line) {
    EXPECT_EQ(mine.serial, theirs.serial) << line;
    EXPECT_STREQ(mine.atomName, theirs.atomName) << line;
    EXPECT_STREQ(mine.resName, theirs.resName) << line;
    EXPECT_EQ(mine.chain, theirs.chain) << line;
    EXPECT_EQ(mine.resSeq, theirs.resSeq) << line;
    for (auto [a, b] : {std::pair{mine.x, theirs.x}, {mine.y, theirs.y}, {mine.z, theirs.z},
                        {mine.area, theirs.area}, {mine.radius, theirs.radius}})
        EXPECT_TRUE(sameFloat(a, b)) << line;
}

// A regular line gives sscanf's ten fields.
void expectAsScanf(const std::string& line) {
    asa::AsaColumns mine, theirs;
    if (!asa::readAsaColumns(line.c_str(), mine)) return;
    ASSERT_EQ(scanAll(line.c_str(), theirs), 10) << line;
    expectSameColumns(mine, theirs, line);
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

// The lines the engine in the process hands the stages are made from the
// numbers: each must be what the line written for them reads as, field for
// field and bit for bit (and its coordinates what strtod reads), and there
// must be none where the line is not read.
void expectAsItsLine(const std::string& head, double x, double y, double z, double area,
                     double radius) {
    sasa::PdbAtom atom;
    std::memcpy(atom.head.data(), head.data(), atom.head.size());
    atom.x = x;
    atom.y = y;
    atom.z = z;
    const std::string line = sasa::asaLine(atom, area, radius);
    asa::HeldLine held;
    asa::AsaColumns read;
    const bool fromNumbers = sasa::heldLine(atom, area, radius, held);
    ASSERT_EQ(fromNumbers, asa::readAsaColumns(line.c_str(), read)) << line;
    if (!fromNumbers) return;
    // The coordinates as the engine reads the line as an atom record.
    for (auto [value, from] : {std::pair{held.x, 30}, {held.y, 38}, {held.z, 46}}) {
        const double decimal = std::strtod(line.substr(from, 8).c_str(), nullptr);
        EXPECT_EQ(std::memcmp(&value, &decimal, sizeof value), 0) << line;
    }
    expectSameColumns(held.columns, read, line);
}

TEST(AsaColumns, RecordsFromTheNumbersAreWhatTheirLinesRead) {
    const std::string head = "ATOM      1  N   MET A   1    ";
    const struct {
        const char* what;
        std::string head;
        double x, y, z, area, radius;
    } rows[] = {
        {"an ordinary atom", head, 27.34, 24.43, 2.614, 8.123, 1.65},
        {"x filling its columns", head, 9999.999, 1.0, 1.0, 1.0, 1.8},
        {"y filling its columns runs on from x", head, 1.0, 1000.0, 1.0, 1.0, 1.8},
        {"y rounding up into the next column", head, 1.0, 999.9995, 1.0, 1.0, 1.8},
        {"y just below it", head, 1.0, 999.9994, 1.0, 1.0, 1.8},
        {"z filling its columns", head, 1.0, 1.0, 1234.5, 1.0, 1.8},
        {"negative coordinates filling their columns", head, -999.999, -999.999, -999.999,
         0.0, 1.8},
        {"negative zeros and values rounding to them", head, -0.0, -0.0004, -0.0005, 0.0, 1.8},
        {"binary ties at the third decimal", head, 0.0625, -0.1875, 2.5625, 0.3125, 1.125},
        {"an area filling its columns", head, 1.0, 1.0, 1.0, 1000.0, 1.8},
        {"the largest area with a blank before it", head, 1.0, 1.0, 1.0, 999.999, 1.8},
        {"a radius filling its columns", head, 1.0, 1.0, 1.0, 1.0, 99.99},
        {"a radius rounding up to 10.00", head, 1.0, 1.0, 1.0, 1.0, 9.999},
        {"a HETATM record", "HETATM    1  O   HOH A   1    ", 1.0, 1.0, 1.0, 1.0, 1.4},
        {"an insertion code", "ATOM      1  N   MET A   1A   ", 1.0, 1.0, 1.0, 1.0, 1.65},
        {"a blank chain", "ATOM      1  N   MET     1    ", 1.0, 1.0, 1.0, 1.0, 1.65},
        {"a name with a blank inside", "ATOM      1 C A  MET A   1    ", 1.0, 1.0, 1.0, 1.0,
         1.65},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        expectAsItsLine(r.head, r.x, r.y, r.z, r.area, r.radius);
    }
    // And numbers of every size the columns hold, and some they do not.
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> coordinate(-1100.0, 10100.0), area(0.0, 1100.0),
        radius(0.0, 12.0);
    for (int i = 0; i < 200000; ++i) {
        const double scale = i % 3 == 0 ? 1.0 : i % 3 == 1 ? 0.1 : 0.001;
        expectAsItsLine(head, coordinate(random) * scale, coordinate(random) * scale,
                        coordinate(random), area(random) * scale, radius(random));
        if (HasFatalFailure()) return;
    }
}

}  // namespace
