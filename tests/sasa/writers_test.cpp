#include "sasa/writers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

namespace {

sasa::PdbAtom atom(const char* head30, double x, double y, double z) {
    sasa::PdbAtom a;
    for (int i = 0; i < 30; ++i) a.head[i] = head30[i];
    a.x = x;
    a.y = y;
    a.z = z;
    return a;
}

TEST(Writers, AsaLineHasTheColumnsEveryReaderExpects) {
    const auto a = atom("ATOM    123  CA  LYS B  45    ", -12.3456, 7.0, 105.5);
    const std::string line = sasa::asaLine(a, 87.65432, 1.87);
    EXPECT_EQ(line, "ATOM    123  CA  LYS B  45     -12.346   7.000 105.500  87.654  1.87");
    ASSERT_EQ(line.size(), 68u);

    // The pipeline's reading of the same line.
    char res[8], name[8], chain = 0;
    int number = 0, serial = 0;
    float x, y, z, area, radius;
    ASSERT_EQ(std::sscanf(line.c_str(), "%*s %*d %*s %7s %*c %d %f %f %f %f %f", res, &number, &x,
                          &y, &z, &area, &radius), 7);
    EXPECT_STREQ(res, "LYS");
    EXPECT_EQ(number, 45);
    EXPECT_FLOAT_EQ(area, 87.654f);
    EXPECT_FLOAT_EQ(radius, 1.87f);
    ASSERT_EQ(std::sscanf(line.c_str(), "%*s %d %7s %7s %c %d", &serial, name, res, &chain, &number), 5);
    EXPECT_EQ(serial, 123);
    EXPECT_STREQ(name, "CA");
    EXPECT_EQ(chain, 'B');
}

TEST(Writers, ResiduesSumByClassAndRelativeToReference) {
    const std::vector<sasa::PdbAtom> atoms = {
        atom("ATOM      1  N   ALA A   1    ", 0, 0, 0), atom("ATOM      2  CA  ALA A   1    ", 0, 0, 0),
        atom("ATOM      3  CB  ALA A   1    ", 0, 0, 0), atom("ATOM      4  N   XYZ A   1A   ", 0, 0, 0),
        atom("ATOM      5  OG  XYZ A   1A   ", 0, 0, 0), atom("ATOM      6  N   ALA B   1    ", 0, 0, 0)};
    const std::vector<double> areas = {10, 20, 30, 5, 7, 1};
    std::vector<sasa::AtomRadius> radii(atoms.size());
    radii[0].polar = radii[3].polar = radii[4].polar = radii[5].polar = true;
    const auto residues = sasa::sumResidues(atoms, areas, radii);
    ASSERT_EQ(residues.size(), 3u);  // the insertion code starts a residue
    const sasa::AreaSums ala = {60, 30, 30, 50, 10};
    EXPECT_EQ(residues[0].areas, ala);
    EXPECT_EQ(residues[1].areas, (sasa::AreaSums{12, 7, 5, 0, 12}));

    sasa::ReferenceTable reference;
    reference.byResidue["ALA"] = {120, 60, 60, 100, 0};
    std::ostringstream out;
    sasa::writeRsa(out, "in.pdb", "ref.data", residues, reference);
    const std::string text = out.str();
    EXPECT_EQ(text.rfind("REM  Relative accessibilities read from external file \"ref.data\"\n"
                         "REM  File of summed (Sum) and % (per.) accessibilities for in.pdb\n", 0), 0u) << text;
    EXPECT_NE(text.find("RES ALA A   1    60.00  50.0  30.00  50.0  30.00  50.0  50.00  50.0  10.00 -99.9\n"),
              std::string::npos) << text;
    EXPECT_NE(text.find("RES XYZ A   1A   12.00 -99.9   7.00 -99.9   5.00 -99.9   0.00 -99.9  12.00 -99.9\n"),
              std::string::npos) << text;
    EXPECT_NE(text.find("CHAIN  1 A       72.0         37.0         35.0         50.0         22.0\n"),
              std::string::npos) << text;
    EXPECT_NE(text.find("CHAIN  2 B        1.0          0.0          1.0          0.0          1.0\n"),
              std::string::npos) << text;
    EXPECT_NE(text.find("TOTAL            73.0         37.0         36.0         50.0         23.0\n"),
              std::string::npos) << text;
}

}  // namespace

namespace {

TEST(ReferenceData, ShippedFileCoversTheTwentyResidues) {
    const auto r = sasa::readReference(std::string(SASA_ENGINE_DIR) + "/standard.data");
    ASSERT_EQ(r.error, "");
    for (const char* res : {"ALA", "ARG", "ASN", "ASP", "CYS", "GLN", "GLU", "GLY", "HIS", "ILE",
                            "LEU", "LYS", "MET", "PHE", "PRO", "SER", "THR", "TRP", "TYR", "VAL"}) {
        SCOPED_TRACE(res);
        const auto found = r.table.byResidue.find(res);
        ASSERT_NE(found, r.table.byResidue.end());
        const sasa::AreaSums& a = found->second;
        // The classes add up: side + main and non-polar + polar are the whole.
        EXPECT_NEAR(a[sasa::kSideChain] + a[sasa::kMainChain], a[sasa::kAllAtoms], 0.011);
        EXPECT_NEAR(a[sasa::kNonPolar] + a[sasa::kPolar], a[sasa::kAllAtoms], 0.011);
        EXPECT_GT(a[sasa::kAllAtoms], 80.0);
        EXPECT_LT(a[sasa::kAllAtoms], 300.0);
    }
}

TEST(ReferenceData, MalformedLinesAreRefused) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"ALA 1 2 3 4\n", "line 1: expected a residue name and five reference areas of at least 0"},
        {"# c\nALA 1 2 3 4 5 6\n", "line 2: expected a residue name and five reference areas of at least 0"},
        {"ALA 1 2 x 4 5\n", "line 1: expected a residue name and five reference areas of at least 0"},
        {"ALA 1 2 -3 4 5\n", "line 1: expected a residue name and five reference areas of at least 0"},
        {"\n# only comments\n   \n", ""},
    };
    for (const auto& c : cases) {
        std::istringstream in(c.text);
        EXPECT_EQ(sasa::readReference(in).error, c.error) << c.text;
    }
}

}  // namespace
