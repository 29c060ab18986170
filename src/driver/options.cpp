#include "driver/options.h"

#include <getopt.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <climits>
#include <cstdlib>
#include <cstring>

#ifndef KAVZUR_VERSION
#define KAVZUR_VERSION "unknown"
#endif

namespace {

// More workers than this only add processes that wait for the disk.
constexpr int kMaxJobs = 256;

// One option: its getopt_long entry and its help text side by side, so that
// --help cannot drift from the parser.
struct OptionSpec {
    const char* name;
    int key;            // the short letter, or a value above 255 for long-only options
    const char* value;  // the value's name in --help; nullptr for a flag
    const char* help;
};

enum : int {
    kModel = 256, kChains, kAllPairs, kDetails, kResume, kShard, kReport, kEngine, kVersion, kProgress,
    kNoProgress, kAssembly, kCrystal, kFreshAreas, kConfidence, kPaeCutoff, kDistCutoff,
    kMseAsMet
};

constexpr OptionSpec kOptions[] = {
    {"chains", kChains, "H,L:A",
     "score chains H and L (side one) against chain A (side\n"
     "two) in every entry; a side's chains are taken in file\n"
     "order, as one subunit"},
    {"all-pairs", kAllPairs, nullptr,
     "score every pair of chains in contact (two heavy\n"
     "ATOM-record atoms within 5 A), one line per pair, named\n"
     "\"<entry> A:B\""},
    {"model", kModel, "N", "use model N (1-based) instead of the first model; 'all':\n"
                           "every model, one line each, named \"<entry> model N\"\n"
                           "(with --all-pairs \"<entry> model N A:B\")"},
    {"assembly", kAssembly, "ID",
     "score biological assembly ID (mmCIF _pdbx_struct_assembly,\n"
     "PDB REMARK 350) instead of the chains as written; the copy\n"
     "of chain A by operator 2 is chain A-2 (--chains A:A-2)"},
    {"crystal", kCrystal, nullptr,
     "with --all-pairs: every interface of the crystal, each\n"
     "chain against every chain and symmetry copy in contact,\n"
     "each interface once, named \"<entry> A:B 7_555\""},
    {"confidence", kConfidence, nullptr,
     "add the structure predictor's confidence of each\n"
     "interface (ipTM, ipSAE, pDockQ, pDockQ2, LIS, interface\n"
     "pLDDT) to the details file and the report, from the\n"
     "ColabFold, AlphaFold3 or Boltz files beside each\n"
     "structure (see \"Predicted complexes\" in the manual)"},
    {"pae-cutoff", kPaeCutoff, "A",
     "with --confidence: the PAE cut-off of ipSAE in angstroms\n"
     "(default 10)"},
    {"dist-cutoff", kDistCutoff, "A",
     "with --confidence: the distance cut-off of ipSAE's\n"
     "residue counts in angstroms (default 10)"},
    {"mse-as-met", kMseAsMet, nullptr,
     "read selenomethionine (MSE, ATOM or HETATM) as methionine,\n"
     "its SE as SD, so that it counts as protein; plain .pdb\n"
     "files are then read, not copied"},
    {"jobs", 'j', "N", "score N structures at a time, each in a private working\n"
                       "directory (0: one per usable core; default 1)"},
    {"details", kDetails, "FILE",
     "write a tab-separated record of every entry, scored or not"},
    {"resume", kResume, nullptr,
     "keep the score file (and details file) of an interrupted\n"
     "run and score only the entries not yet recorded there"},
    {"shard", kShard, "K/N",
     "score only part K of N contiguous parts of pdblist;\n"
     "'slurm' takes K and N from the SLURM array task"},
    {"report", kReport, "DIR",
     "write what the analysis saw of each scored entry to\n"
     "DIR/<entry>/ (interface atoms and residues, surfaces,\n"
     "views)"},
    {"engine", kEngine, "HOW",
     "'program': run <NACCESS directory>/accall as a program\n"
     "for every engine run, even when it is the bundled engine\n"
     "(by default that one runs inside kav_zur, same results)"},
    {"fresh-areas", kFreshAreas, nullptr,
     "measure every atom in every engine run: copy no area\n"
     "between the runs of an entry's interfaces (the same\n"
     "results, more time; for checking that)"},
    {"progress", kProgress, nullptr,
     "a line on standard error, rewritten in place: the list\n"
     "entries done of this run's, scored and failed, the rate\n"
     "and the time left; then a summary after \"Finished\".\n"
     "The default when standard error is a terminal"},
    {"no-progress", kNoProgress, nullptr, "show neither, even on a terminal"},
    {"help", 'h', nullptr, "print this help and exit"},
    {"version", kVersion, nullptr, "print the version and exit"},
};

constexpr const char* kUsageLine =
    "Usage: kav_zur [options] <structure directory> <NACCESS directory>\n";

void printHelp() {
    printUsage(stdout);
    std::printf("%s\n"
                "Scores the structures named in ./pdblist (names relative to the structure\n"
                "directory) and writes KAV_ZUr_score.txt in the working directory. Files\n"
                "ending in .cif, .mmcif, .ent or .gz are read as mmCIF or PDB (gzipped or\n"
                "not); plain .pdb files are copied as they are.\n\nOptions:\n",
                kUsageLine);
    for (const OptionSpec& o : kOptions) {
        std::string left = "  ";
        if (o.key < 256) left += std::string("-") + static_cast<char>(o.key) + ", ";
        left += std::string("--") + o.name;
        if (o.value) left += std::string(" ") + o.value;
        std::printf("%-22s", left.c_str());
        if (left.size() >= 22) std::printf("\n%-22s", "");
        for (const char* h = o.help; *h; ++h) {
            std::putchar(*h);
            if (*h == '\n') std::printf("%-22s", "");
        }
        std::putchar('\n');
    }
    std::printf("\nExit status: 0 when the list was worked through (some structures may have\n"
                "failed: see the console), 1 when the run cannot work, 2 for a wrong command\n"
                "line. See docs/manual.md for the scores, the files and every message.\n");
}

// A wrong command line: one line naming the fault, the usage text, exit 2.
__attribute__((format(printf, 1, 2))) int usageError(const char* format, ...) {
    std::fputs("kav_zur: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    std::fputs(kUsageLine, stderr);
    std::fputs("Try 'kav_zur --help' for more information.\n", stderr);
    return 2;
}

// What getopt_long refused in a long option word ("--name" or
// "--name=value"): a flag given a value, an abbreviation that several
// options share, or a name it does not know. An exact name wins over the
// longer names it begins, as in getopt_long.
std::string longOptionFault(const char* word) {
    const std::string text = word + 2;
    const std::size_t equals = text.find('=');
    const std::string name = text.substr(0, equals);
    std::vector<const OptionSpec*> matches;
    for (const OptionSpec& o : kOptions) {
        if (name == o.name) {
            matches.assign(1, &o);
            break;
        }
        if (!name.empty() && std::strncmp(o.name, name.c_str(), name.size()) == 0)
            matches.push_back(&o);
    }
    if (matches.size() == 1 && equals != std::string::npos && !matches[0]->value)
        return std::string("option '--") + matches[0]->name + "' takes no value";
    if (matches.size() > 1) {
        std::string names;
        for (const OptionSpec* o : matches) names += (names.empty() ? "--" : ", --") + std::string(o->name);
        return "option '--" + name + "' is ambiguous (" + names + ")";
    }
    return "unknown option '--" + name + "'";
}

// A whole decimal number in [low, high], nothing else (no blanks or sign
// before it, which strtol would let through).
// A cut-off in angstroms: a finite number above 0, the whole text read.
bool parseCutoff(const char* text, double& value) {
    if (!text || !*text) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || !(v > 0.0)) return false;
    value = v;
    return true;
}

bool parseInt(const char* text, long low, long high, int& value) {
    if (!text || *text < '0' || *text > '9') return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high) return false;
    value = static_cast<int>(v);
    return true;
}

// K/N from the array task variables of SLURM, whatever index the array
// starts at and whatever its step: the tasks min, min + step, ..., max are
// parts 1, 2, ..., N. An array of other indices (a list such as 3,7 that
// resubmits some tasks) has no such numbering: the part of each task would
// silently change, so it is refused.
bool shardFromSlurm(Shard& shard, std::string& why) {
    const char* id = std::getenv("SLURM_ARRAY_TASK_ID");
    const char* min = std::getenv("SLURM_ARRAY_TASK_MIN");
    const char* max = std::getenv("SLURM_ARRAY_TASK_MAX");
    const char* count = std::getenv("SLURM_ARRAY_TASK_COUNT");
    const char* step = std::getenv("SLURM_ARRAY_TASK_STEP");
    int taskId = 0, taskMin = 0, taskMax = 0, taskCount = 0, taskStep = 1;
    if (!parseInt(id, 0, INT_MAX, taskId) || !parseInt(min, 0, INT_MAX, taskMin)) {
        why = "not inside a SLURM array task (SLURM_ARRAY_TASK_ID and SLURM_ARRAY_TASK_MIN "
              "are not set)";
        return false;
    }
    if (step && !parseInt(step, 1, INT_MAX, taskStep)) {
        why = "SLURM_ARRAY_TASK_STEP is not a positive number";
        return false;
    }
    const bool hasMax = parseInt(max, taskMin, INT_MAX, taskMax);
    const bool hasCount = parseInt(count, 1, INT_MAX, taskCount);
    if (!hasMax && !hasCount) {
        why = "SLURM_ARRAY_TASK_MAX and SLURM_ARRAY_TASK_COUNT are not set";
        return false;
    }
    const long span = hasMax ? static_cast<long>(taskMax) - taskMin
                             : (static_cast<long>(taskCount) - 1) * taskStep;
    const long tasks = span / taskStep + 1;
    if (span % taskStep != 0 || (hasCount && taskCount != tasks) || tasks > INT_MAX) {
        why = "the array's task indices are not one range MIN-MAX:STEP (give --shard K/N)";
        return false;
    }
    const long offset = static_cast<long>(taskId) - taskMin;
    if (offset < 0 || offset > span || offset % taskStep != 0) {
        why = "the array task index lies outside the array";
        return false;
    }
    shard.index = static_cast<int>(offset / taskStep + 1);
    shard.count = static_cast<int>(tasks);
    shard.fromSlurm = true;
    return true;
}

bool parseShard(const char* text, Shard& shard, std::string& why) {
    if (std::strcmp(text, "slurm") == 0) return shardFromSlurm(shard, why);
    const char* slash = std::strchr(text, '/');
    why = "expected K/N with 1 <= K <= N, or slurm";
    if (!slash) return false;
    const std::string k(text, slash);
    if (!parseInt(k.c_str(), 1, INT_MAX, shard.index) || !parseInt(slash + 1, 1, INT_MAX, shard.count))
        return false;
    return shard.index <= shard.count;
}

// The cores this process may run on (a SLURM task's share, a taskset), not
// every core of the machine.
int availableCores() {
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0 && CPU_COUNT(&allowed) >= 1)
        return CPU_COUNT(&allowed);
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n < 1 ? 1 : static_cast<int>(n);
}

}  // namespace

void printUsage(std::FILE* out) {
    std::fprintf(out, "\nUSAGE:: ./kav_zur <path of pdb file> <path of naccess program>\n\n"
                      "Please make a list of pdb files and name it as pdblist. "
                      "Keep that file in the current folder\n\n");
    std::fprintf(out,
                 "kav_zur measures the interface between the first two chains of protein\n"
                 "complexes: the interface area, the packing score KAV and the surface\n"
                 "complementarity score ZUr.\n"
                 "It comes WITHOUT ANY WARRANTY; without even the implied warranties of\n"
                 "MERCHANTABILITY or FITNESS FOR A PARTICULAR PURPOSE (see LICENSE).\n"
                 "Contact and documentation: the project's README.md.\n");
}

int parseOptions(int argc, char** argv, Options& options) {
    options = {};
    std::vector<option> table;
    std::string shortOptions = "+:";  // stop at the first directory; report missing values
    for (const OptionSpec& o : kOptions) {
        table.push_back({o.name, o.value ? required_argument : no_argument, nullptr, o.key});
        if (o.key < 256) shortOptions += std::string(1, static_cast<char>(o.key)) + (o.value ? ":" : "");
    }
    // "--d" meant --details alone until --dist-cutoff came: an exact name of
    // its own keeps the command lines that use it (not shown in --help).
    table.push_back({"d", required_argument, nullptr, kDetails});
    table.push_back({nullptr, 0, nullptr, 0});

    opterr = 0;  // messages are ours
    optind = 0;  // a full restart of getopt, for runs made one after the other in a process
    std::string why;
    bool cutoffGiven = false;
    int key;
    while ((key = getopt_long(argc, argv, shortOptions.c_str(), table.data(), nullptr)) != -1) {
        const char* value = optarg;
        switch (key) {
        case 'h': printHelp(); return 0;
        case kVersion: std::printf("kav_zur %s\n", KAVZUR_VERSION); return 0;
        case kModel:
            options.allModels = std::strcmp(value, "all") == 0;
            if (!options.allModels && !parseInt(value, 1, INT_MAX, options.model))
                return usageError("--model: '%s' is not a model number (1, 2, ...) or 'all'", value);
            if (options.allModels) options.model = 0;
            break;
        case kAssembly:
            if (!*value) return usageError("--assembly: the assembly ID is empty");
            options.assembly = value;
            break;
        case kCrystal: options.crystal = true; break;
        case kMseAsMet: options.mseAsMet = true; break;
        case kChains:
            if (!parseChainSides(value, options.chains, why))
                return usageError("--chains: '%s': %s", value, why.c_str());
            break;
        case kAllPairs: options.allPairs = true; break;
        case kConfidence: options.confidence = true; break;
        case kPaeCutoff:
        case kDistCutoff: {
            double& cutoff = key == kPaeCutoff ? options.paeCutoff : options.distCutoff;
            if (!parseCutoff(value, cutoff))
                return usageError("%s: '%s' is not a distance in angstroms (a number above 0)",
                                  key == kPaeCutoff ? "--pae-cutoff" : "--dist-cutoff", value);
            cutoffGiven = true;
            break;
        }
        case 'j':
            if (!parseInt(value, 0, INT_MAX, options.jobs))
                return usageError("--jobs: '%s' is not a number of jobs (0 or more)", value);
            if (options.jobs == 0) options.jobs = availableCores();
            if (options.jobs > kMaxJobs) {
                std::fprintf(stderr, "kav_zur: --jobs %s is more than %d; using %d\n", value,
                             kMaxJobs, kMaxJobs);
                options.jobs = kMaxJobs;
            }
            break;
        case kDetails:
            if (!*value) return usageError("--details: the file name is empty");
            options.detailsPath = value;
            break;
        case kResume: options.resume = true; break;
        case kFreshAreas: options.freshAreas = true; break;
        case kProgress: options.progress = 1; break;
        case kNoProgress: options.progress = 0; break;
        case kShard:
            if (!parseShard(value, options.shard, why))
                return usageError("--shard: '%s': %s", value, why.c_str());
            break;
        case kReport:
            if (!*value) return usageError("--report: the directory name is empty");
            options.reportDir = value;
            break;
        case kEngine:
            if (std::strcmp(value, "program") != 0)
                return usageError("--engine: '%s' is not a way to run the engine (program)",
                                  value);
            options.engineProgram = true;
            break;
        case ':': {
            const char* name = argv[optind - 1];
            return usageError("option '%s' needs a value", name);
        }
        default: {
            // optopt is the short letter of an unknown short option; for a
            // long option it is 0 (unknown, ambiguous) or the key of a flag
            // given a value ('h' for --help=1).
            const char* word = argv[optind - 1];
            const bool longWord = std::strncmp(word, "--", 2) == 0 &&
                                  (optopt == 0 || optopt >= 256 || optopt == 'h');
            if (longWord) return usageError("%s", longOptionFault(word).c_str());
            return usageError("unknown option '-%c'", optopt);
        }
        }
    }
    if (options.allPairs && !options.chains.empty())
        return usageError("--chains and --all-pairs exclude each other");
    if (options.crystal && !options.allPairs)
        return usageError("--crystal needs --all-pairs (it scores every interface of the crystal)");
    if (cutoffGiven && !options.confidence)
        return usageError("--pae-cutoff and --dist-cutoff need --confidence");
    if (options.confidence && options.detailsPath.empty() && options.reportDir.empty())
        return usageError("--confidence needs --details or --report (its columns go there)");
    if (options.crystal && !options.assembly.empty())
        return usageError("--crystal and --assembly exclude each other");

    if (argc - optind != 2) {
        printUsage(stdout);
        return 2;
    }
    options.structureDir = argv[optind];
    options.naccessDir = argv[optind + 1];
    return kRunOn;
}
