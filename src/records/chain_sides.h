// The two sides of an interface as the front ends write them: "H,L:A"
// (--chains of kav_zur and kav_zur-view, the sides column of the record).
#pragma once

#include <string>
#include <vector>

// The two sides of the interface to score, each a set of chain names (author
// chain IDs). Both empty: the first two chains of the file, as always.
struct ChainSides {
    std::vector<std::string> one;
    std::vector<std::string> two;
    bool empty() const { return one.empty() && two.empty(); }
};

// "H,L:A" into two sides. False, with a reason in `why`, for an empty side, an
// empty chain name or a chain named on both sides.
bool parseChainSides(const std::string& text, ChainSides& sides, std::string& why);

// The sides as the record writes them: "H,L:A".
std::string sidesText(const ChainSides& sides);
