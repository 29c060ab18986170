#include "driver/converted_entry.h"

#include "driver/workfiles.h"
#include "input/assembly.h"
#include "input/input_structure.h"
#include "input/pdb_writer.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

using Clock = std::chrono::steady_clock;

bool endsWithNoCase(const std::string& text, const char* suffix) {
    const std::string s = suffix;
    if (text.size() < s.size()) return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = text[text.size() - s.size() + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != s[i]) return false;
    }
    return true;
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void removeEngineInput() { removeFiles({"TEMP.pdb", "TEMP.log", "TEMP.asa", "TEMP.rsa"}); }

// The failure of a whole entry before anything was measured.
void failEntry(EntryResult& result, EntryStatus status, const std::string& path,
               const std::string& why) {
    std::printf("\nError in structure file ... %s: %s\n", path.c_str(), why.c_str());
    result.status = status;
}

// One of the twenty standard amino acids, by its residue name. The residue
// codes of the analysis are no test of this: they read the nucleotide "  A"
// as alanine and "  U" as glutamate.
bool isAminoAcid(const std::string& resName) {
    static const char* const kNames[] = {"ALA", "ARG", "ASN", "ASP", "CYS", "GLN", "GLU",
                                         "GLY", "HIS", "ILE", "LEU", "LYS", "MET", "PHE",
                                         "PRO", "SER", "THR", "TRP", "TYR", "VAL"};
    for (const char* name : kNames)
        if (resName == name) return true;
    return false;
}

// Whether the chains written under `id` hold an amino acid in an ATOM record.
bool hasProteinResidue(const InputStructure& s, const ChainLayout& layout, char id) {
    for (const InputAtom& a : s.atoms)
        if (!a.hetero && layout.passOf[static_cast<std::size_t>(a.chain)] >= 0 &&
            layout.idOf[static_cast<std::size_t>(a.chain)] == id && isAminoAcid(a.resName))
            return true;
    return false;
}

int chainsWithAtomRecords(const InputStructure& s) {
    std::vector<char> has(s.chains.size(), 0);
    for (const InputAtom& a : s.atoms)
        if (!a.hetero) has[static_cast<std::size_t>(a.chain)] = 1;
    int n = 0;
    for (char h : has) n += h;
    return n;
}

// What the usual messages of a failed analysis leave unsaid, for the
// failures whose cause the structure shows. `written` holds the IDs of the
// two subunits as split ("A:B"), when the split got that far.
void explainFailure(const EntryResult& result, const InputStructure& s, const ChainLayout& layout,
                    const std::string& written, const std::string& path) {
    if (result.status == EntryStatus::OneChain) {
        if (chainsWithAtomRecords(s) == 1)
            std::printf(" %s holds one chain, so it has no interface to score.\n", path.c_str());
        else
            std::printf(" %s: the second subunit holds no atom records, so there is no "
                        "interface to score.\n",
                        path.c_str());
        return;
    }
    if (result.status != EntryStatus::NoFrame) return;
    std::string nucleic;
    for (int side = 0; side < 2 && written.size() == 3; ++side) {
        const char id = written[static_cast<std::size_t>(side * 2)];
        if (!hasProteinResidue(s, layout, id)) {
            nucleic += nucleic.empty() ? "" : " and ";
            nucleic += std::string(side ? "side two (" : "side one (") +
                       chainsWrittenAs(s, layout, id) + ")";
        }
    }
    if (!nucleic.empty())
        std::printf(" %s: %s holds no protein residues (DNA/RNA), so no protein residue classes "
                    "span the interface frame.\n",
                    path.c_str(), nucleic.c_str());
    else
        std::printf(" %s: fewer than three protein residue classes of an interface side span "
                    "the interface frame.\n",
                    path.c_str());
}

// The subunit IDs as the split will see them, for a layout of two sides.
std::string sideIds(const InputStructure& s, const ChainLayout& layout) {
    char ids[2] = {' ', ' '};
    for (std::size_t i = 0; i < s.chains.size(); ++i)
        if (layout.passOf[i] >= 0) ids[layout.passOf[i]] = layout.idOf[i];
    return std::string(1, ids[0]) + ":" + ids[1];
}

// Writes the layout as TEMP.pdb and scores it; `label` names the structure
// in the messages.
void scoreLayout(const InputStructure& s, const ChainLayout& layout, const std::string& label,
                 const EntryContext& context, EntryResult& result) {
    removeEngineInput();
    int skipped = 0;
    std::string why;
    if (!writePdb(s, layout, "TEMP.pdb", skipped, why)) {
        failEntry(result, EntryStatus::ReadFailed, label, why);
        return;
    }
    const std::string renames = layoutRenames(s, layout);
    if (!renames.empty()) std::printf("%s", renames.c_str());
    if (skipped > 0)
        std::printf("%d hetero atoms whose residues do not fit PDB columns left out. ", skipped);
    const std::string sidesGiven = result.sides;
    scorePrepared(label, context, result);
    // The split names the subunits by the IDs written; the record wants the
    // file's own chain names.
    const std::string written = layout.passes == 2 ? sideIds(s, layout) : result.sides;
    if (sidesGiven.empty() && written.size() == 3)
        result.sides = chainsWrittenAs(s, layout, written[0]) + ":" +
                       chainsWrittenAs(s, layout, written[2]);
    explainFailure(result, s, layout, written, label);
}

}  // namespace

bool needsConversion(const std::string& entry, const Options& options) {
    if (options.model != 0 || !options.chains.empty() || options.allPairs || options.allModels ||
        !options.assembly.empty())
        return true;
    for (const char* suffix : {".cif", ".mmcif", ".ent", ".gz"})
        if (endsWithNoCase(entry, suffix)) return true;
    return false;
}

void scoreConvertedEntry(const std::string& entry, const std::string& path,
                         const EntryContext& context, std::vector<EntryResult>& results) {
    const auto start = Clock::now();
    const Options& options = context.options;
    // One line of this entry at most: "Working on" before the file is read.
    const bool onePart = !options.allPairs && !options.allModels;
    if (onePart) std::printf("Working on %s. ", path.c_str());

    std::vector<StructurePart> parts;
    std::string why;
    std::error_code ec;
    const bool regular = std::filesystem::is_regular_file(path, ec);
    const StructureChoice choice{options.model, options.allModels, options.assembly,
                                 options.crystal, options.allPairs};
    if (!regular || !readStructureParts(path, choice, parts, why)) {
        EntryResult result;
        result.name = entry;
        if (!onePart) std::printf("Working on %s. ", path.c_str());
        if (!regular) {
            failEntry(result, EntryStatus::NoFile, path, whyUnreadable(path));
        } else {
            failEntry(result, EntryStatus::ReadFailed, path, why);
        }
        removeEngineInput();
        result.seconds = secondsSince(start);
        results.push_back(std::move(result));
        return;
    }

    // Each model (or the one structure) in turn, each pair of it in turn.
    auto partStart = start;
    for (const StructurePart& part : parts) {
        const InputStructure& s = part.structure;
        const std::string suffix = part.label.empty() ? "" : " " + part.label;
        const std::string partPath = path + suffix;
        ChainLayout layout;
        EntryResult result;
        result.name = entry + suffix;
        // --resume: a part of the entry re-entered that is recorded already.
        if (context.recorded && context.recorded(result.name)) continue;
        if (!options.allPairs) {
            if (!onePart) std::printf("Working on %s. ", partPath.c_str());
            const ChainSides& sides = options.chains;
            if (sides.empty()) {
                if (layoutAllChains(s, layout, why))
                    scoreLayout(s, layout, partPath, context, result);
                else
                    failEntry(result, EntryStatus::ReadFailed, partPath, why);
            } else if (layoutSides(s, sides.one, sides.two, layout, why)) {
                result.sides = layoutSidesText(s, layout);
                scoreLayout(s, layout, partPath, context, result);
            } else {
                failEntry(result, EntryStatus::ChainMissing, partPath, why);
            }
            removeEngineInput();
            result.seconds = secondsSince(partStart);
            partStart = Clock::now();
            results.push_back(std::move(result));
            continue;
        }

        if (part.pairs.empty()) {
            std::printf("Working on %s. ", partPath.c_str());
            if (options.crystal)
                failEntry(result, EntryStatus::TooSmall, partPath,
                          "no chain is in contact with a chain or symmetry copy (heavy atoms "
                          "of atom records within 5 A)");
            else if (chainsWithAtomRecords(s) <= 1)
                failEntry(result, EntryStatus::OneChain, partPath,
                          "one chain, so there is no interface to score");
            else
                failEntry(result, EntryStatus::TooSmall, partPath,
                          "no two chains are in contact (heavy atoms of atom records within 5 A)");
            result.seconds = secondsSince(partStart);
            partStart = Clock::now();
            results.push_back(std::move(result));
            continue;
        }
        for (const ChainPair& p : part.pairs) {
            EntryResult pair;
            pair.name = entry + suffix + " " + p.name;
            if (context.recorded && context.recorded(pair.name)) continue;
            const std::string label = partPath + " " + p.name;
            std::printf("Working on %s. ", label.c_str());
            if (layoutSides(s, {s.chains[static_cast<std::size_t>(p.first)]},
                            {s.chains[static_cast<std::size_t>(p.second)]}, layout, why)) {
                pair.sides = p.sides;
                scoreLayout(s, layout, label, context, pair);
            } else {
                failEntry(pair, EntryStatus::ChainMissing, label, why);
            }
            removeEngineInput();
            pair.seconds = secondsSince(partStart);
            partStart = Clock::now();
            results.push_back(std::move(pair));
        }
    }
}
