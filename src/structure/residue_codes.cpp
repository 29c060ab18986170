#include "structure/residue_codes.h"

#include <cstring>

char getChar(std::string_view name) {
    // Only the first three positions are looked at; a shorter name reads as
    // if padded with blanks.
    const char p1 = name.size() > 0 ? name[0] : ' ';
    const char p2 = name.size() > 1 ? name[1] : ' ';
    const char p3 = name.size() > 2 ? name[2] : ' ';

    // The order of the tests decides: PRO must meet the O test before PHE the
    // P test, LYS the S test before LEU the L test, LEU before GLU's U test,
    // THR the H test before ARG's R test.
    if (p1 == 'C' || p1 == 'H' || p1 == 'I' || p1 == 'M' || p1 == 'S' || p1 == 'V') return p1;
    if (p3 == 'A') return 'A';
    if (p3 == 'Y') return 'G';
    if (p3 == 'O') return 'P';
    if (p1 == 'P') return 'F';
    if (p3 == 'S') return 'K';
    if (p1 == 'L') return 'L';
    if (p3 == 'U') return 'E';
    if (p2 == 'H') return 'T';
    if (p3 == 'N') return p1 == 'A' ? 'N' : 'Q';
    if (p1 == 'A' && p3 == 'P') return 'D';
    if (p3 == 'P') return 'W';
    if (p2 == 'R' || p2 == 'Y') return p2;
    if (p1 == 'A') return 'B';
    if (p1 == 'G') return 'Z';
    return 'x';
}

int ResID(char code) {
    static const char kCodes[] = "ACDEFGHIKLMNPQRSTVWY";
    if (code == '\0') return 21;  // strchr would find the terminator
    const char* hit = std::strchr(kCodes, code);
    return hit ? static_cast<int>(hit - kCodes) + 1 : 21;
}
