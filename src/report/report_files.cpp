#include "report/report_files.h"

#include "report/open_book.h"

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

namespace {

// The open book's motions as a Python literal: side -> (rotation rows, centre, shift).
std::string bookLiteral(const OpenBook& book) {
    std::string text = "_kz_book = {";
    for (int side = 0; side < 2; ++side) {
        const RigidMotion& m = book.sides[side];
        text += format("'%s': ([", kSideNames[side]);
        for (int r = 0; r < 3; ++r)
            text += format("%s[%.6f, %.6f, %.6f]", r ? ", " : "", m.rotation[r][0], m.rotation[r][1],
                           m.rotation[r][2]);
        text += format("], [%.4f, %.4f, %.4f], [%.4f, %.4f, %.4f])%s", m.centre.x, m.centre.y,
                       m.centre.z, m.shift.x, m.shift.y, m.shift.z, side == 0 ? ", " : "}\n");
    }
    return text;
}

// The selection a residue's colour goes to: the complex and the interface
// atoms as scored and, in the open book, the copies of its own side only.
std::string colourTarget(const ReportResidue& r, bool withBook) {
    if (!withBook) return "(complex or interface)";
    return format("(complex or interface or book_%s or book_atoms_%s)", kSideNames[r.side],
                  kSideNames[r.side]);
}

}  // namespace

std::string pymolScript(const InterfaceReport& report) {
    const OpenBook book = openBook(report);
    std::string text =
        "# PyMOL: pymol view.pml, or File > Run Script. Every file is named\n"
        "# relative to this script's own directory. Two scenes (F1, F2, or\n"
        "# 'scene open_book' and 'scene close_up'): the open book, where each side\n"
        "# is turned about the interface's axis so that both interface surfaces\n"
        "# face you side by side (A left, B right), and the close-up of the\n"
        "# complex as it was scored.\n"
        "python\n"
        "import os\n"
        "from pymol import cmd, cgo\n"
        "_kz_here = os.path.dirname(os.path.abspath(__script__)) if '__script__' in globals() "
        "else os.getcwd()\n"
        "cmd.load(os.path.join(_kz_here, 'complex.pdb'), 'complex')\n"
        "cmd.load(os.path.join(_kz_here, 'interface.pdb'), 'interface')\n";
    if (book.valid) {
        text += bookLiteral(book);
        text +=
            "def _kz_move(p, side):\n"
            "    r, c, s = _kz_book[side]\n"
            "    d = [p[k] - c[k] for k in range(3)]\n"
            "    return [sum(r[i][k] * d[k] for k in range(3)) + s[i] for i in range(3)]\n"
            "def _kz_sides(name):\n"
            "    parts, part = [], []\n"
            "    with open(os.path.join(_kz_here, name)) as f:\n"
            "        for line in f:\n"
            "            if line.startswith('TER'): parts, part = parts + [''.join(part)], []\n"
            "            elif line.startswith(('ATOM', 'HETATM')): part.append(line)\n"
            "    return parts\n"
            "for _kz_file, _kz_object in (('complex.pdb', 'book_'), ('interface.pdb', 'book_atoms_')):\n"
            "    for _kz_side, _kz_text in zip('AB', _kz_sides(_kz_file)):\n"
            "        cmd.read_pdbstr(_kz_text, _kz_object + _kz_side)\n"
            "        cmd.alter_state(1, _kz_object + _kz_side, '(x, y, z) = _kz_move((x, y, z), side)',\n"
            "                        space={'_kz_move': _kz_move, 'side': _kz_side})\n";
    }
    text +=
        "def _kz_surface(name, colour, side=None):\n"
        "    vertices, faces = [], []\n"
        "    with open(os.path.join(_kz_here, name + '.obj')) as f:\n"
        "        for line in f:\n"
        "            w = line.split()\n"
        "            if w and w[0] == 'v': vertices.append([float(c) for c in w[1:4]])\n"
        "            if w and w[0] == 'f': faces.append([int(c) - 1 for c in w[1:4]])\n"
        "    if side: vertices = [_kz_move(p, side) for p in vertices]\n"
        "    shape = [cgo.BEGIN, cgo.TRIANGLES, cgo.COLOR] + list(colour)\n"
        "    for face in faces:\n"
        "        a, b, c = (vertices[i] for i in face)\n"
        "        u = [a[k] - b[k] for k in range(3)]\n"
        "        v = [c[k] - b[k] for k in range(3)]\n"
        "        n = [u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]]\n"
        "        shape += [cgo.NORMAL] + n\n"
        "        for p in (a, b, c): shape += [cgo.VERTEX] + p\n"
        "    shape.append(cgo.END)\n"
        "    cmd.load_cgo(shape, ('book_' if side else '') + name)\n";
    for (int side = 0; side < 2; ++side) {
        const float* c = kSurfaceColours[side];
        text += format("_kz_surface('surface_%s', (%.2f, %.2f, %.2f))\n", kSideNames[side], c[0],
                       c[1], c[2]);
        if (book.valid)
            text += format("_kz_surface('surface_%s', (%.2f, %.2f, %.2f), '%s')\n", kSideNames[side],
                           c[0], c[1], c[2], kSideNames[side]);
    }
    const char* cartoons = book.valid ? "complex or book_A or book_B" : "complex";
    const char* sticks =
        book.valid ? "interface or book_atoms_A or book_atoms_B" : "interface";
    text += "python end\n";
    text += format("hide everything, %s or %s\n", cartoons, sticks);
    text += "bg_color white\n"
            "set two_sided_lighting, 1\n"
            "set cgo_transparency, 0.25\n"
            "set cartoon_transparency, 0.45\n"
            "set scene_animation, 0\n";
    text += format("show cartoon, %s\n", cartoons);
    text += format("color grey80, %s\n", cartoons);
    text += format("show sticks, (%s) and not name N+C+O\n", sticks);
    text += "set stick_radius, 0.15\n";
    text += format("color grey50, %s\n", sticks);
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
        text += format("color kz_%s%d, %s%s and resi %s\n", kSideNames[r.side],
                       shadeOf(r, largest[r.side]), colourTarget(r, book.valid).c_str(),
                       chain.c_str(), number.c_str());
    }
    if (!book.valid) return text + "orient interface\nzoom interface, 5\n";
    // The close-up: the complex as scored, oriented on its interface.
    text +=
        "disable book_*\n"
        "orient interface\n"
        "zoom interface, 5\n"
        "scene close_up, store\n"
        // The open book: PyMOL's camera looks down -z with y up, as the
        // pages were laid out; zoom keeps that orientation.
        "disable complex interface surface_A surface_B\n"
        "enable book_*\n"
        // Seen face on, the surfaces would hide the shaded residues under them.
        "set cgo_transparency, 0.45, book_surface_A\n"
        "set cgo_transparency, 0.45, book_surface_B\n"
        "set_view (1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, -100, 0, 0, 0, 60, 140, -20)\n"
        "zoom book_atoms_A or book_atoms_B, 6\n"
        "clip far, -60\n"
        "scene open_book, store\n"
        "scene_order open_book close_up\n"
        "scene open_book\n";
    return text;
}

std::string chimeraScript(const InterfaceReport& report) {
    const OpenBook book = openBook(report);
    std::string text =
        "# ChimeraX: open view.cxc. Every file is named relative to this\n"
        "# script's own directory. Models #1-3: the complex as scored and the\n"
        "# two surfaces; models #4-7: the open book, each side turned about the\n"
        "# interface's axis so that both surfaces face you side by side (A left,\n"
        "# B right). Commands 'closeup' and 'openbook' switch between them.\n"
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
    // The book keeps each side's chains in its own copy: possible only when
    // no chain holds interface atoms of both sides, and every chain has a plain name.
    std::string chains[2];
    bool separable = book.valid;
    for (const ReportResidue& r : residues) {
        if (!plainChain(r.chain)) separable = false;
        if (chains[r.side].find(r.chain) == std::string::npos) chains[r.side] += r.chain;
    }
    for (const char c : chains[0])
        if (chains[1].find(c) != std::string::npos) separable = false;
    for (const ReportResidue& r : residues) {
        float rgb[3];
        shadeColour(r.side, shadeOf(r, largest[r.side]), rgb);
        const std::string chain = plainChain(r.chain) ? format("/%c", r.chain) : std::string();
        text += format("color #1%s:%s %s target c\n", chain.c_str(), residueNumber(r).c_str(),
                       hexColour(rgb).c_str());
    }
    if (!separable) return text + "view #2,3\n";
    auto chainList = [](const std::string& names) {
        std::string list;
        for (const char c : names) list += std::string(list.empty() ? "" : ",") + c;
        return list;
    };
    text +=
        "open complex.pdb\n"
        "open complex.pdb\n"
        "open surface_A.obj\n"
        "open surface_B.obj\n";
    text += format("delete #4 & ~/%s\n", chainList(chains[0]).c_str());
    text += format("delete #5 & ~/%s\n", chainList(chains[1]).c_str());
    text += "hide #4,5 atoms\ncartoon #4,5\ncolor #4,5 lightgray\n";
    for (int side = 0; side < 2; ++side)
        text += format("color #%d %s\n", side + 6, hexColour(kSurfaceColours[side]).c_str());
    for (const ReportResidue& r : residues) {
        float rgb[3];
        shadeColour(r.side, shadeOf(r, largest[r.side]), rgb);
        text += format("color #%d/%c:%s %s target c\n", 4 + r.side, r.chain,
                       residueNumber(r).c_str(), hexColour(rgb).c_str());
    }
    // Each model placed by a 3x4 matrix, row by row: rotation, then the
    // translation shift - rotation * centre.
    text += "view matrix models ";
    for (int model = 4; model <= 7; ++model) {
        const RigidMotion& m = book.sides[model % 2 == 0 ? 0 : 1];
        const Vector3 origin = apply(m, Vector3{0, 0, 0});
        const double t[3] = {origin.x, origin.y, origin.z};
        text += format("%s#%d", model == 4 ? "" : ",", model);
        for (int r = 0; r < 3; ++r)
            text += format(",%.6f,%.6f,%.6f,%.4f", m.rotation[r][0], m.rotation[r][1],
                           m.rotation[r][2], t[r]);
    }
    text +=
        "\n"
        "view #2,3\n"
        "view name closeup\n"
        "hide #1-3 models\n"
        // The camera looks down -z with y up, as the pages were laid out.
        "view matrix camera 1,0,0,0,0,1,0,0,0,0,1,100\n"
        "view #6,7\n"
        "view name openbook\n"
        "alias closeup hide #4-7 models ; show #1-3 models ; view closeup\n"
        "alias openbook hide #1-3 models ; show #4-7 models ; view openbook\n";
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
            // Appended piece by piece ("[" + a temporary trips GCC 12's -Wrestrict).
            text += '[';
            text += jsonNumber(s.classes.x[slot]);
            text += ", ";
            text += jsonNumber(s.classes.y[slot]);
            text += ", ";
            text += jsonNumber(s.classes.z[slot]);
            text += ']';
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
