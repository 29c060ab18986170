// The score file "KAV_ZUr_score.txt": four header lines, then one line per
// scored structure.
#pragma once

#include "common/types.h"

#include <cstdio>
#include <string>

inline constexpr const char* kScoreFileName = "KAV_ZUr_score.txt";

// The four header lines, in one text.
std::string scoreHeader();

// The three numbers of a score line, in single precision: the interface
// area (the mean of the two buried areas) and both sums over it.
struct ScoreValues {
    float area;
    float kav;
    float zur;
};
ScoreValues scoreValues(const ScoreSet& scores);

// One score line: the list entry as read, the interface area (the mean of
// the two buried areas), the packing score and the complementarity score
// (both sums over the interface area), all in single precision.
std::string scoreLine(const std::string& entry, const ScoreSet& scores);

// Writes `text` and flushes it to the file, so that each finished line is on
// disk at once. False when the file did not take all of it.
bool writeAndFlush(std::FILE* out, const std::string& text);
