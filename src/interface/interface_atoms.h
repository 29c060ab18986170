// Interface atoms of one subunit: the atoms that lose accessible area when
// the complex forms, read by pairing the subunit's .asa lines with the
// complex's, with their buried area and residue-class centroids.
#pragma once

#include "common/asa_line.h"
#include "common/types.h"

#include <cstddef>
#include <cstdio>
#include <vector>

struct ReportAtom;

// What one subunit pass gathers.
struct SubunitInterface {
    int n = 0;                       // interface atoms, entries 0..n-1 of the points table
    float buriedArea = 0.0f;         // sum of the positive losses, square angstroms
    float sumX = 0.0f, sumY = 0.0f, sumZ = 0.0f;  // running totals over all n atoms
    ClassCentroids classes;          // sums in slots 1..20 during the pass
};

// A residue name or number differs between paired lines, or a line lacks
// fields: the two files do not describe the same atoms.
inline constexpr int kMismatchedRecords = -3;

// Reads pairs of lines (one from `subunitAsa`, the next from `complexAsa`,
// which is not rewound: a second subunit continues where the first ended)
// until either file ends or gives a line beginning "HET". Interface atoms
// take the complex line's coordinates and go to points[0..n-1] (the table
// grows when it is full). Clears `s` first. 0, or kMismatchedRecords.
// When `atoms` is given, it receives each interface atom's names and loss.
int readInterfaceAtoms(std::FILE* subunitAsa, std::FILE* complexAsa,
                       std::vector<InterfacePoint>& points, SubunitInterface& s,
                       std::vector<ReportAtom>* atoms = nullptr);

// The same pass over area files held as their lines (Workspace::areas):
// the subunit's lines, then the complex's from complexAt on, which is left
// after the last line read, for the second subunit.
int readInterfaceAtoms(const std::vector<asa::HeldLine>& subunit,
                       const std::vector<asa::HeldLine>& complex, std::size_t& complexAt,
                       std::vector<InterfacePoint>& points, SubunitInterface& s,
                       std::vector<ReportAtom>* atoms = nullptr);

// Slot 0 takes the running totals and n; then every slot with atoms becomes
// its mean (single precision, divided by the count as a float).
void finishCentroids(SubunitInterface& s);
