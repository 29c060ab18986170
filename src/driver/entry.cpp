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
    settings.allModels = options.allModels;
    settings.assembly = options.assembly;
    settings.crystal = options.crystal;
    settings.mseAsMet = options.mseAsMet;
    settings.report = !options.reportDir.empty();
    settings.shareAreas = !options.freshAreas;
    settings.confidence = options.confidence;
    settings.paeCutoff = options.paeCutoff;
    settings.distCutoff = options.distCutoff;
    return settings;
}

void scoreEntry(const std::string& entry, const EntryContext& context,
                std::vector<EntryResult>& results) {
    scoreEntry(entry, context, [&results](EntryResult&& r) { results.push_back(std::move(r)); });
}

void scoreEntry(const std::string& entry, const EntryContext& context,
                const EntryResultSink& onResult) {
    const Options& options = context.options;
    if (context.recorded && context.recorded(printableName(entry))) return;
    if (const char* why = entryNameProblem(options.structureDir, entry)) {
        // Not a name the system can open: nothing is measured for it.
        printEntryNameProblem(options.structureDir, entry, why);
        EntryResult result;
        result.name = printableName(entry);
        result.status = EntryStatus::BadName;
        onResult(std::move(result));
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
    // An entry of many pairs says how many before it starts on them.
    hooks.onPairs = [](const std::string& name, std::size_t pairs) {
        if (pairs < kPairsToAnnounce) return;
        std::fflush(stdout);
        std::fprintf(stderr, "kav_zur: %s: %zu pairs of chains in contact to score\n",
                     printableName(name).c_str(), pairs);
    };
    AnalysisSettings settings = analysisSettings(options);
    settings.skip = context.recorded;
    analyseStructure(engine, input, settings, files, console, hooks,
                     [&](InterfaceResult&& interface) {
                         EntryResult result;
                         static_cast<InterfaceResult&>(result) = std::move(interface);
                         if (result.scored()) {
                             result.scoreLine = scoreLine(result.name, result.scores);
                             if (result.report) writeEntryReport(options.reportDir, result);
                         }
                         result.report.reset();
                         onResult(std::move(result));
                     });
}
