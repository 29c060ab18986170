// Reading structures, writing the engine's PDB records, the chain layouts and
// the chains in contact.
#include "input/contacts.h"
#include "input/input_structure.h"
#include "input/pdb_writer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

InputStructure read(const std::string& path) {
    InputStructure s;
    std::string why;
    EXPECT_TRUE(readStructure(path, 0, s, why)) << path << ": " << why;
    return s;
}

// Every pair of chains with two contact atoms within `d`, atom by atom.
std::vector<std::pair<int, int>> touchingByAllPairs(const InputStructure& s, double d) {
    std::vector<std::pair<int, int>> pairs;
    const int n = static_cast<int>(s.chains.size());
    for (int c1 = 0; c1 < n; ++c1)
        for (int c2 = c1 + 1; c2 < n; ++c2) {
            bool touch = false;
            for (const InputAtom& a : s.atoms)
                for (const InputAtom& b : s.atoms) {
                    if (touch || a.chain != c1 || b.chain != c2 || a.hetero || b.hetero ||
                        a.element == "H" || b.element == "H")
                        continue;
                    const double x = a.x - b.x, y = a.y - b.y, z = a.z - b.z;
                    touch = x * x + y * y + z * z <= d * d;
                }
            if (touch) pairs.emplace_back(c1, c2);
        }
    return pairs;
}

TEST(Contacts, GridFindsThePairsThatAllAtomPairsFind) {
    const InputStructure s = read(KAVZUR_EXAMPLES "/4hhb.pdb");
    for (double d : {3.0, 5.0, 8.0}) EXPECT_EQ(touchingChains(s, d), touchingByAllPairs(s, d)) << d;
}

TEST(Contacts, SixTouchingPairsOf7CFN) {
    const InputStructure s = read(KAVZUR_TEST_DATA "/7CFN.cif.gz");
    ASSERT_EQ(s.chains, (std::vector<std::string>{"A", "B", "G", "N", "R"}));
    EXPECT_EQ(touchingChains(s),
              (std::vector<std::pair<int, int>>{{0, 1}, {0, 3}, {0, 4}, {1, 2}, {1, 3}, {1, 4}}));
}

InputAtom atomAt(int chain, double x, const char* element = "C", bool hetero = false) {
    InputAtom a;
    a.chain = chain;
    a.x = x;
    a.y = -0.5;  // across a cell boundary from the origin
    a.element = element;
    a.hetero = hetero;
    return a;
}

TEST(Contacts, RuleAtItsEdges) {
    struct Case {
        const char* what;
        InputAtom second;
        bool touch;
    };
    const Case cases[] = {
        {"exactly 5 A", atomAt(1, 5.0), true},
        {"just past 5 A", atomAt(1, 5.001), false},
        {"a neighbouring cell below zero", atomAt(1, -4.9), true},
        {"a hydrogen", atomAt(1, 1.0, "H"), false},
        {"a deuterium", atomAt(1, 1.0, "D"), false},
        {"a hetero atom", atomAt(1, 1.0, "C", true), false},
        {"the same chain", atomAt(0, 1.0), false},
    };
    for (const Case& c : cases) {
        InputStructure s;
        s.chains = {"A", "B"};
        s.atoms = {atomAt(0, 0.0), c.second};
        EXPECT_EQ(touchingChains(s).size(), c.touch ? 1u : 0u) << c.what;
    }
}

// Records written from a PDB file read back as that file's own columns 1-54
// and 77-78: names, altlocs, residues, chains and coordinates as they were.
TEST(PdbWriter, RecordsAsTheFileHoldsThem) {
    for (const char* file : {KAVZUR_TEST_DATA "/1ycr.pdb", KAVZUR_TEST_DATA "/2erl.pdb"}) {
        const InputStructure s = read(file);
        std::ifstream in(file);
        std::string line, record, why;
        std::size_t i = 0;
        while (std::getline(in, line) && i < s.atoms.size()) {
            if (line.rfind("ATOM", 0) != 0 && line.rfind("HETATM", 0) != 0) continue;
            const InputAtom& a = s.atoms[i++];
            const std::string& chain = s.chains[static_cast<std::size_t>(a.chain)];
            ASSERT_TRUE(formatAtomRecord(a, chain.empty() ? ' ' : chain[0], a.serial, record, why)) << why;
            EXPECT_EQ(record.substr(0, 54), line.substr(0, 54));
            EXPECT_EQ(record.substr(76, 2), line.substr(76, 2)) << line;
        }
        EXPECT_EQ(i, s.atoms.size()) << file;
    }
}

TEST(PdbWriter, CoordinatesOnlyWhereTheColumnsHoldThem) {
    const struct {
        double x;
        bool fits;
    } cases[] = {{9999.999, true}, {9999.9994, true}, {9999.9996, false}, {10000.0, false},
                 {-999.999, true}, {-999.9996, false}, {-1000.0, false}, {1e300, false}};
    for (const auto& c : cases) {
        InputAtom a = atomAt(0, c.x);
        a.name = " CA ";
        a.resName = "ALA";
        std::string record, why;
        EXPECT_EQ(formatAtomRecord(a, 'A', 1, record, why), c.fits) << c.x;
        if (c.fits) EXPECT_EQ(record.size(), 81u) << record;
        else EXPECT_NE(why.find("do not fit"), std::string::npos) << why;
    }
}

InputStructure named(std::vector<std::string> chains) {
    InputStructure s;
    s.chains = std::move(chains);
    for (std::size_t i = 0; i < s.chains.size(); ++i) s.atoms.push_back(atomAt(static_cast<int>(i), 0.0));
    return s;
}

TEST(Layout, LongNamesGetFreeIds) {
    ChainLayout layout;
    std::string why;
    const InputStructure s = named({"AA", "A", "BB", "B"});
    ASSERT_TRUE(layoutAllChains(s, layout, why));
    EXPECT_EQ(layout.idOf, (std::vector<char>{'C', 'A', 'D', 'B'}));
    EXPECT_EQ(layoutRenames(s, layout), "AA written as chain C. BB written as chain D. ");

    ASSERT_TRUE(layoutSides(s, {"B", "AA"}, {"BB"}, layout, why));
    EXPECT_EQ(layoutSidesText(s, layout), "AA,B:BB");
    EXPECT_EQ(layout.idOf, (std::vector<char>{'C', ' ', 'D', 'C'}));
    EXPECT_EQ(layout.passOf, (std::vector<int>{0, -1, 1, 0}));

    EXPECT_FALSE(layoutSides(s, {"A"}, {"E"}, layout, why));
    EXPECT_EQ(why, "no chain E (chains present: AA, A, BB, B)");
}

TEST(Layout, MoreLongNamesThanFreeIds) {
    std::vector<std::string> names;
    for (int i = 0; i < 63; ++i) names.push_back("L" + std::to_string(i));
    ChainLayout layout;
    std::string why;
    EXPECT_FALSE(layoutAllChains(named(names), layout, why));
    names.pop_back();
    EXPECT_TRUE(layoutAllChains(named(names), layout, why)) << why;
}

}  // namespace
