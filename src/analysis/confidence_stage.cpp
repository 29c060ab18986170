#include "analysis/confidence_stage.h"

#include "input/input_structure.h"
#include "input/raw_text.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <filesystem>

namespace {

// The chain names of "A,C:B", side by side.
bool splitSides(const std::string& sides, std::vector<std::string>& one,
                std::vector<std::string>& two) {
    const std::size_t colon = sides.find(':');
    if (colon == std::string::npos) return false;
    const auto names = [](const std::string& text, std::vector<std::string>& out) {
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = text.find(',', start);
            out.push_back(text.substr(start, comma - start));
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
    };
    names(sides.substr(0, colon), one);
    names(sides.substr(colon + 1), two);
    return true;
}

bool endsWithNoCase(const std::string& text, const char* suffix) {
    const std::size_t n = std::char_traits<char>::length(suffix);
    if (text.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(text[text.size() - n + i])) != suffix[i])
            return false;
    return true;
}

}  // namespace

bool readMatchedRecords(const std::string& path, bool tokenPerResidue, InputStructure& s,
                        std::string& why) {
    const bool gzipped = endsWithNoCase(path, ".gz");
    const std::string name = gzipped ? path.substr(0, path.size() - 3) : path;
    if (!tokenPerResidue || endsWithNoCase(name, ".cif") || endsWithNoCase(name, ".mmcif"))
        return readStructure(path, 0, s, why);
    RawText raw;
    try {
        if (!readRawText(path, gzipped, true, 0, raw, why)) return false;
    } catch (const std::exception& e) {
        why = e.what();
        return false;
    }
    if (raw.residueNumberMissing) return readStructure(path, 0, s, why);
    return readStructureText(residueTokenRecords(raw.text), false, path, 0, s, why);
}

ConfidenceStage::ConfidenceStage(std::string path, std::string label,
                                 const AnalysisSettings& settings)
    : path_(std::move(path)), label_(std::move(label)), settings_(settings) {}

void ConfidenceStage::part(bool firstModel, const InputStructure* asWritten) {
    ownPart_ = firstModel;
    asWritten_ = asWritten;
}

bool ConfidenceStage::load(std::FILE* out, const std::string& sides,
                           const std::vector<std::string>& one,
                           const std::vector<std::string>& two) {
    // Read once for every pair, or once for the one interface: another
    // interface's sides would read other values.
    const std::string key = settings_.allPairs ? std::string() : sides;
    if (tried_ && key == loadedFor_) return source_ != nullptr;
    tried_ = true;
    loadedFor_ = key;
    source_.reset();
    if (path_.empty()) {
        std::fprintf(out, " %s: no confidence files (a structure given as text has none beside it).\n",
                     label_.c_str());
        return false;
    }
    const PredictorFiles files = findPredictorFiles(path_);
    if (!files.unread.empty())
        std::fprintf(out, " %s: %s is a pickled result file, which is not read.\n", label_.c_str(),
                     files.unread.c_str());
    if (files.predictor.empty()) {
        std::string names;
        for (const std::string& n : files.lookedFor) names += (names.empty() ? "" : ", ") + n;
        std::fprintf(out, " %s: no confidence files beside it (looked for %s).\n", label_.c_str(),
                     names.empty() ? "files named after a ColabFold, AlphaFold3 or Boltz structure: "
                                     "X_unrelaxed_rank_NNN_M.pdb, X_model.cif, model.cif, "
                                     "fold_X_model_N.cif or X_model_N.cif"
                                   : names.c_str());
        return false;
    }
    PredictorOutput output;
    std::string why;
    InputStructure s;
    auto source = std::make_unique<ConfidenceSource>();
    // The structure as the predictor wrote it first: the side of each token
    // tells which aligned errors the interfaces read, and only those are
    // parsed. With every pair, each chain is a side; else the interface's.
    const bool perAtom = tokenPerAtom(files.predictor);
    if (!asWritten_ && !readMatchedRecords(path_, !perAtom, s, why)) {
        std::fprintf(out, " %s: confidence not read: %s.\n", label_.c_str(), why.c_str());
        return false;
    }
    const InputStructure& written = asWritten_ ? *asWritten_ : s;
    std::vector<int> sideOfChain(written.chains.size());
    for (std::size_t c = 0; c < sideOfChain.size(); ++c) {
        const std::string& chain = written.chains[c];
        sideOfChain[c] = settings_.allPairs || one.empty() ? static_cast<int>(c) + 1
                         : std::find(one.begin(), one.end(), chain) != one.end() ? 1
                         : std::find(two.begin(), two.end(), chain) != two.end() ? 2
                                                                                 : 0;
    }
    std::vector<int> tokenSides = tokenChains(written, perAtom);
    for (int& side : tokenSides) side = sideOfChain[static_cast<std::size_t>(side)];
    if (!readPredictorOutput(files, output, why, tokenSides)) {
        std::fprintf(out, " %s: confidence not read: %s.\n", label_.c_str(), why.c_str());
        return false;
    }
    const std::string scores = std::filesystem::path(files.scores).filename().string();
    if (!matchConfidence(asWritten_ ? *asWritten_ : s, std::move(output), *source, why)) {
        std::fprintf(out, " %s: confidence not read: %s: %s.\n", label_.c_str(), scores.c_str(),
                     why.c_str());
        return false;
    }
    source->summaryFile = std::filesystem::path(files.summary).filename().string();
    source_ = std::move(source);
    return true;
}

void ConfidenceStage::measure(InterfaceResult& result, std::FILE* out) {
    if (!result.scored()) return;
    if (!ownPart_ || settings_.model > 1 || settings_.crystal) {
        std::fprintf(out, " %s: no confidence of its own (%s).\n", result.name.c_str(),
                     settings_.crystal ? "a crystal interface" : "not the first model");
        return;
    }
    std::vector<std::string> one, two;
    const bool split = splitSides(result.sides, one, two);
    if (!load(out, result.sides, one, two)) return;
    if (split && !settings_.assembly.empty()) {
        // A copy made by an assembly's operator is no chain the predictor saw.
        for (const auto* side : {&one, &two})
            for (const std::string& chain : *side)
                if (std::find(source_->chains.begin(), source_->chains.end(), chain) ==
                    source_->chains.end()) {
                    std::fprintf(out, " %s: no confidence of its own (%s is an assembly copy).\n",
                                 result.name.c_str(), chain.c_str());
                    return;
                }
    }
    ConfidenceRecord record;
    std::string why;
    const ConfidenceCutoffs cutoffs{settings_.paeCutoff, settings_.distCutoff};
    if (one.empty() ||
        !interfaceConfidence(*source_, one, two, cutoffs, record, why)) {
        std::fprintf(out, " %s: no confidence: %s.\n", result.name.c_str(),
                     why.empty() ? "sides unknown" : why.c_str());
        return;
    }
    result.confidence = std::make_shared<const ConfidenceRecord>(record);
}
