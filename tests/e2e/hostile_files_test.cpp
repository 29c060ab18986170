// Hostile structure files through the real kav_zur with the bundled engine:
// chain IDs holding control characters, old-layout PDB files, numbers the
// readers cannot hold, records the engine refuses, empty files and a gzip
// bomb. A file read through the converting path must get the verdict of
// the same file read as it is, and no control character of a file may
// reach the console, the score file or the details file.
#include "records/score_file.h"
#include "input/raw_text.h"
#include "run_program.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testutil::readText;
using testutil::writeText;

const fs::path kData = fs::path(KAVZUR_SOURCE_DIR) / "tests/data";
const fs::path kExamples = fs::path(KAVZUR_SOURCE_DIR) / "examples";

std::string field(const std::string& line, std::size_t at, std::size_t n) {
    std::string f = line.size() > at ? line.substr(at, n) : "";
    f.erase(0, f.find_first_not_of(' '));
    f.erase(f.find_last_not_of(" \n") + 1);
    return f.empty() ? std::string(".") : f;
}

// A PDB text's atom records as an mmCIF atom_site loop. `chain` gives the
// token of each atom's chain (quoted or a text field as it likes) from its
// PDB chain; `column`/`atom`/`token` replace one value of one atom (1-based).
std::string asMmcif(const std::string& pdb, const std::function<std::string(char)>& chain = nullptr,
                    const std::string& column = "", int atom = 0, const std::string& token = "") {
    static const char* const kColumns[] = {"group_PDB", "id", "type_symbol", "label_atom_id",
                                           "label_alt_id", "label_comp_id", "label_asym_id", "label_seq_id",
                                           "Cartn_x", "Cartn_y", "Cartn_z", "occupancy",
                                           "B_iso_or_equiv", "auth_seq_id", "auth_asym_id",
                                           "pdbx_PDB_model_num"};
    std::string out = "data_test\nloop_\n";
    for (const char* c : kColumns) out += std::string("_atom_site.") + c + "\n";
    int id = 0;
    for (const std::string& line : e2e::splitLines(pdb)) {
        if (line.rfind("ATOM", 0) != 0 && line.rfind("HETATM", 0) != 0) continue;
        ++id;
        const std::string ch = chain ? chain(line[21]) : std::string(1, line[21]);
        const std::string values[] = {field(line, 0, 6),  std::to_string(id), field(line, 76, 2),
                                      "\"" + field(line, 12, 4) + "\"", field(line, 16, 1),
                                      field(line, 17, 3), ch,
                                      field(line, 22, 4), field(line, 30, 8), field(line, 38, 8),
                                      field(line, 46, 8), field(line, 54, 6), field(line, 60, 6),
                                      field(line, 22, 4), ch, "1"};
        for (std::size_t i = 0; i < std::size(kColumns); ++i)
            out += (i ? " " : "") + (id == atom && column == kColumns[i] ? token : values[i]);
        out += "\n";
    }
    return out;
}

// 1ycr with its first residue numbered -999 (it fits columns 23-26).
std::string minus999(const std::string& pdb) {
    std::string out;
    for (std::string line : e2e::splitLines(pdb)) {
        if (line.rfind("ATOM", 0) == 0 && line.compare(22, 4, "  25") == 0 && line[21] == 'A')
            line.replace(22, 4, "-999");
        out += line;
    }
    return out;
}

void gzipTo(const fs::path& path, const std::string& text) {
    gzFile out = gzopen(path.c_str(), "wb9");
    ASSERT_TRUE(out);
    ASSERT_EQ(gzwrite(out, text.data(), static_cast<unsigned>(text.size())), static_cast<int>(text.size()));
    gzclose(out);
}

// The files a case names, written into `s` on demand.
void makeFile(const fs::path& s, const std::string& name) {
    if (fs::exists(s / name)) return;
    const std::string p1ycr = readText(kData / "1ycr.pdb");
    const std::string p1hpv = readText(kExamples / "1hpv.pdb");
    const auto chainB = [](const std::string& token) {
        return [token](char c) { return c == 'B' ? token : std::string(1, c); };
    };
    if (name == "1ycr.pdb") writeText(s / name, p1ycr);
    else if (name == "1hpv.pdb" || name == "1hpv.ent") writeText(s / name, p1hpv);
    else if (name == "1hpv.pdb.gz") gzipTo(s / name, p1hpv);
    else if (name == "tab.cif") writeText(s / name, asMmcif(p1ycr, chainB("'B\tX'")));
    else if (name == "newline.cif") writeText(s / name, asMmcif(p1ycr, chainB("\n;B\nX\n;\n")));
    else if (name == "esc.cif") writeText(s / name, asMmcif(p1ycr, chainB("'B\x1b[2J\x1b]0;t\x07'")));
    else if (name == "blank.cif") writeText(s / name, asMmcif(p1ycr, chainB("'B X'")));
    else if (name == "m999.pdb" || name == "m999.ent") writeText(s / name, minus999(p1ycr));
    else if (name == "m999.cif") writeText(s / name, asMmcif(minus999(p1ycr)));
    else if (name == "shift.pdb" || name == "shift.ent") {
        // Line 320, an ATOM record, shifted right by two columns after its name.
        std::vector<std::string> lines = e2e::splitLines(p1ycr);
        ASSERT_EQ(lines.at(319).rfind("ATOM", 0), 0u);
        lines[319].insert(6, "  ");
        std::string text;
        for (const std::string& l : lines) text += l;
        writeText(s / name, text);
    } else if (name == "bigseq.cif") writeText(s / name, asMmcif(p1ycr, nullptr, "auth_seq_id", 1, "4294967321"));
    else if (name == "biglabel.cif") writeText(s / name, asMmcif(p1ycr, nullptr, "label_seq_id", 1, "-2147483649"));
    else if (name == "bigid.cif") writeText(s / name, asMmcif(p1ycr, nullptr, "id", 7, "99999999999"));
    else if (name == "empty.cif") writeText(s / name, "");
    else if (name == "comment.cif") writeText(s / name, "# no data block\n\n");
    else if (name == "bomb.pdb.gz") {
        // gzip members of blanks, one repeated: past the limit once inflated.
        const std::size_t member = std::size_t{64} << 20;
        gzipTo(s / "member.gz", std::string(member, ' '));
        const std::string one = readText(s / "member.gz");
        std::string all;
        for (std::size_t n = 0; n <= kMaxStructureBytes / member; ++n) all += one;
        writeText(s / name, all);
        fs::remove(s / "member.gz");
    } else FAIL() << "no file " << name;
}

struct HostileCase {
    const char* what;
    std::vector<std::string> options;
    std::vector<std::string> entries;
    std::vector<std::string> names;     // the score lines' name column
    std::string reference;              // every line scores as this plain entry; "" none
    std::vector<std::string> messages;  // printed, each as it stands
    bool resume = false;                // --resume on the run's own files changes nothing
};

const std::string kBad = "Error in structure file ... ../s/";
const std::string kControl = "\" holds a blank or a character that cannot be printed";

const HostileCase kCases[] = {
    {"chain IDs with control characters or blanks", {}, {"tab.cif", "newline.cif", "esc.cif", "blank.cif", "1ycr.pdb"},
     {"1ycr.pdb"}, "1ycr.pdb",
     {kBad + "tab.cif: chain ID \"B\\tX" + kControl, kBad + "newline.cif: chain ID \"B\\nX" + kControl,
      kBad + "esc.cif: chain ID \"B\\x1b[2J\\x1b]0;t\\x07" + kControl, kBad + "blank.cif: chain ID \"B X" + kControl},
     true},
    {"the same, every pair", {"--all-pairs"}, {"tab.cif", "newline.cif", "esc.cif", "1ycr.pdb"},
     {"1ycr.pdb A:B"}, "1ycr.pdb", {kBad + "tab.cif: chain ID", kBad + "esc.cif: chain ID"}, true},
    {"an old-layout PDB file gzipped and as .ent", {}, {"1hpv.pdb.gz", "1hpv.ent"},
     {"1hpv.pdb.gz", "1hpv.ent"}, "1hpv.pdb", {}},
    {"an old-layout PDB file, chosen sides", {"--chains", "A:B"}, {"1hpv.pdb"}, {"1hpv.pdb"}, "1hpv.pdb", {}},
    {"an old-layout PDB file, model 1", {"--model", "1"}, {"1hpv.pdb"}, {"1hpv.pdb"}, "1hpv.pdb", {}},
    {"an old-layout PDB file, every pair", {"--all-pairs"}, {"1hpv.pdb"}, {"1hpv.pdb A:B"}, "1hpv.pdb", {}},
    {"residue number -999", {}, {"m999.ent", "m999.cif"}, {"m999.ent", "m999.cif"}, "m999.pdb", {}},
    {"an ATOM record shifted by two columns", {}, {"shift.pdb", "shift.ent"}, {}, "",
     {"TEMP.pdb, line 320: unreadable coordinates '    ",
      kBad + "shift.ent: line 320: unreadable coordinates '    "}},
    {"numbers beyond the int range", {}, {"bigseq.cif", "biglabel.cif", "bigid.cif", "1ycr.pdb"},
     {"1ycr.pdb"}, "1ycr.pdb",
     {kBad + "bigseq.cif: _atom_site.auth_seq_id 4294967321 is beyond the range",
      kBad + "biglabel.cif: _atom_site.label_seq_id -2147483649 is beyond the range",
      kBad + "bigid.cif: _atom_site.id 99999999999 is beyond the range"}},
    {"empty mmCIF files", {}, {"empty.cif", "comment.cif"}, {}, "",
     {kBad + "empty.cif: no atoms\n", kBad + "comment.cif: no atoms\n"}},
    // --model all reads files on a path of its own, with the same checks.
    {"the same faults, every model", {"--model", "all"},
     {"tab.cif", "bigseq.cif", "empty.cif", "m999.cif", "m999.ent"}, {"m999.cif model 1", "m999.ent model 1"},
     "m999.pdb",
     {kBad + "tab.cif: model 1: chain ID \"B\\tX" + kControl,
      kBad + "bigseq.cif: _atom_site.auth_seq_id 4294967321 is beyond the range",
      kBad + "empty.cif: no atoms\n"}},
    {"a gzip bomb", {}, {"bomb.pdb.gz", "1ycr.pdb"}, {"1ycr.pdb"}, "1ycr.pdb",
     {kBad + "bomb.pdb.gz: holds more than 1073741824 bytes once decompressed, the limit of a "
             "structure file\n"}},
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.what; }

struct ListRun {
    e2e::RunResult run;
    std::vector<std::string> lines;  // score lines
    std::string details;
};

ListRun runOn(testutil::ScratchDir& work, const std::vector<std::string>& options,
              const std::vector<std::string>& entries) {
    const fs::path s = work.parent() / "s";
    fs::create_directories(s);
    std::string list;
    for (const std::string& e : entries) {
        makeFile(s, e);
        list += e + "\n";
    }
    writeText(work.work() / "pdblist", list);
    std::vector<std::string> args = options;
    for (const char* a : {"--details", "run.tsv", "../s", KAVZUR_ENGINE_DIR}) args.push_back(a);
    ListRun r{e2e::runKavZur(work.work(), args), {}, readText(work.work() / "run.tsv")};
    const std::string scores = readText(work.work() / kScoreFileName);
    if (scores.size() >= scoreHeader().size())
        r.lines = e2e::splitLines(scores.substr(scoreHeader().size()));
    return r;
}

std::string numbers(const std::string& line) { return line.substr(line.find('\t')); }
std::string name(const std::string& line) { return line.substr(0, line.find('\t')); }

// Control characters other than the line ends (and, in files, the tabs
// between columns).
bool holdsControl(const std::string& text, bool tabs) {
    for (const char c : text)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\n' && !(tabs && c == '\t')) || c == 0x7f)
            return true;
    return false;
}

class HostileTest : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileTest, SameVerdictAsThePlainFileNothingRawPrinted) {
    const HostileCase& c = GetParam();
    testutil::ScratchDir work;
    const ListRun r = runOn(work, c.options, c.entries);
    EXPECT_EQ(r.run.status, 0) << r.run.err;
    EXPECT_EQ(r.run.err, "");
    std::vector<std::string> names;
    for (const std::string& line : r.lines) {
        names.push_back(name(line));
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 3) << line;
    }
    EXPECT_EQ(names, c.names);
    if (!c.reference.empty()) {
        testutil::ScratchDir plainWork;
        const ListRun plain = runOn(plainWork, {}, {c.reference});
        ASSERT_EQ(plain.lines.size(), 1u) << plain.run.out;
        for (const std::string& line : r.lines) EXPECT_EQ(numbers(line), numbers(plain.lines[0])) << line;
    }
    for (const std::string& m : c.messages)
        EXPECT_NE(r.run.out.find(m), std::string::npos) << "no \"" << m << "\" in\n" << r.run.out;
    EXPECT_FALSE(holdsControl(r.run.out, false)) << r.run.out;
    EXPECT_FALSE(holdsControl(readText(work.work() / kScoreFileName), true));
    EXPECT_FALSE(holdsControl(r.details, true)) << r.details;
    // One details row per entry (or pair), each with the header's columns.
    const std::vector<std::string> rows = e2e::splitLines(r.details);
    ASSERT_FALSE(rows.empty());
    for (const std::string& row : rows)
        EXPECT_EQ(std::count(row.begin(), row.end(), '\t'), std::count(rows[0].begin(), rows[0].end(), '\t')) << row;
    if (c.resume) {
        std::vector<std::string> options = c.options;
        options.push_back("--resume");
        const std::string scores = readText(work.work() / kScoreFileName);
        const ListRun again = runOn(work, options, c.entries);
        EXPECT_EQ(again.run.status, 0) << again.run.err;
        EXPECT_EQ(readText(work.work() / kScoreFileName), scores);
        EXPECT_EQ(again.details, r.details);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, HostileTest, ::testing::ValuesIn(kCases));

// A console that cannot be written (standard output on a full disk): the
// help, the version and a whole run exit 1 and say so on standard error.
TEST(ConsoleWriteErrors, ExitOneWithAMessage) {
    testutil::ScratchDir work;
    makeFile(work.parent(), "1ycr.pdb");
    writeText(work.work() / "pdblist", "1ycr.pdb\n");
    const std::vector<std::vector<std::string>> cases = {
        {"--help"}, {"--version"}, {"..", KAVZUR_ENGINE_DIR}, {"--chains", "A:B", "..", KAVZUR_ENGINE_DIR}};
    for (std::vector<std::string> args : cases) {
        args.insert(args.begin(), KAVZUR_BINARY);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const fs::path err = work.parent() / "stderr.txt";
        const pid_t pid = fork();
        if (pid == 0) {
            const int out = open("/dev/full", O_WRONLY);
            const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (out < 0 || errFd < 0 || dup2(out, 1) < 0 || dup2(errFd, 2) < 0 ||
                chdir(work.work().c_str()) != 0)
                _exit(127);
            execv(argv[0], argv.data());
            _exit(127);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << args[1] << ": " << status;
        EXPECT_NE(readText(err).find("kav_zur: cannot write standard output"), std::string::npos)
            << args[1] << ": " << readText(err);
    }
}

}  // namespace
