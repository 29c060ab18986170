// A timing stand-in for the engine, for the pipeline benchmark only: it runs
// the real accall of $KAVZUR_REAL_ENGINE with the same standard input and
// working directory, waits for it, and appends its wall time in seconds to
// the file named by $KAVZUR_ENGINE_TIMES. Its exit status is the engine's.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/wait.h>

extern char** environ;

int main() {
    const char* dir = std::getenv("KAVZUR_REAL_ENGINE");
    const char* times = std::getenv("KAVZUR_ENGINE_TIMES");
    if (!dir || !times) {
        std::fputs("timed_accall: set KAVZUR_REAL_ENGINE and KAVZUR_ENGINE_TIMES\n", stderr);
        return 2;
    }
    std::string program = std::string(dir) + "/accall";
    char* argv[] = {program.data(), nullptr};

    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0) {
        std::perror(program.c_str());
        return 2;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;

    if (std::FILE* out = std::fopen(times, "a")) {
        std::fprintf(out, "%.6f\n", took.count());
        std::fclose(out);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
