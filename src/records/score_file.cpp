#include "records/score_file.h"

#include <cstdio>

std::string scoreHeader() {
    return "#REMARK: A2 = Square Angstrom, A-2 = per Square Angstrom\n"
           "-------------------------------------------------------------------------\n"
           "PDBfile\t\tInterfaceArea (A2)\t  KAV (A-2) \t  ZUr (A-2)\n"
           "=========================================================================\n";
}

ScoreValues scoreValues(const ScoreSet& scores) {
    // Single precision throughout: the sum, the halving and both quotients
    // are rounded to float before they are printed.
    const float area = (scores.buriedAreaA + scores.buriedAreaB) / 2;
    return {area, scores.packingSum / area, scores.complementaritySum / area};
}

std::string scoreLine(const std::string& entry, const ScoreSet& scores) {
    const auto [area, kav, zur] = scoreValues(scores);

    // "%s\t%8.1f\t%18.6f\t%10.6f\n": the entry of any length goes in as it
    // is; the numbers need at most 47 characters each, even for FLT_MAX.
    char numbers[256];
    std::snprintf(numbers, sizeof numbers, "\t%8.1f\t%18.6f\t%10.6f\n", area, kav, zur);
    return entry + numbers;
}

bool writeAndFlush(std::FILE* out, const std::string& text) {
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    return std::fflush(out) == 0 && written && std::ferror(out) == 0;
}
