#include "driver/entry.h"

#include "analysis/workspace.h"
#include "driver/pdblist.h"
#include "records/score_file.h"
#include "report/report_writer.h"

AnalysisSettings analysisSettings(const Options& options) {
    AnalysisSettings settings;
    settings.sideOne = options.chains.one;
    settings.sideTwo = options.chains.two;
    settings.model = options.model;
    settings.allPairs = options.allPairs;
    settings.report = !options.reportDir.empty();
    return settings;
}

void scoreEntry(const std::string& entry, const EntryContext& context,
                std::vector<EntryResult>& results) {
    const Options& options = context.options;
    if (const char* why = entryNameProblem(options.structureDir, entry)) {
        // Not a name the system can open: nothing is measured for it.
        printEntryNameProblem(options.structureDir, entry, why);
        EntryResult result;
        result.name = printableName(entry);
        result.status = EntryStatus::BadName;
        results.push_back(std::move(result));
        return;
    }

    StructureInput input = StructureInput::file(options.structureDir + "/" + entry);
    input.name = entry;
    EngineLink program;
    program.naccessDir = options.naccessDir;
    const EngineLink& engine = context.engine ? *context.engine : program;
    // The in-process engine keeps its working files in memory; a program
    // and a stand-in analysis find them in the working directory.
    DirectoryWorkspace here;
    MemoryWorkspace memory;
    Workspace& files = engine.inProcess && !context.analyse ? static_cast<Workspace&>(memory)
                                                            : here;
    ConsoleSink console(stdout);
    AnalysisHooks hooks;
    hooks.analyse = context.analyse ? &context.analyse : nullptr;
    hooks.points = &context.points;
    analyseStructure(engine, input, analysisSettings(options), files, console, hooks,
                     [&](InterfaceResult&& interface) {
                         EntryResult result;
                         static_cast<InterfaceResult&>(result) = std::move(interface);
                         if (result.scored()) {
                             result.scoreLine = scoreLine(result.name, result.scores);
                             if (result.report) writeEntryReport(options.reportDir, result);
                         }
                         result.report.reset();
                         results.push_back(std::move(result));
                     });
}
