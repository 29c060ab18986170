// What one structure's analysis shows beyond its scores: the interface atoms
// of each side with their buried areas, the interface frame's reference
// triple, the winning triangulation and its kept triangles, the triangle
// pairs that the complementarity score credited, and the packing atoms.
// Filled by the stages when asked (below them all, so that each can); the
// report files (src/report) are formatted from it.
#pragma once

#include "common/types.h"

#include <cstdint>
#include <string>
#include <vector>

// One interface atom as the complex's area file gives it: original chain,
// residue number and insertion code, structure coordinates, and the
// accessible area it loses when the complex forms (always above 0).
struct ReportAtom {
    std::string atomName;  // as in columns 13-16, blanks trimmed
    std::string resName;
    char chain = ' ';
    int resSeq = 0;
    char iCode = ' ';
    float x = 0.0f, y = 0.0f, z = 0.0f;
    float buried = 0.0f;  // square angstroms
};

// One atom read from a subunit's area file.
struct PackingAtom {
    std::int32_t serial = 0;
    std::int32_t resSeq = 0;
    std::int32_t mark = 0;      // 1 once an interface point lies within the cutoff
    char atomName[6] = {};
    char resName[6] = {};
    char chain = ' ';
    float x = 0.0f, y = 0.0f, z = 0.0f;
};

// The walking case that won a side's triangulation: one of six axis orders
// (0 "XYZ" .. 5 "ZYX", outer, middle, inner axis) and one of its four
// walking directions, each axis stepped +2 or -2 cells.
struct WinningCase {
    int order = -1;  // -1: no case was taken
    int direction = 0;  // 0..3 within the order
    int step[3] = {0, 0, 0};  // along x, y, z
};

// One kept triangle: vertices are positions in the side's `atoms`.
struct ReportTriangle {
    std::int32_t v[3] = {0, 0, 0};
    float area = 0.0f;
    Vector3 centroid;
    Vector3 normal;  // not normalised: twice the area long
};

// One side of the interface as the analysis saw it.
struct ReportSide {
    std::vector<ReportAtom> atoms;  // in interface point order
    float buriedArea = 0.0f;        // the sum of the atoms' losses, as scored
    ClassCentroids classes;         // the means
    int reference[3] = {-1, -1, -1};  // the class slots of the interface frame
    float referenceAngle = 0.0f;    // degrees, at the first slot
    WinningCase winner;
    std::vector<ReportTriangle> triangles;  // kept, in list order
};

// A triangle of one surface credited with a partner of the other: positions
// in the two sides' `triangles`.
struct CreditedPair {
    int triangle = 0;
    int partner = 0;
};

struct InterfaceReport {
    ReportSide sides[2];                 // A, then B
    std::vector<CreditedPair> pairsAB;   // A's triangles and their partners on B
    std::vector<CreditedPair> pairsBA;   // B's triangles and their partners on A
    std::vector<PackingAtom> packing;    // the atoms measured for the packing score
};
