// The record of a run: the header, full-precision values, and empty columns
// for the steps a failed entry never reached.
#include "records/details_file.h"

#include "records/score_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> columns(const std::string& line) {
    std::vector<std::string> out(1);
    for (char c : line) {
        if (c == '\t') out.emplace_back();
        else if (c != '\n') out.back() += c;
    }
    return out;
}

TEST(DetailsFile, HeaderNamesEveryColumn) {
    EXPECT_EQ(detailsHeader(),
              "name\tsides\tstatus\tatoms_A\tatoms_B\tinterface_atoms_A\tinterface_atoms_B\t"
              "buried_A\tburied_B\tinterface_area\tpacking_ratio\tcomplementarity\tKAV\tZUr\t"
              "triangles_A\ttriangles_B\tseconds\n");
}

TEST(DetailsFile, ScoredRowHoldsTheScoreLinesFloatsAtFullPrecision) {
    InterfaceResult r;
    r.name = "1abc.pdb";
    r.sides = "A:B";
    r.atomsA = 800;
    r.atomsB = 700;
    r.analysis.interfaceAtomsA = 90;
    r.analysis.interfaceAtomsB = 70;
    r.analysis.buriedA = r.analysis.buriedB = r.analysis.sums = true;
    r.analysis.trianglesA = 200;
    r.analysis.trianglesB = 170;
    r.scores = {660.6f, 808.8f, 0.2749f, 0.3351f};
    r.seconds = 0.25;
    const std::vector<std::string> c = columns(detailsRow(r));
    ASSERT_EQ(c.size(), 17u);
    const ScoreValues v = scoreValues(r.scores);
    EXPECT_EQ(c[2], "scored");
    EXPECT_EQ(c[7], "660.599976");  // the float as stored, not the score file's rounding
    EXPECT_EQ(std::stof(c[9]), v.area);
    EXPECT_EQ(std::stof(c[12]), v.kav);
    EXPECT_EQ(std::stof(c[13]), v.zur);
    EXPECT_EQ(c[15], "170");
}

TEST(DetailsFile, FailedRowLeavesUnreachedValuesEmpty) {
    InterfaceResult r;
    r.name = "odd\tname.pdb";
    r.status = EntryStatus::TooSmall;
    r.atomsA = 10;
    r.atomsB = 12;
    r.analysis.interfaceAtomsA = 3;
    r.analysis.buriedA = true;
    r.scores.buriedAreaA = 35.5f;
    const std::vector<std::string> c = columns(detailsRow(r));
    ASSERT_EQ(c.size(), 17u);
    EXPECT_EQ(c[0], "odd name.pdb");
    EXPECT_EQ(c[2], "too_small");
    EXPECT_EQ(c[5], "3");
    EXPECT_EQ(c[6], "");
    EXPECT_EQ(c[7], "35.5");
    for (int i : {8, 9, 10, 11, 12, 13, 14, 15}) EXPECT_EQ(c[i], "") << i;
}

}  // namespace
