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

// The part of a circle's circumference (radians) left uncovered by arcs given
// as (start, end) angles with end - start in [0, 2*pi]; exposed for testing.
struct Arc {
    double start, end;
};
double exposedAngle(std::vector<Arc>& arcs);

}  // namespace sasa
