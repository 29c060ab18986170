// What a worker hands back: every field of every result, exactly, and
// nothing from a worker that died while writing.
#include "driver/workers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

std::vector<EntryResult> sample() {
    EntryResult scored;
    scored.name = "1abc.pdb A:B";
    scored.sides = "A:B";
    scored.atomsA = 1234;
    scored.atomsB = 0;
    scored.analysis.interfaceAtomsA = 56;
    scored.analysis.buriedA = true;
    scored.analysis.sums = true;
    scored.analysis.trianglesB = 7;
    scored.scores = {812.34567f, std::numeric_limits<float>::quiet_NaN(), 1e-38f, -0.0f};
    scored.scoreLine = "1abc.pdb A:B\t   400.0\t          0.500000\t  0.250000\n";
    scored.seconds = 0.1 + 0.2;
    EntryResult failed;
    failed.name = std::string("with\0nul", 8);
    failed.status = EntryStatus::OverfullCell;
    return {scored, failed, EntryResult{}};
}

TEST(Workers, ResultsComeBackBitForBit) {
    const std::vector<EntryResult> sent = sample();
    std::vector<EntryResult> got;
    ASSERT_TRUE(decodeResults(encodeResults(sent), got));
    ASSERT_EQ(got.size(), sent.size());
    // Every field goes into the encoding: a field lost on the way changes it.
    EXPECT_EQ(encodeResults(got), encodeResults(sent));
    EXPECT_EQ(got[0].scoreLine, sent[0].scoreLine);
    EXPECT_EQ(got[1].name, sent[1].name);
    EXPECT_EQ(got[1].status, EntryStatus::OverfullCell);
    EXPECT_TRUE(std::isnan(got[0].scores.buriedAreaB));
}

TEST(Workers, CutOrDamagedResultsAreRefused) {
    const std::string whole = encodeResults(sample());
    std::vector<EntryResult> got;
    for (std::size_t size : {std::size_t{0}, std::size_t{3}, whole.size() / 2, whole.size() - 1}) {
        EXPECT_FALSE(decodeResults(whole.substr(0, size), got)) << size << " bytes";
        EXPECT_TRUE(got.empty());
    }
    EXPECT_FALSE(decodeResults(whole + "x", got));
    std::string huge = whole;
    huge[4] = '\xff';  // a count far beyond the data
    EXPECT_FALSE(decodeResults(huge, got));
}

}  // namespace
