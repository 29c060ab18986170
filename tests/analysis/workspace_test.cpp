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
#include <cstring>
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

// In memory the engine leaves its area file as the lines the stages read:
// the text made of them when it is read is the text a directory gets, each
// line reads as its record, and a file changed in any way has no records.
TEST(Workspace, AnAreaFileInMemoryIsItsLinesUntilChanged) {
    std::string structure;
    DirectoryWorkspace sources(KAVZUR_SOURCE_DIR);
    ASSERT_TRUE(readWorkFile(sources, "tests/data/1ycr.pdb", structure));
    const std::string control = controlFileText("TEMP.pdb", KAVZUR_ENGINE_DIR, 1.40);
    ScratchDir scratch;
    DirectoryWorkspace directory(scratch.path);
    ASSERT_TRUE(writeWorkFile(directory, "TEMP.pdb", structure));
    std::istringstream onDisk(control);
    ASSERT_EQ(sasa::runJob(onDisk, KAVZUR_ENGINE_DIR, directory, nullptr), 0);
    std::string expected;
    ASSERT_TRUE(readWorkFile(directory, "TEMP.asa", expected));
    EXPECT_EQ(directory.areas("TEMP.asa"), nullptr);

    const struct {
        const char* what;
        void (*change)(Workspace&);  // nullptr: read as it is
        bool kept;
    } rows[] = {
        {"read as it is", nullptr, true},
        {"renamed and back",
         [](Workspace& f) { f.rename("TEMP.asa", "Other.asa") && f.rename("Other.asa", "TEMP.asa"); },
         true},
        {"written again", [](Workspace& f) { writeWorkFile(f, "TEMP.asa", "x\n"); }, false},
        {"appended to", [](Workspace& f) { std::fclose(f.open("TEMP.asa", "a")); }, false},
        {"opened to be written",
         [](Workspace& f) { std::fclose(f.open("TEMP.asa", "r+")); }, false},
        {"removed", [](Workspace& f) { f.remove("TEMP.asa"); }, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        MemoryWorkspace files;
        files.put("TEMP.pdb", structure);
        std::istringstream in(control);
        ASSERT_EQ(sasa::runJob(in, KAVZUR_ENGINE_DIR, files, nullptr), 0);
        ASSERT_NE(files.areas("TEMP.asa"), nullptr);
        if (row.change) row.change(files);
        EXPECT_EQ(files.areas("TEMP.asa") != nullptr, row.kept);
        if (!row.kept) continue;
        const std::vector<asa::HeldLine> lines = *files.areas("TEMP.asa");
        ASSERT_NE(files.find("TEMP.asa"), nullptr);
        EXPECT_EQ(*files.find("TEMP.asa"), expected);
        ASSERT_EQ(lines.size(), 818u);  // 1ycr's ATOM records
        std::istringstream text(expected);
        std::size_t i = 0;
        for (std::string line; std::getline(text, line) && i < lines.size(); ++i) {
            asa::AsaColumns c;
            ASSERT_TRUE(asa::readAsaColumns(line.c_str(), c)) << line;
            const asa::AsaColumns& r = lines[i].columns;
            EXPECT_TRUE(c.serial == r.serial && std::strcmp(c.atomName, r.atomName) == 0 &&
                        std::strcmp(c.resName, r.resName) == 0 && c.chain == r.chain &&
                        c.resSeq == r.resSeq)
                << line;
            const float read[] = {c.x, c.y, c.z, c.area, c.radius},
                        held[] = {r.x, r.y, r.z, r.area, r.radius};
            EXPECT_EQ(std::memcmp(read, held, sizeof read), 0) << line;
        }
        EXPECT_EQ(i, lines.size());
    }
}

// A run in memory of the very atoms of a run kept for the entry writes what
// that run wrote, without measuring; atoms that differ in anything the
// outputs show are measured again. Either way the area file and log are
// those of a run with no cache.
TEST(Workspace, AKeptRunStandsOnlyForTheVeryAtoms) {
    std::string structure;
    DirectoryWorkspace sources(KAVZUR_SOURCE_DIR);
    ASSERT_TRUE(readWorkFile(sources, "tests/data/1ycr.pdb", structure));
    sasa::EngineData data;
    std::string why;
    ASSERT_TRUE(data.read(KAVZUR_ENGINE_DIR, why)) << why;
    // The structure with `columns` of its second atom record put at `at`
    // (1-based, as PDB columns are counted), or that record left out.
    const std::size_t second = structure.find("\nATOM      2 ") + 1;
    const auto edited = [&](std::size_t at, const char* columns) {
        std::string text = structure;
        if (columns) text.replace(second + at - 1, std::strlen(columns), columns);
        else text.erase(second, text.find('\n', second) + 1 - second);
        return text;
    };
    const struct {
        const char* what;
        std::string first, then;
        bool measured;  // the second run is measured, not taken from the first
    } rows[] = {
        {"the same atoms", structure, structure, false},
        {"a coordinate 0.001 off", structure, edited(31, "  11.125"), true},
        {"-0.000 for 0.000", edited(31, "   0.000"), edited(31, "  -0.000"), true},
        {"an atom named for another radius", structure, edited(13, " O  "), true},
        {"another serial", structure, edited(7, "    9"), true},
        {"an atom fewer", structure, edited(1, nullptr), true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        MemoryWorkspace files, fresh;
        sasa::AreaCache cache;
        files.put("TEMP.pdb", row.first);
        std::istringstream copy(controlFileText("TEMP.pdb", KAVZUR_ENGINE_DIR, 1.40));
        ASSERT_EQ(sasa::runJob(copy, KAVZUR_ENGINE_DIR, files, &data, &cache, true, false), 0);
        ASSERT_EQ(cache.kept.size(), 1u);
        files.put("Complex.pdb", row.then);
        fresh.put("Complex.pdb", row.then);
        const std::string control = controlFileText("Complex.pdb", KAVZUR_ENGINE_DIR, 1.40);
        std::istringstream kept(control), alone(control);
        ASSERT_EQ(sasa::runJob(kept, KAVZUR_ENGINE_DIR, files, &data, &cache, true, false), 0);
        ASSERT_EQ(sasa::runJob(alone, KAVZUR_ENGINE_DIR, fresh, &data, nullptr, true, false), 0);
        EXPECT_EQ(cache.kept.size(), row.measured ? 2u : 1u);
        for (const char* name : {"Complex.asa", "Complex.log"}) {
            ASSERT_NE(files.find(name), nullptr) << name;
            ASSERT_NE(fresh.find(name), nullptr) << name;
            EXPECT_EQ(*files.find(name), *fresh.find(name)) << name;
        }
    }
}

}  // namespace
