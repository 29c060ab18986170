#include "report/open_book.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

Vector3 sub(const Vector3& a, const Vector3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vector3 scaled(const Vector3& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vector3 cross(const Vector3& a, const Vector3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double norm(const Vector3& a) { return std::sqrt(dot(a, a)); }
Vector3 position(const ReportAtom& a) { return {a.x, a.y, a.z}; }

Vector3 centroid(const std::vector<ReportAtom>& atoms) {
    Vector3 sum;
    for (const ReportAtom& a : atoms) sum = {sum.x + a.x, sum.y + a.y, sum.z + a.z};
    return scaled(sum, 1.0 / static_cast<double>(atoms.size()));
}

// Any unit vector perpendicular to unit `n`.
Vector3 perpendicular(const Vector3& n) {
    const Vector3 other = std::fabs(n.x) < 0.9 ? Vector3{1, 0, 0} : Vector3{0, 1, 0};
    const Vector3 p = cross(n, other);
    return scaled(p, 1.0 / norm(p));
}

// The long axis of the points projected on the plane through `c` with
// normal `n`: the first principal axis of their 2-D scatter in the basis u, v.
Vector3 longAxis(const InterfaceReport& report, const Vector3& c, const Vector3& n) {
    const Vector3 u = perpendicular(n), v = cross(n, u);
    double suu = 0, suv = 0, svv = 0;
    for (const ReportSide& side : report.sides)
        for (const ReportAtom& a : side.atoms) {
            const Vector3 d = sub(position(a), c);
            const double pu = dot(d, u), pv = dot(d, v);
            suu += pu * pu;
            suv += pu * pv;
            svv += pv * pv;
        }
    // Angle of the principal axis of [[suu, suv], [suv, svv]].
    const double angle = 0.5 * std::atan2(2 * suv, suu - svv);
    const Vector3 axis = {u.x * std::cos(angle) + v.x * std::sin(angle),
                          u.y * std::cos(angle) + v.y * std::sin(angle),
                          u.z * std::cos(angle) + v.z * std::sin(angle)};
    return scaled(axis, 1.0 / norm(axis));
}

void setRows(RigidMotion& m, const Vector3& x, const Vector3& y, const Vector3& z) {
    const Vector3 rows[3] = {x, y, z};
    for (int r = 0; r < 3; ++r) {
        m.rotation[r][0] = rows[r].x;
        m.rotation[r][1] = rows[r].y;
        m.rotation[r][2] = rows[r].z;
    }
}

}  // namespace

Vector3 apply(const RigidMotion& m, const Vector3& p) {
    const Vector3 d = sub(p, m.centre);
    Vector3 out;
    double* o[3] = {&out.x, &out.y, &out.z};
    for (int r = 0; r < 3; ++r)
        *o[r] = m.rotation[r][0] * d.x + m.rotation[r][1] * d.y + m.rotation[r][2] * d.z;
    return {out.x + m.shift.x, out.y + m.shift.y, out.z + m.shift.z};
}

OpenBook openBook(const InterfaceReport& report, double gap) {
    OpenBook book;
    if (report.sides[0].atoms.empty() || report.sides[1].atoms.empty()) return book;
    const Vector3 a = centroid(report.sides[0].atoms), b = centroid(report.sides[1].atoms);
    const Vector3 ab = sub(b, a);
    if (!(norm(ab) > 1e-6)) return book;
    book.axis = scaled(ab, 1.0 / norm(ab));
    std::vector<ReportAtom> all = report.sides[0].atoms;
    all.insert(all.end(), report.sides[1].atoms.begin(), report.sides[1].atoms.end());
    const Vector3 c = centroid(all);
    book.spine = longAxis(report, c, book.axis);

    // Rows: the directions that become x, y and z. Both are proper rotations
    // (x = y cross z).
    const Vector3 across = cross(book.spine, book.axis);
    setRows(book.sides[0], across, book.spine, book.axis);
    setRows(book.sides[1], scaled(across, -1), book.spine, scaled(book.axis, -1));

    // Side by side: A's right edge and B's left edge `gap` apart about x = 0,
    // each page centred on y = 0 and lying at z = 0 (its body behind it).
    for (int s = 0; s < 2; ++s) {
        RigidMotion& m = book.sides[s];
        m.centre = c;
        double low = std::numeric_limits<double>::max(), high = -low;
        for (const ReportAtom& atom : report.sides[s].atoms) {
            const double x = apply(m, position(atom)).x;
            low = std::min(low, x);
            high = std::max(high, x);
        }
        m.shift.x = s == 0 ? -gap / 2 - high : gap / 2 - low;
    }
    book.valid = true;
    return book;
}
