#include "structure/extract.h"

#include "common/text_file.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// An area file is read through a 120-byte buffer: a longer line arrives in
// pieces of at most 119 characters, and each piece is examined as a line.
constexpr int kPieceSize = 120;

// Column `col` (counted from 1) of a piece; columns past the end of its text
// (the line end included) read as blank.
char column(const char* piece, int col) {
    const std::size_t length = std::strlen(piece);
    const std::size_t i = static_cast<std::size_t>(col - 1);
    if (i >= length || piece[i] == '\n') return ' ';
    return piece[i];
}

// "ATOM" in columns 1-4 and no alternate location (17), nothing between the
// residue name and the chain (21) and no insertion code (27). A piece that
// ends before column 27 cannot be a whole atom record and is passed over.
bool isAcceptedAtom(const char* piece) {
    if (std::strncmp(piece, "ATOM", 4) != 0) return false;
    if (std::strcspn(piece, "\n") < 27) return false;
    return column(piece, 17) == ' ' && column(piece, 21) == ' ' && column(piece, 27) == ' ';
}

// Past 99999 atoms the serial number (columns 7-11) no longer fits: files
// carry hybrid-36 ("A0000") or "*****" there. The engine copies the field to
// its area files, whose readers take it as a number, so such a serial is
// written as the record's position in its subunit file (modulo 100000). The
// serial is used for nothing else; a readable one is copied unchanged.
void makeSerialReadable(char* piece, int position) {
    if (std::strncmp(piece, "ATOM", 4) != 0 || std::strcspn(piece, "\n") < 11) return;
    int i = 6;
    while (i < 11 && piece[i] == ' ') ++i;
    if (i < 11 && piece[i] == '-') ++i;
    bool digits = i < 11;
    for (; i < 11; ++i) digits = digits && piece[i] >= '0' && piece[i] <= '9';
    if (digits) return;
    char serial[16];
    std::snprintf(serial, sizeof serial, "%5d", position % 100000);
    std::memcpy(piece + 6, serial, 5);
}

bool writePiece(std::FILE* out, char* piece, int position) {
    makeSerialReadable(piece, position);
    return std::fputs(piece, out) >= 0;
}

// Closes a file we wrote and says whether everything reached the disk.
bool closeWritten(File& f) {
    const bool ok = std::ferror(f.get()) == 0;
    return std::fclose(f.release()) == 0 && ok;
}

// Complex.pdb: ComplexA.pdb followed by ComplexB.pdb, byte for byte.
bool concatenateSubunits(Workspace& files) {
    File out(files.open("Complex.pdb", "wb"));
    if (!out) return false;
    for (const char* name : {"ComplexA.pdb", "ComplexB.pdb"}) {
        File in(files.open(name, "rb"));
        if (!in) return false;
        char block[8192];
        std::size_t n;
        while ((n = std::fread(block, 1, sizeof block, in.get())) > 0) {
            if (std::fwrite(block, 1, n, out.get()) != n) return false;
        }
        if (std::ferror(in.get())) return false;
    }
    return closeWritten(out);
}

// Extract on an area file held as its lines. Each is an ATOM record in the
// engine's layout: a chain ID, no alternate location or insertion code and
// a serial that reads as a number. So every line is taken as it is, and the
// subunit files are held as lines too.
int extractLines(Workspace& files, const std::vector<asa::HeldLine>& lines, int& atomsA,
                 int& atomsB, std::FILE* console) {
    if (lines.empty()) {  // nothing to split; the subunit files were opened, empty
        files.store("ComplexA.pdb", std::string());
        files.store("ComplexB.pdb", std::string());
        return -1;
    }
    // The first chain, then the second, to a third chain or the first again.
    std::size_t endA = 1;
    while (endA < lines.size() && lines[endA].columns.chain == lines[0].columns.chain) ++endA;
    std::size_t endB = endA;
    while (endB < lines.size() && lines[endB].columns.chain == lines[endA].columns.chain) ++endB;
    std::vector<asa::HeldLine> a(lines.begin(), lines.begin() + endA);
    std::vector<asa::HeldLine> b(lines.begin() + endA, lines.begin() + endB);
    std::vector<asa::HeldLine> both(lines.begin(), lines.begin() + endB);
    const int countA = static_cast<int>(a.size()), countB = static_cast<int>(b.size());
    if (!files.storeAreas("ComplexA.pdb", std::move(a)) ||
        !files.storeAreas("ComplexB.pdb", std::move(b)))
        return -1;
    std::fprintf(console, " Subunit one contains %d atoms and Subunit two contains %d atoms.\n",
                 countA, countB);
    if (!files.storeAreas("Complex.pdb", std::move(both))) return -1;
    atomsA = countA;
    atomsB = countB;
    return 0;
}

int chainMissing(std::FILE* console) {
    std::fprintf(console, "Chain identifier missing ... exiting\n");
    return -2;
}

}  // namespace

int Extract(const std::string& path) {
    int atomsA = 0, atomsB = 0;
    return Extract(path, atomsA, atomsB);
}

int Extract(const std::string& path, int& atomsA, int& atomsB) {
    DirectoryWorkspace here;
    return Extract(here, path, atomsA, atomsB, stdout);
}

int Extract(Workspace& files, const std::string& path, int& atomsA, int& atomsB,
            std::FILE* console) {
    atomsA = atomsB = 0;
    if (const std::vector<asa::HeldLine>* lines = files.areas(path))
        return extractLines(files, *lines, atomsA, atomsB, console);
    // All three opens come first; an empty File closes nothing.
    File in(files.open(path, "r"));
    File subunitA(files.open("ComplexA.pdb", "w"));
    File subunitB(files.open("ComplexB.pdb", "w"));
    if (!in || !subunitA || !subunitB) return -1;

    char piece[kPieceSize];
    if (!readPiece(in.get(), piece, kPieceSize)) return -1;  // nothing to split

    // The first line opens subunit one and names its chain, untested.
    char chain = column(piece, 22);
    bool written = writePiece(subunitA.get(), piece, 1);
    int countA = 1;
    int countB = 0;

    bool second = false;  // reading the second chain
    while (readPiece(in.get(), piece, kPieceSize)) {
        if (!isAcceptedAtom(piece)) continue;
        const char c = column(piece, 22);
        if (c == ' ') return chainMissing(console);
        if (c != chain) {
            if (second) break;  // a third chain, or the first one again: done
            chain = c;
            second = true;
        }
        if (second) {
            ++countB;
            written = writePiece(subunitB.get(), piece, countB) && written;
        } else {
            ++countA;
            written = writePiece(subunitA.get(), piece, countA) && written;
        }
    }

    // A subunit file that did not reach the disk in full must not be measured.
    const bool closedA = closeWritten(subunitA);
    const bool closedB = closeWritten(subunitB);
    if (!written || !closedA || !closedB) return -1;

    std::fprintf(console, " Subunit one contains %d atoms and Subunit two contains %d atoms.\n",
                 countA, countB);
    if (!concatenateSubunits(files)) return -1;
    atomsA = countA;
    atomsB = countB;
    return 0;
}
