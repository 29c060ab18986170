#include "interface/frame.h"

#include <cmath>
#include <cstddef>

namespace {

// Distance between two slot centroids: float differences, float sum of
// squares added x, then y, then z, widened to double for the root.
double slotDistance(const float x[], const float y[], const float z[], int a, int b) {
    const float dx = x[b] - x[a];
    const float dy = y[b] - y[a];
    const float dz = z[b] - z[a];
    const float squared = (dx * dx + dy * dy) + dz * dz;
    return std::sqrt(static_cast<double>(squared));
}

// A rotation that maps (0, 0) to nothing useful is left as the identity:
// c = 1, s = 0 when the vector it is built from has length 0.
struct Rotation {
    double c = 1.0;
    double s = 0.0;
};

Rotation rotationFrom(double cosSide, double sinSide, double length) {
    if (length == 0.0) return {};
    return {cosSide / length, sinSide / length};
}

struct Point3 {
    double x, y, z;
};

// About the x axis: (x, c*y - s*z, s*y + c*z).
Point3 rotateX(const Rotation& r, const Point3& p) {
    return {p.x, r.c * p.y - r.s * p.z, r.s * p.y + r.c * p.z};
}

// About the y axis: (c*x - s*z, y, s*x + c*z).
Point3 rotateY(const Rotation& r, const Point3& p) {
    return {r.c * p.x - r.s * p.z, p.y, r.s * p.x + r.c * p.z};
}

// About the z axis: (c*x + s*y, -s*x + c*y, z).
Point3 rotateZ(const Rotation& r, const Point3& p) {
    return {r.c * p.x + r.s * p.y, -r.s * p.x + r.c * p.y, p.z};
}

}  // namespace

float getPoints(int start, const float x[], const float y[], const float z[], const int count[],
                int& first, int& second, int& third) {
    for (int i = start; i < kClassSlots; ++i) {
        if (count[i] == 0) continue;
        for (int j = i + 1; j < kClassSlots; ++j) {
            if (count[j] == 0) continue;
            const double lengthU = slotDistance(x, y, z, i, j);
            if (!(lengthU > 2.0)) continue;
            for (int k = j + 1; k < kClassSlots; ++k) {
                if (count[k] == 0) continue;
                const double lengthV = slotDistance(x, y, z, i, k);
                if (!(lengthV > 2.0)) continue;

                const float ux = x[j] - x[i], uy = y[j] - y[i], uz = z[j] - z[i];
                const float vx = x[k] - x[i], vy = y[k] - y[i], vz = z[k] - z[i];
                const float dot = (ux * vx + uy * vy) + uz * vz;
                const double cosine = static_cast<double>(dot) / (lengthV * lengthU);
                if (std::fabs(cosine) < 0.966) {
                    first = i;
                    second = j;
                    third = k;
                    // 57.27 is this program's radians-to-degrees factor.
                    return static_cast<float>(57.27 * std::acos(cosine));
                }
            }
        }
    }
    return 0.0f;
}

void preprocess(const std::vector<InterfacePoint>& points, std::vector<FramePoint>& frame, int n,
                const float x[], const float y[], const float z[], int first, int second,
                int third) {
    const float ref[9] = {x[first],  y[first],  z[first],  x[second], y[second],
                          z[second], x[third],  y[third],  z[third]};
    Transform_Coordinate(points, n, ref, frame);
}

void Transform_Coordinate(const std::vector<InterfacePoint>& points, int n, const float ref[9],
                          std::vector<FramePoint>& frame) {
    const Point3 p0{ref[0], ref[1], ref[2]};
    const Point3 p1{ref[3], ref[4], ref[5]};
    const Point3 p2{ref[6], ref[7], ref[8]};

    // First rotation (about x) lays d = P1 - P0 into the xz plane at (dx, 0, r1).
    const Point3 d{p1.x - p0.x, p1.y - p0.y, p1.z - p0.z};
    const double r1 = std::sqrt(d.z * d.z + d.y * d.y);
    const Rotation first = rotationFrom(d.z, d.y, r1);
    // Taken as r1 itself rather than recomputed through the rotation, which
    // could differ in the last bit.
    const double z1 = r1;

    // Second rotation (about y) brings d onto the +z axis at (0, 0, r2).
    const double r2 = std::sqrt(d.x * d.x + z1 * z1);
    const Rotation second = rotationFrom(z1, d.x, r2);

    // Third rotation (about z) brings e = P2 - P0 into the xz plane at x = r3 > 0.
    const Point3 e{p2.x - p0.x, p2.y - p0.y, p2.z - p0.z};
    const Point3 e2 = rotateY(second, rotateX(first, e));
    const double r3 = std::sqrt(e2.x * e2.x + e2.y * e2.y);
    const Rotation third = rotationFrom(e2.x, e2.y, r3);

    if (n > 0 && frame.size() < static_cast<std::size_t>(n)) frame.resize(n);
    for (int i = 0; i < n; ++i) {
        const InterfacePoint& q = points[i];
        const Point3 p{static_cast<double>(q.x) - p0.x, static_cast<double>(q.y) - p0.y,
                       static_cast<double>(q.z) - p0.z};
        const Point3 moved = rotateZ(third, rotateY(second, rotateX(first, p)));
        frame[i] = FramePoint{moved.x, moved.y, moved.z, i};
    }
}
