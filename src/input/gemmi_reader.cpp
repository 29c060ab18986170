// The only file that includes gemmi: it reads a structure file into the
// program's own InputStructure.
#include "input/input_structure.h"

#include <gemmi/cif.hpp>
#include <gemmi/mmcif.hpp>
#include <gemmi/pdb.hpp>
#include <gemmi/resinfo.hpp>
#include <zlib.h>

#include <exception>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string_view>

namespace {

bool endsWith(const std::string& text, const std::string& suffix) {
    if (text.size() < suffix.size()) return false;
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        const char c = text[text.size() - suffix.size() + i];
        if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != suffix[i]) return false;
    }
    return true;
}

// mmCIF by its name; every other file is read as PDB, as the plain batch
// run has always treated its files.
gemmi::CoorFormat formatOf(const std::string& path) {
    std::string base = path;
    if (endsWith(base, ".gz")) base.resize(base.size() - 3);
    return endsWith(base, ".cif") || endsWith(base, ".mmcif") ? gemmi::CoorFormat::Mmcif
                                                               : gemmi::CoorFormat::Pdb;
}

// The file's bytes, a ".gz" decompressed. gemmi's own reader sizes its
// buffer from the gzip trailer and, when a corrupt file's trailer says 0,
// loops without end; zlib read to the end does not. False, with the reason,
// for a file that cannot be read or a stream that zlib rejects or that ends
// early.
bool readBytes(const std::string& path, bool gzipped, std::string& bytes, std::string& why) {
    bytes.clear();
    if (!gzipped) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        if (in) text << in.rdbuf();
        if (!in || in.bad()) {
            why = "cannot be read";
            return false;
        }
        bytes = text.str();
        return true;
    }
    const std::unique_ptr<gzFile_s, int (*)(gzFile)> in(gzopen(path.c_str(), "rb"), gzclose);
    if (!in) {
        why = "cannot be read";
        return false;
    }
    char buffer[1 << 16];
    int n = 0;
    while ((n = gzread(in.get(), buffer, sizeof buffer)) > 0)
        bytes.append(buffer, static_cast<std::size_t>(n));
    int code = Z_OK;
    const char* text = gzerror(in.get(), &code);
    if (n < 0 || (code != Z_OK && code != Z_STREAM_END)) {
        why = std::string("not a readable gzip file (") + (text && *text ? text : "zlib error") + ")";
        bytes.clear();
        return false;
    }
    return true;
}

// The coordinate records of PDB text (ATOM, HETATM, MODEL, ENDMDL, TER,
// END), each with its line end. Nothing else of a PDB file is used here, and
// gemmi's readers of the other records trust their lengths: a LINK record cut
// after column 73 is read past its end.
std::string coordinateRecords(const std::string& text) {
    std::string kept;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string_view line(text.data() + start, end - start);
        for (const char* record : {"ATOM", "HETATM", "MODEL", "ENDMDL", "TER", "END"})
            if (line.substr(0, std::char_traits<char>::length(record)) == record) {
                kept.append(line);
                break;
            }
        start = end;
    }
    return kept;
}

std::string modelsPresent(const gemmi::Structure& st) {
    std::string text = std::to_string(st.models.size()) + " model";
    if (st.models.size() != 1) text += "s";
    text += " (" + st.models.front().name;
    if (st.models.size() > 1) text += (st.models.size() > 2 ? " ... " : ", ") + st.models.back().name;
    return text + ")";
}

// Residues whose records carry no ATOM/HETATM flag (some mmCIF writers leave
// out group_PDB): standard amino acids and nucleotides are ATOM records.
bool isHetero(const gemmi::Residue& residue) {
    if (residue.het_flag == 'H') return true;
    if (residue.het_flag == 'A') return false;
    const gemmi::ResidueInfo info = gemmi::find_tabulated_residue(residue.name);
    return !(info.found() && info.is_standard() && !info.is_water());
}

void fill(const gemmi::Model& model, InputStructure& out) {
    std::map<std::string, int> chainIndex;
    for (const gemmi::Chain& chain : model.chains) {
        const auto [it, added] = chainIndex.emplace(chain.name, static_cast<int>(out.chains.size()));
        if (added) out.chains.push_back(chain.name);
        for (const gemmi::Residue& residue : chain.residues) {
            const bool hetero = isHetero(residue);
            for (const gemmi::Atom& atom : residue.atoms) {
                InputAtom a;
                a.hetero = hetero;
                a.name = atom.padded_name();
                a.altLoc = atom.altloc ? atom.altloc : ' ';
                a.resName = residue.name;
                a.resSeq = residue.seqid.num.value;
                a.iCode = residue.seqid.icode == '\0' ? ' ' : residue.seqid.icode;
                a.x = atom.pos.x;
                a.y = atom.pos.y;
                a.z = atom.pos.z;
                a.occupancy = atom.occ;
                a.bFactor = atom.b_iso;
                a.element = atom.element == gemmi::El::X ? "" : atom.element.uname();
                a.charge = atom.charge;
                a.serial = atom.serial;
                a.chain = it->second;
                out.atoms.push_back(std::move(a));
            }
        }
    }
}

}  // namespace

bool readStructure(const std::string& path, int model, InputStructure& out, std::string& why) {
    out = InputStructure{};
    std::string bytes;
    try {
        if (!readBytes(path, endsWith(path, ".gz"), bytes, why)) return false;
    } catch (const std::exception& e) {
        why = e.what();
        return false;
    }
    return readStructureText(std::move(bytes), formatOf(path) == gemmi::CoorFormat::Mmcif, path,
                             model, out, why);
}

bool readStructureText(std::string bytes, bool mmcif, const std::string& path, int model,
                       InputStructure& out, std::string& why) {
    out = InputStructure{};
    try {
        if (!mmcif) bytes = coordinateRecords(bytes);
        const gemmi::Structure st =
            mmcif
                ? gemmi::make_structure(gemmi::cif::read_memory(bytes.data(), bytes.size(), path.c_str()))
                : gemmi::read_pdb_from_memory(bytes.data(), bytes.size(), path);
        if (st.models.empty()) {
            why = "no atoms";
            return false;
        }
        const gemmi::Model* chosen = &st.models.front();
        if (model != 0) {
            chosen = nullptr;
            for (const gemmi::Model& m : st.models)
                if (m.name == std::to_string(model)) chosen = &m;
            if (!chosen) {
                why = "model " + std::to_string(model) + " does not exist; the file holds " +
                      modelsPresent(st);
                return false;
            }
        }
        for (const gemmi::Chain& chain : chosen->chains)
            for (const gemmi::Residue& residue : chain.residues)
                if (!residue.seqid.num.has_value()) {
                    why = "residue " + residue.name + " of chain " + chain.name +
                          " has no residue number";
                    return false;
                }
        fill(*chosen, out);
    } catch (const std::exception& e) {
        out = InputStructure{};
        why = e.what();
        return false;
    } catch (...) {  // the parser's own exception types, should one escape
        out = InputStructure{};
        why = "unreadable structure file";
        return false;
    }
    if (out.atoms.empty()) {
        out = InputStructure{};
        why = "no atoms";
        return false;
    }
    return true;
}
