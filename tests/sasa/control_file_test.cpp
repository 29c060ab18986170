#include "sasa/control_file.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

sasa::ControlResult read(const std::string& text) {
    std::istringstream in(text);
    return sasa::readControl(in);
}

TEST(ControlFile, ReadsTheFileThatKavZurWrites) {
    const auto r = read("PDBFILE Complex.pdb\nVDWFILE /opt/naccess/vdw.radii\n"
                        "STDFILE /opt/naccess/standard.data\nPROBE 0.40\nZSLICE 0.05\n");
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.settings.pdbFile, "Complex.pdb");
    EXPECT_EQ(r.settings.vdwFile, "/opt/naccess/vdw.radii");
    EXPECT_EQ(r.settings.stdFile, "/opt/naccess/standard.data");
    EXPECT_DOUBLE_EQ(r.settings.probe, 0.40);
    EXPECT_DOUBLE_EQ(r.settings.zslice, 0.05);
    EXPECT_FALSE(r.settings.hetatoms || r.settings.waters || r.settings.hydrogens ||
                 r.settings.asaOnly);
    EXPECT_TRUE(r.settings.ignoredLines.empty());
}

TEST(ControlFile, KeywordsMatchOnFourLettersInAnyCase) {
    const auto r = read("pdbf x.pdb\nHetAtoms\nwaterS\nhydr\nAsaOnly please\nprobe 2\n"
                        "ZSLI 0.1\r\nremark nothing\nPDB y.pdb\n");
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.settings.pdbFile, "x.pdb");
    EXPECT_TRUE(r.settings.hetatoms && r.settings.waters && r.settings.hydrogens &&
                r.settings.asaOnly);
    EXPECT_DOUBLE_EQ(r.settings.probe, 2.0);
    EXPECT_DOUBLE_EQ(r.settings.zslice, 0.1);  // a CR line end is no part of the value
    // Three letters are not a keyword: noted, not taken.
    ASSERT_EQ(r.settings.ignoredLines.size(), 2u);
    EXPECT_EQ(r.settings.ignoredLines[0], "remark nothing");
    EXPECT_EQ(r.settings.ignoredLines[1], "PDB y.pdb");
}

TEST(ControlFile, FileNamesKeepTheirBlanks) {
    const auto r = read("PDBFILE   my complex.pdb  \n");
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.settings.pdbFile, "my complex.pdb");
}

TEST(ControlFile, RefusesBadValuesWithTheirLine) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"PDBFILE a.pdb\nPROBE 0\n", "line 2: PROBE must be a number greater than 0, not '0'"},
        {"PDBFILE a.pdb\nPROBE -1.4\n", "line 2: PROBE must be a number greater than 0, not '-1.4'"},
        {"PDBFILE a.pdb\nPROBE 1.4x\n", "line 2: PROBE must be a number greater than 0, not '1.4x'"},
        {"PDBFILE a.pdb\nPROBE\n", "line 2: PROBE must be a number greater than 0, not ''"},
        {"PDBFILE a.pdb\nPROBE nan\n", "line 2: PROBE must be a number greater than 0, not 'nan'"},
        {"ZSLICE 0\nPDBFILE a.pdb\n", "line 1: ZSLICE must be a number in (0, 1], not '0'"},
        {"ZSLICE 1.5\nPDBFILE a.pdb\n", "line 1: ZSLICE must be a number in (0, 1], not '1.5'"},
        {"ZSLICE 1e-300\n", "line 1: ZSLICE '1e-300' asks for more than 10000 slices"},
        {"PDBFILE\n", "line 1: PDBFILE names no file"},
        {"VDWFILE   \nPDBFILE a.pdb\n", "line 1: VDWFILE names no file"},
        {"PROBE 1.4\n", "no PDBFILE given"},
        {"", "no PDBFILE given"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(read(c.text).error, c.error);
    }
}

TEST(ControlFile, SliceCountRoundsToTheNearest) {
    const struct {
        double zslice;
        int slices;
    } cases[] = {{0.05, 20}, {1.0, 1}, {0.25, 4}, {0.3, 3}, {0.15, 7}, {0.001, 1000}};
    for (const auto& c : cases) EXPECT_EQ(sasa::sliceCount(c.zslice), c.slices) << c.zslice;
}

}  // namespace

#include "sasa/accall_run.h"

namespace {

TEST(OutputStem, FileNameWithoutItsLastExtension) {
    const struct {
        const char* pdb;
        const char* stem;
    } cases[] = {{"Complex.pdb", "Complex"}, {"/data/set/1abc.ent", "1abc"}, {"x.y.pdb", "x.y"},
                 {"noext", "noext"}, {"dir/", "accall"}, {"", "accall"}};
    for (const auto& c : cases) EXPECT_EQ(sasa::outputStem(c.pdb), c.stem) << c.pdb;
}

}  // namespace
