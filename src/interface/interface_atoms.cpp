#include "interface/interface_atoms.h"

#include "common/asa_line.h"
#include "common/text_file.h"
#include "common/interface_record.h"
#include "structure/residue_codes.h"

#include <cstddef>
#include <cstring>
#include <string>

namespace {

// Engine output is read in pieces of at most 89 characters.
constexpr int kPieceSize = 90;

// The fields of one .asa line that the pass uses. The name buffer is as long
// as a piece, so no name read from a piece can overflow it.
struct AsaRecord {
    char resName[kPieceSize] = {};
    int resSeq = 0;
    float x = 0.0f, y = 0.0f, z = 0.0f;
    float area = 0.0f;
    float radius = 0.0f;  // read to check the line is whole; not used
};

AsaRecord recordOf(const asa::AsaColumns& c) {
    AsaRecord r;
    std::strcpy(r.resName, c.resName);
    r.resSeq = c.resSeq;
    r.x = c.x;
    r.y = c.y;
    r.z = c.z;
    r.area = c.area;
    r.radius = c.radius;
    return r;
}

bool parseAsaLine(const char* line, AsaRecord& r) {
    asa::AsaColumns c;
    if (asa::readAsaColumns(line, c)) {  // the engine's layout: the same fields, read faster
        r = recordOf(c);
        return true;
    }
    const int fields = std::sscanf(line, "%*s %*d %*s %s %*c %d %f %f %f %f %f", r.resName,
                                   &r.resSeq, &r.x, &r.y, &r.z, &r.area, &r.radius);
    return fields == 7;
}

// Reads the next piece; false at the end of the file or at a "HET" line,
// where a pass ends.
bool readPassLine(std::FILE* f, char* piece) {
    if (!readPiece(f, piece, kPieceSize)) return false;
    return std::strncmp(piece, "HET", 3) != 0;
}

void storePoint(std::vector<InterfacePoint>& points, int n, const InterfacePoint& p) {
    if (static_cast<std::size_t>(n) < points.size())
        points[n] = p;
    else
        points.push_back(p);
}

// Columns first..last (from 1) of a line, blanks trimmed.
std::string field(const char* line, std::size_t first, std::size_t last) {
    const std::size_t length = std::strcspn(line, "\n");
    std::string text;
    for (std::size_t i = first - 1; i < last && i < length; ++i) text += line[i];
    const std::size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos) return "";
    return text.substr(start, text.find_last_not_of(' ') + 1 - start);
}

// The area file's first 30 columns are those of the PDB atom record.
ReportAtom reportAtom(const char* line, const AsaRecord& r, float loss) {
    ReportAtom atom;
    atom.atomName = field(line, 13, 16);
    atom.resName = r.resName;
    const std::string chain = field(line, 22, 22);
    atom.chain = chain.empty() ? ' ' : chain[0];
    atom.resSeq = r.resSeq;
    const std::string iCode = field(line, 27, 27);
    atom.iCode = iCode.empty() ? ' ' : iCode[0];
    atom.x = r.x;
    atom.y = r.y;
    atom.z = r.z;
    atom.buried = loss;
    return atom;
}

// The same of a line in the engine's layout, which has no insertion code.
ReportAtom reportAtom(const asa::AsaColumns& c, float loss) {
    ReportAtom atom;
    atom.atomName = c.atomName;
    atom.resName = c.resName;
    atom.chain = c.chain;
    atom.resSeq = c.resSeq;
    atom.iCode = ' ';
    atom.x = c.x;
    atom.y = c.y;
    atom.z = c.z;
    atom.buried = loss;
    return atom;
}

// Adds one atom of the subunit and its line of the complex to the pass;
// false when the two are not of the same residue. `report(loss)` makes the
// report's atom.
template <typename MakeReportAtom>
bool takePair(const AsaRecord& sub, const AsaRecord& cpx, std::vector<InterfacePoint>& points,
              SubunitInterface& s, std::vector<ReportAtom>* atoms, MakeReportAtom&& report) {
    if (sub.resSeq != cpx.resSeq || std::strcmp(sub.resName, cpx.resName) != 0) return false;

    // An atom whose area is unchanged (loss exactly 0) is not at the interface.
    const float loss = sub.area - cpx.area;
    if (!(loss > 0.0f)) return true;

    s.buriedArea += loss;
    if (atoms) atoms->push_back(report(loss));
    storePoint(points, s.n, InterfacePoint{cpx.x, cpx.y, cpx.z});
    s.sumX += cpx.x;
    s.sumY += cpx.y;
    s.sumZ += cpx.z;
    // Class 21 (not one of the twenty residues) counts in slot 0 only.
    const int cls = ResID(getChar(cpx.resName));
    if (cls >= 1 && cls <= 20) {
        s.classes.x[cls] += cpx.x;
        s.classes.y[cls] += cpx.y;
        s.classes.z[cls] += cpx.z;
        s.classes.count[cls] += 1;
    }
    ++s.n;
    return true;
}

}  // namespace

int readInterfaceAtoms(std::FILE* subunitAsa, std::FILE* complexAsa,
                       std::vector<InterfacePoint>& points, SubunitInterface& s,
                       std::vector<ReportAtom>* atoms) {
    s = SubunitInterface{};
    if (atoms) atoms->clear();
    char subunitLine[kPieceSize];
    char complexLine[kPieceSize];
    while (!std::feof(complexAsa) && !std::feof(subunitAsa)) {
        if (!readPassLine(subunitAsa, subunitLine)) break;
        if (!readPassLine(complexAsa, complexLine)) break;

        AsaRecord sub, cpx;
        if (!parseAsaLine(subunitLine, sub) || !parseAsaLine(complexLine, cpx))
            return kMismatchedRecords;
        if (!takePair(sub, cpx, points, s, atoms,
                      [&](float loss) { return reportAtom(complexLine, cpx, loss); }))
            return kMismatchedRecords;
    }
    return 0;
}

int readInterfaceAtoms(const std::vector<asa::HeldLine>& subunit,
                       const std::vector<asa::HeldLine>& complex, std::size_t& complexAt,
                       std::vector<InterfacePoint>& points, SubunitInterface& s,
                       std::vector<ReportAtom>* atoms) {
    s = SubunitInterface{};
    if (atoms) atoms->clear();
    for (std::size_t i = 0; i < subunit.size() && complexAt < complex.size(); ++i) {
        const asa::AsaColumns& line = complex[complexAt++].columns;
        if (!takePair(recordOf(subunit[i].columns), recordOf(line), points, s, atoms,
                      [&](float loss) { return reportAtom(line, loss); }))
            return kMismatchedRecords;
    }
    return 0;
}

void finishCentroids(SubunitInterface& s) {
    ClassCentroids& c = s.classes;
    c.x[0] = s.sumX;
    c.y[0] = s.sumY;
    c.z[0] = s.sumZ;
    c.count[0] = s.n;
    for (int slot = 0; slot < kClassSlots; ++slot) {
        if (c.count[slot] == 0) continue;
        const float count = static_cast<float>(c.count[slot]);
        c.x[slot] = c.x[slot] / count;
        c.y[slot] = c.y[slot] / count;
        c.z[slot] = c.z[slot] / count;
    }
}
