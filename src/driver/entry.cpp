#include "driver/entry.h"

#include "driver/control_files.h"
#include "driver/converted_entry.h"
#include "driver/engine.h"
#include "driver/pdblist.h"
#include "driver/score_file.h"
#include "common/text_file.h"
#include "driver/workfiles.h"
#include "report/report_writer.h"
#include "structure/extract.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

namespace {

// The engine's files for the copied structure. Only these names are removed
// per structure: scanning the working directory for "TEMP." costs some 40 ms
// when it also holds 100000 structures, and a batch may be that large. Any
// other "TEMP." file an engine leaves goes with the clean-up at the end.
void removeTempFiles() { removeFiles({"TEMP.pdb", "TEMP.log", "TEMP.asa", "TEMP.rsa"}); }

void removeScoredFiles() {
    removeFiles({"Complex.log", "Complex.asa", "Complex.pdb", "ComplexA.log", "ComplexA.asa",
                 "ComplexA.pdb", "ComplexB.log", "ComplexB.asa", "ComplexB.pdb", "ComplexP.log",
                 "ComplexP.asa", "ComplexP.pdb"});
}


// The chain ID (column 22) of a split file's first record; ' ' if none.
char firstChain(const char* name) {
    File f = openFile(name, "r");
    char line[32];
    if (!f || !readPiece(f.get(), line, sizeof line) || std::strlen(line) < 22) return ' ';
    return line[21];
}

}  // namespace

void scorePrepared(const std::string& path, const EntryContext& context, EntryResult& result) {
    const std::string& naccessDir = context.options.naccessDir;
    if (!runEngine(naccessDir, kControlFiles[0].name, "TEMP.log")) {
        std::printf("\nProblem in NACEESS program ... exiting\n");
        // What the engine found wrong with the copy, TEMP.pdb, of this file.
        printEngineErrors("TEMP.log");
        result.status = EntryStatus::EngineFailed;
        removeTempFiles();
        return;
    }
    const int split = Extract("TEMP.asa", result.atomsA, result.atomsB);
    if (split < 0) {
        std::printf("Error in PDB file ... %s\n", path.c_str());
        result.status = split == -2 ? EntryStatus::BlankChain : EntryStatus::SplitFailed;
        removeTempFiles();
        return;
    }
    removeTempFiles();
    if (result.sides.empty() && result.atomsB > 0)
        result.sides = std::string(1, firstChain("ComplexA.pdb")) + ":" + firstChain("ComplexB.pdb");

    ScoreSet& scores = result.scores;
    scores = ScoreSet{};
    // What the analysis saw, kept only when a report is asked for.
    std::unique_ptr<InterfaceReport> report;
    if (!context.options.reportDir.empty()) report = std::make_unique<InterfaceReport>();
    result.analysis.report = report.get();
    const int analysed = context.analyse(context.points, scores, naccessDir, result.analysis);
    result.analysis.report = nullptr;
    if (analysed < 0) {
        // The analysis removes its own files on failure.
        result.status = result.analysis.status;
        if (result.status == EntryStatus::EngineFailed && result.atomsB == 0)
            result.status = EntryStatus::OneChain;
        // What the engine found wrong with a subunit's file; an empty second
        // subunit needs no more words than its atom count.
        if (result.status == EntryStatus::EngineFailed && result.analysis.failedLog)
            printEngineErrors(result.analysis.failedLog);
        std::printf("Error in PDB file ... %s\n", path.c_str());
        return;
    }
    // Buried areas come straight from the engine's area files: only unusable
    // files make them infinite or not a number, and no interface area can be
    // printed then. A packing or complementarity sum of 0/0 is a result of
    // its own (no packing atoms measured, no eligible triangle on one side)
    // and is printed as the C library prints it.
    if (!std::isfinite(scores.buriedAreaA) || !std::isfinite(scores.buriedAreaB)) {
        std::printf("\nBuried areas are not numbers: the engine's area files are unusable ... "
                    "exiting\n"
                    "Error in PDB file ... %s\n",
                    path.c_str());
        result.status = EntryStatus::BadAreas;
        removeScoredFiles();
        return;
    }
    result.status = EntryStatus::Scored;
    result.scoreLine = scoreLine(result.name, scores);
    if (report) writeEntryReport(context.options, result, *report);
    removeScoredFiles();
}

const char* whyUnreadable(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(path, ec))) return "no such file";
    if (!fs::exists(fs::status(path, ec))) return "a link to nothing";
    if (fs::is_directory(path, ec)) return "a directory, not a structure file";
    if (!fs::is_regular_file(path, ec)) return "not a regular file";
    return "cannot be read";
}

void scoreEntry(const std::string& entry, const EntryContext& context,
                std::vector<EntryResult>& results) {
    const auto start = std::chrono::steady_clock::now();
    EntryResult result;
    result.name = entry;
    if (context.recorded && context.recorded(printableName(entry))) return;

    if (const char* why = entryNameProblem(context.options.structureDir, entry)) {
        // Not a name the system can open: nothing is measured for it.
        printEntryNameProblem(context.options.structureDir, entry, why);
        result.name = printableName(entry);
        result.status = EntryStatus::BadName;
        results.push_back(std::move(result));
        return;
    }

    const std::string path = context.options.structureDir + "/" + entry;
    if (needsConversion(entry, context.options)) {
        scoreConvertedEntry(entry, path, context, results);
        return;
    }
    std::printf("Working on %s. ", path.c_str());

    // Whatever the last structure left must not be measured in place of this
    // one: a copy that fails leaves no TEMP.pdb, and the engine run fails.
    removeTempFiles();
    if (!copyFile(path, "TEMP.pdb")) {
        // A file that cannot be copied is not measured: the engine would fail.
        std::printf("\nProblem in NACEESS program ... exiting\n");
        std::printf(" %s: %s\n", path.c_str(), whyUnreadable(path));
        result.status = EntryStatus::NoFile;
        removeTempFiles();
    } else {
        scorePrepared(path, context, result);
    }
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    results.push_back(std::move(result));
}
