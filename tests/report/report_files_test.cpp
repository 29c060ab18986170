// The report's pure formatters and folder names.
#include "report/report_files.h"
#include "report/report_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace {

struct NameCase {
    std::string entry;
    std::string sides;
    std::string expected;  // "" when only the rules below are checked
};

const NameCase kNames[] = {
    {"1abc.pdb", "", "1abc.pdb"},
    {"7CFN.cif.gz", "", "7CFN.cif.gz"},
    {"../x.pdb", "", ""},
    {"../../etc/passwd", "", ""},
    {"/abs/path.pdb", "", ""},
    {"..", "", ""},
    {".", "", ""},
    {"", "", ""},
    {std::string("a\0b.pdb", 7), "", ""},
    {"7CFN.cif.gz", "A:B", ""},
    {std::string(300, 'x'), "", ""},
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.entry.substr(0, 40) << " " << c.sides; }

class FolderName : public ::testing::TestWithParam<NameCase> {};

TEST_P(FolderName, IsOnePathComponentInsideTheReportDirectory) {
    const NameCase& c = GetParam();
    const std::string name = reportFolderName(c.entry, c.sides);
    if (!c.expected.empty()) {
        EXPECT_EQ(name, c.expected);
    }
    EXPECT_FALSE(name.empty());
    EXPECT_NE(name.find_first_not_of('.'), std::string::npos);
    EXPECT_EQ(name.find('/'), std::string::npos);
    EXPECT_EQ(name.find('\0'), std::string::npos);
    EXPECT_LE(name.size(), 255u);
}

INSTANTIATE_TEST_SUITE_P(Names, FolderName, ::testing::ValuesIn(kNames));

TEST(FolderName, DistinctEntriesKeepDistinctFolders) {
    std::set<std::string> names;
    for (const char* entry : {"a/b.pdb", "a_b.pdb", "a b.pdb", "a:b.pdb", "../a_b.pdb"})
        names.insert(reportFolderName(entry, ""));
    EXPECT_EQ(names.size(), 5u);
    EXPECT_NE(reportFolderName("7CFN.cif.gz", "A:B"), reportFolderName("7CFN.cif.gz", "A:C"));
}

ReportAtom atom(char chain, int resSeq, const char* resName, float buried) {
    ReportAtom a;
    a.atomName = "CA";
    a.resName = resName;
    a.chain = chain;
    a.resSeq = resSeq;
    a.buried = buried;
    return a;
}

TEST(Residues, AtomsOfOneResidueAreSummedPerSideEvenWhenApart) {
    InterfaceReport report;
    report.sides[0].atoms = {atom('A', 5, "GLY", 1.5f), atom('A', 6, "ALA", 2.0f),
                             atom('A', 5, "GLY", 0.25f)};
    report.sides[1].atoms = {atom('B', 5, "GLY", 3.0f)};
    const std::vector<ReportResidue> residues = interfaceResidues(report);
    ASSERT_EQ(residues.size(), 3u);
    EXPECT_EQ(residues[0].atoms, 2);
    EXPECT_FLOAT_EQ(residues[0].buried, 1.75f);
    EXPECT_EQ(residues[2].side, 1);
    EXPECT_EQ(residuesTsv(report),
              "side\tchain\tresnum\ticode\tresname\tinterface_atoms\tburied\n"
              "A\tA\t5\t\tGLY\t2\t1.75\n"
              "A\tA\t6\t\tALA\t1\t2.00\n"
              "B\tB\t5\t\tGLY\t1\t3.00\n");
}

TEST(InterfacePdb, BuriedAreaIsTheBFactorAndNamesKeepTheirColumns) {
    InterfaceReport report;
    ReportAtom a = atom('H', -3, "TRP", 12.345f);
    a.atomName = "CZ2";
    a.iCode = 'A';
    a.x = 1.5f;
    report.sides[1].atoms = {a};
    const std::string pdb = interfacePdb(report);
    const std::string line = pdb.substr(pdb.find("\nATOM  ") + 1, 66);
    EXPECT_EQ(line, "ATOM      1  CZ2 TRP H  -3A      1.500   0.000   0.000  1.00 12.35");
    // Side A has no atoms: its TER comes first.
    EXPECT_NE(pdb.find("TER\nATOM"), std::string::npos);
    EXPECT_EQ(pdb.substr(pdb.size() - 8), "TER\nEND\n");
}

TEST(ComplexPdb, KeepsThePdbColumnsAndDropsTheAreas) {
    const std::string asa =
        "ATOM      1  N   GLU A  25      10.801 -12.147  -5.180  28.742  1.65\n";
    EXPECT_EQ(complexPdb(asa, "HETATM junk\n"),
              "ATOM      1  N   GLU A  25      10.801 -12.147  -5.180  1.00  0.00\nTER\nTER\nEND\n");
}

TEST(Summary, ANumberThatIsNotFiniteStaysValidJson) {
    InterfaceReport report;
    const std::vector<DetailsField> details = {{"name", "x\"y", false},
                                               {"complementarity", "nan", true},
                                               {"KAV", "", true},
                                               {"seconds", "1.5", true}};
    const std::string json = summaryJson(details, report);
    EXPECT_NE(json.find("\"name\": \"x\\\"y\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"complementarity\": \"nan\""), std::string::npos);
    EXPECT_NE(json.find("\"KAV\": null"), std::string::npos);
    EXPECT_EQ(json.find("seconds"), std::string::npos);
}

// A name's UTF-8 stays as it is; every byte outside UTF-8 (Latin-1, a cut or
// overlong sequence, a surrogate, past U+10FFFF) becomes "\xHH" text, so
// that the file is valid UTF-8.
TEST(Summary, ANameOutsideUtf8IsEscaped) {
    const struct {
        std::string name, json;
    } cases[] = {
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80.pdb", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80.pdb"},
        {"caf\xe9.pdb", "caf\\\\xe9.pdb"},
        {"a\xc3", "a\\\\xc3"},
        {"\xc0\xafx", "\\\\xc0\\\\xafx"},
        {"\xe0\x80\xaf", "\\\\xe0\\\\x80\\\\xaf"},
        {"\xed\xa0\x80", "\\\\xed\\\\xa0\\\\x80"},
        {"\xf4\x90\x80\x80", "\\\\xf4\\\\x90\\\\x80\\\\x80"},
        {"\xff\xfe", "\\\\xff\\\\xfe"},
    };
    for (const auto& c : cases) {
        const std::string json = summaryJson({{"name", c.name, false}}, InterfaceReport{});
        EXPECT_NE(json.find("\"name\": \"" + c.json + "\""), std::string::npos) << c.json << "\n" << json;
    }
}

}  // namespace
