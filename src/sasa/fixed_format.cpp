#include "sasa/fixed_format.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sasa {

namespace {

constexpr double kLargest = 1.0e9;
constexpr int kMostDecimals = 3;

// Digits of round(|value| x 10^decimals), rounded as printf rounds: the
// value is m x 2^e exactly, and m x 10^decimals (below 2^63 for at most 3
// decimals) is shifted with its remainder compared to one half.
std::uint64_t scaledMagnitude(double value, int decimals) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    const int biased = static_cast<int>((bits >> 52) & 0x7ff);
    std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
    int e = -1074;  // subnormal
    if (biased != 0) {
        m |= std::uint64_t{1} << 52;
        e = biased - 1075;
    }
    std::uint64_t scale = 1;
    for (int k = 0; k < decimals; ++k) scale *= 10;
    const std::uint64_t product = m * scale;
    if (e >= 0) return product << e;  // not reached below kLargest
    const int shift = -e;
    if (shift >= 64) return 0;  // below a quarter of the last digit
    std::uint64_t q = product >> shift;
    const std::uint64_t rest = product & ((std::uint64_t{1} << shift) - 1);
    const std::uint64_t half = std::uint64_t{1} << (shift - 1);
    if (rest > half || (rest == half && (q & 1))) ++q;
    return q;
}

}  // namespace

int formatFixed(char* out, std::size_t size, double value, int width, int decimals) {
    if (!std::isfinite(value) || std::fabs(value) >= kLargest || decimals < 0 ||
        decimals > kMostDecimals)
        return std::snprintf(out, size, "%*.*f", width, decimals, value);

    // The text backwards from its last digit.
    char text[40];
    int at = sizeof text;
    std::uint64_t q = scaledMagnitude(value, decimals);
    for (int k = 0; k < decimals; ++k) {
        text[--at] = static_cast<char>('0' + q % 10);
        q /= 10;
    }
    if (decimals > 0) text[--at] = '.';
    do {
        text[--at] = static_cast<char>('0' + q % 10);
        q /= 10;
    } while (q != 0);
    if (std::signbit(value)) text[--at] = '-';
    const int length = static_cast<int>(sizeof text) - at;
    const int pad = width > length ? width - length : 0;
    const int total = pad + length;
    if (size > 0) {
        const std::size_t room = size - 1;
        std::size_t written = 0;
        for (int k = 0; k < pad && written < room; ++k) out[written++] = ' ';
        for (int k = 0; k < length && written < room; ++k) out[written++] = text[at + k];
        out[written] = '\0';
    }
    return total;
}

double fixedValue(double value, int decimals) {
    if (!std::isfinite(value) || std::fabs(value) >= kLargest || decimals < 0 ||
        decimals > kMostDecimals) {
        char text[400];
        std::snprintf(text, sizeof text, "%.*f", decimals, value);
        return std::strtod(text, nullptr);
    }
    // The text is the whole number q over 10^decimals, both exact in a
    // double (q < 2^53): one division, correctly rounded, is the nearest
    // double to the decimal, which is what a correct reading gives.
    double scale = 1;
    for (int k = 0; k < decimals; ++k) scale *= 10;
    const double magnitude = static_cast<double>(scaledMagnitude(value, decimals)) / scale;
    return std::signbit(value) ? -magnitude : magnitude;
}

bool fitsFixed(double value, int width, int decimals) {
    // Well inside the columns (room for a sign and for rounding up): no
    // need to write it. A coordinate is nearly always so.
    if (decimals >= 0 && decimals <= kMostDecimals && width - decimals - 2 >= 1 &&
        width - decimals - 2 <= 9) {
        double inside = 1;
        for (int k = 0; k < width - decimals - 2; ++k) inside *= 10;
        if (std::fabs(value) < inside - 1) return true;  // false for NaN
    }
    char text[48];
    return formatFixed(text, sizeof text, value, width, decimals) == width;
}

}  // namespace sasa
