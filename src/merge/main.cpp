// kav_zur-merge OUT SHARD...: the shard files of one list joined into OUT.
// OUT appears whole or not at all: the merge goes to a temporary file beside
// it, renamed over OUT only when every shard was taken. A link as OUT is
// followed (its target is the file written); a device, FIFO or other file
// that cannot be replaced whole is refused; an OUT that exists keeps its mode.
#include "merge/merge.h"

#include "analysis/held_signals.h"

#include <fcntl.h>
#include <getopt.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifndef KAVZUR_VERSION
#define KAVZUR_VERSION "unknown"
#endif

namespace {

constexpr const char* kUsageLine = "Usage: kav_zur-merge OUT SHARD...\n";

void printHelp() {
    std::printf("%s\n"
                "Joins the score files (KAV_ZUr_score.txt), or the details files, written by\n"
                "kav_zur --shard K/N for the parts of one pdblist into OUT: one header, then\n"
                "the lines of every SHARD in the order given (part 1 first). Score files and\n"
                "details files are told apart by their header; files of both kinds, or a\n"
                "file of neither, are refused.\n\n"
                "Options:\n"
                "  -h, --help     print this help and exit\n"
                "      --version  print the version and exit\n\n"
                "OUT is written whole or not at all: a refused or unreadable SHARD, or a\n"
                "write that fails, leaves OUT as it was. A SHARD given twice, or OUT given\n"
                "as a SHARD, is refused. A symbolic link as OUT is followed: its target\n"
                "is replaced and the link stays. An OUT that is not a regular file (a\n"
                "device, a FIFO, a directory) is refused. An existing OUT keeps its\n"
                "permissions.\n\n"
                "Exit status: 0 when OUT was written, 1 when a file was refused or OUT could\n"
                "not be written (the message names the file), 2 for a wrong command line.\n",
                kUsageLine);
}

int usageError(const char* what) {
    std::fprintf(stderr, "kav_zur-merge: %s\n%sTry 'kav_zur-merge --help' for more information.\n",
                 what, kUsageLine);
    return 2;
}

int fileError(const std::string& path, const std::string& why) {
    std::fprintf(stderr, "kav_zur-merge: %s: %s\n", path.c_str(), why.c_str());
    return 1;
}

// The temporary file while it exists, for the signal handler to remove.
char gTempPath[4096];

extern "C" void removeTempAndDie(int signal) {
    if (gTempPath[0]) unlink(gTempPath);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// The shard files given twice (the same file under two names included), or
// OUT among them: "" when there is none, else the name at fault and why.
std::string repeatedFile(const std::string& out, const std::vector<std::string>& shards,
                         std::string& why) {
    struct stat outInfo {};
    const bool outExists = stat(out.c_str(), &outInfo) == 0;
    std::vector<struct stat> seen;
    for (const std::string& path : shards) {
        struct stat info {};
        if (stat(path.c_str(), &info) != 0) continue;  // its reading says why
        if (outExists && info.st_dev == outInfo.st_dev && info.st_ino == outInfo.st_ino) {
            why = "is the output file too; write the merge to a new file";
            return path;
        }
        for (const struct stat& s : seen)
            if (s.st_dev == info.st_dev && s.st_ino == info.st_ino) {
                why = "is given twice: its lines would be merged twice";
                return path;
            }
        seen.push_back(info);
    }
    return "";
}

// Where the merge goes for OUT: the file itself, or the target of a link.
// False, with the reason, for an OUT that cannot be replaced whole. `exists`
// tells whether `info` holds the file that is to be replaced.
bool resolveOutput(const std::string& out, std::string& target, struct stat& info, bool& exists,
                   std::string& why) {
    target = out;
    exists = false;
    struct stat link {};
    if (lstat(out.c_str(), &link) != 0) {
        if (errno == ENOENT) return true;
        why = std::string("cannot be looked at: ") + std::strerror(errno);
        return false;
    }
    if (S_ISLNK(link.st_mode)) {
        char* resolved = realpath(out.c_str(), nullptr);
        if (!resolved) {
            why = errno == ENOENT ? "is a link to nothing; give the file it should name"
                                  : std::string("cannot be followed: ") + std::strerror(errno);
            return false;
        }
        target = resolved;
        std::free(resolved);
    }
    if (stat(target.c_str(), &info) != 0) {
        why = std::string("cannot be looked at: ") + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        why = "is not a regular file (a device, a FIFO or a directory), which cannot be replaced "
              "whole; give the name of a regular file";
        return false;
    }
    exists = true;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    enum : int { kVersion = 256 };
    const option table[] = {{"help", no_argument, nullptr, 'h'},
                            {"version", no_argument, nullptr, kVersion},
                            {nullptr, 0, nullptr, 0}};
    opterr = 0;
    for (int key; (key = getopt_long(argc, argv, "+h", table, nullptr)) != -1;) {
        if (key == 'h') {
            printHelp();
            return 0;
        }
        if (key == kVersion) {
            std::printf("kav_zur-merge %s\n", KAVZUR_VERSION);
            return 0;
        }
        const std::string word = optopt && optopt < 256 ? std::string("-") + static_cast<char>(optopt)
                                                        : std::string(argv[optind - 1]);
        return usageError(("unknown option '" + word + "'").c_str());
    }
    if (argc - optind < 2) return usageError("give the output file and at least one shard file");
    const std::string out = argv[optind];
    const std::vector<std::string> shards(argv + optind + 1, argv + argc);
    if (out.empty()) return usageError("the output file name is empty");

    std::string why;
    if (const std::string twice = repeatedFile(out, shards, why); !twice.empty())
        return fileError(twice, why);

    std::string target;
    struct stat old {};
    bool exists = false;
    if (!resolveOutput(out, target, old, exists, why)) return fileError(out, why);

    const std::string pattern = target + ".merge-XXXXXX";
    if (pattern.size() >= sizeof gTempPath) return fileError(out, "the name is too long");
    // Every signal that would end the program from outside removes the
    // temporary file first; one the caller ignores (nohup) stays ignored.
    sigset_t fatal, previous;
    sigemptyset(&fatal);
    addTerminatingSignals(fatal);
    for (int s = 1; s < NSIG; ++s)
        if (sigismember(&fatal, s) == 1) std::signal(s, removeTempAndDie);
    // Blocked while the name is being set, so that a handler never sees half of it.
    sigprocmask(SIG_BLOCK, &fatal, &previous);
    std::memcpy(gTempPath, pattern.c_str(), pattern.size() + 1);
    const int fd = mkstemp(gTempPath);
    if (fd < 0) {
        gTempPath[0] = '\0';
        return fileError(out, std::string("cannot create a file beside it: ") + std::strerror(errno));
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    const std::string temp = gTempPath;
    auto discard = [&] {
        sigprocmask(SIG_BLOCK, &fatal, nullptr);
        unlink(temp.c_str());
        gTempPath[0] = '\0';
    };

    // mkstemp makes the file private; OUT keeps its permissions (and its
    // owner and group where the user may give them), a new OUT gets those of
    // any new file.
    const mode_t mask = umask(0);
    umask(mask);
    if (exists && (old.st_uid != geteuid() || old.st_gid != getegid()) &&
        fchown(fd, old.st_uid, old.st_gid) != 0) {
        // Not ours to give: the merge stays the user's file, with OUT's mode.
    }
    std::FILE* stream = fdopen(fd, "wb");
    if (!stream || fchmod(fd, exists ? old.st_mode & 07777 : 0666 & ~mask) != 0) {
        const int error = errno;
        if (stream) std::fclose(stream); else close(fd);
        discard();
        return fileError(out, std::string("cannot be written: ") + std::strerror(error));
    }

    const MergeOutcome outcome = mergeShards(shards, stream);
    int writeError = 0;
    if (std::fflush(stream) != 0 || fsync(fd) != 0) writeError = errno;
    if (std::fclose(stream) != 0 && writeError == 0) writeError = errno;
    if (!outcome.ok && !outcome.path.empty()) {
        discard();
        return fileError(outcome.path, outcome.reason);
    }
    if (!outcome.ok || writeError != 0) {
        discard();
        return fileError(out, "cannot be written: " +
                                  (outcome.ok ? std::string(std::strerror(writeError)) : outcome.reason));
    }
    sigprocmask(SIG_BLOCK, &fatal, nullptr);  // the name must not be removed once it is OUT
    if (std::rename(temp.c_str(), target.c_str()) != 0) {
        const int error = errno;
        discard();
        return fileError(out, std::string("cannot be replaced: ") + std::strerror(error));
    }
    gTempPath[0] = '\0';
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    std::printf("kav_zur-merge: %zu %ss, %zu lines below the header, into %s\n", shards.size(),
                kindName(outcome.kind), outcome.lines, out.c_str());
    return 0;
}
