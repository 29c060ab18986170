// Preloaded into kav_zur by a test: a worker meets its fault inside an engine
// run, at the first run it starts once its console (fd 1) holds the text of
// KAV_ZUR_TEST_FAULT_AT. The worker arms its engine time limit (setitimer)
// as each run starts, so the fault is sure to fall within that run, however
// loaded the machine: KAV_ZUR_TEST_FAULT=crash ends it by SIGSEGV, hang
// waits until its time limit ends it.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {

// fd 1 is open for writing only: its file is read through a descriptor of its own.
bool consoleHolds(const char* text) {
    const int fd = open("/proc/self/fd/1", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::string console;
    char chunk[4096];
    for (ssize_t got; (got = read(fd, chunk, sizeof chunk)) > 0;)
        console.append(chunk, static_cast<std::size_t>(got));
    close(fd);
    return console.find(text) != std::string::npos;
}

}  // namespace

extern "C" int setitimer(int which, const struct itimerval* value, struct itimerval* old) {
    using Real = int (*)(int, const struct itimerval*, struct itimerval*);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "setitimer"));
    const int result = real(which, value, old);
    const char* at = getenv("KAV_ZUR_TEST_FAULT_AT");
    const char* fault = getenv("KAV_ZUR_TEST_FAULT");
    const bool arming = value && (value->it_value.tv_sec || value->it_value.tv_usec);
    if (result == 0 && arming && at && fault && consoleHolds(at)) {
        if (std::strcmp(fault, "crash") == 0) raise(SIGSEGV);
        for (;;) pause();  // until SIGALRM's handler ends the worker
    }
    return result;
}
