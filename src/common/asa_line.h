// The engine's area-file lines read without sscanf: for a line in the layout
// the engine writes, the fields that the whitespace-separated reading
// "%s %d %s %s %c %d %f %f %f %f %f" gives, the floats rounded as the C
// library rounds them (to the nearest float of the decimal text).
#pragma once

#include <array>

namespace asa {

struct AsaColumns {
    int serial = 0;
    char atomName[5] = {};  // the blank-free run of columns 13-16
    char resName[4] = {};   // the blank-free run of columns 18-20
    char chain = ' ';       // column 22
    int resSeq = 0;         // columns 23-26
    float x = 0, y = 0, z = 0, area = 0, radius = 0;
};

// True, with every field filled, when `line` is in the engine's own layout
// ("ATOM  " and the serial, one blank-free name and residue name with blanks
// around them, a chain ID, a residue number with no insertion code, four
// "%8.3f" numbers each of which begins with a blank or a minus, a blank and
// a "%5.2f" number, then the end of the line): for such a line the
// whitespace-separated reading gives exactly these values. False for any
// other line, which the caller reads as before.
bool readAsaColumns(const char* line, AsaColumns& out);

// The same for columns 1-30 alone (`line` holds at least 30 characters):
// true, with serial, names, chain and residue number filled, when they are
// in the engine's layout. A line is read by readAsaColumns exactly when its
// first 30 columns are read by this and its numbers by the columns that
// follow (sasa::heldLine works those out from the numbers themselves).
bool readAsaHead(const char* line, AsaColumns& out);

// A line of an area file held without its text (Workspace::areas), always
// one in the engine's layout: what readAsaColumns reads of it, its first 30
// columns as they are, and its five numbers as doubles that print as the
// line does. The coordinates are those a decimal reading of the line gives
// back (q / 10^3 exactly rounded), which is what the engine measures when
// the line is the atom record of its next run.
struct HeldLine {
    AsaColumns columns;
    std::array<char, 30> head{};
    double x = 0, y = 0, z = 0, area = 0, radius = 0;
};

}  // namespace asa
