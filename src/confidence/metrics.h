// The interface confidence metrics of a predicted complex (the ipSAE family,
// pDockQ, pDockQ2, LIS, ipae) as free functions over plain records: the
// residues of two sides and the predictor's aligned-error matrix. Nothing
// here reads a file.
//
// PAE in angstroms: row i is the aligned residue (its frame), column j the
// scored one. Distances in angstroms between the residues' contact atoms.
#pragma once

#include "common/huge_pages.h"

#include <cstddef>
#include <string>
#include <vector>

// One residue of a side, as the metrics see it.
struct ConfidenceResidue {
    int number = 0;          // residue number (sets of residues count numbers)
    std::string name;        // residue name
    double x = 0.0, y = 0.0, z = 0.0;  // the contact atom (CB; CA of GLY; C3' of nucleotides)
    double plddt = 0.0;      // the residue's pLDDT, 0-100 (its representative atom)
    double contactPlddt = 0.0;  // the contact atom's pLDDT, 0-100 (pDockQ, pDockQ2)
    std::size_t token = 0;   // its row and column in the PAE matrix
};

// A square matrix of predicted aligned errors, row-major. A large one is in
// memory that may be huge pages: a fresh worker's first matrix touched a
// page fault's worth of memory for every 512 values.
struct PaeMatrix {
    std::size_t size = 0;
    std::vector<double, HugePageAllocator<double>> values;  // size * size
    double at(std::size_t row, std::size_t column) const { return values[row * size + column]; }
};

struct ConfidenceCutoffs {
    double pae = 10.0;       // V(i): PAE strictly below this
    double distance = 10.0;  // W(i): contact-atom distance strictly below this
};

// One direction a->b (a's residues aligned, b's scored), or the two combined.
struct ConfidenceRow {
    double ipsae = 0, ipsaeAvg = 0, ipsaeMin = 0, ipsaeD0chn = 0, ipsaeD0dom = 0;
    double iptmD0chn = 0, pdockq = 0, pdockq2 = 0, lis = 0, ipae = 0;
    int n0res = 0, n0chn = 0, n0dom = 0;
    double d0res = 0, d0chn = 0, d0dom = 0;
    int nres1 = 0, nres2 = 0, dist1 = 0, dist2 = 0;
    double interfacePlddt = 0;  // mean pLDDT over the 8 A contact set; 0 when it is empty
    int contacts = 0;           // pairs within 8 A
};

// d0(L) of the TM-score with L raised to at least 27; `floor` is 1 for a
// protein pair, 2 for a pair with a nucleic side.
double confidenceD0(int length, double floor);

// The row of the direction a->b; `nucleic` when either side holds a nucleotide.
ConfidenceRow directionRow(const std::vector<ConfidenceResidue>& a,
                           const std::vector<ConfidenceResidue>& b, const PaeMatrix& pae,
                           bool nucleic, const ConfidenceCutoffs& cutoffs);

// The two directions combined: the larger of each ipSAE variant, pDockQ2 and
// ipTM_d0chn, LIS averaged, counts taken from the direction that won (ties
// to b->a).
ConfidenceRow combinedRow(const ConfidenceRow& ab, const ConfidenceRow& ba);
