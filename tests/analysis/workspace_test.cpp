// The working files of both workspaces: a released file is gone at once in
// memory (a later open fails as for a missing file; a stream already open
// keeps its bytes) and stays on disk for the clean-up; a stored text reads
// back byte for byte in both; the engine lets go of its input on request.
#include "analysis/workspace.h"

#include "analysis/control_files.h"
#include "sasa/accall_run.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct ScratchDir {
    std::string path;
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "kavzur-workspace-XXXXXX").string();
        if (mkdtemp(pattern.data())) path = pattern;
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

struct Kind {
    const char* name;
    bool inMemory;
};
const Kind kKinds[] = {{"memory", true}, {"directory", false}};

TEST(Workspace, ReleasedFileGoesOnlyFromMemory) {
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        ScratchDir scratch;
        ASSERT_FALSE(scratch.path.empty());
        MemoryWorkspace memory;
        DirectoryWorkspace directory(scratch.path);
        Workspace& files = kind.inMemory ? static_cast<Workspace&>(memory) : directory;

        ASSERT_TRUE(writeWorkFile(files, "Complex.asa", "ATOM line\n"));
        std::FILE* open = files.open("Complex.asa", "r");
        ASSERT_NE(open, nullptr);
        files.release("Complex.asa");

        char line[32] = {};
        EXPECT_NE(std::fgets(line, sizeof line, open), nullptr);
        EXPECT_STREQ(line, "ATOM line\n");
        std::fclose(open);

        errno = 0;
        std::FILE* again = files.open("Complex.asa", "r");
        EXPECT_EQ(again == nullptr, kind.inMemory);
        if (again) std::fclose(again);
        else EXPECT_EQ(errno, ENOENT);
        std::string text;
        EXPECT_EQ(readWorkFile(files, "Complex.asa", text), !kind.inMemory);
    }
}

TEST(Workspace, StoredTextReadsBackWhole) {
    const std::string withNul = std::string("A\0B\n", 4);
    const struct {
        const char* name;
        std::string text;
    } kTexts[] = {{"empty", ""}, {"line", "ATOM      1  N\n"}, {"nul", withNul},
                  {"large", std::string(100000, 'x')}};
    for (const Kind& kind : kKinds) {
        for (const auto& t : kTexts) {
            SCOPED_TRACE(std::string(kind.name) + " " + t.name);
            ScratchDir scratch;
            MemoryWorkspace memory;
            DirectoryWorkspace directory(scratch.path);
            Workspace& files = kind.inMemory ? static_cast<Workspace&>(memory) : directory;
            ASSERT_TRUE(writeWorkFile(files, "TEMP.asa", "an older text, longer than some\n"));
            ASSERT_TRUE(files.store("TEMP.asa", std::string(t.text)));
            std::string back;
            ASSERT_TRUE(readWorkFile(files, "TEMP.asa", back));
            EXPECT_EQ(back, t.text);
            const std::string* held = files.find("TEMP.asa");
            EXPECT_EQ(held != nullptr, kind.inMemory);
            if (held) {
                EXPECT_EQ(*held, t.text);
            }
        }
    }
}

// The engine in the process lets go of the structure it read only when asked,
// and writes the same outputs either way.
TEST(Workspace, EngineRunReleasesItsInputOnlyWhenAsked) {
    std::string structure;
    DirectoryWorkspace sources(KAVZUR_SOURCE_DIR);
    ASSERT_TRUE(readWorkFile(sources, "tests/data/1ycr.pdb", structure));
    const std::string control = controlFileText("TEMP.pdb", KAVZUR_ENGINE_DIR, 1.40);
    std::string outputs[2];
    for (const bool release : {false, true}) {
        SCOPED_TRACE(release ? "released" : "kept");
        MemoryWorkspace files;
        files.put("TEMP.pdb", structure);
        std::istringstream in(control);
        ASSERT_EQ(sasa::runJob(in, KAVZUR_ENGINE_DIR, files, nullptr, nullptr, release), 0);
        EXPECT_EQ(files.find("TEMP.pdb") == nullptr, release);
        for (const char* name : {"TEMP.asa", "TEMP.rsa", "TEMP.log"}) {
            ASSERT_NE(files.find(name), nullptr) << name;
            outputs[release] += *files.find(name);
        }
    }
    EXPECT_EQ(outputs[0], outputs[1]);
}

}  // namespace
