// The seam of the Python module over the analysis library
// (analysis/analysis.h): one Analyser per Engine, the structure scored in
// this process, its results turned into the module's plain records.
#include "python/bridge.h"

#include "python/frame_text.h"

#include "analysis/analysis.h"
#include "analysis/engine_program.h"
#include "common/engine_stop.h"
#include "records/score_file.h"
#include "report/output_check.h"
#include "report/report_writer.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace kzpy {

namespace fs = std::filesystem;

namespace {

std::optional<int> count(int value) {
    if (value < 0) return std::nullopt;
    return value;
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    if (from.empty() || from == to) return;
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// The fields the record of a run (--details) gives a result, each only when
// the analysis reached it.
Interface fromResult(const InterfaceResult& in) {
    const AnalysisRecord& a = in.analysis;
    const ScoreSet& s = in.scores;
    Interface r;
    r.name = in.name;
    r.sides = in.sides;
    r.status = statusCode(in.status);
    r.atomsA = count(in.atomsA);
    r.atomsB = count(in.atomsB);
    r.interfaceAtomsA = count(a.interfaceAtomsA);
    r.interfaceAtomsB = count(a.interfaceAtomsB);
    if (a.buriedA) r.buriedA = s.buriedAreaA;
    if (a.buriedB) r.buriedB = s.buriedAreaB;
    // The score line's own single-precision values.
    const ScoreValues v = scoreValues(s);
    if (a.buriedA && a.buriedB) r.interfaceArea = v.area;
    if (a.sums) {
        r.packingRatio = s.packingSum;
        r.complementarity = s.complementaritySum;
    }
    if (in.scored()) {
        r.kav = v.kav;
        r.zur = v.zur;
    }
    r.trianglesA = count(a.trianglesA);
    r.trianglesB = count(a.trianglesB);
    r.seconds = in.seconds;
    r.messages = in.messages;
    if (const ConfidenceRecord* c = in.confidence.get()) {
        r.predictor = c->predictor;
        if (c->iptm >= 0.0) r.iptm = c->iptm;
        if (c->ptm >= 0.0) r.ptm = c->ptm;
        r.ipsae = c->both.ipsae;
        r.ipsaeAb = c->ab.ipsae;
        r.ipsaeBa = c->ba.ipsae;
        r.ipsaeD0chn = c->both.ipsaeD0chn;
        r.ipsaeD0dom = c->both.ipsaeD0dom;
        r.iptmD0chn = c->both.iptmD0chn;
        r.pdockq = c->both.pdockq;
        r.pdockq2 = c->both.pdockq2;
        r.lis = c->both.lis;
        r.ipae = c->both.ipae;
        if (c->both.contacts > 0) r.interfacePlddt = c->both.interfacePlddt;
    }
    return r;
}

// A name that cannot be a file's: the text of a structure passed without
// format= (a path holds no line break, and none this long exists).
bool looksLikeText(const std::string& path) {
    std::error_code ec;
    return path.find('\n') != std::string::npos && !fs::exists(path, ec);
}

// The result of a structure whose in-process engine run passed the time
// limit: the status and words of the command line's worker for it.
Interface timedOut(const std::string& name, const std::string& shownPath, double limit) {
    Interface r;
    r.name = name;
    r.status = statusCode(EntryStatus::WorkerDied);
    char text[80];
    std::snprintf(text, sizeof text, " ran the engine longer than %g s and was stopped", limit);
    r.messages = "\nScoring " + shownPath + text + " ... skipped\n";
    return r;
}

}  // namespace

std::string reportFolderName(const std::string& resultName) {
    return ::reportFolderName(resultName, std::string());
}

struct Engine::State {
    Analyser analyser;
};

Engine::Engine(const std::string& naccessDir) {
    if (naccessDir.find('\0') != std::string::npos)
        throw std::invalid_argument("naccess_dir holds a NUL byte");
    std::error_code ec;
    EngineSettings settings;
    settings.naccessDir = fs::absolute(naccessDir, ec).lexically_normal().string();
    if (settings.naccessDir.size() > 1 && settings.naccessDir.back() == '/')
        settings.naccessDir.pop_back();
    try {
        state_ = std::make_unique<State>(State{Analyser(settings)});
    } catch (const std::runtime_error& e) {
        throw std::invalid_argument(e.what());
    }
}

Engine::~Engine() = default;

const std::string& Engine::directory() const { return state_->analyser.engine().naccessDir; }

bool Engine::inProcess() const { return state_->analyser.inProcess(); }

std::vector<Interface> Engine::score(const Request& request) const {
    // The name of a structure file in results: its file name, as a pdblist
    // entry would be; the messages name the path as given, as the command
    // line names <directory>/<entry>.
    std::string shownPath = request.path;
    replaceAll(shownPath, std::string(1, '\0'), "\\0");
    const std::string name =
        !request.name.empty() ? request.name
        : !request.path.empty() ? fs::path(shownPath).filename().string()
                                : std::string("structure");
    if (request.path.find('\0') != std::string::npos) {
        // No file has such a name: nothing is measured for it.
        Interface r;
        r.name = name;
        r.status = statusCode(EntryStatus::BadName);
        r.messages = "Error in structure file ... " + shownPath + ": the name holds a NUL byte\n";
        return {r};
    }
    if (looksLikeText(request.path)) {
        // Named as what it is, not quoted whole.
        Interface r;
        r.name = "structure";
        r.status = statusCode(EntryStatus::NoFile);
        r.messages = "Error in structure file ... (" + std::to_string(request.path.size()) +
                     " bytes of text, not a file name): format='pdb' or format='mmcif' "
                     "reads the text of a structure\n";
        return {r};
    }

    const StructureInput input = request.path.empty()
                                     ? StructureInput::fromText(request.text, request.format, name)
                                     : StructureInput::file(request.path);
    return scoreInput(input, request, name, shownPath);
}

std::vector<Interface> Engine::scoreFrame(const FrameRecords& records, const double* xyz,
                                          std::size_t values, const Request& request) const {
    // Each thread keeps its frame's text from one frame to the next: a
    // frame of a trajectory is the size of the one before, and its text is
    // written into memory already touched rather than into fresh pages.
    thread_local StructureInput frame;
    // Its atoms too: the coordinates are all that changes between frames.
    thread_local FrameAtoms atoms;
    frame.format = "pdb";
    frame.name = request.name.empty() ? std::string("frame") : request.name;
    // The structure the frame's text reads as, given as values: no text
    // written and read again. The text itself where the first model's atoms
    // read plainly are not what is asked for.
    frame.structure = nullptr;
    if (request.model == 0 && !request.mseAsMet && records.structure(xyz, values, atoms)) {
        frame.text.clear();
        frame.structure = &atoms.structure;
    } else {
        records.write(xyz, values, frame.text);
    }
    return scoreInput(frame, request, frame.name, frame.name);
}

std::vector<Interface> Engine::scoreInput(const StructureInput& input, const Request& request,
                                          const std::string& name,
                                          const std::string& shownPath) const {
    AnalysisSettings settings;
    settings.sideOne = request.sideOne;
    settings.sideTwo = request.sideTwo;
    settings.model = request.model;
    settings.allPairs = request.allPairs;
    settings.allModels = request.allModels;
    settings.assembly = request.assembly;
    settings.crystal = request.crystal;
    settings.mseAsMet = request.mseAsMet;
    settings.report = !request.reportDir.empty();
    settings.confidence = request.confidence;
    settings.paeCutoff = request.paeCutoff;
    settings.distCutoff = request.distCutoff;

    // The engine runs of this call stop at the time limit, or at once when
    // the caller raises its flag; the host's signals are left to the host.
    const double limit = request.timeout > 0.0 ? request.timeout : engineTimeout();
    const EngineStop stop{request.cancel, limit};
    const EngineStopScope stopScope(&stop);

    std::vector<Interface> results;
    const auto take = [&](InterfaceResult&& in) {
        Interface r = fromResult(in);
        r.confidenceAsked = request.confidence;
        // "<path>" or "<path> A:B" -> "<name>" or "<name> A:B"
        if (!request.path.empty() && r.name.compare(0, request.path.size(), request.path) == 0)
            r.name = name + r.name.substr(request.path.size());
        if (settings.report && in.scored()) {
            std::string why;
            // The command line's folder rule: never outside the directory.
            const fs::path folder = fs::path(request.reportDir) / reportFolderName(r.name);
            if (!request.path.empty()) {
                const std::string same = reportFileThatIsInput(request.path, folder);
                if (!same.empty())
                    throw std::invalid_argument((folder / same).string() + " is the structure file " +
                                                request.path + ": the report would overwrite it; "
                                                "choose another output directory");
            }
            // The report names the structure as the result does.
            InterfaceResult named = in;
            named.name = r.name;
            if (!writeReport(folder.string(), named, why))
                throw std::runtime_error(folder.string() + ": " + why);
        }
        results.push_back(std::move(r));
    };
    try {
        state_->analyser.score(input, settings, take);
    } catch (const EngineStopped& stopped) {
        if (!stopped.timedOut) throw Cancelled();
        results.push_back(timedOut(name, request.path.empty() ? name : shownPath, limit));
    }
    return results;
}

}  // namespace kzpy
