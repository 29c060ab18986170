#include "sasa/pdb_reader.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// An atom record with the given name (columns 13-16), altloc, residue,
// chain, number and element; coordinates x, 0, 0.
std::string record(const char* kind, const char* name, char altLoc, const char* res, char chain,
                   int number, double x, const char* element = "") {
    char line[96];
    std::snprintf(line, sizeof line, "%-6s%5d %-4.4s%c%3.3s %c%4d    %8.3f%8.3f%8.3f  1.00  0.00          %2s",
                  kind, number, name, altLoc, res, chain, number, x, 0.0, 0.0, element);
    return line;
}

sasa::PdbResult read(const std::string& text, bool het = false, bool wat = false, bool hyd = false) {
    std::istringstream in(text);
    sasa::ReadOptions o;
    o.hetatoms = het;
    o.waters = wat;
    o.hydrogens = hyd;
    return sasa::readPdb(in, o);
}

std::vector<std::string> names(const sasa::PdbResult& r) {
    std::vector<std::string> out;
    for (const auto& a : r.atoms) out.push_back(sasa::atomName(a) + "/" + sasa::residueName(a));
    return out;
}

TEST(PdbReader, RecordKindsFollowTheFlags) {
    const std::string text = record("ATOM", " CA ", ' ', "ALA", 'A', 1, 1) + "\n" +
                             record("HETATM", " C1 ", ' ', "NAG", 'A', 2, 2) + "\n" +
                             record("HETATM", " O  ", ' ', "HOH", 'A', 3, 3) + "\n" +
                             record("ATOM", " O  ", ' ', "HOH", 'A', 4, 4) + "\n" +
                             "TER\nREMARK ATOM-like text is no atom\n";
    const struct {
        bool het, wat;
        std::vector<std::string> expected;
    } cases[] = {
        {false, false, {"CA/ALA"}},
        {true, false, {"CA/ALA", "C1/NAG"}},
        {false, true, {"CA/ALA", "O/HOH", "O/HOH"}},  // waters whatever their record
        {true, true, {"CA/ALA", "C1/NAG", "O/HOH", "O/HOH"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.het) + std::to_string(c.wat));
        const auto r = read(text, c.het, c.wat);
        ASSERT_EQ(r.error, "");
        EXPECT_EQ(names(r), c.expected);
    }
}

TEST(PdbReader, HydrogensByElementOrByName) {
    const struct {
        const char* name;
        const char* element;
        bool hydrogen;
    } cases[] = {
        {" H  ", "H", true},   {" CA ", "C", false},  {" HG ", "HG", false},  // mercury
        {" D  ", "D", true},   {"HG21", "", true},    {" HA ", "", true},
        {"1HB ", "", true},    {"2HD1", "", true},    {" QB ", "", true},
        {" DA ", "", true},    {" CA ", "", false},   {"HG  ", "", false},   // mercury by name
        {" N  ", "", false},   {" OH ", "", false},   {"HE  ", "", false},
        {" NH1", "", false},   {"H   ", "", false},   {" H  ", " h", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("'") + c.name + "' '" + c.element + "'");
        EXPECT_EQ(sasa::isHydrogen(record("ATOM", c.name, ' ', "ALA", 'A', 1, 0, c.element)),
                  c.hydrogen);
    }
    const std::string text = record("ATOM", " N  ", ' ', "ALA", 'A', 1, 0, "N") + "\n" +
                             record("ATOM", " H  ", ' ', "ALA", 'A', 1, 1, "H") + "\n" +
                             record("ATOM", "1HB ", ' ', "ALA", 'A', 1, 2) + "\n";
    EXPECT_EQ(read(text).atoms.size(), 1u);
    const auto withH = read(text, false, false, true);
    ASSERT_EQ(withH.atoms.size(), 3u);
    EXPECT_TRUE(withH.atoms[1].hydrogen && withH.atoms[2].hydrogen);
}

TEST(PdbReader, OnlyTheFirstModel) {
    const std::string text = "MODEL        1\n" + record("ATOM", " CA ", ' ', "GLY", 'A', 1, 1) +
                             "\nENDMDL\nMODEL        2\n" +
                             record("ATOM", " CA ", ' ', "GLY", 'A', 1, 1.5) + "\nENDMDL\n";
    const auto r = read(text);
    ASSERT_EQ(r.atoms.size(), 1u);
    EXPECT_DOUBLE_EQ(r.atoms[0].x, 1.0);
    // Without ENDMDL records the next MODEL ends the first.
    const std::string bare = "MODEL        1\n" + record("ATOM", " CA ", ' ', "GLY", 'A', 1, 1) +
                             "\nMODEL        2\n" + record("ATOM", " CA ", ' ', "GLY", 'A', 1, 1.5) + "\n";
    EXPECT_EQ(read(bare).atoms.size(), 1u);
}

TEST(PdbReader, AlternateLocationsKeepBlankAndFirstMetPerResidue) {
    const std::string text =
        record("ATOM", " N  ", ' ', "SER", 'A', 1, 1) + "\n" +
        record("ATOM", " CB ", 'B', "SER", 'A', 1, 2) + "\n" +  // first met in residue 1: B
        record("ATOM", " CB ", 'A', "SER", 'A', 1, 3) + "\n" +
        record("ATOM", " OG ", 'B', "SER", 'A', 1, 4) + "\n" +
        record("ATOM", " OG ", 'C', "SER", 'A', 1, 5) + "\n" +
        record("ATOM", " CA ", 'A', "THR", 'A', 2, 6) + "\n" +  // new residue: A again
        record("ATOM", " CA ", 'B', "VAL", 'A', 2, 7) + "\n" +  // other name, same position
        record("ATOM", " C  ", ' ', "THR", 'A', 2, 8) + "\n" +
        record("ATOM", " CA ", 'B', "GLY", 'B', 2, 9) + "\n";   // other chain: a new residue
    const auto r = read(text);
    ASSERT_EQ(r.error, "");
    std::vector<double> xs;
    for (const auto& a : r.atoms) xs.push_back(a.x);
    EXPECT_EQ(xs, (std::vector<double>{1, 2, 4, 6, 8, 9}));
    // The .asa repeats the record's columns, altloc indicator included.
    EXPECT_EQ(r.atoms[1].head[16], 'B');
}

TEST(PdbReader, KeepsColumnsOneToThirtyAndTheElement) {
    const std::string line = record("ATOM", " CA ", ' ', "LYS", 'X', 1234, -12.5, "C");
    const auto r = read(line + "\r\n");  // CRLF line ends are accepted
    ASSERT_EQ(r.atoms.size(), 1u);
    EXPECT_EQ(std::string(r.atoms[0].head.data(), 30), line.substr(0, 30));
    EXPECT_EQ(std::string(r.atoms[0].element.data()), "C");
    EXPECT_EQ(sasa::chainId(r.atoms[0]), 'X');
    EXPECT_EQ(r.atoms[0].line, 1);
}

TEST(PdbReader, ElementColumnsCountOnlyWithAnElementSymbol) {
    const struct {
        const char* field;
        const char* element;
    } cases[] = {{"28", ""}, {"B1", ""}, {"XX", ""}, {"fe", "FE"}, {" N", "N"}, {"D ", "D"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        const auto r = read(record("ATOM", " HB ", ' ', "ALA", 'A', 1, 1, c.field) + "\n", false,
                            false, true);
        ASSERT_EQ(r.atoms.size(), 1u);
        EXPECT_EQ(std::string(r.atoms[0].element.data()), c.element);
    }
    // With no element symbol the name decides: " HB " is a hydrogen.
    EXPECT_TRUE(sasa::isHydrogen(record("ATOM", " HB ", ' ', "ALA", 'A', 1, 0, "28")));
    EXPECT_FALSE(sasa::isHydrogen(record("ATOM", " HB ", ' ', "ALA", 'A', 1, 0, "N")));
}

TEST(PdbReader, MalformedInputIsAnErrorNamingTheLine) {
    const std::string good = record("ATOM", " CA ", ' ', "ALA", 'A', 1, 1);
    std::string badX = good;
    badX.replace(30, 8, "  1.2.3 ");
    std::string blankY = good;
    blankY.replace(38, 8, "        ");
    std::string infZ = good;
    infZ.replace(46, 8, "     inf");
    std::string huge = good;
    huge.replace(30, 8, "   1e300");
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {good + "\n" + badX + "\n", "line 2: unreadable coordinates '  1.2.3    0.000   0.000'"},
        {blankY + "\n", "line 1: unreadable coordinates '   1.000           0.000'"},
        {infZ + "\n", "line 1: unreadable coordinates '   1.000   0.000     inf'"},
        {huge + "\n", "line 1: unreadable coordinates '   1e300   0.000   0.000'"},
        {good.substr(0, 50) + "\n", "line 1: atom record too short for its coordinates (columns 31-54)"},
        {"HEADER nothing\nEND\n", "no atoms to measure"},
        {"", "no atoms to measure"},
        // Atoms that are all left out leave nothing to measure.
        {record("HETATM", " O  ", ' ', "HOH", 'A', 1, 1) + "\n", "no atoms to measure"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto r = read(c.text);
        EXPECT_EQ(r.error, c.error);
    }
}

TEST(PdbReader, MissingFileIsAnError) {
    EXPECT_EQ(sasa::readPdb("/nonexistent/x.pdb", {}).error, "cannot open /nonexistent/x.pdb");
}

}  // namespace
