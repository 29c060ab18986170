#include "records/chain_sides.h"

namespace {

// Comma-separated names; false when one is empty.
bool splitList(const std::string& text, std::vector<std::string>& names) {
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string name = text.substr(start, comma - start);
        if (name.empty()) return false;
        names.push_back(name);
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

}  // namespace

bool parseChainSides(const std::string& text, ChainSides& sides, std::string& why) {
    sides = {};
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || text.find(':', colon + 1) != std::string::npos) {
        why = "expected two sides separated by one ':', for example H,L:A";
        return false;
    }
    if (!splitList(text.substr(0, colon), sides.one) ||
        !splitList(text.substr(colon + 1), sides.two)) {
        why = "a side or a chain name is empty";
        return false;
    }
    for (const std::string& a : sides.one)
        for (const std::string& b : sides.two)
            if (a == b) {
                why = "chain " + a + " is named on both sides";
                return false;
            }
    return true;
}

std::string sidesText(const ChainSides& sides) {
    std::string text;
    for (std::size_t i = 0; i < sides.one.size(); ++i) text += (i ? "," : "") + sides.one[i];
    text += ":";
    for (std::size_t i = 0; i < sides.two.size(); ++i) text += (i ? "," : "") + sides.two[i];
    return text;
}
