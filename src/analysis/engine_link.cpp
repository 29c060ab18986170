#include "analysis/engine_link.h"

#include "analysis/analysis.h"
#include "analysis/workspace.h"
#include "analysis/control_files.h"
#include "common/engine_stop.h"
#include "sasa/accall_run.h"

#include <sstream>

bool hasEngineMarker(const std::string& naccessDir) {
    std::string text;
    DirectoryWorkspace dir(naccessDir);
    return readWorkFile(dir, kEngineMarkerName, text) && text == engineMarkerText();
}

bool makeEngineLink(const std::string& naccessDir, bool allowInProcess, EngineLink& link,
                    std::string& why) {
    link = EngineLink{};
    link.naccessDir = naccessDir;
    if (!allowInProcess || !hasEngineMarker(naccessDir)) return true;
    auto data = std::make_shared<sasa::EngineData>();
    if (!data->read(naccessDir, why)) return false;
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
        sasa::runJob(text, engine.naccessDir, files, engine.data.get(), areas, true);
        if (engine.guard) engine.guard(false);
        // The analysis never reads the residue areas.
        if (stemmed) files.release(stem + ".rsa");
    } else {
        const std::string* dir = files.directory();
        if (!dir || !runAccall(engine.naccessDir, control.name, *dir, console)) return false;
    }
    return logSaysSuccess(files, logName);
}

const char* writeControlFilesTo(Workspace& files, const std::string& naccessDir) {
    for (const ControlFile& control : kControlFiles) {
        if (!writeWorkFile(files, control.name,
                           controlFileText(control.pdbFile, naccessDir, control.probe)))
            return control.name;
    }
    return nullptr;
}
