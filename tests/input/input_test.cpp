// Reading structures, writing the engine's PDB records, the chain layouts and
// the chains in contact.
#include "input/contacts.h"
#include "input/input_structure.h"
#include "input/pdb_writer.h"
#include "analysis/workspace.h"
#include "sasa/pdb_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
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

// Each record is what printf's conversions write for its columns, down to
// an alternate location of NUL, negative zeros and rounding halves.
TEST(PdbWriter, RecordIsWhatPrintfWrites) {
    struct Row {
        const char* what;
        bool hetero;
        const char *name, *resName, *element;
        char altLoc, iCode;
        int resSeq, serial, charge;
        double x, y, z;
        float occupancy, bFactor;
    };
    const Row rows[] = {
        {"usual", false, " CA ", "ALA", "C", ' ', ' ', 12, 7, 0, 1.5, -2.25, 30.125, 1.0f, 20.5f},
        {"hetero, short names", true, "FE", "HEM", "FE", 'A', 'B', -999, 99999, 2, -0.0004, 0.0005,
         -0.0005, 0.005f, 0.015f},
        {"a NUL alternate location", false, "N", "G", "", '\0', ' ', 9999, 100000, -1, 9999.999,
         -999.999, 0.0, -99.99f, 999.99f},
        {"empty and long element", false, "OXT", "", "XYZ", ' ', 'Z', 0, 1, 0, 1e-9, -1e-9, 123.4565,
         0.125f, 0.375f},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        InputAtom a = atomAt(0, r.x);
        a.hetero = r.hetero;
        a.name = r.name;
        a.resName = r.resName;
        a.element = r.element;
        a.altLoc = r.altLoc;
        a.iCode = r.iCode;
        a.resSeq = r.resSeq;
        a.charge = r.charge;
        a.y = r.y;
        a.z = r.z;
        a.occupancy = r.occupancy;
        a.bFactor = r.bFactor;
        std::string record, why;
        ASSERT_TRUE(formatAtomRecord(a, 'Q', r.serial, record, why)) << why;
        char serial[16];
        if (r.serial <= 99999) std::snprintf(serial, sizeof serial, "%5d", r.serial);
        else std::snprintf(serial, sizeof serial, "%s", "A0000");  // hybrid-36: 100000
        char charge[3] = "  ";
        if (r.charge != 0) {
            charge[0] = static_cast<char>('0' + std::abs(r.charge));
            charge[1] = r.charge < 0 ? '-' : '+';
        }
        char line[96];
        const int n = std::snprintf(
            line, sizeof line, "%-6s%5s %-4s%c%3s %c%4d%c   %8.3f%8.3f%8.3f%6.2f%6.2f          %2s%s\n",
            r.hetero ? "HETATM" : "ATOM", serial, r.name, r.altLoc, r.resName, 'Q', r.resSeq, r.iCode,
            r.x, r.y, r.z, static_cast<double>(r.occupancy), static_cast<double>(r.bFactor),
            std::strlen(r.element) <= 2 ? r.element : "", charge);
        EXPECT_EQ(record, std::string(line, static_cast<std::size_t>(n)));
    }
}

InputStructure named(std::vector<std::string> chains) {
    InputStructure s;
    s.chains = std::move(chains);
    for (std::size_t i = 0; i < s.chains.size(); ++i) s.atoms.push_back(atomAt(static_cast<int>(i), 0.0));
    return s;
}

// A structure written into memory is held as its records: the text made of
// them is the text a directory gets, and the engine reads the same atoms
// from them as from that text, with every reading option, down to the
// records it refuses.
TEST(PdbWriter, RecordsHeldInMemoryAreTheirText) {
    InputStructure odd;
    odd.chains = {"A", "B"};
    const auto atom = [](int chain, const char* name, const char* res, const char* element,
                         double x) {
        InputAtom a = atomAt(chain, x, element);
        a.name = name;
        a.resName = res;
        return a;
    };
    odd.atoms = {atom(0, " CA ", "ALA", "C", 1.0), atom(0, " HA ", "ALA", "", -0.0004),
                 atom(0, " HB ", "ALA", "H", 0.0625), atom(0, " O  ", "HOH", "O", 2.0),
                 atom(1, " CB ", "SER", "XYZ", 9999.999), atom(1, "FE", "HEM", "FE", -999.999)};
    odd.atoms[3].hetero = true;
    odd.atoms[4].altLoc = 'B';
    odd.atoms[4].charge = -2;
    odd.atoms[5].hetero = true;
    InputStructure hetSkipped = odd, nulAltLoc = odd, nulName = odd;
    hetSkipped.atoms[5].resSeq = 10000;  // left out
    nulAltLoc.atoms[1].altLoc = '\0';    // the engine refuses the record
    nulName.atoms[2].name = std::string("H\0B", 3);  // cut at the NUL, in both
    const struct {
        const char* what;
        InputStructure s;
    } rows[] = {{"1ycr", read(KAVZUR_TEST_DATA "/1ycr.pdb")},
                {"2erl, hetero atoms", read(KAVZUR_TEST_DATA "/2erl.pdb")},
                {"odd atoms", odd},
                {"a hetero atom left out", hetSkipped},
                {"a NUL alternate location", nulAltLoc},
                {"a NUL in a name", nulName}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ChainLayout layout;
        std::string why;
        ASSERT_TRUE(layoutAllChains(row.s, layout, why)) << why;
        char dir[] = "/tmp/kavzur-held-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        DirectoryWorkspace disk(dir);
        MemoryWorkspace memory;
        int skippedOnDisk = 0, skippedInMemory = 0;
        std::string whyOnDisk, whyInMemory;
        const bool written = writePdb(row.s, layout, disk, "TEMP.pdb", skippedOnDisk, whyOnDisk);
        EXPECT_EQ(writePdb(row.s, layout, memory, "TEMP.pdb", skippedInMemory, whyInMemory),
                  written);
        EXPECT_EQ(skippedInMemory, skippedOnDisk);
        EXPECT_EQ(whyInMemory, whyOnDisk);
        std::string text;
        ASSERT_EQ(readWorkFile(disk, "TEMP.pdb", text), written);
        std::filesystem::remove_all(dir);
        if (!written) continue;
        const std::vector<HeldRecord>* records = memory.records("TEMP.pdb");
        EXPECT_NE(records, nullptr);
        for (int options = 0; records && options < 8; ++options) {
            sasa::ReadOptions o;
            o.hetatoms = options & 1;
            o.waters = options & 2;
            o.hydrogens = options & 4;
            std::istringstream in(text);
            const sasa::PdbResult fromText = sasa::readPdb(in, o);
            const sasa::PdbResult held = sasa::readHeldRecords(*records, o);
            EXPECT_EQ(held.error, fromText.error) << options;
            ASSERT_EQ(held.atoms.size(), fromText.atoms.size()) << options;
            for (std::size_t i = 0; i < held.atoms.size(); ++i) {
                const sasa::PdbAtom &a = held.atoms[i], &b = fromText.atoms[i];
                EXPECT_TRUE(a.head == b.head && a.element == b.element &&
                            a.hydrogen == b.hydrogen && a.hetero == b.hetero && a.line == b.line)
                    << options << " atom " << i;
                const double mine[] = {a.x, a.y, a.z}, theirs[] = {b.x, b.y, b.z};
                EXPECT_EQ(std::memcmp(mine, theirs, sizeof mine), 0) << options << " atom " << i;
            }
        }
        ASSERT_NE(memory.find("TEMP.pdb"), nullptr);
        EXPECT_EQ(*memory.find("TEMP.pdb"), text);
    }
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
    for (int i = 0; i < 63; ++i) names.push_back(std::string(1, 'L').append(std::to_string(i)));
    ChainLayout layout;
    std::string why;
    EXPECT_FALSE(layoutAllChains(named(names), layout, why));
    names.pop_back();
    EXPECT_TRUE(layoutAllChains(named(names), layout, why)) << why;
}

}  // namespace

namespace {

// One mmCIF atom of residue `seq` in chain `chain`, with `id` as its serial.
std::string cifAtoms(const std::string& id, const std::string& seq, const std::string& label,
                     const std::string& chain, const std::string& charge = "0") {
    return "data_t\nloop_\n_atom_site.group_PDB\n_atom_site.id\n_atom_site.type_symbol\n"
           "_atom_site.label_atom_id\n_atom_site.label_alt_id\n_atom_site.label_comp_id\n"
           "_atom_site.label_asym_id\n_atom_site.label_seq_id\n_atom_site.Cartn_x\n"
           "_atom_site.Cartn_y\n_atom_site.Cartn_z\n_atom_site.occupancy\n"
           "_atom_site.B_iso_or_equiv\n_atom_site.pdbx_formal_charge\n_atom_site.auth_seq_id\n"
           "_atom_site.auth_asym_id\n"
           "ATOM " + id + " C CA . ALA A " + label + " 1.0 2.0 3.0 1.0 10.0 " + charge + " " + seq +
           " " + chain + "\n";
}

// A PDB ATOM record of residue `seq` (no line break).
std::string pdbAtom(int seq) {
    char line[81];
    std::snprintf(line, sizeof line, "ATOM      1  CA  ALA A%4d       1.000   2.000   3.000  1.00 10.00           C", seq);
    return line;
}

std::string twoModels(const std::string& first, const std::string& second) {
    return "MODEL        1\n" + first + "\nENDMDL\nMODEL        2\n" + second + "\nENDMDL\nEND\n";
}

// Files the readers must refuse with a reason naming the fault, or read
// with the number as written.
TEST(ReadStructure, HostileTextRefusedOrReadAsWritten) {
    struct Case {
        const char* name;
        std::string text;
        const char* why;  // "" when the file is read
        int resSeq;       // the atom's residue number when read
        int model = 0;    // the model read; 0: the first
    } cases[] = {
        {"seq.cif", cifAtoms("1", "4294967321", "1", "A"), "_atom_site.auth_seq_id 4294967321 is beyond", 0},
        {"seqicode.cif", cifAtoms("1", "2147483648A", "1", "A"), "_atom_site.auth_seq_id 2147483648A is beyond", 0},
        {"label.cif", cifAtoms("1", "5", "-2147483649", "A"), "_atom_site.label_seq_id -2147483649 is beyond", 0},
        {"id.cif", cifAtoms("99999999999", "5", "1", "A"), "_atom_site.id 99999999999 is beyond", 0},
        {"charge.cif", cifAtoms("1", "5", "1", "A", "3000000000"), "_atom_site.pdbx_formal_charge 3000000000 is beyond", 0},
        {"conn.cif", cifAtoms("1", "5", "1", "A") + "_struct_conn.ptnr1_auth_seq_id 3000000000\n",
         "_struct_conn.ptnr1_auth_seq_id 3000000000 is beyond", 0},
        {"oper.cif", cifAtoms("1", "5", "1", "A") + "_pdbx_struct_assembly_gen.oper_expression '(1-99999999999)'\n",
         "_pdbx_struct_assembly_gen.oper_expression (1-99999999999) is beyond", 0},
        {"quoted.cif", cifAtoms("1", "'4294967321'", "1", "A"), "_atom_site.auth_seq_id 4294967321 is beyond", 0},
        {"grant.cif", cifAtoms("1", "5", "1", "A") + "_pdbx_audit_support.grant_number 12345678901\n", "", 5},
        {"lowest.cif", cifAtoms("1", "-2147483648", "1", "A"), "", -2147483647 - 1},
        {"m999.cif", cifAtoms("1", "-999", "1", "A"), "", -999},
        {"null.cif", cifAtoms("1", "?", "1", "A"), "residue ALA of chain A has no residue number", 0},
        {"tab.cif", cifAtoms("1", "5", "1", "'A\tB'"), "chain ID \"A\\tB\" holds a blank", 0},
        {"esc.cif", cifAtoms("1", "5", "1", "'\x1b[2J'"), "chain ID \"\\x1b[2J\" holds a blank", 0},
        {"empty.cif", "", "no atoms", 0},
        {"comment.cif", "# nothing\n", "no atoms", 0},
        {"m999.pdb", "ATOM      1  CA  ALA A-999       1.000   2.000   3.000  1.00 10.00           C\n", "", -999},
        {"blank.pdb", "ATOM      1  CA  ALA A           1.000   2.000   3.000  1.00 10.00           C\n",
         "residue ALA of chain A has no residue number", 0},
        {"old.pdb", "ATOM      1  CA  ALA A   5       1.000   2.000   3.000  1.00 10.00      1HPV 186\n", "", 5},
        {"shift.pdb", "ATOM        1  CA  ALA A   5       1.000   2.000   3.000  1.00 10.00           C\n",
         "line 1: unreadable coordinates '     1.000   2.000   3.0'", 0},
        {"short.pdb", "ATOM      1  CA  ALA A   5       1.000   2.000\n",
         "line 1: atom record too short for its coordinates", 0},
        // Faulty atom records count only in the model read, as the engine reads
        // only that one: model 1 holds residue 5, model 2 residue 6.
        {"m2short.pdb", twoModels(pdbAtom(5), pdbAtom(6).substr(0, 40)), "", 5},
        {"m2short2.pdb", twoModels(pdbAtom(5), pdbAtom(6).substr(0, 40)),
         "line 5: atom record too short", 0, 2},
        {"m1shift.pdb", twoModels(pdbAtom(5).insert(4, "  "), pdbAtom(6)), "", 6, 2},
        {"m1shift1.pdb", twoModels(pdbAtom(5).insert(4, "  "), pdbAtom(6)), "line 2: unreadable coordinates", 0},
        {"m1nul.pdb", twoModels(pdbAtom(5).replace(30, 1, 1, '\0'), pdbAtom(6)), "", 6, 2},
        {"frames.pdb", pdbAtom(5) + "\nENDMDL\n" + pdbAtom(6).insert(4, "  ") + "\nENDMDL\n",
         "line 3: unreadable coordinates", 0, 2},
        {"noendmdl.pdb", "MODEL        1\n" + pdbAtom(5) + "\nMODEL        2\n" + pdbAtom(6) + "\n", "", 5},
        {"noendmdl2.pdb", "MODEL        1\n" + pdbAtom(5) + "\nMODEL        2\n" + pdbAtom(6) + "\n", "", 6, 2},
        {"frames1.pdb", pdbAtom(5) + "\nENDMDL\n" + pdbAtom(6).insert(4, "  ") + "\nENDMDL\n", "", 5},
    };
    for (const Case& c : cases) {
        const std::string path = testing::TempDir() + c.name;
        std::ofstream(path, std::ios::binary) << c.text;
        InputStructure s;
        std::string why;
        const bool read = readStructure(path, c.model, s, why);
        EXPECT_EQ(read, *c.why == '\0') << c.name << ": " << why;
        if (read) {
            ASSERT_EQ(s.atoms.size(), 1u) << c.name;
            EXPECT_EQ(s.atoms[0].resSeq, c.resSeq) << c.name;
        } else {
            EXPECT_NE(why.find(c.why), std::string::npos) << c.name << ": " << why;
        }
        std::remove(path.c_str());
    }
}

}  // namespace
