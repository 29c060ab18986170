#include "analysis/engine_program.h"

#include "common/text_file.h"
#include "analysis/held_signals.h"
#include "common/engine_stop.h"
#include "common/workfiles.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <filesystem>
#include <linux/close_range.h>
#include <optional>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// A pipe whose ends are closed on every path; both ends close-on-exec.
struct Pipe {
    int fd[2] = {-1, -1};
    Pipe() {
        if (pipe2(fd, O_CLOEXEC) != 0) fd[0] = fd[1] = -1;
    }
    ~Pipe() {
        closeEnd(0);
        closeEnd(1);
    }
    void closeEnd(int end) {
        if (fd[end] >= 0) close(fd[end]);
        fd[end] = -1;
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
};

// A descriptor that becomes readable when the child ends (Linux 5.3 on);
// -1 where the kernel has none.
struct ProcessFd {
    int fd;
    explicit ProcessFd(pid_t pid) {
#ifdef SYS_pidfd_open
        fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
        (void)pid;
        fd = -1;
#endif
    }
    ~ProcessFd() {
        if (fd >= 0) close(fd);
    }
    ProcessFd(const ProcessFd&) = delete;
    ProcessFd& operator=(const ProcessFd&) = delete;
};

void (*gSignalCleanup)() = nullptr;

// Marks every descriptor from 3 on close-on-exec, in the child, so that no
// file of the program (pdblist, the score file) reaches the engine.
void closeOnExecFrom3() {
#ifdef CLOSE_RANGE_CLOEXEC
    if (syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC) == 0) return;
#endif
    const long open = sysconf(_SC_OPEN_MAX);
    for (int fd = 3; fd < std::min<long>(open < 0 ? 1024 : open, 65536); ++fd) {
        const int flags = fcntl(fd, F_GETFD);
        if (flags >= 0 && !(flags & FD_CLOEXEC)) fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    }
}

// Starts `program` with standard input from `input`, in `dir` (the working
// directory when null), in a process group of its own, with `mask` as its
// signal mask. It is killed (SIGKILL) if this process ends first. Returns
// the child, or -1 with `error` set to why it could not be started (the
// errno of the failed step, exec included).
pid_t startProgram(const std::string& program, const char* input, const char* dir,
                   const sigset_t& mask, int& error) {
    error = 0;
    Pipe report;  // the child's errno when it cannot exec; end of file once it has
    if (report.fd[0] < 0) {
        error = errno;
        return -1;
    }
    std::vector<char> arg0(program.begin(), program.end());
    arg0.push_back('\0');
    char* argv[] = {arg0.data(), nullptr};
    const pid_t parent = getpid();

    // Whatever we printed so far must come before anything the engine prints.
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid < 0) {
        error = errno;
        return -1;
    }
    if (pid == 0) {
        // Only async-signal-safe calls from here on.
        int failed = 0;
        if (setpgid(0, 0) != 0 || prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) failed = errno;
        if (!failed && getppid() != parent) _exit(127);  // the parent is gone already
        if (!failed && dir && chdir(dir) != 0) failed = errno;
        if (!failed) {
            const int in = open(input, O_RDONLY | O_CLOEXEC);
            if (in < 0 || dup2(in, 0) < 0) failed = errno;
            if (in > 0) close(in);
            // With no standard input of our own, open() gave 0 itself, and
            // dup2 onto itself would leave it close-on-exec.
            if (in == 0 && fcntl(0, F_SETFD, 0) != 0) failed = errno;
        }
        if (!failed) {
            closeOnExecFrom3();
            sigprocmask(SIG_SETMASK, &mask, nullptr);
            execve(argv[0], argv, environ);
            failed = errno;
        }
        while (write(report.fd[1], &failed, sizeof failed) < 0 && errno == EINTR) {
        }
        _exit(127);
    }
    // Either side may set the group first; kill(-pid) needs it at once.
    setpgid(pid, pid);
    report.closeEnd(1);
    int childError = 0;
    ssize_t got;
    while ((got = read(report.fd[0], &childError, sizeof childError)) < 0 && errno == EINTR) {
    }
    if (got == static_cast<ssize_t>(sizeof childError)) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        error = childError;
        return -1;
    }
    return pid;
}

enum class Wait { Ended, TimedOut, Signalled, Cancelled, Lost };

// How often a caller's stop flag is looked at while an engine program runs.
constexpr long long kStopPollMs = 50;

// Waits up to `seconds` for the child to end, without taking its status, or
// until one of the held signals arrives (its number goes to `signal`), or
// until `stop`'s flag is raised (with no signals held: a host process owns
// them). Lost: the child can no longer be waited for (never with SIGCHLD at
// its default).
Wait waitForExit(pid_t pid, double seconds, const HeldSignals* signals, const EngineStop* stop,
                 int& signal) {
    using Clock = std::chrono::steady_clock;
    const auto deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double>(seconds));
    ProcessFd process(pid);
    auto pause = std::chrono::microseconds(50);
    for (;;) {
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
            if (errno == EINTR) continue;
            return Wait::Lost;
        }
        if (info.si_pid == pid) return Wait::Ended;
        if (signals && (signal = signals->arrived()) != 0) return Wait::Signalled;
        if (stop && stop->cancel && stop->cancel->load()) return Wait::Cancelled;
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) return Wait::TimedOut;
        // Without a process descriptor, look again after a pause that grows
        // to 1 ms, short beside an engine run.
        long long ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
        if (process.fd < 0) {
            const auto step = std::chrono::ceil<std::chrono::milliseconds>(pause).count();
            ms = std::min<long long>(ms, step);
            pause = std::min(pause * 2, std::chrono::microseconds(1000));
        }
        if (stop) ms = std::min(ms, kStopPollMs);
        pollfd watched[2] = {{signals ? signals->fd : -1, POLLIN, 0}, {process.fd, POLLIN, 0}};
        poll(watched, 2, static_cast<int>(std::min<long long>(ms, 60000)));
    }
}

}  // namespace

void prepareEngineRuns() {
    // An inherited "ignore" (or SA_NOCLDWAIT) makes the kernel reap children
    // at once, and no wait would ever see the engine end.
    struct sigaction current {};
    if (sigaction(SIGCHLD, nullptr, &current) != 0) return;
    if (current.sa_handler == SIG_IGN || (current.sa_flags & SA_NOCLDWAIT)) {
        struct sigaction standard {};
        standard.sa_handler = SIG_DFL;
        sigemptyset(&standard.sa_mask);
        sigaction(SIGCHLD, &standard, nullptr);
    }
}

void setSignalCleanup(void (*cleanup)()) { gSignalCleanup = cleanup; }

std::string missingEngineFile(const std::string& naccessDir) {
    const std::string accall = naccessDir + "/accall";
    std::error_code ec;
    if (!std::filesystem::is_regular_file(accall, ec) || access(accall.c_str(), X_OK) != 0)
        return accall;
    for (const char* data : {"/vdw.radii", "/standard.data"}) {
        const std::string path = naccessDir + data;
        if (!std::filesystem::is_regular_file(path, ec) || access(path.c_str(), R_OK) != 0)
            return path;
    }
    return "";
}

std::string engineStartProblem(const std::string& naccessDir) {
    prepareEngineRuns();
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/kav_zur-start-XXXXXX";
    if (!mkdtemp(dir.data())) return "";  // nowhere to try: the first structure will tell
    HeldSignals signals;
    int error = 0;
    // It starts in a directory of its own: a relative name would not lead there.
    std::error_code ec;
    const std::string program = std::filesystem::absolute(naccessDir + "/accall", ec).string();
    const pid_t pid = startProgram(ec ? naccessDir + "/accall" : program, "/dev/null",
                                   dir.c_str(), signals.previous, error);
    if (pid > 0) {
        // It started: that is all this asks. It ran in a directory of its own.
        if (kill(-pid, SIGKILL) != 0) kill(pid, SIGKILL);
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    std::error_code ignoredError;
    std::filesystem::remove_all(dir, ignoredError);
    return pid > 0 ? "" : std::strerror(error);
}

double engineTimeout() {
    const char* text = std::getenv("KAV_ZUR_ENGINE_TIMEOUT");
    if (!text || !*text) return kEngineTimeoutSeconds;
    char* end = nullptr;
    const double seconds = std::strtod(text, &end);
    if (*end != '\0' || !std::isfinite(seconds) || seconds <= 0.0) return kEngineTimeoutSeconds;
    // Some 30 years: any longer would overflow the clock's nanoseconds.
    return std::min(seconds, 1e9);
}

bool runAccall(const std::string& naccessDir, const std::string& controlFile) {
    return runAccall(naccessDir, controlFile, std::string(), stdout);
}

bool runAccall(const std::string& naccessDir, const std::string& controlFile,
               const std::string& dir, std::FILE* console) {
    const std::string program = naccessDir + "/accall";
    prepareEngineRuns();
    // A caller with a stop of its own (a library in a host process) keeps its
    // signals: they reach the host, which raises the stop. The command line
    // holds them, to stop the engine before a signal takes effect.
    const EngineStop* stop = currentEngineStop();
    if (stop && stop->cancel && stop->cancel->load()) throw EngineStopped();
    std::optional<HeldSignals> held;
    sigset_t mask;
    if (stop)
        pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    else
        mask = held.emplace().previous;
    int error = 0;
    // In a directory of its own, a relative name would not lead to it.
    std::error_code ec;
    const std::string started =
        dir.empty() ? program : std::filesystem::absolute(program, ec).string();
    // Whatever was written to the console must come before what the engine prints.
    if (console != stdout) std::fflush(console);
    const pid_t pid = startProgram(ec ? program : started, controlFile.c_str(),
                                   dir.empty() ? nullptr : dir.c_str(), mask, error);
    if (pid < 0) {
        std::fprintf(console, "\n%s: cannot be started: %s", program.c_str(),
                     std::strerror(error));
        return false;
    }

    const double timeout = stop && stop->limitSeconds > 0.0 ? stop->limitSeconds : engineTimeout();
    int signal = 0;
    const Wait waited = waitForExit(pid, timeout, held ? &*held : nullptr, stop, signal);
    // A child that was lost may have been reaped elsewhere, its number
    // reused: it is not signalled.
    if (waited != Wait::Ended && waited != Wait::Lost && kill(-pid, SIGKILL) != 0)
        kill(pid, SIGKILL);

    int status = 0;
    pid_t reaped;
    while ((reaped = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
    }
    if (waited == Wait::Signalled) {
        // The engine is gone; the working files go, then the signal takes
        // its usual effect.
        if (gSignalCleanup) gSignalCleanup();
        std::fflush(stdout);
        pthread_sigmask(SIG_SETMASK, &held->previous, nullptr);
        raise(signal);
        return false;
    }
    // The engine is gone: the caller's analysis unwinds, its files with it.
    if (waited == Wait::Cancelled) throw EngineStopped();
    if (reaped != pid || waited == Wait::Lost) {
        std::fprintf(console, "\n%s could not be waited for: %s", program.c_str(),
                     std::strerror(errno));
        return false;
    }
    if (waited == Wait::TimedOut) {
        std::fprintf(console, "\n%s ran longer than %g s and was stopped", program.c_str(),
                     timeout);
        return false;
    }
    // An engine that crashed may have left a half-written area file behind
    // a complete log; its exit status otherwise says nothing.
    if (WIFSIGNALED(status)) {
        std::fprintf(console, "\n%s ended by signal %d", program.c_str(), WTERMSIG(status));
        return false;
    }
    return true;
}

bool logSaysSuccess(const std::string& logPath) {
    DirectoryWorkspace here;
    return logSaysSuccess(here, logPath);
}

bool logSaysSuccess(Workspace& files, const std::string& logName) {
    File log(files.open(logName, "r"));
    if (!log) return false;
    char piece[90];
    while (readPiece(log.get(), piece, sizeof piece)) {
        if (std::strstr(piece, kEngineSuccess)) return true;
    }
    return false;
}

std::vector<std::string> engineErrors(const std::string& logPath) {
    DirectoryWorkspace here;
    return engineErrors(here, logPath);
}

std::vector<std::string> engineErrors(Workspace& files, const std::string& logName) {
    std::vector<std::string> errors;
    File log(files.open(logName, "r"));
    if (!log) return errors;
    char piece[90];
    while (errors.size() < 3 && readPiece(log.get(), piece, sizeof piece)) {
        if (!std::strstr(piece, "ERROR")) continue;
        std::string line(piece + std::strspn(piece, " \t"));
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        errors.push_back(line);
    }
    return errors;
}

void printEngineErrors(const std::string& logPath) {
    DirectoryWorkspace here;
    printEngineErrors(here, logPath, stdout);
}

void printEngineErrors(Workspace& files, const std::string& logName, std::FILE* console) {
    for (const std::string& error : engineErrors(files, logName))
        std::fprintf(console, " accall: %s\n", error.c_str());
}

bool runEngine(const std::string& naccessDir, const std::string& controlFile,
               const std::string& logPath) {
    // A log or area file left by an earlier run (of a structure that failed)
    // must never pass for this run's.
    removeFile(logPath);
    if (logPath.size() > 4 && logPath.compare(logPath.size() - 4, 4, ".log") == 0)
        removeFile(logPath.substr(0, logPath.size() - 4) + ".asa");
    const bool ran = runAccall(naccessDir, controlFile);
    return ran && logSaysSuccess(logPath);
}
