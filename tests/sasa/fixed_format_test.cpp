#include "common/fixed_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace {

struct Column {
    int width, decimals;
};

// The formats of the area files.
constexpr Column kColumns[] = {{8, 3}, {5, 2}, {8, 2}, {7, 2}, {6, 1}, {10, 1}, {0, 0}, {3, 3}};

void expectPrintf(double v, Column c) {
    char mine[512], theirs[512];
    const int n = formatFixed(mine, sizeof mine, v, c.width, c.decimals);
    const int m = std::snprintf(theirs, sizeof theirs, "%*.*f", c.width, c.decimals, v);
    ASSERT_EQ(n, m) << v << " %" << c.width << "." << c.decimals << "f";
    ASSERT_STREQ(mine, theirs) << v;
    ASSERT_EQ(fitsFixed(v, c.width, c.decimals), m == c.width) << v;
    // What reading the text back gives, to the bit (the sign of a zero too).
    const double read = std::strtod(theirs, nullptr), value = fixedValue(v, c.decimals);
    ASSERT_TRUE(std::isnan(read) ? std::isnan(value)
                                 : std::memcmp(&read, &value, sizeof read) == 0)
        << v << " read back as " << read << ", given as " << value;
}

TEST(FixedFormat, EqualsPrintfOnEdgesAndTies) {
    const double edges[] = {0.0, -0.0, 0.0005, 0.0015, 0.0025, -0.0005, 0.125, 0.375, 2.5, -2.5,
                            0.5, 1.5, 9999.999, 9999.9995, 9999.99949999, -999.999, -999.9995,
                            -999.9994, 99.995, 99.994999, 1e9, -1e9, 999999999.9996, 5e-324,
                            -5e-324, 2.2250738585072014e-308, 1e-20, 1e300, -1e300,
                            std::numeric_limits<double>::infinity(), std::nan(""), 12.0625,
                            0.0625, 1.0 / 3.0, 4503599627370495.5, 123456.78125};
    for (const Column c : kColumns)
        for (double v : edges) expectPrintf(v, c);
}

TEST(FixedFormat, EqualsPrintfOnRandomValues) {
    std::mt19937_64 random(17);
    std::uniform_real_distribution<double> coordinate(-1500.0, 11000.0);
    std::uniform_int_distribution<int> millis(-1000000, 10000000);
    std::uniform_int_distribution<std::uint64_t> bits;
    for (int k = 0; k < 200000; ++k) {
        const Column c = kColumns[k % std::size(kColumns)];
        expectPrintf(coordinate(random), c);
        // Decimal values as a PDB file writes them, and their halves: the ties.
        const double d = millis(random) / 1000.0;
        expectPrintf(d, c);
        expectPrintf(d / 2, c);
        expectPrintf(d + 0.0005, c);
        double any = 0;
        const std::uint64_t b = bits(random);
        std::memcpy(&any, &b, sizeof any);
        expectPrintf(any, c);
    }
}

TEST(FixedFormat, CutsShortBuffersAsSnprintfDoes) {
    for (std::size_t size : {0, 1, 2, 5, 8, 9}) {
        char mine[16] = "xxxxxxxxxxxxxxx", theirs[16] = "xxxxxxxxxxxxxxx";
        const int n = formatFixed(mine, size, -123.4567, 8, 3);
        const int m = std::snprintf(theirs, size, "%8.3f", -123.4567);
        EXPECT_EQ(n, m);
        EXPECT_EQ(std::string(mine, 16), std::string(theirs, 16)) << size;
    }
}

}  // namespace
