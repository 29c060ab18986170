// One of the two files that include gemmi (with assembly.cpp): it reads a
// structure file into the program's own InputStructure.
#include "input/input_structure.h"
#include "input/gemmi_structure.h"

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
    try {
        std::string bytes;
        if (!readBytes(path, endsWith(path, ".gz"), bytes, why)) return false;
        if (formatOf(path) == gemmi::CoorFormat::Pdb) bytes = coordinateRecords(bytes);
        const gemmi::Structure st =
            formatOf(path) == gemmi::CoorFormat::Mmcif
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

// What assembly.cpp needs of a file: its whole gemmi structure, the models
// chosen, and each as an InputStructure. Kept apart from readStructure,
// whose text is what a plain run reads.
namespace {

// The coordinate records, and of the other records only those that say how
// to build assemblies and crystal copies: CRYST1, REMARK 290 and 350. Every one
// of the latter is padded to 80 columns, since gemmi's readers of those
// records trust their lengths as its LINK reader does.
std::string symmetryRecords(const std::string& text) {
    std::string kept;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string_view line(text.data() + start, end - start);
        start = end;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
        if (line.substr(0, 6) == "CRYST1" || line.substr(0, 10) == "REMARK 350" ||
            line.substr(0, 10) == "REMARK 290") {
            kept.append(line.substr(0, 80));
            if (line.size() < 80) kept.append(80 - line.size(), ' ');
            kept += '\n';
        } else {
            const std::string record = coordinateRecords(std::string(line) + "\n");
            kept += record;
        }
    }
    return kept;
}

// The numbered operators of REMARK 290 ("REMARK 290       2555   -X,Y+1/2,-Z"),
// in the order of their numbers as listed.
std::vector<std::string> remark290(const gemmi::Structure& st) {
    std::vector<std::string> ops;
    for (const std::string& line : st.raw_remarks) {
        if (line.compare(0, 10, "REMARK 290") != 0) continue;
        std::istringstream words(line.substr(10));
        std::string number, triplet;
        if (!(words >> number >> triplet) || number.size() < 4 ||
            number.compare(number.size() - 3, 3, "555") != 0 ||
            number.find_first_not_of("0123456789") != std::string::npos)
            continue;
        if (number.substr(0, number.size() - 3) != std::to_string(ops.size() + 1)) continue;
        ops.push_back(triplet);
    }
    return ops;
}

}  // namespace

bool readGemmiStructure(const std::string& path, gemmi::Structure& st, FileExtras& extras,
                        std::string& why) {
    extras = FileExtras{};
    try {
        std::string bytes;
        if (!readBytes(path, endsWith(path, ".gz"), bytes, why)) return false;
        if (formatOf(path) == gemmi::CoorFormat::Mmcif) {
            gemmi::cif::Document doc = gemmi::cif::read_memory(bytes.data(), bytes.size(), path.c_str());
            if (!doc.blocks.empty()) {
                gemmi::cif::Block& block = doc.blocks.front();
                for (const auto row : block.find("_pdbx_struct_assembly_gen.",
                                                 {"assembly_id", "oper_expression"}))
                    extras.operatorsAsked.emplace_back(row.str(0),
                                                       gemmi::impl::parse_operation_expr(row.str(1)));
                for (const char* tag : {"_space_group_symop.operation_xyz", "_symmetry_equiv.pos_as_xyz"})
                    if (extras.symmetryOperators.empty())
                        for (const std::string& op : block.find_values(tag))
                            extras.symmetryOperators.push_back(gemmi::cif::as_string(op));
            }
            st = gemmi::make_structure(std::move(doc));
        } else {
            bytes = symmetryRecords(bytes);
            st = gemmi::read_pdb_from_memory(bytes.data(), bytes.size(), path);
            extras.symmetryOperators = remark290(st);
        }
        if (st.models.empty()) {
            why = "no atoms";
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        why = e.what();
    } catch (...) {
        why = "unreadable structure file";
    }
    st = gemmi::Structure{};
    return false;
}

bool chooseModels(const gemmi::Structure& st, int model, bool all,
                  std::vector<const gemmi::Model*>& chosen, std::string& why) {
    chosen.clear();
    if (all) {
        for (const gemmi::Model& m : st.models) chosen.push_back(&m);
        return !chosen.empty();
    }
    if (model == 0) {
        chosen.push_back(&st.models.front());
        return true;
    }
    for (const gemmi::Model& m : st.models)
        if (m.name == std::to_string(model)) chosen.push_back(&m);
    if (chosen.empty()) {
        why = "model " + std::to_string(model) + " does not exist; the file holds " + modelsPresent(st);
        return false;
    }
    chosen.resize(1);
    return true;
}

bool fillInputStructure(const gemmi::Model& model, InputStructure& out, std::string& why) {
    out = InputStructure{};
    for (const gemmi::Chain& chain : model.chains)
        for (const gemmi::Residue& residue : chain.residues)
            if (!residue.seqid.num.has_value()) {
                why = "residue " + residue.name + " of chain " + chain.name + " has no residue number";
                return false;
            }
    fill(model, out);
    if (out.atoms.empty()) {
        why = "no atoms";
        return false;
    }
    return true;
}
