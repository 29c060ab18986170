// The "open book" view of an interface: each side turned about the
// interface's own axis so that its interface surface faces the viewer, the
// two side by side like the pages of a book opened at the interface. The
// viewer looks down -z (PyMOL's camera axes), y is up, side A on the left.
#pragma once

#include "report/interface_report.h"

// A rigid motion p' = rotation * (p - centre) + shift, in angstroms.
struct RigidMotion {
    double rotation[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    Vector3 centre;
    Vector3 shift;
};

Vector3 apply(const RigidMotion& motion, const Vector3& p);

struct OpenBook {
    bool valid = false;  // false: a side has no interface atom, or both centroids coincide
    Vector3 axis;        // unit interface normal, from side A's interface atoms to side B's
    Vector3 spine;       // unit direction in the interface plane, the long axis of the patch
    RigidMotion sides[2];
};

// The motions of the two sides. The interface plane goes through the
// centroid of all interface atoms with the normal from A's interface
// centroid to B's; the spine is the patch's long axis in that plane. Side A
// turns its surface (facing +axis) to +z, side B its own (facing -axis) to
// +z, both with the spine along y: B is A turned half a turn about the
// spine, so atoms in contact sit at mirror positions on the two pages. The
// pages are then moved apart along x, `gap` angstroms between their edges.
OpenBook openBook(const InterfaceReport& report, double gap = 6.0);
