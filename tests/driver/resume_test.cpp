// Where --resume goes on: the entries an earlier run recorded in its score
// file and details file, and how much of each file stays.
#include "driver/resume.h"

#include "records/details_file.h"
#include "records/score_file.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

const std::vector<std::string> kList = {"a.pdb", "b.pdb", "a.pdb", "c.pdb"};

std::string line(const std::string& name) { return name + "\t   400.0\t          0.500000\t  0.250000\n"; }

std::string row(const std::string& name, const char* status, const char* sides = "") {
    InterfaceResult r;
    r.name = name;
    r.sides = sides;
    r.status = std::string(status) == "scored" ? EntryStatus::Scored : EntryStatus::NoFile;
    return detailsRow(r);
}

struct Case {
    const char* what;
    std::string score;        // the score file after its header ("-": no file)
    std::string details;      // the details file after its header ("-": none)
    std::size_t done;
    std::size_t scoreKept;    // bytes after the header
    std::size_t detailsKept;
    bool refused;
};

const std::string kA = line("a.pdb"), kB = line("b.pdb"), kC = line("c.pdb");
const std::string kRa = row("a.pdb", "scored"), kRb = row("b.pdb", "no_file"),
                  kRc = row("c.pdb", "scored");

const Case kCases[] = {
    {"nothing yet", "", "-", 0, 0, 0, false},
    {"one line", kA, "-", 1, kA.size(), 0, false},
    {"a half-written last line goes", kA + kA.substr(0, 9), "-", 1, kA.size(), 0, false},
    // b failed (no line); the second a.pdb scored: past b.
    {"a name listed twice counts twice", kA + kA, "-", 3, 2 * kA.size(), 0, false},
    {"a name not in the list", kA + line("x.pdb"), "-", 0, 0, 0, true},
    {"more lines of a name than the list holds", kA + kA + kA, "-", 0, 0, 0, true},
    {"out of list order", kC + kA, "-", 0, 0, 0, true},
    {"pairs of one entry are one entry", line("a.pdb A:B") + line("a.pdb A:C") +
                                             line("a.pdb A:B"),
     "-", 3, 3 * kA.size() + 12, 0, false},
    {"details decide, failures included", kA, kRa + kRb, 2, kA.size(), (kRa + kRb).size(), false},
    {"a score line whose row is missing goes", kA + kA, kRa + kRb, 2, kA.size(),
     (kRa + kRb).size(), false},
    {"a half-written row goes", kA, kRa + kRb.substr(0, 3), 1, kA.size(), kRa.size(), false},
    {"every entry recorded", kA + kA + kC, kRa + kRb + kRa + kRc, 4, (kA + kA + kC).size(),
     (kRa + kRb + kRa + kRc).size(), false},
    {"pairs told apart by their sides", line("a.pdb A:B"),
     row("a.pdb", "scored", "A:B") + row("a.pdb", "no_file", "A:C") + row("b.pdb", "no_file"), 2,
     kA.size() + 4, (row("a.pdb", "scored", "A:B") + row("a.pdb", "no_file", "A:C") + kRb).size(),
     false},
    {"a score line that the details do not have", kC, kRa, 0, 0, 0, true},
    {"details of another list", kA, row("z.pdb", "scored"), 0, 0, 0, true},
    {"score lines two entries ahead of the details", kA + kA, kRa, 0, 0, 0, true},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.what; }

class ResumeTest : public ::testing::TestWithParam<Case> {};

TEST_P(ResumeTest, RecordedEntriesAndBytesKept) {
    const Case& c = GetParam();
    const std::string score = scoreHeader() + c.score;
    const std::string details = detailsHeader() + c.details;
    const ResumePoint p = findResumePoint(kList, c.score == "-" ? nullptr : &score,
                                          c.details == "-" ? nullptr : &details, "d.tsv");
    EXPECT_EQ(!p.problem.empty(), c.refused) << p.problem;
    if (c.refused) return;
    EXPECT_EQ(p.done, c.done);
    EXPECT_EQ(p.scoreKeep, scoreHeader().size() + c.scoreKept);
    if (c.details != "-") {
        EXPECT_EQ(p.detailsKeep, detailsHeader().size() + c.detailsKept);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, ResumeTest, ::testing::ValuesIn(kCases));

TEST(Resume, HeadersDecide) {
    const std::string foreign = "name\tscore\n" + kA;
    EXPECT_NE(findResumePoint(kList, &foreign, nullptr, "d").problem, "");
    // A run stopped while writing the header: nothing recorded, nothing kept.
    const std::string cut = scoreHeader().substr(0, 20);
    const ResumePoint p = findResumePoint(kList, &cut, nullptr, "d");
    EXPECT_EQ(p.problem, "");
    EXPECT_EQ(p.done, 0u);
    EXPECT_EQ(p.scoreKeep, 0u);
    const std::string score = scoreHeader() + kA, details = "name\tx\n";
    EXPECT_NE(findResumePoint(kList, &score, &details, "d").problem.find("d does not begin"),
              std::string::npos);
    // Details without a score file are not a run to go on with.
    const std::string rows = detailsHeader() + kRa;
    EXPECT_NE(findResumePoint(kList, nullptr, &rows, "d").problem, "");
}

// The entry re-entered: the last one recorded, and the names of its
// interfaces already recorded whole, which the run skips.
struct ReEntry {
    const char* what;
    std::vector<std::string> list;
    std::string score;    // after the header
    std::string details;  // after the header; "-": none
    std::size_t next;
    std::set<std::string> recorded;
    std::size_t linesKept;  // whole score lines kept below the header
};

const std::string kNul("n\0ul.pdb", 8);

const ReEntry kReEntries[] = {
    {"nothing yet", kList, "", "-", 0, {}, 0},
    {"a whole entry is skipped whole", kList, kA, "-", 0, {"a.pdb"}, 1},
    {"pairs cut between two writes", {"p.cif", "q.cif"},
     line("p.cif A:B") + line("p.cif A:C") + line("p.cif B:C").substr(0, 5), "-", 0,
     {"p.cif A:B", "p.cif A:C"}, 2},
    {"the pairs of the second entry only", {"p.cif", "q.cif"},
     line("p.cif A:B") + line("q.cif A:B"), "-", 1, {"q.cif A:B"}, 2},
    {"the pairs of the second of two same names", {"p.cif", "p.cif"},
     line("p.cif A:B") + line("p.cif A:C") + line("p.cif A:B"), "-", 1, {"p.cif A:B"}, 3},
    {"rows cut between two writes: their lines stay, the rest are scored", {"p.cif", "q.cif"},
     line("p.cif A:B") + line("p.cif A:C") + line("p.cif B:C"),
     row("p.cif A:B", "scored", "A:B") + row("p.cif A:C", "scored", "A:C"), 0,
     {"p.cif A:B", "p.cif A:C"}, 2},
    {"a failed pair's row counts", {"p.cif", "q.cif"}, line("p.cif A:C"),
     row("p.cif A:B", "no_file", "A:B") + row("p.cif A:C", "scored", "A:C"), 0,
     {"p.cif A:B", "p.cif A:C"}, 1},
    {"lines of the next entry before its rows", {"p.cif", "q.cif"},
     line("p.cif A:B") + line("q.cif A:B"), row("p.cif A:B", "scored", "A:B"), 0, {"p.cif A:B"},
     1},
    {"a NUL name is recorded escaped", {kNul, "b.pdb"}, "", row("n\\0ul.pdb", "bad_name"), 0,
     {"n\\0ul.pdb"}, 0},
    {"and the entries after it too", {kNul, "b.pdb"}, kB,
     row("n\\0ul.pdb", "bad_name") + row("b.pdb", "scored"), 1, {"b.pdb"}, 1},
};

void PrintTo(const ReEntry& c, std::ostream* os) { *os << c.what; }

class ReEntryTest : public ::testing::TestWithParam<ReEntry> {};

TEST_P(ReEntryTest, LastEntryRecordedIsReEnteredSkippingWhatIsWhole) {
    const ReEntry& c = GetParam();
    const std::string score = scoreHeader() + c.score;
    const std::string details = detailsHeader() + c.details;
    const ResumePoint p =
        findResumePoint(c.list, &score, c.details == "-" ? nullptr : &details, "d.tsv");
    ASSERT_EQ(p.problem, "");
    EXPECT_EQ(p.next, c.next);
    EXPECT_EQ(p.recorded, c.recorded);
    EXPECT_EQ(p.done, c.recorded.empty() ? 0 : c.next + 1);
    std::size_t lines = 0;
    for (std::size_t i = scoreHeader().size(); i < p.scoreKeep; ++i) lines += score[i] == '\n';
    EXPECT_EQ(lines, c.linesKept);
    EXPECT_EQ(p.scoreKeep, lines == 0 ? scoreHeader().size() : score.rfind('\n', p.scoreKeep - 1) + 1);
    if (c.details != "-") {
        EXPECT_EQ(p.detailsKeep, details.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Files, ReEntryTest, ::testing::ValuesIn(kReEntries));

}  // namespace
