#include "input/raw_text.h"

#include "sasa/pdb_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

namespace {

bool startsWith(std::string_view line, const char* prefix) {
    return line.substr(0, std::strlen(prefix)) == prefix;
}

bool blankLine(std::string_view line) {
    return line.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// A coordinate field as the engine reads it: trimmed, a whole number for
// strtod, finite and below 1e6.
bool readableCoordinate(const std::string& line, std::size_t from) {
    std::string field = line.substr(from, 8);
    field.erase(0, field.find_first_not_of(' '));
    field.erase(field.find_last_not_of(' ') + 1);
    if (field.empty()) return false;
    // The usual form, [-]digits[.digits], is a whole number for strtod, and
    // finite: below 1e6 exactly when its whole part is (no strtod needed).
    {
        std::size_t k = field[0] == '-' ? 1 : 0;
        long whole = 0;
        std::size_t digits = 0;
        for (; k < field.size() && field[k] >= '0' && field[k] <= '9'; ++k, ++digits)
            whole = whole * 10 + (field[k] - '0');
        if (digits > 0 && k < field.size() && field[k] == '.')
            for (++k; k < field.size() && field[k] >= '0' && field[k] <= '9';) ++k;
        if (digits > 0 && k == field.size()) return whole < 1000000;
    }
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(field.c_str(), &end);
    return end == field.c_str() + field.size() && errno != ERANGE && std::isfinite(v) &&
           std::fabs(v) < 1.0e6;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Columns 79-80 as gemmi reads a charge ("2+", "+2"); anything else there
// (digits of an entry ID such as "1HPV 186") is blanked.
void blankNonCharge(std::string& line) {
    if (line.size() < 79) return;
    const char a = line[78], b = line.size() > 79 ? line[79] : ' ';
    const bool sign = [](char c) { return c == '+' || c == '-'; }(a) ||
                      [](char c) { return c == '+' || c == '-'; }(b);
    const bool charge = (a == ' ' && b == ' ') || (isDigit(a) && sign) || (sign && isDigit(b));
    if (charge) return;
    line[78] = ' ';
    if (line.size() > 79) line[79] = ' ';
}

// Which model the atom records of PDB text belong to. The engine reads the
// first model: it ends at ENDMDL or at a second MODEL record. gemmi names
// a model by the number its MODEL record carries (read as gemmi reads it),
// and an atom record outside any model opens the next one, numbered by the
// models made so far (frames parted by ENDMDL alone).
struct ModelTrack {
    int wanted = 0;          // the model to read; 0: the first
    int modelRecords = 0;
    bool pastFirst = false;  // past the engine's first model
    int made = 0;            // models gemmi has made
    bool open = false;       // an atom record now belongs to model `name`
    long name = 0;

    void see(std::string_view line) {
        if (startsWith(line, "ENDMDL")) {
            pastFirst = true;
            open = false;
        } else if (startsWith(line, "MODEL")) {
            if (++modelRecords > 1) pastFirst = true;
            name = modelNumber(line);
            open = true;
            ++made;
        }
    }
    void atom() {
        if (open) return;
        name = ++made;
        open = true;
    }
    bool inWanted() const { return wanted == 0 ? !pastFirst : name == wanted; }

    // Columns 11-14 as gemmi reads them: blanks, a sign, the digits that follow.
    static long modelNumber(std::string_view line) {
        std::size_t i = 10;
        const std::size_t end = std::min<std::size_t>(14, line.size());
        while (i < end && line[i] == ' ') ++i;
        long sign = 1;
        if (i < end && (line[i] == '-' || line[i] == '+')) sign = line[i++] == '-' ? -1 : 1;
        long n = 0;
        for (; i < end && isDigit(line[i]); ++i) n = n * 10 + (line[i] - '0');
        return sign * n;
    }
};

// One line of PDB text, `number` counted from 1. Appends what gemmi is to
// read to `out.text`; false with the engine's reason for a faulty ATOM
// record of the model read (faulty ones of other models are left out).
bool takePdbLine(std::string_view raw, long number, ModelTrack& track, RawText& out,
                 std::string& why) {
    if (blankLine(raw)) return true;
    const bool atom = startsWith(raw, "ATOM");
    if (!atom && !startsWith(raw, "HETATM")) {
        // The engine ends a model at the next MODEL record; gemmi wants its
        // ENDMDL first, so a file that leaves ENDMDL out gets one.
        if (startsWith(raw, "MODEL") && track.open) out.text += "ENDMDL\n";
        track.see(raw);
        out.text.append(raw);
        return true;
    }
    track.atom();
    const bool used = track.inWanted();
    std::string line(raw);
    const bool newline = !line.empty() && line.back() == '\n';
    if (newline) line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string where = "line " + std::to_string(number) + ": ";
    const bool nul = line.find('\0') != std::string::npos;
    if ((nul || line.size() < 54) && !used) return true;  // never read: left out
    if (nul) {
        why = where + "atom record holds a NUL byte";
        return false;
    }
    if (line.size() < 54) {
        why = where + "atom record too short for its coordinates (columns 31-54)";
        return false;
    }
    if (!readableCoordinate(line, 30) || !readableCoordinate(line, 38) ||
        !readableCoordinate(line, 46)) {
        const bool measured =
            used && atom && line.compare(17, 3, "HOH") != 0 && !sasa::isHydrogen(line);
        if (!measured) return true;  // never measured: left out
        why = where + "unreadable coordinates '" + line.substr(30, 24) + "'";
        return false;
    }
    if (line.compare(22, 4, "    ") == 0) out.residueNumberMissing = true;
    blankNonCharge(line);
    out.text += line;
    out.text += '\n';
    return true;
}

// Reads the file in pieces, gzip or not, giving each to `take`. zlib reads
// a gzip stream to its end: gemmi's own reader sizes its buffer from the
// gzip trailer and, when a corrupt file's trailer says 0, loops without end.
template <class Take>
bool readPieces(const std::string& path, bool gzipped, Take take, std::string& why) {
    char buffer[1 << 16];
    std::size_t total = 0;
    const auto tooLarge = [&] {
        why = "holds more than " + std::to_string(kMaxStructureBytes) +
              " bytes once decompressed, the limit of a structure file";
        return false;
    };
    if (!gzipped) {
        const std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(path.c_str(), "rb"),
                                                               std::fclose);
        if (!in) {
            why = "cannot be read";
            return false;
        }
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0) {
            if ((total += n) > kMaxStructureBytes) return tooLarge();
            if (!take(std::string_view(buffer, n))) return false;
        }
        if (std::ferror(in.get())) {
            why = "cannot be read";
            return false;
        }
        return true;
    }
    const std::unique_ptr<gzFile_s, int (*)(gzFile)> in(gzopen(path.c_str(), "rb"), gzclose);
    if (!in) {
        why = "cannot be read";
        return false;
    }
    int n = 0;
    while ((n = gzread(in.get(), buffer, sizeof buffer)) > 0) {
        if ((total += static_cast<std::size_t>(n)) > kMaxStructureBytes) return tooLarge();
        if (!take(std::string_view(buffer, static_cast<std::size_t>(n)))) return false;
    }
    int code = Z_OK;
    const char* text = gzerror(in.get(), &code);
    if (n < 0 || (code != Z_OK && code != Z_STREAM_END)) {
        why = std::string("not a readable gzip file (") + (text && *text ? text : "zlib error") + ")";
        return false;
    }
    return true;
}

}  // namespace

namespace {

// The text that `feed(take, why)` hands to `take` in pieces, as readRawText
// reads it.
template <class Feed>
bool rawTextFrom(Feed feed, bool pdb, int model, RawText& out, std::string& why) {
    out = RawText{};
    ModelTrack track;
    track.wanted = model;
    bool ok = false;
    if (!pdb) {
        ok = feed([&](std::string_view piece) -> bool {
            out.text.append(piece);
            return true;
        }, why);
    } else {
        // A line not yet ended, at most kLongestLine bytes of it: PDB fields
        // lie within 80 columns. A line that starts with a blank is no
        // record and is not kept, so blank filler costs no memory.
        constexpr std::size_t kLongestLine = 4096;
        std::string partial;
        bool skipping = false;
        long number = 0;
        ok = feed([&](std::string_view piece) -> bool {
            std::size_t start = 0;
            while (start < piece.size()) {
                const std::size_t end = piece.find('\n', start);
                const std::size_t stop = end == std::string_view::npos ? piece.size() : end + 1;
                if (partial.empty() && !skipping)
                    skipping = piece[start] == ' ' || piece[start] == '\t';
                if (!skipping && partial.size() < kLongestLine)
                    partial.append(piece.substr(start, std::min(stop - start, kLongestLine - partial.size())));
                start = stop;
                if (end == std::string_view::npos) return true;
                ++number;
                if (!skipping) {
                    if (partial.back() != '\n') partial += '\n';
                    if (!takePdbLine(partial, number, track, out, why)) return false;
                }
                partial.clear();
                skipping = false;
            }
            return true;
        }, why);
        if (ok && !partial.empty()) ok = takePdbLine(partial, ++number, track, out, why);
    }
    if (!ok) out = RawText{};
    return ok;
}

}  // namespace

bool readRawText(const std::string& path, bool gzipped, bool pdb, int model, RawText& out,
                 std::string& why) {
    return rawTextFrom(
        [&](auto take, std::string& w) { return readPieces(path, gzipped, take, w); }, pdb, model,
        out, why);
}

bool readRawTextFrom(const std::string& text, bool pdb, int model, RawText& out,
                     std::string& why) {
    return rawTextFrom([&](auto take, std::string&) { return take(std::string_view(text)); },
                       pdb, model, out, why);
}

bool cifIntegerFits(const std::string& tag, std::string_view value, bool everyNumber,
                    std::string& why) {
    std::size_t i = 0;
    while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
    do {
        if (everyNumber)
            while (i < value.size() && !isDigit(value[i])) ++i;
        // A sign only before the one number; in an expression '-' is a range.
        const bool negative = !everyNumber && i < value.size() && value[i] == '-';
        if (!everyNumber && i < value.size() && (value[i] == '-' || value[i] == '+')) ++i;
        const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
        long long n = 0;
        for (; i < value.size() && isDigit(value[i]); ++i) {
            n = n * 10 + (value[i] - '0');
            if (n > limit) {
                why = tag + " " + escapedText(std::string(value)) +
                      " is beyond the range of whole numbers read (" + std::to_string(INT_MIN) +
                      " to " + std::to_string(INT_MAX) + ")";
                return false;
            }
        }
    } while (everyNumber && i < value.size());
    return true;
}

bool chainIdPrintable(const std::string& id, std::string& why) {
    for (const char c : id)
        if (c <= ' ' || c > '~') {
            why = "chain ID \"" + escapedText(id) +
                  "\" holds a blank or a character that cannot be printed (chain IDs are "
                  "printable ASCII)";
            return false;
        }
    return true;
}

std::string escapedText(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '\t') out += "\\t";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\\') out += "\\\\";
        else if (c == '"') out += "\\\"";
        else if (u < 0x20 || u >= 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", u);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}
