#include "driver/engine.h"

#include "common/text_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

// posix_spawn file actions, released on every path.
struct SpawnActions {
    posix_spawn_file_actions_t actions;
    SpawnActions() { posix_spawn_file_actions_init(&actions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
};

}  // namespace

bool runAccall(const std::string& naccessDir, const std::string& controlFile) {
    const std::string program = naccessDir + "/accall";
    SpawnActions fa;
    if (posix_spawn_file_actions_addopen(&fa.actions, 0, controlFile.c_str(), O_RDONLY, 0) != 0)
        return false;

    // Whatever we printed so far must come before anything the engine prints.
    std::fflush(stdout);

    std::vector<char> arg0(program.begin(), program.end());
    arg0.push_back('\0');
    char* argv[] = {arg0.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), &fa.actions, nullptr, argv, environ) != 0)
        return false;

    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return false;
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

bool runEngine(const std::string& naccessDir, const std::string& controlFile,
               const std::string& logPath) {
    runAccall(naccessDir, controlFile);
    return logSaysSuccess(logPath);
}
