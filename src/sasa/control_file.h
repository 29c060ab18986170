// The control file that accall reads on standard input: one keyword a line,
// matched on its first four letters whatever their case, with its value
// after it. Unknown lines are kept so that the log can name them.
#pragma once

#include <istream>
#include <string>
#include <vector>

namespace sasa {

// The largest PROBE taken, angstroms. With radii of at most 100 A, every
// sphere stays far inside what the slice geometry represents (a probe of
// 1e308 would make the slice thickness overflow).
inline constexpr double kMaxProbe = 100.0;

struct ControlSettings {
    std::string pdbFile;  // PDBFILE: the structure to measure
    std::string vdwFile;  // VDWFILE: radii; empty means vdw.radii beside accall
    std::string stdFile;  // STDFILE: reference areas; empty means standard.data beside accall
    double probe = 1.40;  // PROBE, angstroms, > 0 and at most kMaxProbe
    double zslice = 0.05; // ZSLICE, in (0, 1]: each sphere is cut into int(1/ZSLICE + 0.5) slices
    bool hetatoms = false;   // HETATOMS: measure HETATM records too
    bool waters = false;     // WATERS: measure HOH residues too
    bool hydrogens = false;  // HYDROGENS: measure hydrogens too (radius 1.00)
    bool asaOnly = false;    // ASAONLY: no .rsa
    std::vector<std::string> ignoredLines;  // lines with no known keyword, for the log
};

struct ControlResult {
    ControlSettings settings;
    std::string error;  // empty on success; otherwise "line N: reason"
};

// Reads the whole control file. A later keyword overrides an earlier one.
ControlResult readControl(std::istream& in);

// Slices per sphere for a ZSLICE value already checked to lie in (0, 1].
int sliceCount(double zslice);

}  // namespace sasa
