#include "common/fixed_format.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr double kLargest = 1.0e9;

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

// The digits of 0..99, two characters each: two digits a division.
constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The decimal digits of `q` written backwards, ending just before `end`;
// returns where they begin. 32-bit arithmetic where the number fits (a
// coordinate or an area always does), two digits a step.
template <typename Unsigned>
char* digitsBefore(char* end, Unsigned q) {
    while (q >= 100) {
        const unsigned pair = static_cast<unsigned>(q % 100);
        q /= 100;
        end -= 2;
        std::memcpy(end, kPairs + 2 * pair, 2);
    }
    if (q >= 10) {
        end -= 2;
        std::memcpy(end, kPairs + 2 * q, 2);
    } else {
        *--end = static_cast<char>('0' + q);
    }
    return end;
}

}  // namespace

int formatFixed(char* out, std::size_t size, double value, int width, int decimals) {
    if (!std::isfinite(value) || std::fabs(value) >= kLargest || decimals < 0 ||
        decimals > kFixedMostDecimals)
        return std::snprintf(out, size, "%*.*f", width, decimals, value);

    // The text backwards from its last digit: the whole part's digits, the
    // point, then the decimals, each part written as a number of its own.
    char text[40];
    char* const end = text + sizeof text;
    const std::uint64_t q = scaledMagnitude(value, decimals);
    std::uint64_t scale = 1;
    for (int k = 0; k < decimals; ++k) scale *= 10;
    const std::uint64_t whole = q / scale;
    char* at = end;
    if (decimals > 0) {
        // The decimals with their leading zeros: scale + fraction has
        // decimals + 1 digits, the first of which (a 1) is not written.
        const auto fraction = static_cast<std::uint32_t>(q % scale + scale);
        at = digitsBefore(at, fraction) + 1;
        *--at = '.';
    }
    at = whole <= 0xffffffffu ? digitsBefore(at, static_cast<std::uint32_t>(whole))
                              : digitsBefore(at, whole);
    if (std::signbit(value)) *--at = '-';
    const int length = static_cast<int>(end - at);
    const int pad = width > length ? width - length : 0;
    const int total = pad + length;
    if (size > 0) {
        const std::size_t room = size - 1;
        if (static_cast<std::size_t>(total) <= room) {  // the usual case: all of it
            std::memset(out, ' ', static_cast<std::size_t>(pad));
            std::memcpy(out + pad, at, static_cast<std::size_t>(length));
            out[total] = '\0';
        } else {
            std::size_t written = 0;
            for (int k = 0; k < pad && written < room; ++k) out[written++] = ' ';
            for (int k = 0; k < length && written < room; ++k) out[written++] = at[k];
            out[written] = '\0';
        }
    }
    return total;
}

double fixedValue(double value, int decimals) {
    if (!std::isfinite(value) || std::fabs(value) >= kLargest || decimals < 0 ||
        decimals > kFixedMostDecimals) {
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

bool fixedDigits(double value, int decimals, unsigned long long& q) {
    if (!std::isfinite(value) || std::fabs(value) >= kLargest || decimals < 0 ||
        decimals > kFixedMostDecimals)
        return false;
    q = scaledMagnitude(value, decimals);
    return true;
}

bool writtenFitsFixed(double value, int width, int decimals) {
    char text[48];
    return formatFixed(text, sizeof text, value, width, decimals) == width;
}

