// One of the two files that include gemmi (with assembly.cpp): it reads a
// structure file into the program's own InputStructure.
#include "input/input_structure.h"
#include "input/gemmi_structure.h"
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

// Whether `tag` holds an assembly's operator expression ("(1-60)"), read
// number by number.
bool isExpression(const std::string& tag) {
    return gemmi::iequal(tag, "_pdbx_struct_assembly_gen.oper_expression");
}

// Whether a value (a raw token, quotes and all) of `tag` fits where gemmi
// reads it as a number. A token without quotes is read where it lies (no
// copy of every value of a large file): its value is the token itself, or
// empty for a null, which passes as the token does.
bool valueFits(const std::string& tag, bool expression, const std::string& raw, std::string& why) {
    if (!raw.empty() && raw[0] != '"' && raw[0] != '\'' && raw[0] != ';')
        return cifIntegerFits(tag, raw, expression, why);
    return cifIntegerFits(tag, gemmi::cif::as_string(raw), expression, why);
}

// The whole numbers of the categories gemmi reads: false, naming the field
// and value, for one beyond the int range.
bool integersFit(const gemmi::cif::Document& doc, std::string& why) {
    for (const gemmi::cif::Block& block : doc.blocks)
        for (const gemmi::cif::Item& item : block.items) {
            if (item.type == gemmi::cif::ItemType::Pair) {
                if (readByGemmi(item.pair[0]) &&
                    !valueFits(item.pair[0], isExpression(item.pair[0]), item.pair[1], why))
                    return false;
            } else if (item.type == gemmi::cif::ItemType::Loop) {
                const gemmi::cif::Loop& loop = item.loop;
                const std::size_t width = loop.tags.size();
                for (std::size_t c = 0; c < width; ++c) {
                    if (!readByGemmi(loop.tags[c])) continue;
                    const bool expression = isExpression(loop.tags[c]);
                    for (std::size_t v = c; v < loop.values.size(); v += width)
                        if (!valueFits(loop.tags[c], expression, loop.values[v], why)) return false;
                }
            }
        }
    return true;
}

// The mmCIF document of `raw.text` (given up to it): false, with the reason,
// for one without blocks ("no atoms") or with a whole number gemmi cannot
// hold. Notes in `raw` whether an author residue number is given as null,
// which, unlike -999, is no number.
bool readCif(RawText& raw, const std::string& path, gemmi::cif::Document& doc, std::string& why) {
    doc = gemmi::cif::read_memory(raw.text.data(), raw.text.size(), path.c_str());
    std::string().swap(raw.text);
    if (doc.blocks.empty()) {
        why = "no atoms";
        return false;
    }
    if (!integersFit(doc, why)) return false;
    for (gemmi::cif::Block& block : doc.blocks)
        for (const std::string& value : block.find_values("_atom_site.auth_seq_id"))
            if (gemmi::cif::is_null(value)) raw.residueNumberMissing = true;
    return true;
}

void fill(const gemmi::Model& model, bool mseAsMet, InputStructure& out) {
    // Room for every atom at once: grown one by one, the records were
    // copied along the way.
    std::size_t atoms = 0;
    for (const gemmi::Chain& chain : model.chains)
        for (const gemmi::Residue& residue : chain.residues) atoms += residue.atoms.size();
    out.atoms.reserve(out.atoms.size() + atoms);
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
                if (mseAsMet) readAsMethionine(a);
                out.atoms.push_back(std::move(a));
            }
        }
    }
}

}  // namespace

namespace {

// The structure in `raw` (as readRawText gives it), `path` naming it.
bool readRaw(RawText& raw, bool mmcif, const std::string& path, int model, bool mseAsMet,
             InputStructure& out, std::string& why) {
    try {
        std::string& bytes = raw.text;
        if (!mmcif) bytes = coordinateRecords(bytes);
        gemmi::cif::Document doc;
        if (mmcif) {
            if (!readCif(raw, path, doc, why)) return false;
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
        fill(*chosen, mseAsMet, out);
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

}  // namespace

void readAsMethionine(InputAtom& atom) {
    if (atom.resName != "MSE") return;
    atom.resName = "MET";
    atom.hetero = false;
    // " SE" too: a name written a column late, its element guessed as S.
    if (atom.name == "SE" || atom.name == " SE") {
        atom.name = " SD";
        atom.element = "S";
    }
}

bool readStructure(const std::string& path, int model, InputStructure& out, std::string& why,
                   bool mseAsMet) {
    out = InputStructure{};
    const bool mmcif = formatOf(path) == gemmi::CoorFormat::Mmcif;
    RawText raw;
    try {
        if (!readRawText(path, endsWith(path, ".gz"), !mmcif, model, raw, why)) return false;
    } catch (const std::exception& e) {
        why = e.what();
        return false;
    }
    return readRaw(raw, mmcif, path, model, mseAsMet, out, why);
}

bool readStructureText(const std::string& text, bool mmcif, const std::string& name, int model,
                       InputStructure& out, std::string& why, bool mseAsMet) {
    out = InputStructure{};
    RawText raw;
    try {
        if (!readRawTextFrom(text, !mmcif, model, raw, why)) return false;
    } catch (const std::exception& e) {
        why = e.what();
        return false;
    }
    return readRaw(raw, mmcif, name, model, mseAsMet, out, why);
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
        const bool mmcif = formatOf(path) == gemmi::CoorFormat::Mmcif;
        RawText raw;
        if (!readRawText(path, endsWith(path, ".gz"), !mmcif, 0, raw, why)) return false;
        std::string& bytes = raw.text;
        extras.residueNumberMissing = raw.residueNumberMissing;
        if (mmcif) {
            gemmi::cif::Document doc;
            if (!readCif(raw, path, doc, why)) return false;
            extras.residueNumberMissing = raw.residueNumberMissing;
            {
                gemmi::cif::Block& block = doc.blocks.front();
                for (const auto row : block.find("_pdbx_struct_assembly_gen.",
                                                 {"assembly_id", "oper_expression"})) {
                    GeneratorRow gen{row.str(0), row.str(1), {}, {}};
                    parseOperatorExpression(gen.expression, gen.products, gen.why);
                    extras.generatorRows.push_back(std::move(gen));
                }
                std::vector<std::string> operTags = gemmi::impl::transform_tags("matrix", "vector");
                operTags.emplace_back("id");
                for (const auto row : block.find("_pdbx_struct_oper_list.", operTags))
                    extras.operatorList.emplace(row.str(12), gemmi::impl::get_transform_matrix(row));
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
        // gemmi refuses a cell with an angle of 0 or 180 degrees in these
        // words as it reads the cell.
        if (why.rfind("Impossible angle", 0) == 0) why = "the cell's lengths and angles do not make a cell";
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

bool fillInputStructure(const gemmi::Model& model, const FileExtras& extras, InputStructure& out,
                        std::string& why, bool mseAsMet) {
    out = InputStructure{};
    for (const gemmi::Chain& chain : model.chains)
        if (!chainIdPrintable(chain.name, why)) return false;
    for (const gemmi::Chain& chain : model.chains)
        for (const gemmi::Residue& residue : chain.residues)
            if (!residue.seqid.num.has_value() && extras.residueNumberMissing) {
                why = "residue " + residue.name + " of chain " + chain.name + " has no residue number";
                return false;
            }
    fill(model, mseAsMet, out);
    if (out.atoms.empty()) {
        why = "no atoms";
        return false;
    }
    return true;
}
