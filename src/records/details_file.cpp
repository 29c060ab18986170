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

std::vector<DetailsField> detailsFields(const InterfaceResult& r) {
    const AnalysisRecord& a = r.analysis;
    const bool both = a.buriedA && a.buriedB;
    const ScoreValues v = scoreValues(r.scores);
    const bool scored = r.status == EntryStatus::Scored;
    return {
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
}

std::string detailsHeader() {
    std::string line;
    for (const DetailsField& f : detailsFields(InterfaceResult{})) {
        if (!line.empty()) line += '\t';
        line += f.name;
    }
    return line + "\n";
}

std::string detailsRow(const InterfaceResult& result) {
    std::string line;
    bool first = true;
    for (const DetailsField& f : detailsFields(result)) {
        if (!first) line += '\t';
        first = false;
        line += f.value;
    }
    return line + "\n";
}
