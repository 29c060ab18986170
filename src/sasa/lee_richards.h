// Solvent-accessible area by Lee and Richards' slices.
//
// Each sphere (atom radius + probe) is cut along z into `slices` slices of
// equal thickness, looked at in their mid-planes. In a mid-plane the sphere is
// a circle; the neighbours' circles cover arcs of it. The atom's area is the
// sum over its slices of exposed arc length x slice thickness x sphere radius
// / circle radius: the slice's band of sphere surface, scaled from the
// circle's circumference to the sphere's.
#pragma once

#include <vector>

namespace sasa {

struct Sphere {
    double x = 0, y = 0, z = 0;
    double r = 0;  // atom radius + probe, > 0
};

// The accessible area of every sphere, in input order (square angstroms).
std::vector<double> leeRichardsAreas(const std::vector<Sphere>& spheres, int slices);

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

}  // namespace sasa
