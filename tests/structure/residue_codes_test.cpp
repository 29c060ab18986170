#include "structure/residue_codes.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct CodeCase {
    const char* name;
    char code;
    int cls;
};

// The twenty standard residues and the odd names that the ordered tests
// must route correctly (PRO before PHE, LYS before LEU, THR before ARG...).
const CodeCase kCases[] = {
    {"ALA", 'A', 1},  {"CYS", 'C', 2},  {"ASP", 'D', 3},  {"GLU", 'E', 4},  {"PHE", 'F', 5},
    {"GLY", 'G', 6},  {"HIS", 'H', 7},  {"ILE", 'I', 8},  {"LYS", 'K', 9},  {"LEU", 'L', 10},
    {"MET", 'M', 11}, {"ASN", 'N', 12}, {"PRO", 'P', 13}, {"GLN", 'Q', 14}, {"ARG", 'R', 15},
    {"SER", 'S', 16}, {"THR", 'T', 17}, {"VAL", 'V', 18}, {"TRP", 'W', 19}, {"TYR", 'Y', 20},
    {"ASX", 'B', 21}, {"GLX", 'Z', 21}, {"UNK", 'x', 21}, {"ACE", 'B', 21}, {"MSE", 'M', 11},
    {"HOH", 'H', 7},  {"SEP", 'S', 16}, {"HYP", 'H', 7},  {"PCA", 'A', 1},  {"TPO", 'P', 13},
    {"PTR", 'F', 5},  {"NH2", 'T', 17}, {"ORN", 'Q', 14}, {"DAL", 'x', 21},
    // Names shorter than three characters read missing positions as blanks.
    {"", 'x', 21},    {"A", 'B', 21},   {"GA", 'Z', 21},  {"DA", 'x', 21},  {"C", 'C', 2},
};

TEST(ResidueCodes, NamesMapToCodeAndClass) {
    for (const CodeCase& c : kCases) {
        SCOPED_TRACE(std::string("residue '") + c.name + "'");
        EXPECT_EQ(getChar(c.name), c.code);
        EXPECT_EQ(ResID(getChar(c.name)), c.cls);
    }
}

TEST(ResidueCodes, OnlyTheFirstThreePositionsCount) {
    EXPECT_EQ(getChar("PROXYZ"), 'P');
    EXPECT_EQ(getChar("GLYA"), 'G');
}

TEST(ResidueCodes, EveryCharacterOutsideTheTwentyIsClass21) {
    const std::string standard = "ACDEFGHIKLMNPQRSTVWY";
    for (int c = 0; c < 256; ++c) {
        const char ch = static_cast<char>(c);
        const std::string::size_type at = standard.find(ch);
        const int expected = (c != 0 && at != std::string::npos) ? static_cast<int>(at) + 1 : 21;
        EXPECT_EQ(ResID(ch), expected) << "character code " << c;
    }
}

}  // namespace
