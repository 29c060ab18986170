// Hand-made .asa lines for the pipeline tests, in the engine's column layout.
#pragma once

#include <cstdio>
#include <string>

struct AsaAtom {
    const char* resName;
    int resSeq;
    float x, y, z;
    float area;
};

inline std::string asaLine(int serial, const char* atomName, char chain, const AsaAtom& a) {
    char line[128];
    std::snprintf(line, sizeof line, "ATOM  %5d %-4s %3s %c%4d    %8.3f%8.3f%8.3f%8.3f %5.2f\n",
                  serial, atomName, a.resName, chain, a.resSeq, a.x, a.y, a.z, a.area, 1.80);
    return line;
}
