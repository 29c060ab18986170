// Memory of reading gzip files that inflate a thousandfold: PDB text of
// blanks just under and just over the decompressed-size limit, and mmCIF
// text of blanks. Prints the verdict, seconds and the peak resident size,
// which for PDB text stays a few MB whatever the inflated size (mmCIF text
// is held whole for its parser, so it costs up to the limit).
#include "input/input_structure.h"
#include "input/raw_text.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace {

// A gzip file of `bytes` blanks, as one member repeated (fast to write).
bool writeBlanks(const std::string& path, std::size_t bytes) {
    const std::size_t member = std::size_t{64} << 20;
    const std::string blanks(member, ' ');
    gzFile one = gzopen((path + ".member").c_str(), "wb9");
    if (!one || gzwrite(one, blanks.data(), static_cast<unsigned>(member)) <= 0) return false;
    gzclose(one);
    std::FILE* in = std::fopen((path + ".member").c_str(), "rb");
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!in || !out) return false;
    std::string z;
    char buffer[1 << 16];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) z.append(buffer, n);
    for (std::size_t done = 0; done < bytes; done += member) std::fwrite(z.data(), 1, z.size(), out);
    std::fclose(in);
    std::remove((path + ".member").c_str());
    return std::fclose(out) == 0;
}

}  // namespace

int main() {
    std::printf("%-12s %14s %8s %12s  %s\n", "file", "inflated", "seconds", "peak RSS MB", "verdict");
    const std::size_t member = std::size_t{64} << 20;
    const std::size_t under = kMaxStructureBytes / member * member;  // 1 GiB exactly
    const struct {
        const char* name;
        std::size_t bytes;
    } files[] = {{"under.pdb.gz", under}, {"over.pdb.gz", under + member}, {"under.cif.gz", under}};
    for (const auto& f : files) {
        const std::string path = std::string("/tmp/kavzur_inflate_") + f.name;
        if (!writeBlanks(path, f.bytes)) {
            std::fprintf(stderr, "%s: cannot be written\n", path.c_str());
            return 1;
        }
        std::fflush(stdout);
        // Each file read in a child of its own, so that each peak is its own.
        const pid_t pid = fork();
        if (pid == 0) {
            const auto start = std::chrono::steady_clock::now();
            InputStructure s;
            std::string why;
            const bool read = readStructure(path, 0, s, why);
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            rusage use{};
            getrusage(RUSAGE_SELF, &use);
            std::printf("%-12s %14zu %8.2f %12.1f  %s\n", f.name, f.bytes, seconds,
                        static_cast<double>(use.ru_maxrss) / 1024.0, read ? "read" : why.c_str());
            std::fflush(stdout);
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        std::remove(path.c_str());
    }
    return 0;
}
