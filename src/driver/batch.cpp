#include "driver/batch.h"

#include "common/text_file.h"
#include "driver/control_files.h"
#include "driver/engine.h"
#include "driver/score_file.h"
#include "driver/workfiles.h"
#include "interface/pipeline.h"
#include "structure/extract.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <unistd.h>

namespace {

// Room for the interface atoms of one subunit; SC_P grows it if ever needed.
constexpr std::size_t kInterfacePoints = 10000;

void printUsage() {
    std::printf("\nUSAGE:: ./kav_zur <path of pdb file> <path of naccess program>\n\n"
                "Please make a list of pdb files and name it as pdblist. "
                "Keep that file in the current folder\n\n");
    std::printf("kav_zur measures the interface between the first two chains of protein\n"
                "complexes: the interface area, the packing score KAV and the surface\n"
                "complementarity score ZUr.\n"
                "It comes WITHOUT ANY WARRANTY; without even the implied warranties of\n"
                "MERCHANTABILITY or FITNESS FOR A PARTICULAR PURPOSE (see LICENSE).\n"
                "Contact and documentation: the project's README.md.\n");
}

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

// Why a structure file could not be copied, in a few words.
const char* whyUnreadable(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(path, ec))) return "no such file";
    if (!fs::exists(fs::status(path, ec))) return "a link to nothing";
    if (fs::is_directory(path, ec)) return "a directory, not a structure file";
    if (!fs::is_regular_file(path, ec)) return "not a regular file";
    return "cannot be read";
}

bool isDirectory(const char* path) {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

// Steps of one structure up to its score line. Returns false only when the
// score file no longer takes lines.
bool scoreStructure(const std::string& entry, const std::string& structureDir,
                    const std::string& naccessDir, Analysis analyse,
                    std::vector<InterfacePoint>& points, std::FILE* scoreFile) {
    const std::string path = structureDir + "/" + entry;
    std::printf("Working on %s. ", path.c_str());

    // Whatever the last structure left must not be measured in place of this
    // one: a copy that fails leaves no TEMP.pdb, and the engine run fails.
    removeTempFiles();
    const bool copied = copyFile(path, "TEMP.pdb");

    // A file that cannot be copied is not measured: the engine would fail.
    if (!copied || !runEngine(naccessDir, kControlFiles[0].name, "TEMP.log")) {
        std::printf("\nProblem in NACEESS program ... exiting\n");
        if (!copied) std::printf(" %s: %s\n", path.c_str(), whyUnreadable(path));
        // What the engine found wrong with the copy, TEMP.pdb, of this file.
        else
            for (const std::string& error : engineErrors("TEMP.log"))
                std::printf(" accall: %s\n", error.c_str());
        removeTempFiles();
        return true;
    }
    if (Extract("TEMP.asa") < 0) {
        std::printf("Error in PDB file ... %s\n", path.c_str());
        removeTempFiles();
        return true;
    }
    removeTempFiles();

    ScoreSet scores{};
    if (analyse(points, scores, naccessDir) < 0) {
        // The analysis removes its own files on failure.
        std::printf("Error in PDB file ... %s\n", path.c_str());
        return true;
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
        removeScoredFiles();
        return true;
    }
    const bool written = writeAndFlush(scoreFile, scoreLine(entry, scores));
    removeScoredFiles();
    return written;
}

}  // namespace

int runBatch(int argc, char** argv) { return runBatch(argc, argv, SC_P); }

int runBatch(int argc, char** argv, Analysis analyse) {
    if (argc != 3) {
        printUsage();
        return 2;
    }
    const std::string structureDir = argv[1];
    const std::string naccessDir = argv[2];

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
    File scoreFile = openFile(kScoreFileName, "w");
    if (!scoreFile) {
        std::printf("\nError in opening file for write. !!!\n");
        removeControlFiles();
        return 1;
    }

    bool scoresWritten = writeAndFlush(scoreFile.get(), scoreHeader());
    std::string entry;
    while (scoresWritten && list >> entry)
        scoresWritten = scoreStructure(entry, structureDir, naccessDir, analyse, points,
                                       scoreFile.get());

    const bool closed = std::fclose(scoreFile.release()) == 0;
    removeAllWorkingFiles();
    if (!scoresWritten || !closed) {
        std::printf("\nError in writing file %s. !!!\n", kScoreFileName);
        return 1;
    }
    std::printf("\nFinished\n");
    return 0;
}
