// The confidence of a predicted interface: a structure's residues matched to
// its predictor's tokens, and the metrics of two sides of it. Takes the
// structure as read (plain records) and what the predictor's files hold;
// reads nothing itself.
#pragma once

#include "confidence/metrics.h"
#include "confidence/predictor_files.h"
#include "input/input_structure.h"

#include <string>
#include <vector>

// One residue of the structure with its token and pLDDT.
struct TokenResidue {
    ConfidenceResidue residue;
    int chain = 0;         // index into InputStructure::chains
    bool nucleic = false;  // DA DC DT DG A C U G
};

// A structure matched to its predictor's output, once per structure.
struct ConfidenceSource {
    std::string predictor;
    PaeMatrix pae;
    double iptm = -1.0, ptm = -1.0;
    std::vector<std::vector<double>> pairIptm;  // by chain index; empty when none
    std::vector<std::string> chains;            // the structure's chain names
    std::vector<TokenResidue> residues;         // in file order
    std::string summaryFile;                    // the file of pairIptm, named in messages
};

// Matches the residues of `s` to the tokens of `output`: a residue is one
// token by its representative atom (CA; C1' of a nucleotide; never an ion);
// with per-atom tokens, a ligand or modified residue is one token per atom
// and only a modified residue's representative atom is kept. A residue
// without its contact atom (CB; CA of GLY; C3') is placed at its
// representative atom. False with the problem in `why` when the token count
// or the pLDDT count does not match the structure.
bool matchConfidence(const InputStructure& s, PredictorOutput output, ConfidenceSource& out,
                     std::string& why);

// The chain (an index into s.chains) of each token of `s`, counted as
// matchConfidence counts them: what readPredictorOutput's `tokenSides` are
// made from.
std::vector<int> tokenChains(const InputStructure& s, bool perAtom);

// The records of PDB text that matching with a token per residue uses: the
// atoms named CA, CB, C1' and C3' (the representative and contact atoms),
// the first atom of each run of a chain (so that every chain keeps its place
// in the order of chains), and MODEL, ENDMDL, TER and END. Read in place of
// the whole text they give the same residues, tokens and positions, for a
// quarter of the reading.
std::string residueTokenRecords(const std::string& pdb);

// What a details row shows of one interface, with the three rows behind it.
struct ConfidenceRecord {
    std::string predictor;
    double iptm = -1.0;  // the pair's ipTM by the predictor; -1 when it gives none
    double ptm = -1.0;   // the predictor's global pTM; -1 when none
    ConfidenceRow ab, ba, both;  // side one aligned, side two aligned, combined
};

// The metrics of the interface between the chains named in `one` and in
// `two` (each side one chain for the definitions, its residues in file
// order). False with the problem in `why` when a side has no residue.
bool interfaceConfidence(const ConfidenceSource& source, const std::vector<std::string>& one,
                         const std::vector<std::string>& two, const ConfidenceCutoffs& cutoffs,
                         ConfidenceRecord& out, std::string& why);
