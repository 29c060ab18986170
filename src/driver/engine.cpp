#include "driver/engine.h"

#include "common/text_file.h"
#include "driver/workfiles.h"

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
#include <spawn.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// posix_spawn file actions and attributes, released on every path.
struct SpawnActions {
    posix_spawn_file_actions_t actions;
    SpawnActions() { posix_spawn_file_actions_init(&actions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
};

struct SpawnAttributes {
    posix_spawnattr_t attr;
    SpawnAttributes() { posix_spawnattr_init(&attr); }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attr); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
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

// The signals that end a run from outside (Ctrl-C, kill, a closed terminal)
// do not reach an engine in its own process group. While the engine runs
// they are held back and read from a descriptor, so that the engine can be
// stopped before they take their usual effect.
struct HeldSignals {
    sigset_t held;
    sigset_t previous;
    int fd = -1;
    HeldSignals() {
        sigemptyset(&held);
        for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held, s);
        pthread_sigmask(SIG_BLOCK, &held, &previous);
        fd = signalfd(-1, &held, SFD_CLOEXEC | SFD_NONBLOCK);
    }
    ~HeldSignals() {
        if (fd >= 0) close(fd);
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
    HeldSignals(const HeldSignals&) = delete;
    HeldSignals& operator=(const HeldSignals&) = delete;

    // The number of a signal that arrived, or 0.
    int arrived() const {
        signalfd_siginfo info{};
        if (fd >= 0 && read(fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
            return static_cast<int>(info.ssi_signo);
        return 0;
    }
};

enum class Wait { Ended, TimedOut, Signalled };

// Waits up to `seconds` for the child to end, without taking its status, or
// until one of the held signals arrives (its number goes to `signal`).
Wait waitForExit(pid_t pid, double seconds, const HeldSignals& signals, int& signal) {
    using Clock = std::chrono::steady_clock;
    const auto deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double>(seconds));
    ProcessFd process(pid);
    auto pause = std::chrono::microseconds(50);
    for (;;) {
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == pid)
            return Wait::Ended;
        if ((signal = signals.arrived()) != 0) return Wait::Signalled;
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
        pollfd watched[2] = {{signals.fd, POLLIN, 0}, {process.fd, POLLIN, 0}};
        poll(watched, 2, static_cast<int>(std::min<long long>(ms, 60000)));
    }
}

}  // namespace

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
    const std::string program = naccessDir + "/accall";
    SpawnActions fa;
    if (posix_spawn_file_actions_addopen(&fa.actions, 0, controlFile.c_str(), O_RDONLY, 0) != 0)
        return false;
    // The engine gets a process group of its own, so that a stopped engine
    // takes along whatever it started (NACCESS's accall is a script).
    SpawnAttributes sa;
    HeldSignals signals;
    if (posix_spawnattr_setflags(&sa.attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK) != 0 ||
        posix_spawnattr_setpgroup(&sa.attr, 0) != 0 ||
        posix_spawnattr_setsigmask(&sa.attr, &signals.previous) != 0)
        return false;

    // Whatever we printed so far must come before anything the engine prints.
    std::fflush(stdout);

    std::vector<char> arg0(program.begin(), program.end());
    arg0.push_back('\0');
    char* argv[] = {arg0.data(), nullptr};
    pid_t pid = 0;
    // The driver checks the engine once at start-up; a run that cannot start
    // is reported by its caller.
    if (posix_spawn(&pid, program.c_str(), &fa.actions, &sa.attr, argv, environ) != 0)
        return false;

    const double timeout = engineTimeout();
    int signal = 0;
    const Wait waited = waitForExit(pid, timeout, signals, signal);
    if (waited != Wait::Ended && kill(-pid, SIGKILL) != 0) kill(pid, SIGKILL);

    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    if (waited == Wait::Signalled) {
        // The engine is gone; now the signal takes its usual effect.
        std::fflush(stdout);
        pthread_sigmask(SIG_SETMASK, &signals.previous, nullptr);
        raise(signal);
        return false;
    }
    if (waited == Wait::TimedOut) {
        std::printf("\n%s ran longer than %g s and was stopped", program.c_str(), timeout);
        return false;
    }
    // An engine that crashed may have left a half-written area file behind
    // a complete log; its exit status otherwise says nothing.
    if (WIFSIGNALED(status)) {
        std::printf("\n%s ended by signal %d", program.c_str(), WTERMSIG(status));
        return false;
    }
    return true;
}

bool logSaysSuccess(const std::string& logPath) {
    File log = openFile(logPath, "r");
    if (!log) return false;
    char piece[90];
    while (readPiece(log.get(), piece, sizeof piece)) {
        if (std::strstr(piece, kEngineSuccess)) return true;
    }
    return false;
}

std::vector<std::string> engineErrors(const std::string& logPath) {
    std::vector<std::string> errors;
    File log = openFile(logPath, "r");
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
