#include "analysis/control_files.h"

#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using testutil::readText;

// The engine directory goes in verbatim, blanks and all.
const char* const kDir = "/opt/nacc ess";

struct ControlCase {
    const char* name;
    const char* text;
};

const ControlCase kExpected[] = {
    {"Complex_accallT.input",
     "PDBFILE TEMP.pdb\nVDWFILE /opt/nacc ess/vdw.radii\nSTDFILE /opt/nacc ess/standard.data\n"
     "PROBE 1.40\nZSLICE 0.05\n"},
    {"Complex_accall.input",
     "PDBFILE Complex.pdb\nVDWFILE /opt/nacc ess/vdw.radii\n"
     "STDFILE /opt/nacc ess/standard.data\nPROBE 1.40\nZSLICE 0.05\n"},
    {"ComplexA_accall.input",
     "PDBFILE ComplexA.pdb\nVDWFILE /opt/nacc ess/vdw.radii\n"
     "STDFILE /opt/nacc ess/standard.data\nPROBE 1.40\nZSLICE 0.05\n"},
    {"ComplexB_accall.input",
     "PDBFILE ComplexB.pdb\nVDWFILE /opt/nacc ess/vdw.radii\n"
     "STDFILE /opt/nacc ess/standard.data\nPROBE 1.40\nZSLICE 0.05\n"},
    {"ComplexP_accall.input",
     "PDBFILE ComplexP.pdb\nVDWFILE /opt/nacc ess/vdw.radii\n"
     "STDFILE /opt/nacc ess/standard.data\nPROBE 0.40\nZSLICE 0.05\n"},
};

TEST(ControlFiles, FiveFilesWithTheirStructureAndProbe) {
    testutil::ScratchDir scratch;
    testutil::writeText("Complex_accall.input", "an older, longer control file of someone\n\n\n");
    EXPECT_EQ(writeControlFiles(kDir), nullptr);
    for (const ControlCase& c : kExpected) EXPECT_EQ(readText(c.name), c.text) << c.name;
    EXPECT_EQ(testutil::listDir().size(), 5u);

    removeControlFiles();
    EXPECT_TRUE(testutil::listDir().empty());
}

TEST(ControlFiles, NamesTheFileThatCannotBeWritten) {
    testutil::ScratchDir scratch;
    std::filesystem::create_directory("ComplexB_accall.input");
    const char* failed = writeControlFiles(kDir);
    ASSERT_NE(failed, nullptr);
    EXPECT_STREQ(failed, "ComplexB_accall.input");

    // Removal is "rm -f": a directory of that name is not ours to remove.
    removeControlFiles();
    EXPECT_EQ(testutil::listDir(), std::vector<std::string>{"ComplexB_accall.input"});
}

}  // namespace
