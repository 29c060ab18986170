#include "driver/batch.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

// The console (--help, --version, the run's messages) is standard output: a
// run whose output could not be written there did not tell its user what it
// did, so it fails, with the reason on standard error.
int main(int argc, char** argv) {
    const int status = runBatch(argc, argv);
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    if (flushed && !std::ferror(stdout)) return status;
    const int error = errno;
    std::fprintf(stderr, "kav_zur: cannot write standard output%s%s\n", error ? ": " : "",
                 error ? std::strerror(error) : "");
    return status == 0 ? 1 : status;
}
