// The whole text of a file, gzipped or plain (zlib reads a plain file as it
// is), for tests and benchmarks that build their inputs from tests/data.
#pragma once

#include <zlib.h>

#include <string>

namespace testutil {

// "" when the file cannot be opened.
inline std::string gzipFileText(const std::string& path) {
    std::string text;
    gzFile in = gzopen(path.c_str(), "rb");
    if (!in) return text;
    char buffer[65536];
    int n;
    while ((n = gzread(in, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
    gzclose(in);
    return text;
}

}  // namespace testutil
