// --all-pairs on an entry of many touching chains: the pair count is said
// before the first pair, every pair's line and row is written as it is done
// (a run killed in the middle keeps them), and --resume goes on with the
// next pair, ending with every pair recorded once.
#include "records/score_file.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testutil::readText;
using testutil::writeText;

// Chain IDs A-Z, then a-z.
std::string chainName(int c) {
    return std::string(1, static_cast<char>(c < 26 ? 'A' + c : 'a' + c - 26));
}

// `residues` alanines per chain, their CA atoms 3.8 A apart along z, the
// chains on a circle of radius 2 A: every pair in contact.
std::string manyChains(int kChains, int residues) {
    std::string text;
    int serial = 0;
    for (int c = 0; c < kChains; ++c) {
        const double angle = 2.0 * 3.14159265358979 * c / kChains;
        for (int r = 0; r < residues; ++r) {
            char line[96];
            std::snprintf(line, sizeof line,
                          "ATOM  %5d  CA  ALA %c%4d    %8.3f%8.3f%8.3f  1.00  0.00           C\n",
                          ++serial, chainName(c)[0], r + 1, 2.0 * std::cos(angle),
                          2.0 * std::sin(angle), 3.8 * r);
            text += line;
        }
        text += "TER\n";
    }
    return text + "END\n";
}

std::size_t lineCount(const std::string& text) {
    std::size_t n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

struct StreamCase {
    const char* what;
    std::vector<std::string> options;
    int chains, residues;  // enough for a run that takes a second or so
};

const StreamCase kStreams[] = {
    {"in process, -j 1", {}, 40, 20},
    {"as a program, -j 1", {"--engine", "program"}, 15, 1},
    {"in process, -j 2", {"-j", "2"}, 40, 20},
};

void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.what; }

class PairsStreamTest : public ::testing::TestWithParam<StreamCase> {};

TEST_P(PairsStreamTest, EachPairIsKeptAsItIsDone) {
    const StreamCase& c = GetParam();
    const int kChains = c.chains;
    const int kPairs = kChains * (kChains - 1) / 2;
    testutil::ScratchDir scratch;
    fs::create_directories(scratch.parent() / "structures");
    writeText(scratch.parent() / "structures/many.pdb", manyChains(kChains, c.residues));
    writeText("pdblist", "many.pdb\n");
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"--all-pairs", "--details", "run.tsv", "../structures",
                             KAVZUR_ENGINE_DIR});

    // Killed outright once a few pairs are recorded, long before the last.
    const e2e::Started started = e2e::startKavZur(scratch.work(), args);
    std::size_t rows = 0;
    for (int i = 0; i < 20000 && rows < 4; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(500));
        std::error_code ec;
        if (fs::exists("run.tsv", ec)) rows = lineCount(readText("run.tsv"));
    }
    kill(started.pid, SIGKILL);
    const e2e::RunResult killed = e2e::finishKavZur(started);
    EXPECT_EQ(killed.signal, SIGKILL);
    EXPECT_NE(killed.err.find("kav_zur: many.pdb: " + std::to_string(kPairs) +
                              " pairs of chains in contact to score\n"),
              std::string::npos)
        << killed.err;
    const std::size_t kept = lineCount(readText("run.tsv"));
    EXPECT_GE(kept, 4u);             // the header and three pairs or more
    EXPECT_LT(kept, kPairs + 1u);    // stopped before the end

    std::vector<std::string> resume = args;
    resume.insert(resume.begin(), "--resume");
    const e2e::RunResult resumed = e2e::runKavZur(scratch.work(), resume);
    EXPECT_EQ(resumed.status, 0) << resumed.err;
    // Every pair once, in order.
    std::istringstream in(readText("run.tsv"));
    std::string line;
    std::getline(in, line);
    std::vector<std::string> names;
    while (std::getline(in, line)) names.push_back(line.substr(0, line.find('\t')));
    std::vector<std::string> expected;
    for (int a = 0; a < kChains; ++a)
        for (int b = a + 1; b < kChains; ++b)
            expected.push_back("many.pdb " + chainName(a) + ":" + chainName(b));
    EXPECT_EQ(names, expected);
}

INSTANTIATE_TEST_SUITE_P(Runs, PairsStreamTest, ::testing::ValuesIn(kStreams));

}  // namespace
