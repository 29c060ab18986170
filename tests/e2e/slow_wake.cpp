// Preloaded into kav_zur by a test: a worker that wakes to its next entry
// finds the files of the entry before still full (ftruncate of its console,
// fd 1), and is held there longer than its parent waits between looks at
// them, as a worker on a loaded machine can be.
#include <dlfcn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

extern "C" int ftruncate(int fd, off_t length) {
    using Real = int (*)(int, off_t);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "ftruncate"));
    struct stat st {};
    if (fd == 1 && length == 0 && fstat(fd, &st) == 0 && st.st_size > 0) {
        const timespec held{1, 300 * 1000 * 1000};
        nanosleep(&held, nullptr);
    }
    return real(fd, length);
}
