// Test helpers: a fresh scratch directory that becomes the working directory
// for the life of the object, and small whole-file text helpers.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace testutil {

namespace fs = std::filesystem;

class ScratchDir {
public:
    // Creates <tmp>/kavzur-XXXXXX/work and changes into it; the parent holds
    // nothing else, so that a test can check that nothing leaked next door.
    ScratchDir() : previous_(fs::current_path()) {
        std::string pattern = (fs::temp_directory_path() / "kavzur-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        parent_ = pattern;
        fs::create_directory(parent_ / "work");
        fs::current_path(parent_ / "work");
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::current_path(previous_, ec);
        fs::remove_all(parent_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    fs::path work() const { return parent_ / "work"; }
    fs::path parent() const { return parent_; }

private:
    fs::path previous_;
    fs::path parent_;
};

inline void writeText(const fs::path& path, const std::string& text) {
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// The whole file, or "<missing>" when it cannot be read.
inline std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<missing>";
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Sorted names of the entries of `dir`.
inline std::vector<std::string> listDir(const fs::path& dir = ".") {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// One atom record in PDB columns, as the engine's area file carries it.
inline std::string atomLine(int serial, char chain, int resSeq, char altLoc = ' ',
                            char iCode = ' ', const char* record = "ATOM  ") {
    char line[96];
    std::snprintf(line, sizeof line, "%-6s%5d  CA %cALA %c%4d%c   %8.3f%8.3f%8.3f%8.3f %5.2f\n",
                  record, serial, altLoc, chain, resSeq, iCode, 1.0 * serial, 2.0, 3.0, 10.0,
                  1.87);
    return line;
}

}  // namespace testutil
