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
           writeText(folder / kSummaryFile, summaryJson(detailsFields(result), report), why);
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
    if (writeReport(reportFolder(reportDir, result), result, why)) return true;
    std::fprintf(stderr, "kav_zur: the report of %s is incomplete: %s\n", result.name.c_str(),
                 why.c_str());
    return false;
}
