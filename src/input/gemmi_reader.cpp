// The only file that includes gemmi: it reads a structure file into the
// program's own InputStructure.
#include "input/input_structure.h"
#include "input/raw_text.h"

#include <gemmi/cif.hpp>
#include <gemmi/mmcif.hpp>
#include <gemmi/pdb.hpp>
#include <gemmi/resinfo.hpp>

#include <exception>
#include <map>
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

// The categories gemmi reads to make a structure; it reads their whole
// numbers into an int without a range check.
constexpr const char* kCategoriesRead[] = {
    "_atom_site.", "_atom_site_anisotrop.", "_atom_sites.", "_diffrn.", "_diffrn_detector.",
    "_diffrn_radiation.", "_diffrn_source.", "_entity.", "_entity_poly.", "_entity_poly_seq.",
    "_exptl.", "_exptl_crystal.", "_pdbx_sifts_xref_db.", "_pdbx_struct_assembly.",
    "_pdbx_struct_assembly_gen.", "_pdbx_struct_assembly_prop.", "_pdbx_struct_oper_list.",
    "_pdbx_struct_sheet_hbond.", "_refine.", "_reflns.", "_software.", "_struct_asym.",
    "_struct_conf.", "_struct_conn.", "_struct_mon_prot_cis.", "_struct_ncs_oper.", "_struct_ref.",
    "_struct_ref_seq.", "_struct_sheet_order.", "_struct_sheet_range."};

bool readByGemmi(const std::string& tag) {
    for (const char* category : kCategoriesRead)
        if (gemmi::istarts_with(tag, category)) return true;
    return false;
}

// Whether a value (a raw token, quotes and all) of `tag` fits where gemmi
// reads it as a number; an assembly's operator expression ("(1-60)") is
// read number by number.
bool valueFits(const std::string& tag, const std::string& raw, std::string& why) {
    const bool expression = gemmi::iequal(tag, "_pdbx_struct_assembly_gen.oper_expression");
    return cifIntegerFits(tag, gemmi::cif::as_string(raw), expression, why);
}

// The whole numbers of the categories gemmi reads: false, naming the field
// and value, for one beyond the int range.
bool integersFit(const gemmi::cif::Document& doc, std::string& why) {
    for (const gemmi::cif::Block& block : doc.blocks)
        for (const gemmi::cif::Item& item : block.items) {
            if (item.type == gemmi::cif::ItemType::Pair) {
                if (readByGemmi(item.pair[0]) && !valueFits(item.pair[0], item.pair[1], why))
                    return false;
            } else if (item.type == gemmi::cif::ItemType::Loop) {
                const gemmi::cif::Loop& loop = item.loop;
                const std::size_t width = loop.tags.size();
                for (std::size_t c = 0; c < width; ++c) {
                    if (!readByGemmi(loop.tags[c])) continue;
                    for (std::size_t v = c; v < loop.values.size(); v += width)
                        if (!valueFits(loop.tags[c], loop.values[v], why)) return false;
                }
            }
        }
    return true;
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
                // gemmi holds -999 as "no number"; readStructure has
                // told that apart from a missing one.
                a.resSeq = residue.seqid.num.has_value() ? residue.seqid.num.value : -999;
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
        const bool mmcif = formatOf(path) == gemmi::CoorFormat::Mmcif;
        RawText raw;
        if (!readRawText(path, endsWith(path, ".gz"), !mmcif, model, raw, why)) return false;
        std::string& bytes = raw.text;
        if (!mmcif) bytes = coordinateRecords(bytes);
        gemmi::cif::Document doc;
        if (mmcif) {
            doc = gemmi::cif::read_memory(bytes.data(), bytes.size(), path.c_str());
            std::string().swap(bytes);
            if (doc.blocks.empty()) {
                why = "no atoms";
                return false;
            }
            if (!integersFit(doc, why)) return false;
            // An author residue number given as null, unlike -999, is none.
            for (gemmi::cif::Block& block : doc.blocks)
                for (const std::string& value : block.find_values("_atom_site.auth_seq_id"))
                    if (gemmi::cif::is_null(value)) raw.residueNumberMissing = true;
        }
        const gemmi::Structure st = mmcif ? gemmi::make_structure(std::move(doc))
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
            if (!chainIdPrintable(chain.name, why)) return false;
        // gemmi keeps -999 as its "no number": a residue without one is
        // -999 unless the file left some number out.
        for (const gemmi::Chain& chain : chosen->chains)
            for (const gemmi::Residue& residue : chain.residues)
                if (!residue.seqid.num.has_value() && raw.residueNumberMissing) {
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
