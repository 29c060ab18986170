// The open book's motions: proper rotations, both interface surfaces turned
// to the viewer (+z), the two pages side by side and apart, contacts at
// mirror positions, each body behind its page.
#include "report/open_book.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

ReportAtom atom(double x, double y, double z) {
    ReportAtom a;
    a.x = static_cast<float>(x);
    a.y = static_cast<float>(y);
    a.z = static_cast<float>(z);
    return a;
}

Vector3 rotate(const RigidMotion& m, const Vector3& v) {  // the rotation alone
    RigidMotion r = m;
    r.centre = {};
    r.shift = {};
    return apply(r, v);
}

double det(const double r[3][3]) {
    return r[0][0] * (r[1][1] * r[2][2] - r[1][2] * r[2][1]) -
           r[0][1] * (r[1][0] * r[2][2] - r[1][2] * r[2][0]) +
           r[0][2] * (r[1][0] * r[2][1] - r[1][1] * r[2][0]);
}

// Two patches facing each other across a plane with unit normal `n` through
// `c`, 10 A long along `l` and 4 A wide, 3 A apart.
InterfaceReport facingPatches(const Vector3& c, const Vector3& n, const Vector3& l) {
    const Vector3 w = {n.y * l.z - n.z * l.y, n.z * l.x - n.x * l.z, n.x * l.y - n.y * l.x};
    InterfaceReport report;
    for (int side = 0; side < 2; ++side)
        for (int i = -5; i <= 5; ++i)
            for (int j = -2; j <= 2; ++j) {
                const double off = side == 0 ? -1.5 : 1.5;
                report.sides[side].atoms.push_back(atom(c.x + i * l.x + j * w.x + off * n.x,
                                                        c.y + i * l.y + j * w.y + off * n.y,
                                                        c.z + i * l.z + j * w.z + off * n.z));
            }
    return report;
}

TEST(OpenBookTest, BothSurfacesFaceTheViewerSideBySide) {
    const double s = std::sqrt(0.5);
    const struct { Vector3 centre, normal, longAxis; } cases[] = {
        {{0, 0, 0}, {0, 0, 1}, {1, 0, 0}},
        {{10, -4, 7}, {1, 0, 0}, {0, 0, 1}},
        {{-30, 12, 2}, {s, s, 0}, {0, 0, 1}},
        {{5, 5, 5}, {0, -s, s}, {1, 0, 0}},
    };
    for (const auto& c : cases) {
        const InterfaceReport report = facingPatches(c.centre, c.normal, c.longAxis);
        const double gap = 6.0;
        const OpenBook book = openBook(report, gap);
        ASSERT_TRUE(book.valid);
        EXPECT_NEAR(std::fabs(book.axis.x * c.normal.x + book.axis.y * c.normal.y +
                              book.axis.z * c.normal.z), 1.0, 1e-9);
        // The spine is the patch's long axis.
        EXPECT_NEAR(std::fabs(book.spine.x * c.longAxis.x + book.spine.y * c.longAxis.y +
                              book.spine.z * c.longAxis.z), 1.0, 1e-6);
        double high[2] = {-1e9, -1e9}, low[2] = {1e9, 1e9};
        for (int side = 0; side < 2; ++side) {
            const RigidMotion& m = book.sides[side];
            EXPECT_NEAR(det(m.rotation), 1.0, 1e-9);
            // The surface of A faces B (+normal), that of B faces A: both now +z.
            const Vector3 facing = side == 0 ? c.normal : Vector3{-c.normal.x, -c.normal.y, -c.normal.z};
            const Vector3 turned = rotate(m, facing);
            EXPECT_NEAR(turned.z, 1.0, 1e-9);
            EXPECT_NEAR(rotate(m, book.spine).y, 1.0, 1e-9);
            // The body lies behind the page.
            const Vector3 body = {c.centre.x - 20 * facing.x, c.centre.y - 20 * facing.y,
                                  c.centre.z - 20 * facing.z};
            EXPECT_LT(apply(m, body).z, -15.0);
            for (const ReportAtom& a : report.sides[side].atoms) {
                const Vector3 p = apply(m, Vector3{a.x, a.y, a.z});
                low[side] = std::min(low[side], p.x);
                high[side] = std::max(high[side], p.x);
                EXPECT_NEAR(p.z, -1.5, 1e-4);  // the page is the patch, 1.5 A from the plane
            }
        }
        EXPECT_NEAR(low[1] - high[0], gap, 1e-4);  // A left, B right, gap between
        EXPECT_NEAR(high[0] + low[1], 0.0, 1e-4);  // the gap about x = 0
        // Atoms in contact at mirror positions about the spine.
        const ReportAtom& a = report.sides[0].atoms[3];
        const ReportAtom& b = report.sides[1].atoms[3];
        const Vector3 pa = apply(book.sides[0], {a.x, a.y, a.z});
        const Vector3 pb = apply(book.sides[1], {b.x, b.y, b.z});
        EXPECT_NEAR(pa.y, pb.y, 1e-4);
        EXPECT_NEAR(pa.x - book.sides[0].shift.x, -(pb.x - book.sides[1].shift.x), 1e-4);
    }
}

TEST(OpenBookTest, NoBookWithoutTwoSeparateSides) {
    InterfaceReport empty;
    EXPECT_FALSE(openBook(empty).valid);
    InterfaceReport oneSide;
    oneSide.sides[0].atoms = {atom(0, 0, 0), atom(1, 0, 0)};
    EXPECT_FALSE(openBook(oneSide).valid);
    InterfaceReport sameCentre;
    sameCentre.sides[0].atoms = {atom(-1, 0, 0), atom(1, 0, 0)};
    sameCentre.sides[1].atoms = {atom(0, -1, 0), atom(0, 1, 0)};
    EXPECT_FALSE(openBook(sameCentre).valid);
}

}  // namespace
