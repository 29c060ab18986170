#include "records/details_file.h"

#include "records/score_file.h"

#include <cstdio>

namespace {

std::string number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

std::string count(int value) { return value < 0 ? "" : std::to_string(value); }

std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return text;
}

}  // namespace

std::vector<DetailsField> detailsFields(const InterfaceResult& r, bool confidence) {
    const AnalysisRecord& a = r.analysis;
    const bool both = a.buriedA && a.buriedB;
    const ScoreValues v = scoreValues(r.scores);
    const bool scored = r.status == EntryStatus::Scored;
    std::vector<DetailsField> fields{
        {"name", oneLine(r.name), false},
        {"sides", oneLine(r.sides), false},
        {"status", statusCode(r.status), false},
        {"atoms_A", count(r.atomsA), true},
        {"atoms_B", count(r.atomsB), true},
        {"interface_atoms_A", count(a.interfaceAtomsA), true},
        {"interface_atoms_B", count(a.interfaceAtomsB), true},
        {"buried_A", a.buriedA ? number(r.scores.buriedAreaA) : "", true},
        {"buried_B", a.buriedB ? number(r.scores.buriedAreaB) : "", true},
        {"interface_area", both ? number(v.area) : "", true},
        {"packing_ratio", a.sums ? number(r.scores.packingSum) : "", true},
        {"complementarity", a.sums ? number(r.scores.complementaritySum) : "", true},
        {"KAV", scored ? number(v.kav) : "", true},
        {"ZUr", scored ? number(v.zur) : "", true},
        {"triangles_A", count(a.trianglesA), true},
        {"triangles_B", count(a.trianglesB), true},
        {"seconds", number(r.seconds), true},
    };
    if (!confidence) return fields;
    const ConfidenceRecord* c = r.confidence.get();
    const auto value = [c](double ConfidenceRow::*field) {
        return c ? number(c->both.*field) : std::string();
    };
    const auto given = [c](double v) { return c && v >= 0.0 ? number(v) : std::string(); };
    fields.insert(fields.end(), {
        {"predictor", c ? c->predictor : "", false},
        {"iptm", c ? given(c->iptm) : "", true},
        {"ptm", c ? given(c->ptm) : "", true},
        {"ipsae", value(&ConfidenceRow::ipsae), true},
        {"ipsae_ab", c ? number(c->ab.ipsae) : "", true},
        {"ipsae_ba", c ? number(c->ba.ipsae) : "", true},
        {"ipsae_d0chn", value(&ConfidenceRow::ipsaeD0chn), true},
        {"ipsae_d0dom", value(&ConfidenceRow::ipsaeD0dom), true},
        {"iptm_d0chn", value(&ConfidenceRow::iptmD0chn), true},
        {"pdockq", value(&ConfidenceRow::pdockq), true},
        {"pdockq2", value(&ConfidenceRow::pdockq2), true},
        {"lis", value(&ConfidenceRow::lis), true},
        {"ipae", value(&ConfidenceRow::ipae), true},
        {"interface_plddt", c && c->both.contacts > 0 ? number(c->both.interfacePlddt) : "", true},
    });
    return fields;
}

std::string detailsHeader(bool confidence) {
    std::string line;
    for (const DetailsField& f : detailsFields(InterfaceResult{}, confidence)) {
        if (!line.empty()) line += '\t';
        line += f.name;
    }
    return line + "\n";
}

std::string detailsRow(const InterfaceResult& result, bool confidence) {
    std::string line;
    bool first = true;
    for (const DetailsField& f : detailsFields(result, confidence)) {
        if (!first) line += '\t';
        first = false;
        line += f.value;
    }
    return line + "\n";
}
