#include "sasa/writers.h"

#include "common/fixed_format.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace sasa {

namespace {

// "%W.Df" of `value` appended to `text`.
void appendFixed(std::string& text, double value, int width, int decimals) {
    char field[400];  // the widest double in %f, 309 digits and the decimals
    const int n = formatFixed(field, sizeof field, value, width, decimals);
    text.append(field, std::min<std::size_t>(n, sizeof field - 1));
}

// What readAsaColumns reads from the "%W.Df" field of `value` (`read`) and
// what a decimal reading of it gives (`decimal`): false unless the field is
// in the layout (exactly `width` characters, at most 7 digits, and a digit
// in its first column only where `digitFirst` allows one, as the number
// before it would run on otherwise). The field's digits are a whole number
// q: readAsaColumns divides it by 10^decimals in single precision, a
// decimal reading in double precision.
bool columnValue(double value, int width, int decimals, bool digitFirst, float& read,
                 double* decimal = nullptr) {
    unsigned long long q = 0;
    if (!fixedDigits(value, decimals, q)) return false;
    const bool negative = std::signbit(value);
    // The digits the field has room for: a sign takes a column, and so does
    // the blank that must come first where a digit may not.
    int room = width - 1 - (negative || !digitFirst ? 1 : 0);
    if (room > 7) room = 7;
    unsigned long long limit = 1;
    for (int d = 0; d < room; ++d) limit *= 10;
    if (q >= limit || room <= decimals) return false;
    float scale = 1.0f;
    double doubleScale = 1.0;
    for (int d = 0; d < decimals; ++d) {
        scale *= 10.0f;
        doubleScale *= 10.0;
    }
    const float v = static_cast<float>(static_cast<long>(q)) / scale;
    read = negative ? -v : v;
    if (decimal) {
        const double d = static_cast<double>(q) / doubleScale;
        *decimal = negative ? -d : d;
    }
    return true;
}

}  // namespace

bool heldLine(const PdbAtom& atom, double area, double radius, asa::HeldLine& out,
              const asa::AsaColumns* from) {
    asa::AsaColumns& c = out.columns;
    if (from) {
        c = *from;
        out.x = atom.x;
        out.y = atom.y;
        out.z = atom.z;
    } else if (!asa::readAsaHead(atom.head.data(), c) ||
               !columnValue(atom.x, 8, 3, true, c.x, &out.x) ||
               !columnValue(atom.y, 8, 3, false, c.y, &out.y) ||
               !columnValue(atom.z, 8, 3, false, c.z, &out.z)) {
        return false;
    }
    if (!columnValue(area, 8, 3, false, c.area) || !columnValue(radius, 5, 2, true, c.radius))
        return false;
    out.head = atom.head;
    out.area = area;
    out.radius = radius;
    return true;
}

std::string heldText(const std::vector<asa::HeldLine>& lines) {
    std::string text;
    text.reserve(lines.size() * kAsaLineBytes);
    PdbAtom atom;
    for (const asa::HeldLine& line : lines) {
        atom.head = line.head;
        atom.x = line.x;
        atom.y = line.y;
        atom.z = line.z;
        appendAsaLine(text, atom, line.area, line.radius);
        text += '\n';
    }
    return text;
}

void appendAsaLine(std::string& out, const PdbAtom& atom, double area, double radius) {
    out.append(atom.head.data(), atom.head.size());
    for (double v : {atom.x, atom.y, atom.z, area}) appendFixed(out, v, 8, 3);
    out += ' ';
    appendFixed(out, radius, 5, 2);
}

std::string asaLine(const PdbAtom& atom, double area, double radius) {
    std::string line;
    appendAsaLine(line, atom, area, radius);
    return line;
}

// One buffer for every line: no allocation per atom.
void writeAsa(std::ostream& out, const std::vector<PdbAtom>& atoms,
              const std::vector<double>& areas, const std::vector<AtomRadius>& radii) {
    std::string line;
    line.reserve(kAsaLineBytes);
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        line.clear();
        appendAsaLine(line, atoms[i], areas[i], radii[i].radius);
        line += '\n';
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
    }
}

bool isMainChain(const std::string& name) {
    return name == "N" || name == "CA" || name == "C" || name == "O" || name == "OXT";
}

std::vector<ResidueAreas> sumResidues(const std::vector<PdbAtom>& atoms,
                                      const std::vector<double>& areas,
                                      const std::vector<AtomRadius>& radii) {
    std::vector<ResidueAreas> residues;
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        const PdbAtom& a = atoms[i];
        if (residues.empty() || residueKey(*residues.back().first) != residueKey(a))
            residues.push_back({&a, {}});
        AreaSums& sums = residues.back().areas;
        sums[kAllAtoms] += areas[i];
        sums[isMainChain(atomName(a)) ? kMainChain : kSideChain] += areas[i];
        sums[radii[i].polar ? kPolar : kNonPolar] += areas[i];
    }
    return residues;
}

double relativeArea(double absolute, const AreaSums* reference, AreaClass cls) {
    if (!reference || (*reference)[cls] <= 0) return -99.9;
    return 100.0 * absolute / (*reference)[cls];
}

void writeRsa(std::ostream& out, const std::string& inputName, const std::string& referenceName,
              const std::vector<ResidueAreas>& residues, const ReferenceTable& reference) {
    char line[256];
    out << "REM  Relative accessibilities read from external file \"" << referenceName << "\"\n"
        << "REM  File of summed (Sum) and % (per.) accessibilities for " << inputName << "\n"
        << "REM RES _ NUM      All-atoms   Total-Side   Main-Chain    Non-polar    All polar\n"
        << "REM                ABS   REL    ABS   REL    ABS   REL    ABS   REL    ABS   REL\n";
    // Chains in order of first appearance, with their sums.
    std::vector<char> chains;
    std::vector<AreaSums> chainSums;
    AreaSums total{};
    for (const ResidueAreas& r : residues) {
        const PdbAtom& a = *r.first;
        const std::string name = residueName(a);
        const auto found = reference.byResidue.find(name);
        const AreaSums* ref = found == reference.byResidue.end() ? nullptr : &found->second;
        std::snprintf(line, sizeof line, "RES %-3.3s %c%.4s%c", name.c_str(), chainId(a),
                      a.head.data() + 22, a.head[26]);
        out << line;
        for (int c = 0; c < kAreaClasses; ++c) {
            std::string pair;
            appendFixed(pair, r.areas[c], c == 0 ? 8 : 7, 2);
            appendFixed(pair, relativeArea(r.areas[c], ref, static_cast<AreaClass>(c)), 6, 1);
            if (pair.size() >= sizeof line) pair.resize(sizeof line - 1);  // as snprintf cut it
            out << pair;
        }
        out << '\n';

        std::size_t k = 0;
        while (k < chains.size() && chains[k] != chainId(a)) ++k;
        if (k == chains.size()) {
            chains.push_back(chainId(a));
            chainSums.push_back({});
        }
        for (int c = 0; c < kAreaClasses; ++c) {
            chainSums[k][c] += r.areas[c];
            total[c] += r.areas[c];
        }
    }
    out << "END  Absolute sums over single chains surface\n";
    for (std::size_t k = 0; k < chains.size(); ++k) {
        std::snprintf(line, sizeof line, "CHAIN%3d %c %10.1f   %10.1f   %10.1f   %10.1f   %10.1f\n",
                      static_cast<int>(k + 1), chains[k], chainSums[k][0], chainSums[k][1],
                      chainSums[k][2], chainSums[k][3], chainSums[k][4]);
        out << line;
    }
    out << "END  Absolute sums over all chains\n";
    std::snprintf(line, sizeof line, "TOTAL      %10.1f   %10.1f   %10.1f   %10.1f   %10.1f\n",
                  total[0], total[1], total[2], total[3], total[4]);
    out << line;
}

}  // namespace sasa
