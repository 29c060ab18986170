// Point sets for the triangulation tests: interface points with their frame
// copies (the frame is the identity, index i at position i).
#pragma once

#include "common/types.h"

#include <cmath>
#include <random>
#include <vector>

struct PointSet {
    std::vector<InterfacePoint> points;
    std::vector<FramePoint> frame;

    void add(double x, double y, double z) {
        frame.push_back(FramePoint{x, y, z, static_cast<int>(frame.size())});
        points.push_back(InterfacePoint{static_cast<float>(x), static_cast<float>(y),
                                        static_cast<float>(z)});
    }
    int size() const { return static_cast<int>(frame.size()); }
};

// Up to `count` points at least 1.5 A apart, like atoms, on a gently curved
// square patch of side `side`.
inline PointSet curvedPatch(unsigned seed, int count, double side) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, side);
    PointSet s;
    for (int tries = 0; s.size() < count && tries < 100000; ++tries) {
        const double x = u(rng), y = u(rng);
        const double z = 2.0 * std::sin(x / 5.0) + 1.5 * std::cos(y / 6.0);
        bool clear = true;
        for (const FramePoint& f : s.frame)
            clear = clear && std::hypot(std::hypot(f.x - x, f.y - y), f.z - z) >= 1.5;
        if (clear) s.add(x, y, z);
    }
    return s;
}
