#include "input/pdb_writer.h"

#include "common/held_record.h"
#include "common/record_text.h"
#include "common/text_file.h"
#include "common/fixed_format.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

constexpr const char kFreeIds[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

bool fitsCoordinate(double v) { return v > -999.9995 && v < 9999.9995; }

// Columns 7-11 of a serial past 99999 (up to there: "%5d"): hybrid-36 as
// large files carry it (the split makes any serial it cannot read a
// position), "*****" beyond it or below 0.
std::string hybridSerial(int serial) {
    constexpr int kHybridMax = 100000 + 26 * 36 * 36 * 36 * 36 - 1;
    if (serial < 0 || serial > kHybridMax) return "*****";
    const char* digits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    int v = serial - 100000 + 10 * 36 * 36 * 36 * 36;
    std::string s(5, '0');
    for (int i = 4; i >= 0; --i, v /= 36) s[static_cast<std::size_t>(i)] = digits[v % 36];
    return s;
}

bool coordinatesFit(const InputAtom& a) {
    return fitsCoordinate(a.x) && fitsCoordinate(a.y) && fitsCoordinate(a.z);
}

std::string atomLabel(const InputAtom& a) {
    const std::size_t first = a.name.find_first_not_of(' ');
    return "atom " + (first == std::string::npos ? a.name : a.name.substr(first)) + " of residue " + a.resName + " " + std::to_string(a.resSeq);
}

char freeId(const InputStructure& s, const std::vector<char>& taken) {
    for (const char* c = kFreeIds; *c; ++c) {
        bool used = false;
        for (const std::string& name : s.chains) used = used || (name.size() == 1 && name[0] == *c);
        for (char t : taken) used = used || t == *c;
        if (!used) return *c;
    }
    return '\0';
}

int chainIndex(const InputStructure& s, const std::string& name) {
    for (std::size_t i = 0; i < s.chains.size(); ++i)
        if (s.chains[i] == name) return static_cast<int>(i);
    return -1;
}

std::string chainList(const InputStructure& s) {
    std::string text;
    for (std::size_t i = 0; i < s.chains.size(); ++i)
        text += (i ? ", " : "") + (s.chains[i].empty() ? std::string("(blank)") : s.chains[i]);
    return text;
}

}  // namespace

bool layoutAllChains(const InputStructure& s, ChainLayout& layout, std::string& why) {
    layout = ChainLayout{};
    layout.passes = 1;
    layout.passOf.assign(s.chains.size(), 0);
    layout.idOf.assign(s.chains.size(), ' ');
    std::vector<char> taken;
    for (std::size_t i = 0; i < s.chains.size(); ++i) {
        const std::string& name = s.chains[i];
        if (name.size() <= 1) {
            layout.idOf[i] = name.empty() ? ' ' : name[0];
            continue;
        }
        const char id = freeId(s, taken);
        if (!id) {
            why = std::to_string(s.chains.size()) +
                  " chains: too many to give each a free one-character chain ID (--chains "
                  "chooses two sides, each written under one ID)";
            return false;
        }
        taken.push_back(id);
        layout.idOf[i] = id;
    }
    return true;
}

bool layoutSides(const InputStructure& s, const std::vector<std::string>& one,
                 const std::vector<std::string>& two, ChainLayout& layout, std::string& why) {
    layout = ChainLayout{};
    layout.passes = 2;
    layout.passOf.assign(s.chains.size(), -1);
    layout.idOf.assign(s.chains.size(), ' ');
    for (int pass = 0; pass < 2; ++pass)
        for (const std::string& name : pass == 0 ? one : two) {
            const int i = chainIndex(s, name);
            if (i < 0) {
                why = "no chain " + name + " (chains present: " + chainList(s) + ")";
                return false;
            }
            layout.passOf[static_cast<std::size_t>(i)] = pass;
        }
    std::vector<char> taken;
    for (int pass = 0; pass < 2; ++pass) {
        int first = -1;  // the side's first chain in file order
        for (std::size_t i = 0; i < s.chains.size() && first < 0; ++i)
            if (layout.passOf[i] == pass) first = static_cast<int>(i);
        const std::string& name = s.chains[static_cast<std::size_t>(first)];
        // A blank name stays blank, so that the split reports it as always.
        const char id = name.size() == 1 ? name[0] : name.empty() ? ' ' : freeId(s, taken);
        taken.push_back(id);
        for (std::size_t i = 0; i < s.chains.size(); ++i)
            if (layout.passOf[i] == pass) layout.idOf[i] = id;
    }
    return true;
}

std::string chainsWrittenAs(const InputStructure& s, const ChainLayout& layout, char id) {
    std::string text;
    for (std::size_t i = 0; i < s.chains.size(); ++i)
        if (layout.passOf[i] >= 0 && layout.idOf[i] == id)
            text += (text.empty() ? "" : ",") + s.chains[i];
    return text;
}

std::string layoutSidesText(const InputStructure& s, const ChainLayout& layout) {
    std::string text;
    for (int pass = 0; pass < layout.passes; ++pass) {
        if (pass) text += ":";
        bool first = true;
        for (std::size_t i = 0; i < s.chains.size(); ++i)
            if (layout.passOf[i] == pass) {
                text += (first ? "" : ",") + s.chains[i];
                first = false;
            }
    }
    return text;
}

std::string layoutRenames(const InputStructure& s, const ChainLayout& layout) {
    std::string text;
    std::vector<char> done;
    for (std::size_t i = 0; i < s.chains.size(); ++i) {
        const char id = layout.idOf[i];
        if (layout.passOf[i] < 0 || id == ' ') continue;
        bool seen = false;
        for (char d : done) seen = seen || d == id;
        if (seen) continue;
        done.push_back(id);
        const std::string names = chainsWrittenAs(s, layout, id);
        if (names != std::string(1, id)) text += names + " written as chain " + id + ". ";
    }
    return text;
}

namespace {

// The checks of a record's fields against their columns; false with the
// reason in `why`.
bool fieldsFit(const InputAtom& a, std::string& why) {
    if (!coordinatesFit(a)) {
        char xyz[96];
        std::snprintf(xyz, sizeof xyz, "%.3f %.3f %.3f", a.x, a.y, a.z);
        why = atomLabel(a) + ": coordinates " + xyz +
              " do not fit the PDB columns (-999.999 to 9999.999)";
        return false;
    }
    if (a.name.size() > 4 || a.resName.size() > 3 || a.resSeq < -999 || a.resSeq > 9999) {
        why = atomLabel(a) + ": the name or residue does not fit the PDB columns";
        return false;
    }
    if (!(a.occupancy > -99.995f && a.occupancy < 999.995f) ||
        !(a.bFactor > -99.995f && a.bFactor < 999.995f)) {
        why = atomLabel(a) + ": occupancy or B-factor does not fit the PDB columns";
        return false;
    }
    return true;
}

// A record of the engine's file; sizeof line (kRecordRoom) marks one too long.
constexpr std::size_t kRecordRoom = 128;
using PdbRecord = RecordText<kRecordRoom>;

// Columns 1-30.
void writeHead(PdbRecord& r, const InputAtom& a, char chain, int serial) {
    r.text(a.hetero ? "HETATM" : "ATOM", 6, true);
    if (serial >= 0 && serial <= 99999) r.integer(serial, 5);
    else r.text(hybridSerial(serial).c_str(), 5, false);
    r.one(' ');
    r.text(a.name.c_str(), 4, true);
    r.one(a.altLoc);
    r.text(a.resName.c_str(), 3, false);
    r.one(' ');
    r.one(chain);
    r.integer(a.resSeq, 4);
    r.one(a.iCode);
    r.text("", 3, false);
}

// Columns 31-66: coordinates, occupancy and B-factor.
void writeNumbers(PdbRecord& r, double x, double y, double z, double occupancy,
                  double bFactor) {
    r.number(x, 8, 3);
    r.number(y, 8, 3);
    r.number(z, 8, 3);
    r.number(occupancy, 6, 2);
    r.number(bFactor, 6, 2);
}

// Columns 67-80 and the line end: the element symbol and the charge.
void writeTail(PdbRecord& r, const char* element, const char* charge) {
    r.text("", 10, false);
    r.text(element, 2, false);
    r.text(charge, 0, false);
    r.one('\n');
}

void writeTail(PdbRecord& r, const InputAtom& a) {
    char charge[3] = "  ";
    if (a.charge != 0 && a.charge >= -9 && a.charge <= 9) {
        charge[0] = static_cast<char>('0' + (a.charge < 0 ? -a.charge : a.charge));
        charge[1] = a.charge < 0 ? '-' : '+';
    }
    writeTail(r, a.element.size() <= 2 ? a.element.c_str() : "", charge);
}

constexpr std::size_t kRecordBytes = 81;  // a record with its line end

// The record held without its text: false when its text would not be one
// record of kRecordBytes (formatAtomRecord then says why). Only the first
// 30 columns and the last 15 are written: with fieldsFit, the numbers take
// exactly their 36 columns.
bool holdRecord(const InputAtom& a, char chain, int serial, HeldRecord& held) {
    PdbRecord head;
    writeHead(head, a, chain, serial);
    PdbRecord tail;
    writeTail(tail, a);
    if (head.n != held.head.size() || tail.n != 15) return false;
    std::memcpy(held.head.data(), head.line, held.head.size());
    held.x = fixedValue(a.x, 3);
    held.y = fixedValue(a.y, 3);
    held.z = fixedValue(a.z, 3);
    held.occupancy = static_cast<double>(a.occupancy);
    held.bFactor = static_cast<double>(a.bFactor);
    std::memcpy(held.element.data(), tail.line + 10, 2);
    std::memcpy(held.charge.data(), tail.line + 12, 2);
    return true;
}

// Calls visit(atom, chain ID, serial) for each atom the layout writes, in
// the order written, until it returns false; false then.
template <typename Visit>
bool forEachWritten(const InputStructure& s, const ChainLayout& layout,
                    const std::vector<AtomRun>& runs, Visit&& visit) {
    int position = 0;
    for (int pass = 0; pass < layout.passes; ++pass)
        for (const AtomRun& run : runs) {
            const std::size_t c = static_cast<std::size_t>(run.chain);
            if (layout.passOf[c] != pass) continue;
            for (std::size_t i = run.begin; i < run.end; ++i) {
                const InputAtom& a = s.atoms[i];
                ++position;
                if (!visit(a, layout.idOf[c], a.serial > 0 ? a.serial : position)) return false;
            }
        }
    return true;
}

// A record that does not fit its columns is left out when it is a hetero
// atom's whose coordinates fit (the engine never measures hetero atoms);
// any other ends the writing.
bool leftOut(const InputAtom& a, int& skipped) {
    if (!a.hetero || !coordinatesFit(a)) return false;
    ++skipped;
    return true;
}

// writePdb into a workspace in memory: the records held, with no text.
// False with `fallBack` when a record would not be one record of text
// (the text is then written instead, with its reasons).
bool holdPdb(const InputStructure& s, const ChainLayout& layout, Workspace& files,
             const std::string& path, int& skipped, std::string& why,
             const std::vector<AtomRun>& runs, bool& fallBack) {
    std::vector<HeldRecord> records;
    const bool whole = forEachWritten(s, layout, runs, [&](const InputAtom& a, char chain,
                                                           int serial) {
        if (!fieldsFit(a, why)) return leftOut(a, skipped);
        HeldRecord held;
        if (!holdRecord(a, chain, serial, held)) {
            fallBack = true;
            return false;
        }
        records.push_back(held);
        return true;
    });
    if (!whole) {
        if (!fallBack) files.remove(path);
        return false;
    }
    if (files.storeRecords(path, std::move(records))) return true;
    fallBack = true;
    return false;
}

}  // namespace

bool formatAtomRecord(const InputAtom& a, char chain, int serial, std::string& record,
                      std::string& why) {
    if (!fieldsFit(a, why)) return false;
    PdbRecord r;
    writeHead(r, a, chain, serial);
    writeNumbers(r, a.x, a.y, a.z, static_cast<double>(a.occupancy),
                 static_cast<double>(a.bFactor));
    writeTail(r, a);
    if (r.n != kRecordBytes) {
        why = atomLabel(a) + ": a field does not fit the PDB columns";
        return false;
    }
    record.assign(r.line, r.n);
    return true;
}

std::string heldRecordsText(const std::vector<HeldRecord>& records) {
    std::string text;
    text.reserve(records.size() * kRecordBytes + 4);
    for (const HeldRecord& held : records) {
        PdbRecord r;
        std::memcpy(r.line, held.head.data(), held.head.size());
        r.n = held.head.size();
        writeNumbers(r, held.x, held.y, held.z, held.occupancy, held.bFactor);
        const char element[3] = {held.element[0], held.element[1], '\0'};
        const char charge[3] = {held.charge[0], held.charge[1], '\0'};
        writeTail(r, element, charge);
        text.append(r.line, r.n);
    }
    text += "END\n";
    return text;
}

bool writePdb(const InputStructure& s, const ChainLayout& layout, const std::string& path,
              int& skipped, std::string& why) {
    DirectoryWorkspace here;
    return writePdb(s, layout, here, path, skipped, why);
}

bool writePdb(const InputStructure& s, const ChainLayout& layout, Workspace& files,
              const std::string& path, int& skipped, std::string& why,
              const std::vector<AtomRun>* runs) {
    skipped = 0;
    std::vector<AtomRun> own;
    if (!runs) {
        own = atomRuns(s);
        runs = &own;
    }
    if (files.holdsLines()) {  // in memory: the engine reads the records as they are
        bool fallBack = false;
        if (holdPdb(s, layout, files, path, skipped, why, *runs, fallBack)) return true;
        if (!fallBack) return false;
        skipped = 0;
        why.clear();
    }
    File out(files.open(path, "w"));
    bool ok = static_cast<bool>(out);
    std::string record;
    ok = ok && forEachWritten(s, layout, *runs, [&](const InputAtom& a, char chain, int serial) {
        if (!formatAtomRecord(a, chain, serial, record, why)) return leftOut(a, skipped);
        // Written whole: a NUL in a field (an alternate location of NUL
        // from a caller's structure) reaches the engine, which refuses the
        // record, rather than cutting the file there.
        if (std::fwrite(record.data(), 1, record.size(), out.get()) == record.size()) return true;
        why = "cannot write " + path;
        return false;
    });
    if (ok) ok = std::fputs("END\n", out.get()) >= 0;
    if (out) {
        const bool clean = std::ferror(out.get()) == 0;
        const bool closed = std::fclose(out.release()) == 0 && clean;
        if (ok && !closed) why = "cannot write " + path;
        ok = ok && closed;
    } else {
        why = "cannot create " + path;
    }
    if (!ok) files.remove(path);
    return ok;
}
