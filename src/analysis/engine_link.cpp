#include "analysis/engine_link.h"

#include "analysis/analysis.h"
#include "interface/pipeline.h"
#include "scores/packing.h"
#include "analysis/workspace.h"
#include "analysis/control_files.h"
#include "common/engine_stop.h"
#include "sasa/accall_run.h"

#include <openssl/evp.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <system_error>

namespace {

// The SHA-256 of the file at `path` in lower-case hex; "" when it cannot be
// read.
std::string sha256Of(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(path.c_str(), "rb"), &std::fclose);
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!in || !ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) return "";
    unsigned char buffer[1 << 16];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0)
        if (EVP_DigestUpdate(ctx.get(), buffer, n) != 1) return "";
    if (std::ferror(in.get())) return "";
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1) return "";
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

}  // namespace

bool hasEngineMarker(const std::string& naccessDir) {
    std::string text;
    DirectoryWorkspace dir(naccessDir);
    if (!readWorkFile(dir, kEngineMarkerName, text)) return false;
    const std::string version = engineMarkerText();
    if (text.compare(0, version.size(), version) != 0) return false;
    // "accall <size> sha256 <hex>": the accall built (or installed) with it.
    std::istringstream line(text.substr(version.size()));
    std::string word, algorithm, digest, rest;
    std::uintmax_t size = 0;
    if (!(line >> word >> size >> algorithm >> digest) || word != "accall" || algorithm != "sha256" ||
        (line >> rest))
        return false;
    // The size first: a replaced accall almost always differs in it, and
    // costs no reading.
    const std::string accall = dir.path("accall");
    std::error_code ec;
    const std::uintmax_t actual = std::filesystem::file_size(accall, ec);
    return !ec && actual == size && sha256Of(accall) == digest;
}

bool makeEngineLink(const std::string& naccessDir, bool allowInProcess, EngineLink& link,
                    std::string& why) {
    link = EngineLink{};
    link.naccessDir = naccessDir;
    const bool inProcess = allowInProcess && hasEngineMarker(naccessDir);
    // A directory of the bundled engine (one with a marker) has its data
    // files read at start-up however its accall runs: radii that cannot be
    // read would fail every structure, so the run stops at once in either
    // mode. NACCESS's own directory is left to NACCESS.
    std::error_code ec;
    const bool bundled = std::filesystem::exists(DirectoryWorkspace(naccessDir).path(kEngineMarkerName), ec);
    if (!inProcess && !bundled) return true;
    auto data = std::make_shared<sasa::EngineData>();
    if (!data->read(naccessDir, why)) return false;
    if (!inProcess) return true;
    link.inProcess = true;
    link.data = std::move(data);
    return true;
}

bool runEngineStep(const EngineLink& engine, Workspace& files, const ControlFile& control,
                   const std::string& logName, std::FILE* console, sasa::AreaCache* areas) {
    files.remove(logName);
    const bool stemmed = logName.size() > 4 && logName.compare(logName.size() - 4, 4, ".log") == 0;
    const std::string stem = stemmed ? logName.substr(0, logName.size() - 4) : std::string();
    if (stemmed) files.remove(stem + ".asa");
    if (engine.inProcess) {
        // The control file's text, as the program would read it.
        std::istringstream text(controlFileText(control.pdbFile, engine.naccessDir, control.probe));
        if (engine.guard) engine.guard(true);
        // A caller's stop: its limit counts from here; the engine looks at it.
        checkEngineStop();
        startEngineRunClock();
        // The analysis never reads the residue areas: in memory, where no
        // one else can see them, they are not written.
        const bool onDisk = files.directory() != nullptr;
        sasa::runJob(text, engine.naccessDir, files, engine.data.get(), areas, true, onDisk);
        if (engine.guard) engine.guard(false);
        if (stemmed) files.release(stem + ".rsa");
    } else {
        const std::string* dir = files.directory();
        if (!dir || !runAccall(engine.naccessDir, control.name, *dir, console)) return false;
    }
    return logSaysSuccess(files, logName);
}

bool LinkedEngineRuns::run(const ControlFile& control, const std::string& logName) {
    // The probe decides which earlier areas can stand for this run's.
    sasa::AreaCache* areas = control.probe == kControlFiles[4].probe ? packing_ : accessible_;
    return runEngineStep(engine_, files_, control, logName, console_, areas);
}

void LinkedEngineRuns::printErrors(const std::string& logName) {
    printEngineErrors(files_, logName, console_);
}

int SC_P(std::vector<InterfacePoint>& points, ScoreSet& scores, const std::string& naccessDir) {
    AnalysisRecord record;
    return SC_P(points, scores, naccessDir, record);
}

int SC_P(std::vector<InterfacePoint>& points, ScoreSet& scores, const std::string& naccessDir,
         AnalysisRecord& record) {
    EngineLink engine;
    engine.naccessDir = naccessDir;
    DirectoryWorkspace here;
    LinkedEngineRuns runs(engine, here, stdout);
    return SC_P(points, scores, AnalysisRun{runs, here, stdout}, record);
}

float computepack(const std::string& naccessDir) {
    EngineLink engine;
    engine.naccessDir = naccessDir;
    DirectoryWorkspace here;
    LinkedEngineRuns runs(engine, here, stdout);
    return computepack(runs, here, stdout);
}

const char* writeControlFilesTo(Workspace& files, const std::string& naccessDir) {
    for (const ControlFile& control : kControlFiles) {
        if (!writeWorkFile(files, control.name,
                           controlFileText(control.pdbFile, naccessDir, control.probe)))
            return control.name;
    }
    return nullptr;
}
