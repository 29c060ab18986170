// Assemblies and crystal copies as readStructureParts builds them: the
// numbering of symmetry operators against the REMARK 290 lists of real PDB
// files, the copies against operators worked out by hand (every model: the
// end-to-end tests).
#include "input/assembly.h"
#include "gzip_text.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kData = KAVZUR_TEST_DATA;

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// A triplet in one spelling: "1/2-x" and "-x+1/2" alike, as the sum of its
// terms per axis ("-x+1/2,y,z" is "-x+1/2|+y|+z").
std::string canonical(const std::string& triplet) {
    std::string out;
    std::stringstream parts(triplet);
    for (std::string part; std::getline(parts, part, ',');) {
        std::map<char, std::string> terms;  // 'x', 'y', 'z' and 'c' (the constant)
        std::size_t i = 0;
        while (i < part.size()) {
            std::string sign = "+";
            if (part[i] == '+' || part[i] == '-') sign = std::string(1, part[i++]);
            std::size_t end = i;
            while (end < part.size() && part[end] != '+' && part[end] != '-') ++end;
            const std::string term = part.substr(i, end - i);
            const char axis = term.size() == 1 && term[0] >= 'x' ? term[0] : 'c';
            terms[axis] = sign + term;
            i = end;
        }
        if (!out.empty()) out += "|";
        for (char axis : {'x', 'y', 'z', 'c'})
            if (terms.count(axis)) out += terms[axis];
    }
    return out;
}

// The space group of CRYST1 and the operators of REMARK 290, in order.
void symmetryOf(const std::string& text, std::string& group, std::vector<std::string>& ops) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("CRYST1", 0) == 0) {
            group = line.substr(55, 11);
            group.erase(group.find_last_not_of(' ') + 1);
        }
        std::istringstream words(line);
        std::string record, number, code, triplet;
        if (line.rfind("REMARK 290", 0) == 0 && (words >> record >> number >> code >> triplet) &&
            code.size() >= 4 && code.substr(code.size() - 3) == "555" &&
            code.substr(0, code.size() - 3) == std::to_string(ops.size() + 1))
            ops.push_back(canonical(lower(triplet)));
    }
}

// Files in the standard setting of their space group: the numbering is the
// International Tables' order, as the PDB lists it.
TEST(SymmetryOperators, NumberedAsPdbFilesNumberThem) {
    for (const char* file : {"1a1f.pdb", "1tii.pdb", "1ubq.pdb", "2erl.pdb", "2f8v.pdb", "3al1.pdb",
                             "2xhe.pdb.gz", "1ycr.pdb"}) {
        std::string group, why;
        std::vector<std::string> listed, numbered;
        symmetryOf(testutil::gzipFileText(kData + "/" + file), group, listed);
        ASSERT_FALSE(listed.empty()) << file;
        ASSERT_TRUE(spaceGroupOperators(group, numbered, why)) << file << ": " << why;
        for (std::string& op : numbered) op = canonical(op);
        EXPECT_EQ(numbered, listed) << file << " (" << group << ")";
    }
    std::vector<std::string> ops;
    std::string why;
    EXPECT_FALSE(spaceGroupOperators("P 9 9 9", ops, why));
    EXPECT_EQ(why, "space group 'P 9 9 9' is not known");
}

std::vector<std::string> pairNames(const StructurePart& part) {
    std::vector<std::string> names;
    for (const ChainPair& p : part.pairs) names.push_back(pairName(part.structure, p));
    return names;
}

// The atoms of one chain, by name.
std::vector<InputAtom> chainAtoms(const InputStructure& s, const std::string& chain) {
    std::vector<InputAtom> atoms;
    for (const InputAtom& a : s.atoms)
        if (s.chains[static_cast<std::size_t>(a.chain)] == chain) atoms.push_back(a);
    return atoms;
}

struct CopyCase {
    const char* file;
    const char* assemblyPair;  // the assembly's one pair
    const char* crystalPair;   // the same two chains among the crystal's interfaces
    const char* copy;          // the copy's chain in the assembly and in the crystal
    const char* crystalCopy;
};

// The assembly's operator 2 and the crystal copy named by the code the
// file gives for it (_pdbx_struct_oper_list.symmetry_operation) are one
// copy, atom for atom.
TEST(Assembly, CopyIsTheCrystalCopyOfItsCode) {
    const CopyCase cases[] = {{"1A7G.cif.gz", "E:E-2", "E:E 10_665", "E-2", "E 10_665"},
                              {"4CUP.cif.gz", "A:A-2", "A:A 3_655", "A-2", "A 3_655"}};
    for (const CopyCase& c : cases) {
        std::vector<StructurePart> assembly, crystal;
        std::string why;
        StructureChoice choice;
        choice.assembly = "1";
        choice.pairs = true;
        ASSERT_TRUE(readStructureParts(kData + "/" + c.file, choice, assembly, why)) << why;
        ASSERT_EQ(assembly.size(), 1u);
        EXPECT_EQ(pairNames(assembly[0]), std::vector<std::string>{c.assemblyPair});
        EXPECT_EQ(pairSides(assembly[0].structure, assembly[0].pairs[0]), c.assemblyPair);
        choice.assembly.clear();
        choice.crystal = true;
        ASSERT_TRUE(readStructureParts(kData + "/" + c.file, choice, crystal, why)) << why;
        ASSERT_EQ(crystal.size(), 1u);
        const std::vector<std::string> names = pairNames(crystal[0]);
        EXPECT_NE(std::find(names.begin(), names.end(), c.crystalPair), names.end()) << c.file;
        // Each interface once: no name twice.
        EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
        const std::vector<InputAtom> a = chainAtoms(assembly[0].structure, c.copy);
        const std::vector<InputAtom> b = chainAtoms(crystal[0].structure, c.crystalCopy);
        ASSERT_EQ(a.size(), b.size());
        ASSERT_FALSE(a.empty());
        for (std::size_t i = 0; i < a.size(); ++i) {
            EXPECT_NEAR(a[i].x, b[i].x, 1e-4) << c.file << " atom " << i;
            EXPECT_NEAR(a[i].y, b[i].y, 1e-4);
            EXPECT_NEAR(a[i].z, b[i].z, 1e-4);
        }
    }
}

// 1ake is in P 21 2 21, a setting whose numbering is not the rotation
// order of the standard one: the file's REMARK 290 list numbers the
// copies. Each copy is checked against the listed operator applied by
// hand (an orthogonal cell: fractional coordinates are x/a, y/b, z/c).
TEST(Crystal, CopiesFollowTheFilesOwnOperatorList) {
    const std::string path = kData + "/1ake.pdb";
    std::string group, why;
    std::vector<std::string> listed;
    symmetryOf(testutil::gzipFileText(path), group, listed);
    ASSERT_EQ(listed.size(), 4u);
    const double cell[3] = {73.2, 79.8, 85.0};
    StructureChoice choice;
    choice.crystal = true;
    choice.pairs = true;
    std::vector<StructurePart> parts;
    ASSERT_TRUE(readStructureParts(path, choice, parts, why)) << why;
    ASSERT_EQ(parts.size(), 1u);
    const InputStructure& s = parts[0].structure;
    int copies = 0;
    for (const ChainPair& p : parts[0].pairs) {
        const std::string& copy = s.chains[static_cast<std::size_t>(p.second)];
        const std::size_t blank = copy.find(' ');
        if (blank == std::string::npos) continue;  // two chains as written
        const std::string code = copy.substr(blank + 1);
        const int op = std::stoi(code.substr(0, code.find('_')));
        const std::string klm = code.substr(code.find('_') + 1);
        ASSERT_EQ(klm.size(), 3u) << code;
        // "-x+1/2|+y|-z" term by term.
        std::vector<std::string> terms;
        std::stringstream triplet(listed[static_cast<std::size_t>(op - 1)]);
        for (std::string t; std::getline(triplet, t, '|');) terms.push_back(t);
        ASSERT_EQ(terms.size(), 3u);
        const std::vector<InputAtom> from = chainAtoms(s, copy.substr(0, blank));
        const std::vector<InputAtom> to = chainAtoms(s, copy);
        ASSERT_EQ(from.size(), to.size());
        for (std::size_t i = 0; i < from.size(); i += 97) {
            const double f[3] = {from[i].x / cell[0], from[i].y / cell[1], from[i].z / cell[2]};
            const double got[3] = {to[i].x, to[i].y, to[i].z};
            for (int k = 0; k < 3; ++k) {
                const std::string& t = terms[static_cast<std::size_t>(k)];
                double v = 0.0;
                for (int axis = 0; axis < 3; ++axis) {
                    const std::size_t at = t.find("xyz"[axis]);
                    if (at != std::string::npos) v += (at > 0 && t[at - 1] == '-' ? -1.0 : 1.0) * f[axis];
                }
                if (t.find("1/2") != std::string::npos) v += 0.5;
                v += klm[static_cast<std::size_t>(k)] - '5';
                EXPECT_NEAR(got[k], v * cell[k], 2e-3) << code << " atom " << i << " axis " << k;
            }
        }
        ++copies;
    }
    EXPECT_GT(copies, 0);
}

// 1ycr's chains under cells and space groups of every kind: a group in the
// setting its cell fits gives copies whose every distance is that of the
// chain as written (rigid motions); a group its cell does not fit fails
// the entry, naming it, rather than shear the copies.
struct CellCase {
    const char* what;
    const char* cryst1;      // columns 7-80
    const char* remark290;   // the file's own operator list; "" for none
    std::size_t operators;   // the distinct operators the copies use, at most
    const char* why;         // "" when the crystal is built
};

const CellCase kCells[] = {
    {"R 3 on rhombohedral axes",
     "   60.000   60.000   60.000  80.00  80.00  80.00 R 3           3          ", "", 3, ""},
    {"R 3 on rhombohedral axes, with its REMARK 290",
     "   60.000   60.000   60.000  80.00  80.00  80.00 R 3           3          ",
     "REMARK 290      1555   X,Y,Z\nREMARK 290      2555   Z,X,Y\nREMARK 290      3555   Y,Z,X\n",
     3, ""},
    {"R 3 on hexagonal axes",
     "   90.000   90.000   60.000  90.00  90.00 120.00 R 3           9          ", "", 9, ""},
    {"H 3 on hexagonal axes",
     "   90.000   90.000   60.000  90.00  90.00 120.00 H 3           9          ", "", 9, ""},
    {"H 3 on a 90/90/90 cell",
     "   43.414  100.546   54.853  90.00  90.00  90.00 H 3           9          ", "", 0,
     "space group 'H 3' does not fit the cell (its operator 2, -y,x-y,z, would distort the chains)"},
    {"P 4 on a cell with a and b apart",
     "   43.414  100.546   54.853  90.00  90.00  90.00 P 4           4          ", "", 0,
     "space group 'P 4' does not fit the cell (its operator 3, -y,x,z, would distort the chains)"},
    {"P 21 21 21 on its own cell",
     "   43.414  100.546   54.853  90.00  90.00  90.00 P 21 21 21    4          ", "", 4, ""},
};

double distance(const InputAtom& a, const InputAtom& b) {
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

class CellTest : public ::testing::TestWithParam<CellCase> {};

TEST_P(CellTest, CopiesAreRigidOrTheEntryFails) {
    const CellCase& c = GetParam();
    testutil::ScratchDir scratch;
    std::string pdb = std::string("CRYST1") + c.cryst1 + "\n" + c.remark290;
    std::istringstream lines(testutil::gzipFileText(std::string(KAVZUR_EXAMPLES) + "/1ycr.pdb"));
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("CRYST1", 0) != 0 && line.rfind("REMARK 290", 0) != 0 &&
            line.rfind("SCALE", 0) != 0 && line.rfind("ORIGX", 0) != 0)
            pdb += line + "\n";
    std::ofstream("cell.pdb") << pdb;
    StructureChoice choice;
    choice.crystal = true;
    choice.pairs = true;
    std::vector<StructurePart> parts;
    std::string why;
    const bool built = readStructureParts("cell.pdb", choice, parts, why);
    EXPECT_EQ(built, std::string(c.why).empty()) << why;
    if (!built) {
        EXPECT_EQ(why, c.why);
        return;
    }
    ASSERT_EQ(parts.size(), 1u);
    const InputStructure& s = parts[0].structure;
    std::set<std::string> operators;
    int copies = 0;
    for (const ChainPair& p : parts[0].pairs) {
        if (p.second == p.secondChain) continue;  // two chains as written
        const std::string& copy = s.chains[static_cast<std::size_t>(p.second)];
        operators.insert(copy.substr(copy.find(' ') + 1, copy.find('_') - copy.find(' ') - 1));
        const std::vector<InputAtom> from = chainAtoms(s, s.chains[static_cast<std::size_t>(p.secondChain)]);
        const std::vector<InputAtom> to = chainAtoms(s, copy);
        ASSERT_EQ(from.size(), to.size());
        // Each atom's distance to the first and to one far along the chain.
        for (std::size_t i = 1; i < from.size(); i += 7) {
            EXPECT_NEAR(distance(from[0], from[i]), distance(to[0], to[i]), 1e-3) << copy << " atom " << i;
            EXPECT_NEAR(distance(from[i - 1], from[i]), distance(to[i - 1], to[i]), 1e-3) << copy;
        }
        ++copies;
    }
    EXPECT_GT(copies, 0);
    EXPECT_LE(operators.size(), c.operators);
}

void PrintTo(const CellCase& c, std::ostream* os) { *os << c.what; }

INSTANTIATE_TEST_SUITE_P(Cells, CellTest, ::testing::ValuesIn(kCells));

}  // namespace
