#include "structure/extract.h"

#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testutil::atomLine;
using testutil::readText;

struct ExtractCase {
    const char* what;
    std::vector<std::string> lines;  // the area file, line by line
    int result;
    std::vector<int> subunitA;  // indices of the lines expected in ComplexA.pdb
    std::vector<int> subunitB;
    const char* message;
};

const std::string kHetatm = atomLine(90, 'A', 90, ' ', ' ', "HETATM");
const std::string kTer = "TER     100      ALA A  10\n";

// An atom record with something in column 21, between residue name and chain.
std::string column21Taken(int serial, char chain) {
    std::string line = atomLine(serial, chain, serial);
    line[20] = 'X';
    return line;
}

std::string join(const std::vector<std::string>& lines, const std::vector<int>& picked) {
    std::string text;
    for (int i : picked) text += lines[static_cast<std::size_t>(i)];
    return text;
}

const ExtractCase kCases[] = {
    {"two chains",
     {atomLine(1, 'A', 1), atomLine(2, 'A', 1), atomLine(3, 'B', 1), atomLine(4, 'B', 2)},
     0, {0, 1}, {2, 3},
     " Subunit one contains 2 atoms and Subunit two contains 2 atoms.\n"},
    {"a third chain is ignored",
     {atomLine(1, 'A', 1), atomLine(2, 'B', 1), atomLine(3, 'C', 1), atomLine(4, 'C', 2)},
     0, {0}, {1},
     " Subunit one contains 1 atoms and Subunit two contains 1 atoms.\n"},
    {"the return of the first chain ends the reading",
     {atomLine(1, 'A', 1), atomLine(2, 'A', 2), atomLine(3, 'B', 1), atomLine(4, 'A', 3),
      atomLine(5, 'B', 2)},
     0, {0, 1}, {2},
     " Subunit one contains 2 atoms and Subunit two contains 1 atoms.\n"},
    {"hetero atoms, chain ends, alternate locations and insertion codes are passed over",
     {atomLine(1, 'A', 1), kHetatm, atomLine(2, 'A', 2, 'A'), atomLine(3, 'A', 3, ' ', 'A'),
      kTer, atomLine(4, 'B', 1, 'B'), atomLine(5, 'B', 2, ' ', 'C'), atomLine(6, 'B', 3),
      column21Taken(7, 'B'), atomLine(8, 'A', 4, 'A'), column21Taken(9, 'C'), atomLine(10, 'B', 4)},
     0, {0}, {7, 11},
     " Subunit one contains 1 atoms and Subunit two contains 2 atoms.\n"},
    {"a single chain leaves subunit two empty",
     {atomLine(1, 'A', 1), atomLine(2, 'A', 2), atomLine(3, 'A', 3)},
     0, {0, 1, 2}, {},
     " Subunit one contains 3 atoms and Subunit two contains 0 atoms.\n"},
    {"a blank chain in the first chain",
     {atomLine(1, 'A', 1), atomLine(2, 'A', 2), atomLine(3, ' ', 3), atomLine(4, 'B', 1)},
     -2, {0, 1}, {},
     "Chain identifier missing ... exiting\n"},
    {"a blank chain after the first chain is complete",
     {atomLine(1, 'A', 1), atomLine(2, 'B', 1), atomLine(3, ' ', 2)},
     -2, {0}, {1},
     "Chain identifier missing ... exiting\n"},
    {"a blank chain after the second chain has ended is never read",
     {atomLine(1, 'A', 1), atomLine(2, 'B', 1), atomLine(3, 'C', 1), atomLine(4, ' ', 2)},
     0, {0}, {1},
     " Subunit one contains 1 atoms and Subunit two contains 1 atoms.\n"},
    {"a blank chain on a passed-over record does not count",
     {atomLine(1, 'A', 1), atomLine(2, ' ', 1, ' ', ' ', "HETATM"), atomLine(3, ' ', 2, 'A'),
      atomLine(4, 'B', 1)},
     0, {0}, {3},
     " Subunit one contains 1 atoms and Subunit two contains 1 atoms.\n"},
    {"the first line is copied untested and names the first chain",
     {atomLine(1, 'A', 1, 'A', 'B', "HETATM"), atomLine(2, 'A', 2), atomLine(3, 'B', 1)},
     0, {0, 1}, {2},
     " Subunit one contains 2 atoms and Subunit two contains 1 atoms.\n"},
    {"a first line of another chain sends the first chain to subunit two",
     {atomLine(1, 'X', 1, ' ', ' ', "HETATM"), atomLine(2, 'A', 1), atomLine(3, 'A', 2),
      atomLine(4, 'B', 1)},
     0, {0}, {1, 2},
     " Subunit one contains 1 atoms and Subunit two contains 2 atoms.\n"},
    {"a short first line names a blank chain",
     {"END\n", atomLine(1, 'A', 1), atomLine(2, 'B', 1)},
     0, {0}, {1},
     " Subunit one contains 1 atoms and Subunit two contains 1 atoms.\n"},
    {"a piece that ends before column 27 is not an atom record",
     {atomLine(1, 'A', 1), "ATOM      2  CA  ALA B   1\n", atomLine(3, 'A', 2)},
     0, {0, 2}, {},
     " Subunit one contains 2 atoms and Subunit two contains 0 atoms.\n"},
    {"a last line without a line end is read",
     {atomLine(1, 'A', 1), atomLine(2, 'B', 1).substr(0, 66)},
     0, {0}, {1},
     " Subunit one contains 1 atoms and Subunit two contains 1 atoms.\n"},
    {"an empty input has no first line", {}, -1, {}, {}, ""},
};

void PrintTo(const ExtractCase& c, std::ostream* os) { *os << c.what; }

class ExtractTest : public ::testing::TestWithParam<ExtractCase> {};

TEST_P(ExtractTest, SplitsTheFirstTwoChains) {
    const ExtractCase& c = GetParam();
    testutil::ScratchDir scratch;
    SCOPED_TRACE(c.what);
    std::string input;
    for (const std::string& line : c.lines) input += line;
    testutil::writeText("TEMP.asa", input);

    ::testing::internal::CaptureStdout();
    const int result = Extract("TEMP.asa");
    const std::string out = ::testing::internal::GetCapturedStdout();

    EXPECT_EQ(result, c.result);
    EXPECT_EQ(out, c.message);
    EXPECT_EQ(readText("ComplexA.pdb"), join(c.lines, c.subunitA));
    EXPECT_EQ(readText("ComplexB.pdb"), join(c.lines, c.subunitB));
    if (result == 0)
        EXPECT_EQ(readText("Complex.pdb"), join(c.lines, c.subunitA) + join(c.lines, c.subunitB));
    else
        EXPECT_EQ(readText("Complex.pdb"), "<missing>");
}

INSTANTIATE_TEST_SUITE_P(Cases, ExtractTest, ::testing::ValuesIn(kCases));

TEST(Extract, MissingInputFailsWithoutMessage) {
    testutil::ScratchDir scratch;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(Extract("TEMP.asa"), -1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(readText("Complex.pdb"), "<missing>");
}

TEST(Extract, UnwritableSubunitFileFails) {
    testutil::ScratchDir scratch;
    testutil::writeText("TEMP.asa", atomLine(1, 'A', 1) + atomLine(2, 'B', 1));
    std::filesystem::create_directory("ComplexB.pdb");
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(Extract("TEMP.asa"), -1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
}

TEST(Extract, ReplacesEarlierSubunitFiles) {
    testutil::ScratchDir scratch;
    testutil::writeText("ComplexA.pdb", "stale A\n");
    testutil::writeText("ComplexB.pdb", "stale B\n");
    testutil::writeText("Complex.pdb", "stale complex\n");
    const std::string text = atomLine(1, 'A', 1);
    testutil::writeText("TEMP.asa", text);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(Extract("TEMP.asa"), 0);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(readText("ComplexA.pdb"), text);
    EXPECT_EQ(readText("ComplexB.pdb"), "");
    EXPECT_EQ(readText("Complex.pdb"), text);
}

// The atom record of atomLine with `serial` in columns 7-11.
std::string withSerial(const char* serial, char chain, int resSeq) {
    std::string line = atomLine(1, chain, resSeq);
    line.replace(6, 5, serial);
    return line;
}

// Serials past 99999 (hybrid-36, "*****") become the record's position in its
// subunit file; numbers, negative ones included, stay as they are.
TEST(Extract, SerialsThatAreNoNumbersBecomePositions) {
    testutil::ScratchDir scratch;
    testutil::writeText("TEMP.asa", withSerial("A0000", 'A', 1) + withSerial("99999", 'A', 2) +
                                        withSerial("*****", 'A', 3) + withSerial("   -1", 'B', 1) +
                                        withSerial("A000Z", 'B', 2) + withSerial("  1 2", 'B', 3));
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(Extract("TEMP.asa"), 0);
    ::testing::internal::GetCapturedStdout();
    const std::string a =
        withSerial("    1", 'A', 1) + withSerial("99999", 'A', 2) + withSerial("    3", 'A', 3);
    const std::string b =
        withSerial("   -1", 'B', 1) + withSerial("    2", 'B', 2) + withSerial("    3", 'B', 3);
    EXPECT_EQ(readText("ComplexA.pdb"), a);
    EXPECT_EQ(readText("ComplexB.pdb"), b);
    EXPECT_EQ(readText("Complex.pdb"), a + b);
}

}  // namespace
