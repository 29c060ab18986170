#include "confidence/confidence.h"

#include "common/amino_acids.h"

#include <algorithm>
#include <cmath>
#include <string_view>

namespace {

std::string trimmed(const std::string& s) {
    const std::size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

bool isNucleotide(const std::string& name) {
    for (const char* n : {"DA", "DC", "DT", "DG", "A", "C", "U", "G"})
        if (name == n) return true;
    return false;
}

// The residues a predictor gives one token: the standard amino acids and nucleotides.
bool isStandard(const std::string& name) { return isAminoAcid(name) || isNucleotide(name); }

// CA of an amino acid (carbon: calcium ions are named CA too) or C1' of a nucleotide.
bool isRepresentative(const InputAtom& a) {
    const std::string name = trimmed(a.name);
    return (name == "CA" && (a.element.empty() || a.element == "C")) || name == "C1'";
}

bool isContact(const InputAtom& a, const std::string& resName) {
    const std::string name = trimmed(a.name);
    return name == "CB" || name == "C3'" || (name == "CA" && resName == "GLY");
}

// A residue of the structure as tokens see it: its atoms [first, end), its
// name trimmed, its representative and contact atoms (-1 when absent).
struct ResidueSpan {
    std::size_t first = 0, end = 0;
    std::string name;
    int rep = -1, contact = -1;
};

// The residue whose atoms begin at `first`: the atoms up to the next one of
// another chain, number, insertion code or name.
ResidueSpan residueAt(const InputStructure& s, std::size_t first) {
    ResidueSpan r;
    r.first = first;
    const InputAtom& a0 = s.atoms[first];
    r.end = first + 1;
    while (r.end < s.atoms.size() && s.atoms[r.end].chain == a0.chain &&
           s.atoms[r.end].resSeq == a0.resSeq && s.atoms[r.end].iCode == a0.iCode &&
           s.atoms[r.end].resName == a0.resName)
        ++r.end;
    r.name = trimmed(a0.resName);
    for (std::size_t k = first; k < r.end; ++k) {
        if (r.rep < 0 && isRepresentative(s.atoms[k])) r.rep = static_cast<int>(k);
        if (r.contact < 0 && isContact(s.atoms[k], r.name)) r.contact = static_cast<int>(k);
    }
    return r;
}

// The tokens the residue is: with per-atom tokens a ligand or modified
// residue is one per atom; any other residue is one by its representative
// atom, or none without it.
std::size_t tokensOf(const ResidueSpan& r, bool perAtom) {
    if (perAtom && !isStandard(r.name)) return r.end - r.first;
    return r.rep >= 0 ? 1 : 0;
}

}  // namespace

std::vector<int> tokenChains(const InputStructure& s, bool perAtom) {
    std::vector<int> chains;
    for (std::size_t first = 0; first < s.atoms.size();) {
        const ResidueSpan r = residueAt(s, first);
        chains.insert(chains.end(), tokensOf(r, perAtom), s.atoms[first].chain);
        first = r.end;
    }
    return chains;
}

std::string residueTokenRecords(const std::string& pdb) {
    std::string kept;
    std::string_view chain;  // of the atom record before
    bool atomBefore = false;
    for (std::size_t start = 0; start < pdb.size();) {
        std::size_t end = pdb.find('\n', start);
        end = end == std::string::npos ? pdb.size() : end + 1;
        const std::string_view line(pdb.data() + start, end - start);
        start = end;
        if (line.substr(0, 4) == "ATOM" || line.substr(0, 6) == "HETATM") {
            const std::string_view name = line.size() > 16 ? line.substr(12, 4) : line.substr(0, 0);
            const std::string_view lineChain = line.size() > 22 ? line.substr(20, 2) : line.substr(0, 0);
            std::size_t b = name.find_first_not_of(' ');
            const std::string_view atom =
                b == std::string_view::npos ? name.substr(0, 0)
                                            : name.substr(b, name.find_last_not_of(' ') - b + 1);
            if (atom == "CA" || atom == "CB" || atom == "C1'" || atom == "C3'" || !atomBefore ||
                lineChain != chain)
                kept.append(line);
            chain = lineChain;
            atomBefore = true;
        } else if (line.substr(0, 5) == "MODEL" || line.substr(0, 3) == "TER" ||
                   line.substr(0, 3) == "END") {
            // ENDMDL and END; the atom after a new model starts its chain again.
            kept.append(line);
            atomBefore = false;
        }
    }
    return kept;
}

bool matchConfidence(const InputStructure& s, PredictorOutput output, ConfidenceSource& out,
                     std::string& why) {
    out = ConfidenceSource{};
    const bool perAtom = output.atomTokens;
    if (perAtom && !output.atomPlddt.empty() && output.atomPlddt.size() != s.atoms.size()) {
        why = "the confidence file has pLDDT for " + std::to_string(output.atomPlddt.size()) +
              " atoms, the structure has " + std::to_string(s.atoms.size());
        return false;
    }
    // A residue per token at most: one allocation, in memory a fresh worker
    // touches once.
    out.residues.reserve(output.pae.size);
    std::size_t tokens = 0;
    for (std::size_t first = 0; first < s.atoms.size();) {
        const ResidueSpan span = residueAt(s, first);
        const InputAtom& a0 = s.atoms[first];
        int rep = span.rep, contact = span.contact;
        std::size_t token = tokens;
        if (perAtom && !isStandard(span.name) && rep >= 0)
            token = tokens + static_cast<std::size_t>(rep) - first;
        tokens += tokensOf(span, perAtom);
        if (rep >= 0) {
            if (contact < 0) contact = rep;
            const InputAtom& c = s.atoms[static_cast<std::size_t>(contact)];
            TokenResidue r;
            r.chain = a0.chain;
            r.nucleic = isNucleotide(span.name);
            r.residue.number = a0.resSeq;
            r.residue.name = span.name;
            r.residue.x = c.x;
            r.residue.y = c.y;
            r.residue.z = c.z;
            r.residue.token = token;
            if (!output.atomPlddt.empty()) {
                r.residue.plddt = output.atomPlddt[static_cast<std::size_t>(rep)];
                r.residue.contactPlddt = output.atomPlddt[static_cast<std::size_t>(contact)];
            }
            out.residues.push_back(std::move(r));
        }
        first = span.end;
    }
    if (tokens != output.pae.size) {
        why = "the PAE matrix is " + std::to_string(output.pae.size) + " x " +
              std::to_string(output.pae.size) + ", the structure has " + std::to_string(tokens) +
              (perAtom ? " tokens" : " residues");
        return false;
    }
    if (output.atomPlddt.empty()) {
        if (output.tokenPlddt.size() != tokens) {
            why = "the confidence file has " + std::to_string(output.tokenPlddt.size()) +
                  " pLDDT values, the structure has " + std::to_string(tokens) +
                  (perAtom ? " tokens" : " residues");
            return false;
        }
        for (TokenResidue& r : out.residues)
            r.residue.plddt = r.residue.contactPlddt = output.tokenPlddt[r.residue.token];
    }
    out.predictor = output.predictor;
    out.pae = std::move(output.pae);
    out.iptm = output.iptm;
    out.ptm = output.ptm;
    out.pairIptm = std::move(output.pairIptm);
    out.chains = s.chains;
    return true;
}

bool interfaceConfidence(const ConfidenceSource& source, const std::vector<std::string>& one,
                         const std::vector<std::string>& two, const ConfidenceCutoffs& cutoffs,
                         ConfidenceRecord& out, std::string& why) {
    out = ConfidenceRecord{};
    const auto indexOf = [&](const std::string& name) {
        const auto it = std::find(source.chains.begin(), source.chains.end(), name);
        return it == source.chains.end() ? -1 : static_cast<int>(it - source.chains.begin());
    };
    std::vector<int> chainsOne, chainsTwo;
    for (const std::string& c : one) chainsOne.push_back(indexOf(c));
    for (const std::string& c : two) chainsTwo.push_back(indexOf(c));
    std::vector<ConfidenceResidue> a, b;
    bool nucleic = false;
    for (const TokenResidue& r : source.residues) {
        const bool inOne = std::find(chainsOne.begin(), chainsOne.end(), r.chain) != chainsOne.end();
        const bool inTwo = std::find(chainsTwo.begin(), chainsTwo.end(), r.chain) != chainsTwo.end();
        if (inOne) a.push_back(r.residue);
        if (inTwo) b.push_back(r.residue);
        if ((inOne || inTwo) && r.nucleic) nucleic = true;
    }
    if (a.empty() || b.empty()) {
        why = std::string("side ") + (a.empty() ? "one" : "two") +
              " has no residue of the confidence files";
        return false;
    }
    out.predictor = source.predictor;
    out.ptm = source.ptm;
    out.ab = directionRow(a, b, source.pae, nucleic, cutoffs);
    out.ba = directionRow(b, a, source.pae, nucleic, cutoffs);
    out.both = combinedRow(out.ab, out.ba);
    // The pair's own ipTM where the predictor gives one per chain pair and
    // each side is one chain (AlphaFold3: the b->a entry; Boltz: the larger
    // direction); else the global value.
    out.iptm = source.iptm;
    if (chainsOne.size() == 1 && chainsTwo.size() == 1 && !source.pairIptm.empty()) {
        const auto at = [&](int i, int j) -> double {
            const auto& m = source.pairIptm;
            if (i < 0 || j < 0 || static_cast<std::size_t>(i) >= m.size() ||
                static_cast<std::size_t>(j) >= m[static_cast<std::size_t>(i)].size())
                return NAN;
            return m[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)];
        };
        const int i = chainsOne[0], j = chainsTwo[0];
        const double value = source.predictor == "boltz" ? std::max(at(i, j), at(j, i)) : at(j, i);
        if (std::isnan(value)) {
            why = source.summaryFile + ": gives no ipTM for chains " + one[0] + " and " + two[0];
            return false;
        }
        out.iptm = value;
    }
    return true;
}
