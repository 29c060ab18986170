#include "triangulation/measure.h"

#include <cmath>

float edgeLength(const InterfacePoint& a, const InterfacePoint& b) {
    const float dx = a.x - b.x;
    const float dy = a.y - b.y;
    const float dz = a.z - b.z;
    const float squared = (dx * dx + dy * dy) + dz * dz;
    return static_cast<float>(std::sqrt(static_cast<double>(squared)));
}

TriangleSides sidesOf(const std::vector<InterfacePoint>& points, const Triangle& t) {
    const InterfacePoint& a = points[static_cast<std::size_t>(t.v[0])];
    const InterfacePoint& b = points[static_cast<std::size_t>(t.v[1])];
    const InterfacePoint& c = points[static_cast<std::size_t>(t.v[2])];
    return {a, b, c, edgeLength(a, b), edgeLength(c, b), edgeLength(a, c)};
}

double heronArea(float dAB, float dCB, float dAC) {
    const float s = ((dAB + dCB) + dAC) / 2.0f;
    const float product = (((s - dAB) * s) * (s - dCB)) * (s - dAC);
    if (product < 0.0f) return 0.0;
    return std::sqrt(static_cast<double>(product));
}

int measureTriangles(const std::vector<InterfacePoint>& points,
                     const std::vector<Triangle>& triangles, int total, std::vector<float>& areas,
                     std::vector<Vector3>& centroids, std::vector<Vector3>& normals) {
    areas.clear();
    centroids.clear();
    normals.clear();
    // Discarded entries stay in the list; the measures are packed.
    for (int t = 0; t < total; ++t) {
        const Triangle& tri = triangles[static_cast<std::size_t>(t)];
        if (tri.v[0] == -1) continue;
        const auto [a, b, c, dAB, dCB, dAC] = sidesOf(points, tri);
        areas.push_back(static_cast<float>(heronArea(dAB, dCB, dAC)));

        centroids.push_back(Vector3{static_cast<double>((a.x + b.x) + c.x) / 3.0,
                                    static_cast<double>((a.y + b.y) + c.y) / 3.0,
                                    static_cast<double>((a.z + b.z) + c.z) / 3.0});

        const float ux = a.x - b.x, uy = a.y - b.y, uz = a.z - b.z;
        const float vx = c.x - b.x, vy = c.y - b.y, vz = c.z - b.z;
        const float nx = uy * vz - vy * uz;
        const float ny = uz * vx - vz * ux;
        const float nz = ux * vy - vx * uy;
        normals.push_back(Vector3{nx, ny, nz});
    }
    return static_cast<int>(areas.size());
}
