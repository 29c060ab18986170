// Analyser::score as a library caller sees it: results and messages of two
// analyses running in two threads are those of the same analyses one after
// the other, with the engine in the process and as a program.
#include "analysis/analysis.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string kSource = KAVZUR_SOURCE_DIR;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

// What a result says, bit for bit, but for its wall time.
std::string digest(const std::vector<InterfaceResult>& results) {
    std::string text;
    for (const InterfaceResult& r : results) {
        text += r.name + "|" + r.sides + "|" + statusCode(r.status) + "|" +
                std::to_string(r.atomsA) + "|" + std::to_string(r.atomsB) + "|";
        for (float v : {r.scores.buriedAreaA, r.scores.buriedAreaB, r.scores.packingSum,
                        r.scores.complementaritySum}) {
            unsigned bits;
            std::memcpy(&bits, &v, sizeof bits);
            text += std::to_string(bits) + ",";
        }
        text += "|" + r.messages + "\n";
    }
    return text;
}

struct Job {
    StructureInput input;
    AnalysisSettings settings;
};

std::vector<Job> jobs() {
    AnalysisSettings pairs;
    pairs.allPairs = true;
    return {
        {StructureInput::file(kSource + "/examples/1ycr.pdb"), {}},
        {StructureInput::fromText(readFile(kSource + "/examples/4hhb.pdb"), "pdb", "4hhb"), pairs},
    };
}

struct ModeCase {
    const char* what;
    EngineMode mode;
    bool inProcess;
};

const ModeCase kModes[] = {
    {"in process", EngineMode::Automatic, true},
    {"as a program", EngineMode::Program, false},
};

void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.what; }

class AnalyserTest : public ::testing::TestWithParam<ModeCase> {};

TEST_P(AnalyserTest, TwoThreadsGiveWhatOneGives) {
    const ModeCase& c = GetParam();
    const Analyser analyser(EngineSettings{KAVZUR_ENGINE_DIR, c.mode});
    EXPECT_EQ(analyser.inProcess(), c.inProcess);
    const std::vector<Job> work = jobs();

    std::vector<std::string> alone;
    for (const Job& j : work) alone.push_back(digest(analyser.score(j.input, j.settings)));
    ASSERT_NE(alone[0].find("|scored|"), std::string::npos) << alone[0];
    ASSERT_NE(alone[1].find("4hhb A:B|"), std::string::npos) << alone[1];

    for (int round = 0; round < 2; ++round) {
        std::vector<std::string> together(work.size());
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < work.size(); ++i)
            threads.emplace_back([&, i] {
                together[i] = digest(analyser.score(work[i].input, work[i].settings));
            });
        for (std::thread& t : threads) t.join();
        EXPECT_EQ(together, alone);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, AnalyserTest, ::testing::ValuesIn(kModes));

}  // namespace
