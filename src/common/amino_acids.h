// The twenty standard amino acids by their residue names: what counts as a
// protein residue where the analysis explains a failure and where a
// predictor gives a residue one token.
#pragma once

#include <string_view>

inline bool isAminoAcid(std::string_view resName) {
    static constexpr std::string_view kNames[] = {"ALA", "ARG", "ASN", "ASP", "CYS", "GLN", "GLU",
                                                  "GLY", "HIS", "ILE", "LEU", "LYS", "MET", "PHE",
                                                  "PRO", "SER", "THR", "TRP", "TYR", "VAL"};
    for (std::string_view name : kNames)
        if (resName == name) return true;
    return false;
}
