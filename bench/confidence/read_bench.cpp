// The read speed of an AlphaFold3 confidence file (its PAE matrix and
// per-atom pLDDT parsed into the predictor's record), or the steps of the
// confidence of one predicted structure as the analysis takes them (its
// structure read as the stage reads it): best of three, CPU and wall time.
#include "analysis/confidence_stage.h"
#include "confidence/confidence.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <time.h>
#include <filesystem>
#include <functional>

namespace {

struct Times {
    double wall = 1e30, cpu = 1e30;
    double firstCpu = 0;  // the first run's, in memory the process has not touched yet
    long firstFaults = 0;  // the page faults of the first run
};

long pageFaults() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt + u.ru_majflt;
}

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The best of three runs of `step`; false when it fails.
bool best(const std::function<bool()>& step, Times& t) {
    for (int round = 0; round < 3; ++round) {
        const auto wall = std::chrono::steady_clock::now();
        const double cpu = cpuSeconds();
        const long faults = pageFaults();
        if (!step()) return false;
        const double spent = cpuSeconds() - cpu;
        if (round == 0) {
            t.firstCpu = spent;
            t.firstFaults = pageFaults() - faults;
        }
        t.cpu = std::min(t.cpu, spent);
        t.wall = std::min(
            t.wall, std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count());
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string why;
    if (argc == 2) {
        const std::string path = argv[1];
        const PredictorFiles files = findPredictorFiles(path);
        InputStructure s;
        PredictorOutput output;
        ConfidenceSource source;
        ConfidenceRecord record;
        Times read, files_, match, metrics;
        // As the analysis reads them for the first two chains: the structure
        // (whether tokens are residues decides how much of it is read), then
        // the files, with only the values between the two sides parsed.
        const bool perAtom = tokenPerAtom(files.predictor);
        if (!best([&] { return readMatchedRecords(path, !perAtom, s, why); }, read) ||
            !best([&] {
                std::vector<int> sides = tokenChains(s, perAtom);
                for (int& side : sides) side = side < 2 ? side + 1 : 0;
                return readPredictorOutput(files, output, why, sides);
            }, files_) ||
            !best([&] { return matchConfidence(s, output, source, why); }, match) ||
            !best([&] {
                return interfaceConfidence(source, {s.chains[0]}, {s.chains[1]},
                                           ConfidenceCutoffs{}, record, why);
            }, metrics)) {
            std::fprintf(stderr, "confidence_read_bench: %s\n", why.c_str());
            return 1;
        }
        // The first run is what a freshly forked worker pays.
        std::printf("CPU ms, first run [its page faults] (best of three): structure %.2f [%ld] "
                    "(%.2f), confidence files %.2f [%ld] (%.2f), match %.2f [%ld] (%.2f), "
                    "metrics %.2f [%ld] (%.2f)\n",
                    read.firstCpu * 1e3, read.firstFaults, read.cpu * 1e3, files_.firstCpu * 1e3,
                    files_.firstFaults, files_.cpu * 1e3, match.firstCpu * 1e3, match.firstFaults,
                    match.cpu * 1e3, metrics.firstCpu * 1e3, metrics.firstFaults,
                    metrics.cpu * 1e3);
        return 0;
    }
    if (argc != 3) {
        std::fprintf(stderr,
                     "usage: confidence_read_bench CONFIDENCES.json SUMMARY.json\n"
                     "       confidence_read_bench STRUCTURE\n");
        return 2;
    }
    PredictorFiles files;
    files.predictor = "alphafold3";
    files.scores = argv[1];
    files.summary = argv[2];
    const double megabytes = static_cast<double>(std::filesystem::file_size(argv[1])) / 1e6;
    PredictorOutput out;
    Times t;
    if (!best([&] { return readPredictorOutput(files, out, why); }, t)) {
        std::fprintf(stderr, "confidence_read_bench: %s\n", why.c_str());
        return 1;
    }
    std::printf("%zu tokens, %.1f MB: %.3f s CPU (%.0f MB/s), %.3f s wall (%.0f MB/s)\n",
                out.pae.size, megabytes, t.cpu, megabytes / t.cpu, t.wall, megabytes / t.wall);
    return 0;
}
