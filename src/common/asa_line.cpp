#include "common/asa_line.h"

#include <cstring>
#include <initializer_list>

namespace asa {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// scanf's white space, other than the blank, never appears in a regular line.
bool isOtherSpace(char c) { return c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Columns [from, to) hold blanks, then a run of non-blanks, then blanks;
// the run (at least one character) is copied into `out`.
bool blankFreeRun(const char* line, int from, int to, char* out) {
    int b = from, e = to;
    while (b < e && line[b] == ' ') ++b;
    while (e > b && line[e - 1] == ' ') --e;
    if (b == e) return false;
    for (int k = b; k < e; ++k)
        if (line[k] == ' ') return false;
    std::memcpy(out, line + b, e - b);
    out[e - b] = '\0';
    return true;
}

// Columns [from, to): blanks, an optional minus, at least one digit, to the
// last column. The value fits an int for the widths read here (at most 5).
bool integerField(const char* line, int from, int to, int& value) {
    int k = from;
    while (k < to && line[k] == ' ') ++k;
    const bool negative = k < to && line[k] == '-';
    if (negative) ++k;
    if (k == to) return false;
    int v = 0;
    for (; k < to; ++k) {
        if (!isDigit(line[k])) return false;
        v = v * 10 + (line[k] - '0');
    }
    value = negative ? -v : v;
    return true;
}

// Columns [from, to): blanks, an optional minus, digits, a point and exactly
// `decimals` digits, to the last column. The digits (at most 7) are an
// integer m exact in a float, and so is 10^decimals: their quotient,
// correctly rounded by the division, is the float nearest the decimal text,
// which is what strtof gives.
bool decimalField(const char* line, int from, int to, int decimals, float& value) {
    int k = from;
    while (k < to && line[k] == ' ') ++k;
    const bool negative = k < to && line[k] == '-';
    if (negative) ++k;
    const int point = to - decimals - 1;
    if (k >= point || line[point] != '.') return false;
    long m = 0;
    int digits = 0;
    for (; k < to; ++k) {
        if (k == point) continue;
        if (!isDigit(line[k])) return false;
        m = m * 10 + (line[k] - '0');
        ++digits;
    }
    if (digits > 7) return false;
    float scale = 1.0f;
    for (int d = 0; d < decimals; ++d) scale *= 10.0f;
    const float q = static_cast<float>(m) / scale;
    value = negative ? -q : q;
    return true;
}

}  // namespace

bool readAsaHead(const char* line, AsaColumns& out) {
    for (int k = 0; k < 30; ++k)
        if (line[k] == '\0' || isOtherSpace(line[k])) return false;
    if (std::strncmp(line, "ATOM  ", 6) != 0) return false;
    // Blanks that separate the fields: columns 12, 17, 21 and 27-30.
    for (int k : {11, 16, 20, 26, 27, 28, 29})
        if (line[k] != ' ') return false;
    if (line[21] == ' ') return false;  // the chain ID is read as one character
    AsaColumns c = out;
    if (!integerField(line, 6, 11, c.serial) || line[6] == '-') return false;
    if (!blankFreeRun(line, 12, 16, c.atomName) || !blankFreeRun(line, 17, 20, c.resName))
        return false;
    c.chain = line[21];
    if (!integerField(line, 22, 26, c.resSeq)) return false;
    out = c;
    return true;
}

bool readAsaColumns(const char* line, AsaColumns& out) {
    // 68 characters, then the end of the line (or of the piece read).
    for (int k = 0; k < 68; ++k)
        if (line[k] == '\0' || isOtherSpace(line[k])) return false;
    if (line[68] != '\0' && line[68] != '\n') return false;
    if (line[62] != ' ') return false;  // the blank before the radius
    // A number that begins with a digit would run on from the one before it.
    for (int k : {38, 46, 54})
        if (line[k] != ' ' && line[k] != '-') return false;
    AsaColumns c;
    if (!readAsaHead(line, c)) return false;
    if (!decimalField(line, 30, 38, 3, c.x) || !decimalField(line, 38, 46, 3, c.y) ||
        !decimalField(line, 46, 54, 3, c.z) || !decimalField(line, 54, 62, 3, c.area) ||
        !decimalField(line, 63, 68, 2, c.radius))
        return false;
    out = c;
    return true;
}

}  // namespace asa
