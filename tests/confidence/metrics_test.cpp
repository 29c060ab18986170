// The metrics of the ColabFold samples, printed as the published
// definitions print them: each row (A->B, B->A, combined) to every digit;
// and the memory large matrices are held in.
#include "common/huge_pages.h"
#include "confidence/confidence.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

const std::string kSource = KAVZUR_SOURCE_DIR;
const std::string kShared = KAVZUR_SHARED_DATA;

// The columns ipSAE ... dist2 of a row, single spaces between them.
std::string printed(const ConfidenceRow& r, double iptm) {
    char text[512];
    std::snprintf(text, sizeof text,
                  "%.6f %.6f %.6f %.6f %.6f %.3f %.6f %.4f %.4f %.4f %.4f %d %d %d %.2f %.2f %.2f "
                  "%d %d %d %d",
                  r.ipsae, r.ipsaeAvg, r.ipsaeMin, r.ipsaeD0chn, r.ipsaeD0dom, iptm, r.iptmD0chn,
                  r.pdockq, r.pdockq2, r.lis, r.ipae, r.n0res, r.n0chn, r.n0dom, r.d0res, r.d0chn,
                  r.d0dom, r.nres1, r.nres2, r.dist1, r.dist2);
    return text;
}

struct SampleCase {
    const char* structure;  // a ColabFold structure file
    const char* ab;         // the rows as printed
    const char* ba;
    const char* both;
};

class ColabFoldRows : public ::testing::TestWithParam<SampleCase> {};

TEST_P(ColabFoldRows, ReproduceThePrintedRows) {
    const SampleCase& c = GetParam();
    const std::string path = c.structure;
    if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " is not here";
    InputStructure s;
    std::string why;
    ASSERT_TRUE(readStructure(path, 0, s, why)) << why;
    const PredictorFiles files = findPredictorFiles(path);
    ASSERT_EQ(files.predictor, "colabfold");
    PredictorOutput output;
    // As the analysis reads it for A:B: only the values between A and B
    // parsed (the pMHC sample's chains C and D are on neither side).
    std::vector<int> sides = tokenChains(s, false);
    for (int& side : sides) side = s.chains[side] == "A" ? 1 : s.chains[side] == "B" ? 2 : 0;
    ASSERT_TRUE(readPredictorOutput(files, output, why, sides)) << why;
    ConfidenceSource source;
    ASSERT_TRUE(matchConfidence(s, std::move(output), source, why)) << why;
    ConfidenceRecord r;
    ASSERT_TRUE(interfaceConfidence(source, {"A"}, {"B"}, ConfidenceCutoffs{}, r, why)) << why;
    EXPECT_EQ(printed(r.ab, r.iptm), c.ab);
    EXPECT_EQ(printed(r.ba, r.iptm), c.ba);
    EXPECT_EQ(printed(r.both, r.iptm), c.both);
}

const std::string kPdl1 =
    kSource + "/examples/predicted/pdl1_binder_unrelaxed_rank_001_alphafold2_multimer_v3_model_1_seed_000.pdb";
const std::string kPmhc =
    kShared + "/colabfold/pmhc_binder_unrelaxed_rank_001_alphafold2_multimer_v3_model_1_seed_000.pdb";

INSTANTIATE_TEST_SUITE_P(
    Samples, ColabFoldRows,
    ::testing::Values(
        SampleCase{kPdl1.c_str(),
                   "0.867983 0.691829 0.013295 0.922602 0.922602 0.920 0.922602 0.5757 0.9032 "
                   "0.7758 3.1702 115 209 209 3.96 5.38 5.38 94 115 35 33",
                   "0.842880 0.597492 0.010936 0.925175 0.924859 0.920 0.925175 0.5757 0.9059 "
                   "0.7482 3.1702 94 209 208 3.52 5.38 5.37 114 94 33 35",
                   "0.867983 0.691829 0.013295 0.925175 0.924859 0.920 0.925175 0.5757 0.9059 "
                   "0.7620 3.1702 115 209 208 3.96 5.38 5.37 94 115 35 33"},
        SampleCase{kPmhc.c_str(),
                   "0.767675 0.602816 0.030058 0.823517 0.823517 0.910 0.823517 0.5525 0.7634 "
                   "0.5859 5.3953 276 420 420 6.12 7.37 7.37 144 276 51 41",
                   "0.766366 0.500219 0.011113 0.896273 0.893790 0.910 0.896273 0.5525 0.7900 "
                   "0.6069 5.3953 144 420 407 4.47 7.37 7.28 263 144 41 51",
                   "0.767675 0.602816 0.030058 0.896273 0.893790 0.910 0.896273 0.5525 0.7900 "
                   "0.5964 5.3953 276 420 407 6.12 7.37 7.28 144 276 51 41"}));

}  // namespace

namespace {

// Two one-residue sides: the edges of the definitions' cut-offs.
struct EdgeCase {
    const char* what;
    double pae;       // every entry of the 2 x 2 matrix
    double distance;  // between the two contact atoms
    bool nucleic;
    const char* printed;  // ipsae n0dom d0chn d0dom contacts pdockq ("%.6f %d %.5f %.5f %d %.5f")
};

class OneResidueSides : public ::testing::TestWithParam<EdgeCase> {};

TEST_P(OneResidueSides, FollowTheCutoffs) {
    const EdgeCase& c = GetParam();
    ConfidenceResidue a, b;
    a.number = 1;
    b.number = 1;
    b.token = 1;
    b.x = c.distance;
    a.plddt = a.contactPlddt = b.plddt = b.contactPlddt = 90.0;
    PaeMatrix pae;
    pae.size = 2;
    pae.values.assign(4, c.pae);
    const ConfidenceRow r = directionRow({a}, {b}, pae, c.nucleic, ConfidenceCutoffs{});
    char text[160];
    std::snprintf(text, sizeof text, "%.6f %d %.5f %.5f %d %.5f", r.ipsae, r.n0dom, r.d0chn,
                  r.d0dom, r.contacts, r.pdockq);
    EXPECT_EQ(std::string(text), c.printed) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Edges, OneResidueSides,
    ::testing::Values(
        // d0 of 2 residues is d0(27); ipSAE's one term is tm(5, d0(1 -> 27)).
        EdgeCase{"valid pair in contact", 5.0, 8.0, false, "0.041385 2 1.03889 1.03889 1 0.01826"},
        EdgeCase{"PAE at the cut-off is not valid", 10.0, 8.0, false,
                 "0.000000 0 1.03889 1.03889 1 0.01826"},
        EdgeCase{"just beyond 8 A is no contact", 5.0, 8.001, false,
                 "0.041385 2 1.03889 1.03889 0 0.00000"},
        EdgeCase{"a nucleic pair's d0 is at least 2", 5.0, 8.0, true,
                 "0.137931 2 2.00000 2.00000 1 0.01826"}));

}  // namespace

namespace {

// The records read of a PDB file matched with a token per residue give the
// same residues, tokens, positions and chains as the whole file.
struct RecordsCase {
    const char* name;
    const char* pdb;
};

std::string atom(const char* record, int serial, const char* name, const char* res, char chain,
                 int number, double x, const char* element) {
    char line[96];
    std::snprintf(line, sizeof line, "%-6s%5d %-4s %3s %c%4d    %8.3f%8.3f%8.3f  1.00 90.00          %2s\n",
                  record, serial, name, res, chain, number, x, 1.0, 2.0, element);
    return line;
}

class TokenRecords : public ::testing::TestWithParam<RecordsCase> {};

TEST_P(TokenRecords, MatchAsTheWholeFile) {
    const std::string pdb = GetParam().pdb;
    InputStructure whole, part;
    std::string why;
    ASSERT_TRUE(readStructureText(pdb, false, "t.pdb", 0, whole, why)) << why;
    ASSERT_TRUE(readStructureText(residueTokenRecords(pdb), false, "t.pdb", 0, part, why)) << why;
    EXPECT_LT(part.atoms.size(), whole.atoms.size());
    const auto matched = [&](const InputStructure& s, ConfidenceSource& source) {
        PredictorOutput output;
        output.predictor = "colabfold";
        std::size_t tokens = 0;
        for (std::size_t i = 0; i < s.atoms.size(); ++i) {
            std::string n = s.atoms[i].name;
            n.erase(0, n.find_first_not_of(' '));
            n.erase(n.find_last_not_of(' ') + 1);
            if ((n == "CA" && s.atoms[i].element == "C") || n == "C1'") ++tokens;
        }
        output.pae.size = tokens;
        output.pae.values.assign(tokens * tokens, 1.0);
        for (std::size_t t = 0; t < tokens; ++t) output.tokenPlddt.push_back(50.0 + double(t));
        std::string problem;
        EXPECT_TRUE(matchConfidence(s, output, source, problem)) << problem;
    };
    ConfidenceSource a, b;
    matched(whole, a);
    matched(part, b);
    EXPECT_EQ(a.chains, b.chains);
    ASSERT_EQ(a.residues.size(), b.residues.size());
    EXPECT_FALSE(a.residues.empty());
    for (std::size_t i = 0; i < a.residues.size(); ++i) {
        const ConfidenceResidue &p = a.residues[i].residue, &q = b.residues[i].residue;
        EXPECT_EQ(a.residues[i].chain, b.residues[i].chain) << i;
        EXPECT_EQ(p.name, q.name) << i;
        EXPECT_EQ(p.number, q.number) << i;
        EXPECT_EQ(p.token, q.token) << i;
        EXPECT_EQ(p.plddt, q.plddt) << i;
        EXPECT_EQ(p.x, q.x) << i;
        EXPECT_EQ(p.y, q.y) << i;
        EXPECT_EQ(p.z, q.z) << i;
    }
}

const std::string kProtein =
    atom("ATOM", 1, " N", "GLY", 'A', 1, 1.0, "N") + atom("ATOM", 2, " CA", "GLY", 'A', 1, 2.0, "C") +
    atom("ATOM", 3, " C", "GLY", 'A', 1, 3.0, "C") + atom("ATOM", 4, " N", "ALA", 'A', 2, 4.0, "N") +
    atom("ATOM", 5, " CA", "ALA", 'A', 2, 5.0, "C") + atom("ATOM", 6, " CB", "ALA", 'A', 2, 6.0, "C") +
    atom("ATOM", 7, " O", "ALA", 'A', 2, 7.0, "O") + "TER\n";
// A calcium ion is named CA too; a water chain has no token but its place.
const std::string kLigands = kProtein + atom("HETATM", 8, "CA", "CA", 'C', 5, 8.0, "CA") +
                             atom("HETATM", 9, " O", "HOH", 'W', 1, 9.0, "O") +
                             atom("ATOM", 10, " N", "SER", 'B', 1, 10.0, "N") +
                             atom("ATOM", 11, " CA", "SER", 'B', 1, 11.0, "C") +
                             atom("ATOM", 12, " OG", "SER", 'B', 1, 12.0, "O");
const std::string kNucleic = kProtein + atom("ATOM", 13, " P", "DA", 'D', 1, 13.0, "P") +
                             atom("ATOM", 14, " C3'", "DA", 'D', 1, 14.0, "C") +
                             atom("ATOM", 15, " C1'", "DA", 'D', 1, 15.0, "C") +
                             atom("ATOM", 16, " N9", "DA", 'D', 1, 16.0, "N");
const std::string kModels = "MODEL        1\n" + kLigands + "ENDMDL\nMODEL        2\n" +
                            atom("ATOM", 1, " N", "ALA", 'Z', 1, 1.0, "N") +
                            atom("ATOM", 2, " CA", "ALA", 'Z', 1, 2.0, "C") + "ENDMDL\n";

const std::string kCases[] = {kProtein, kLigands, kNucleic, kModels};

INSTANTIATE_TEST_SUITE_P(
    Files, TokenRecords,
    ::testing::Values(RecordsCase{"protein", kCases[0].c_str()},
                      RecordsCase{"ligands", kCases[1].c_str()},
                      RecordsCase{"nucleic", kCases[2].c_str()},
                      RecordsCase{"models", kCases[3].c_str()}),
    [](const ::testing::TestParamInfo<RecordsCase>& info) { return std::string(info.param.name); });

// --- memory for large matrices ------------------------------------------------

// Blocks of each size hold every byte asked for, the next block of a size
// just freed included (it is the kept one), and freeing leaves the others
// whole: a wrong cut of a mapping would unmap a neighbour or fault here.
TEST(HugePages, BlocksHoldTheirBytes) {
    const std::size_t kSizes[] = {1000, kHugePagesFrom - 1, kHugePagesFrom, 3 << 20, 3 << 20,
                                  (5 << 20) + 7, kKeptHugeBytes + 1};
    std::vector<std::pair<unsigned char*, std::size_t>> held;
    for (std::size_t bytes : kSizes) {
        ASSERT_GE(hugePagesRoom(bytes), bytes);
        auto* block = static_cast<unsigned char*>(hugePagesAllocate(bytes));
        ASSERT_NE(block, nullptr) << bytes;
        for (std::size_t i = 0; i < bytes; i += 997) block[i] = static_cast<unsigned char>(i);
        block[bytes - 1] = 0xA5;
        held.emplace_back(block, bytes);
        if (bytes == (3u << 20) && held.size() == 4) {
            hugePagesFree(block, bytes);  // kept, and given to the next of its size
            held.pop_back();
        }
    }
    for (const auto& [block, bytes] : held) {
        for (std::size_t i = 0; i < bytes - 1; i += 997)
            ASSERT_EQ(block[i], static_cast<unsigned char>(i)) << bytes << " at " << i;
        EXPECT_EQ(block[bytes - 1], 0xA5) << bytes;
    }
    for (const auto& [block, bytes] : held) hugePagesFree(block, bytes);
    std::vector<double, HugePageAllocator<double>> matrix(529 * 529, 2.5);
    EXPECT_EQ(matrix.back(), 2.5);
}

}  // namespace
