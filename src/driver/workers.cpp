#include "driver/workers.h"

#include "common/text_file.h"
#include "analysis/control_files.h"
#include "analysis/engine_program.h"
#include "analysis/held_signals.h"
#include "driver/pdblist.h"
#include "driver/progress.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <malloc.h>
#include <map>
#include <poll.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/signalfd.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <system_error>
#include <type_traits>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kRunDirPrefix = ".kav_zur-jobs.";
constexpr const char* kLockName = "lock";
// A worker that cannot set up its directory says so by this exit status.
constexpr int kSetupFailed = 121;
constexpr int kEngineTimedOut = 122;  // an in-process engine run took longer than its limit

// The time limit of an in-process engine run in a worker: a run that takes
// longer than engineTimeout() ends the worker, which costs only its entry.
void onEngineTimeout(int) { _exit(kEngineTimedOut); }

void guardEngineRun(bool running) {
    itimerval timer{};
    // What the structure printed so far stays, should the engine crash.
    if (running) std::fflush(stdout);
    if (running) {
        const double limit = engineTimeout();
        timer.it_value.tv_sec = static_cast<time_t>(limit);
        timer.it_value.tv_usec =
            static_cast<suseconds_t>((limit - static_cast<double>(timer.it_value.tv_sec)) * 1e6);
        if (timer.it_value.tv_sec == 0 && timer.it_value.tv_usec == 0) timer.it_value.tv_usec = 1;
    }
    setitimer(ITIMER_REAL, &timer, nullptr);
}

void armEngineTimeout() {
    struct sigaction action {};
    action.sa_handler = onEngineTimeout;
    sigemptyset(&action.sa_mask);
    sigaction(SIGALRM, &action, nullptr);
    sigset_t alarm;
    sigemptyset(&alarm);
    sigaddset(&alarm, SIGALRM);
    sigprocmask(SIG_UNBLOCK, &alarm, nullptr);
}
// How long stopped workers get to end before they are killed.
constexpr double kStopGraceSeconds = 5.0;

// A worker scores entry after entry: a fresh process for each would cost
// its fork and the first touch of its memory, about a tenth of a 5k-atom
// structure. It retires (a fresh worker takes the next entry) after
// kWorkerEntries entries, or once its peak resident size has passed
// kRetirePeakKb: the memory a large structure made the allocator take stays
// with its process, and each of N workers would hold such a peak for the
// rest of the run. A fork every few hundred entries costs next to nothing.
constexpr std::size_t kWorkerEntries = 200;
constexpr long kRetirePeakKb = 256 * 1024;
// What a worker's allocator keeps of the memory it frees (see workAt). No
// more: blocks of up to 32 MB kept on the heap fragmented it within an entry
// of many interfaces (the 60-copy 2XHE block peaked at 188 MB, against 166
// MB with these and 158 MB with glibc's own thresholds).
constexpr int kKeptBlockBytes = 4 << 20;
constexpr int kKeptTopBytes = 32 << 20;

// KAV_ZUR_WORKER_ENTRIES (a positive whole number) in place of
// kWorkerEntries; 1 gives every entry a fresh worker.
std::size_t workerEntries() {
    const char* text = std::getenv("KAV_ZUR_WORKER_ENTRIES");
    if (!text || !*text) return kWorkerEntries;
    char* end = nullptr;
    errno = 0;
    const unsigned long long n = std::strtoull(text, &end, 10);
    if (*end != '\0' || errno != 0 || n == 0 || text[0] == '-') return kWorkerEntries;
    return static_cast<std::size_t>(std::min<unsigned long long>(n, SIZE_MAX));
}

// Parent and worker talk over a socket pair (send's MSG_NOSIGNAL: a peer
// gone gives an error, never SIGPIPE): the parent sends the index of the
// entry to score; once the entry's end frame is written, the worker answers
// with that index and its peak resident size. End of file tells the worker
// to stop.
struct Answer {
    std::uint64_t index = 0;
    std::int64_t peakKb = 0;
};

// Sends or receives `size` bytes whole; false when the peer is gone (or, for
// a receive, said nothing more).
bool sendWhole(int fd, const void* data, std::size_t size) {
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = send(fd, at, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        at += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool receiveWhole(int fd, void* data, std::size_t size) {
    char* at = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = recv(fd, at, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        at += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// While workers run, the terminating signals and SIGCHLD are held back and
// read from a descriptor (HeldSignals), so that the workers are stopped first.

// A descriptor closed on every path.
struct Descriptor {
    int fd = -1;
    explicit Descriptor(int f = -1) : fd(f) {}
    ~Descriptor() { reset(); }
    void reset(int f = -1) {
        if (fd >= 0) close(fd);
        fd = f;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
};

// The directory of a whole run, locked while the run lives: a directory
// whose lock can be taken belongs to a run that is gone.
struct RunDirectory {
    std::string path;
    int lock = -1;
    RunDirectory() {
        std::string pattern = std::string("./") + kRunDirPrefix + "XXXXXX";
        if (!mkdtemp(pattern.data())) return;
        lock = open((pattern + "/" + kLockName).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (lock < 0 || flock(lock, LOCK_EX | LOCK_NB) != 0) {
            std::error_code ec;
            fs::remove_all(pattern, ec);
            return;
        }
        path = fs::absolute(pattern).lexically_normal().string();
    }
    ~RunDirectory() {
        std::error_code ec;
        if (!path.empty()) fs::remove_all(path, ec);
        if (lock >= 0) close(lock);
    }
    RunDirectory(const RunDirectory&) = delete;
    RunDirectory& operator=(const RunDirectory&) = delete;
};

}  // namespace

void removeAbandonedRunDirectories() {
    std::error_code ec;
    std::vector<fs::path> abandoned;
    for (fs::directory_iterator it(".", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(kRunDirPrefix, 0) != 0 || !it->is_directory(ec)) continue;
        const Descriptor lock(open((it->path() / kLockName).c_str(), O_RDONLY | O_CLOEXEC));
        if (lock.fd >= 0 && flock(lock.fd, LOCK_EX | LOCK_NB) == 0) abandoned.push_back(it->path());
    }
    for (const fs::path& dir : abandoned) fs::remove_all(dir, ec);
}

namespace {

std::string absoluteDir(const std::string& dir, const std::string& cwd) {
    return dir.empty() || dir[0] == '/' ? dir : cwd + "/" + dir;
}

// What workers see of the options: every directory absolute, since they
// work elsewhere. Their messages name the directories as given.
struct WorkerPaths {
    Options options;
    std::vector<std::pair<std::string, std::string>> shown;  // absolute prefix, as given
};

// Room for what a worker adds below the working directory: its run's and
// its own directory, and the longest name it writes there.
constexpr std::size_t kWorkerDirRoom = sizeof "/.kav_zur-jobs.XXXXXX/worker.XXXXXX/results.part" + 16;

}  // namespace

std::string workerPathProblem(const Options& options, const std::vector<std::string>& list) {
    std::error_code ec;
    const std::string cwd = fs::current_path(ec).string();
    if (ec) return "the working directory's path cannot be had (" + ec.message() + ")";
    const std::size_t limit = PATH_MAX;
    auto tooLong = [&](const std::string& what, std::size_t size) {
        return what + " would be " + std::to_string(size) +
               " bytes long as a worker sees it, more than the system allows (" +
               std::to_string(limit - 1) + ")";
    };
    if (cwd.size() + kWorkerDirRoom >= limit)
        return tooLong("the files of a worker below the working directory (a path of " +
                           std::to_string(cwd.size()) + " bytes)",
                       cwd.size() + kWorkerDirRoom);
    // The engine's files; and each entry that a run in one process can open.
    const std::string engineFile = options.naccessDir + "/standard.data";
    if (const std::string seen = absoluteDir(engineFile, cwd); seen.size() >= limit)
        return tooLong(engineFile, seen.size());
    if (!options.structureDir.empty() && options.structureDir[0] == '/') return "";
    for (const std::string& entry : list) {
        const std::string path = options.structureDir + "/" + entry;
        if (!entryNameProblem(options.structureDir, entry) && cwd.size() + 1 + path.size() >= limit)
            return tooLong(printableName(path), cwd.size() + 1 + path.size());
    }
    return "";
}

namespace {

WorkerPaths workerPaths(const Options& given) {
    WorkerPaths paths{given, {}};
    std::error_code ec;
    const std::string cwd = fs::current_path(ec).string();
    for (std::string Options::*dir : {&Options::structureDir, &Options::naccessDir,
                                      &Options::reportDir}) {
        const std::string& as = given.*dir;
        paths.options.*dir = absoluteDir(as, cwd);
        if (paths.options.*dir != as) paths.shown.emplace_back(paths.options.*dir + "/", as + "/");
    }
    return paths;
}

std::string readAll(const std::string& path) {
    File in = openFile(path, "rbe");
    std::string text;
    if (!in) return text;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0) text.append(buffer, n);
    return text;
}

bool redirect(int target, const char* path) {
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool done = dup2(fd, target) == target;  // the copy is not close-on-exec
    close(fd);
    return done;
}

template <class T>
void putRaw(std::string& out, const T& value) {
    static_assert(std::is_trivially_copyable_v<T>);
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void putString(std::string& out, const std::string& text) {
    putRaw(out, text.size());
    out += text;
}

// Starts the worker's console, errors and results files afresh for its next
// entry, at their start: the parent has taken all of them, and emptied them,
// when it hands that entry over.
bool startOver(std::FILE* results) {
    return std::fflush(stdout) == 0 && std::fflush(stderr) == 0 && ftruncate(1, 0) == 0 &&
           ftruncate(2, 0) == 0 && fseeko(stdout, 0, SEEK_SET) == 0 &&
           fseeko(stderr, 0, SEEK_SET) == 0 && std::fflush(results) == 0 &&
           ftruncate(fileno(results), 0) == 0 && fseeko(results, 0, SEEK_SET) == 0;
}

// The worker: scores the entries the parent hands it over `channel`, one at
// a time, in its directory, and leaves each one's results there.
[[noreturn]] void workAt(const std::string& dir, const std::vector<std::string>& list,
                         std::size_t first, const EntryContext& firstContext,
                         const EntryContext& context, int channel, const sigset_t& mask,
                         pid_t parent) {
    sigprocmask(SIG_SETMASK, &mask, nullptr);
    // A worker never outlives the run; SIGTERM lets it stop its engine first.
    // Inherited as ignored (trap '' TERM in a job script) it would change
    // nothing: then SIGKILL, and the engine goes by its own parent-death signal.
    const int parentDeath = signalIgnored(SIGTERM) ? SIGKILL : SIGTERM;
    if (prctl(PR_SET_PDEATHSIG, parentDeath) != 0 || getppid() != parent) _exit(kSetupFailed);
    if (chdir(dir.c_str()) != 0 || !redirect(1, "console") || !redirect(2, "errors"))
        _exit(kSetupFailed);
    // The in-process engine reads no control file: its files stay in memory.
    const bool inProcess = context.engine && context.engine->inProcess;
    const char* failed = inProcess ? nullptr : writeControlFiles(context.options.naccessDir);
    if (failed) {
        std::printf("\nError in writing control file %s. !!!\n", failed);
        std::fflush(stdout);
        _exit(kSetupFailed);
    }
    EngineLink guarded;
    EntryContext guardedFirst = firstContext, guardedOthers = context;
    if (inProcess) {
        armEngineTimeout();
        guarded = *context.engine;
        guarded.guard = guardEngineRun;
        guardedFirst.engine = guardedOthers.engine = &guarded;
    }
    // Each result as soon as it is done (an entry of many pairs streams),
    // then the end frame: a results file without it is a worker that died.
    File results = openFile("results", "wbe");
    if (!results) _exit(kSetupFailed);
    auto frame = [&results](const std::string& encoded) {
        std::fflush(stdout);
        const off_t consoleEnd = lseek(1, 0, SEEK_CUR);
        std::string out;
        putRaw(out, static_cast<std::uint64_t>(consoleEnd < 0 ? 0 : consoleEnd));
        putRaw(out, static_cast<std::uint64_t>(encoded.size()));
        out += encoded;
        if (consoleEnd < 0 || std::fwrite(out.data(), 1, out.size(), results.get()) != out.size() ||
            std::fflush(results.get()) != 0)
            _exit(kSetupFailed);
    };
    // The memory one entry frees stays for the next, rather than going back
    // to the system and being touched afresh (a page fault a page): glibc
    // would unmap blocks from 128 kB up and trim the heap's top past
    // 128 kB. The retirement past kRetirePeakKb bounds what is kept.
    mallopt(M_MMAP_THRESHOLD, kKeptBlockBytes);
    mallopt(M_TRIM_THRESHOLD, kKeptTopBytes);
    for (std::uint64_t index = 0;;) {
        // End of file: the list is done, or this worker retires.
        if (!receiveWhole(channel, &index, sizeof index)) _exit(0);
        if (index >= list.size() || !startOver(results.get())) _exit(kSetupFailed);
        scoreEntry(list[index], index == first ? guardedFirst : guardedOthers,
                   [&frame](EntryResult&& r) { frame(encodeResults({std::move(r)})); });
        std::fflush(stderr);
        frame(std::string());
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        const Answer answer{index, usage.ru_maxrss};
        if (!sendWhole(channel, &answer, sizeof answer)) _exit(0);
    }
}

// The frames a worker has added to its results file since `resultsAt`: each
// result with the console text printed before it. `ended` when the end
// frame is among them. False for a frame that is not a result (damage).
bool readFrames(const std::string& dir, std::uint64_t& resultsAt, std::uint64_t& consoleAt,
                std::vector<std::pair<std::string, EntryResult>>& out, bool& ended) {
    File results = openFile(dir + "/results", "rbe");
    if (!results) return true;
    if (fseeko(results.get(), static_cast<off_t>(resultsAt), SEEK_SET) != 0) return false;
    std::string data;
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, results.get())) > 0;)
        data.append(buffer, n);
    File console = openFile(dir + "/console", "rbe");
    std::size_t at = 0;
    while (!ended && data.size() - at >= 16) {
        std::uint64_t consoleEnd = 0, size = 0;
        std::memcpy(&consoleEnd, data.data() + at, 8);
        std::memcpy(&size, data.data() + at + 8, 8);
        if (data.size() - at - 16 < size) break;  // not yet written whole
        std::pair<std::string, EntryResult> item;
        if (consoleEnd > consoleAt && console &&
            fseeko(console.get(), static_cast<off_t>(consoleAt), SEEK_SET) == 0) {
            item.first.resize(consoleEnd - consoleAt);
            item.first.resize(std::fread(item.first.data(), 1, item.first.size(), console.get()));
        }
        consoleAt = std::max(consoleAt, consoleEnd);
        if (size == 0) {
            ended = true;
            if (!item.first.empty()) out.push_back(std::move(item));
        } else {
            std::vector<EntryResult> one;
            if (!decodeResults(data.substr(at + 16, size), one) || one.size() != 1) return false;
            item.second = std::move(one[0]);
            out.push_back(std::move(item));
        }
        at += 16 + size;
        resultsAt += 16 + size;
    }
    return true;
}

struct Worker {
    pid_t pid = -1;
    Descriptor channel;  // the parent's end of the socket; closed: told to stop
    std::size_t index = 0;
    bool busy = false;        // list[index] is at work
    std::size_t handed = 0;   // the entries it was handed
    std::string dir;  // "" until the slot has one
    Clock::time_point start;
    std::uint64_t resultsAt = 0, consoleAt = 0, errorsAt = 0;  // what the parent has taken of its files
    bool streamed = false;  // some of its entry's results are recorded already
    bool ended = false;     // its end frame has been read
};

// What one entry left: its messages and its results.
struct Finished {
    std::string console;
    std::string errors;
    std::vector<EntryResult> results;
    bool stopped = false;  // killed because the run was stopped: nothing to record
    bool streamed = false;  // results before these were recorded as they came
};

std::string newWorkerDir(const std::string& runDir) {
    std::string pattern = runDir + "/worker.XXXXXX";
    return mkdtemp(pattern.data()) ? pattern : "";
}

std::string howItEnded(int status) {
    char text[64];
    if (WIFSIGNALED(status))
        std::snprintf(text, sizeof text, "ended by signal %d", WTERMSIG(status));
    else if (WIFEXITED(status) && WEXITSTATUS(status) == kSetupFailed)
        std::snprintf(text, sizeof text, "could not work in its directory");
    else if (WIFEXITED(status) && WEXITSTATUS(status) == kEngineTimedOut)
        std::snprintf(text, sizeof text, "ran the engine longer than %g s and was stopped",
                      engineTimeout());
    else
        std::snprintf(text, sizeof text, "exited with status %d", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return text;
}

struct Reader {
    const std::string& data;
    std::size_t at = 0;
    template <class T>
    bool raw(T& value) {
        static_assert(std::is_trivially_copyable_v<T>);
        if (data.size() - at < sizeof value) return false;
        std::memcpy(&value, data.data() + at, sizeof value);
        at += sizeof value;
        return true;
    }
    bool text(std::string& value) {
        std::size_t n = 0;
        if (!raw(n) || data.size() - at < n) return false;
        value.assign(data, at, n);
        at += n;
        return true;
    }
};

constexpr std::uint32_t kResultsMagic = 0x4b5a5231;  // "KZR1"

}  // namespace

std::string encodeResults(const std::vector<EntryResult>& results) {
    std::string out;
    putRaw(out, kResultsMagic);
    putRaw(out, results.size());
    for (const EntryResult& r : results) {
        putString(out, r.name);
        putString(out, r.sides);
        putRaw(out, r.status);
        putRaw(out, r.atomsA);
        putRaw(out, r.atomsB);
        AnalysisRecord analysis = r.analysis;
        analysis.report = nullptr;  // the worker's memory means nothing to the parent
        putRaw(out, analysis);
        putRaw(out, r.scores);
        putString(out, r.scoreLine);
        putRaw(out, r.seconds);
        putString(out, r.workspaceProblem);
        const unsigned char confidence = r.confidence != nullptr;
        putRaw(out, confidence);
        if (confidence) {
            putString(out, r.confidence->predictor);
            putRaw(out, r.confidence->iptm);
            putRaw(out, r.confidence->ptm);
            putRaw(out, r.confidence->ab);
            putRaw(out, r.confidence->ba);
            putRaw(out, r.confidence->both);
        }
    }
    putRaw(out, kResultsMagic);
    return out;
}

namespace {

bool decodeInto(const std::string& data, std::vector<EntryResult>& results) {
    Reader in{data};
    std::uint32_t magic = 0;
    std::size_t count = 0;
    if (!in.raw(magic) || magic != kResultsMagic || !in.raw(count)) return false;
    // Each result takes more than 64 bytes: a count beyond that is damage.
    if (count > data.size() / 64) return false;
    for (std::size_t i = 0; i < count; ++i) {
        EntryResult r;
        int status = 0;
        if (!in.text(r.name) || !in.text(r.sides) || !in.raw(r.status) || !in.raw(r.atomsA) ||
            !in.raw(r.atomsB) || !in.raw(r.analysis) || !in.raw(r.scores) ||
            !in.text(r.scoreLine) || !in.raw(r.seconds) || !in.text(r.workspaceProblem))
            return false;
        unsigned char confidence = 0;
        if (!in.raw(confidence) || confidence > 1) return false;
        if (confidence) {
            auto c = std::make_shared<ConfidenceRecord>();
            if (!in.text(c->predictor) || !in.raw(c->iptm) || !in.raw(c->ptm) || !in.raw(c->ab) ||
                !in.raw(c->ba) || !in.raw(c->both))
                return false;
            r.confidence = std::move(c);
        }
        std::memcpy(&status, &r.status, sizeof status);
        if (status < 0 || status > static_cast<int>(kLastStatus)) return false;
        r.analysis.report = nullptr;
        results.push_back(std::move(r));
    }
    return in.raw(magic) && magic == kResultsMagic && in.at == data.size();
}

}  // namespace

bool decodeResults(const std::string& data, std::vector<EntryResult>& results) {
    results.clear();
    if (decodeInto(data, results)) return true;
    results.clear();
    return false;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    if (from.empty()) return text;
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

WorkersOutcome runWorkers(const std::vector<std::string>& list, std::size_t first, int jobs,
                          const EntryContext& context, const RecordEntry& record) {
    WorkersOutcome outcome;
    // An inherited "ignore" of SIGCHLD would reap the workers unseen.
    prepareEngineRuns();
    removeAbandonedRunDirectories();

    const WorkerPaths paths = workerPaths(context.options);
    const EntryContext workerContext{paths.options, context.analyse, context.points,
                                     context.engine};
    // --resume: only the entry re-entered, list[first], skips what is recorded.
    const EntryContext firstContext{paths.options, context.analyse, context.points,
                                    context.engine, context.recorded};
    auto shown = [&paths](std::string text) {
        for (const auto& [absolute, given] : paths.shown) text = replaceAll(std::move(text), absolute, given);
        return text;
    };

    HeldSignals signals(SIGCHLD);
    RunDirectory run;
    std::vector<Worker> workers(static_cast<std::size_t>(std::max(jobs, 1)));
    std::map<std::size_t, Finished> finished;
    std::size_t next = first, toRecord = first;
    bool starting = true;
    Clock::time_point killAt{};
    const pid_t self = getpid();
    const std::size_t entriesPerWorker = workerEntries();

    auto running = [&workers] {
        std::size_t n = 0;
        for (const Worker& w : workers) n += w.pid > 0;
        return n;
    };
    auto dieEntry = [&](std::size_t index, Finished& f, const std::string& how, double seconds) {
        f.console += "\nThe worker process scoring " + context.options.structureDir + "/" +
                     list[index] + " " + how + " ... skipped\n";
        EntryResult died;
        died.name = list[index];
        died.status = EntryStatus::WorkerDied;
        died.seconds = seconds;
        f.results.push_back(died);
    };
    // The results the worker of the entry to record next has finished so
    // far, recorded now with the console text before each.
    auto stream = [&](Worker& w) {
        // Its messages on standard error (an entry's pair count) at once.
        const std::string errors = readAll(w.dir + "/errors");
        if (errors.size() > w.errorsAt) {
            eraseProgressLine();
            const std::string text = shown(errors.substr(w.errorsAt));
            std::fwrite(text.data(), 1, text.size(), stderr);
            w.errorsAt = errors.size();
        }
        std::vector<std::pair<std::string, EntryResult>> frames;
        if (!readFrames(w.dir, w.resultsAt, w.consoleAt, frames, w.ended)) return;
        for (auto& [console, result] : frames) {
            eraseProgressLine();
            const std::string text = shown(console);
            std::fwrite(text.data(), 1, text.size(), stdout);
            std::fflush(stdout);
            if (result.name.empty()) continue;  // the end frame's console text
            w.streamed = true;
            if (!outcome.recordFailed && !record({result}, false)) {
                outcome.recordFailed = true;
                starting = false;
            }
        }
    };
    // Hands list[next] to a worker that waits for an entry; false when it
    // is gone (it is reaped, and the entry goes to a fresh worker). A worker
    // just forked has the entry whatever: its end costs that entry, as
    // one that cannot set up its directory does.
    auto handOut = [&](Worker& w, bool fresh) {
        const std::uint64_t index = next;
        // The worker's files still hold the entry it ended, until it wakes
        // to start over: emptied here, they can never be taken for the
        // next entry's (a worker slow to wake gave one entry's lines twice).
        // It waits, its output flushed, and seeks to their start on waking.
        if (!fresh)
            for (const char* name : {"/console", "/errors", "/results"})
                if (truncate((w.dir + name).c_str(), 0) != 0 && errno != ENOENT) return false;
        if (!sendWhole(w.channel.fd, &index, sizeof index) && !fresh) return false;
        w.index = next++;
        w.busy = true;
        ++w.handed;
        w.start = Clock::now();
        w.resultsAt = w.consoleAt = w.errorsAt = 0;
        w.streamed = w.ended = false;
        return true;
    };
    // What the worker left of its entry at work: its results when it has
    // answered (`answered`) with its end frame written, else one result
    // WorkerDied with `how` it ended.
    auto takeEntry = [&](Worker& w, bool answered, const std::string& how) {
        Finished f;
        f.streamed = w.streamed;
        std::vector<std::pair<std::string, EntryResult>> frames;
        bool whole = readFrames(w.dir, w.resultsAt, w.consoleAt, frames, w.ended);
        for (auto& [console, result] : frames) {
            f.console += shown(console);
            if (!result.name.empty()) f.results.push_back(std::move(result));
        }
        // What it printed after its last result (a worker that died).
        std::string rest = readAll(w.dir + "/console");
        f.console += shown(rest.size() > w.consoleAt ? rest.substr(w.consoleAt) : std::string());
        const std::string errors = readAll(w.dir + "/errors");
        f.errors = shown(errors.size() > w.errorsAt ? errors.substr(w.errorsAt) : std::string());
        whole = whole && w.ended && answered;
        if (!whole) {
            const double seconds = std::chrono::duration<double>(Clock::now() - w.start).count();
            f.stopped = outcome.signal != 0;
            dieEntry(w.index, f, how, seconds);
        }
        w.busy = false;
        finished[w.index] = std::move(f);
        return whole;
    };
    // A worker's answer that its entry is done, if there is one.
    auto answered = [](Worker& w, Answer& answer) {
        if (w.channel.fd < 0) return false;
        ssize_t n;
        while ((n = recv(w.channel.fd, &answer, sizeof answer, MSG_DONTWAIT | MSG_PEEK)) < 0 &&
               errno == EINTR) {
        }
        // Sent whole by one send: a part of it is not yet all there.
        return n == static_cast<ssize_t>(sizeof answer) &&
               receiveWhole(w.channel.fd, &answer, sizeof answer) && answer.index == w.index;
    };

    if (run.path.empty()) {
        std::fprintf(stderr, "kav_zur: cannot create a directory for the workers in the working "
                             "directory: %s\n", std::strerror(errno));
        starting = false;
        outcome.recordFailed = true;
    }

    for (;;) {
        for (Worker& w : workers) {
            if (!starting || w.busy || next >= list.size()) continue;
            if (w.pid > 0 && w.channel.fd < 0) continue;  // on its way out: reaped below
            if (w.pid > 0) {
                if (!handOut(w, false)) w.channel.reset();
                continue;
            }
            if (w.dir.empty()) w.dir = newWorkerDir(run.path);
            Finished f;
            if (w.dir.empty()) {
                dieEntry(next, f, "could not be given a directory", 0.0);
                finished[next++] = std::move(f);
                continue;
            }
            int ends[2];
            if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
                const int error = errno;
                if (running() > 0) break;
                dieEntry(next, f, std::string("could not be started: ") + std::strerror(error), 0.0);
                finished[next++] = std::move(f);
                continue;
            }
            std::fflush(stdout);  // nothing of ours may be printed twice
            std::fflush(stderr);
            w.handed = 0;
            w.pid = fork();
            if (w.pid == 0) {
                // The other workers' channels are theirs alone.
                for (Worker& other : workers)
                    if (other.channel.fd >= 0) close(other.channel.fd);
                close(ends[0]);
                workAt(w.dir, list, first, firstContext, workerContext, ends[1], signals.previous,
                       self);
            }
            close(ends[1]);
            if (w.pid < 0) {
                // Out of processes for now: the entry waits for a worker to
                // end, unless none is left to wait for.
                const int error = errno;
                close(ends[0]);
                if (running() > 0) break;
                dieEntry(next, f, std::string("could not be started: ") + std::strerror(error), 0.0);
                finished[next++] = std::move(f);
                continue;
            }
            w.channel.reset(ends[0]);
            handOut(w, true);
        }
        if (running() > 0) {
            // Woken by a signal (a worker's end among them) or by an answer.
            std::vector<pollfd> watched{{signals.fd, POLLIN, 0}};
            for (const Worker& w : workers)
                if (w.busy && w.channel.fd >= 0) watched.push_back({w.channel.fd, POLLIN, 0});
            poll(watched.data(), watched.size(), 1000);  // a second at most: a missed SIGCHLD costs no more
        }
        signalfd_siginfo info{};
        while (signals.fd >= 0 && read(signals.fd, &info, sizeof info) == sizeof info) {
            const int signo = static_cast<int>(info.ssi_signo);
            if (signo == SIGCHLD || outcome.signal) continue;
            outcome.signal = signo;
            starting = false;
            killAt = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(kStopGraceSeconds));
            // SIGTERM whatever the signal: every worker stops its engine on it.
            for (const Worker& w : workers)
                if (w.pid > 0) kill(w.pid, SIGTERM);
        }
        if (outcome.signal && Clock::now() >= killAt)
            for (const Worker& w : workers)
                if (w.pid > 0) kill(w.pid, SIGKILL);

        for (Worker& w : workers)
            if (w.busy && w.index == toRecord && !outcome.signal) stream(w);

        // Entries done: a worker that answered waits for the next one, or
        // retires.
        for (Worker& w : workers) {
            Answer answer;
            if (!w.busy || !answered(w, answer)) continue;
            if (!takeEntry(w, true, "handed back results that could not be read")) {
                kill(w.pid, SIGKILL);
                w.channel.reset();
            } else if (w.handed >= entriesPerWorker || answer.peakKb > kRetirePeakKb) {
                w.channel.reset();
            }
        }
        // Workers with nothing more to do are told to stop.
        for (Worker& w : workers)
            if (w.pid > 0 && !w.busy && (!starting || next >= list.size())) w.channel.reset();

        for (Worker& w : workers) {
            int status = 0;
            if (w.pid <= 0 || waitpid(w.pid, &status, WNOHANG) != w.pid) continue;
            w.pid = -1;
            // It may have answered just before it ended.
            Answer answer;
            const bool done = w.busy && answered(w, answer);
            w.channel.reset();
            const bool whole = !w.busy || takeEntry(w, done, howItEnded(status));
            for (const char* name : {"/console", "/errors", "/results"})
                std::remove((w.dir + name).c_str());
            if (!whole || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                // Whatever the dead worker left, and whatever it started,
                // stays out of the next worker's way.
                std::error_code ec;
                fs::remove_all(w.dir, ec);
                w.dir.clear();
            }
        }

        // Everything finished in an unbroken run from the next entry to record.
        while (!finished.empty() && finished.begin()->first == toRecord) {
            const Finished& f = finished.begin()->second;
            if (f.stopped) {  // the run ends here: nothing after it is recorded
                finished.clear();
                starting = false;
                break;
            }
            eraseProgressLine();
            std::fwrite(f.console.data(), 1, f.console.size(), stdout);
            std::fflush(stdout);
            std::fwrite(f.errors.data(), 1, f.errors.size(), stderr);
            if (!outcome.recordFailed && !record(f.results, true)) {
                outcome.recordFailed = true;
                starting = false;
            }
            finished.erase(finished.begin());
            ++toRecord;
        }
        if (running() == 0 && (next >= list.size() || !starting)) break;
    }
    return outcome;
}
