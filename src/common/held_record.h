// An atom record written for the engine, held in a workspace in memory
// without its text (Workspace::records): what the engine reads of the line
// (its first 30 columns, its coordinates, its element columns) and what the
// rest of the line prints, for a reading of the file as a file.
#pragma once

#include <array>

struct HeldRecord {
    std::array<char, 30> head{};  // columns 1-30 as written
    // The coordinates as a decimal reading of their "%8.3f" columns gives
    // them back (q / 10^3 exactly rounded): what the engine measures.
    double x = 0, y = 0, z = 0;
    double occupancy = 0, bFactor = 0;  // printed "%6.2f"
    std::array<char, 2> element{};      // columns 77-78 as written
    std::array<char, 2> charge{};       // columns 79-80
};
