#include "scores/packing.h"

#include "common/asa_line.h"
#include "common/cells.h"
#include "common/record_text.h"
#include "common/text_file.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// Both constants are fixed as the scores are compared with other tools:
// pi is 22/7, not its exact value.
constexpr double kPi = 22.0 / 7.0;
constexpr double kFourThirds = 4.0 / 3.0;

// Area files are read in pieces of at most 99 characters; each piece is
// examined as a line of its own.
constexpr int kPieceSize = 100;

// Copies at most five characters of `name` into a six-byte record field.
// Longer names cannot come from a valid PDB file; they are cut, not
// allowed to overrun the field.
void copyName(char (&field)[6], const char* name) {
    const std::size_t len = std::min<std::size_t>(std::strlen(name), sizeof field - 1);
    std::memcpy(field, name, len);
    field[len] = '\0';
}

PackingAtom atomOf(const asa::AsaColumns& c) {
    PackingAtom atom;
    atom.serial = c.serial;
    atom.chain = c.chain;
    atom.resSeq = c.resSeq;
    atom.x = c.x;
    atom.y = c.y;
    atom.z = c.z;
    copyName(atom.atomName, c.atomName);
    copyName(atom.resName, c.resName);
    atom.mark = 0;
    return atom;
}

// Parses one line beginning with "A"; false when it does not give all
// eight fields (such a line is skipped).
bool parseAtom(const char* line, PackingAtom& atom) {
    asa::AsaColumns c;
    if (asa::readAsaColumns(line, c)) {  // the engine's layout: the same fields, read faster
        atom = atomOf(c);
        return true;
    }
    char atomName[kPieceSize];
    char resName[kPieceSize];
    if (std::sscanf(line, "%*s %d %99s %99s %c %d %f %f %f %*f %*f", &atom.serial, atomName,
                    resName, &atom.chain, &atom.resSeq, &atom.x, &atom.y, &atom.z) != 8)
        return false;
    copyName(atom.atomName, atomName);
    copyName(atom.resName, resName);
    atom.mark = 0;
    return true;
}

// Marks `a` when it lies within sqrt(cutoffSq) of `p`, in single precision.
void markIfNear(PackingAtom& a, const InterfacePoint& p, float cutoffSq) {
    if (a.mark) return;  // selected already: not tested again
    const float dx = p.x - a.x;
    const float dy = p.y - a.y;
    const float dz = p.z - a.z;
    const float d2 = dx * dx + dy * dy + dz * dz;
    if (d2 <= cutoffSq) a.mark = 1;
}

// The same marks with the atoms counted into cubes a little wider than the
// cutoff: only the atoms of the 27 cubes around a point can be near it, and
// each is tested as above (marks do not depend on the order of the tests).
// False, with nothing marked, where cubes do not serve: a cutoff or a
// coordinate that is not a finite number, or a box of too many cubes.
bool markInCells(std::vector<PackingAtom>& atoms, const std::vector<InterfacePoint>& points,
                 int count, float cutoffSq) {
    if (atoms.empty() || count <= 0) return true;
    if (!(cutoffSq > 0.0f) || !std::isfinite(cutoffSq)) return false;
    // Wider than the cutoff by far more than any rounding of the distance.
    const double side = std::sqrt(static_cast<double>(cutoffSq)) * 1.125 + 0.01;
    double low[3] = {atoms[0].x, atoms[0].y, atoms[0].z}, high[3] = {low[0], low[1], low[2]};
    for (const PackingAtom& a : atoms) {
        const double c[3] = {a.x, a.y, a.z};
        for (int k = 0; k < 3; ++k) {
            if (!std::isfinite(c[k])) return false;
            low[k] = std::min(low[k], c[k]);
            high[k] = std::max(high[k], c[k]);
        }
    }
    long cells[3];
    for (int k = 0; k < 3; ++k) {
        const double across = (high[k] - low[k]) / side;
        // Past any box held whole, and before it is made an integer.
        if (!(across < 8.0 * static_cast<double>(atoms.size()) + 4096.0)) return false;
        cells[k] = static_cast<long>(across) + 1;
    }
    if (!holdBoxWhole(static_cast<std::size_t>(cells[0]), static_cast<std::size_t>(cells[1]),
                      static_cast<std::size_t>(cells[2]), atoms.size()))
        return false;
    const auto cellOf = [&](double v, int k) {
        return std::clamp(static_cast<long>(std::floor((v - low[k]) / side)), -1L, cells[k]);
    };
    // Atoms by cube, in file order within each.
    std::vector<std::uint32_t> cellOfAtom(atoms.size()), start;
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        const long x = cellOf(atoms[i].x, 0), y = cellOf(atoms[i].y, 1), z = cellOf(atoms[i].z, 2);
        cellOfAtom[i] = static_cast<std::uint32_t>((x * cells[1] + y) * cells[2] + z);
    }
    countIntoCells(cellOfAtom, static_cast<std::size_t>(cells[0] * cells[1] * cells[2]), start,
                   order);

    for (int i = 0; i < count; ++i) {
        const InterfacePoint& p = points[static_cast<std::size_t>(i)];
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) continue;  // near nothing
        const long px = cellOf(p.x, 0), py = cellOf(p.y, 1), pz = cellOf(p.z, 2);
        for (long x = std::max(px - 1, 0L); x <= std::min(px + 1, cells[0] - 1); ++x)
            for (long y = std::max(py - 1, 0L); y <= std::min(py + 1, cells[1] - 1); ++y)
                for (long z = std::max(pz - 1, 0L); z <= std::min(pz + 1, cells[2] - 1); ++z) {
                    const std::size_t c = static_cast<std::size_t>((x * cells[1] + y) * cells[2] + z);
                    for (std::size_t k = start[c]; k < start[c + 1]; ++k)
                        markIfNear(atoms[order[k]], p, cutoffSq);
                }
    }
    return true;
}

// The record of a packing atom, as "ATOM %6d  %-3s %-3s %c%4d%12.3f%8.3f%8.3f\n"
// writes it. Room for more than the longest record: 172 characters, with
// names of five, integers of eleven and the largest floats' 43.
using PackingRecord = RecordText<256>;
void writePackingRecord(const PackingAtom& a, PackingRecord& r) {
    r.text("ATOM ", 0, true);
    r.integer(a.serial, 6);
    r.text("  ", 0, true);
    r.text(a.atomName, 3, true);
    r.one(' ');
    r.text(a.resName, 3, true);
    r.one(' ');
    r.one(a.chain);
    r.integer(a.resSeq, 4);
    r.number(a.x, 12, 3);
    r.number(a.y, 8, 3);
    r.number(a.z, 8, 3);
    r.one('\n');
}

// Writes to `out` the atoms within sqrt(cutoffSq) A of one of
// points[0..n-1], then "END".
void selectNeighbours(std::FILE* out, std::vector<PackingAtom>& atoms,
                      const std::vector<InterfacePoint>& points, int n, float cutoffSq,
                      std::vector<PackingAtom>* selected) {
    // Points beyond the table cannot be read.
    const int count = std::clamp(n, 0, static_cast<int>(points.size()));
    if (!markInCells(atoms, points, count, cutoffSq)) {
        for (int i = 0; i < count; ++i)
            for (PackingAtom& a : atoms) markIfNear(a, points[i], cutoffSq);
    }

    for (const PackingAtom& a : atoms) {
        if (!a.mark) continue;
        if (selected) selected->push_back(a);
        PackingRecord r;
        writePackingRecord(a, r);
        std::fwrite(r.line, 1, r.n, out);
    }
    std::fputs("END\n", out);
}

// The packing atoms' area and radius added to their surface and volume.
void addPacking(double& S, double& V, float a, float r) {
    S = S + a;
    V = V + ((kFourThirds * kPi) * r) * r * r;
}

// The volume of the atoms over that of the sphere of their surface.
float ratioOf(double S, double V) {
    // The sphere of the same surface. With no atoms this is 0/0: not a number.
    const double R = std::sqrt(S / (4.0 * kPi));
    const double Vs = ((kFourThirds * kPi) * R) * R * R;
    return static_cast<float>(V / Vs);
}

}  // namespace

void findneighbour(std::FILE* out, const std::string& asaPath,
                   const std::vector<InterfacePoint>& points, int n, float cutoffSq,
                   std::vector<PackingAtom>* selected) {
    File asa = openFile(asaPath, "r");
    if (!asa) return;  // no trace in the packing file, no message
    findneighbour(out, asa.get(), points, n, cutoffSq, selected);
}

void findneighbour(std::FILE* out, std::FILE* asa, const std::vector<InterfacePoint>& points,
                   int n, float cutoffSq, std::vector<PackingAtom>* selected) {

    // The table grows with the file: a subunit of more than 35000 atoms is
    // measured like any other.
    std::vector<PackingAtom> atoms;
    char piece[kPieceSize];
    while (readPiece(asa, piece, kPieceSize)) {
        if (piece[0] != 'A') continue;  // HETATM and anything else
        PackingAtom atom;
        if (parseAtom(piece, atom)) atoms.push_back(atom);
    }
    selectNeighbours(out, atoms, points, n, cutoffSq, selected);
}

void findneighbour(std::FILE* out, const std::vector<asa::HeldLine>& lines,
                   const std::vector<InterfacePoint>& points, int n, float cutoffSq,
                   std::vector<PackingAtom>* selected) {
    std::vector<PackingAtom> atoms;
    atoms.reserve(lines.size());
    for (const asa::HeldLine& line : lines) atoms.push_back(atomOf(line.columns));  // each an ATOM line
    selectNeighbours(out, atoms, points, n, cutoffSq, selected);
}

float computepack(EngineRuns& engine, Workspace& files, std::FILE* console) {
    // The run removes an earlier run's log and area file first, so they
    // never pass for this run's. A run that failed, and one that left no
    // area file, measured nothing.
    const bool ran = engine.run(kControlFiles[4], "ComplexP.log");
    if (const std::vector<asa::HeldLine>* lines = ran ? files.areas("ComplexP.asa") : nullptr)
        return packingRatio(*lines);
    File asa(ran ? files.open("ComplexP.asa", "r") : nullptr);
    if (!asa) {
        std::fprintf(console, "\nProblem in NACEESS program in computing interface packing ... "
                              "KAV will be wrong\n");
        engine.printErrors("ComplexP.log");
        return 0.0f;
    }
    return packingRatio(asa.get());
}

float packingRatio(std::FILE* asa) {
    double S = 0.0;  // accessible surface of the packing atoms
    double V = 0.0;  // their volume
    char piece[kPieceSize];
    while (readPiece(asa, piece, kPieceSize)) {
        if (piece[0] != 'A') continue;
        float a = 0.0f;
        float r = 0.0f;
        // A line without area and radius has no values to add.
        asa::AsaColumns c;
        if (asa::readAsaColumns(piece, c)) {
            a = c.area;
            r = c.radius;
        } else if (std::sscanf(piece, "%*s %*d %*s %*s %*c %*d %*f %*f %*f %f %f", &a, &r) != 2) {
            continue;
        }
        addPacking(S, V, a, r);
    }
    return ratioOf(S, V);
}

float packingRatio(const std::vector<asa::HeldLine>& lines) {
    double S = 0.0;
    double V = 0.0;
    for (const asa::HeldLine& line : lines) addPacking(S, V, line.columns.area, line.columns.radius);
    return ratioOf(S, V);
}
