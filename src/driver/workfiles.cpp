#include "driver/workfiles.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

void removeFiles(std::initializer_list<const char*> names) {
    for (const char* name : names) {
        std::error_code ec;
        fs::remove(name, ec);  // missing file: nothing to do
    }
}

void removeFilesWithPrefix(const std::string& prefix) {
    std::error_code ec;
    fs::directory_iterator it(".", ec), end;
    if (ec) return;
    // Collect first: removing while iterating a directory is unspecified.
    std::vector<fs::path> doomed;
    for (; it != end; it.increment(ec)) {
        if (ec) break;
        const std::string name = it->path().filename().string();
        if (name.compare(0, prefix.size(), prefix) == 0 && !it->is_directory(ec))
            doomed.push_back(it->path());
    }
    for (const fs::path& p : doomed) fs::remove(p, ec);
}

void removeStructureFiles() {
    removeFiles({"Complex.pdb", "ComplexA.pdb", "ComplexB.pdb", "ComplexP.pdb"});
}

bool copyFile(const std::string& from, const std::string& to) {
    std::error_code ec;
    if (!fs::is_regular_file(from, ec)) return false;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    if (ec) {
        fs::remove(to, ec);
        return false;
    }
    return true;
}
