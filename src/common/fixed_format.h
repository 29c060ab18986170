// Numbers in fixed columns, as printf's "%W.Df" writes them, without printf:
// the area files print five numbers an atom, and printf's general float
// conversion was most of the time spent writing them.
#pragma once

#include <cstddef>

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

// True when "%W.Df" writes `value` in exactly `width` characters.
bool fitsFixed(double value, int width, int decimals);

