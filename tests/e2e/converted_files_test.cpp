// Structures that are read and rewritten rather than copied: mmCIF and
// gzipped files, chosen sides, every chain pair, chosen models, and files
// that cannot be read. Each case is a real run with the bundled engine whose
// score lines must carry the numbers of a reference run on a plain PDB file.
#include "gzip_text.h"
#include "records/score_file.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include <cstdio>
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

// ATOM records of a PDB text whose chain passes `keep`, chain renamed by it.
std::string cutChains(const std::string& pdb, const std::function<char(char)>& keep) {
    std::string out;
    for (std::string line : e2e::splitLines(pdb))
        if (line.rfind("ATOM", 0) == 0 && keep(line[21]) != 0) {
            line[21] = keep(line[21]);
            out += line;
        }
    return out + "END\n";
}

// A PDB text's ATOM/HETATM records as an mmCIF atom_site loop; `chain` gives
// each atom's chain name (from its PDB chain and residue number), `x` may
// replace the x of atom 5.
std::string asMmcif(const std::string& pdb,
                    const std::function<std::string(char, int)>& chain = nullptr,
                    const char* x5 = nullptr) {
    std::string out = "data_test\nloop_\n";
    for (const char* c : {"group_PDB", "id", "type_symbol", "label_atom_id", "label_alt_id",
                          "label_comp_id", "label_asym_id", "label_seq_id", "pdbx_PDB_ins_code",
                          "Cartn_x", "Cartn_y", "Cartn_z", "occupancy", "B_iso_or_equiv",
                          "auth_seq_id", "auth_asym_id", "pdbx_PDB_model_num"})
        out += std::string("_atom_site.") + c + "\n";
    const auto field = [](const std::string& line, std::size_t at, std::size_t n) {
        std::string f = line.substr(at, n);
        f.erase(0, f.find_first_not_of(' '));
        f.erase(f.find_last_not_of(" \n") + 1);
        return f.empty() ? std::string(".") : f;
    };
    int id = 0;
    for (const std::string& line : e2e::splitLines(pdb)) {
        if (line.rfind("ATOM", 0) != 0 && line.rfind("HETATM", 0) != 0) continue;
        const int seq = std::stoi(line.substr(22, 4));
        const std::string ch = chain ? chain(line[21], seq) : std::string(1, line[21]);
        ++id;
        out += field(line, 0, 6) + " " + std::to_string(id) + " " + field(line, 76, 2) + " \"" +
               field(line, 12, 4) + "\" " + field(line, 16, 1) + " " + field(line, 17, 3) + " " +
               ch + " " + field(line, 22, 4) + " " + field(line, 26, 1) + " " +
               (id == 5 && x5 ? std::string(x5) : field(line, 30, 8)) + " " +
               field(line, 38, 8) + " " + field(line, 46, 8) + " " + field(line, 54, 6) + " " +
               field(line, 60, 6) + " " + field(line, 22, 4) + " " + ch + " 1\n";
    }
    return out;
}

// The structures of every case, in <scratch>/s beside the working directory.
void makeStructures(const fs::path& s) {
        fs::create_directory(s);
        const std::string p1ycr = readText(kData / "1ycr.pdb");
        const std::string p4hhb = readText(kExamples / "4hhb.pdb");
        const std::string cif1ycr = asMmcif(p1ycr);
        writeText(s / "1ycr.pdb", p1ycr);
        writeText(s / "2jo4.pdb", readText(kData / "2jo4.pdb"));
        writeText(s / "1a1f.pdb", readText(kData / "1a1f.pdb"));
        writeText(s / "4hhb.pdb", p4hhb);
        for (const char* f : {"2XHE.cif.gz", "2xhe.pdb.gz", "7CFN.cif.gz"})
            fs::copy_file(kData / f, s / f);
        writeText(s / "2xhe.pdb", testutil::gzipFileText(kData / "2xhe.pdb.gz"));
        writeText(s / "1ycr.cif", cif1ycr);
        // A LINK record that ends in column 76, read past its end once.
        writeText(s / "link.pdb", "LINK         O   HOH A 301                ZN    ZN A 401  1555 1555      2.6\n" + p1ycr);
        writeText(s / "4hhb_BC.pdb", cutChains(p4hhb, [](char c) { return c == 'B' || c == 'C' ? c : 0; }));
        // A and C under one ID, B after them: a side of two chains cut by hand.
        writeText(s / "4hhb_AC_B.pdb",
                  cutChains(p4hhb, [](char c) { return c == 'A' || c == 'C' ? 'A' : 0; }) +
                      cutChains(p4hhb, [](char c) { return c == 'B' ? c : 0; }));
        writeText(s / "long.cif", asMmcif(p1ycr, [](char c, int) { return c == 'A' ? "AAA" : "BB"; }));
        writeText(s / "many.cif", asMmcif(p1ycr, [](char c, int r) {
                      return std::string(1, c) + std::to_string(r);  // a chain per residue
                  }));
        writeText(s / "far.cif", asMmcif(p1ycr, nullptr, "12345.678"));
        writeText(s / "cut.cif", cif1ycr.substr(0, cif1ycr.size() / 2));
        writeText(s / "quote.cif", "data_x\nloop_\n_atom_site.id\n_atom_site.type_symbol\n1 'C\n");
        writeText(s / "empty.cif", "data_x\n_cell.length_a 10.0\n");
        std::string gz = readText(kData / "7CFN.cif.gz");
        for (std::size_t i = 4000; i < 4100; ++i) gz[i] = static_cast<char>(gz[i] ^ 0x5a);
        writeText(s / "corrupt.cif.gz", gz);
        // Not gzip, and its last four bytes, read as the gzip trailer, say 0.
        writeText(s / "zero.cif.gz", std::string("\xa4\n\0\0\0\0\0\0\0", 9));
        writeText(s / "short.cif.gz", readText(kData / "7CFN.cif.gz").substr(0, 20000));
}

struct ListRun {
    e2e::RunResult run;
    std::vector<std::string> lines;  // score lines
};

ListRun runOn(const std::vector<std::string>& options, const std::vector<std::string>& entries) {
    testutil::ScratchDir work;
    makeStructures(work.parent() / "s");
    std::string list;
    for (const std::string& e : entries) list += e + "\n";
    writeText("pdblist", list);
    std::vector<std::string> args = options;
    args.push_back("../s");
    args.push_back(KAVZUR_ENGINE_DIR);
    ListRun r{e2e::runKavZur(work.work(), args), {}};
    const std::string scores = readText(kScoreFileName);
    if (scores.size() >= scoreHeader().size())
        r.lines = e2e::splitLines(scores.substr(scoreHeader().size()));
    return r;
}

// The numbers of a score line: all after its name column.
std::string numbers(const std::string& line) { return line.substr(line.find('\t')); }
std::string name(const std::string& line) { return line.substr(0, line.find('\t')); }

struct ConvertCase {
    const char* what;
    std::vector<std::string> options;
    std::vector<std::string> entries;
    std::vector<std::string> names;     // the score lines' name column
    std::string reference;              // every line scores as this plain entry; "" none
    std::vector<std::string> messages;  // printed, each as it stands
};

const std::string kBad = "Error in structure file ... ";

const ConvertCase kCases[] = {
    {"mmCIF and gzipped PDB as the plain PDB file", {}, {"2XHE.cif.gz", "2xhe.pdb.gz"},
     {"2XHE.cif.gz", "2xhe.pdb.gz"}, "2xhe.pdb", {}},
    {"mmCIF written from a PDB file", {}, {"1ycr.cif"}, {"1ycr.cif"},
     "1ycr.pdb", {}},
    {"two chains of four", {"--chains", "B:C"}, {"4hhb.pdb"}, {"4hhb.pdb"}, "4hhb_BC.pdb", {}},
    {"a side of two chains in either order", {"--chains", "C,A:B"}, {"4hhb.pdb", "4hhb.pdb"},
     {"4hhb.pdb", "4hhb.pdb"}, "4hhb_AC_B.pdb", {"A,C written as chain A. "}},
    {"a missing chain", {"--chains", "A:E"}, {"4hhb.pdb", "4hhb.pdb"}, {}, "",
     {kBad + "../s/4hhb.pdb: no chain E (chains present: A, B, C, D)\n"}},
    {"multi-character chain IDs", {}, {"long.cif"}, {"long.cif"}, "1ycr.pdb",
     {"AAA written as chain A. BB written as chain B. "}},
    {"every touching pair", {"--all-pairs"}, {"7CFN.cif.gz"},
     {"7CFN.cif.gz A:B", "7CFN.cif.gz A:N", "7CFN.cif.gz A:R", "7CFN.cif.gz B:G",
      "7CFN.cif.gz B:N"},
     "",
     {"Interface is too small to triangulate ... exiting ... \nError in PDB file ... ",
      "../s/7CFN.cif.gz B:R\n"}},
    {"model 1 of a PDB file", {"--model", "1"}, {"1ycr.pdb", "link.pdb"}, {"1ycr.pdb", "link.pdb"},
     "1ycr.pdb", {}},
    {"a DNA side", {"--chains", "A:B"}, {"1a1f.pdb"}, {}, "",
     {"side two (B) holds no protein residues (DNA/RNA), so no protein residue classes span "
      "the interface frame.\n"}},
    {"a model that does not exist", {"--model", "10"}, {"1ycr.pdb", "2jo4.pdb"}, {"2jo4.pdb"}, "",
     {kBad + "../s/1ycr.pdb: model 10 does not exist; the file holds 1 model (1)\n"}},
    {"more long chain IDs than free IDs", {}, {"1ycr.pdb", "many.cif", "1ycr.pdb"},
     {"1ycr.pdb", "1ycr.pdb"}, "1ycr.pdb",
     {"chains: too many to give each a free one-character chain ID"}},
    {"a coordinate too large for PDB columns", {}, {"1ycr.pdb", "far.cif", "1ycr.pdb"},
     {"1ycr.pdb", "1ycr.pdb"}, "1ycr.pdb",
     {kBad + "../s/far.cif: atom CB of residue GLU 25: coordinates 12345.678 -14.259 -5.228 do not fit"}},
    {"bad mmCIF and gzip", {},
     {"1ycr.pdb", "cut.cif", "quote.cif", "empty.cif", "corrupt.cif.gz", "short.cif.gz",
      "zero.cif.gz", "1ycr.pdb"},
     {"1ycr.pdb", "1ycr.pdb"}, "1ycr.pdb",
     {kBad + "../s/cut.cif: ", "Wrong number of values", kBad + "../s/quote.cif: ",
      kBad + "../s/empty.cif: no atoms\n", kBad + "../s/corrupt.cif.gz: not a readable gzip file",
      kBad + "../s/short.cif.gz: not a readable gzip file (../s/short.cif.gz: unexpected end of file)\n",
      kBad + "../s/zero.cif.gz: "}},
};

void PrintTo(const ConvertCase& c, std::ostream* os) { *os << c.what; }

class ConvertTest : public ::testing::TestWithParam<ConvertCase> {};

TEST_P(ConvertTest, ScoresAsThePlainFileOrSaysWhy) {
    const ConvertCase& c = GetParam();
    const ListRun r = runOn(c.options, c.entries);
    EXPECT_EQ(r.run.status, 0);
    EXPECT_EQ(r.run.err, "");
    std::vector<std::string> names;
    for (const std::string& line : r.lines) names.push_back(name(line));
    EXPECT_EQ(names, c.names);
    if (!c.reference.empty()) {
        static std::map<std::string, std::string> references;
        std::string& ref = references[c.reference];
        if (ref.empty()) {
            const ListRun plain = runOn({}, {c.reference});
            ASSERT_EQ(plain.lines.size(), 1u) << plain.run.out;
            ref = numbers(plain.lines[0]);
        }
        for (const std::string& line : r.lines) EXPECT_EQ(numbers(line), ref) << line;
    }
    for (const std::string& m : c.messages)
        EXPECT_NE(r.run.out.find(m), std::string::npos) << "no \"" << m << "\" in\n" << r.run.out;
    // Every listed entry says what became of it.
    for (const std::string& e : c.entries)
        EXPECT_NE(r.run.out.find(std::string("Working on ../s/") + e), std::string::npos) << e;
}

INSTANTIATE_TEST_SUITE_P(Files, ConvertTest, ::testing::ValuesIn(kCases));

// The one-chain file: the usual messages, then why.
TEST(ConvertMessages, OneChainSaysSo) {
    testutil::ScratchDir work;
    const fs::path s = work.parent() / "s";
    fs::create_directory(s);
    fs::copy_file(kData / "1ubq.pdb", s / "1ubq.pdb");
    writeText("pdblist", "1ubq.pdb\n");
    const e2e::RunResult run = e2e::runKavZur(work.work(), {"--model", "1", "../s", KAVZUR_ENGINE_DIR});
    EXPECT_EQ(run.out,
              "Working on ../s/1ubq.pdb.  Subunit one contains 602 atoms and Subunit two contains 0 "
              "atoms.\n\nProblem in NACEESS program ... exiting\nError in PDB file ... "
              "../s/1ubq.pdb\n ../s/1ubq.pdb holds one chain, so it has no interface to score.\n"
              "\nFinished\n");
}

}  // namespace
