#include "structure/extract.h"

#include "common/text_file.h"

#include <cstdio>
#include <cstring>

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

bool writePiece(std::FILE* out, const char* piece) { return std::fputs(piece, out) >= 0; }

// Closes a file we wrote and says whether everything reached the disk.
bool closeWritten(File& f) {
    const bool ok = std::ferror(f.get()) == 0;
    return std::fclose(f.release()) == 0 && ok;
}

// Complex.pdb: ComplexA.pdb followed by ComplexB.pdb, byte for byte.
bool concatenateSubunits() {
    File out = openFile("Complex.pdb", "wb");
    if (!out) return false;
    for (const char* name : {"ComplexA.pdb", "ComplexB.pdb"}) {
        File in = openFile(name, "rb");
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

int chainMissing() {
    std::printf("Chain identifier missing ... exiting\n");
    return -2;
}

}  // namespace

int Extract(const std::string& path) {
    // All three opens come first; an empty File closes nothing.
    File in = openFile(path, "r");
    File subunitA = openFile("ComplexA.pdb", "w");
    File subunitB = openFile("ComplexB.pdb", "w");
    if (!in || !subunitA || !subunitB) return -1;

    char piece[kPieceSize];
    if (!readPiece(in.get(), piece, kPieceSize)) return -1;  // nothing to split

    // The first line opens subunit one and names its chain, untested.
    char chain = column(piece, 22);
    bool written = writePiece(subunitA.get(), piece);
    int countA = 1;
    int countB = 0;

    bool second = false;  // reading the second chain
    while (readPiece(in.get(), piece, kPieceSize)) {
        if (!isAcceptedAtom(piece)) continue;
        const char c = column(piece, 22);
        if (c == ' ') return chainMissing();
        if (c != chain) {
            if (second) break;  // a third chain, or the first one again: done
            chain = c;
            second = true;
        }
        if (second) {
            written = writePiece(subunitB.get(), piece) && written;
            ++countB;
        } else {
            written = writePiece(subunitA.get(), piece) && written;
            ++countA;
        }
    }

    // A subunit file that did not reach the disk in full must not be measured.
    const bool closedA = closeWritten(subunitA);
    const bool closedB = closeWritten(subunitB);
    if (!written || !closedA || !closedB) return -1;

    std::printf(" Subunit one contains %d atoms and Subunit two contains %d atoms.\n", countA,
                countB);
    if (!concatenateSubunits()) return -1;
    return 0;
}
