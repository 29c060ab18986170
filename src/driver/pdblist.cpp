#include "driver/pdblist.h"

#include <climits>

namespace {

bool isBlank(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

bool readEntry(std::FILE* list, std::string& entry) {
    entry.clear();
    int c = std::fgetc(list);
    while (c != EOF && isBlank(c)) c = std::fgetc(list);
    while (c != EOF && !isBlank(c)) {
        entry.push_back(static_cast<char>(c));
        c = std::fgetc(list);
    }
    return !entry.empty();
}

const char* entryNameProblem(const std::string& structureDir, const std::string& entry) {
    // A NUL ends every name the system is handed: the file opened would be
    // another one, named by the text before it.
    if (entry.find('\0') != std::string::npos) return "the name holds a NUL byte";
    const std::string path = structureDir + "/" + entry;
    if (path.size() >= static_cast<std::size_t>(PATH_MAX))
        return "the name is longer than the system allows";
    std::size_t start = 0;
    while (start <= entry.size()) {
        std::size_t end = entry.find('/', start);
        if (end == std::string::npos) end = entry.size();
        if (end - start > static_cast<std::size_t>(NAME_MAX))
            return "the name is longer than the system allows";
        start = end + 1;
    }
    return nullptr;
}

std::string printableName(const std::string& text) {
    std::string shown;
    for (const char c : text) {
        if (c == '\0') shown += "\\0";
        else shown.push_back(c);
    }
    return shown;
}

void printEntryNameProblem(const std::string& structureDir, const std::string& entry,
                           const char* why) {
    const std::string path = printableName(structureDir + "/" + entry);
    std::printf("Working on %s. ", path.c_str());
    std::printf("\nProblem in NACEESS program ... exiting\n");
    std::printf(" %s: %s\n", path.c_str(), why);
}
