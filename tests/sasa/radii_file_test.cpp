#include "sasa/radii_file.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

sasa::RadiiResult readText(const std::string& text) {
    std::istringstream in(text);
    return sasa::readRadii(in);
}

sasa::PdbAtom atom(const char* name, const char* res, const char* element = "", bool hydrogen = false) {
    char head[31];
    std::snprintf(head, sizeof head, "ATOM      1 %-4.4s %3.3s A   1   ", name, res);
    sasa::PdbAtom a;
    for (int i = 0; i < 30; ++i) a.head[i] = head[i];
    for (int i = 0; element[i] && i < 2; ++i) a.element[i] = element[i];
    a.hydrogen = hydrogen;
    return a;
}

const char* kRadii =
    "# a comment\n"
    "RESIDUE ATOM ALA   3\n"
    "ATOM N    1.65 1\n"
    "ATOM CA   1.87 0\n"
    "ATOM CB   1.87 0\n"
    "RESIDUE ATOM SER   2\n"
    "ATOM CA   1.90 0\n"
    "ATOM OG   1.40 1\n"
    "RESIDUE WATER HOH   1\n"
    "ATOM O    1.40 1\n"
    "anything else is ignored\n";

TEST(RadiiFile, ReadsTheClassicColumns) {
    const auto r = readText(kRadii);
    ASSERT_EQ(r.error, "");
    ASSERT_EQ(r.table.residues.size(), 3u);
    EXPECT_EQ(r.table.residues[1].kind, "ATOM");
    EXPECT_EQ(r.table.residues[1].name, "SER");
    ASSERT_EQ(r.table.residues[1].atoms.size(), 2u);
    EXPECT_EQ(r.table.residues[1].atoms[1].atom, "OG");
    EXPECT_DOUBLE_EQ(r.table.residues[1].atoms[1].radius, 1.40);
    EXPECT_TRUE(r.table.residues[1].atoms[1].polar);
    EXPECT_FALSE(r.table.residues[1].atoms[0].polar);
    EXPECT_EQ(r.table.residues[2].kind, "WATER");
}

TEST(RadiiFile, RadiusFromEntryThenAssumedThenGuessed) {
    const auto table = readText(kRadii).table;
    const struct {
        sasa::PdbAtom atom;
        double radius;
        bool polar;
        sasa::RadiusSource source;
    } cases[] = {
        {atom(" CA ", "SER"), 1.90, false, sasa::RadiusSource::Entry},     // its own residue
        {atom(" CA ", "MSE"), 1.87, false, sasa::RadiusSource::Assumed},   // first residue with CA
        {atom(" OG ", "SEP"), 1.40, true, sasa::RadiusSource::Assumed},
        {atom(" CB ", "SER"), 1.87, false, sasa::RadiusSource::Assumed},   // SER has no CB here
        {atom("SE  ", "MSE", "SE"), 1.80, false, sasa::RadiusSource::Guessed},
        {atom("FE  ", "HEM", "FE"), 1.47, false, sasa::RadiusSource::Guessed},
        {atom("ZN  ", "ZN"), 1.39, false, sasa::RadiusSource::Guessed},    // element from the name
        {atom(" O1 ", "SO4"), 1.40, true, sasa::RadiusSource::Guessed},
        {atom(" N1 ", "LIG", "N"), 1.60, true, sasa::RadiusSource::Guessed},
        {atom(" S1 ", "LIG"), 1.85, false, sasa::RadiusSource::Guessed},
        {atom(" P  ", "LIG"), 1.90, false, sasa::RadiusSource::Guessed},
        {atom("MG  ", "MG", "MG"), 1.73, false, sasa::RadiusSource::Guessed},
        {atom("CU  ", "CU", "CU"), 1.78, false, sasa::RadiusSource::Guessed},
        {atom("CL  ", "CL", "CL"), 1.80, false, sasa::RadiusSource::Guessed},
        {atom(" H  ", "ALA", "H", true), 1.00, false, sasa::RadiusSource::Hydrogen},
        // The names of an earlier atom, another element: guessed afresh.
        {atom(" N1 ", "LIG", "S"), 1.85, false, sasa::RadiusSource::Guessed},
        {atom(" CA ", "SER", "H", true), 1.00, false, sasa::RadiusSource::Hydrogen},
    };
    // Each atom twice in one run, the second time after all the others: a
    // radius found once for a pair of names is the one found each time.
    std::vector<sasa::PdbAtom> atoms;
    const std::size_t n = std::size(cases);
    for (int pass = 0; pass < 2; ++pass)
        for (const auto& c : cases) atoms.push_back(c.atom);
    const auto radii = sasa::assignRadii(atoms, table);
    ASSERT_EQ(radii.size(), atoms.size());
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        SCOPED_TRACE(std::string(atoms[i].head.data(), 30));
        EXPECT_DOUBLE_EQ(radii[i].radius, cases[i % n].radius);
        EXPECT_EQ(radii[i].polar, cases[i % n].polar);
        EXPECT_EQ(radii[i].source, cases[i % n].source);
    }
}

TEST(RadiiFile, MalformedFilesAreRefused) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"ATOM N    1.65 1\n", "line 1: ATOM line before any RESIDUE line"},
        {"RESIDUE\n", "line 1: RESIDUE line without a kind and a residue name"},
        {"RESIDUE ATOM ALA 1\nATOM N    x.yz 1\n",
         "line 2: ATOM line needs an atom name in columns 6-9 and a radius from 0 to 100 in columns 11-14"},
        {"RESIDUE ATOM ALA 1\nATOM N\n",
         "line 2: ATOM line needs an atom name in columns 6-9 and a radius from 0 to 100 in columns 11-14"},
        {"RESIDUE ATOM ALA 1\nATOM      1.65 1\n",
         "line 2: ATOM line needs an atom name in columns 6-9 and a radius from 0 to 100 in columns 11-14"},
        {"RESIDUE ATOM ALA 1\nATOM N    -1.0 1\n",
         "line 2: ATOM line needs an atom name in columns 6-9 and a radius from 0 to 100 in columns 11-14"},
        {"# nothing\n", "no RESIDUE entries"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(readText(c.text).error, c.error);
    }
    EXPECT_EQ(sasa::readRadii(std::string("/nonexistent/vdw.radii")).error,
              "cannot open /nonexistent/vdw.radii");
}

// The shipped radii file holds the values the engine documents.
TEST(RadiiFile, ShippedRadiiHoldTheStandardValues) {
    const auto r = sasa::readRadii(std::string(SASA_ENGINE_DIR) + "/vdw.radii");
    ASSERT_EQ(r.error, "");
    const struct {
        const char* res;
        const char* atom;
        double radius;
        bool polar;
    } cases[] = {
        {"ALA", "N", 1.65, true},  {"ALA", "CA", 1.87, false}, {"ALA", "C", 1.76, false},
        {"ALA", "O", 1.40, true},  {"GLY", "OXT", 1.40, true}, {"LEU", "CD1", 1.87, false},
        {"PHE", "CZ", 1.76, false}, {"ASP", "CG", 1.76, false}, {"ASN", "ND2", 1.65, true},
        {"HIS", "NE2", 1.65, true}, {"LYS", "NZ", 1.50, true}, {"SER", "OG", 1.40, true},
        {"CYS", "SG", 1.85, false}, {"MET", "SD", 1.85, false}, {"MSE", "SE", 1.80, false},
        {"DA", "P", 1.90, false},  {"DA", "C1'", 1.80, false}, {"G", "N7", 1.60, true},
        {"DT", "O4", 1.40, true},  {"HOH", "O", 1.40, true},   {"HEM", "FE", 1.47, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.res) + " " + c.atom);
        const sasa::RadiusEntry* found = nullptr;
        for (const auto& res : r.table.residues)
            if (res.name == c.res)
                for (const auto& e : res.atoms)
                    if (e.atom == c.atom) found = &e;
        ASSERT_NE(found, nullptr);
        EXPECT_DOUBLE_EQ(found->radius, c.radius);
        EXPECT_EQ(found->polar, c.polar);
    }
}

}  // namespace
