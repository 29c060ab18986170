// The seam of the Python module over the kav_zur program itself: each
// request is one run of the program in a private temporary directory (with
// --details), whose details row and console output become the results. Used
// until the analysis library can score in this process; the numbers are the
// program's own.
#include "python/bridge.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#ifndef KAVZUR_PROGRAM
#error "KAVZUR_PROGRAM must name the kav_zur program of the build tree"
#endif

extern char** environ;

namespace kzpy {

namespace fs = std::filesystem;

namespace {

// The kav_zur program: beside the installed package's prefix, else the
// build tree's.
std::string programPath(const std::string& engineDir) {
    // <prefix>/share/kav_zur/naccess -> <prefix>/bin/kav_zur
    const fs::path installed = fs::path(engineDir).parent_path().parent_path().parent_path() /
                               "bin" / "kav_zur";
    std::error_code ec;
    if (fs::is_regular_file(installed, ec) && access(installed.c_str(), X_OK) == 0)
        return installed.string();
    return KAVZUR_PROGRAM;
}

// A temporary directory, removed with everything in it when it goes.
struct ScratchDir {
    fs::path path;
    ScratchDir() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/kav_zur-py-XXXXXX";
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a temporary directory: " +
                                     std::string(std::strerror(errno)));
        path = pattern;
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    if (from.empty() || from == to) return;
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> cells;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = line.find('\t', start);
        cells.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) return cells;
        start = tab + 1;
    }
}

std::optional<int> intCell(const std::string& cell) {
    if (cell.empty()) return std::nullopt;
    return std::stoi(cell);
}

// strtof of "%.9g" gives back the float that was printed, bit for bit.
std::optional<float> floatCell(const std::string& cell) {
    if (cell.empty()) return std::nullopt;
    return std::strtof(cell.c_str(), nullptr);
}

// The extension the program reads the structure's format from.
std::string suffixOf(const std::string& name) {
    std::string lower = name;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    for (const char* s : {".cif.gz", ".mmcif.gz", ".pdb.gz", ".ent.gz", ".gz", ".cif", ".mmcif",
                          ".ent", ".pdb"})
        if (lower.size() >= std::strlen(s) && lower.compare(lower.size() - std::strlen(s),
                                                            std::string::npos, s) == 0)
            return name.substr(name.size() - std::strlen(s));
    return "";
}

std::string joinSides(const std::vector<std::string>& one, const std::vector<std::string>& two) {
    std::string text;
    for (std::size_t i = 0; i < one.size(); ++i) text += (i ? "," : "") + one[i];
    text += ":";
    for (std::size_t i = 0; i < two.size(); ++i) text += (i ? "," : "") + two[i];
    return text;
}

// Runs `argv` in `dir` with its standard output and error into files there;
// returns the exit status, or -1 when it could not start or was killed.
int runIn(const fs::path& dir, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "console.txt", O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, "errors.txt", O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid = 0;
    const int started = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The console text of each interface: the program starts each with
// "Working on ". The closing "Finished" line belongs to none.
std::vector<std::string> splitMessages(std::string console, std::size_t count) {
    const std::string finished = "\nFinished\n";
    if (console.size() >= finished.size() &&
        console.compare(console.size() - finished.size(), finished.size(), finished) == 0)
        console.resize(console.size() - finished.size());
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start < console.size()) {
        std::size_t next = console.find("Working on ", start + 1);
        if (next == std::string::npos || parts.size() + 1 == count) next = console.size();
        parts.push_back(console.substr(start, next - start));
        start = next;
    }
    parts.resize(count);
    return parts;
}

}  // namespace

struct Engine::State {
    std::string dir;
};

Engine::Engine(const std::string& naccessDir) : state_(std::make_unique<State>()) {
    std::error_code ec;
    if (naccessDir.find('\0') != std::string::npos)
        throw std::invalid_argument("naccess_dir holds a NUL byte");
    const fs::path dir = fs::absolute(naccessDir, ec);
    for (const char* file : {"accall", "vdw.radii", "standard.data"})
        if (!fs::is_regular_file(dir / file, ec))
            throw std::invalid_argument(naccessDir + ": no " + file + " in this engine directory");
    state_->dir = dir.string();
}

Engine::~Engine() = default;

const std::string& Engine::directory() const { return state_->dir; }

bool Engine::inProcess() const { return false; }

std::vector<Interface> Engine::score(const Request& request) const {
    if (request.path.find('\0') != std::string::npos) {
        // No file has such a name: nothing is measured for it.
        std::string shown = request.path;
        replaceAll(shown, std::string(1, '\0'), "\\0");
        Interface r;
        r.name = request.name.empty() ? fs::path(shown).filename().string() : request.name;
        r.status = "bad_name";
        r.messages = "Error in structure file ... " + shown + ": the name holds a NUL byte\n";
        return {r};
    }
    ScratchDir scratch;
    const fs::path in = scratch.path / "in";
    fs::create_directory(in);
    fs::create_directory(scratch.path / "run");

    // The structure under a name that a pdblist can hold and whose ending
    // says its format.
    std::string shown;  // how the messages name the structure
    std::string entry;
    if (!request.path.empty()) {
        // The file's own name where a pdblist can hold it, so that the
        // report names it as the command line does.
        entry = fs::path(request.path).filename().string();
        const bool plain = !entry.empty() && entry[0] != '.' &&
                           entry.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                                   "0123456789._+-") == std::string::npos;
        if (!plain || entry == "pdblist") entry = "structure" + suffixOf(request.path);
        shown = request.path;
        std::error_code ec;
        const fs::path target = fs::absolute(request.path, ec);
        if (fs::exists(fs::symlink_status(target, ec))) fs::create_symlink(target, in / entry);
    } else {
        entry = request.format == "mmcif" ? "structure.cif" : "structure.pdb";
        shown = request.name.empty() ? "structure" : request.name;
        std::ofstream(in / entry, std::ios::binary) << request.text;
    }
    std::ofstream(scratch.path / "run" / "pdblist") << entry << "\n";

    std::vector<std::string> args = {programPath(state_->dir), "--details", "details.tsv"};
    if (!request.sideOne.empty() || !request.sideTwo.empty()) {
        args.push_back("--chains");
        args.push_back(joinSides(request.sideOne, request.sideTwo));
    }
    if (request.allPairs) args.push_back("--all-pairs");
    if (request.model > 0) {
        args.push_back("--model");
        args.push_back(std::to_string(request.model));
    }
    if (!request.reportDir.empty()) {
        args.push_back("--report");
        args.push_back((scratch.path / "report").string());
    }
    args.push_back(in.string());
    args.push_back(state_->dir);
    const int status = runIn(scratch.path / "run", args);
    std::string console = readAll(scratch.path / "run" / "console.txt");
    if (status != 0)
        throw std::runtime_error("the kav_zur program failed (status " + std::to_string(status) +
                                 "): " + readAll(scratch.path / "run" / "errors.txt") + console);
    replaceAll(console, (in / entry).string(), shown);

    const std::string name = !request.name.empty()
                                 ? request.name
                                 : (!request.path.empty()
                                        ? fs::path(request.path).filename().string()
                                        : std::string("structure"));
    std::vector<Interface> results;
    std::istringstream details(readAll(scratch.path / "run" / "details.tsv"));
    std::string line;
    std::getline(details, line);  // the header
    while (std::getline(details, line)) {
        const std::vector<std::string> c = splitTabs(line);
        if (c.size() != 17) throw std::runtime_error("unexpected details row: " + line);
        Interface r;
        r.name = c[0].size() > entry.size() ? name + c[0].substr(entry.size()) : name;
        r.sides = c[1];
        r.status = c[2];
        r.atomsA = intCell(c[3]);
        r.atomsB = intCell(c[4]);
        r.interfaceAtomsA = intCell(c[5]);
        r.interfaceAtomsB = intCell(c[6]);
        r.buriedA = floatCell(c[7]);
        r.buriedB = floatCell(c[8]);
        r.interfaceArea = floatCell(c[9]);
        r.packingRatio = floatCell(c[10]);
        r.complementarity = floatCell(c[11]);
        r.kav = floatCell(c[12]);
        r.zur = floatCell(c[13]);
        r.trianglesA = intCell(c[14]);
        r.trianglesB = intCell(c[15]);
        r.seconds = std::strtod(c[16].c_str(), nullptr);
        results.push_back(std::move(r));
    }
    const std::vector<std::string> messages = splitMessages(console, results.size());
    for (std::size_t i = 0; i < results.size(); ++i) results[i].messages = messages[i];

    // The report folder(s) the program wrote, moved under the caller's folder.
    if (!request.reportDir.empty()) {
        std::error_code ec;
        fs::create_directories(request.reportDir, ec);
        for (const fs::directory_entry& e : fs::directory_iterator(scratch.path / "report", ec)) {
            std::string folder = e.path().filename().string();
            replaceAll(folder, entry, name);
            fs::rename(e.path(), fs::path(request.reportDir) / folder, ec);
            if (ec) fs::copy(e.path(), fs::path(request.reportDir) / folder,
                             fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
        }
    }
    return results;
}

}  // namespace kzpy
