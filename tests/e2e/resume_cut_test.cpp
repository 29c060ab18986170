// --resume after an entry of many interfaces (--all-pairs) was cut between
// two of its writes: a kill between two write()s, or a short write on a full
// disk, leaves any prefix of the entry's score lines and then of its rows.
// Each such state, built from the files of an uninterrupted run, must end
// after --resume as the files of that run, byte for byte.
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
const std::string kEngine = KAVZUR_ENGINE_DIR;
// 7CFN has five scored pairs and one that fails; the plain entry after it
// shows the run goes on past the entry re-entered.
const std::string kList = "2XHE.cif.gz\n7CFN.cif.gz\n1ycr.pdb\n";

std::vector<std::string> args(std::vector<std::string> options) {
    options.insert(options.begin(), "--all-pairs");
    options.push_back("../structures");
    options.push_back(kEngine);
    return options;
}

// The details file without its last column (seconds), which no two runs share.
std::string withoutSeconds(const std::string& details) {
    std::string out;
    for (const std::string& row : e2e::splitLines(details)) out += row.substr(0, row.rfind('\t')) + "\n";
    return out;
}

// `text` up to its header of `headerLines` lines, `lines` whole lines after
// it and `extra` bytes of the next.
std::string cut(const std::string& text, std::size_t headerLines, std::size_t lines,
                std::size_t extra) {
    const std::vector<std::string> all = e2e::splitLines(text);
    std::string kept;
    for (std::size_t i = 0; i < headerLines + lines; ++i) kept += all.at(i);
    if (extra > 0) kept += all.at(headerLines + lines).substr(0, extra);
    return kept;
}

struct Uninterrupted {
    std::string score, details;
};

// The files of one run that nothing stopped, made once.
const Uninterrupted& uninterrupted() {
    static const Uninterrupted files = [] {
        testutil::ScratchDir scratch;
        fs::create_directory_symlink(kSource / "tests/data", scratch.parent() / "structures");
        writeText("pdblist", kList);
        const e2e::RunResult run = e2e::runKavZur(scratch.work(), args({"--details", "d.tsv"}));
        EXPECT_EQ(run.status, 0) << run.err;
        return Uninterrupted{readText(kScoreFileName), readText("d.tsv")};
    }();
    return files;
}

struct CutCase {
    const char* what;
    const char* jobs;
    std::size_t scoreLines, scoreExtra;  // what the score file kept below its header
    int detailsRows;                     // -1: a run without --details
    std::size_t detailsExtra;
};

// Below the headers: score lines 2XHE A:B, 7CFN (5 pairs), 1ycr; rows
// 2XHE A:B, 7CFN (6 pairs, the last too_small), 1ycr.
const CutCase kCuts[] = {
    {"between two score writes of 7CFN", "1", 2, 0, -1, 0},
    {"a short score write in a 7CFN line", "1", 3, 10, -1, 0},
    {"between two row writes of 7CFN", "1", 6, 0, 3, 0},
    {"a short row write of 7CFN", "1", 6, 0, 5, 7},
    {"in the score lines of 7CFN, before its rows", "1", 3, 5, 1, 0},
    {"between two row writes of 7CFN, with workers", "2", 6, 0, 3, 0},
    {"between two score writes of 7CFN, with workers", "2", 2, 0, -1, 0},
    {"after the last row of 7CFN", "1", 6, 0, 7, 0},
};

void PrintTo(const CutCase& c, std::ostream* os) { *os << c.what; }

class ResumeCutTest : public ::testing::TestWithParam<CutCase> {};

TEST_P(ResumeCutTest, EndsWithTheFilesOfAnUninterruptedRun) {
    const CutCase& c = GetParam();
    const Uninterrupted& full = uninterrupted();
    ASSERT_EQ(e2e::splitLines(full.score).size(), 4u + 7u) << full.score;
    ASSERT_EQ(e2e::splitLines(full.details).size(), 1u + 8u) << full.details;

    testutil::ScratchDir scratch;
    fs::create_directory_symlink(kSource / "tests/data", scratch.parent() / "structures");
    writeText("pdblist", kList);
    writeText(kScoreFileName, cut(full.score, 4, c.scoreLines, c.scoreExtra));
    std::vector<std::string> options = {"--resume", "-j", c.jobs};
    if (c.detailsRows >= 0) {
        writeText("d.tsv", cut(full.details, 1, static_cast<std::size_t>(c.detailsRows),
                               c.detailsExtra));
        options.insert(options.end(), {"--details", "d.tsv"});
    }
    const e2e::RunResult resumed = e2e::runKavZur(scratch.work(), args(options));
    EXPECT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_EQ(readText(kScoreFileName), full.score);
    if (c.detailsRows >= 0) {
        EXPECT_EQ(withoutSeconds(readText("d.tsv")), withoutSeconds(full.details));
    }
    // Only the pairs not yet recorded were scored again.
    const std::size_t workedOn = [&] {
        std::size_t n = 0;
        for (std::size_t at = 0; (at = resumed.out.find("Working on ", at)) != std::string::npos; ++at)
            ++n;
        return n;
    }();
    const std::size_t recorded =
        c.detailsRows >= 0 ? static_cast<std::size_t>(c.detailsRows) : c.scoreLines;
    // 8 interfaces in all; without details the failed pair left no line to skip it by.
    EXPECT_EQ(workedOn, 8u - recorded) << resumed.out;
}

INSTANTIATE_TEST_SUITE_P(Cuts, ResumeCutTest, ::testing::ValuesIn(kCuts));

// A name holding a NUL byte is recorded as failed under its escaped name;
// --resume takes the run's own files, whole or cut after that row.
TEST(ResumeCut, ANulNameInPdblistIsResumable) {
    testutil::ScratchDir scratch;
    fs::create_directory_symlink(kSource / "tests/data", scratch.parent() / "structures");
    writeText("pdblist", std::string("1ycr.pdb\nn\0ul.pdb\n1ycr.pdb\n", 27));
    const std::vector<std::string> options = {"--resume", "--details", "d.tsv"};
    const e2e::RunResult first = e2e::runKavZur(scratch.work(), args(options));
    ASSERT_EQ(first.status, 0) << first.err;
    const std::string score = readText(kScoreFileName), details = readText("d.tsv");
    ASSERT_NE(details.find("n\\0ul.pdb\t"), std::string::npos) << details;
    for (const std::size_t rows : {3, 2, 1}) {
        writeText(kScoreFileName, cut(score, 4, rows == 3 ? 2 : 1, 0));
        writeText("d.tsv", cut(details, 1, rows, 0));
        const e2e::RunResult resumed = e2e::runKavZur(scratch.work(), args(options));
        EXPECT_EQ(resumed.status, 0) << rows << " rows: " << resumed.err;
        EXPECT_EQ(readText(kScoreFileName), score);
        EXPECT_EQ(withoutSeconds(readText("d.tsv")), withoutSeconds(details));
    }
}

// --model all: each model is an interface of its own, and an entry cut
// between two models' writes is completed from the next model on.
TEST(ResumeCut, AnEntryOfManyModelsIsCompletedFromItsNextModel) {
    const std::vector<std::string> base = {"--model", "all", "--details", "d.tsv", "--resume"};
    auto argsOf = [&](const char* jobs) {
        std::vector<std::string> a = base;
        a.insert(a.end(), {"-j", jobs, "../structures", kEngine});
        return a;
    };
    testutil::ScratchDir scratch;
    fs::create_directory_symlink(kSource / "tests/data", scratch.parent() / "structures");
    writeText("pdblist", "2jo4.pdb\n1ycr.pdb\n");  // 2jo4: ten models
    ASSERT_EQ(e2e::runKavZur(scratch.work(), argsOf("1")).status, 0);
    const std::string score = readText(kScoreFileName), details = readText("d.tsv");
    ASSERT_EQ(e2e::splitLines(details).size(), 1u + 11u) << details;
    for (const char* jobs : {"1", "2"}) {
        SCOPED_TRACE(std::string("-j ") + jobs);
        writeText(kScoreFileName, cut(score, 4, 6, 0));
        writeText("d.tsv", cut(details, 1, 6, 0));
        const e2e::RunResult resumed = e2e::runKavZur(scratch.work(), argsOf(jobs));
        EXPECT_EQ(resumed.status, 0) << resumed.err;
        EXPECT_EQ(readText(kScoreFileName), score);
        EXPECT_EQ(withoutSeconds(readText("d.tsv")), withoutSeconds(details));
        // Models 7 to 10, then 1ycr.
        EXPECT_EQ(resumed.out.find("model 6."), std::string::npos) << resumed.out;
        EXPECT_NE(resumed.out.find("model 7."), std::string::npos) << resumed.out;
    }
}

}  // namespace
