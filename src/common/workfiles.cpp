#include "common/workfiles.h"

#include "common/engine_files.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

void removeFile(const std::string& name) {
    std::error_code ec;
    // Like "rm -f": a missing file is nothing to do, and a directory of that
    // name is left alone.
    if (fs::is_directory(fs::symlink_status(name, ec))) return;
    fs::remove(name, ec);
}

void removeFiles(std::initializer_list<const char*> names) {
    for (const char* name : names) removeFile(name);
}

void removeFilesWithPrefix(const std::string& prefix) {
    std::error_code ec;
    fs::directory_iterator it(".", ec), end;
    if (ec) return;
    // Collect first: removing while iterating a directory is unspecified.
    std::vector<std::string> doomed;
    for (; it != end; it.increment(ec)) {
        if (ec) break;
        const std::string name = it->path().filename().string();
        if (name.compare(0, prefix.size(), prefix) == 0) doomed.push_back(name);
    }
    for (const std::string& name : doomed) removeFile(name);
}

void removeStructureFiles() {
    removeFiles({"Complex.pdb", "ComplexA.pdb", "ComplexB.pdb", "ComplexP.pdb"});
}

bool copyFile(const std::string& from, const std::string& to) {
    std::error_code ec;
    if (!fs::is_regular_file(from, ec)) return false;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    if (ec) {
        removeFile(to);
        return false;
    }
    return true;
}

bool removedByCleanUp(const std::string& path) {
    std::error_code ec;
    const fs::path given = fs::absolute(path, ec);
    if (ec || !given.has_filename()) return false;
    const fs::path here = fs::canonical(".", ec);
    if (ec || fs::weakly_canonical(given.parent_path(), ec) != here || ec) return false;
    const std::string name = given.filename().string();
    for (const ControlFile& control : kControlFiles)
        if (name == control.name) return true;
    for (const char* prefix : kWorkingFilePrefixes)
        if (name.compare(0, std::string(prefix).size(), prefix) == 0) return true;
    return false;
}
