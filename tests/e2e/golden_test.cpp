// Golden results: the score file and the console output of whole runs on
// real structures with the bundled engine, compared line by line with the
// committed files in golden/. With KAVZUR_UPDATE_GOLDEN=1 in the environment
// the tests write those files from this build instead (scripts/update-golden.sh).
#include "records/score_file.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

namespace fs = std::filesystem;

struct GoldenCase {
    const char* name;        // golden/<name>.scores.txt and golden/<name>.out.txt
    const char* structures;  // structure directory, in the source tree
    const char* list;        // its pdblist, in the source tree
};

const GoldenCase kCases[] = {
    // 1hpv, 1ycr, 3ub5, 4hhb, 1a0q (insertion codes), 7ddo.
    {"examples", "examples", "examples/pdblist"},
    // One chain (1ubq), DNA as second chain (1a1f), barely touching chains
    // (2f8v), altlocs (1ake, 3al1), hydrogens (3aid), NMR models with
    // hydrogens (2jo4), a blank chain (2erl), seven chains and blank-chain
    // waters (1tii).
    {"edge", "tests/data", "tests/e2e/edge.pdblist"},
};

void PrintTo(const GoldenCase& c, std::ostream* os) { *os << c.name; }

class GoldenTest : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenTest, ScoreFileAndMessagesAsCommitted) {
    const GoldenCase& c = GetParam();
    const fs::path source = KAVZUR_SOURCE_DIR;
    testutil::ScratchDir scratch;
    // The structure directory is given as "../structures", so that the paths
    // in the messages are the same on every machine.
    fs::create_directory_symlink(source / c.structures, scratch.parent() / "structures");
    fs::copy_file(source / c.list, "pdblist");

    const e2e::RunResult run = e2e::runKavZur(scratch.work(), {"../structures", KAVZUR_ENGINE_DIR});
    const std::string scores = testutil::readText(kScoreFileName);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(testutil::listDir(), (std::vector<std::string>{kScoreFileName, "pdblist"}));

    const fs::path golden = source / "tests/e2e/golden";
    const fs::path scoresPath = golden / (std::string(c.name) + ".scores.txt");
    const fs::path outPath = golden / (std::string(c.name) + ".out.txt");
    if (const char* update = std::getenv("KAVZUR_UPDATE_GOLDEN"); update && *update == '1') {
        testutil::writeText(scoresPath, scores);
        testutil::writeText(outPath, run.out);
        std::printf("wrote %s and %s\n", scoresPath.c_str(), outPath.c_str());
        return;
    }
    ASSERT_TRUE(fs::exists(scoresPath)) << scoresPath << ": run scripts/update-golden.sh";
    e2e::expectSameLines(scores, testutil::readText(scoresPath), scoresPath.string());
    e2e::expectSameLines(run.out, testutil::readText(outPath), outPath.string());
}

INSTANTIATE_TEST_SUITE_P(Runs, GoldenTest, ::testing::ValuesIn(kCases));

}  // namespace
