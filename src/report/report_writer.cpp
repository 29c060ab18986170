#include "report/report_writer.h"

#include "records/details_file.h"
#include "report/report_files.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxFolderName = 200;

// In the folder of a renamed entry: the entry's full name, which tells it
// apart from another name of the same folder name (its hash included).
constexpr const char* kOwnerFile = ".kav_zur-entry";
constexpr int kMaxNamesakes = 100;

bool plainCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '.' || c == '_' || c == '+' || c == '-';
}

// 32-bit FNV-1a of the name's bytes, NUL included.
std::uint32_t nameHash(const std::string& text) {
    std::uint32_t h = 2166136261u;
    for (const char c : text) {
        h ^= static_cast<unsigned char>(c);
        h *= 16777619u;
    }
    return h;
}

// Writes `text` to `path` in full; false, with the reason, otherwise.
bool writeText(const fs::path& path, const std::string& text, std::string& why) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out) out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (out) out.close();
    if (!out) {
        why = path.string() + ": " + (errno ? std::strerror(errno) : "cannot be written");
        return false;
    }
    return true;
}

bool readText(const fs::path& path, std::string& text, std::string& why) {
    std::ifstream in(path, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.bad() && in.is_open()) return true;
    why = path.string() + ": cannot be read";
    return false;
}

bool writeAll(const fs::path& folder, const InterfaceResult& result, const ReportData& data,
              std::string& why) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        why = folder.string() + ": " + ec.message();
        return false;
    }
    const InterfaceReport& report = data.analysis;
    // summary.json last: its presence says the folder is complete.
    return writeText(folder / kComplexFile, complexPdb(data.subunitA, data.subunitB), why) &&
           writeText(folder / kInterfaceFile, interfacePdb(report), why) &&
           writeText(folder / kResiduesFile, residuesTsv(report), why) &&
           writeText(folder / kSurfaceFiles[0], surfaceObj(report, 0), why) &&
           writeText(folder / kSurfaceFiles[1], surfaceObj(report, 1), why) &&
           writeText(folder / kPairsFile, pairsTsv(report), why) &&
           writeText(folder / kPymolFile, pymolScript(report), why) &&
           writeText(folder / kChimeraFile, chimeraScript(report), why) &&
           writeText(folder / kSummaryFile, summaryJson(detailsFields(result, result.confidence != nullptr), report), why);
}

// Whether `folder` is the folder of the entry named `full` (`ours`), made so
// when it belongs to nobody yet: the owner file is written whole under a
// name of its own, then linked to its name, which link() never replaces; so
// of two workers at the same folder exactly one gets it.
bool ownFolder(const fs::path& folder, const std::string& full, bool& ours, std::string& why) {
    std::error_code ec;
    fs::create_directory(folder, ec);
    if (ec) {
        why = folder.string() + ": " + ec.message();
        return false;
    }
    const fs::path owner = folder / kOwnerFile;
    if (!fs::exists(owner, ec)) {
        std::string temp = (folder / ".kav_zur-entry.XXXXXX").string();
        const int fd = mkstemp(temp.data());
        if (fd < 0) {
            why = folder.string() + ": " + std::strerror(errno);
            return false;
        }
        const bool written = write(fd, full.data(), full.size()) == static_cast<ssize_t>(full.size());
        int error = errno;
        const bool closed = close(fd) == 0;
        if (written && !closed) error = errno;
        const bool linked = written && closed && link(temp.c_str(), owner.c_str()) == 0;
        if (written && closed && !linked) error = errno;
        unlink(temp.c_str());
        if (linked) {
            ours = true;
            return true;
        }
        if (!written || !closed || error != EEXIST) {
            why = owner.string() + ": " + std::strerror(error);
            return false;
        }
    }
    std::string recorded;
    if (!readText(owner, recorded, why)) return false;
    ours = recorded == full;
    return true;
}

// The folder of a renamed entry: `folder`, or when that is another name's,
// the first of "<folder>-2", "<folder>-3", ... that is nobody's or its own.
bool claimFolder(fs::path& folder, const std::string& full, std::string& why) {
    const fs::path first = folder;
    for (int n = 1; n <= kMaxNamesakes; ++n) {
        folder = n == 1 ? first : fs::path(first.string() + "-" + std::to_string(n));
        bool ours = false;
        if (!ownFolder(folder, full, ours, why)) return false;
        if (ours) return true;
    }
    why = first.string() + ": " + std::to_string(kMaxNamesakes) +
          " folders of this name belong to other entries";
    return false;
}

}  // namespace

std::string reportFolderName(const std::string& entry, const std::string& sides) {
    const std::string full = sides.empty() ? entry : entry + " " + sides;
    std::string name;
    bool changed = full.empty();
    for (const char c : full) {
        changed = changed || !plainCharacter(c);
        name += plainCharacter(c) ? c : '_';
    }
    if (name.size() > kMaxFolderName) {
        name.resize(kMaxFolderName);
        changed = true;
    }
    // "." and ".." (and names made only of dots) would not be a folder of their own.
    if (name.find_first_not_of('.') == std::string::npos) changed = true;
    if (changed) {
        char hash[16];
        std::snprintf(hash, sizeof hash, "~%08x", nameHash(full));
        name += hash;
    }
    return name;
}

bool prepareReportDirectory(const std::string& dir, std::string& why) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) {
        why = ec.message();
        return false;
    }
    if (!fs::is_directory(dir, ec)) {
        why = "not a directory";
        return false;
    }
    // A directory may exist and still refuse new files.
    std::string probe = (fs::path(dir) / ".kav_zur-probe.XXXXXX").string();
    const int fd = mkstemp(probe.data());
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    close(fd);
    fs::remove(probe, ec);
    return true;
}

std::string absolutePath(const std::string& path) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    return ec ? path : absolute.string();
}

std::string reportFolder(const std::string& reportDir, const InterfaceResult& result) {
    // With --all-pairs the name column already names the pair ("<entry> A:B").
    return (fs::path(reportDir) / reportFolderName(result.name, std::string())).string();
}

bool writeReport(const std::string& folder, const InterfaceResult& result, std::string& why) {
    if (!result.scored() || !result.report) {
        why = "no report data: the interface was not scored with a report asked for";
        return false;
    }
    errno = 0;
    return writeAll(folder, result, *result.report, why);
}

bool writeEntryReport(const std::string& reportDir, const InterfaceResult& result) {
    std::string why;
    fs::path folder = reportFolder(reportDir, result);
    const bool renamed = folder.filename() != result.name;
    if ((!renamed || claimFolder(folder, result.name, why)) && writeReport(folder, result, why))
        return true;
    std::fprintf(stderr, "kav_zur: the report of %s is incomplete: %s\n", result.name.c_str(),
                 why.c_str());
    return false;
}
