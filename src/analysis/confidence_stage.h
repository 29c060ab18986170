// The predictor's confidence as a stage of the analysis of one structure:
// its files found beside the structure and matched to the structure as
// written once per entry, then measured for every scored interface.
#pragma once

#include "analysis/analysis.h"
#include "confidence/confidence.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// The structure at `path` as the confidence is matched to it. A PDB file
// matched with a token per residue is read by its records that matching
// uses (the analysis copies a plain PDB file to the engine unread, so this
// is the only parse of it); any other file, and a file with an atom record
// without a residue number (whose message names the residue), is read
// whole.
bool readMatchedRecords(const std::string& path, bool tokenPerResidue, InputStructure& s,
                        std::string& why);

class ConfidenceStage {
public:
    // For the structure at `path` (empty: text, which has no files beside it);
    // `label` names it in the messages. Nothing is read until measured.
    ConfidenceStage(std::string path, std::string label, const AnalysisSettings& settings);

    // The part of the entry scored next: whether it is the first model, and
    // the structure as written when the analysis has read it (null: the
    // stage reads the file itself). Only the first model as written has
    // confidence of its own.
    void part(bool firstModel, const InputStructure* asWritten);

    // Fills result.confidence for a scored interface, or says on `out` why
    // it stays empty.
    void measure(InterfaceResult& result, std::FILE* out);

private:
    bool load(std::FILE* out, const std::string& sides, const std::vector<std::string>& one,
              const std::vector<std::string>& two);
    std::string path_, label_;
    std::string loadedFor_;  // the sides it was read for ("" for every pair)
    const AnalysisSettings& settings_;
    bool tried_ = false, ownPart_ = true;
    const InputStructure* asWritten_ = nullptr;
    std::unique_ptr<ConfidenceSource> source_;
};
