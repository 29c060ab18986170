// The working files of both workspaces: a released file is gone at once in
// memory (a later open fails as for a missing file; a stream already open
// keeps its bytes) and stays on disk for the clean-up; a stored text reads
// back byte for byte in both.
#include "analysis/workspace.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
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
            if (held) EXPECT_EQ(*held, t.text);
        }
    }
}

}  // namespace
