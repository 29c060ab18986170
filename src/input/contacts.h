// Which chains of a structure touch: the pairs that --all-pairs scores.
#pragma once

#include "input/input_structure.h"

#include <utility>
#include <vector>

// Two chains touch when a heavy atom (not H or D) of an ATOM record of one
// lies within `distance` angstroms of such an atom of the other, in the
// file's own coordinates (no crystal symmetry). Returns the pairs of chain
// indices (first < second), ordered by the first chain, then the second.
std::vector<std::pair<int, int>> touchingChains(const InputStructure& s, double distance = 5.0);
