// The engine's control files by name: what each run measures and with
// which probe. The working directory's clean-up knows them by these names.
#pragma once

// A control file names the structure to measure and the probe radius.
struct ControlFile {
    const char* name;     // file written in the working directory
    const char* pdbFile;  // PDBFILE it names
    double probe;         // PROBE, angstroms
};

// In the order in which they are written at start-up.
inline constexpr ControlFile kControlFiles[5] = {
    {"Complex_accallT.input", "TEMP.pdb", 1.40},
    {"Complex_accall.input", "Complex.pdb", 1.40},
    {"ComplexA_accall.input", "ComplexA.pdb", 1.40},
    {"ComplexB_accall.input", "ComplexB.pdb", 1.40},
    {"ComplexP_accall.input", "ComplexP.pdb", 0.40},
};
