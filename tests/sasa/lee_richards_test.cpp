#include "sasa/lee_richards.h"

#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <limits>
#include <random>
#include <string>

namespace {

constexpr double kPi = 3.14159265358979323846;

TEST(LeeRichards, IsolatedSphereHasItsWholeSurface) {
    // Every slice of a lone sphere is a full circle, and the slice weights
    // add up to the exact area whatever the slice count.
    for (int slices : {1, 3, 20, 100}) {
        for (double r : {0.5, 3.2, 10.0}) {
            const auto areas = sasa::leeRichardsAreas({{1.0, -2.0, 3.0, r}}, slices);
            EXPECT_NEAR(areas[0], 4 * kPi * r * r, 1e-9) << slices << " " << r;
        }
    }
}

// Two equal spheres of radius r, centres d apart: each loses a cap of
// height r - d/2, that is 2 pi r (r - d/2) of its 4 pi r^2.
TEST(LeeRichards, TwoOverlappingSpheresLoseTheirCaps) {
    const double r = 3.2;
    const struct {
        double dx, dy, dz;
    } directions[] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0.6, 0.8, 0}, {0.48, 0.6, 0.64}};
    for (double d : {1.0, 3.0, 5.0, 6.3}) {
        const double exact = 4 * kPi * r * r - 2 * kPi * r * (r - d / 2);
        for (const auto& u : directions) {
            const auto areas =
                sasa::leeRichardsAreas({{0, 0, 0, r}, {u.dx * d, u.dy * d, u.dz * d, r}}, 200);
            SCOPED_TRACE(std::to_string(d) + " along " + std::to_string(u.dx) + "," +
                         std::to_string(u.dy) + "," + std::to_string(u.dz));
            // The slice error falls with the slice count: 200 slices are within 0.5%.
            EXPECT_NEAR(areas[0], exact, 0.005 * exact);
            EXPECT_NEAR(areas[1], areas[0], 1e-6 * exact);
        }
    }
}

TEST(LeeRichards, TouchingAndSeparateSpheresKeepEverything) {
    const double whole = 4 * kPi * 2.0 * 2.0;
    for (double d : {4.0, 4.5, 50.0}) {
        const auto areas = sasa::leeRichardsAreas({{0, 0, 0, 2.0}, {d, 0, 0, 2.0}}, 20);
        EXPECT_NEAR(areas[0], whole, 1e-9) << d;
    }
}

TEST(LeeRichards, SphereInsideAnotherIsBuried) {
    const auto areas = sasa::leeRichardsAreas({{0, 0, 0, 5.0}, {0.5, 0.3, -0.2, 1.5}}, 20);
    EXPECT_DOUBLE_EQ(areas[1], 0.0);
    EXPECT_NEAR(areas[0], 4 * kPi * 25.0, 1e-9);  // an inner sphere covers nothing of the outer
}

TEST(LeeRichards, CoincidentSpheresHideEachOther) {
    // The same sphere twice: each lies inside the other, as NMR ensembles
    // read without the first-model rule would.
    const auto areas = sasa::leeRichardsAreas({{1, 1, 1, 3.0}, {1, 1, 1, 3.0}}, 20);
    EXPECT_DOUBLE_EQ(areas[0], 0.0);
    EXPECT_DOUBLE_EQ(areas[1], 0.0);
}

// A pile of coincident atoms is measured as its largest sphere alone, at the
// cost of one: the others are buried in it, and counted.
TEST(LeeRichards, CoincidentPilesCountAsTheirLargestSphere) {
    const std::vector<sasa::Sphere> alone = {{0, 0, 0, 3.0}, {4.0, 0.5, 0.2, 2.5}};
    const auto reference = sasa::leeRichardsAreas(alone, 20);
    struct Case {
        const char* what;
        double pileX;       // x of the coincident copies' centre (y = z = 0)
        double pileRadius;  // radius of the coincident copies
        std::size_t copies;
        double firstArea;  // the largest sphere's area
    };
    const Case cases[] = {
        {"smaller copies", 0.0, 1.5, 20000, reference[0]},
        {"equal copies bury each other", 0.0, 3.0, 3, 0.0},
        {"a centre at -0 is the one at 0", -0.0, 1.5, 3, reference[0]},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<sasa::Sphere> pile = alone;
        pile.insert(pile.end(), c.copies, sasa::Sphere{c.pileX, 0, 0, c.pileRadius});
        std::size_t coincident = 0;
        const auto areas = sasa::leeRichardsAreas(pile, 20, &coincident);
        EXPECT_EQ(coincident, c.copies);
        EXPECT_EQ(areas[0], c.firstArea);
        EXPECT_EQ(areas[1], reference[1]);  // bitwise: the pile covers what its largest covers
        for (std::size_t i = 2; i < pile.size(); ++i) ASSERT_EQ(areas[i], 0.0) << i;
    }
}

// Radii or coordinates the slice geometry cannot represent give no areas
// (NaN), never undefined behaviour.
TEST(LeeRichards, UnrepresentableSpheresGiveNotANumber) {
    const double huge[] = {1e308, std::numeric_limits<double>::max(), std::nan(""),
                           std::numeric_limits<double>::infinity()};
    for (double v : huge) {
        SCOPED_TRACE(v);
        const auto radius = sasa::leeRichardsAreas({{0, 0, 0, 2.0}, {1, 0, 0, v}}, 20);
        const auto centre = sasa::leeRichardsAreas({{0, 0, 0, 2.0}, {v, 0, 0, 2.0}}, 20);
        EXPECT_TRUE(std::isnan(radius[0]) && std::isnan(radius[1]));
        EXPECT_TRUE(std::isnan(centre[0]) && std::isnan(centre[1]));
    }
}

TEST(LeeRichards, ExposedAngleOfArcSets) {
    const double t = 2 * kPi;
    const struct {
        const char* what;
        std::vector<sasa::Arc> arcs;
        double exposed;
    } cases[] = {
        {"none", {}, t},
        {"one", {{1.0, 2.0}}, t - 1.0},
        {"whole circle", {{0.5, 0.5 + t}}, 0.0},
        {"overlapping", {{1.0, 2.0}, {1.5, 3.0}}, t - 2.0},
        {"nested", {{1.0, 4.0}, {2.0, 3.0}}, t - 3.0},
        {"disjoint, unsorted", {{4.0, 5.0}, {1.0, 2.0}}, t - 2.0},
        {"touching", {{1.0, 2.0}, {2.0, 3.0}}, t - 2.0},
        {"through zero", {{6.0, 7.0}}, t - 1.0},
        {"through zero, overlapping one near zero", {{6.0, 7.0}, {0.5, 1.5}}, t - (7.0 - 6.0) - (1.5 - (7.0 - t))},
        {"two that close the circle", {{0.0, 3.5}, {3.0, t}}, 0.0},
        {"negative start", {{-1.0, 0.5}}, t - 1.5},
        {"several turns away", {{-3 * t + 1.0, -3 * t + 2.0}, {5 * t + 1.5, 5 * t + 2.5}}, t - 1.5},
    };
    for (const auto& c : cases) {
        std::vector<sasa::Arc> arcs = c.arcs;
        EXPECT_NEAR(sasa::exposedAngle(arcs), c.exposed, 1e-12) << c.what;
    }
}

TEST(LeeRichards, ArcCosineIsWithinItsBound) {
    double worst = 0;
    for (int i = -100000; i <= 100000; ++i) {
        const double x = i / 100000.0;
        worst = std::max(worst, std::fabs(sasa::arcCosine(x) - std::acos(x)));
    }
    EXPECT_LT(worst, 2.2e-8);
}

// Moving or reordering the atoms changes no area: the neighbour search
// finds the same pairs wherever the atoms lie and however they are stored.
TEST(LeeRichards, AreasDoNotDependOnPlaceOrOrder) {
    std::vector<sasa::Sphere> cluster;
    // A small lattice with neighbours on every side and at cell borders.
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j)
            for (int k = 0; k < 4; ++k)
                cluster.push_back({i * 2.9 + 0.1 * j, j * 3.1 - 0.2 * k, k * 2.7 + 0.05 * i,
                                   1.6 + 0.1 * ((i + j + k) % 4)});
    const auto reference = sasa::leeRichardsAreas(cluster, 20);
    double total = 0;
    for (double a : reference) total += a;
    ASSERT_GT(total, 0);

    std::vector<sasa::Sphere> moved = cluster;
    for (auto& s : moved) {
        s.x -= 9876.5;
        s.y += 4321.0;
        s.z -= 777.25;
    }
    std::vector<sasa::Sphere> reversed(cluster.rbegin(), cluster.rend());
    // Two far copies: each must see only its own atoms.
    std::vector<sasa::Sphere> twice = cluster;
    for (auto s : cluster) {
        s.x += 500;
        twice.push_back(s);
    }
    const auto a = sasa::leeRichardsAreas(moved, 20);
    const auto b = sasa::leeRichardsAreas(reversed, 20);
    const auto c = sasa::leeRichardsAreas(twice, 20);
    for (std::size_t i = 0; i < cluster.size(); ++i) {
        EXPECT_NEAR(a[i], reference[i], 1e-6) << i;
        EXPECT_NEAR(b[cluster.size() - 1 - i], reference[i], 1e-6) << i;
        EXPECT_NEAR(c[i], reference[i], 1e-6) << i;
        EXPECT_NEAR(c[cluster.size() + i], reference[i], 1e-6) << i;
    }
}

// Reference areas that FreeSASA's Lee-Richards computed (20 slices) with
// the engine's radii, kept in .asa layout by bench/sasa/validate_freesasa.py.
TEST(LeeRichards, MatchesFreeSasaReferenceFiles) {
    const struct {
        const char* file;
        double probe;
    } cases[] = {{"1ubq_p140.freesasa.asa", 1.40}, {"1ubq_p040.freesasa.asa", 0.40},
                 {"1crn_biopv_p140.freesasa.asa", 1.40}, {"1crn_biopv_p040.freesasa.asa", 0.40}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        std::ifstream in(std::string(SASA_FIXTURE_DIR) + "/" + c.file);
        ASSERT_TRUE(in) << "missing fixture";
        std::vector<sasa::Sphere> spheres;
        std::vector<double> expected;
        std::string line;
        while (std::getline(in, line)) {
            ASSERT_GE(line.size(), 68u);
            spheres.push_back({std::stod(line.substr(30, 8)), std::stod(line.substr(38, 8)),
                               std::stod(line.substr(46, 8)), std::stod(line.substr(63, 5)) + c.probe});
            expected.push_back(std::stod(line.substr(54, 8)));
        }
        ASSERT_GT(spheres.size(), 300u);
        const auto areas = sasa::leeRichardsAreas(spheres, 20);
        double worst = 0;
        for (std::size_t i = 0; i < areas.size(); ++i)
            worst = std::max(worst, std::fabs(areas[i] - expected[i]));
        EXPECT_LT(worst, 0.01);
    }
}

}  // namespace

namespace {

// Vanishing spheres far apart: the cell grid must stay small and sound.
TEST(LeeRichards, TinySpheresFarApart) {
    const auto areas = sasa::leeRichardsAreas(
        {{-99999.0, 0, 0, 1e-300}, {99999.0, 5.0, -7.0, 1e-300}, {0, 0, 0, 1.0}}, 20);
    ASSERT_EQ(areas.size(), 3u);
    EXPECT_EQ(areas[0], 0.0);  // 4 pi r^2 underflows
    EXPECT_NEAR(areas[2], 4 * kPi, 1e-9);
    // A vanishing sphere inside a real one, and one beside it.
    const auto close = sasa::leeRichardsAreas({{0, 0, 0, 1.0}, {0.5, 0, 0, 1e-300}, {1.0, 0, 0.2, 1e-200}}, 20);
    EXPECT_NEAR(close[0], 4 * kPi, 1e-9);
    EXPECT_EQ(close[1], 0.0);
    EXPECT_EQ(close[2], 0.0);
}

// Sets that put neighbours one above another (equal directions, mixed
// sizes), on a lattice, and so close that an atom has several hundred.
struct SphereSet {
    const char* what;
    std::vector<sasa::Sphere> spheres;
};

std::vector<SphereSet> sampleSets() {
    std::vector<SphereSet> cases(4);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> at(0.0, 8.0), radius(1.5, 3.5);
    cases[0].what = "columns";
    for (int c = 0; c < 60; ++c) {
        const double x = 2 * at(random), y = 2 * at(random);
        for (int k = 0; k < 4; ++k) cases[0].spheres.push_back({x, y, at(random), radius(random)});
    }
    cases[1].what = "lattice";
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k)
                cases[1].spheres.push_back({i * 2.9 + 0.1 * j, j * 3.1 - 0.2 * k, k * 2.7, 1.7});
    cases[2].what = "crowded";
    for (int i = 0; i < 600; ++i) cases[2].spheres.push_back({at(random), at(random), at(random), 4.5});
    // Piles of one to four spheres at one centre, of equal or unequal radii,
    // some at x = 0 written as 0 and as -0 (equal centres all the same).
    cases[3].what = "piles";
    const double radii[] = {1.8, 2.4, 3.0};
    for (int g = 0; g < 40; ++g) {
        const double x = g % 10 == 0 ? 0.0 : 2 * at(random), y = 2 * at(random), z = 2 * at(random);
        for (int m = 0; m <= g % 4; ++m)
            cases[3].spheres.push_back({g % 10 == 0 && m % 2 ? -0.0 : x, y, z, radii[random() % 3]});
    }
    return cases;
}

// Neighbours are taken in an order fixed by their own geometry: however the
// atoms are stored, every area is the same double.
TEST(LeeRichards, AreasAreTheSameDoubleInAnyInputOrder) {
    std::mt19937 random(11);
    for (const SphereSet& c : sampleSets()) {
        const auto reference = sasa::leeRichardsAreas(c.spheres, 20);
        double total = 0;
        for (double a : reference) total += a;
        EXPECT_GT(total, 0) << c.what;
        std::vector<std::size_t> order(c.spheres.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
        for (int trial = 0; trial < 3; ++trial) {
            std::shuffle(order.begin(), order.end(), random);
            std::vector<sasa::Sphere> shuffled;
            for (std::size_t i : order) shuffled.push_back(c.spheres[i]);
            const auto areas = sasa::leeRichardsAreas(shuffled, 20);
            for (std::size_t k = 0; k < order.size(); ++k)
                ASSERT_EQ(areas[k], reference[order[k]]) << c.what << " atom " << order[k];
        }
    }
}

// The vector steps repeat the scalar ones operation for operation.
TEST(LeeRichards, VectorAndScalarStepsGiveTheSameDoubles) {
    if (!sasa::vectorSteps(true)) GTEST_SKIP() << "no vector steps on this processor";
    for (const SphereSet& c : sampleSets()) {
        const auto vector = sasa::leeRichardsAreas(c.spheres, 20);
        sasa::vectorSteps(false);
        const auto scalar = sasa::leeRichardsAreas(c.spheres, 20);
        sasa::vectorSteps(true);
        for (std::size_t i = 0; i < c.spheres.size(); ++i)
            ASSERT_EQ(vector[i], scalar[i]) << c.what << " atom " << i;
    }
}

// Directions: atan2 within 2 ulp, its values exactly on the axes and
// diagonals, and the signs of zeros kept.
TEST(LeeRichards, DirectionIsAtan2WithinTwoUlp) {
    const auto ulps = [](double a, double b) {
        if (std::signbit(a) != std::signbit(b)) return a == b ? 0.0 : 1e300;
        return std::fabs(a - b) / (std::nextafter(std::fabs(b), 4.0) - std::fabs(b));
    };
    const double exact[][2] = {{0.0, 0.0}, {0.0, -0.0}, {-0.0, 0.0}, {-0.0, -0.0}, {1, 0},
                               {-1, 0},    {0, 1},      {0, -1},     {2, 2},       {-3, -3},
                               {1e-300, 1}, {1, 1e-300}, {5, -5}};
    for (const auto& c : exact)
        EXPECT_EQ(sasa::direction(c[0], c[1]), std::atan2(c[0], c[1])) << c[0] << ", " << c[1];
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> at(-10.0, 10.0), scale(-9.0, 9.0);
    double worst = 0;
    for (int i = 0; i < 200000; ++i) {
        const double y = at(random) * std::pow(10.0, scale(random)), x = at(random);
        worst = std::max(worst, ulps(sasa::direction(y, x), std::atan2(y, x)));
    }
    EXPECT_LE(worst, 2.0);
}

}  // namespace
