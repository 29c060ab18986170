// RAII for C stdio streams and the fixed-piece line reading that every
// reader of engine output uses: a read takes at most size-1 characters,
// stopping after a line end, so a longer line arrives in pieces and each
// piece is examined as a line of its own.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { if (f) std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Opens `path` with the stdio `mode`; an empty File when it cannot be opened.
// The descriptor is close-on-exec ("e"): no file of this program reaches an
// engine it starts.
inline File openFile(const std::string& path, const char* mode) {
    const std::string closeOnExec = std::string(mode) + "e";
    return File(std::fopen(path.c_str(), closeOnExec.c_str()));
}

// Reads the next piece of at most size-1 characters into buf (terminated).
// False at the end of the file. A last line without a line end still counts.
inline bool readPiece(std::FILE* f, char* buf, int size) {
    return std::fgets(buf, size, f) != nullptr;
}
