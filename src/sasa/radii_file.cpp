#include "sasa/radii_file.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unordered_map>

namespace sasa {

namespace {

std::string trimmed(const std::string& s) {
    std::string::size_type b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

std::string columnRange(const std::string& line, std::size_t first, std::size_t last) {
    if (line.size() < first) return std::string();
    return trimmed(line.substr(first - 1, last - first + 1));
}

}  // namespace

RadiiResult readRadii(std::istream& in) {
    RadiiResult result;
    std::string line;
    long lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        if (line.compare(0, 7, "RESIDUE") == 0) {
            std::istringstream words(line.substr(7));
            ResidueRadii residue;
            if (!(words >> residue.kind >> residue.name)) {
                result.error = where + "RESIDUE line without a kind and a residue name";
                return result;
            }
            result.table.residues.push_back(std::move(residue));
        } else if (line.compare(0, 4, "ATOM") == 0) {
            if (result.table.residues.empty()) {
                result.error = where + "ATOM line before any RESIDUE line";
                return result;
            }
            RadiusEntry entry;
            entry.atom = columnRange(line, 6, 9);
            const std::string radius = columnRange(line, 11, 14);
            char* end = nullptr;
            errno = 0;
            entry.radius = std::strtod(radius.c_str(), &end);
            if (entry.atom.empty() || radius.empty() || end != radius.c_str() + radius.size() ||
                errno == ERANGE || !std::isfinite(entry.radius) || entry.radius < 0 ||
                entry.radius > 100) {
                result.error = where + "ATOM line needs an atom name in columns 6-9 and a radius "
                                       "from 0 to 100 in columns 11-14";
                return result;
            }
            entry.polar = line.size() >= 16 && line[15] == '1';
            result.table.residues.back().atoms.push_back(entry);
        }
    }
    if (result.table.residues.empty()) result.error = "no RESIDUE entries";
    return result;
}

RadiiResult readRadii(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        RadiiResult result;
        result.error = "cannot open " + path;
        return result;
    }
    RadiiResult result = readRadii(in);
    if (!result.error.empty()) result.error = path + ", " + result.error;
    return result;
}

double guessRadius(const std::string& element) {
    static const struct {
        const char* element;
        double radius;
    } kGuesses[] = {{"C", 1.80}, {"N", 1.60},  {"O", 1.40},  {"S", 1.85}, {"P", 1.90},
                    {"FE", 1.47}, {"ZN", 1.39}, {"MG", 1.73}, {"CU", 1.78}};
    for (const auto& g : kGuesses)
        if (element == g.element) return g.radius;
    return 1.80;
}

std::string elementOf(const PdbAtom& a) {
    if (a.element[0] != '\0') return std::string(a.element.data());
    // No element columns: the first letter of the name, skipping a leading
    // digit or blank (" CA " is carbon alpha, "1HB " a hydrogen). A name that
    // fills column 13 with a letter may be a two-letter element ("FE  ").
    const char* name = a.head.data() + 12;
    if (std::isalpha(static_cast<unsigned char>(name[0])) &&
        std::isalpha(static_cast<unsigned char>(name[1])) && name[2] == ' ' && name[3] == ' ') {
        return {static_cast<char>(std::toupper(static_cast<unsigned char>(name[0]))),
                static_cast<char>(std::toupper(static_cast<unsigned char>(name[1])))};
    }
    for (int i = 0; i < 4; ++i)
        if (std::isalpha(static_cast<unsigned char>(name[i])))
            return std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(name[i]))));
    return std::string();
}

RadiiIndex indexRadii(const RadiiTable& table) {
    // The first entry of a name wins.
    RadiiIndex index;
    for (std::size_t r = 0; r < table.residues.size(); ++r) {
        index.byResidue.emplace(table.residues[r].name, r);
        const std::vector<RadiusEntry>& entries = table.residues[r].atoms;
        for (std::size_t e = 0; e < entries.size(); ++e)
            index.byAtom.emplace(entries[e].atom, std::make_pair(r, e));
    }
    return index;
}

std::vector<AtomRadius> assignRadii(const std::vector<PdbAtom>& atoms, const RadiiTable& table) {
    return assignRadii(atoms, table, indexRadii(table));
}

std::vector<AtomRadius> assignRadii(const std::vector<PdbAtom>& atoms, const RadiiTable& table,
                                    const RadiiIndex& index) {
    const auto& byResidue = index.byResidue;
    const auto& byAtom = index.byAtom;
    std::vector<AtomRadius> radii(atoms.size());
    // A radius from the table is a function of the atom and residue name
    // columns alone: found once a run for each pair of them met (a run has
    // a few hundred), in a table of their bytes as they are. Guesses also
    // read the element, and are made each time.
    struct Found {
        std::uint64_t key = 0;
        AtomRadius radius;
        bool used = false;
    };
    constexpr std::size_t kSlots = 512, kMostKept = 384;
    std::vector<Found> found(kSlots);
    std::size_t kept = 0;
    const auto keyOf = [](const PdbAtom& a) {
        std::uint64_t k = 0;
        std::memcpy(&k, a.head.data() + 12, 4);  // atom name, columns 13-16
        std::uint64_t r = 0;
        std::memcpy(&r, a.head.data() + 17, 3);  // residue name, columns 18-20
        return k | r << 32;
    };
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        const PdbAtom& a = atoms[i];
        AtomRadius& out = radii[i];
        if (a.hydrogen) {
            out = {1.00, false, RadiusSource::Hydrogen};
            continue;
        }
        const std::uint64_t key = keyOf(a);
        std::size_t slot = static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 55);
        while (found[slot].used && found[slot].key != key) slot = (slot + 1) % kSlots;
        if (found[slot].used) {
            out = found[slot].radius;
            continue;
        }
        const auto keep = [&](const AtomRadius& r) {
            if (kept == kMostKept) return;
            found[slot] = {key, r, true};
            ++kept;
        };
        const std::string name = atomName(a);
        const auto residue = byResidue.find(residueName(a));
        const RadiusEntry* entry = nullptr;
        if (residue != byResidue.end()) {
            for (const RadiusEntry& e : table.residues[residue->second].atoms)
                if (e.atom == name) { entry = &e; break; }
        }
        if (entry) {
            out = {entry->radius, entry->polar, RadiusSource::Entry};
            keep(out);
            continue;
        }
        const auto assumed = byAtom.find(name);
        if (assumed != byAtom.end()) {
            const RadiusEntry& e = table.residues[assumed->second.first].atoms[assumed->second.second];
            out = {e.radius, e.polar, RadiusSource::Assumed};
            keep(out);
            continue;
        }
        const std::string element = elementOf(a);
        out = {guessRadius(element), element == "N" || element == "O", RadiusSource::Guessed};
    }
    return radii;
}

}  // namespace sasa
