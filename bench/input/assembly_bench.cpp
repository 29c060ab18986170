// Assemblies of many copies: blocks of the 1YCR and 2XHE crystals (their
// space group's operators times lattice translations) written as REMARK 350
// assemblies of 12, 24 and 60 copies, read with --assembly 1 --all-pairs.
// Prints atoms, chains, touching pairs, seconds, the time per atom (flat if
// the build and the contact search are linear) and the peak memory; then the
// crystal interfaces of each entry. With a directory argument it also leaves
// the 60-copy files there (block60_1ycr.pdb, block60_2xhe.pdb) for runs of
// kav_zur itself.
#include "input/assembly.h"
#include "gzip_text.h"

#include <sys/resource.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A fractional operator "-X+Y,1/2+Y,Z+5/6": rows of x, y, z and a constant.
struct FracOp {
    double m[3][3] = {};
    double t[3] = {};
};

FracOp parseTriplet(const std::string& triplet) {
    FracOp op;
    std::stringstream parts(triplet);
    int row = 0;
    for (std::string part; std::getline(parts, part, ',') && row < 3; ++row) {
        double sign = 1.0;
        for (std::size_t i = 0; i < part.size(); ++i) {
            const char c = part[i];
            if (c == '+' || c == '-') {
                sign = c == '-' ? -1.0 : 1.0;
            } else if (c >= 'X' && c <= 'Z') {
                op.m[row][c - 'X'] += sign;
                sign = 1.0;
            } else if (c >= 'x' && c <= 'z') {
                op.m[row][c - 'x'] += sign;
                sign = 1.0;
            } else if (c >= '0' && c <= '9') {
                const std::size_t slash = part.find('/', i);
                op.t[row] += sign * std::stod(part.substr(i, slash - i)) / std::stod(part.substr(slash + 1));
                while (i + 1 < part.size() && part[i + 1] != '+' && part[i + 1] != '-') ++i;
                sign = 1.0;
            }
        }
    }
    return op;
}

// The text of `pdb` with one assembly: the REMARK 290 operators of the file
// times the lattice translations `shifts`, the first `copies` of them.
std::string blockFile(const std::string& pdb, const std::vector<std::array<int, 3>>& shifts, int copies) {
    double a = 0, b = 0, c = 0, gamma = 90;
    std::vector<FracOp> ops;
    std::string atoms, chains;
    std::istringstream lines(pdb);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("CRYST1", 0) == 0) {
            a = std::stod(line.substr(6, 9)), b = std::stod(line.substr(15, 9));
            c = std::stod(line.substr(24, 9)), gamma = std::stod(line.substr(47, 7));
        }
        std::istringstream words(line);
        std::string r, n, code, triplet;
        if (line.rfind("REMARK 290", 0) == 0 && (words >> r >> n >> code >> triplet) &&
            code.size() >= 4 && code.substr(code.size() - 3) == "555")
            ops.push_back(parseTriplet(triplet));
        if (line.rfind("ATOM", 0) == 0 || line.rfind("HETATM", 0) == 0) {
            atoms += line + "\n";
            const std::string chain(1, line[21]);
            if (chains.find(chain) == std::string::npos) chains += (chains.empty() ? "" : ", ") + chain;
        }
    }
    // Fractional to Cartesian, a along x and b in the xy plane (alpha = beta = 90).
    const double g = gamma * M_PI / 180.0;
    const double o[3][3] = {{a, b * std::cos(g), 0}, {0, b * std::sin(g), 0}, {0, 0, c}};
    const double inv[3][3] = {{1 / a, -std::cos(g) / (a * std::sin(g)), 0}, {0, 1 / (b * std::sin(g)), 0},
                              {0, 0, 1 / c}};
    std::string text = "CRYST1" + pdb.substr(pdb.find("CRYST1") + 6, pdb.find('\n', pdb.find("CRYST1")) - pdb.find("CRYST1") - 6) + "\n";
    text += "REMARK 350 BIOMOLECULE: 1\nREMARK 350 APPLY THE FOLLOWING TO CHAINS: " + chains + "\n";
    int n = 0;
    for (const auto& s : shifts)
        for (const FracOp& op : ops) {
            if (++n > copies) break;
            double m[3][3], v[3];
            for (int i = 0; i < 3; ++i) {
                v[i] = 0;
                for (int j = 0; j < 3; ++j) {
                    m[i][j] = 0;
                    for (int k = 0; k < 3; ++k)
                        for (int l = 0; l < 3; ++l) m[i][j] += o[i][k] * op.m[k][l] * inv[l][j];
                    v[i] += o[i][j] * (op.t[j] + s[static_cast<std::size_t>(j)]);
                }
            }
            for (int i = 0; i < 3; ++i) {
                char record[128];
                std::snprintf(record, sizeof record,
                              "REMARK 350   BIOMT%d %3d%10.6f%10.6f%10.6f     %10.5f\n", i + 1, n,
                              m[i][0], m[i][1], m[i][2], v[i]);
                text += record;
            }
        }
    return text + atoms + "END\n";
}

long peakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string path = "assembly_bench_block.pdb";
    std::printf("%-12s %6s %8s %7s %6s %9s %12s %8s\n", "entry", "copies", "atoms", "chains", "pairs",
                "seconds", "ns per atom", "peak MB");
    const std::vector<std::array<int, 3>> shifts = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0},
                                                    {0, 0, 1}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1}};
    for (const char* entry : {"1ycr.pdb", "2xhe.pdb.gz"}) {
        const std::string pdb = testutil::gzipFileText(std::string(KAVZUR_TEST_DATA) + "/" + entry);
        if (pdb.empty()) continue;
        for (int copies : {12, 24, 60}) {
            {
                std::ofstream out(path);
                out << blockFile(pdb, shifts, copies);
            }
            StructureChoice choice;
            choice.assembly = "1";
            choice.pairs = true;
            std::vector<StructurePart> parts;
            std::string why;
            const auto start = std::chrono::steady_clock::now();
            if (!readStructureParts(path, choice, parts, why)) {
                std::fprintf(stderr, "%s: %s\n", entry, why.c_str());
                return 1;
            }
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            const std::size_t atoms = parts[0].structure.atoms.size();
            std::printf("%-12s %6d %8zu %7zu %6zu %9.3f %12.0f %8ld\n", entry, copies, atoms,
                        parts[0].structure.chains.size(), parts[0].pairs.size(), seconds,
                        1e9 * seconds / static_cast<double>(atoms), peakMegabytes());
            if (argc > 1 && copies == 60) {
                std::ofstream out(std::string(argv[1]) + "/block60_" + std::string(entry).substr(0, 4) + ".pdb");
                out << blockFile(pdb, shifts, copies);
            }
        }
    }
    std::remove(path.c_str());
    std::printf("\n%-12s %8s %10s %9s\n", "crystal of", "atoms", "interfaces", "seconds");
    for (const char* file : {"2xhe.pdb.gz", "1ake.pdb", "1A7G.cif.gz", "4CUP.cif.gz"}) {
        StructureChoice choice;
        choice.crystal = true;
        choice.pairs = true;
        std::vector<StructurePart> parts;
        std::string why;
        const auto start = std::chrono::steady_clock::now();
        if (!readStructureParts(std::string(KAVZUR_TEST_DATA) + "/" + file, choice, parts, why)) {
            std::fprintf(stderr, "%s: %s\n", file, why.c_str());
            continue;
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%-12s %8zu %10zu %9.3f\n", file, parts[0].structure.atoms.size(), parts[0].pairs.size(),
                    seconds);
    }
    return 0;
}
