// --details names that the clean-up at the end of a run would remove (the
// working files TEMP.*, Complex*.* and the control files): refused before
// any work, as pdblist and the score file are; the same names elsewhere are
// files like any other.
#include "records/score_file.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testutil::readText;
using testutil::writeText;

const fs::path kSource = KAVZUR_SOURCE_DIR;

struct NameCase {
    const char* details;  // "@" stands for the working directory's absolute path
    bool refused;
};

const NameCase kNames[] = {
    {"TEMP.details.tsv", true},   {"./TEMP.pdb", true},       {"Complex.tsv", true},
    {"ComplexA.tsv", true},       {"ComplexP.x", true},       {"Complex_accall.input", true},
    {"@/TEMP.tsv", true},         {"sub/../TEMP.tsv", true},  {"sub/TEMP.tsv", false},
    {"TEMPdetails.tsv", false},   {"complex.tsv", false},
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.details; }

class DetailsNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(DetailsNameTest, ANameTheCleanUpRemovesIsRefused) {
    const NameCase& c = GetParam();
    testutil::ScratchDir scratch;
    fs::create_directory("sub");
    writeText("pdblist", "1ycr.pdb\n");
    std::string details = c.details;
    if (details[0] == '@') details = scratch.work().string() + details.substr(1);
    const e2e::RunResult run = e2e::runKavZur(
        scratch.work(), {"--details", details, (kSource / "tests/data").string(), KAVZUR_ENGINE_DIR});
    if (c.refused) {
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("would be removed with the working files"), std::string::npos)
            << run.err;
        EXPECT_EQ(testutil::listDir(), (std::vector<std::string>{"pdblist", "sub"}));
    } else {
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(e2e::splitLines(readText(details)).size(), 2u);
        EXPECT_EQ(e2e::splitLines(readText(kScoreFileName)).size(), 5u);
    }
}

INSTANTIATE_TEST_SUITE_P(Names, DetailsNameTest, ::testing::ValuesIn(kNames));

}  // namespace
