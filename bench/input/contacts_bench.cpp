// Contact search on large assemblies: copies of 7CFN (five chains, 8112
// atoms) on a cubic lattice 100 A apart (copies do not touch: six pairs
// each), up to about 1.75 million atoms. Prints atoms, chains, pairs,
// seconds and the time per atom, which stays flat if the search is linear.
#include "input/contacts.h"
#include "input/input_structure.h"

#include <chrono>
#include <cstdio>
#include <string>

int main() {
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
