// Plain records shared by the interface pipeline, the triangulation and the
// scores. Lengths in angstroms, areas in square angstroms.
#pragma once

#include <cstdint>

// One interface atom of the current subunit, in the structure's own
// coordinates (single precision, as read from the .asa file).
struct InterfacePoint {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

// An interface point expressed in the interface frame. `index` is the point's
// position in the interface point table; triangle vertex numbers come from it.
struct FramePoint {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    std::int32_t index = 0;
};

// Three vertex numbers (positions in the interface point table). A first
// vertex number of -1 marks a discarded triangle; consumers test v[0] only.
struct Triangle {
    std::int32_t v[3] = {0, 0, 0};
};

// A triangle's centroid (angstroms) or its normal: the cross product of two
// edge vectors, not normalised (its length is twice the triangle's area).
struct Vector3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

// Ranks one candidate triangulation; compared lexicographically, smaller wins.
struct CaseScore {
    std::int32_t areaExcess = 0;
    std::int32_t edgeExcess = 0;
    std::int32_t obtuseCount = 0;
};

// Residue-class centroids of one subunit's interface: slot 0 for all
// interface atoms, slots 1 to 20 for the classes of ResID. Sums while a
// subunit is read, means afterwards.
inline constexpr int kClassSlots = 21;
struct ClassCentroids {
    float x[kClassSlots] = {};
    float y[kClassSlots] = {};
    float z[kClassSlots] = {};
    int count[kClassSlots] = {};
};

// What one structure's analysis hands back to the driver, in this order.
struct ScoreSet {
    float buriedAreaA = 0.0f;        // square angstroms
    float buriedAreaB = 0.0f;        // square angstroms
    float packingSum = 0.0f;         // volume ratio, divided by the interface area for KAV
    float complementaritySum = 0.0f; // area ratio, divided by the interface area for ZUr
};
