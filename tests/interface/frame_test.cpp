// The reference triple search and the interface frame.
#include "interface/frame.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

namespace {

// Slot centroids for getPoints; only the slots given have atoms.
struct Slots {
    float x[kClassSlots] = {};
    float y[kClassSlots] = {};
    float z[kClassSlots] = {};
    int count[kClassSlots] = {};
    void set(int slot, float px, float py, float pz) {
        x[slot] = px;
        y[slot] = py;
        z[slot] = pz;
        count[slot] = 1;
    }
};

struct Triple {
    int first = 100, second = 100, third = 100;
};

float search(const Slots& s, Triple& t, int start = 0) {
    return getPoints(start, s.x, s.y, s.z, s.count, t.first, t.second, t.third);
}

void expectUntouched(const Triple& t) {
    EXPECT_EQ(t.first, 100);
    EXPECT_EQ(t.second, 100);
    EXPECT_EQ(t.third, 100);
}

TEST(GetPoints, RightAngleTripleFromSlotZero) {
    Slots s;
    s.set(0, 0, 0, 0);
    s.set(3, 3, 0, 0);
    s.set(7, 0, 3, 0);
    Triple t;
    const float angle = search(s, t);
    EXPECT_EQ(t.first, 0);
    EXPECT_EQ(t.second, 3);
    EXPECT_EQ(t.third, 7);
    // 57.27 * (pi / 2), not 90: the factor is this program's own.
    EXPECT_EQ(angle, static_cast<float>(57.27 * std::acos(0.0)));
    EXPECT_NE(angle, 90.0f);
}

TEST(GetPoints, DistanceOfExactlyTwoIsNotEnough) {
    // Slot 1 at exactly 2.0 from slot 0 is skipped as a second point; the
    // triple then has to start elsewhere or not at all.
    Slots s;
    s.set(0, 0, 0, 0);
    s.set(1, 2, 0, 0);
    s.set(2, 0, 3, 0);
    Triple t;
    EXPECT_EQ(search(s, t), 0.0f);
    expectUntouched(t);

    // Just beyond 2.0, the same layout is accepted.
    s.set(1, 2.0001f, 0, 0);
    EXPECT_GT(search(s, t), 0.0f);
    EXPECT_EQ(t.first, 0);
    EXPECT_EQ(t.second, 1);
    EXPECT_EQ(t.third, 2);
}

TEST(GetPoints, ThirdPointAtExactlyTwoIsSkipped) {
    Slots s;
    s.set(0, 0, 0, 0);
    s.set(1, 3, 0, 0);
    s.set(2, 0, 2, 0);   // exactly 2.0 from slot 0: skipped as third
    s.set(5, 0, 0, 4);   // taken instead
    Triple t;
    EXPECT_GT(search(s, t), 0.0f);
    EXPECT_EQ(t.first, 0);
    EXPECT_EQ(t.second, 1);
    EXPECT_EQ(t.third, 5);
}

TEST(GetPoints, CosineOfExactlyPoint966IsRejected) {
    // u = (4, 0, 0) and v = (483, vy, 0) with |v| = 500 in float: the
    // cosine is 1932 / 2000, which rounds to the double nearest 0.966.
    Slots s;
    s.set(0, 0, 0, 0);
    s.set(1, 4, 0, 0);
    const float vy = std::sqrt(16711.0f);
    ASSERT_EQ((483.0f * 483.0f + vy * vy) + 0.0f, 250000.0f);
    s.set(2, 483.0f, vy, 0);
    ASSERT_EQ(1932.0 / (500.0 * 4.0), 0.966);
    Triple t;
    EXPECT_EQ(search(s, t), 0.0f);
    expectUntouched(t);

    // Mirrored (cos = -0.966): |cos| is tested, so it is rejected as well.
    s.set(2, -483.0f, vy, 0);
    EXPECT_EQ(search(s, t), 0.0f);
    expectUntouched(t);
}

TEST(GetPoints, CosineJustBelowPoint966IsAccepted) {
    // Walk v = (vx, 1, 0) in float steps to the first vx whose computed
    // cosine against u = (4, 0, 0) reaches 0.966; the step before passes.
    Slots s;
    s.set(0, 0, 0, 0);
    s.set(1, 4, 0, 0);
    auto cosineFor = [](float vx, float vy) {
        const float dot = (4.0f * vx + 0.0f * vy) + 0.0f * 0.0f;
        const float sq = (vx * vx + vy * vy) + 0.0f * 0.0f;
        return static_cast<double>(dot) / (std::sqrt(static_cast<double>(sq)) * 4.0);
    };
    const float vy = 1.0f;
    float vx = 3.7f;
    while (cosineFor(vx, vy) < 0.966) vx = std::nextafter(vx, 10.0f);
    const float below = std::nextafter(vx, 0.0f);
    ASSERT_LT(cosineFor(below, vy), 0.966);

    Triple t;
    s.set(2, below, vy, 0);
    EXPECT_GT(search(s, t), 0.0f);
    EXPECT_EQ(t.third, 2);

    Triple u;
    s.set(2, vx, vy, 0);
    EXPECT_EQ(search(s, u), 0.0f);
    expectUntouched(u);
}

TEST(GetPoints, NoTripleCases) {
    struct Case {
        const char* name;
        std::vector<std::array<float, 4>> slots;  // slot, x, y, z
    };
    const std::vector<Case> cases = {
        {"only slot 0 has atoms", {{0, 1, 2, 3}}},
        {"every later slot within 2.0 of the first", {{0, 0, 0, 0}, {4, 1, 1, 0}, {9, 0, 1.5f, 0}, {20, 1.9f, 0, 0}}},
        {"collinear", {{0, 0, 0, 0}, {1, 3, 0, 0}, {2, 6, 0, 0}, {3, -4, 0, 0}}},
        {"no slot at all", {}},
    };
    for (const Case& c : cases) {
        Slots s;
        for (const auto& v : c.slots) s.set(static_cast<int>(v[0]), v[1], v[2], v[3]);
        Triple t;
        EXPECT_EQ(search(s, t), 0.0f) << c.name;
        expectUntouched(t);
    }
}

TEST(GetPoints, FirstTripleInSlotOrderWinsAndEmptySlotsAreSkipped) {
    Slots s;
    s.set(0, 0, 0, 0);
    s.set(2, 5, 0, 0);
    s.set(4, 0, 5, 0);
    s.set(6, 0, 0, 5);
    // A slot with a centroid but no atoms must not take part.
    s.x[1] = 0;
    s.y[1] = -7;
    s.count[1] = 0;
    Triple t;
    EXPECT_GT(search(s, t), 0.0f);
    EXPECT_EQ(t.first, 0);
    EXPECT_EQ(t.second, 2);
    EXPECT_EQ(t.third, 4);

    // Starting later skips slot 0.
    Triple later;
    EXPECT_GT(search(s, later, 1), 0.0f);
    EXPECT_EQ(later.first, 2);
    EXPECT_EQ(later.second, 4);
    EXPECT_EQ(later.third, 6);
}

TEST(GetPoints, DistanceBetweenSecondAndThirdIsNotTested) {
    // Slots 1 and 2 are 0.5 apart but both far from slot 0 and not collinear
    // with it: the triple stands.
    Slots s;
    s.set(0, 0, 0, 0);
    s.set(1, 5, 0, 0);
    s.set(2, 5, 1.5f, 0);
    Triple t;
    EXPECT_GT(search(s, t), 0.0f);
    EXPECT_EQ(t.second, 1);
    EXPECT_EQ(t.third, 2);
}

// ---- Transform_Coordinate ----

double distance(double ax, double ay, double az, double bx, double by, double bz) {
    return std::sqrt((ax - bx) * (ax - bx) + (ay - by) * (ay - by) + (az - bz) * (az - bz));
}

std::vector<InterfacePoint> refsAndExtras(const float ref[9]) {
    std::vector<InterfacePoint> pts = {
        {ref[0], ref[1], ref[2]}, {ref[3], ref[4], ref[5]}, {ref[6], ref[7], ref[8]},
        {12.5f, -3.25f, 7.0f},    {-8.0f, 4.5f, 19.75f},    {0.0f, 0.0f, 0.0f},
    };
    return pts;
}

TEST(TransformCoordinate, FrameProperties) {
    const float refs[][9] = {
        {10.1f, -4.3f, 22.7f, 13.9f, -1.2f, 25.0f, 7.4f, -8.8f, 24.1f},
        {-31.5f, 12.0f, 3.3f, -30.0f, 18.5f, -1.0f, -25.2f, 9.9f, 6.6f},
        // Second point below the first in z and y: rotations pass through negative sines.
        {0.0f, 0.0f, 0.0f, 1.0f, -3.0f, -4.0f, 2.0f, 5.0f, -1.0f},
        // Third point at negative x of the first: the third rotation turns it round.
        {5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 9.0f, 1.0f, 5.0f, 5.0f},
    };
    for (const auto& ref : refs) {
        const std::vector<InterfacePoint> pts = refsAndExtras(ref);
        const int n = static_cast<int>(pts.size());
        std::vector<FramePoint> frame;
        Transform_Coordinate(pts, n, ref, frame);
        ASSERT_EQ(frame.size(), pts.size());

        const double tol = 1e-4;
        // First reference point at the origin.
        EXPECT_NEAR(frame[0].x, 0.0, tol);
        EXPECT_NEAR(frame[0].y, 0.0, tol);
        EXPECT_NEAR(frame[0].z, 0.0, tol);
        // Second on the +z axis at its distance from the first.
        const double d01 = distance(ref[0], ref[1], ref[2], ref[3], ref[4], ref[5]);
        EXPECT_NEAR(frame[1].x, 0.0, tol);
        EXPECT_NEAR(frame[1].y, 0.0, tol);
        EXPECT_NEAR(frame[1].z, d01, tol);
        // Third in the xz plane, at positive x.
        EXPECT_NEAR(frame[2].y, 0.0, tol);
        EXPECT_GT(frame[2].x, 0.0);
        // Distances preserved between all pairs, and index = position.
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(frame[i].index, i);
            for (int j = i + 1; j < n; ++j) {
                const double before =
                    distance(pts[i].x, pts[i].y, pts[i].z, pts[j].x, pts[j].y, pts[j].z);
                const double after = distance(frame[i].x, frame[i].y, frame[i].z, frame[j].x,
                                              frame[j].y, frame[j].z);
                EXPECT_NEAR(before, after, tol);
            }
        }
        // Right-handed: the cross product of the new x and y axes is +z, so a
        // point at +y of the plane through the three references keeps its side.
        // (A reflection would keep distances but flip this sign.)
        const double ux = ref[3] - ref[0], uy = ref[4] - ref[1], uz = ref[5] - ref[2];
        const double vx = ref[6] - ref[0], vy = ref[7] - ref[1], vz = ref[8] - ref[2];
        const double nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
        for (int i = 3; i < n; ++i) {
            const double side = (pts[i].x - ref[0]) * nx + (pts[i].y - ref[1]) * ny +
                                (pts[i].z - ref[2]) * nz;
            // In the frame, u = +z and v has x > 0, so u x v points along +y.
            if (std::fabs(side) > 1e-3) {
                EXPECT_EQ(side > 0, frame[i].y > 0) << "point " << i;
            }
        }
    }
}

TEST(TransformCoordinate, IdentityWhenFrameEqualsInputAxes) {
    const float ref[9] = {0, 0, 0, 0, 0, 5, 3, 0, 0};
    const std::vector<InterfacePoint> pts = refsAndExtras(ref);
    std::vector<FramePoint> frame;
    Transform_Coordinate(pts, static_cast<int>(pts.size()), ref, frame);
    for (std::size_t i = 0; i < pts.size(); ++i) {
        // Exact: every rotation has c = 1, s = 0.
        EXPECT_EQ(frame[i].x, static_cast<double>(pts[i].x));
        EXPECT_EQ(frame[i].y, static_cast<double>(pts[i].y));
        EXPECT_EQ(frame[i].z, static_cast<double>(pts[i].z));
    }
}

TEST(TransformCoordinate, SecondPointDifferingOnlyInXGivesAFiniteFrame) {
    // dy = dz = 0: the first rotation is the identity, and the frame still
    // has the second point on +z and the third at positive x.
    const float refs[][9] = {
        {1, 2, 3, 6, 2, 3, 1, 5, 3},
        {1, 2, 3, -4, 2, 3, 1, 2, 7},
    };
    for (const auto& ref : refs) {
        const std::vector<InterfacePoint> pts = refsAndExtras(ref);
        std::vector<FramePoint> frame;
        Transform_Coordinate(pts, static_cast<int>(pts.size()), ref, frame);
        for (const FramePoint& f : frame) {
            EXPECT_TRUE(std::isfinite(f.x) && std::isfinite(f.y) && std::isfinite(f.z));
        }
        EXPECT_NEAR(frame[1].x, 0.0, 1e-9);
        EXPECT_NEAR(frame[1].y, 0.0, 1e-9);
        EXPECT_NEAR(frame[1].z, 5.0, 1e-9);
        EXPECT_NEAR(frame[2].y, 0.0, 1e-9);
        EXPECT_GT(frame[2].x, 0.0);
    }
}

TEST(TransformCoordinate, CoincidentReferencePointsGiveNoNaN) {
    // All three references equal: every rotation is the identity, and the
    // points are only moved by -P0.
    const float ref[9] = {2, 2, 2, 2, 2, 2, 2, 2, 2};
    const std::vector<InterfacePoint> pts = refsAndExtras(ref);
    std::vector<FramePoint> frame;
    Transform_Coordinate(pts, static_cast<int>(pts.size()), ref, frame);
    for (std::size_t i = 0; i < pts.size(); ++i) {
        EXPECT_EQ(frame[i].x, static_cast<double>(pts[i].x) - 2.0);
        EXPECT_EQ(frame[i].y, static_cast<double>(pts[i].y) - 2.0);
        EXPECT_EQ(frame[i].z, static_cast<double>(pts[i].z) - 2.0);
    }
}

TEST(TransformCoordinate, WritesOnlyTheFirstNEntries) {
    const float ref[9] = {0, 0, 0, 0, 0, 5, 3, 0, 0};
    const std::vector<InterfacePoint> pts = refsAndExtras(ref);
    std::vector<FramePoint> frame(10, FramePoint{-1, -1, -1, -7});
    Transform_Coordinate(pts, 2, ref, frame);
    EXPECT_EQ(frame.size(), 10u);
    EXPECT_EQ(frame[1].z, 5.0);
    EXPECT_EQ(frame[1].index, 1);
    EXPECT_EQ(frame[2].index, -7);
}

TEST(Preprocess, UsesSlotsInTheGivenOrder) {
    // preprocess must take first, second, third in that order: swapping the
    // second and third gives a different frame.
    Slots s;
    s.set(0, 1, 1, 1);
    s.set(4, 1, 1, 6);
    s.set(9, 4, 1, 1);
    const std::vector<InterfacePoint> pts = {{1, 1, 1}, {1, 1, 6}, {4, 1, 1}};
    std::vector<FramePoint> frame;
    preprocess(pts, frame, 3, s.x, s.y, s.z, 0, 4, 9);
    EXPECT_NEAR(frame[1].z, 5.0, 1e-12);
    EXPECT_NEAR(frame[2].x, 3.0, 1e-12);

    preprocess(pts, frame, 3, s.x, s.y, s.z, 0, 9, 4);
    EXPECT_NEAR(frame[2].z, 3.0, 1e-12);  // now slot 9 is on the +z axis
    EXPECT_NEAR(frame[1].x, 5.0, 1e-12);
}

}  // namespace
