// Contact search on large assemblies: copies of 7CFN (five chains, 8112
// atoms) on a cubic lattice 100 A apart (copies do not touch: six pairs
// each), up to about 1.75 million atoms. Prints atoms, chains, pairs,
// seconds and the time per atom, which stays flat if the search is linear.
// First, the memory of an entry whose chains all touch: 3000 one-atom
// chains in a 2.8 A box, 4.5 million pairs for --all-pairs, read from an
// mmCIF file as the program reads it; prints the peak resident memory of
// the process (the pair list is held as indices) and the machine's load.
#include "input/contacts.h"
#include "input/input_structure.h"

#include "input/assembly.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Every chain touching every other: one carbon atom each, in a box whose
// diagonal (4.85 A) is within the contact distance.
bool allTouching(int chains) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/kav_zur-contacts-bench.cif";
    {
        std::ofstream cif(path);
        cif << "data_touching\nloop_\n";
        for (const char* tag : {"group_PDB", "id", "type_symbol", "label_atom_id", "label_alt_id",
                                "label_comp_id", "label_asym_id", "label_entity_id", "label_seq_id",
                                "pdbx_PDB_ins_code", "Cartn_x",
                                "Cartn_y", "Cartn_z", "occupancy", "B_iso_or_equiv", "auth_seq_id",
                                "auth_asym_id", "pdbx_PDB_model_num"})
            cif << "_atom_site." << tag << "\n";
        unsigned seed = 12345;
        const auto next = [&seed] {
            seed = seed * 1103515245u + 12345u;
            return 2.8 * ((seed >> 8) & 0xffff) / 65536.0;
        };
        for (int c = 0; c < chains; ++c) {
            const double x = next(), y = next(), z = next();
            cif << "ATOM " << c + 1 << " C CA . ALA C" << c << " 1 1 ? " << x << " " << y << " " << z
                << " 1 0 1 C" << c << " 1\n";
        }
    }
    StructureChoice choice;
    choice.pairs = true;
    std::vector<StructurePart> parts;
    std::string why;
    const auto start = std::chrono::steady_clock::now();
    const bool read = readStructureParts(path, choice, parts, why);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::remove(path.c_str());
    if (!read) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), why.c_str());
        return false;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    std::printf("%d chains all in contact: %zu pairs in %.2f s, peak resident %.1f MB "
                "(load %.2f %.2f %.2f)\n\n",
                chains, parts.empty() ? 0 : parts[0].pairs.size(), seconds,
                static_cast<double>(usage.ru_maxrss) / 1024.0, load[0], load[1], load[2]);
    return true;
}

}  // namespace

int main() {
    // First, while the peak is still this part's own.
    if (!allTouching(3000)) return 1;
    InputStructure one;
    std::string why;
    if (!readStructure(KAVZUR_7CFN, 0, one, why)) {
        std::fprintf(stderr, "%s: %s\n", KAVZUR_7CFN, why.c_str());
        return 1;
    }
    std::printf("%10s %7s %7s %9s %12s\n", "atoms", "chains", "pairs", "seconds", "ns per atom");
    for (int side : {1, 2, 3, 4, 6}) {
        InputStructure s;
        for (int i = 0; i < side; ++i)
            for (int j = 0; j < side; ++j)
                for (int k = 0; k < side; ++k) {
                    const int base = static_cast<int>(s.chains.size());
                    for (const std::string& c : one.chains)
                        s.chains.push_back(c + std::to_string(base));
                    for (InputAtom a : one.atoms) {
                        a.chain += base;
                        a.x += 100.0 * i;
                        a.y += 100.0 * j;
                        a.z += 100.0 * k;
                        s.atoms.push_back(a);
                    }
                }
        const auto start = std::chrono::steady_clock::now();
        const auto pairs = touchingChains(s);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%10zu %7zu %7zu %9.3f %12.1f\n", s.atoms.size(), s.chains.size(), pairs.size(),
                    seconds, 1e9 * seconds / static_cast<double>(s.atoms.size()));
    }
    return 0;
}
