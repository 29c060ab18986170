#include "triangulation/measure.h"

#include <cmath>

float edgeLength(const InterfacePoint& a, const InterfacePoint& b) {
    const float dx = a.x - b.x;
    const float dy = a.y - b.y;
    const float dz = a.z - b.z;
    const float squared = (dx * dx + dy * dy) + dz * dz;
    return static_cast<float>(std::sqrt(static_cast<double>(squared)));
}

double heronArea(float dAB, float dCB, float dAC) {
    const float s = ((dAB + dCB) + dAC) / 2.0f;
    const float product = (((s - dAB) * s) * (s - dCB)) * (s - dAC);
    if (product < 0.0f) return 0.0;
    return std::sqrt(static_cast<double>(product));
}
