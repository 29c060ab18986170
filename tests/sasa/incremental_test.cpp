// Incremental engine runs give the files of full runs: every structure of
// tests/data measured as the pipeline measures it (the copy, then the
// complex and each subunit cut from the copy's area file), once with one
// area cache shared by the runs and once without, and every file compared.
#include "sasa/accall_run.h"
#include "sasa/lee_richards.h"
#include "structure/extract.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <cstring>
#include <sstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const std::string kEngine = SASA_ENGINE_DIR;

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Step {
    const char* pdb;
    const char* probe;
};
// The pipeline's order: the copy, the complex, each subunit, and the packing
// run at another probe (which must find nothing to copy).
constexpr Step kSteps[] = {{"TEMP.pdb", "1.40"},
                           {"Complex.pdb", "1.40"},
                           {"ComplexA.pdb", "1.40"},
                           {"ComplexB.pdb", "1.40"},
                           {"Complex.pdb", "0.40"}};

// Runs the steps in `dir` (which holds TEMP.pdb); the text of every file
// written, in order. With a cache, also what it copied at each step.
std::vector<std::string> runSteps(const fs::path& dir, sasa::AreaCache* cache,
                                  std::vector<std::size_t>* copied) {
    const fs::path previous = fs::current_path();
    fs::current_path(dir);
    std::vector<std::string> texts;
    for (const Step& step : kSteps) {
        // Structures the pipeline cannot split (a blank chain ID, one chain)
        // end after the copy.
        int atomsA = 0, atomsB = 0;
        if (std::string(step.pdb) == "Complex.pdb" && !fs::exists("Complex.pdb") &&
            (Extract("TEMP.asa", atomsA, atomsB) != 0 || atomsA == 0 || atomsB == 0))
            break;
        std::istringstream control("PDBFILE " + std::string(step.pdb) + "\nVDWFILE " + kEngine +
                                   "/vdw.radii\nSTDFILE " + kEngine + "/standard.data\nPROBE " +
                                   step.probe + "\nZSLICE 0.05\n");
        EXPECT_EQ(sasa::runJob(control, kEngine, cache), 0) << step.pdb;
        const std::string stem = sasa::outputStem(step.pdb);
        for (const char* ext : {".asa", ".rsa", ".log"}) texts.push_back(slurp(stem + ext));
        if (copied) copied->push_back(cache->copied);
    }
    fs::current_path(previous);
    return texts;
}

TEST(IncrementalRuns, GiveTheFilesOfFullRunsOnEveryStructure) {
    std::vector<fs::path> structures;
    for (const auto& e : fs::directory_iterator(SASA_TEST_DATA_DIR))
        if (e.path().extension() == ".pdb") structures.push_back(e.path());
    std::sort(structures.begin(), structures.end());
    ASSERT_GE(structures.size(), 10u);

    std::string pattern = (fs::temp_directory_path() / "incremental-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path root = pattern;
    int split = 0;  // structures run through every step
    for (const fs::path& structure : structures) {
        SCOPED_TRACE(structure.filename().string());
        const fs::path full = root / "full", incremental = root / "incremental";
        for (const fs::path& dir : {full, incremental}) {
            fs::remove_all(dir);
            fs::create_directories(dir);
            fs::copy_file(structure, dir / "TEMP.pdb");
        }
        const std::vector<std::string> expected = runSteps(full, nullptr, nullptr);
        sasa::AreaCache cache;
        std::vector<std::size_t> copied;
        const std::vector<std::string> got = runSteps(incremental, &cache, &copied);
        ASSERT_EQ(got.size(), expected.size());
        for (std::size_t k = 0; k < got.size(); ++k)
            EXPECT_EQ(got[k], expected[k]) << kSteps[k / 3].pdb << " file " << k % 3;
        // The copy computes everything; the complex reuses most of it; the
        // packing run's spheres are other spheres.
        EXPECT_EQ(copied[0], 0u);
        if (copied.size() == std::size(kSteps)) {
            ++split;
            EXPECT_GT(copied[1], 0u);
            EXPECT_EQ(copied[4], 0u);
        }
    }
    fs::remove_all(root);
    EXPECT_GE(split, 8);
}

// Random atom sets, with the coincident centres, equal directions and
// touching spheres of a coarse grid: a cache filled by a set and reused by
// subsets and by overlapping sets gives the areas of fresh runs, bit for bit,
// whether areas are kept by neighbourhood or only the recent runs compared.
TEST(IncrementalRuns, CachedAreasAreThoseOfFreshRunsOnRandomSets) {
  for (const bool byNeighbourhood : {true, false}) {
    SCOPED_TRACE(byNeighbourhood ? "by neighbourhood" : "recent runs only");
    std::mt19937 random(1717);
    std::size_t copiedTotal = 0;
    for (int round = 0; round < 60; ++round) {
        std::uniform_int_distribution<int> grid(0, round % 2 ? 12 : 40);
        std::uniform_int_distribution<int> radius(0, 3);
        const double step = round % 3 == 0 ? 0.5 : 0.37;
        std::vector<sasa::Sphere> all(150 + round * 5);
        for (sasa::Sphere& s : all)
            s = {grid(random) * step, grid(random) * step, grid(random) * step,
                 1.4 + 1.6 + 0.2 * radius(random)};
        // Every fifth round a far clump too: the grids of a run, and of the
        // atoms apart from an earlier run, are then too sparse to hold whole.
        if (round % 5 == 4)
            for (std::size_t i = 0; i < all.size(); i += 2) {
                all[i].x += 600;
                all[i].y += 600;
                all[i].z += 600;
            }
        sasa::AreaCache cache;
        cache.byNeighbourhood = byNeighbourhood;
        for (int pass = 0; pass < 5; ++pass) {
            // The whole set, a half of it (as a subunit), a few atoms lost.
            std::vector<sasa::Sphere> set;
            std::bernoulli_distribution keep(pass == 2 ? 0.98 : 1.0);
            for (const sasa::Sphere& s : all)
                if ((pass != 1 || s.x < 6.0) && keep(random)) set.push_back(s);
            if (pass == 3)  // not a subset: new atoms too
                for (int k = 0; k < 20; ++k) set.push_back({grid(random) * step, 0.3, 1.1, 3.2});
            if (pass == 4)  // the same atoms in another order than any run before
                std::shuffle(set.begin(), set.end(), random);
            const std::vector<double> fresh = sasa::leeRichardsAreas(set, 20);
            const std::vector<double> cached = sasa::leeRichardsAreas(set, 20, nullptr, &cache);
            for (std::size_t i = 0; i < set.size(); ++i)
                ASSERT_EQ(std::memcmp(&fresh[i], &cached[i], sizeof(double)), 0)
                    << "round " << round << " pass " << pass << " atom " << i;
            if (pass > 0) copiedTotal += cache.copied;
        }
    }
    EXPECT_GT(copiedTotal, 1000u);
  }
}

}  // namespace

// Two neighbourhoods of one size whose digests are made to collide: an area
// is copied only when every sphere within reach is the same, and the areas
// are those of a fresh run whatever the digest says.
TEST(IncrementalRuns, AColludingDigestNeverSharesAnArea) {
    using Set = std::vector<sasa::Sphere>;
    const Set base = {{0, 0, 0, 3.2}, {3.0, 0, 0, 3.2}, {0, 3.0, 0, 3.2}, {0, 0, 3.5, 3.0}};
    struct Row {
        const char* what;
        Set second;          // measured after `base`, with the same cache
        bool differs;        // the first atom's neighbourhood is another of the same size
    };
    const Row rows[] = {
        {"a neighbour moved",
         {{0, 0, 0, 3.2}, {3.0, 0, 0, 3.2}, {0, 2.5, 0, 3.2}, {0, 0, 3.5, 3.0}}, true},
        {"a neighbour's sphere grew",
         {{0, 0, 0, 3.2}, {3.0, 0, 0, 3.2}, {0, 3.0, 0, 3.6}, {0, 0, 3.5, 3.0}}, true},
        {"a neighbour gone, another come",
         {{0, 0, 0, 3.2}, {3.0, 0, 0, 3.2}, {0, 3.0, 0, 3.2}, {-2.0, -2.0, 0, 3.0}}, true},
        {"the same spheres in another order", {base[3], base[1], base[0], base[2]}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sasa::AreaCache cache;
        cache.digestsCollide = true;
        const std::vector<double> before = sasa::leeRichardsAreas(base, 20, nullptr, &cache);
        ASSERT_EQ(cache.computed, base.size());
        const std::vector<double> fresh = sasa::leeRichardsAreas(row.second, 20);
        const std::vector<double> got = sasa::leeRichardsAreas(row.second, 20, nullptr, &cache);
        // A changed neighbourhood changes the area: a copy would show.
        if (row.differs) {
            ASSERT_NE(fresh[0], before[0]);
        }
        for (std::size_t i = 0; i < fresh.size(); ++i)
            EXPECT_EQ(std::memcmp(&fresh[i], &got[i], sizeof(double)), 0) << "atom " << i;
        if (row.differs) {
            EXPECT_GT(cache.computed, 0u);
        } else {
            EXPECT_EQ(cache.copied, row.second.size());
        }
    }
}
