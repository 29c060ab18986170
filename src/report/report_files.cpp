#include "report/report_files.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace {

// Pairing leaves out triangles above this area; from this buried area of
// side A on, they count in the surface sums too (as the score has it).
constexpr float kAreaLimit = 11.0f;
constexpr float kLargeInterface = 1000.0f;

constexpr const char* kSideNames[2] = {"A", "B"};

// Five shades per side for residues, by buried area: side A from pale yellow
// to red, side B from pale cyan to blue; none close to the surface colours.
constexpr int kShades = 5;
constexpr float kRamp[2][2][3] = {{{1.00f, 0.95f, 0.60f}, {0.85f, 0.10f, 0.10f}},
                                  {{0.70f, 0.90f, 1.00f}, {0.10f, 0.20f, 0.80f}}};

std::string format(const char* fmt, auto... args) {
    char text[512];
    std::snprintf(text, sizeof text, fmt, args...);
    return text;
}

// The PDB atom name field: names shorter than four start in column 14.
std::string atomNameField(const std::string& name) {
    return name.size() < 4 ? " " + name : name.substr(0, 4);
}

double length(const Vector3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

// The shade (0..kShades-1) of a residue among the residues of its side.
int shadeOf(const ReportResidue& r, float largest) {
    if (!(largest > 0.0f)) return 0;
    const int shade = static_cast<int>(r.buried / largest * kShades);
    return std::clamp(shade, 0, kShades - 1);
}

float largestBuried(const std::vector<ReportResidue>& residues, int side) {
    float largest = 0.0f;
    for (const ReportResidue& r : residues)
        if (r.side == side) largest = std::max(largest, r.buried);
    return largest;
}

void shadeColour(int side, int shade, float rgb[3]) {
    const float t = static_cast<float>(shade) / (kShades - 1);
    for (int c = 0; c < 3; ++c)
        rgb[c] = kRamp[side][0][c] + t * (kRamp[side][1][c] - kRamp[side][0][c]);
}

std::string hexColour(const float rgb[3]) {
    return format("#%02x%02x%02x", static_cast<int>(std::lround(rgb[0] * 255)),
                  static_cast<int>(std::lround(rgb[1] * 255)),
                  static_cast<int>(std::lround(rgb[2] * 255)));
}

// A residue number with its insertion code, as both viewers select it.
std::string residueNumber(const ReportResidue& r) {
    std::string text = std::to_string(r.resSeq);
    if (r.iCode != ' ') text += r.iCode;
    return text;
}

// Chain names the viewers could misread (blank, quotes, separators) are left
// out of the selection: the residue is then chosen by number alone.
bool plainChain(char chain) { return std::isalnum(static_cast<unsigned char>(chain)) != 0; }

// The length of the well-formed UTF-8 sequence at text[i] (no overlong
// form, no surrogate, nothing past U+10FFFF), 0 when the byte starts none.
std::size_t utf8Length(const std::string& text, std::size_t i) {
    auto byte = [&](std::size_t k) {
        return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0u;
    };
    auto follows = [&](std::size_t k, unsigned low = 0x80, unsigned high = 0xBF) {
        return byte(k) >= low && byte(k) <= high;
    };
    const unsigned lead = byte(0);
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return follows(1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        const bool second = lead == 0xE0 ? follows(1, 0xA0) : lead == 0xED ? follows(1, 0x80, 0x9F)
                                                                            : follows(1);
        return second && follows(2) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const bool second = lead == 0xF0 ? follows(1, 0x90) : lead == 0xF4 ? follows(1, 0x80, 0x8F)
                                                                            : follows(1);
        return second && follows(2) && follows(3) ? 4 : 0;
    }
    return 0;
}

// A JSON string of `text`: UTF-8 as it is; a byte that is not part of UTF-8
// (a name in another encoding) as the four characters "\xHH", so that the
// file stays valid UTF-8 for every JSON reader.
std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        const auto u = static_cast<unsigned char>(c);
        const std::size_t n = utf8Length(text, i);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            out += format("\\u%04x", u);
        } else if (n == 0) {
            out += format("\\\\x%02x", u);
        } else {
            out.append(text, i, n);
        }
        i += n == 0 ? 1 : n;
    }
    return out + "\"";
}

std::string jsonNumber(double value) {
    if (std::isnan(value)) return "\"nan\"";
    if (std::isinf(value)) return value > 0 ? "\"inf\"" : "\"-inf\"";
    return format("%.9g", value);
}

// A details value: numbers stay numbers (the C library's "nan" and "inf"
// become strings), an empty value is null.
std::string jsonDetail(const DetailsField& f) {
    if (f.value.empty()) return "null";
    if (!f.number) return jsonString(f.value);
    if (f.value.find_first_of("ni") != std::string::npos) return jsonString(f.value);
    return f.value;
}

}  // namespace

const char* axisOrderName(int order) {
    static constexpr const char* kNames[6] = {"XYZ", "XZY", "YXZ", "YZX", "ZXY", "ZYX"};
    return order >= 0 && order < 6 ? kNames[order] : "";
}

std::vector<ReportResidue> interfaceResidues(const InterfaceReport& report) {
    std::vector<ReportResidue> residues;
    for (int side = 0; side < 2; ++side) {
        const std::size_t first = residues.size();
        for (const ReportAtom& a : report.sides[side].atoms) {
            auto same = [&](const ReportResidue& r) {
                return r.chain == a.chain && r.resSeq == a.resSeq && r.iCode == a.iCode &&
                       r.resName == a.resName;
            };
            // Atoms of a residue are usually together: look at the last one first.
            auto it = residues.size() > first && same(residues.back())
                          ? residues.end() - 1
                          : std::find_if(residues.begin() + static_cast<std::ptrdiff_t>(first),
                                         residues.end(), same);
            if (it == residues.end()) {
                residues.push_back(ReportResidue{side, a.chain, a.resSeq, a.iCode, a.resName, 0, 0.0f});
                it = residues.end() - 1;
            }
            it->atoms += 1;
            it->buried += a.buried;
        }
    }
    return residues;
}

std::string complexPdb(const std::string& subunitA, const std::string& subunitB) {
    std::string text;
    for (const std::string* subunit : {&subunitA, &subunitB}) {
        std::size_t start = 0;
        while (start < subunit->size()) {
            std::size_t end = subunit->find('\n', start);
            if (end == std::string::npos) end = subunit->size();
            const std::string line = subunit->substr(start, end - start);
            start = end + 1;
            if (line.rfind("ATOM", 0) != 0 || line.size() < 54) continue;
            text += line.substr(0, 54) + "  1.00  0.00\n";
        }
        text += "TER\n";
    }
    return text + "END\n";
}

std::string interfacePdb(const InterfaceReport& report) {
    std::string text =
        "REMARK   1 INTERFACE ATOMS OF SIDE A, THEN SIDE B\n"
        "REMARK   1 B-FACTOR: ACCESSIBLE AREA LOST ON COMPLEX FORMATION (A**2)\n";
    int serial = 0;
    for (int side = 0; side < 2; ++side) {
        for (const ReportAtom& a : report.sides[side].atoms) {
            serial = serial % 99999 + 1;
            text += format("ATOM  %5d %-4s %3.3s %c%4d%c   %8.3f%8.3f%8.3f%6.2f%6.2f\n", serial,
                           atomNameField(a.atomName).c_str(), a.resName.c_str(), a.chain,
                           a.resSeq, a.iCode, a.x, a.y, a.z, 1.0, a.buried);
        }
        text += "TER\n";
    }
    return text + "END\n";
}

std::string residuesTsv(const InterfaceReport& report) {
    std::string text = "side\tchain\tresnum\ticode\tresname\tinterface_atoms\tburied\n";
    for (const ReportResidue& r : interfaceResidues(report)) {
        const std::string chain = r.chain == ' ' ? "" : std::string(1, r.chain);
        const std::string iCode = r.iCode == ' ' ? "" : std::string(1, r.iCode);
        text += format("%s\t%s\t%d\t%s\t%s\t%d\t%.2f\n", kSideNames[r.side], chain.c_str(),
                       r.resSeq, iCode.c_str(), r.resName.c_str(), r.atoms, r.buried);
    }
    return text;
}

std::string surfaceObj(const InterfaceReport& report, int side) {
    const ReportSide& s = report.sides[side];
    std::string text = format("# side %s: %zu kept triangles over %zu interface atoms\n",
                              kSideNames[side], s.triangles.size(), s.atoms.size());
    text += format("o surface_%s\n", kSideNames[side]);
    for (const ReportAtom& a : s.atoms) text += format("v %.3f %.3f %.3f\n", a.x, a.y, a.z);
    for (const ReportTriangle& t : s.triangles)
        text += format("f %d %d %d\n", t.v[0] + 1, t.v[1] + 1, t.v[2] + 1);
    return text;
}

std::string pairsTsv(const InterfaceReport& report) {
    std::string text = "direction\ttriangle\tpartner\ttriangle_area\tpartner_area\tdistance\tcosine\n";
    const std::vector<CreditedPair>* lists[2] = {&report.pairsAB, &report.pairsBA};
    for (int side = 0; side < 2; ++side) {
        const ReportSide& self = report.sides[side];
        const ReportSide& other = report.sides[1 - side];
        for (const CreditedPair& p : *lists[side]) {
            const auto i = static_cast<std::size_t>(p.triangle);
            const auto j = static_cast<std::size_t>(p.partner);
            if (i >= self.triangles.size() || j >= other.triangles.size()) continue;
            const ReportTriangle& a = self.triangles[i];
            const ReportTriangle& b = other.triangles[j];
            const Vector3 d{a.centroid.x - b.centroid.x, a.centroid.y - b.centroid.y,
                            a.centroid.z - b.centroid.z};
            const double cosine =
                (a.normal.x * b.normal.x + a.normal.y * b.normal.y + a.normal.z * b.normal.z) /
                (length(a.normal) * length(b.normal));
            text += format("%s>%s\t%d\t%d\t%.9g\t%.9g\t%.3f\t%.4f\n", kSideNames[side],
                           kSideNames[1 - side], p.triangle + 1, p.partner + 1, a.area, b.area,
                           length(d), cosine);
        }
    }
    return text;
}

float surfaceSum(const ReportSide& side, bool includeLarge) {
    float sum = 0.0f;
    for (const ReportTriangle& t : side.triangles)
        if (includeLarge || t.area <= kAreaLimit) sum += t.area;
    return sum;
}

std::string pymolScript(const InterfaceReport& report) {
    std::string text =
        "# PyMOL: pymol view.pml, or File > Run Script. Every file is named\n"
        "# relative to this script's own directory.\n"
        "python\n"
        "import os\n"
        "from pymol import cmd, cgo\n"
        "_kz_here = os.path.dirname(os.path.abspath(__script__)) if '__script__' in globals() "
        "else os.getcwd()\n"
        "cmd.load(os.path.join(_kz_here, 'complex.pdb'), 'complex')\n"
        "cmd.load(os.path.join(_kz_here, 'interface.pdb'), 'interface')\n"
        "def _kz_surface(name, colour):\n"
        "    vertices, faces = [], []\n"
        "    with open(os.path.join(_kz_here, name + '.obj')) as f:\n"
        "        for line in f:\n"
        "            w = line.split()\n"
        "            if w and w[0] == 'v': vertices.append([float(c) for c in w[1:4]])\n"
        "            if w and w[0] == 'f': faces.append([int(c) - 1 for c in w[1:4]])\n"
        "    shape = [cgo.BEGIN, cgo.TRIANGLES, cgo.COLOR] + list(colour)\n"
        "    for face in faces:\n"
        "        a, b, c = (vertices[i] for i in face)\n"
        "        u = [a[k] - b[k] for k in range(3)]\n"
        "        v = [c[k] - b[k] for k in range(3)]\n"
        "        n = [u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]]\n"
        "        shape += [cgo.NORMAL] + n\n"
        "        for p in (a, b, c): shape += [cgo.VERTEX] + p\n"
        "    shape.append(cgo.END)\n"
        "    cmd.load_cgo(shape, name)\n";
    for (int side = 0; side < 2; ++side)
        text += format("_kz_surface('surface_%s', (%.2f, %.2f, %.2f))\n", kSideNames[side],
                       kSurfaceColours[side][0], kSurfaceColours[side][1], kSurfaceColours[side][2]);
    text +=
        "python end\n"
        "hide everything, complex or interface\n"
        "bg_color white\n"
        "set two_sided_lighting, 1\n"
        "set cgo_transparency, 0.25\n"
        "set cartoon_transparency, 0.45\n"
        "show cartoon, complex\n"
        "color grey80, complex\n"
        "show sticks, interface and not name N+C+O\n"
        "set stick_radius, 0.15\n"
        "color grey50, interface\n";
    // Residue shades: one named colour per side and shade.
    for (int side = 0; side < 2; ++side) {
        for (int shade = 0; shade < kShades; ++shade) {
            float rgb[3];
            shadeColour(side, shade, rgb);
            text += format("set_color kz_%s%d, [%.3f, %.3f, %.3f]\n", kSideNames[side], shade,
                           rgb[0], rgb[1], rgb[2]);
        }
    }
    const std::vector<ReportResidue> residues = interfaceResidues(report);
    const float largest[2] = {largestBuried(residues, 0), largestBuried(residues, 1)};
    for (const ReportResidue& r : residues) {
        std::string number = residueNumber(r);
        if (number[0] == '-') number = "\\" + number;  // not a range
        const std::string chain =
            plainChain(r.chain) ? format(" and chain %c", r.chain) : std::string();
        // PyMOL reads no comment after a command: it goes on a line of its own.
        text += format("# %s %s, %.2f A2\n", r.resName.c_str(), residueNumber(r).c_str(),
                       r.buried);
        text += format("color kz_%s%d, (complex or interface)%s and resi %s\n",
                       kSideNames[r.side], shadeOf(r, largest[r.side]), chain.c_str(),
                       number.c_str());
    }
    text +=
        "orient interface\n"
        "zoom interface, 5\n";
    return text;
}

std::string chimeraScript(const InterfaceReport& report) {
    std::string text =
        "# ChimeraX: open view.cxc. Every file is named relative to this\n"
        "# script's own directory.\n"
        "open complex.pdb\n"
        "open surface_A.obj\n"
        "open surface_B.obj\n"
        "hide #1 atoms\n"
        "cartoon #1\n"
        "color #1 lightgray\n";
    for (int side = 0; side < 2; ++side)
        text += format("color #%d %s\n", side + 2, hexColour(kSurfaceColours[side]).c_str());
    const std::vector<ReportResidue> residues = interfaceResidues(report);
    const float largest[2] = {largestBuried(residues, 0), largestBuried(residues, 1)};
    for (const ReportResidue& r : residues) {
        float rgb[3];
        shadeColour(r.side, shadeOf(r, largest[r.side]), rgb);
        const std::string chain = plainChain(r.chain) ? format("/%c", r.chain) : std::string();
        text += format("color #1%s:%s %s target c\n", chain.c_str(), residueNumber(r).c_str(),
                       hexColour(rgb).c_str());
    }
    text += "view #2,3\n";
    return text;
}

std::string summaryJson(const std::vector<DetailsField>& details, const InterfaceReport& report) {
    std::string text = "{\n  \"details\": {";
    bool first = true;
    for (const DetailsField& f : details) {
        if (std::string(f.name) == "seconds") continue;
        text += first ? "\n" : ",\n";
        first = false;
        text += "    " + jsonString(f.name) + ": " + jsonDetail(f);
    }
    text += "\n  },\n  \"sides\": [";
    const bool includeLarge = !(report.sides[0].buriedArea < kLargeInterface);
    for (int side = 0; side < 2; ++side) {
        const ReportSide& s = report.sides[side];
        text += side == 0 ? "\n" : ",\n";
        text += format("    {\n      \"side\": \"%s\",\n", kSideNames[side]);
        text += format("      \"interface_atoms\": %zu,\n", s.atoms.size());
        text += "      \"buried_area\": " + jsonNumber(s.buriedArea) + ",\n";
        text += "      \"reference\": {\n        \"slots\": [";
        for (int k = 0; k < 3; ++k) text += format(k ? ", %d" : "%d", s.reference[k]);
        text += "],\n        \"centroids\": [";
        for (int k = 0; k < 3; ++k) {
            const int slot = s.reference[k];
            text += k ? ", " : "";
            if (slot < 0 || slot >= kClassSlots) {
                text += "null";
                continue;
            }
            text += "[" + jsonNumber(s.classes.x[slot]) + ", " + jsonNumber(s.classes.y[slot]) +
                    ", " + jsonNumber(s.classes.z[slot]) + "]";
        }
        text += "],\n        \"angle\": " + jsonNumber(s.referenceAngle) + "\n      },\n";
        // Every class centroid with atoms: slot 0 is the whole interface.
        text += "      \"class_centroids\": [";
        bool firstSlot = true;
        for (int slot = 0; slot < kClassSlots; ++slot) {
            if (s.classes.count[slot] == 0) continue;
            text += firstSlot ? "" : ", ";
            firstSlot = false;
            text += format("{\"slot\": %d, \"atoms\": %d, \"centroid\": [", slot,
                           s.classes.count[slot]);
            text += jsonNumber(s.classes.x[slot]) + ", " + jsonNumber(s.classes.y[slot]) + ", " +
                    jsonNumber(s.classes.z[slot]) + "]}";
        }
        text += "],\n";
        text += format("      \"winning_case\": {\"order\": \"%s\", \"direction\": %d, "
                       "\"step\": [%d, %d, %d]},\n",
                       axisOrderName(s.winner.order), s.winner.direction, s.winner.step[0],
                       s.winner.step[1], s.winner.step[2]);
        text += format("      \"triangles\": %zu,\n", s.triangles.size());
        text += "      \"surface_sum\": " + jsonNumber(surfaceSum(s, includeLarge)) + "\n    }";
    }
    text += format("\n  ],\n  \"credited_pairs\": {\"A>B\": %zu, \"B>A\": %zu},\n",
                   report.pairsAB.size(), report.pairsBA.size());
    text += format("  \"packing_atoms\": %zu\n}\n", report.packing.size());
    return text;
}
