// Solvent-accessible area by Lee and Richards' slices.
//
// Each sphere (atom radius + probe) is cut along z into `slices` slices of
// equal thickness, looked at in their mid-planes. In a mid-plane the sphere is
// a circle; the neighbours' circles cover arcs of it. The atom's area is the
// sum over its slices of exposed arc length x slice thickness x sphere radius
// / circle radius: the slice's band of sphere surface, scaled from the
// circle's circumference to the sphere's.
#pragma once

#include "common/cells.h"

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <vector>

namespace sasa {

struct AreaCache;  // area_cache.h

struct Sphere {
    double x = 0, y = 0, z = 0;
    double r = 0;  // atom radius + probe, > 0
};

// The box of a set of spheres' centres and its largest radius (of none: an
// empty box, min above max).
struct SphereBounds {
    double minX = 1e308, minY = 1e308, minZ = 1e308;
    double maxX = -1e308, maxY = -1e308, maxZ = -1e308, maxR = 0;
};
inline SphereBounds boundsOf(const std::vector<Sphere>& spheres) {
    SphereBounds b;
    for (const Sphere& s : spheres) {
        b.maxR = std::max(b.maxR, s.r);
        b.minX = std::min(b.minX, s.x);
        b.minY = std::min(b.minY, s.y);
        b.minZ = std::min(b.minZ, s.z);
        b.maxX = std::max(b.maxX, s.x);
        b.maxY = std::max(b.maxY, s.y);
        b.maxZ = std::max(b.maxZ, s.z);
    }
    return b;
}

// The largest sphere and coordinate the slice geometry takes, angstroms.
inline constexpr double kMaxSphereRadius = 1000.0;
inline constexpr double kMaxCentre = 1.0e6;

// The accessible area of every sphere, in input order (square angstroms).
// When a sphere's radius is not a number or above kMaxSphereRadius, or a
// centre coordinate is not finite or beyond kMaxCentre, every area is NaN.
// Spheres that share their centre with one at least as large are buried in
// it (area 0) and are left out of the neighbour search, so that a pile of
// coincident atoms costs no more than one; their number goes to `coincident`
// when it is given.
//
// With a `cache` (see area_cache.h), an atom whose sphere and spheres within
// reach are those of an entry gets the entry's area, the others are computed
// and entered; atoms that share their centre with another never use it. The
// areas are the same, bit for bit, as without it. A run whose areas are NaN
// leaves it untouched.
std::vector<double> leeRichardsAreas(const std::vector<Sphere>& spheres, int slices,
                                     std::size_t* coincident = nullptr,
                                     AreaCache* cache = nullptr);

// The engine measures with the processor's vector instructions when it has
// them; vectorSteps(false) makes it use plain scalar code instead, for tests
// and benchmarks (the areas are the same bits either way). Returns whether
// the vector steps are in use now.
bool vectorSteps(bool wanted);

// An arc of a slice circle that a neighbour covers, in radians, counterclockwise
// from `start` in [0, 2pi) to `end`, with end - start in [0, 2pi].
struct Arc {
    double start, end;
};

// The part of the circle (radians) that no arc covers. Reorders and extends
// `arcs` (an arc running past 2pi is cut in two).
double exposedAngle(std::vector<Arc>& arcs);

// acos(x) for x in [-1, 1], to within 2.2e-8.
double arcCosine(double x);

// atan2(y, x) for finite y and x, within 2 ulp of the true angle, in
// [-pi, pi]: the same bits on every processor and in the vector steps that
// measure a neighbour's direction (the C library's may differ between
// processors in the last bit). 0 at the origin.
double direction(double y, double x);

}  // namespace sasa
