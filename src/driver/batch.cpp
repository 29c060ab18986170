#include "driver/batch.h"

#include "driver/options.h"

#include "common/text_file.h"
#include "driver/control_files.h"
#include "driver/engine.h"
#include "driver/score_file.h"
#include "driver/shard.h"
#include "driver/workfiles.h"
#include "interface/pipeline.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <unistd.h>

namespace {

// Room for the interface atoms of one subunit; SC_P grows it if ever needed.
constexpr std::size_t kInterfacePoints = 10000;

void removeAllWorkingFiles() {
    removeControlFiles();
    for (const char* prefix : {"TEMP.", "Complex.", "ComplexA.", "ComplexB.", "ComplexP."})
        removeFilesWithPrefix(prefix);
}

// The engine's three files, checked once: without them every structure
// would fail alike. Returns the path of the first one missing, or "".
std::string missingEngineFile(const std::string& naccessDir) {
    const std::string accall = naccessDir + "/accall";
    std::error_code ec;
    if (!std::filesystem::is_regular_file(accall, ec) || access(accall.c_str(), X_OK) != 0)
        return accall;
    for (const char* data : {"/vdw.radii", "/standard.data"}) {
        const std::string path = naccessDir + data;
        if (!std::filesystem::is_regular_file(path, ec) || access(path.c_str(), R_OK) != 0)
            return path;
    }
    return "";
}

bool isDirectory(const char* path) {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

}  // namespace

int runBatch(int argc, char** argv) {
    return runBatch(argc, argv, AnalysisFunction([](std::vector<InterfacePoint>& points,
                                                    ScoreSet& scores, const std::string& dir,
                                                    AnalysisRecord& record) {
                        return SC_P(points, scores, dir, record);
                    }));
}

int runBatch(int argc, char** argv, Analysis analyse) {
    return runBatch(argc, argv,
                    AnalysisFunction([analyse](std::vector<InterfacePoint>& points,
                                               ScoreSet& scores, const std::string& dir,
                                               AnalysisRecord&) { return analyse(points, scores, dir); }));
}

int runBatch(int argc, char** argv, const AnalysisFunction& analyse) {
    Options options;
    if (const int status = parseOptions(argc, argv, options); status != kRunOn) return status;
    const std::string& naccessDir = options.naccessDir;

    const std::string missing = missingEngineFile(naccessDir);
    if (!missing.empty()) {
        std::printf("\nError in NACCESS directory: %s is missing or not usable. !!!\n",
                    missing.c_str());
        return 1;
    }

    if (const char* failed = writeControlFiles(naccessDir)) {
        std::printf("\nError in writing control file %s. !!!\n", failed);
        removeControlFiles();
        return 1;
    }

    std::vector<InterfacePoint> points(kInterfacePoints);

    // pdblist is opened first, and a run that cannot read it leaves the
    // score file of an earlier run untouched.
    std::ifstream list;
    if (!isDirectory("pdblist")) list.open("pdblist");
    if (!list.is_open()) {
        std::printf("\nError in opening pdblist file. !!!\n");
        removeControlFiles();
        return 1;
    }
    const std::optional<EntryRange> part = shardEntries(list, options.shard);
    if (!part) {
        std::fprintf(stderr, "kav_zur: --shard: pdblist cannot be read a second time (a pipe?)\n");
        removeControlFiles();
        return 1;
    }
    File scoreFile = openFile(kScoreFileName, "w");
    if (!scoreFile) {
        std::printf("\nError in opening file for write. !!!\n");
        removeControlFiles();
        return 1;
    }

    bool scoresWritten = writeAndFlush(scoreFile.get(), scoreHeader());
    const EntryContext context{options, analyse, points};
    std::vector<EntryResult> results;
    std::string entry;
    std::size_t index = 0;
    while (scoresWritten && list >> entry) {
        if (!part->contains(index++)) continue;  // another shard's entry
        results.clear();
        scoreEntry(entry, context, results);
        for (const EntryResult& result : results)
            if (scoresWritten && !result.scoreLine.empty())
                scoresWritten = writeAndFlush(scoreFile.get(), result.scoreLine);
    }

    const bool closed = std::fclose(scoreFile.release()) == 0;
    removeAllWorkingFiles();
    if (!scoresWritten || !closed) {
        std::printf("\nError in writing file %s. !!!\n", kScoreFileName);
        return 1;
    }
    std::printf("\nFinished\n");
    return 0;
}
