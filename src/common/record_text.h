// A record's text, field by field as printf's conversions write them,
// without printf: most of the time of writing a large structure, or a
// packing set, went into printf's float conversion.
#pragma once

#include "common/fixed_format.h"

#include <charconv>
#include <cstddef>
#include <cstring>

// `n` is the text's length so far; a record that would reach `Room`
// characters is too long, and `n` is then Room.
template <std::size_t Room>
struct RecordText {
    char line[Room];
    std::size_t n = 0;
    // "%-Ws" (left) or "%Ws".
    void text(const char* s, std::size_t width, bool left) {
        const std::size_t length = std::strlen(s);
        const std::size_t fill = width > length ? width - length : 0;
        if (n + fill + length >= Room) {
            n = Room;  // too long: no record
            return;
        }
        const std::size_t before = left ? 0 : fill;
        std::memset(line + n, ' ', fill + length);
        std::memcpy(line + n + before, s, length);
        n += fill + length;
    }
    // "%c"
    void one(char c) {
        if (n + 1 < Room) line[n++] = c;
        else n = Room;
    }
    // "%Wd"
    void integer(int value, std::size_t width) {
        char digits[16] = {};
        std::to_chars(digits, digits + sizeof digits - 1, value);
        text(digits, width, false);
    }
    // "%W.Df"
    void number(double value, int width, int decimals) {
        if (n < Room)
            n += static_cast<std::size_t>(formatFixed(line + n, Room - n, value, width, decimals));
    }
};
