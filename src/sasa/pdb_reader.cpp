#include "sasa/pdb_reader.h"

#include "common/fixed_format.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string_view>

namespace sasa {

namespace {

std::string trimmed(const char* p, std::size_t n) {
    std::size_t b = 0, e = n;
    while (b < e && p[b] == ' ') ++b;
    while (e > b && p[e - 1] == ' ') --e;
    return std::string(p + b, e - b);
}

// Columns [from, from+width) of a line, counted from 0; short lines read blanks.
std::string columns(const std::string& line, std::size_t from, std::size_t width) {
    if (from >= line.size()) return std::string();
    return trimmed(line.data() + from, std::min(width, line.size() - from));
}

// Coordinates beyond this are no PDB coordinates at all (the fields hold
// at most 8 characters) and would break the neighbour grid.
constexpr double kMaxCoordinate = 1.0e6;

// The area file writes each coordinate as %8.3f: -999.999 to 9999.999.
bool fitsAreaColumn(double v) { return fitsFixed(v, 8, 3); }

// A plain decimal ("-12.345" with blanks around it) of at most 15 digits,
// as strtod reads it: the digits are an integer m and the decimals k, both m
// and 10^k are exact doubles, so the one division m / 10^k is correctly
// rounded, as strtod is. False for anything else.
bool plainDecimal(const char* p, std::size_t n, double& value) {
    static constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
    std::size_t k = 0;
    while (k < n && p[k] == ' ') ++k;
    const bool negative = k < n && p[k] == '-';
    if (negative) ++k;
    std::int64_t m = 0;
    int digits = 0, decimals = -1;
    for (; k < n && p[k] != ' '; ++k) {
        if (p[k] == '.' && decimals < 0) {
            decimals = 0;
        } else if (p[k] >= '0' && p[k] <= '9') {
            m = m * 10 + (p[k] - '0');
            ++digits;
            if (decimals >= 0) ++decimals;
        } else {
            return false;
        }
    }
    for (; k < n; ++k)
        if (p[k] != ' ') return false;
    if (digits == 0 || decimals < 0 || digits > 15) return false;
    const double q = static_cast<double>(m) / kPowers[decimals];
    value = negative ? -q : q;
    return true;
}

bool parseCoordinate(const std::string& line, std::size_t from, double& value) {
    double plain = 0;
    if (from < line.size() &&
        plainDecimal(line.data() + from, std::min<std::size_t>(8, line.size() - from), plain)) {
        if (std::fabs(plain) >= kMaxCoordinate) return false;
        value = plain;
        return true;
    }
    const std::string field = columns(line, from, 8);
    if (field.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(field.c_str(), &end);
    if (end != field.c_str() + field.size() || errno == ERANGE || !std::isfinite(v) ||
        std::fabs(v) >= kMaxCoordinate)
        return false;
    value = v;
    return true;
}

bool startsWith(const std::string& line, const char* prefix) {
    return line.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// Columns 77-78 as an element symbol, upper case: empty unless they hold
// one. Old files keep a segment or entry ID in columns 73-80, so "28" or
// "B1" there is no element, and the atom name must decide.
std::string elementField(const std::string& line) {
    // The element symbols, as views.
    static constexpr std::string_view kSymbols[] = {
        "H",  "D",  "HE", "LI", "BE", "B",  "C",  "N",  "O",  "F",  "NE", "NA", "MG", "AL",
        "SI", "P",  "S",  "CL", "AR", "K",  "CA", "SC", "TI", "V",  "CR", "MN", "FE", "CO",
        "NI", "CU", "ZN", "GA", "GE", "AS", "SE", "BR", "KR", "RB", "SR", "Y",  "ZR", "NB",
        "MO", "TC", "RU", "RH", "PD", "AG", "CD", "IN", "SN", "SB", "TE", "I",  "XE", "CS",
        "BA", "LA", "CE", "PR", "ND", "PM", "SM", "EU", "GD", "TB", "DY", "HO", "ER", "TM",
        "YB", "LU", "HF", "TA", "W",  "RE", "OS", "IR", "PT", "AU", "HG", "TL", "PB", "BI",
        "PO", "AT", "RN", "FR", "RA", "AC", "TH", "PA", "U",  "NP", "PU", "AM", "CM", "BK",
        "CF", "ES", "FM", "MD", "NO", "LR", "RF", "DB", "SG", "BH", "HS", "MT", "DS", "RG",
        "CN", "NH", "FL", "MC", "LV", "TS", "OG"};
    // Every symbol is one or two letters: a table by letter pair, made once,
    // in place of a match against each symbol for every atom.
    // Its place: first letter, then second letter or none.
    const auto pairOf = [](std::string_view s) {
        return static_cast<std::size_t>(s[0] - 'A') * 27 +
               (s.size() == 2 ? static_cast<std::size_t>(s[1] - 'A') : 26);
    };
    static const std::array<bool, 26 * 27> kIsSymbol = [&pairOf] {
        std::array<bool, 26 * 27> table{};
        for (const std::string_view symbol : kSymbols) table[pairOf(symbol)] = true;
        return table;
    }();
    std::string element = columns(line, 76, 2);
    for (char& c : element) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const auto letter = [](char c) { return c >= 'A' && c <= 'Z'; };
    if (element.empty() || !letter(element[0]) || (element.size() == 2 && !letter(element[1])))
        return std::string();
    return kIsSymbol[pairOf(element)] ? element : std::string();
}

// Hydrogen by `element` (elementField of the record) or by the name.
bool hydrogenOf(const std::string& record, const std::string& element) {
    if (!element.empty()) return element == "H" || element == "D";
    std::string name(4, ' ');
    for (std::size_t i = 0; i < 4 && 12 + i < record.size(); ++i) name[i] = record[12 + i];
    const char c13 = name[0], c14 = name[1];
    if ((c13 == ' ' || std::isdigit(static_cast<unsigned char>(c13))) &&
        (c14 == 'H' || c14 == 'D' || c14 == 'Q'))
        return true;
    return c13 == 'H' && name.find(' ') == std::string::npos;
}

}  // namespace

std::string atomName(const PdbAtom& a) { return trimmed(a.head.data() + 12, 4); }
std::string residueName(const PdbAtom& a) { return trimmed(a.head.data() + 17, 3); }
char chainId(const PdbAtom& a) { return a.head[21]; }
std::string residueKey(const PdbAtom& a) { return std::string(a.head.data() + 17, 10); }

bool isHydrogen(const std::string& record) { return hydrogenOf(record, elementField(record)); }

namespace {

// What readPdb does with one atom record of the first model: the atom it
// gives goes to `result`; false, with result.error set, for a record that
// ends the reading. With `xyz`, the record's coordinates are those and not
// read from its columns 31-54 (which `line` need not hold).
struct RecordReader {
    explicit RecordReader(const ReadOptions& o) : options(o) {}
    const ReadOptions& options;
    // The residue being read (columns 23-27: number and insertion code, with
    // the chain) and the first alternate location met in it.
    std::string residue;
    bool inResidue = false;
    char residueAltLoc = ' ';

    bool take(const std::string& line, long lineNumber, bool het, const double* xyz,
              PdbResult& result) {
        const auto where = [lineNumber] { return "line " + std::to_string(lineNumber) + ": "; };
        // A NUL would cut the record short in every reader of the area file.
        if (std::memchr(line.data(), '\0', line.size()) != nullptr) {
            result.error = where() + "atom record holds a NUL byte";
            return false;
        }
        if (line.size() < 54) {
            result.error = where() + "atom record too short for its coordinates (columns 31-54)";
            return false;
        }
        const bool water = line.compare(17, 3, "HOH") == 0;  // the trimmed columns 18-20
        if (water ? !options.waters : (het && !options.hetatoms)) return true;
        const std::string element = elementField(line);
        const bool hydrogen = hydrogenOf(line, element);
        if (hydrogen && !options.hydrogens) return true;

        // Alternate locations: keep the blank one and the first one met in the residue.
        // Columns 22-27: chain, residue number, insertion code.
        if (!inResidue || line.compare(21, 6, residue) != 0) {
            residue.assign(line, 21, 6);
            inResidue = true;
            residueAltLoc = ' ';
        }
        const char altLoc = line[16];
        if (altLoc != ' ') {
            if (residueAltLoc == ' ') residueAltLoc = altLoc;
            else if (altLoc != residueAltLoc) return true;
        }

        PdbAtom a;
        if (xyz) {
            a.x = xyz[0];
            a.y = xyz[1];
            a.z = xyz[2];
        } else if (!parseCoordinate(line, 30, a.x) || !parseCoordinate(line, 38, a.y) ||
                   !parseCoordinate(line, 46, a.z)) {
            result.error = where() + "unreadable coordinates '" + line.substr(30, 24) + "'";
            return false;
        }
        if (!fitsAreaColumn(a.x) || !fitsAreaColumn(a.y) || !fitsAreaColumn(a.z)) {
            result.error = where() + "coordinates '" + line.substr(30, 24) +
                           "' do not fit the area file's columns (-999.999 to 9999.999)";
            return false;
        }
        for (std::size_t i = 0; i < a.head.size(); ++i) a.head[i] = line[i];
        for (std::size_t i = 0; i < element.size() && i < 2; ++i) a.element[i] = element[i];
        a.hydrogen = hydrogen;
        a.hetero = het;
        a.line = lineNumber;
        result.atoms.push_back(a);
        return true;
    }
};

}  // namespace

PdbResult readPdb(std::istream& in, const ReadOptions& options, std::size_t atomsAtMost) {
    PdbResult result;
    result.atoms.reserve(atomsAtMost);
    std::string line;
    long lineNumber = 0;
    int models = 0;
    RecordReader reader(options);
    while (std::getline(in, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // First model only: it ends at ENDMDL, or at the next MODEL when
        // a file leaves out its ENDMDL records.
        if (startsWith(line, "ENDMDL")) break;
        if (startsWith(line, "MODEL") && models++ > 0) break;
        const bool atom = startsWith(line, "ATOM");
        const bool het = startsWith(line, "HETATM");
        if (!atom && !het) continue;
        if (!reader.take(line, lineNumber, het, nullptr, result)) return result;
    }
    if (result.atoms.empty()) result.error = "no atoms to measure";
    return result;
}

PdbResult readHeldRecords(const std::vector<HeldRecord>& records, const ReadOptions& options) {
    PdbResult result;
    result.atoms.reserve(records.size());
    RecordReader reader(options);
    // What the reading looks at of a record: columns 1-30 and 77-78 (the
    // coordinates' columns are blank: the coordinates come as they are).
    std::string line(78, ' ');
    long lineNumber = 0;
    for (const HeldRecord& r : records) {
        ++lineNumber;
        line.replace(0, r.head.size(), r.head.data(), r.head.size());
        line[76] = r.element[0];
        line[77] = r.element[1];
        const double xyz[3] = {r.x, r.y, r.z};
        const bool het = startsWith(line, "HETATM");
        if (!het && !startsWith(line, "ATOM")) continue;
        if (!reader.take(line, lineNumber, het, xyz, result)) return result;
    }
    if (result.atoms.empty()) result.error = "no atoms to measure";
    return result;
}

PdbResult readHeldLines(const std::vector<asa::HeldLine>& lines, const ReadOptions& options) {
    PdbResult result;
    result.atoms.reserve(lines.size());
    result.from.reserve(lines.size());
    RecordReader reader(options);
    // A line of 68 characters: what the reading looks at is its columns
    // 1-30 (the coordinates come as they are held).
    std::string line(68, ' ');
    long lineNumber = 0;
    for (const asa::HeldLine& held : lines) {
        ++lineNumber;
        line.replace(0, held.head.size(), held.head.data(), held.head.size());
        const double xyz[3] = {held.x, held.y, held.z};
        const std::size_t before = result.atoms.size();
        if (!reader.take(line, lineNumber, false, xyz, result)) return result;
        if (result.atoms.size() > before) result.from.push_back(held.columns);
    }
    if (result.atoms.empty()) result.error = "no atoms to measure";
    return result;
}

PdbResult readPdb(const std::string& path, const ReadOptions& options) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        PdbResult result;
        result.error = "cannot open " + path;
        return result;
    }
    PdbResult result = readPdb(in, options);
    if (in.bad()) result.error = "cannot read " + path;
    return result;
}

}  // namespace sasa
