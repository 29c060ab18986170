// Numbers in fixed columns, as printf's "%W.Df" writes them, without printf:
// the area files print five numbers an atom, and printf's general float
// conversion was most of the time spent writing them.
#pragma once

#include <cmath>
#include <cstddef>

// The most decimals written without snprintf.
inline constexpr int kFixedMostDecimals = 3;

// Writes `value` into `out` exactly as snprintf(out, size, "%*.*f", width,
// decimals, value) does in the C locale with the default rounding (the
// nearest decimal to the exact binary value, ties to even, "-0.000" for a
// negative value that rounds to zero) and returns the same count: the
// characters the whole text needs, which may exceed `size` - 1. Values
// beyond 1e9, non-finite ones and more than 3 decimals take snprintf itself.
int formatFixed(char* out, std::size_t size, double value, int width, int decimals);

// The number that a correctly rounded reading (strtod, gemmi's) gives of
// the text formatFixed writes for `value` with `decimals`: the value as a
// file holding it printed would give it back, with no text in between.
double fixedValue(double value, int decimals);

// The digits "%.Df" writes for `value` as one whole number, round(|value| x
// 10^decimals) rounded as printf rounds; false (q untouched) for values that
// formatFixed hands to snprintf.
bool fixedDigits(double value, int decimals, unsigned long long& q);

// True when "%W.Df" writes `value` in exactly `width` characters. A value
// well inside the columns (room for a sign and for rounding up) needs no
// writing, and is found so here, in line: nearly every coordinate, area
// and radius of an engine run is.
bool writtenFitsFixed(double value, int width, int decimals);
inline bool fitsFixed(double value, int width, int decimals) {
    constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
    const int whole = width - decimals - 2;  // digits before the point, a sign beside them
    if (decimals >= 0 && decimals <= kFixedMostDecimals && whole >= 1 && whole <= 9 &&
        std::fabs(value) < kPowers[whole] - 1)  // false for NaN
        return true;
    return writtenFitsFixed(value, width, decimals);
}

