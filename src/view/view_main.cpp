// kav_zur-view: the report of one structure file, without a pdblist. A thin
// front end over the library's analysis (the same one the batch runs): it
// scores the one structure and writes its report files straight into the
// output directory.
#include "analysis/analysis.h"
#include "analysis/control_files.h"
#include "analysis/engine_program.h"
#include "analysis/workspace.h"
#include "records/chain_sides.h"
#include "records/score_file.h"
#include "report/output_check.h"
#include "report/report_files.h"
#include "report/report_writer.h"

#include <getopt.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <memory>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "Usage: kav_zur-view [--chains H,L:A] <structure file> <NACCESS directory> <output directory>\n";

constexpr const char* kHelp =
    "Scores the interface of one structure file as kav_zur does and writes\n"
    "what the analysis saw into <output directory>: complex.pdb, interface.pdb\n"
    "(buried area per atom in the B-factor column), residues.tsv,\n"
    "surface_A.obj, surface_B.obj, pairs.tsv, view.pml (PyMOL), view.cxc\n"
    "(ChimeraX) and summary.json. The score line goes to standard output.\n"
    "\n"
    "  --chains H,L:A  score chains H and L (side one) against chain A (side two)\n"
    "  -h, --help      print this help and exit\n"
    "\n"
    "Exit status: 0 when the structure was scored and its report written, 1\n"
    "when it could not be scored or the report not written, 2 on a wrong\n"
    "command line.\n";

int usageError(const char* what) {
    std::fprintf(stderr, "kav_zur-view: %s\n%s", what, kUsage);
    return 2;
}

// A working directory of its own, removed with everything in it at the end,
// and by a signal that ends the program while its engine runs.
struct ScratchDir;
ScratchDir* gScratch = nullptr;
void removeScratch();

struct ScratchDir {
    fs::path path;
    fs::path previous;
    bool make() {
        std::error_code ec;
        std::string pattern = (fs::temp_directory_path(ec) / "kav_zur-view.XXXXXX").string();
        if (ec || !mkdtemp(pattern.data())) return false;
        path = pattern;
        previous = fs::current_path(ec);
        gScratch = this;
        setSignalCleanup(removeScratch);
        return !ec && chdir(path.c_str()) == 0;
    }
    void remove() {
        if (path.empty()) return;
        std::error_code ec;
        // Out of it first; it goes even when the way back is gone.
        if (previous.empty() || chdir(previous.c_str()) != 0) (void)chdir("/");
        fs::remove_all(path, ec);
        path.clear();
    }
    ~ScratchDir() {
        remove();
        setSignalCleanup(nullptr);
        gScratch = nullptr;
    }
};

void removeScratch() {
    if (gScratch) gScratch->remove();
}

}  // namespace

int main(int argc, char** argv) {
    ChainSides chains;
    static const option longOptions[] = {{"chains", required_argument, nullptr, 'c'},
                                         {"help", no_argument, nullptr, 'h'},
                                         {nullptr, 0, nullptr, 0}};
    opterr = 0;
    int c;
    while ((c = getopt_long(argc, argv, "+:h", longOptions, nullptr)) != -1) {
        if (c == 'h') {
            std::printf("%s\n%s", kUsage, kHelp);
            return 0;
        }
        if (c == 'c') {
            std::string why;
            if (!parseChainSides(optarg, chains, why))
                return usageError(("--chains: " + why).c_str());
            continue;
        }
        if (c == ':') return usageError("an option lacks its value");
        return usageError("unknown option");
    }
    if (argc - optind != 3) return usageError("a structure file and two directories are needed");

    std::error_code ec;
    const fs::path file = fs::absolute(argv[optind], ec);
    const fs::path engine = fs::absolute(argv[optind + 1], ec);
    const fs::path output = fs::absolute(argv[optind + 2], ec);
    if (ec) return usageError("the paths cannot be resolved");
    if (!fs::is_regular_file(file, ec)) {
        std::fprintf(stderr, "kav_zur-view: %s: no such structure file\n", file.c_str());
        return 1;
    }
    // The engine of the batch: the bundled one of this version in this
    // process, any other directory's accall as a program.
    std::unique_ptr<Analyser> analyser;
    try {
        analyser = std::make_unique<Analyser>(EngineSettings{engine.string(), EngineMode::Automatic});
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kav_zur-view: %s\n", e.what());
        return 1;
    }
    // Compared by identity: another name or a link of the input is the input.
    if (const std::string same = reportFileThatIsInput(file, output); !same.empty()) {
        std::fprintf(stderr,
                     "kav_zur-view: %s is the structure file %s: the report would overwrite it; "
                     "choose another output directory\n",
                     (output / same).c_str(), file.c_str());
        return 1;
    }
    std::string why;
    if (!prepareReportDirectory(output.string(), why)) {
        std::fprintf(stderr, "kav_zur-view: %s: %s\n", output.c_str(), why.c_str());
        return 1;
    }
    // An earlier report here must not pass for this one.
    fs::remove(output / kSummaryFile, ec);

    // A program engine works in a directory of its own, with the control
    // files; the in-process one in memory.
    ScratchDir scratch;
    if (!analyser->inProcess()) {
        if (!scratch.make()) {
            std::fprintf(stderr, "kav_zur-view: no working directory can be made\n");
            return 1;
        }
        if (const char* failed = writeControlFiles(engine.string())) {
            std::fprintf(stderr, "kav_zur-view: control file %s cannot be written\n", failed);
            return 1;
        }
    }
    DirectoryWorkspace here;
    MemoryWorkspace memory;
    Workspace& files = analyser->inProcess() ? static_cast<Workspace&>(memory) : here;

    AnalysisSettings settings;
    settings.sideOne = chains.one;
    settings.sideTwo = chains.two;
    settings.report = true;
    bool scored = false, written = false;
    const StructureInput input = StructureInput::file(file.string());
    analyser->score(input, settings, files, stdout, [&](InterfaceResult&& r) {
        if (!r.scored()) return;
        std::printf("\n%s", scoreLine(file.filename().string(), r.scores).c_str());
        scored = true;
        std::string problem;
        written = writeReport(output.string(), r, problem);
        if (!written)
            std::fprintf(stderr, "kav_zur-view: the report of %s is incomplete: %s\n",
                         file.c_str(), problem.c_str());
    });
    if (!scored) {
        std::printf("\n");
        std::fprintf(stderr, "kav_zur-view: %s was not scored: no report\n", file.c_str());
        return 1;
    }
    if (!written) return 1;
    if (!fs::is_regular_file(output / kSummaryFile, ec)) return 1;
    std::printf("Report in %s\n", output.c_str());
    return 0;
}
