#include "records/score_file.h"

#include "common/text_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

struct LineCase {
    const char* what;
    ScoreSet scores;
    const char* line;
};

// Widths 8, 18 and 10; every value rounded to float before it is printed.
const LineCase kLines[] = {
    {"the worked example", {300.0f, 500.0f, 200.0f, 100.0f},
     "1abc.pdb\t   400.0\t          0.500000\t  0.250000\n"},
    {"the area is summed in float: 1e8 + 1 is 1e8", {1e8f, 1.0f, 0.0f, 0.0f},
     "1abc.pdb\t50000000.0\t          0.000000\t  0.000000\n"},
    {"the packing score is a float quotient", {1.5f, 1.5f, 123456.789f, 0.0f},
     "1abc.pdb\t     1.5\t      82304.523438\t  0.000000\n"},
    {"a quotient of a tiny area", {1e-3f, 2e-3f, 1e3f, 0.0f},
     "1abc.pdb\t     0.0\t     666666.687500\t  0.000000\n"},
    {"typical values", {812.3f, 790.1f, 0.6123f, 523.7f},
     "1abc.pdb\t   801.2\t          0.000764\t  0.653645\n"},
};

TEST(ScoreFile, LinesInSinglePrecision) {
    for (const LineCase& c : kLines) EXPECT_EQ(scoreLine("1abc.pdb", c.scores), c.line) << c.what;
}

TEST(ScoreFile, EntryOfAnyLengthIsKeptWhole) {
    const std::string entry = std::string(600, 'd') + "/x;rm -rf ~.pdb";
    const std::string line = scoreLine(entry, {300.0f, 500.0f, 200.0f, 100.0f});
    EXPECT_EQ(line, entry + "\t   400.0\t          0.500000\t  0.250000\n");
}

TEST(ScoreFile, HeaderLines) {
    EXPECT_EQ(scoreHeader(),
              "#REMARK: A2 = Square Angstrom, A-2 = per Square Angstrom\n" +
                  std::string(73, '-') + "\n" +
                  "PDBfile\t\tInterfaceArea (A2)\t  KAV (A-2) \t  ZUr (A-2)\n" +
                  std::string(73, '=') + "\n");
}

TEST(ScoreFile, FullDiskIsReported) {
    File full = openFile("/dev/full", "w");
    if (!full) GTEST_SKIP() << "no /dev/full";
    EXPECT_FALSE(writeAndFlush(full.get(), scoreHeader()));
}

}  // namespace
