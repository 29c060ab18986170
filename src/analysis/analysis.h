// The analysis of one structure as a library: an Analyser set up once with an
// engine scores one structure (a file, or text already read) for the chosen
// sides and hands back, per interface, what the score line, the details row
// and the report are written from, with the console messages as text.
//
// Nothing here prints, changes the current directory or keeps state between
// two calls: two threads may score at once with one Analyser. The command
// line, the batch loop, the score line and the details row live above this
// (src/driver); the Python module binds to this header.
//
// Lengths in angstroms, areas in square angstroms, times in seconds.
//
// A crash or hang of the in-process engine takes the calling process with
// it: the batch runs it in worker processes for that reason.
#pragma once

#include "common/status.h"
#include "common/types.h"
#include "confidence/confidence.h"
#include "input/input_structure.h"
#include "interface/pipeline.h"
#include "report/interface_report.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// How the surface-area engine of a directory is run.
enum class EngineMode {
    // In this process when the directory carries this version's marker
    // (kEngineMarkerName, written beside the bundled accall by the build and
    // by `cmake --install`) and its accall is the one the marker names, else
    // as a program: a real NACCESS directory or an edited or replaced accall
    // always runs as a program.
    Automatic,
    // Always <naccessDir>/accall as a program, with its working files in a
    // directory (`--engine program`).
    Program,
};

// The marker file beside the bundled accall: its first line, then the line
// "accall <size in bytes> sha256 <hex digest>" of the accall it belongs to
// (written by the build and by `cmake --install`, cmake/EngineMarker.cmake).
inline constexpr const char* kEngineMarkerName = "kav_zur-engine";
std::string engineMarkerText();  // the first line: "kav_zur engine <version>\n"

struct EngineSettings {
    std::string naccessDir;  // holds accall, vdw.radii and standard.data
    EngineMode mode = EngineMode::Automatic;
};

// What to score in one structure; the defaults are a run with no options.
struct AnalysisSettings {
    std::vector<std::string> sideOne;  // chain names of side one (--chains ONE:TWO)
    std::vector<std::string> sideTwo;  // both empty: the first two chains of the file
    int model = 0;                     // model number in the file (--model); 0: the first
    bool allPairs = false;             // every pair of chains in contact (--all-pairs)
    bool allModels = false;            // every model, each a result of its own (--model all)
    std::string assembly;              // a biological assembly's ID (--assembly); "": as written
    bool crystal = false;              // the crystal's interfaces, with allPairs (--crystal)
    bool mseAsMet = false;             // selenomethionine read as methionine (--mse-as-met)
    bool report = false;               // keep the report data (InterfaceResult::report)
    // The in-process engine copies an atom's area from an earlier run of
    // the same entry (model) when its sphere and every neighbour within
    // reach are the same; false: every run measures every atom afresh.
    // The results are the same either way (false is for checking that).
    bool shareAreas = true;
    // The predictor's confidence of each scored interface (--confidence),
    // from the files beside the structure; cut-offs in angstroms.
    bool confidence = false;
    double paeCutoff = 10.0;
    double distCutoff = 10.0;
    // Interfaces not to score again (the pairs an interrupted entry has
    // recorded, for --resume): called with the result name ("<name> A:B"
    // with allPairs, else <name>); true: no result is given for it.
    std::function<bool(const std::string& name)> skip;
};

// One structure: a file, or its text already read.
struct StructureInput {
    std::string path;    // the file to read (PDB or mmCIF, plain or gzipped, by its name)
    std::string text;    // the content, when not read from `path`
    std::string format;  // with `text`: "pdb" or "mmcif"
    std::string name;    // the name in results and messages; "" means `path`
    // Instead of `text`: its structure already read (a trajectory frame: its
    // atoms read once, this frame's coordinates as its text reads back), to
    // be scored as that text of `format` would be. Lent to the analysis,
    // which reads it in place and gives it back as it was.
    InputStructure* structure = nullptr;

    static StructureInput file(std::string path) {
        StructureInput in;
        in.path = std::move(path);
        return in;
    }
    static StructureInput fromText(std::string text, std::string format, std::string name) {
        StructureInput in;
        in.text = std::move(text);
        in.format = std::move(format);
        in.name = std::move(name);
        return in;
    }
};

// What a report shows of one scored interface, owned by its result: the
// analysis record of src/report and the two subunit files as split.
struct ReportData {
    InterfaceReport analysis;
    std::string subunitA;  // ComplexA.pdb as the split wrote it
    std::string subunitB;  // ComplexB.pdb
};

// One interface of a structure, scored or failed.
struct InterfaceResult {
    std::string name;    // the structure's name; "<name> A:B" with allPairs
    std::string sides;   // "A:B" (chain names of each side, ',' between chains); "" while unknown
    EntryStatus status = EntryStatus::Scored;
    int atomsA = -1;     // atoms of each subunit as split; -1: never split
    int atomsB = -1;
    AnalysisRecord analysis;  // how far the analysis got (its `report` is always null here)
    ScoreSet scores;          // as far as `analysis` says they were reached
    std::shared_ptr<const ReportData> report;  // with AnalysisSettings::report, when scored
    // With AnalysisSettings::confidence, when scored and the predictor's files were read.
    std::shared_ptr<const ConfidenceRecord> confidence;
    std::string messages;     // the console text of this interface, as the batch prints it
    double seconds = 0.0;     // wall time spent on it
    // Not "": a working file could not be written (the disk's words, "No
    // space left on device"): the status says nothing of the structure.
    std::string workspaceProblem;

    bool scored() const { return status == EntryStatus::Scored; }
};

// Called once per interface as soon as it is done (so an all-pairs entry
// streams); the result is the callee's to keep.
using ResultCallback = std::function<void(InterfaceResult&& result)>;

class Workspace;  // where the working files live (analysis/workspace.h)

// An engine directory set up for analyses: checked, its radii and reference
// areas read once (for the in-process engine). Copies share that data.
class Analyser {
public:
    // Throws std::runtime_error naming the file when the directory lacks a
    // usable accall, vdw.radii or standard.data, or when a directory with
    // the bundled engine's marker holds data files that cannot be read.
    explicit Analyser(EngineSettings engine);

    const EngineSettings& engine() const;
    bool inProcess() const;  // the engine runs in this process

    // Scores `input` and hands each interface's result to `onResult`, in
    // order. Working files live in memory (in-process engine) or in a
    // private temporary directory removed before the call returns (program).
    // Never throws for a structure: every failure is a result with its status
    // and messages. Only a caller that set an engine stop for its thread
    // (common/engine_stop.h) may see EngineStopped: its flag was raised, or
    // an in-process engine run passed the stop's limit; the results handed
    // over before stay the caller's, the working files are gone.
    void score(const StructureInput& input, const AnalysisSettings& settings,
               const ResultCallback& onResult) const;

    // The same, collected.
    std::vector<InterfaceResult> score(const StructureInput& input,
                                       const AnalysisSettings& settings) const;

    // For front ends that keep today's working files and console (the batch):
    // the same analysis with its files in `workspace` and its messages
    // written to `console` as they come (stdout keeps them in order with an
    // engine program's own output); `messages` of the results stay empty.
    void score(const StructureInput& input, const AnalysisSettings& settings,
               Workspace& workspace, std::FILE* console, const ResultCallback& onResult) const;

    struct Shared;  // the engine data read once
private:
    std::shared_ptr<const Shared> shared_;
};

// Writes the report files of a scored result with report data into
// `folder` (created if needed). False, with the reason in `why`, when a file
// cannot be written or the result holds no report.
bool writeReport(const std::string& folder, const InterfaceResult& result, std::string& why);
