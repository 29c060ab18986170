#include "analysis/analysis.h"

#include "analysis/confidence_stage.h"
#include "analysis/structure_analysis.h"
#include "analysis/workspace.h"
#include "common/amino_acids.h"
#include "common/text_file.h"
#include "input/assembly.h"
#include "input/contacts.h"
#include "input/input_structure.h"
#include "input/pdb_writer.h"
#include "report/report_files.h"
#include "sasa/area_cache.h"
#include "structure/extract.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <stdexcept>
#include <system_error>
#include <sys/statvfs.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// Room for the interface atoms of one subunit; SC_P grows it if ever needed.
constexpr std::size_t kInterfacePoints = 10000;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool endsWithNoCase(const std::string& text, const char* suffix) {
    const std::string s = suffix;
    if (text.size() < s.size()) return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = text[text.size() - s.size() + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != s[i]) return false;
    }
    return true;
}

void removeAll(Workspace& files, std::initializer_list<const char*> names) {
    for (const char* name : names) files.remove(name);
}

// The engine's files for the structure to measure. Only these names are
// removed per structure: scanning a working directory that also holds
// 100000 structures costs some 40 ms. Any other "TEMP." file an engine
// leaves goes with the batch's clean-up at the end.
void removeTempFiles(Workspace& files) {
    removeAll(files, {"TEMP.pdb", "TEMP.log", "TEMP.asa", "TEMP.rsa"});
}

void removeScoredFiles(Workspace& files) {
    removeAll(files, {"Complex.log", "Complex.asa", "Complex.pdb", "ComplexA.log", "ComplexA.asa",
                      "ComplexA.pdb", "ComplexB.log", "ComplexB.asa", "ComplexB.pdb",
                      "ComplexP.log", "ComplexP.asa", "ComplexP.pdb"});
}

// The chain ID (column 22) of a split file's first record; ' ' if none.
char firstChain(Workspace& files, const char* name) {
    File f(files.open(name, "r"));
    char line[32];
    if (!f || !readPiece(f.get(), line, sizeof line) || std::strlen(line) < 22) return ' ';
    return line[21];
}

// Copies the structure file at `from` to `name` in the workspace. False when
// it cannot be read or written; a failed copy leaves no `name` behind.
bool copyInto(const std::string& from, Workspace& files, const std::string& name) {
    std::error_code ec;
    if (!fs::is_regular_file(from, ec)) return false;
    if (const std::string* dir = files.directory()) {
        const std::string to = DirectoryWorkspace(*dir).path(name);
        fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
        if (!ec) return true;
        // A short copy says nothing of why: a directory with no room left
        // (before the part copied goes) is a full disk.
        struct statvfs room {};
        const bool full = statvfs(dir->empty() ? "." : dir->c_str(), &room) == 0 &&
                          (room.f_bavail == 0 || (room.f_files > 0 && room.f_favail == 0));
        files.remove(name);
        errno = full ? ENOSPC : ec.value();
        return false;
    }
    // Read in one piece of the file's size (no growth by doubling) and
    // handed over whole.
    std::ifstream in(from, std::ios::binary);
    const std::uintmax_t size = fs::file_size(from, ec);
    std::string text(ec ? 0 : static_cast<std::size_t>(size), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    // A file that grew since its size was taken: the rest too.
    if (in) text.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.is_open() || in.bad() || !files.store(name, std::move(text))) {
        files.remove(name);
        return false;
    }
    return true;
}

// After a working file failed to be written: a full disk or quota is no
// fault of the structure, and the result says so.
void noteFullDisk(InterfaceResult& result) {
    if (errno == ENOSPC || errno == EDQUOT) result.workspaceProblem = std::strerror(errno);
}

// The areas an entry's engine runs share: every interface of one structure
// (or model) is cut from the same atoms. The runs at the usual probe and
// the packing runs at 0.40 A keep tables of their own.
struct EntryAreas {
    sasa::AreaCache accessible, packing;
    void clear() {
        accessible.clear();
        packing.clear();
    }
};

// What one structure's analysis works with.
struct Run {
    const EngineLink& engine;
    Workspace& files;
    ConsoleSink& console;
    const AnalysisSettings& settings;
    const AnalysisHooks& hooks;
    std::vector<InterfacePoint>& points;
    const ResultCallback& onResult;
    const std::function<void(const std::string&, std::size_t)>& onPairs;
    EntryAreas* areas;  // null: no area copied between runs
    ConfidenceStage* confidence;  // with --confidence, else null

    sasa::AreaCache* accessible() const { return areas ? &areas->accessible : nullptr; }
    // One packing run an interface: only an entry of many interfaces can
    // copy packing areas, and a table would only cost the others time.
    sasa::AreaCache* packing() const {
        return areas && settings.allPairs ? &areas->packing : nullptr;
    }

    std::FILE* out() const { return console.file(); }
    void emit(InterfaceResult& result) const {
        if (confidence) confidence->measure(result, out());
        result.messages = console.take();
        onResult(std::move(result));
    }
};

// Whether a number of the score line would be infinite: the sums, or the
// sums over the interface area, in the single precision they are printed in.
bool infiniteScore(const ScoreSet& s) {
    const float area = (s.buriedAreaA + s.buriedAreaB) / 2;
    return std::isinf(s.packingSum) || std::isinf(s.complementaritySum) ||
           std::isinf(s.packingSum / area) || std::isinf(s.complementaritySum / area);
}

// The steps after TEMP.pdb holds the structure to measure: the engine run
// on it, the split and the analysis, with their console messages (`label`
// names the structure in them). Fills `result` (status, atom counts, scores,
// report; `sides` from the split when still empty) and removes every
// working file of the structure.
void scorePrepared(const std::string& label, const Run& run, InterfaceResult& result) {
    Workspace& files = run.files;
    std::FILE* out = run.out();
    // The complex and the subunits are cut from the copy (and the copy of
    // one interface from the entry's atoms): most of their atoms keep
    // surroundings measured before, and their areas are copied.
    // Every engine run of the structure, this one's and the stages', goes
    // through here: which areas each may take from earlier runs is decided
    // once.
    LinkedEngineRuns engine(run.engine, files, out, run.accessible(), run.packing());
    if (!engine.run(kControlFiles[0], "TEMP.log")) {
        std::fprintf(out, "\nProblem in NACEESS program ... exiting\n");
        // What the engine found wrong with the copy, TEMP.pdb, of this file.
        engine.printErrors("TEMP.log");
        result.status = EntryStatus::EngineFailed;
        removeTempFiles(files);
        return;
    }
    files.release("TEMP.log");
    const int split = Extract(files, "TEMP.asa", result.atomsA, result.atomsB, out);
    if (split < 0) {
        std::fprintf(out, "Error in PDB file ... %s\n", label.c_str());
        result.status = split == -2 ? EntryStatus::BlankChain : EntryStatus::SplitFailed;
        removeTempFiles(files);
        return;
    }
    removeTempFiles(files);
    if (result.sides.empty() && result.atomsB > 0)
        result.sides = std::string(1, firstChain(files, "ComplexA.pdb")) + ":" +
                       firstChain(files, "ComplexB.pdb");

    ScoreSet& scores = result.scores;
    scores = ScoreSet{};
    // What the analysis saw, kept only when a report is asked for.
    std::shared_ptr<ReportData> report;
    if (run.settings.report) {
        report = std::make_shared<ReportData>();
        // The complex as scored: both sides, as split (the analysis lets go
        // of the files once measured).
        readWorkFile(files, "ComplexA.pdb", report->subunitA);
        readWorkFile(files, "ComplexB.pdb", report->subunitB);
    }
    result.analysis.report = report ? &report->analysis : nullptr;
    int analysed;
    if (run.hooks.analyse) {
        analysed = (*run.hooks.analyse)(run.points, scores, run.engine.naccessDir, result.analysis);
    } else {
        analysed = SC_P(run.points, scores, AnalysisRun{engine, files, out}, result.analysis);
    }
    result.analysis.report = nullptr;
    if (analysed < 0) {
        // The analysis removes its own files on failure.
        result.status = result.analysis.status;
        // A stand-in analysis may fail without saying why: never "scored".
        if (result.status == EntryStatus::Scored) result.status = EntryStatus::NoTriangles;
        if (result.status == EntryStatus::EngineFailed && result.atomsB == 0)
            result.status = EntryStatus::OneChain;
        // What the engine found wrong with a subunit's file; an empty second
        // subunit needs no more words than its atom count.
        if (result.status == EntryStatus::EngineFailed && result.analysis.failedLog)
            engine.printErrors(result.analysis.failedLog);
        std::fprintf(out, "Error in PDB file ... %s\n", label.c_str());
        return;
    }
    // Buried areas come straight from the engine's area files: only unusable
    // files make them infinite or not a number, and no interface area can be
    // printed then. A packing or complementarity sum of 0/0 is a result of
    // its own (no packing atoms measured, no eligible triangle on one side)
    // and is printed as the C library prints it.
    if (!std::isfinite(scores.buriedAreaA) || !std::isfinite(scores.buriedAreaB)) {
        std::fprintf(out,
                     "\nBuried areas are not numbers: the engine's area files are unusable ... "
                     "exiting\n"
                     "Error in PDB file ... %s\n",
                     label.c_str());
        result.status = EntryStatus::BadAreas;
        removeScoredFiles(files);
        return;
    }
    // Two sides that lie on each other bury every packing atom whole: a
    // packing ratio of volume over no surface, an infinite KAV, which is no
    // score (unlike 0/0 above, which the manual keeps as a printed result).
    if (infiniteScore(scores)) {
        std::fprintf(out,
                     "\nKAV or ZUr is infinite: the packing atoms have no surface, as when the two "
                     "sides lie on each other ... exiting\n"
                     "Error in PDB file ... %s\n",
                     label.c_str());
        result.status = EntryStatus::NotFinite;
        removeScoredFiles(files);
        return;
    }
    result.status = EntryStatus::Scored;
    result.report = std::move(report);
    removeScoredFiles(files);
}

// The failure of a whole entry before anything was measured.
void failEntry(const Run& run, InterfaceResult& result, EntryStatus status,
               const std::string& label, const std::string& why) {
    std::fprintf(run.out(), "\nError in structure file ... %s: %s\n", label.c_str(), why.c_str());
    result.status = status;
}

// Whether the chains written under `id` hold an amino acid in an ATOM record.
// By its name: the residue codes of the analysis are no test of this, as
// they read the nucleotide "  A" as alanine and "  U" as glutamate.
bool hasProteinResidue(const InputStructure& s, const ChainLayout& layout, char id) {
    for (const InputAtom& a : s.atoms)
        if (!a.hetero && layout.passOf[static_cast<std::size_t>(a.chain)] >= 0 &&
            layout.idOf[static_cast<std::size_t>(a.chain)] == id && isAminoAcid(a.resName))
            return true;
    return false;
}

int chainsWithAtomRecords(const InputStructure& s) {
    std::vector<char> has(s.chains.size(), 0);
    for (const InputAtom& a : s.atoms)
        if (!a.hetero) has[static_cast<std::size_t>(a.chain)] = 1;
    int n = 0;
    for (char h : has) n += h;
    return n;
}

// What the usual messages of a failed analysis leave unsaid, for the
// failures whose cause the structure shows. `written` holds the IDs of the
// two subunits as split ("A:B"), when the split got that far.
void explainFailure(std::FILE* out, const InterfaceResult& result, const InputStructure& s,
                    const ChainLayout& layout, const std::string& written,
                    const std::string& label) {
    if (result.status == EntryStatus::OneChain) {
        if (chainsWithAtomRecords(s) == 1)
            std::fprintf(out, " %s holds one chain, so it has no interface to score.\n",
                         label.c_str());
        else
            std::fprintf(out,
                         " %s: the second subunit holds no atom records, so there is no "
                         "interface to score.\n",
                         label.c_str());
        return;
    }
    if (result.status != EntryStatus::NoFrame) return;
    std::string nucleic;
    for (int side = 0; side < 2 && written.size() == 3; ++side) {
        const char id = written[static_cast<std::size_t>(side * 2)];
        if (!hasProteinResidue(s, layout, id)) {
            nucleic += nucleic.empty() ? "" : " and ";
            nucleic += std::string(side ? "side two (" : "side one (") +
                       chainsWrittenAs(s, layout, id) + ")";
        }
    }
    if (!nucleic.empty())
        std::fprintf(out,
                     " %s: %s holds no protein residues (DNA/RNA), so no protein residue "
                     "classes span the interface frame.\n",
                     label.c_str(), nucleic.c_str());
    else
        std::fprintf(out,
                     " %s: fewer than three protein residue classes of an interface side span "
                     "the interface frame.\n",
                     label.c_str());
}

// The subunit IDs as the split will see them, for a layout of two sides.
std::string sideIds(const InputStructure& s, const ChainLayout& layout) {
    char ids[2] = {' ', ' '};
    for (std::size_t i = 0; i < s.chains.size(); ++i)
        if (layout.passOf[i] >= 0) ids[layout.passOf[i]] = layout.idOf[i];
    return std::string(1, ids[0]) + ":" + ids[1];
}

// Writes the layout as TEMP.pdb and scores it; `label` names the structure
// in the messages.
void scoreLayout(const InputStructure& s, const ChainLayout& layout, const std::string& label,
                 const Run& run, InterfaceResult& result,
                 const std::vector<AtomRun>* runs = nullptr) {
    removeTempFiles(run.files);
    int skipped = 0;
    std::string why;
    if (!writePdb(s, layout, run.files, "TEMP.pdb", skipped, why, runs)) {
        noteFullDisk(result);
        failEntry(run, result, EntryStatus::ReadFailed, label, why);
        return;
    }
    const std::string renames = layoutRenames(s, layout);
    if (!renames.empty()) std::fprintf(run.out(), "%s", renames.c_str());
    if (skipped > 0)
        std::fprintf(run.out(), "%d hetero atoms whose residues do not fit PDB columns left out. ",
                     skipped);
    const std::string sidesGiven = result.sides;
    scorePrepared(label, run, result);
    // The split names the subunits by the IDs written; the record wants the
    // file's own chain names.
    const std::string written = layout.passes == 2 ? sideIds(s, layout) : result.sides;
    if (sidesGiven.empty() && written.size() == 3)
        result.sides = chainsWrittenAs(s, layout, written[0]) + ":" +
                       chainsWrittenAs(s, layout, written[2]);
    explainFailure(run.out(), result, s, layout, written, label);
}

bool skipped(const AnalysisSettings& settings, const std::string& name) {
    return settings.skip && settings.skip(name);
}

// The parts of `input` that `settings` ask for (readStructureParts; text
// already read gives the one part of its model, with its touching pairs).
// False, with `regular` false for a path that is no regular file.
bool readParts(const StructureInput& input, const std::string& label,
               const AnalysisSettings& settings, std::vector<StructurePart>& parts, bool& regular,
               std::string& why) {
    regular = true;
    if (input.path.empty() || !input.text.empty()) {
        if (settings.allModels || !settings.assembly.empty() || settings.crystal) {
            why = "assemblies, crystal interfaces and every model are read from a file only";
            return false;
        }
        parts.assign(1, StructurePart{});
        if (input.structure) {
            std::swap(parts[0].structure, *input.structure);  // given back by LentStructure
        } else if (!readStructureText(input.text, input.format == "mmcif", label, settings.model,
                                      parts[0].structure, why, settings.mseAsMet)) {
            return false;
        }
        if (settings.allPairs) {
            const InputStructure& s = parts[0].structure;
            const std::vector<std::pair<int, int>> touching = touchingChains(s);
            parts[0].pairs.reserve(touching.size());
            for (const auto& [first, second] : touching)
                parts[0].pairs.push_back(ChainPair{first, second, second, false});
        }
        return true;
    }
    std::error_code ec;
    regular = fs::is_regular_file(input.path, ec);
    const StructureChoice choice{settings.model,   settings.allModels, settings.assembly,
                                 settings.crystal, settings.allPairs,  settings.mseAsMet};
    return regular && readStructureParts(input.path, choice, parts, why);
}

// A structure lent by the caller (StructureInput::structure), taken into
// the entry's one part by readParts: handed back however the entry ends.
struct LentStructure {
    const StructureInput& input;
    std::vector<StructurePart>& parts;
    ~LentStructure() {
        if (input.structure && parts.size() == 1) std::swap(parts[0].structure, *input.structure);
    }
};

// A structure read and rewritten for the engine (mmCIF, gzipped, chosen
// chains, a model, every model, an assembly, the crystal, every pair).
void scoreConverted(const StructureInput& input, const std::string& name,
                    const std::string& label, const Run& run) {
    const auto start = Clock::now();
    const AnalysisSettings& settings = run.settings;
    std::FILE* out = run.out();
    // One result of this entry at most: "Working on" before the file is read.
    const bool onePart = !settings.allPairs && !settings.allModels;
    if (onePart) std::fprintf(out, "Working on %s. ", label.c_str());

    std::vector<StructurePart> parts;
    const LentStructure lent{input, parts};
    std::string why;
    bool regular = true;
    if (!readParts(input, label, settings, parts, regular, why)) {
        InterfaceResult result;
        result.name = name;
        if (!onePart) std::fprintf(out, "Working on %s. ", label.c_str());
        if (!regular)
            failEntry(run, result, EntryStatus::NoFile, label, whyUnreadable(input.path));
        else
            failEntry(run, result, EntryStatus::ReadFailed, label, why);
        removeTempFiles(run.files);
        result.seconds = secondsSince(start);
        run.emit(result);
        return;
    }

    // Each model (or the one structure) in turn, each pair of it in turn.
    // One done: its working files go (when it made any), its time runs
    // from the end of the one before, and its result is handed on.
    auto partStart = start;
    const auto done = [&](InterfaceResult& r, bool madeFiles) {
        if (madeFiles) removeTempFiles(run.files);
        r.seconds = secondsSince(partStart);
        partStart = Clock::now();
        run.emit(r);
    };
    for (const StructurePart& part : parts) {
        // The models of an entry share no atom positions, hence no areas.
        if (run.areas) run.areas->clear();
        const InputStructure& s = part.structure;
        const std::string suffix = part.label.empty() ? "" : " " + part.label;
        const std::string partLabel = label + suffix;
        // An assembly's copies are not the structure the predictor wrote.
        if (run.confidence)
            run.confidence->part(&part == &parts.front(),
                                 settings.assembly.empty() && !settings.crystal ? &s : nullptr);
        ChainLayout layout;
        InterfaceResult result;
        result.name = name + suffix;
        // --resume: a part of the entry re-entered that is recorded already.
        if (skipped(settings, result.name)) continue;
        if (!settings.allPairs) {
            if (!onePart) std::fprintf(out, "Working on %s. ", partLabel.c_str());
            if (settings.sideOne.empty() && settings.sideTwo.empty()) {
                if (layoutAllChains(s, layout, why))
                    scoreLayout(s, layout, partLabel, run, result);
                else
                    failEntry(run, result, EntryStatus::ReadFailed, partLabel, why);
            } else if (layoutSides(s, settings.sideOne, settings.sideTwo, layout, why)) {
                result.sides = layoutSidesText(s, layout);
                scoreLayout(s, layout, partLabel, run, result);
            } else {
                failEntry(run, result, EntryStatus::ChainMissing, partLabel, why);
            }
            done(result, true);
            continue;
        }

        if (part.pairs.empty()) {
            std::fprintf(out, "Working on %s. ", partLabel.c_str());
            if (settings.crystal)
                failEntry(run, result, EntryStatus::NoContact, partLabel,
                          "no chain is in contact with a chain or symmetry copy (heavy atoms "
                          "of atom records within 5 A)");
            else if (chainsWithAtomRecords(s) <= 1)
                failEntry(run, result, EntryStatus::OneChain, partLabel,
                          "one chain, so there is no interface to score");
            else
                failEntry(run, result, EntryStatus::NoContact, partLabel,
                          "no two chains are in contact (heavy atoms of atom records within 5 A)");
            done(result, false);
            continue;
        }
        if (run.onPairs) run.onPairs(name + suffix, part.pairs.size());
        const std::vector<AtomRun> runs = atomRuns(s);  // each pair writes two chains of many
        for (const ChainPair& p : part.pairs) {
            // The names are made as each pair is scored: an entry may have
            // millions of pairs.
            const std::string pairNamed = pairName(s, p);
            InterfaceResult pair;
            pair.name = name + suffix + " " + pairNamed;
            if (skipped(settings, pair.name)) continue;
            const std::string pairLabel = partLabel + " " + pairNamed;
            std::fprintf(out, "Working on %s. ", pairLabel.c_str());
            if (layoutSides(s, {s.chains[static_cast<std::size_t>(p.first)]},
                            {s.chains[static_cast<std::size_t>(p.second)]}, layout, why)) {
                pair.sides = pairSides(s, p);
                scoreLayout(s, layout, pairLabel, run, pair, &runs);
            } else {
                failEntry(run, pair, EntryStatus::ChainMissing, pairLabel, why);
            }
            done(pair, true);
        }
    }
}

// A temporary directory of its own for the program engine, with the
// control files; removed with everything in it.
struct ScratchDirectory {
    std::string path;
    ScratchDirectory() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kav_zur-work-XXXXXX";
        if (mkdtemp(pattern.data())) path = pattern;
    }
    ~ScratchDirectory() {
        std::error_code ec;
        if (!path.empty()) fs::remove_all(path, ec);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
};

}  // namespace

// ---- ConsoleSink

ConsoleSink::ConsoleSink(std::FILE* direct) : file_(direct) {}

ConsoleSink::ConsoleSink() : capture_(true) { open(); }

ConsoleSink::~ConsoleSink() {
    if (capture_ && file_) std::fclose(file_);
    std::free(buffer_);
}

void ConsoleSink::open() {
    std::free(buffer_);
    buffer_ = nullptr;
    size_ = 0;
    file_ = open_memstream(&buffer_, &size_);
    if (!file_) throw std::bad_alloc();
}

// The stream stays the same (callers hold it across a result): after the
// text is copied, it is rewound, and the next flush counts from there.
std::string ConsoleSink::take() {
    if (!capture_) return std::string();
    std::fflush(file_);
    std::string text(buffer_ ? buffer_ : "", size_);
    ::fseeko(file_, 0, SEEK_SET);
    std::fflush(file_);
    return text;
}

// ---- the analysis of one structure

bool needsConversion(const StructureInput& input, const AnalysisSettings& settings) {
    if (input.structure) return true;  // written for the engine from its atoms
    if (settings.model != 0 || !settings.sideOne.empty() || !settings.sideTwo.empty() ||
        settings.allPairs || settings.allModels || !settings.assembly.empty() || settings.crystal ||
        settings.mseAsMet)
        return true;
    if (input.path.empty() || !input.text.empty()) return input.format != "pdb";
    for (const char* suffix : {".cif", ".mmcif", ".ent", ".gz"})
        if (endsWithNoCase(input.path, suffix)) return true;
    return false;
}

const char* whyUnreadable(const std::string& path) {
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(path, ec))) return "no such file";
    if (!fs::exists(fs::status(path, ec))) return "a link to nothing";
    if (fs::is_directory(path, ec)) return "a directory, not a structure file";
    if (!fs::is_regular_file(path, ec)) return "not a regular file";
    return "cannot be read";
}

void analyseStructure(const EngineLink& engine, const StructureInput& input,
                      const AnalysisSettings& settings, Workspace& files, ConsoleSink& console,
                      const AnalysisHooks& hooks, const ResultCallback& onResult) {
    std::vector<InterfacePoint> ownPoints;
    if (!hooks.points) ownPoints.resize(kInterfacePoints);
    EntryAreas areas;
    // One interface: its runs need only be compared with the runs just
    // before. Many: an area may be met again long after it was measured.
    areas.accessible.byNeighbourhood = settings.allPairs;
    const bool fromText = input.path.empty() || !input.text.empty();
    const std::string label = fromText ? input.name : input.path;
    std::unique_ptr<ConfidenceStage> confidence;
    if (settings.confidence)
        confidence = std::make_unique<ConfidenceStage>(fromText ? "" : input.path, label, settings);
    const Run run{engine,   files,    console,      settings,      hooks,
                  hooks.points ? *hooks.points : ownPoints, onResult, hooks.onPairs,
                  settings.shareAreas ? &areas : nullptr, confidence.get()};
    const std::string name = input.name.empty() ? input.path : input.name;

    if (needsConversion(input, settings)) {
        scoreConverted(input, name, label, run);
        return;
    }
    if (skipped(settings, name)) return;
    const auto start = Clock::now();
    InterfaceResult result;
    result.name = name;
    std::fprintf(run.out(), "Working on %s. ", label.c_str());

    // Whatever the last structure left must not be measured in place of this
    // one: a copy that fails leaves no TEMP.pdb, and the engine run fails.
    removeTempFiles(files);
    const bool copied =
        fromText ? writeWorkFile(files, "TEMP.pdb", input.text) : copyInto(input.path, files, "TEMP.pdb");
    if (!copied) {
        noteFullDisk(result);
        // A file that cannot be copied is not measured: the engine would fail.
        std::fprintf(run.out(), "\nProblem in NACEESS program ... exiting\n");
        std::fprintf(run.out(), " %s: %s\n", label.c_str(),
                     fromText ? "cannot be written" : whyUnreadable(input.path));
        result.status = EntryStatus::NoFile;
        removeTempFiles(files);
    } else {
        scorePrepared(label, run, result);
    }
    result.seconds = secondsSince(start);
    run.emit(result);
}

// ---- Analyser

std::string engineMarkerText() { return std::string("kav_zur engine ") + KAVZUR_VERSION + "\n"; }

struct Analyser::Shared {
    EngineSettings settings;
    EngineLink link;
};

Analyser::Analyser(EngineSettings engine) {
    const std::string missing = missingEngineFile(engine.naccessDir);
    if (!missing.empty()) throw std::runtime_error(missing + " is missing or not usable");
    auto shared = std::make_shared<Shared>();
    std::string why;
    if (!makeEngineLink(engine.naccessDir, engine.mode == EngineMode::Automatic, shared->link, why))
        throw std::runtime_error(why);
    shared->settings = std::move(engine);
    shared_ = std::move(shared);
}

const EngineSettings& Analyser::engine() const { return shared_->settings; }

bool Analyser::inProcess() const { return shared_->link.inProcess; }

void Analyser::score(const StructureInput& input, const AnalysisSettings& settings,
                     const ResultCallback& onResult) const {
    ConsoleSink console;
    const AnalysisHooks hooks;
    if (inProcess()) {
        MemoryWorkspace files;
        analyseStructure(shared_->link, input, settings, files, console, hooks, onResult);
        return;
    }
    ScratchDirectory scratch;
    DirectoryWorkspace files(scratch.path);
    const char* failed = scratch.path.empty() ? "a working directory"
                                              : writeControlFilesTo(files, shared_->link.naccessDir);
    if (failed) {
        // No engine run can work: the structure fails as an engine failure.
        InterfaceResult result;
        result.name = input.name.empty() ? input.path : input.name;
        result.status = EntryStatus::EngineFailed;
        result.messages = std::string("\nError in writing control file ") + failed + ": " +
                          std::strerror(errno) + "\n";
        onResult(std::move(result));
        return;
    }
    analyseStructure(shared_->link, input, settings, files, console, hooks, onResult);
}

std::vector<InterfaceResult> Analyser::score(const StructureInput& input,
                                             const AnalysisSettings& settings) const {
    std::vector<InterfaceResult> results;
    score(input, settings, [&results](InterfaceResult&& r) { results.push_back(std::move(r)); });
    return results;
}

void Analyser::score(const StructureInput& input, const AnalysisSettings& settings,
                     Workspace& workspace, std::FILE* console,
                     const ResultCallback& onResult) const {
    ConsoleSink sink(console);
    analyseStructure(shared_->link, input, settings, workspace, sink, AnalysisHooks{}, onResult);
}
