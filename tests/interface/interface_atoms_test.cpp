// The subunit pass: pairing subunit and complex .asa lines, interface atoms,
// buried areas and class centroids.
#include "interface/interface_atoms.h"

#include "asa_lines.h"
#include "common/text_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// An anonymous temporary stream holding `text`, positioned at its start.
File streamOf(const std::string& text) {
    File f(std::tmpfile());
    std::fputs(text.c_str(), f.get());
    std::rewind(f.get());
    return f;
}

// The subunit's and the complex's lines of the same atoms: subunit areas
// in `sub`, complex areas in `cpx`.
struct Pair {
    AsaAtom sub;
    float cpxArea;
};

std::string subunitText(const std::vector<Pair>& atoms) {
    std::string text;
    int serial = 1;
    for (const Pair& p : atoms) text += asaLine(serial++, "CA", 'A', p.sub);
    return text;
}

std::string complexText(const std::vector<Pair>& atoms) {
    std::string text;
    int serial = 1;
    for (const Pair& p : atoms) {
        AsaAtom c = p.sub;
        c.area = p.cpxArea;
        text += asaLine(serial++, "CA", 'A', c);
    }
    return text;
}

struct PassResult {
    int code;
    SubunitInterface s;
    std::vector<InterfacePoint> points;
};

PassResult pass(const std::string& subunit, const std::string& complex) {
    File sub = streamOf(subunit), cpx = streamOf(complex);
    PassResult r{};
    r.code = readInterfaceAtoms(sub.get(), cpx.get(), r.points, r.s);
    return r;
}

TEST(InterfaceAtoms, SelectsAtomsThatLoseArea) {
    const std::vector<Pair> atoms = {
        {{"ALA", 1, 1, 2, 3, 30.0f}, 10.0f},   // loses 20: interface
        {{"GLY", 2, 4, 5, 6, 12.5f}, 12.5f},   // unchanged: not interface
        {{"SER", 3, 7, 8, 9, 5.0f}, 6.0f},     // gains: not interface
        {{"LYS", 4, -1, -2, -3, 0.75f}, 0.5f}, // loses 0.25
    };
    const PassResult r = pass(subunitText(atoms), complexText(atoms));
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.s.n, 2);
    EXPECT_EQ(r.s.buriedArea, 20.0f + 0.25f);
    ASSERT_GE(r.points.size(), 2u);
    EXPECT_EQ(r.points[0].x, 1.0f);
    EXPECT_EQ(r.points[1].z, -3.0f);
    EXPECT_EQ(r.s.classes.count[1], 1);  // ALA
    EXPECT_EQ(r.s.classes.count[9], 1);  // LYS
    EXPECT_EQ(r.s.classes.count[6], 0);  // GLY not at the interface
}

TEST(InterfaceAtoms, CoordinatesComeFromTheComplexLine) {
    const AsaAtom sub{"ALA", 1, 1, 1, 1, 30.0f};
    const AsaAtom cpx{"ALA", 1, 9, 8, 7, 10.0f};
    const PassResult r = pass(asaLine(1, "CA", 'A', sub), asaLine(1, "CA", 'A', cpx));
    ASSERT_EQ(r.s.n, 1);
    EXPECT_EQ(r.points[0].x, 9.0f);
    EXPECT_EQ(r.points[0].y, 8.0f);
    EXPECT_EQ(r.points[0].z, 7.0f);
}

TEST(InterfaceAtoms, NonStandardResidueCountsInSlotZeroOnly) {
    const std::vector<Pair> atoms = {
        {{"UNK", 1, 10, 0, 0, 40.0f}, 0.0f},
        {{"ALA", 2, 0, 10, 0, 40.0f}, 0.0f},
    };
    PassResult r = pass(subunitText(atoms), complexText(atoms));
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.s.n, 2);
    EXPECT_EQ(r.s.buriedArea, 80.0f);
    int classCounts = 0;
    for (int slot = 1; slot < kClassSlots; ++slot) classCounts += r.s.classes.count[slot];
    EXPECT_EQ(classCounts, 1);  // only ALA
    finishCentroids(r.s);
    EXPECT_EQ(r.s.classes.count[0], 2);
    EXPECT_EQ(r.s.classes.x[0], 5.0f);  // UNK included in the overall centroid
    EXPECT_EQ(r.s.classes.y[0], 5.0f);
    EXPECT_EQ(r.s.classes.x[1], 0.0f);
    EXPECT_EQ(r.s.classes.y[1], 10.0f);
}

TEST(InterfaceAtoms, CentroidsAreSinglePrecisionMeans) {
    // Three atoms of one class: the sum is kept in float and divided by 3.0f.
    const std::vector<Pair> atoms = {
        {{"TRP", 1, 0.1f, 1.7f, -2.3f, 9.0f}, 1.0f},
        {{"TRP", 1, 0.2f, 1.1f, 5.9f, 9.0f}, 1.0f},
        {{"TRP", 1, 0.7f, -3.3f, 1.3f, 9.0f}, 1.0f},
    };
    PassResult r = pass(subunitText(atoms), complexText(atoms));
    finishCentroids(r.s);
    // The coordinates as they come back through the %8.3f columns.
    const float x0 = 0.1f, x1 = 0.2f, x2 = 0.7f;
    const float expected = ((x0 + x1) + x2) / 3.0f;
    EXPECT_EQ(r.s.classes.x[19], expected);
    EXPECT_EQ(r.s.classes.x[0], expected);
    EXPECT_EQ(r.s.classes.count[19], 3);
    // Slots without atoms keep zero.
    EXPECT_EQ(r.s.classes.x[5], 0.0f);
    EXPECT_EQ(r.s.classes.count[5], 0);
}

TEST(InterfaceAtoms, BuriedAreaIsAFloatSumOfFloatLosses) {
    // Losses whose float sum differs from their double sum.
    std::vector<Pair> atoms;
    for (int i = 0; i < 7; ++i) atoms.push_back({{"VAL", i + 1, 0, 0, 0, 33.333f}, 0.111f});
    const PassResult r = pass(subunitText(atoms), complexText(atoms));
    float expected = 0.0f;
    for (int i = 0; i < 7; ++i) expected += 33.333f - 0.111f;
    EXPECT_EQ(r.s.buriedArea, expected);
}

TEST(InterfaceAtoms, MismatchesEndThePass) {
    struct Case {
        const char* name;
        std::string subunit, complex;
        int code;
    };
    const AsaAtom ala{"ALA", 5, 1, 2, 3, 30.0f};
    AsaAtom otherNumber = ala;
    otherNumber.resSeq = 6;
    AsaAtom otherName = ala;
    otherName.resName = "ALB";
    const std::vector<Case> cases = {
        {"residue number differs", asaLine(1, "CA", 'A', ala), asaLine(1, "CA", 'A', otherNumber),
         kMismatchedRecords},
        {"residue name differs", asaLine(1, "CA", 'A', ala), asaLine(1, "CA", 'A', otherName),
         kMismatchedRecords},
        {"serial, atom name and chain may differ", asaLine(1, "CA", 'A', ala),
         asaLine(77, "CB", 'Q', ala), 0},
        {"complex line lacks the radius", asaLine(1, "CA", 'A', ala),
         "ATOM      1  CA  ALA A   5       1.000   2.000   3.000  10.000\n", kMismatchedRecords},
        {"subunit line is truncated", "ATOM      1  CA  ALA A   5       1.000\n",
         asaLine(1, "CA", 'A', ala), kMismatchedRecords},
        {"blank complex line", asaLine(1, "CA", 'A', ala), "\n", kMismatchedRecords},
    };
    for (const Case& c : cases) {
        const PassResult r = pass(c.subunit, c.complex);
        EXPECT_EQ(r.code, c.code) << c.name;
    }
}

TEST(InterfaceAtoms, PassEndsAtHetOrEndOfEitherFile) {
    const AsaAtom a{"ALA", 1, 0, 0, 0, 30.0f};
    const AsaAtom c{"ALA", 1, 0, 0, 0, 10.0f};
    const std::string two = asaLine(1, "CA", 'A', a) + asaLine(2, "CB", 'A', a);
    const std::string twoCpx = asaLine(1, "CA", 'A', c) + asaLine(2, "CB", 'A', c);
    struct Case {
        const char* name;
        std::string subunit, complex;
        int n;
    };
    const std::vector<Case> cases = {
        {"both whole", two, twoCpx, 2},
        {"HETATM in the subunit stops before it", asaLine(1, "CA", 'A', a) +
             "HETATM    2  O   HOH A   1       0.000   0.000   0.000  30.000  1.40\n" +
             asaLine(3, "CB", 'A', a), twoCpx + twoCpx, 1},
        {"HETATM in the complex stops the pass",
         two, asaLine(1, "CA", 'A', c) + "HETATM garbage\n" + asaLine(2, "CB", 'A', c), 1},
        {"complex ends first", two + two, twoCpx, 2},
        {"subunit ends first", two, twoCpx + twoCpx, 2},
        // The last line counts even without its line end.
        {"last line without line end", two.substr(0, two.size() - 1),
         twoCpx.substr(0, twoCpx.size() - 1), 2},
        {"empty subunit", "", twoCpx, 0},
    };
    for (const Case& cs : cases) {
        const PassResult r = pass(cs.subunit, cs.complex);
        EXPECT_EQ(r.code, 0) << cs.name;
        EXPECT_EQ(r.s.n, cs.n) << cs.name;
    }
}

TEST(InterfaceAtoms, SecondSubunitContinuesInTheComplexStream) {
    // A: two atoms; B: two atoms with other residues. The complex holds A's
    // lines then B's; B's first line must pair with the third complex line.
    const std::vector<Pair> a = {{{"ALA", 1, 1, 0, 0, 30}, 10}, {{"CYS", 2, 2, 0, 0, 30}, 10}};
    const std::vector<Pair> b = {{{"ASP", 1, 3, 0, 0, 30}, 10}, {{"GLU", 2, 4, 0, 0, 30}, 20}};
    File cpx = streamOf(complexText(a) + complexText(b));
    File subA = streamOf(subunitText(a)), subB = streamOf(subunitText(b));
    std::vector<InterfacePoint> points;
    SubunitInterface s;
    ASSERT_EQ(readInterfaceAtoms(subA.get(), cpx.get(), points, s), 0);
    EXPECT_EQ(s.n, 2);
    EXPECT_EQ(s.buriedArea, 40.0f);
    ASSERT_EQ(readInterfaceAtoms(subB.get(), cpx.get(), points, s), 0);
    EXPECT_EQ(s.n, 2);
    EXPECT_EQ(s.buriedArea, 30.0f);
    // B overwrites the table from entry 0, and the state was cleared.
    EXPECT_EQ(points[0].x, 3.0f);
    EXPECT_EQ(points[1].x, 4.0f);
    EXPECT_EQ(s.classes.count[1], 0);
    EXPECT_EQ(s.classes.count[3], 1);
    EXPECT_EQ(s.classes.count[4], 1);
}

TEST(InterfaceAtoms, TableGrowsBeyondItsCapacityWithoutLosingEntries) {
    std::vector<Pair> atoms;
    for (int i = 0; i < 10050; ++i)
        atoms.push_back({{"LEU", i, static_cast<float>(i % 1000), 0, 0, 5.0f}, 4.0f});
    File sub = streamOf(subunitText(atoms)), cpx = streamOf(complexText(atoms));
    std::vector<InterfacePoint> points;
    points.reserve(10000);
    SubunitInterface s;
    ASSERT_EQ(readInterfaceAtoms(sub.get(), cpx.get(), points, s), 0);
    EXPECT_EQ(s.n, 10050);
    ASSERT_EQ(points.size(), 10050u);
    EXPECT_EQ(points[10049].x, 49.0f);
    EXPECT_EQ(points[9999].x, 999.0f);
}

TEST(InterfaceAtoms, ExistingTableEntriesAreOverwrittenNotAppended) {
    const std::vector<Pair> atoms = {{{"ALA", 1, 7, 7, 7, 30}, 10}};
    File sub = streamOf(subunitText(atoms)), cpx = streamOf(complexText(atoms));
    std::vector<InterfacePoint> points(5, InterfacePoint{-1, -1, -1});
    SubunitInterface s;
    ASSERT_EQ(readInterfaceAtoms(sub.get(), cpx.get(), points, s), 0);
    EXPECT_EQ(points.size(), 5u);
    EXPECT_EQ(points[0].x, 7.0f);
    EXPECT_EQ(points[1].x, -1.0f);
}

}  // namespace
