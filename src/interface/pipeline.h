// The analysis of one complex: engine runs on the complex and both subunits,
// interface atoms and buried areas, interface frames, triangulated surfaces,
// the packing sum and the complementarity sum.
#pragma once

#include "common/types.h"

#include <string>
#include <vector>

// Works on Complex.pdb, ComplexA.pdb and ComplexB.pdb in the working
// directory. `points` is the caller's interface point table, reused for both
// subunits (entries 0..n-1 of the current subunit; it grows if a subunit has
// more interface atoms than it holds). Fills `scores` and returns the number
// of interface atoms of both subunits, or a negative code on failure.
int SC_P(std::vector<InterfacePoint>& points, ScoreSet& scores, const std::string& naccessDir);
