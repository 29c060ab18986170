#include "driver/batch.h"

#include "driver/options.h"

#include "common/text_file.h"
#include "analysis/control_files.h"
#include "records/details_file.h"
#include "analysis/engine_program.h"
#include "driver/pdblist.h"
#include "driver/progress.h"
#include "records/score_file.h"
#include "driver/resume.h"
#include "driver/shard.h"
#include "driver/workers.h"
#include "common/workfiles.h"
#include "interface/pipeline.h"
#include "report/report_writer.h"

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <system_error>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

// Room for the interface atoms of one subunit; SC_P grows it if ever needed.
constexpr std::size_t kInterfacePoints = 10000;

void removeAllWorkingFiles() {
    removeControlFiles();
    for (const char* prefix : kWorkingFilePrefixes) removeFilesWithPrefix(prefix);
}

bool isDirectory(const char* path) {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

// The files a run writes: the score file and, with --details, the record.
struct RunFiles {
    File score;
    File details;
    const char* failed = nullptr;  // the name of a file that could not be written
    std::string failedWhy;         // why, when the working directory is full
    std::string detailsPath;
    bool confidence = false;  // the details rows carry the confidence columns
    ProgressDisplay progress;  // the line on standard error, and the summary
};

// Whether the working directory has run out of room (a full disk or
// quota): then an entry's working files could not be written, and its
// result says nothing of the structure. statvfs first, which costs next to
// nothing; only a directory that says it is full is tried with a file.
bool workingDirectoryFull(std::string& why) {
    struct statvfs fs {};
    if (statvfs(".", &fs) == 0 && fs.f_bavail > 0 && (fs.f_files == 0 || fs.f_favail > 0))
        return false;
    char probe[] = ".kav_zur-space.XXXXXX";
    const int fd = mkstemp(probe);
    if (fd < 0) {
        why = std::strerror(errno);
        return errno == ENOSPC || errno == EDQUOT;
    }
    const std::string block(4096, ' ');
    const bool written = write(fd, block.data(), block.size()) == static_cast<ssize_t>(block.size());
    const int error = errno;
    close(fd);
    unlink(probe);
    if (written) return false;
    why = std::strerror(error);
    return true;
}

// Writes score lines of an entry, then their rows, each flushed at once, and
// adds them to `counts` (the entry's part in the progress). The lines go
// first: a run stopped in between leaves a line whose row is missing, which
// --resume drops.
bool recordResults(RunFiles& files, const std::vector<EntryResult>& results,
                   EntryCounts& counts) {
    // A result of working files that could not be written is no result.
    std::string why;
    for (const EntryResult& result : results)
        if (!result.workspaceProblem.empty()) why = result.workspaceProblem;
    if (!why.empty() || workingDirectoryFull(why)) {
        files.failed = "working files in the working directory";
        files.failedWhy = why;
        return false;
    }
    for (const EntryResult& result : results) counts.add(result);
    std::string lines, rows;
    for (const EntryResult& result : results) {
        lines += result.scoreLine;
        if (files.details) rows += detailsRow(result, files.confidence);
    }
    if (!lines.empty() && !writeAndFlush(files.score.get(), lines)) {
        files.failed = kScoreFileName;
        return false;
    }
    if (files.details && !writeAndFlush(files.details.get(), rows)) {
        files.failed = files.detailsPath.c_str();
        return false;
    }
    return true;
}

// Reads a regular file whole. False when there is none; `problem` says why
// one that is there could not be read.
bool readWhole(const std::string& path, std::string& text, std::string& problem) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    if (in) all << in.rdbuf();
    text = all.str();
    if (!in || in.bad()) problem = path + " cannot be read";
    return true;
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    const auto ca = std::filesystem::weakly_canonical(a, ec);
    if (ec) return false;
    const auto cb = std::filesystem::weakly_canonical(b, ec);
    return !ec && ca == cb;
}

// Opens a file to go on with: cut back to `keep` bytes and opened for
// appending, with its header written again when none of it is kept.
File reopenAt(const std::string& path, std::size_t keep, const std::string& header) {
    std::error_code ec;
    std::filesystem::resize_file(path, keep < header.size() ? 0 : keep, ec);
    if (ec) return File();
    File file = openFile(path, "ae");
    if (file && keep < header.size() && !writeAndFlush(file.get(), header)) return File();
    return file;
}

// The details file and the score file, opened before any structure is
// scored; with --resume the entries already recorded are found first and
// nothing is changed when the files are not this run's. Returns 0, the
// first entry to score and the names of its interfaces already recorded, or
// the exit status.
int openRunFiles(const Options& options, const std::vector<std::string>& list, RunFiles& files,
                 std::size_t& first, std::set<std::string>& recorded) {
    first = 0;
    files.detailsPath = options.detailsPath;
    files.confidence = options.confidence;
    const bool withDetails = !options.detailsPath.empty();
    if (withDetails && (sameFile(options.detailsPath, kScoreFileName) ||
                        sameFile(options.detailsPath, "pdblist"))) {
        std::fprintf(stderr, "kav_zur: --details: %s would overwrite %s\n",
                     options.detailsPath.c_str(),
                     sameFile(options.detailsPath, "pdblist") ? "pdblist" : kScoreFileName);
        return 1;
    }
    if (withDetails && removedByCleanUp(options.detailsPath)) {
        std::fprintf(stderr,
                     "kav_zur: --details: %s would be removed with the working files at the end "
                     "of the run; choose another name\n",
                     options.detailsPath.c_str());
        return 1;
    }

    std::string scoreText, detailsText;
    bool haveScores = false, haveDetails = false;
    ResumePoint point;
    if (options.resume) {
        std::string unreadable;
        haveScores = readWhole(kScoreFileName, scoreText, unreadable);
        haveDetails = withDetails && readWhole(options.detailsPath, detailsText, unreadable);
        point = findResumePoint(list, haveScores ? &scoreText : nullptr,
                                haveDetails ? &detailsText : nullptr, options.detailsPath,
                                options.confidence);
        if (!unreadable.empty()) point.problem = unreadable;
        if (!point.problem.empty()) {
            std::fprintf(stderr, "kav_zur: --resume: %s; nothing was changed\n",
                         point.problem.c_str());
            return 1;
        }
        if (withDetails && haveScores && !haveDetails && point.done > 0)
            std::fprintf(stderr,
                         "kav_zur: --resume: %s did not exist; it records only the entries "
                         "scored from now on\n",
                         options.detailsPath.c_str());
        if (haveScores)
            std::fprintf(stderr, "kav_zur: --resume: %zu of %zu entries already recorded; "
                                 "scoring the other %zu\n",
                         point.done, list.size(), list.size() - point.done);
        first = point.next;
        recorded = std::move(point.recorded);
    }

    if (withDetails) {
        files.details = haveDetails ? reopenAt(options.detailsPath, point.detailsKeep, detailsHeader(options.confidence))
                                    : openFile(options.detailsPath, "we");
        if (files.details && !haveDetails && !writeAndFlush(files.details.get(), detailsHeader(options.confidence)))
            files.details.reset();
        if (!files.details) {
            std::fprintf(stderr, "kav_zur: --details: cannot write %s: %s\n",
                         options.detailsPath.c_str(), std::strerror(errno));
            return 1;
        }
    }
    files.score = haveScores ? reopenAt(kScoreFileName, point.scoreKeep, scoreHeader())
                             : openFile(kScoreFileName, "we");
    if (!files.score) {
        std::printf("\nError in opening file for write. !!!\n");
        return 1;
    }
    if (!haveScores && !writeAndFlush(files.score.get(), scoreHeader())) files.failed = kScoreFileName;
    return 0;
}

}  // namespace

int runBatch(int argc, char** argv) { return runBatch(argc, argv, AnalysisFunction()); }

int runBatch(int argc, char** argv, Analysis analyse) {
    return runBatch(argc, argv,
                    AnalysisFunction([analyse](std::vector<InterfacePoint>& points,
                                               ScoreSet& scores, const std::string& dir,
                                               AnalysisRecord&) { return analyse(points, scores, dir); }));
}

int runBatch(int argc, char** argv, const AnalysisFunction& analyse) {
    Options options;
    if (const int status = parseOptions(argc, argv, options); status != kRunOn) return status;
    const std::string& naccessDir = options.naccessDir;

    std::string reportProblem;
    if (!options.reportDir.empty() && !prepareReportDirectory(options.reportDir, reportProblem)) {
        std::fprintf(stderr, "kav_zur: --report %s: %s\n", options.reportDir.c_str(),
                     reportProblem.c_str());
        return 1;
    }
    // Absolute: a front end may score entries from another working directory.
    if (!options.reportDir.empty()) options.reportDir = absolutePath(options.reportDir);

    const std::string missing = missingEngineFile(naccessDir);
    if (!missing.empty()) {
        std::printf("\nError in NACCESS directory: %s is missing or not usable. !!!\n",
                    missing.c_str());
        return 1;
    }
    // The bundled engine of this version runs in this process, unless told
    // otherwise or a stand-in analysis needs the files on disk.
    EngineLink engine;
    std::string engineProblem;
    if (!makeEngineLink(naccessDir, !options.engineProgram && !analyse, engine, engineProblem)) {
        std::printf("\nError in NACCESS directory: %s. !!!\n", engineProblem.c_str());
        return 1;
    }
    // An accall that is there but cannot be started (a script whose
    // interpreter is missing, a binary for another machine) would fail
    // every structure alike. Only an engine run as a program is started: the
    // one in this process never is.
    if (!engine.inProcess) {
        if (const std::string why = engineStartProblem(naccessDir); !why.empty()) {
            std::printf("\nError in NACCESS directory: %s/accall: cannot be started: %s. !!!\n",
                        naccessDir.c_str(), why.c_str());
            return 1;
        }
    }
    // A signal that ends the run during an engine run takes the working files along.
    setSignalCleanup(removeAllWorkingFiles);

    // Written whatever the engine (the in-process one reads none): a working
    // directory that takes no file stops the run here, with today's message.
    if (const char* failed = writeControlFiles(naccessDir)) {
        std::printf("\nError in writing control file %s. !!!\n", failed);
        removeControlFiles();
        return 1;
    }

    std::vector<InterfacePoint> points(kInterfacePoints);

    // pdblist is read first, and a run that cannot read it leaves the
    // score file of an earlier run untouched.
    std::vector<std::string> list;
    {
        File listFile;
        if (!isDirectory("pdblist")) listFile = openFile("pdblist", "r");
        if (!listFile) {
            std::printf("\nError in opening pdblist file. !!!\n");
            removeControlFiles();
            return 1;
        }
        for (std::string entry; readEntry(listFile.get(), entry);) list.push_back(entry);
    }
    // With --shard only this part of the list is scored (and resumed).
    const EntryRange part = shardOf(list.size(), options.shard);
    list = std::vector<std::string>(list.begin() + part.begin, list.begin() + part.end);

    // Workers see every relative path made absolute: refused here, before
    // any file is touched, rather than skipping entries the run in one
    // process would score.
    if (options.jobs > 1) {
        if (const std::string why = workerPathProblem(options, list); !why.empty()) {
            std::fprintf(stderr, "kav_zur: -j %d: %s; run from a shorter working directory, or "
                                 "with -j 1\n", options.jobs, why.c_str());
            removeControlFiles();
            return 1;
        }
    }

    // What a killed run with workers left goes before its work is taken up.
    if (options.resume) removeAbandonedRunDirectories();
    RunFiles files;
    std::size_t first = 0;
    std::set<std::string> recorded;
    if (const int status = openRunFiles(options, list, files, first, recorded); status != 0) {
        removeControlFiles();
        return status;
    }

    // The entry --resume re-enters skips its interfaces already recorded.
    const EntryContext context{options, analyse, points, &engine,
                               [&recorded](const std::string& name) {
                                   return recorded.count(name) > 0;
                               }};
    const EntryContext others{options, analyse, points, &engine};
    // That entry is one of those already recorded: the progress counts the others.
    const bool reentered = !recorded.empty();
    files.progress.start(options.progress, list.size() - first - (reentered ? 1 : 0));
    int stopSignal = 0;
    // The in-process engine runs in worker processes even for -j 1: a
    // structure that crashes or hangs it costs only itself, as with a program.
    if (options.jobs <= 1 && !engine.inProcess) {
        // Each interface recorded as soon as it is done; once a file cannot
        // be written, the entry's other interfaces are passed by.
        std::vector<EntryResult> one(1);
        for (std::size_t i = first; !files.failed && i < list.size(); ++i) {
            EntryContext entryContext = i == first ? context : others;
            entryContext.recorded = [&files, given = entryContext.recorded](const std::string& n) {
                return files.failed != nullptr || (given && given(n));
            };
            EntryCounts counts;
            scoreEntry(list[i], entryContext, [&](EntryResult&& result) {
                one[0] = std::move(result);
                if (!files.failed) recordResults(files, one, counts);
            });
            // The entry --resume re-enters is recorded already: not counted.
            if (!files.failed && !(i == first && reentered)) files.progress.record(counts);
        }
    } else if (!files.failed) {
        EntryCounts counts;
        const WorkersOutcome outcome = runWorkers(
            list, first, options.jobs, context,
            [&files, &counts, counted = !reentered](const std::vector<EntryResult>& results,
                                                    bool entryEnds) mutable {
                const bool ok = recordResults(files, results, counts);
                if (ok && entryEnds) {
                    if (counted) files.progress.record(counts);
                    counted = true;
                    counts = EntryCounts{};
                }
                return ok;
            });
        stopSignal = outcome.signal;
        if (outcome.recordFailed && !files.failed) {
            // No line could be added: the run did not work.
            removeAllWorkingFiles();
            return 1;
        }
    }

    files.progress.leave();
    const bool closed = std::fclose(files.score.release()) == 0;
    if (!closed && !files.failed) files.failed = kScoreFileName;
    if (files.details && std::fclose(files.details.release()) != 0 && !files.failed)
        files.failed = options.detailsPath.c_str();
    removeAllWorkingFiles();
    if (stopSignal) {
        // Every line written stays; now the signal takes its usual effect.
        std::fflush(stdout);
        std::signal(stopSignal, SIG_DFL);
        raise(stopSignal);
    }
    if (files.failed) {
        if (files.failedWhy.empty())
            std::printf("\nError in writing file %s. !!!\n", files.failed);
        else
            std::printf("\nError in writing %s: %s. !!!\n", files.failed,
                        files.failedWhy.c_str());
        return 1;
    }
    std::printf("\nFinished\n");
    files.progress.finish();
    return 0;
}
