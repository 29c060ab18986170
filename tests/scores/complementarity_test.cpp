#include "scores/complementarity.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

struct Tri {
    Vector3 centroid;
    Vector3 normal;
    float area;
};

struct Tables {
    std::vector<Vector3> centroids, normals;
    std::vector<float> areas;
    int count = 0;
};

Tables tables(const std::vector<Tri>& tris) {
    Tables t;
    for (const Tri& tri : tris) {
        t.centroids.push_back(tri.centroid);
        t.normals.push_back(tri.normal);
        t.areas.push_back(tri.area);
    }
    t.count = static_cast<int>(tris.size());
    return t;
}

// Sscore with the pipeline's thresholds.
float score(const std::vector<Tri>& a, const std::vector<Tri>& b, float buriedA = 500.0f) {
    const Tables ta = tables(a), tb = tables(b);
    return Sscore(ta.centroids, ta.normals, ta.areas, ta.count, tb.centroids, tb.normals, 36.0f,
                  0.906f, buriedA, tb.areas, tb.count);
}

// A unit normal (c, s, 0) whose computed length is exactly 1, so that its
// cosine with (1, 0, 0) is exactly c.
Vector3 unitNormalWithCosine(double c) {
    double s = std::sqrt(1.0 - c * c);
    for (int step = 0; step < 64; ++step) {
        if (std::sqrt(c * c + s * s + 0.0 * 0.0) == 1.0) return {c, s, 0.0};
        s = std::nextafter(s, c * c + s * s > 1.0 ? 0.0 : 1.0);
    }
    ADD_FAILURE() << "no exact unit normal for cosine " << c;
    return {c, s, 0.0};
}

const Vector3 kOrigin{0.0, 0.0, 0.0};
const Vector3 kUp{0.0, 0.0, 2.0};  // length 2: twice the area of a unit triangle

struct PairCase {
    const char* what;
    Tri a;
    Tri b;
    float expected;
};

TEST(Sscore, OnePairOfTriangles) {
    const double limit = 0.906f;  // the threshold as the pipeline passes it
    const PairCase cases[] = {
        {"identical surfaces", {kOrigin, kUp, 5.0f}, {kOrigin, kUp, 5.0f}, 1.0f},
        {"facing normals", {kOrigin, kUp, 5.0f}, {kOrigin, {0.0, 0.0, -7.0}, 5.0f}, 1.0f},
        {"centroids exactly 6 A apart", {kOrigin, kUp, 5.0f}, {{6.0, 0.0, 0.0}, kUp, 5.0f}, 1.0f},
        {"centroids 6 A apart diagonally", {{1.0, 2.0, 3.0}, kUp, 5.0f},
         {{3.0, 6.0, 7.0}, kUp, 5.0f}, 1.0f},
        {"centroids just beyond 6 A", {kOrigin, kUp, 5.0f}, {{0.0, 6.000001, 0.0}, kUp, 5.0f},
         0.0f},
        {"cosine exactly at the limit", {kOrigin, {1.0, 0.0, 0.0}, 5.0f},
         {kOrigin, unitNormalWithCosine(limit), 5.0f}, 0.0f},
        {"facing, cosine exactly at the limit", {kOrigin, {-1.0, 0.0, 0.0}, 5.0f},
         {kOrigin, unitNormalWithCosine(limit), 5.0f}, 0.0f},
        {"cosine one step above the limit", {kOrigin, {1.0, 0.0, 0.0}, 5.0f},
         {kOrigin, unitNormalWithCosine(std::nextafter(limit, 1.0)), 5.0f}, 1.0f},
        {"cosine 0.906 in double, below the float limit", {kOrigin, {1.0, 0.0, 0.0}, 5.0f},
         {kOrigin, unitNormalWithCosine(0.906), 5.0f}, 0.0f},
        {"perpendicular normals", {kOrigin, kUp, 5.0f}, {kOrigin, {3.0, 0.0, 0.0}, 5.0f}, 0.0f},
        {"degenerate normal on A", {kOrigin, kOrigin, 5.0f}, {kOrigin, kUp, 5.0f}, 0.0f},
        {"degenerate normal on B", {kOrigin, kUp, 5.0f}, {kOrigin, kOrigin, 5.0f}, 0.0f},
        {"area exactly 11.0 still pairs", {kOrigin, kUp, 11.0f}, {kOrigin, kUp, 11.0f}, 1.0f},
        // A 1.5 partner credits 1.5 in both directions; B's 1.5 is the smaller surface.
        {"single smaller partner", {kOrigin, kUp, 2.0f}, {kOrigin, kUp, 1.5f}, 1.0f},
    };
    for (const PairCase& c : cases) EXPECT_EQ(score({c.a}, {c.b}), c.expected) << c.what;
}

// A's triangle of 2.0 with partners of 3.0 and 4.0 is credited 2.0, not 7.0.
TEST(Sscore, CreditIsCappedByTheOwnArea) {
    EXPECT_EQ(score({{kOrigin, kUp, 2.0f}}, {{kOrigin, kUp, 3.0f}, {kOrigin, kUp, 4.0f}}), 1.0f);
    // Different sizes show the credit: A gets 2.0, B's first triangle 2.0,
    // its second nothing (A's triangle is taken); over A's surface of 2.5.
    EXPECT_EQ(score({{kOrigin, kUp, 2.0f}, {{50.0, 0.0, 0.0}, kUp, 0.5f}},
                    {{kOrigin, kUp, 3.0f}, {kOrigin, kUp, 4.0f}}),
              2.0f / 2.5f);
}

// Large triangles (> 11.0) never pair; with buriedA of 1000.0 and above they
// count in the surface sums.
TEST(Sscore, LargeTrianglesAndTheNormalisationSwitch) {
    const std::vector<Tri> a = {{kOrigin, kUp, 10.0f}};
    const std::vector<Tri> b = {{kOrigin, kUp, 11.5f}, {kOrigin, kUp, 2.0f}};
    // Either way both totals are 2.0 (B's small triangle and A's triangle).
    EXPECT_EQ(score(a, b, 999.9f), 2.0f / 2.0f);     // sA 10.0, sB 2.0
    EXPECT_EQ(score(a, b, 1000.0f), 2.0f / 10.0f);   // sA 10.0, sB 13.5
    EXPECT_EQ(score(b, a, 999.9f), 2.0f / 2.0f);
    EXPECT_EQ(score(b, a, 1000.0f), 2.0f / 10.0f);
}

TEST(Sscore, AllLargeTrianglesGiveNotANumber) {
    const std::vector<Tri> large = {{kOrigin, kUp, 11.5f}, {{1.0, 0.0, 0.0}, kUp, 12.0f}};
    const std::vector<Tri> small = {{kOrigin, kUp, 5.0f}};
    EXPECT_TRUE(std::isnan(score(large, small, 999.9f)));
    EXPECT_TRUE(std::isnan(score(small, large, 999.9f)));
    // From 1000.0 on the large areas make a surface: nothing pairs, so 0.
    EXPECT_EQ(score(large, small, 1000.0f), 0.0f);
}

// A partner is consumed by the lowest-numbered triangle it matches.
TEST(Sscore, FirstMatchConsumesThePartner) {
    // A0 (1.0) and A1 (5.0) both match B0 (5.0). A against B: A0 takes B0 and
    // is credited 1.0, A1 finds nothing. B against A: B0 takes both, 5.0.
    // Best 5.0 over B's 5.0. Were B0 not consumed, A would total 6.0.
    EXPECT_EQ(score({{kOrigin, kUp, 1.0f}, {kOrigin, kUp, 5.0f}}, {{kOrigin, kUp, 5.0f}}), 1.0f);
    // A partner that fails the angle test stays free for a later triangle:
    // A0 is perpendicular to B0, A1 parallel, so B0 goes to A1.
    EXPECT_EQ(score({{kOrigin, {2.0, 0.0, 0.0}, 4.0f}, {kOrigin, kUp, 4.0f}},
                    {{kOrigin, kUp, 4.0f}}),
              1.0f);
    // Order decides: B0 (3.0) matches A0 (3.0) and A1 (3.0); B1 (3.0) matches
    // A0 only. B against A: B0 takes A0 and A1, B1 finds nothing: 3.0.
    // A against B: A0 takes B0 and B1, A1 nothing: 3.0. Over sA = sB = 6.0.
    const Vector3 nearA1{0.0, 5.0, 0.0};
    const Vector3 nearA0{0.0, -5.0, 0.0};
    EXPECT_EQ(score({{kOrigin, kUp, 3.0f}, {nearA1, kUp, 3.0f}},
                    {{{0.0, 2.5, 0.0}, kUp, 3.0f}, {nearA0, kUp, 3.0f}}),
              0.5f);
}

// Surface sums are accumulated in single precision, in triangle order.
TEST(Sscore, SurfaceSumsAccumulateInFloat) {
    std::vector<Tri> a = {{kOrigin, kUp, 1.0f}};
    float floatSum = 1.0f;
    double doubleSum = 1.0;
    for (int i = 1; i <= 30; ++i) {
        a.push_back({{100.0 * i, 0.0, 0.0}, kUp, 0.1f});  // no partner
        floatSum += 0.1f;
        doubleSum += 0.1f;
    }
    ASSERT_NE(1.0f / floatSum, 1.0f / static_cast<float>(doubleSum));
    // B is the larger surface, so A's sum divides the best total of 1.0.
    EXPECT_EQ(score(a, {{kOrigin, kUp, 1.0f}, {{-50.0, 0.0, 0.0}, kUp, 9.0f}}), 1.0f / floatSum);
}

// Surfaces of more than 5000 triangles are scored like smaller ones.
TEST(Sscore, ManyTrianglesEachWithOnePartner) {
    std::vector<Tri> a, b;
    for (int i = 0; i < 6000; ++i) {
        a.push_back({{10.0 * i, 0.0, 0.0}, kUp, 1.0f});
        b.push_back({{10.0 * i, 0.0, 1.0}, {0.0, 0.0, -1.0}, 1.0f});
    }
    EXPECT_EQ(score(a, b, 5000.0f), 1.0f);
}

TEST(Sscore, CountsBeyondTheTablesAreNotRead) {
    const Tables t = tables({{kOrigin, kUp, 5.0f}});
    EXPECT_EQ(Sscore(t.centroids, t.normals, t.areas, 7, t.centroids, t.normals, 36.0f, 0.906f,
                     500.0f, t.areas, 3),
              1.0f);
}

// Each direction's total is bounded by its own eligible area and by the
// partner area it consumed, so the score lies in [0, 1] up to rounding.
TEST(Sscore, RandomSurfacesScoreBetweenZeroAndOne) {
    std::mt19937 rng(20261208);
    std::uniform_real_distribution<double> coord(0.0, 12.0), dir(-1.0, 1.0);
    std::uniform_real_distribution<float> area(0.05f, 12.5f), buried(500.0f, 1500.0f);
    std::uniform_int_distribution<int> count(1, 120);
    int finite = 0;
    for (int round = 0; round < 300; ++round) {
        std::vector<Tri> sides[2];
        for (auto& side : sides) {
            const int n = count(rng);
            for (int i = 0; i < n; ++i)
                side.push_back({{coord(rng), coord(rng), coord(rng)},
                                {dir(rng), dir(rng), dir(rng)}, area(rng)});
        }
        const float s = score(sides[0], sides[1], buried(rng));
        if (std::isnan(s)) continue;  // a surface of large triangles only
        ++finite;
        EXPECT_GE(s, 0.0f) << "round " << round;
        EXPECT_LE(s, 1.0f + 1e-5f) << "round " << round;
    }
    EXPECT_GT(finite, 250);
}

}  // namespace
