// Which engine an Analyser runs: in this process only when the directory's
// marker names the very accall beside it (its size and SHA-256); any other
// accall, or a marker without that line, runs as a program. Copies of the
// bundled engine directory, each changed in one way.
#include "analysis/analysis.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace {

namespace fs = std::filesystem;

void append(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::app);
    out << text;
}

// The first byte of `file` changed: the same size, another digest.
void flipFirstByte(const fs::path& file) {
    std::fstream f(file, std::ios::binary | std::ios::in | std::ios::out);
    char c = 0;
    f.get(c);
    f.seekp(0);
    f.put(static_cast<char>(c ^ 1));
}

struct MarkerCase {
    const char* what;
    std::function<void(const fs::path& dir)> change;
    EngineMode mode;
    bool inProcess;
};

const MarkerCase kCases[] = {
    {"the directory as built", [](const fs::path&) {}, EngineMode::Automatic, true},
    {"the directory as built, --engine program", [](const fs::path&) {}, EngineMode::Program, false},
    {"an accall one byte longer", [](const fs::path& d) { append(d / "accall", "x"); },
     EngineMode::Automatic, false},
    {"an accall of the same size, one byte changed", [](const fs::path& d) { flipFirstByte(d / "accall"); },
     EngineMode::Automatic, false},
    {"an accall replaced by a wrapper script",
     [](const fs::path& d) {
         fs::rename(d / "accall", d / "accall.real");
         std::ofstream(d / "accall") << "#!/bin/sh\nexec \"$(dirname \"$0\")/accall.real\"\n";
         fs::permissions(d / "accall", fs::perms::owner_all);
     },
     EngineMode::Automatic, false},
    {"an old marker: the version line only",
     [](const fs::path& d) { std::ofstream(d / kEngineMarkerName) << engineMarkerText(); },
     EngineMode::Automatic, false},
    {"a marker with a line more", [](const fs::path& d) { append(d / kEngineMarkerName, "more\n"); },
     EngineMode::Automatic, false},
};

void PrintTo(const MarkerCase& c, std::ostream* os) { *os << c.what; }

class EngineMarkerTest : public ::testing::TestWithParam<MarkerCase> {};

TEST_P(EngineMarkerTest, RunsInProcessOnlyWithTheAccallItNames) {
    const MarkerCase& c = GetParam();
    testutil::ScratchDir scratch;
    const fs::path dir = scratch.work() / "naccess";
    fs::copy(KAVZUR_ENGINE_DIR, dir, fs::copy_options::recursive);
    c.change(dir);
    const Analyser analyser(EngineSettings{dir.string(), c.mode});
    EXPECT_EQ(analyser.inProcess(), c.inProcess);
}

INSTANTIATE_TEST_SUITE_P(Directories, EngineMarkerTest, ::testing::ValuesIn(kCases));

}  // namespace
