// The files a structure predictor writes beside each predicted structure,
// found by that predictor's names and read into one plain record: the
// aligned-error matrix, pLDDT, ipTM and pTM. simdjson and libzip stay in
// predictor_files.cpp and npy_file.cpp.
#pragma once

#include "confidence/metrics.h"

#include <string>
#include <vector>

// Which files belong to a structure, by its name.
struct PredictorFiles {
    std::string predictor;          // "colabfold", "alphafold3" or "boltz"; "" when none matched
    std::string scores;             // ColabFold scores JSON; AlphaFold3 confidences or full data; Boltz PAE .npz
    std::string summary;            // AlphaFold3 summary confidences; Boltz confidence JSON; ColabFold "" 
    std::string plddt;              // Boltz pLDDT .npz
    std::string alignedError;       // ColabFold's predicted_aligned_error_v1.json, read when the scores lack a PAE
    std::vector<std::string> lookedFor;  // every name tried, for the message when none is there
    std::string unread;             // a pickled result file found beside it, never unpickled
};

// The files of the structure at `path` that exist, by the first naming
// scheme whose main confidence file is there.
PredictorFiles findPredictorFiles(const std::string& path);

// What a predictor's files hold, per token of its own (a residue, or an
// atom of a ligand or modified residue).
struct PredictorOutput {
    std::string predictor;
    PaeMatrix pae;                       // tokens x tokens
    std::vector<double> tokenPlddt;      // per token, 0-100 (ColabFold, Boltz)
    std::vector<double> atomPlddt;       // per atom in file order, 0-100 (AlphaFold3)
    double iptm = -1.0;                  // the global ipTM; -1 when the files give none
    double ptm = -1.0;                   // the global pTM; -1 when none
    std::vector<std::vector<double>> pairIptm;  // [i][j] by chain order; empty when none
    bool atomTokens = false;             // ligands and modified residues are a token per atom
};

// Whether the predictor makes a token of each atom of a ligand or modified
// residue (AlphaFold3, Boltz) rather than one per residue (ColabFold).
bool tokenPerAtom(const std::string& predictor);

// Reads the files found. False, with the file and the problem in `why`
// ("x_scores.json: truncated JSON"), when one cannot be used. With
// `tokenSides` (for each token of the structure, the side of the interfaces
// to be measured it is on, 0 for none), a JSON matrix's aligned error is
// parsed only between tokens of two different sides: the others, which no
// metric of those interfaces reads, are checked to be non-negative numbers
// by their first character and kept as NaN (parsing them was most of the
// cost of the file).
bool readPredictorOutput(const PredictorFiles& files, PredictorOutput& out, std::string& why,
                         const std::vector<int>& tokenSides = {});
