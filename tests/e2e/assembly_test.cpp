// Assemblies, crystal interfaces and every model, run as a user runs them
// with the bundled engine: the assembly's pair and the crystal's interface
// give the line of the same two chains written out by hand, a file that
// holds its assembly and model 1 of an NMR file give the plain run's line,
// -j 2 and --resume give the lines of one plain pass, and faulty assemblies,
// cells and space groups fail their entry with a message while the run goes on.
#include "gzip_text.h"
#include "records/score_file.h"
#include "input/input_structure.h"
#include "input/pdb_writer.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testutil::readText;
using testutil::writeText;

const fs::path kData = fs::path(KAVZUR_SOURCE_DIR) / "tests/data";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// The file's one chain and its copy by a crystal two-fold worked out by hand
// in fractional coordinates (`twoFold`), as chains E and F of a plain PDB file.
std::string handDimer(const fs::path& cif, double a, double c, double gammaDegrees,
                      const std::function<void(double f[3])>& twoFold) {
    InputStructure s;
    std::string why;
    EXPECT_TRUE(readStructure(cif.string(), 0, s, why)) << why;
    const double gamma = gammaDegrees * M_PI / 180.0;
    std::string pdb, record;
    for (int copy = 0; copy < 2; ++copy)
        for (InputAtom atom : s.atoms) {
            if (copy == 1) {
                // Cell axes a and b of length a, at angle gamma; c along z.
                double f[3];
                f[1] = atom.y / (a * std::sin(gamma));
                f[0] = (atom.x - a * std::cos(gamma) * f[1]) / a;
                f[2] = atom.z / c;
                twoFold(f);
                atom.x = a * f[0] + a * std::cos(gamma) * f[1];
                atom.y = a * std::sin(gamma) * f[1];
                atom.z = c * f[2];
            }
            EXPECT_TRUE(formatAtomRecord(atom, copy ? 'F' : 'E', atom.serial, record, why)) << why;
            pdb += record;
        }
    return pdb + "END\n";
}

void makeStructures(const fs::path& s) {
    fs::create_directory(s);
    for (const char* f : {"1A7G.cif.gz", "4CUP.cif.gz", "2XHE.cif.gz"}) fs::copy_file(kData / f, s / f);
    for (const char* f : {"2jo4.pdb", "1ycr.pdb"}) fs::copy_file(kData / f, s / f);
    // 1A7G, P 61 2 2: operator 10 (-y,-x,-z+5/6) moved by one cell along a and b.
    writeText(s / "1A7G_hand.pdb", handDimer(kData / "1A7G.cif.gz", 45.890, 195.636, 120.0, [](double f[3]) {
                  const double x = f[0];
                  f[0] = 1.0 - f[1], f[1] = 1.0 - x, f[2] = 5.0 / 6.0 - f[2];
              }));
    // 4CUP, C 2 2 21: operator 3 (-x,y,-z+1/2) moved by one cell along a.
    writeText(s / "4CUP_hand.pdb", handDimer(kData / "4CUP.cif.gz", 80.370, 57.670, 90.0, [](double f[3]) {
                  f[0] = 1.0 - f[0], f[2] = 0.5 - f[2];
              }));
    const std::string cif = testutil::gzipFileText(kData / "1A7G.cif.gz");
    writeText(s / "missing_op.cif", replaced(cif, "oper_expression   1,2", "oper_expression   1,3"));
    writeText(s / "bad_op.cif", replaced(cif, "22.9450000000", "?"));
    writeText(s / "bad_group.cif", replaced(cif, "'P 61 2 2'", "'P 9 9 9'"));
    const std::string p1ycr = readText(kData / "1ycr.pdb");
    writeText(s / "bad_biomt.pdb", replaced(p1ycr, "BIOMT1   1  1.000000", "BIOMT1   1  l.OOOOOO"));
    writeText(s / "no_biomt.pdb", replaced(p1ycr, "BIOMT3   1", "BIOMTx   1"));
    const auto withCell = [&p1ycr](const std::string& cryst1) {
        return replaced(p1ycr, p1ycr.substr(p1ycr.find("CRYST1"), 80), cryst1);
    };
    // oper_expression products and a copy asked for twice.
    const std::string shiftX0 = "X0 'x' ? ? 1 0 0 10 0 1 0 0 0 0 1 0\n";
    const std::string operList = "_pdbx_struct_oper_list.vector[3] \n";
    writeText(s / "product.cif", replaced(replaced(cif, "oper_expression   1,2", "oper_expression   (X0)(1,2)"),
                                          operList, operList + shiftX0));
    writeText(s / "empty_expr.cif", replaced(cif, "oper_expression   1,2", "oper_expression   ()"));
    const std::string gen = "_pdbx_struct_assembly_gen.assembly_id       1 \n"
                            "_pdbx_struct_assembly_gen.oper_expression   1,2 \n"
                            "_pdbx_struct_assembly_gen.asym_id_list      A,B,C,D \n";
    const std::string genLoop = "loop_\n_pdbx_struct_assembly_gen.assembly_id\n"
                                "_pdbx_struct_assembly_gen.oper_expression\n"
                                "_pdbx_struct_assembly_gen.asym_id_list\n";
    writeText(s / "twice.cif", replaced(cif, gen, genLoop + "1 1,2 A,B,C,D\n1 2 A,B,C,D\n"));
    // Operator 3 next to the identity: its copy lies on the chain.
    writeText(s / "near_identity.cif",
              replaced(replaced(cif, gen, genLoop + "1 1,3 A,B,C,D\n"), operList,
                       operList + "3 'x' ? ? 1 0 0 0.00001 0 1 0 0 0 0 1 0\n"));
    // Chain A's atom records twice, the second time as chain B; and 1ycr's
    // chain B moved 100 A away.
    std::string bIsA, apart;
    {
        std::istringstream lines(p1ycr);
        std::string copyB;
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("ATOM", 0) != 0) continue;
            if (line[21] == 'A') {
                bIsA += line + "\n";
                copyB += line.substr(0, 21) + "B" + line.substr(22) + "\n";
            }
            if (line[21] == 'B') {
                char x[9];
                std::snprintf(x, sizeof x, "%8.3f", std::stod(line.substr(30, 8)) + 100.0);
                line.replace(30, 8, x);
            }
            apart += line + "\n";
        }
        bIsA += copyB + "END\n";
        apart += "END\n";
    }
    writeText(s / "b_is_a.pdb", bIsA);
    writeText(s / "apart.pdb", apart);
    writeText(s / "h3_square.pdb", withCell("CRYST1   43.414  100.546   54.853  90.00  90.00  90.00 H 3           9          "));
    writeText(s / "cell_4.pdb", withCell("CRYST1    4.000    4.000    4.000  90.00  90.00  90.00 P 1           1          "));
    writeText(s / "deg_120.pdb", withCell("CRYST1   43.414  100.546   54.853 120.00 120.00 120.00 P 1           1          "));
    writeText(s / "deg_0.pdb", withCell("CRYST1   43.414  100.546   54.853   0.00  90.00  90.00 P 1           1          "));
    writeText(s / "tiny_cell.pdb", withCell("CRYST1    2.000    2.000    2.000  90.00  90.00  90.00 P 1           1          "));
    writeText(s / "flat_cell.pdb", withCell("CRYST1   43.414  100.546   54.853 180.00 180.00 180.00 P 1           1          "));
    writeText(s / "cut_cell.pdb", withCell("CRYST1   43.4"));
    // A LINK record that ends in column 76, which gemmi reads past its end:
    // it must not reach gemmi when the assembly records do.
    writeText(s / "link.pdb",
              "LINK         O   HOH A 301                ZN    ZN A 401  1555 1555      2.6\n" + p1ycr);
}

struct ListRun {
    e2e::RunResult run;
    std::vector<std::string> lines;  // score lines
    std::string scores, details;     // the whole files
};

ListRun runOn(const std::vector<std::string>& options, const std::vector<std::string>& entries,
              const std::function<void()>& before = nullptr) {
    testutil::ScratchDir work;
    makeStructures(work.parent() / "s");
    std::string list;
    for (const std::string& e : entries) list += e + "\n";
    writeText("pdblist", list);
    if (before) before();
    std::vector<std::string> args = options;
    args.push_back("../s");
    args.push_back(KAVZUR_ENGINE_DIR);
    ListRun r{e2e::runKavZur(work.work(), args), {}, readText(kScoreFileName), readText("d.tsv")};
    if (r.scores.size() >= scoreHeader().size())
        r.lines = e2e::splitLines(r.scores.substr(scoreHeader().size()));
    return r;
}

std::string name(const std::string& line) { return line.substr(0, line.find('\t')); }
std::string numbers(const std::string& line) { return line.substr(line.find('\t')); }

// The numbers of the plain run's one line for `entry`.
std::string plainNumbers(const std::string& entry) {
    static std::map<std::string, std::string> known;
    std::string& n = known[entry];
    if (n.empty()) {
        const ListRun plain = runOn({}, {entry});
        EXPECT_EQ(plain.lines.size(), 1u) << plain.run.out;
        if (plain.lines.size() == 1) n = numbers(plain.lines[0]);
    }
    return n;
}

struct AgreeCase {
    const char* what;
    std::vector<std::string> options;
    std::string entry;
    std::string line;       // the name of the line that must agree
    std::string reference;  // the plain entry whose line it must equal
};

const AgreeCase kAgree[] = {
    {"1A7G assembly 1", {"--assembly", "1", "--all-pairs"}, "1A7G.cif.gz", "1A7G.cif.gz E:E-2",
     "1A7G_hand.pdb"},
    {"1A7G assembly chains by name", {"--assembly", "1", "--chains", "E:E-2"}, "1A7G.cif.gz",
     "1A7G.cif.gz", "1A7G_hand.pdb"},
    {"1A7G crystal", {"--crystal", "--all-pairs"}, "1A7G.cif.gz", "1A7G.cif.gz E:E 10_665",
     "1A7G_hand.pdb"},
    {"4CUP assembly 1", {"--assembly", "1", "--all-pairs"}, "4CUP.cif.gz", "4CUP.cif.gz A:A-2",
     "4CUP_hand.pdb"},
    {"4CUP crystal", {"--crystal", "--all-pairs"}, "4CUP.cif.gz", "4CUP.cif.gz A:A 3_655",
     "4CUP_hand.pdb"},
    {"2XHE holds its assembly", {"--assembly", "1"}, "2XHE.cif.gz", "2XHE.cif.gz", "2XHE.cif.gz"},
    {"NMR model 1 of every model", {"--model", "all"}, "2jo4.pdb", "2jo4.pdb model 1", "2jo4.pdb"},
    {"a LINK record beside REMARK 350", {"--assembly", "1"}, "link.pdb", "link.pdb", "1ycr.pdb"},
    {"an operator product (X0)(1,2)", {"--assembly", "1", "--all-pairs"}, "product.cif",
     "product.cif E-X0x1:E-X0x2", "1A7G_hand.pdb"},
    {"a copy asked for twice", {"--assembly", "1", "--all-pairs"}, "twice.cif", "twice.cif E:E-2",
     "1A7G_hand.pdb"},
};

void PrintTo(const AgreeCase& c, std::ostream* os) { *os << c.what; }

class AgreeTest : public ::testing::TestWithParam<AgreeCase> {};

TEST_P(AgreeTest, GivesTheLineOfTheSameChainsWrittenOut) {
    const AgreeCase& c = GetParam();
    const ListRun r = runOn(c.options, {c.entry});
    EXPECT_EQ(r.run.status, 0) << r.run.err;
    const std::string reference = plainNumbers(c.reference);
    ASSERT_FALSE(reference.empty());
    bool found = false;
    for (const std::string& line : r.lines)
        if (name(line) == c.line) {
            found = true;
            EXPECT_EQ(numbers(line), reference) << line;
        }
    EXPECT_TRUE(found) << c.line << " not among\n" << r.scores << r.run.out;
    // Every interface at most once.
    std::map<std::string, int> seen;
    for (const std::string& line : r.lines) EXPECT_EQ(++seen[name(line)], 1) << line;
}

INSTANTIATE_TEST_SUITE_P(Assemblies, AgreeTest, ::testing::ValuesIn(kAgree));

struct BadCase {
    const char* what;
    std::vector<std::string> options;
    std::string entry;
    std::string message;  // printed after "Error in structure file ... ../s/<entry>: "
    bool nextScored;      // 1ycr.pdb, listed next, is scored with the same options
};

const BadCase kBad[] = {
    {"an assembly not in the file", {"--assembly", "9"}, "1A7G.cif.gz",
     "no assembly 9 (assemblies present: 1)", false},
    {"an operator missing from the list", {"--assembly", "1"}, "missing_op.cif",
     "assembly 1: operator 3 is not in _pdbx_struct_oper_list", true},
    {"an operator that cannot be read", {"--assembly", "1"}, "bad_op.cif",
     "assembly 1: operator 2 cannot be read as a rotation and a translation", true},
    {"a BIOMT number that cannot be read", {"--assembly", "1"}, "bad_biomt.pdb",
     "assembly 1: operator 1 cannot be read as a rotation and a translation", true},
    {"BIOMT records that cannot be read", {"--assembly", "1"}, "no_biomt.pdb",
     "assembly 1: no readable operator for chains A, B", true},
    {"a space group gemmi does not know", {"--crystal", "--all-pairs"}, "bad_group.cif",
     "space group 'P 9 9 9' is not known", true},
    {"an NMR entry has no crystal", {"--crystal", "--all-pairs"}, "2jo4.pdb",
     "no crystal cell (none given, or a 1 A dummy cell as for cryo-EM and NMR), so there are "
     "no crystal contacts", true},
    {"a cell far too small for its chains", {"--crystal", "--all-pairs"}, "tiny_cell.pdb",
     "the cell is too small for the chains (a chain would reach over more than 40 cells), so "
     "it is not the crystal's cell",
     true},
    {"angles that make no cell", {"--crystal", "--all-pairs"}, "flat_cell.pdb",
     "the cell's lengths and angles do not make a cell", true},
    {"a space group its cell does not fit", {"--crystal", "--all-pairs"}, "h3_square.pdb",
     "space group 'H 3' does not fit the cell (its operator 2, -y,x-y,z, would distort the chains)",
     true},
    {"a 4 A cell", {"--crystal", "--all-pairs"}, "cell_4.pdb",
     "the cell is too small for the chains (more than 500 copies would surround a chain), so it "
     "is not the crystal's cell",
     true},
    {"angles that lay the axes in a plane", {"--crystal", "--all-pairs"}, "deg_120.pdb",
     "the cell's lengths and angles do not make a cell", true},
    {"an angle of 0", {"--crystal", "--all-pairs"}, "deg_0.pdb",
     "the cell's lengths and angles do not make a cell", true},
    {"an empty operator expression", {"--assembly", "1"}, "empty_expr.cif",
     "assembly 1: operator expression '()' names no operator", true},
    {"a CRYST1 record cut short", {"--crystal", "--all-pairs"}, "cut_cell.pdb",
     "no crystal cell (none given, or a 1 A dummy cell as for cryo-EM and NMR), so there are "
     "no crystal contacts",
     true},
    {"a model that is not there", {"--model", "11", "--assembly", "1"}, "2jo4.pdb",
     "model 11 does not exist; the file holds 10 models (1 ... 10)", false},
};

void PrintTo(const BadCase& c, std::ostream* os) { *os << c.what; }

class BadInputTest : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadInputTest, FailsTheEntryAndGoesOn) {
    const BadCase& c = GetParam();
    const ListRun r = runOn(c.options, {c.entry, "1ycr.pdb"});
    EXPECT_EQ(r.run.status, 0) << r.run.err;
    EXPECT_NE(r.run.out.find("Working on ../s/" + c.entry + ". \nError in structure file ... ../s/" +
                             c.entry + ": " + c.message + "\n"),
              std::string::npos)
        << r.run.out;
    bool scored = false;
    for (const std::string& line : r.lines) {
        EXPECT_EQ(line.rfind(c.entry, 0), std::string::npos) << line;
        scored = scored || line.rfind("1ycr.pdb", 0) == 0;
    }
    EXPECT_EQ(scored, c.nextScored) << r.run.out;
    EXPECT_NE(r.run.out.find("Working on ../s/1ycr.pdb"), std::string::npos) << r.run.out;
    EXPECT_NE(r.run.out.find("\nFinished\n"), std::string::npos) << r.run.out;
}

INSTANTIATE_TEST_SUITE_P(Assemblies, BadInputTest, ::testing::ValuesIn(kBad));

// Entries that fail with a status of their own: sides on each other give
// an infinite KAV, and chains that touch nothing have no pair to score. No
// score line; the details row and the console say why.
struct StatusCase {
    const char* what;
    std::vector<std::string> options;
    std::string entry;
    std::string row;      // the details row's name
    std::string status;
    std::string message;  // on the console
};

const StatusCase kStatuses[] = {
    {"chain B on chain A, a plain run", {}, "b_is_a.pdb", "b_is_a.pdb", "not_finite",
     "KAV or ZUr is infinite: the packing atoms have no surface, as when the two sides lie on "
     "each other ... exiting\nError in PDB file ... ../s/b_is_a.pdb\n"},
    {"an operator next to the identity", {"--assembly", "1", "--all-pairs"}, "near_identity.cif",
     "near_identity.cif E:E-3", "not_finite", "KAV or ZUr is infinite"},
    {"two chains 100 A apart", {"--all-pairs"}, "apart.pdb", "apart.pdb", "no_contact",
     "Error in structure file ... ../s/apart.pdb: no two chains are in contact (heavy atoms of "
     "atom records within 5 A)\n"},
};

void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.what; }

class StatusTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusTest, FailsWithItsOwnStatus) {
    const StatusCase& c = GetParam();
    std::vector<std::string> options = c.options;
    options.insert(options.end(), {"--details", "d.tsv"});
    const ListRun r = runOn(options, {c.entry});
    EXPECT_EQ(r.run.status, 0) << r.run.err;
    EXPECT_TRUE(r.lines.empty()) << r.scores;
    EXPECT_NE(r.details.find("\n" + c.row + "\t"), std::string::npos) << r.details;
    const std::vector<std::string> rows = e2e::splitLines(r.details);
    ASSERT_EQ(rows.size(), 2u) << r.details;
    std::vector<std::string> fields;
    std::istringstream row(rows[1]);
    for (std::string f; std::getline(row, f, '\t');) fields.push_back(f);
    ASSERT_GT(fields.size(), 2u);
    EXPECT_EQ(fields[2], c.status) << rows[1];
    EXPECT_NE(r.run.out.find(c.message), std::string::npos) << r.run.out;
}

INSTANTIATE_TEST_SUITE_P(Assemblies, StatusTest, ::testing::ValuesIn(kStatuses));

TEST(AssemblyUsage, CrystalNeedsAllPairsAndNoAssembly) {
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"--crystal"},
          std::vector<std::string>{"--crystal", "--all-pairs", "--assembly", "1"}}) {
        const ListRun r = runOn(options, {"1A7G.cif.gz"});
        EXPECT_EQ(r.run.status, 2);
        EXPECT_NE(r.run.err.find("--crystal"), std::string::npos) << r.run.err;
        EXPECT_EQ(r.scores, "<missing>");
    }
}

// Each model is a line of its own for -j, --details and --resume.
TEST(EveryModel, JobsAndResumeGiveTheLinesOfOnePass) {
    const std::vector<std::string> entries = {"2jo4.pdb", "1ycr.pdb", "1A7G.cif.gz"};
    const std::vector<std::string> options = {"--model", "all", "--details", "d.tsv"};
    const ListRun one = runOn(options, entries);
    ASSERT_EQ(one.run.status, 0) << one.run.err;
    ASSERT_EQ(one.lines.size(), 11u) << one.scores;
    EXPECT_EQ(name(one.lines[9]), "2jo4.pdb model 10");
    EXPECT_EQ(name(one.lines[10]), "1ycr.pdb model 1");

    std::vector<std::string> parallel = options;
    parallel.insert(parallel.end(), {"-j", "2"});
    const ListRun two = runOn(parallel, entries);
    EXPECT_EQ(two.scores, one.scores);
    // The details rows differ only in their seconds.
    const auto withoutSeconds = [](const std::string& details) {
        std::string out;
        for (const std::string& row : e2e::splitLines(details)) out += row.substr(0, row.rfind('\t')) + "\n";
        return out;
    };
    EXPECT_EQ(withoutSeconds(two.details), withoutSeconds(one.details));

    // A run stopped after the line of 1ycr, before its row: resumed, the
    // ten model lines of 2jo4 stay and 1ycr is scored again.
    std::vector<std::string> resumed = options;
    resumed.push_back("--resume");
    const std::string scoresCut = one.scores.substr(0, one.scores.find(one.lines[10]) + one.lines[10].size());
    const std::vector<std::string> rows = e2e::splitLines(one.details);
    ASSERT_GE(rows.size(), 11u);
    std::string detailsCut;
    for (std::size_t i = 0; i < 11; ++i) detailsCut += rows[i];
    const ListRun again = runOn(resumed, entries, [&] {
        writeText(kScoreFileName, scoresCut);
        writeText("d.tsv", detailsCut);
    });
    EXPECT_EQ(again.run.status, 0) << again.run.err;
    EXPECT_EQ(again.scores, one.scores);
    EXPECT_EQ(withoutSeconds(again.details), withoutSeconds(one.details));
}

}  // namespace
