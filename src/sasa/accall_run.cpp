#include "sasa/accall_run.h"

#include "sasa/control_file.h"
#include "common/fixed_format.h"
#include "sasa/lee_richards.h"
#include "sasa/pdb_reader.h"
#include "sasa/radii_file.h"
#include "sasa/reference_data.h"
#include "sasa/writers.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <set>
#include <sstream>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace sasa {

namespace {

// Text from the user's files is echoed into the log; it must never pass
// for the success line, which the caller looks for anywhere in the log.
std::string echo(std::string text) {
    for (std::string::size_type at = text.find("SOLVA:"); at != std::string::npos;
         at = text.find("SOLVA:", at + 1))
        text[at + 5] = ';';
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

// An output of the run: created (emptied) at once, its text gathered in
// memory and written to the workspace in one piece when closed.
struct WorkStream {
    Workspace& files;
    std::string name;
    std::ostringstream out;
    bool open = true;
    WorkStream(Workspace& w, std::string n) : files(w), name(std::move(n)) {}
    ~WorkStream() { close(); }
    WorkStream(const WorkStream&) = delete;
    WorkStream& operator=(const WorkStream&) = delete;
    // Room for `bytes` of text at once: no growth by doubling, no spare.
    void reserve(std::size_t bytes) {
        std::string room;
        room.reserve(bytes);
        out.str(std::move(room));
    }
    // False when anything written did not reach the file. The text is moved,
    // not copied, into the workspace.
    bool close() {
        if (!open) return true;
        open = false;
        return out.good() && files.store(name, std::move(out).str());
    }
};

std::unique_ptr<WorkStream> create(Workspace& files, const std::string& name) {
    std::FILE* f = files.open(name, "wb");
    if (!f) return nullptr;
    const bool created = std::fclose(f) == 0;
    return created ? std::make_unique<WorkStream>(files, name) : nullptr;
}

// An output written under a temporary name and renamed into place at the
// end, so that a failed run never leaves a half-written file behind.
struct PendingFile {
    Workspace& files;
    std::string finalName, tempName;
    std::unique_ptr<WorkStream> stream;
    PendingFile(Workspace& w, const std::string& name)
        : files(w), finalName(name), tempName(name + "." + std::to_string(getpid()) + ".tmp"),
          stream(create(w, tempName)) {}
    ~PendingFile() {
        if (!tempName.empty()) {
            stream.reset();
            files.remove(tempName);
        }
    }
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    std::ostream& out() { return stream->out; }
    // Closes and renames; an empty string on success, else the reason.
    std::string commit() {
        if (!stream->close()) return "cannot write " + tempName;
        if (!files.rename(tempName, finalName))
            return "cannot rename " + tempName + " to " + finalName + ": " +
                   std::generic_category().message(errno);
        tempName.clear();
        return std::string();
    }
};

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return fs::equivalent(a, b, error) && !error;
}

const char* includeWord(bool on) { return on ? "INCLUDING" : "EXCLUDING"; }

int fail(std::ostream& log, const std::string& reason) {
    log << " ERROR: " << echo(reason) << "\n";
    log.flush();
    return 1;
}

// The log's last lines of a run that succeeded: its counts.
void logCounts(std::ostream& log, std::size_t chains, std::size_t residues, std::size_t atoms) {
    char text[128];
    std::snprintf(text, sizeof text, " CHAINS   %8zu\n RESIDUES %8zu\n ATOMS    %8zu\n", chains,
                  residues, atoms);
    log << text << kSuccessLine << "\n";
}

// Bit for bit (-0 is not +0: it prints as -0.000), as keyOf compares spheres.
bool sameBits(double a, double b) {
    std::uint64_t u, v;
    std::memcpy(&u, &a, sizeof u);
    std::memcpy(&v, &b, sizeof v);
    return u == v;
}

// Whether the atoms of a run (their spheres, columns 1-30 and radii) are
// those of a kept run: the same measurement and the same area-file lines.
bool sameAtoms(const AreaCache::KeptRun& run, const std::vector<Sphere>& spheres,
               const std::vector<PdbAtom>& atoms, const std::vector<AtomRadius>& radii) {
    if (run.spheres.size() != spheres.size()) return false;
    for (std::size_t i = 0; i < spheres.size(); ++i) {
        if (!(keyOf(run.spheres[i]) == keyOf(spheres[i])) ||
            !sameBits(run.lines[i].radius, radii[i].radius) || run.lines[i].head != atoms[i].head)
            return false;
    }
    return true;
}

// The kept run of these atoms and settings, brought to the front of the
// cache's kept runs; null when none.
const AreaCache::KeptRun* keptRunOf(AreaCache& cache, const std::vector<Sphere>& spheres,
                                    const std::vector<PdbAtom>& atoms,
                                    const std::vector<AtomRadius>& radii, double probe,
                                    int slices, const std::string& vdwFile) {
    for (auto it = cache.kept.begin(); it != cache.kept.end(); ++it) {
        if (!sameBits(it->probe, probe) || it->slices != slices || it->vdwFile != vdwFile ||
            !sameAtoms(*it, spheres, atoms, radii))
            continue;
        if (it != cache.kept.begin()) {
            AreaCache::KeptRun hit = std::move(*it);
            cache.kept.erase(it);
            cache.kept.push_front(std::move(hit));
        }
        return &cache.kept.front();
    }
    return nullptr;
}

// Reads text held elsewhere in place, with no copy of it.
struct TextView : std::streambuf {
    explicit TextView(const std::string& text) {
        char* at = const_cast<char*>(text.data());  // only ever read
        setg(at, at, at + text.size());
    }
};

// The atom records of a structure's first model (readPdb's end of it):
// room for every atom it can give.
std::size_t atomRecords(const std::string& text) {
    std::size_t n = 0;
    int models = 0;
    for (std::size_t at = 0; at < text.size();) {
        if (text.compare(at, 4, "ATOM") == 0 || text.compare(at, 6, "HETATM") == 0) ++n;
        else if (text.compare(at, 6, "ENDMDL") == 0) break;
        else if (text.compare(at, 5, "MODEL") == 0 && models++ > 0) break;
        at = text.find('\n', at);
        if (at == std::string::npos) break;
        ++at;
    }
    return n;
}

// The structure named by PDBFILE, read through the workspace: in place when
// it is held in memory.
PdbResult readInput(Workspace& files, const std::string& path, const ReadOptions& options) {
    if (const std::vector<asa::HeldLine>* lines = files.areas(path))
        return readHeldLines(*lines, options);
    if (const std::vector<HeldRecord>* records = files.records(path))
        return readHeldRecords(*records, options);
    if (const std::string* held = files.find(path)) {
        TextView view(*held);
        std::istream in(&view);
        return readPdb(in, options, atomRecords(*held));
    }
    std::string text;
    if (!readWorkFile(files, path, text)) {
        PdbResult result;
        result.error = (errno == ENOENT ? "cannot open " : "cannot read ") + path;
        return result;
    }
    const std::size_t records = atomRecords(text);
    std::istringstream in(std::move(text));
    return readPdb(in, options, records);
}

}  // namespace

std::string outputStem(const std::string& pdbFile) {
    const std::string stem = fs::path(pdbFile).filename().replace_extension().string();
    return stem.empty() ? std::string("accall") : stem;  // "dir/" names no file
}

int runJob(std::istream& control, const std::string& engineDir, AreaCache* cache) {
    DirectoryWorkspace here;
    return runJob(control, engineDir, here, nullptr, cache);
}

bool EngineData::read(const std::string& engineDir, std::string& why) {
    vdwFile = engineDir + "/vdw.radii";
    stdFile = engineDir + "/standard.data";
    // The readers' errors name the file already ("<file>, line 7: ...").
    RadiiResult r = readRadii(vdwFile);
    if (!r.error.empty()) {
        why = r.error;
        return false;
    }
    ReferenceResult ref = readReference(stdFile);
    if (!ref.error.empty()) {
        why = ref.error;
        return false;
    }
    radii = std::move(r.table);
    radiiIndex = indexRadii(radii);
    reference = std::move(ref.table);
    return true;
}

int runJob(std::istream& control, const std::string& engineDir, Workspace& files,
           const EngineData* data, AreaCache* cache, bool releaseInput, bool residueFile) {
    const ControlResult parsed = readControl(control);
    const ControlSettings& s = parsed.settings;
    const std::string stem = outputStem(s.pdbFile);
    const std::string logName = stem + ".log", asaName = stem + ".asa", rsaName = stem + ".rsa";

    // Never write over the input itself (files in memory have no other names).
    if (const std::string* dir = files.directory()) {
        const DirectoryWorkspace disk(*dir);
        for (const std::string& out : {logName, asaName, rsaName}) {
            if (!s.pdbFile.empty() && sameFile(disk.path(s.pdbFile), disk.path(out))) {
                std::fprintf(stderr,
                             "accall: %s would be overwritten by an output of its own run\n",
                             s.pdbFile.c_str());
                return 1;
            }
        }
    }
    // The log is created first, so that a stale log of an earlier run can
    // never speak for this one.
    std::unique_ptr<WorkStream> logFile = create(files, logName);
    if (!logFile) {
        std::fprintf(stderr, "accall: cannot create %s\n", logName.c_str());
        return 1;
    }
    std::ostream& log = logFile->out;
    log << " ACCALL - solvent accessible areas by Lee and Richards slices\n";
    if (!parsed.error.empty()) return fail(log, "control file, " + parsed.error);

    const std::string vdwFile = s.vdwFile.empty() ? engineDir + "/vdw.radii" : s.vdwFile;
    const std::string stdFile = s.stdFile.empty() ? engineDir + "/standard.data" : s.stdFile;
    const int slices = sliceCount(s.zslice);
    char text[160];
    log << " PDB FILE INPUT " << echo(s.pdbFile) << "\n";
    std::snprintf(text, sizeof text, " PROBE SIZE %.2f\n Z-SLICE WIDTH %.3f (%d slices per atom)\n",
                  s.probe, s.zslice, slices);
    log << text;
    log << " VDW RADII FILE " << echo(vdwFile) << "\n";
    if (!s.asaOnly) log << " STANDARD DATA FILE " << echo(stdFile) << "\n";
    log << " " << includeWord(s.hetatoms) << " HETATOMS\n"
        << " " << includeWord(s.waters) << " WATERS\n"
        << " " << includeWord(s.hydrogens) << " HYDROGENS\n";
    if (s.asaOnly) log << " ASA FILE ONLY\n";
    for (const std::string& line : s.ignoredLines)
        log << " IGNORED CONTROL LINE: " << echo(line) << "\n";
    log.flush();

    // The data read once for many runs, when this run names the same files.
    const bool cachedRadii = data && data->vdwFile == vdwFile;
    RadiiResult radiiFile;
    if (!cachedRadii) radiiFile = readRadii(vdwFile);
    if (!radiiFile.error.empty()) return fail(log, "radii file " + radiiFile.error);
    const RadiiTable& radiiTable = cachedRadii ? data->radii : radiiFile.table;
    const bool cachedReference = data && data->stdFile == stdFile;
    ReferenceResult reference;
    if (!s.asaOnly && !cachedReference) {
        reference = readReference(stdFile);
        if (!reference.error.empty()) return fail(log, "standard data file " + reference.error);
    }
    const ReferenceTable& referenceTable = cachedReference ? data->reference : reference.table;
    ReadOptions options;
    options.hetatoms = s.hetatoms;
    options.waters = s.waters;
    options.hydrogens = s.hydrogens;
    const PdbResult pdb = readInput(files, s.pdbFile, options);
    if (releaseInput) files.release(s.pdbFile);
    if (!pdb.error.empty()) {
        if (pdb.error.rfind("cannot ", 0) == 0) return fail(log, pdb.error);
        return fail(log, s.pdbFile + ", " + pdb.error);
    }

    const std::vector<AtomRadius> radii =
        cachedRadii ? assignRadii(pdb.atoms, radiiTable, data->radiiIndex)
                    : assignRadii(pdb.atoms, radiiTable);
    std::vector<Sphere> spheres(pdb.atoms.size());
    bool noted = false;  // a radius assumed or guessed, which the log names with its line
    for (std::size_t i = 0; i < pdb.atoms.size(); ++i) {
        spheres[i] = {pdb.atoms[i].x, pdb.atoms[i].y, pdb.atoms[i].z, radii[i].radius + s.probe};
        noted = noted || radii[i].source == RadiusSource::Assumed ||
                radii[i].source == RadiusSource::Guessed;
    }
    // In memory, with no residue file, a run of the atoms of a kept run
    // writes what that run wrote: its areas, of the same spheres, are the
    // same bits. Runs with notes on radii, which name input lines, are
    // neither kept nor looked for.
    const bool keep = cache && cachedRadii && !noted && files.holdsLines() &&
                      (s.asaOnly || !residueFile);
    if (const AreaCache::KeptRun* hit =
            keep ? keptRunOf(*cache, spheres, pdb.atoms, radii, s.probe, slices, vdwFile)
                 : nullptr) {
        if (!files.storeAreas(asaName, std::vector<asa::HeldLine>(hit->lines)))
            return fail(log, "cannot write " + asaName);
        log << hit->notes;
        logCounts(log, hit->chains, hit->residues, pdb.atoms.size());
        return logFile->close() ? 0 : 1;
    }
    std::set<char> chains;
    std::size_t residues = 0;
    for (std::size_t i = 0; i < pdb.atoms.size(); ++i) {
        const PdbAtom& a = pdb.atoms[i];
        chains.insert(chainId(a));
        if (i == 0 || residueKey(pdb.atoms[i - 1]) != residueKey(a)) ++residues;
        if (radii[i].source == RadiusSource::Assumed || radii[i].source == RadiusSource::Guessed) {
            std::snprintf(text, sizeof text, " %s RADIUS %.2f FOR ATOM %-4s RESIDUE %-3s %c%.5s (line %ld)",
                          radii[i].source == RadiusSource::Assumed ? "ASSUMED" : "GUESSED",
                          radii[i].radius, atomName(a).c_str(), residueName(a).c_str(),
                          chainId(a), a.head.data() + 22, a.line);
            log << echo(text) << "\n";
        }
    }
    std::size_t coincident = 0;
    const std::vector<double> areas = leeRichardsAreas(spheres, slices, &coincident, cache);
    // Not needed while the outputs are written, unless kept.
    if (!keep) std::vector<Sphere>().swap(spheres);
    std::string notes;  // the log's lines between the settings and the counts
    if (coincident > 0) {
        std::snprintf(text, sizeof text,
                      " NOTE: %zu ATOMS SHARE THEIR CENTRE WITH A LARGER OR EQUAL ATOM: BURIED, AREA 0",
                      coincident);
        log << text << "\n";
        notes = std::string(text) + "\n";
    }
    // The area file's columns are %8.3f and %5.2f: a wider number would
    // shift the line and be misread.
    for (std::size_t i = 0; i < areas.size(); ++i) {
        if (!fitsFixed(areas[i], 8, 3) || !fitsFixed(radii[i].radius, 5, 2)) {
            std::snprintf(text, sizeof text,
                          "line %ld: area %.3f or radius %.2f does not fit the area file's columns "
                          "(at most 9999.999 and 99.99)",
                          pdb.atoms[i].line, areas[i], radii[i].radius);
            return fail(log, s.pdbFile + ", " + text);
        }
    }

    // In memory, the stages take the area file's lines as records, and its
    // text is made only if it is read as a file. On disk, and when a line
    // is out of the layout the records stand for, the text is written now.
    std::vector<asa::HeldLine> lines;
    bool asRecords = files.holdsLines();
    if (asRecords) {
        lines.resize(pdb.atoms.size());
        const bool held = !pdb.from.empty();
        for (std::size_t i = 0; i < lines.size() && asRecords; ++i)
            asRecords = heldLine(pdb.atoms[i], areas[i], radii[i].radius, lines[i],
                                 held ? &pdb.from[i] : nullptr);
    }
    std::unique_ptr<PendingFile> asa;
    if (!asRecords) {
        asa = std::make_unique<PendingFile>(files, asaName);
        if (!asa->stream) return fail(log, "cannot create " + asa->tempName);
        asa->stream->reserve(pdb.atoms.size() * kAsaLineBytes);
        writeAsa(asa->out(), pdb.atoms, areas, radii);
    }
    std::unique_ptr<PendingFile> rsa;
    if (!s.asaOnly && residueFile) {
        rsa = std::make_unique<PendingFile>(files, rsaName);
        if (!rsa->stream) return fail(log, "cannot create " + rsa->tempName);
        writeRsa(rsa->out(), s.pdbFile, stdFile, sumResidues(pdb.atoms, areas, radii),
                 referenceTable);
    }
    // The .asa, which callers rely on, comes into place last.
    std::string problem = rsa ? rsa->commit() : std::string();
    if (problem.empty() && asa) problem = asa->commit();
    if (problem.empty() && !asa && !files.storeAreas(asaName, std::move(lines)))
        problem = "cannot write " + asaName;
    if (!problem.empty()) return fail(log, problem);

    logCounts(log, chains.size(), residues, pdb.atoms.size());
    if (keep && !asa) {
        const std::vector<asa::HeldLine>* stored = files.areas(asaName);
        if (stored) {
            cache->kept.push_front({s.probe, slices, vdwFile, std::move(spheres), *stored,
                                    std::move(notes), chains.size(), residues});
            if (cache->kept.size() > AreaCache::kKeptRuns) cache->kept.pop_back();
        }
    }
    return logFile->close() ? 0 : 1;
}

}  // namespace sasa
