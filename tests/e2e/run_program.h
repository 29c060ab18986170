// Starting kav_zur as a user does, in a working directory of its own, and
// comparing text files line by line.
#pragma once

#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

namespace fs = std::filesystem;

struct RunResult {
    int status;       // exit status; -1 when the program did not exit normally
    int signal;       // the signal that ended it, or 0
    std::string out;  // standard output
    std::string err;  // standard error
};

// A kav_zur process that has been started; its output goes to files in outDir.
struct Started {
    pid_t pid;
    fs::path outPath;
    fs::path errPath;
};

// Starts kav_zur in `dir` with `args` and the extra environment `env`. Its
// output is collected in files in `outDir` (by default beside `dir`, which
// stays as the run left it). The signals in `ignored` are inherited as
// ignored, as from nohup or a launcher; a core dump is never written.
inline Started startKavZur(const fs::path& dir, std::vector<std::string> args,
                           const std::vector<std::pair<std::string, std::string>>& env = {},
                           fs::path outDir = {}, const std::vector<int>& ignored = {}) {
    if (outDir.empty()) outDir = dir.parent_path();
    Started started{-1, outDir / "stdout.txt", outDir / "stderr.txt"};
    args.insert(args.begin(), KAVZUR_BINARY);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    started.pid = fork();
    if (started.pid == 0) {
        const int out = open(started.outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(started.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(dir.c_str()) != 0)
            _exit(127);
        for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
        for (const int signal : ignored) std::signal(signal, SIG_IGN);
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return started;
}

// Waits for a started kav_zur to end and collects its output.
inline RunResult finishKavZur(const Started& started) {
    int status = -1;
    RunResult run{-1, 0, "", ""};
    if (started.pid > 0 && waitpid(started.pid, &status, 0) == started.pid) {
        if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
    }
    run.out = testutil::readText(started.outPath);
    run.err = testutil::readText(started.errPath);
    fs::remove(started.outPath);
    fs::remove(started.errPath);
    return run;
}

inline RunResult runKavZur(const fs::path& dir, std::vector<std::string> args,
                           const std::vector<std::pair<std::string, std::string>>& env = {},
                           fs::path outDir = {}, const std::vector<int>& ignored = {}) {
    return finishKavZur(startKavZur(dir, std::move(args), env, std::move(outDir), ignored));
}

inline std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size() - 1;
        lines.push_back(text.substr(start, end + 1 - start));
        start = end + 1;
    }
    return lines;
}

// Exact comparison that names the first lines that differ.
inline void expectSameLines(const std::string& actual, const std::string& expected,
                            const std::string& what) {
    const std::vector<std::string> a = splitLines(actual);
    const std::vector<std::string> e = splitLines(expected);
    int reported = 0;
    for (std::size_t i = 0; i < std::max(a.size(), e.size()) && reported < 5; ++i) {
        const std::string got = i < a.size() ? a[i] : "<no line>";
        const std::string want = i < e.size() ? e[i] : "<no line>";
        if (got != want) {
            ADD_FAILURE() << what << ", line " << i + 1 << ":\n  got:  " << got
                          << "\n  want: " << want;
            ++reported;
        }
    }
}

}  // namespace e2e
