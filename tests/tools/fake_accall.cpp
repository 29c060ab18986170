// A deterministic stand-in for the surface-area engine, for driver and
// pipeline tests. It reads a control file on standard input like accall and,
// for PDBFILE <stem>.<ext> in the working directory:
//   - if "<stem>.fail" exists: writes a log without the success line;
//   - else if "<stem>.asa.fixture" exists: copies it to "<stem>.asa";
//   - else writes one .asa line per ATOM record of the input (HETATM too with
//     HETATOMS): columns 1-30 verbatim, the coordinates of columns 31-54,
//     an area of 10.000 and a radius of 1.80;
//   - a missing input gives a log without the success line and status 1.
// On success the log ends with " SOLVA: PROGRAM ENDS CORRECTLY".
// Misbehaviours, checked before all of these, each asked for by a file
// "<stem>.<what>" in the working directory that holds words: "skip=N" lets
// N runs of <stem> through untouched first (0 if absent); the next run
// misbehaves once and removes the file.
//   - "<stem>.hang": writes its process id to "<stem>.hanging", sleeps
//     "seconds=S" (5 if absent), then carries on as above;
//   - "<stem>.crash": writes a log with the success line and half of an area
//     file, then dies by SIGSEGV with the word "SEGV", else by abort();
//   - "<stem>.garbage": writes 4000 bytes of noise (NULs, line ends, high
//     bytes) as the log with the word "log", else as the area file beside a
//     log with the success line.
//   - "<stem>.noasa": writes a log with the success line and no area file;
//   - "<stem>.refuse": writes a log with " ERROR: <stem>.pdb, refused on
//     request" and exits with status 1;
//   - "<stem>.fds": writes the descriptors from 3 on that it was started
//     with, one a line, to "open-descriptors", then carries on.
// With KAVZUR_FAKE_REQUESTS=<dir> in the environment the misbehaviour files
// (and "<stem>.hanging") are in <dir> instead, shared by engines that run in
// several working directories at once (workers); one engine at a time reads
// the hang, garbage and crash requests.
// Built as flaky_accall (KAVZUR_DELEGATE_ENGINE set to the bundled engine's
// path), it hands every run without a misbehaviour or ".fail" file to the
// bundled engine instead, which reads the same control file.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

bool exists(const std::string& path) { return std::ifstream(path).good(); }

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The words of a misbehaviour file.
struct Request {
    bool due = false;  // misbehave in this run
    double seconds = 5.0;
    bool segv = false;
    bool log = false;
};

// Reads "<stem>.<what>"; a run that is let through counts down its skip=N.
Request request(const std::string& path) {
    Request r;
    if (!exists(path)) return r;
    std::istringstream words(contents(path));
    int skip = 0;
    std::string rest;
    for (std::string w; words >> w;) {
        if (w.rfind("skip=", 0) == 0) {
            skip = std::atoi(w.c_str() + 5);
        } else {
            if (w.rfind("seconds=", 0) == 0) r.seconds = std::atof(w.c_str() + 8);
            if (w == "SEGV") r.segv = true;
            if (w == "log") r.log = true;
            rest += " " + w;
        }
    }
    if (skip > 0) {
        std::ofstream(path) << "skip=" << skip - 1 << rest << "\n";
        return r;
    }
    std::remove(path.c_str());
    r.due = true;
    return r;
}

// The same noise every time.
std::string noise() {
    std::string bytes(4000, '\0');
    unsigned state = 12345u;
    for (char& c : bytes) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>((state >> 16) & 0xff);
    }
    return bytes;
}

std::string upper4(const std::string& word) {
    std::string k = word.substr(0, 4);
    for (char& c : k) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return k;
}

}  // namespace

int main() {
    std::string pdbFile;
    bool hetatoms = false;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string key, value;
        in >> key >> value;
        if (upper4(key) == "PDBF") pdbFile = value;
        if (upper4(key) == "HETA") hetatoms = true;
    }
    const std::string::size_type dot = pdbFile.rfind('.');
    const std::string stem = dot == std::string::npos ? pdbFile : pdbFile.substr(0, dot);
    const char* shared = std::getenv("KAVZUR_FAKE_REQUESTS");
    const std::string requests = shared && *shared ? std::string(shared) + "/" + stem : stem;
    if (const Request fds = request(requests + ".fds"); fds.due) {
        // Looked at before this run opens anything of its own but the request.
        std::string open;
        for (int fd = 3; fd < 1024; ++fd)
            if (fcntl(fd, F_GETFD) >= 0) open += std::to_string(fd) + "\n";
        std::ofstream("open-descriptors") << open;
    }
    if (const Request noAsa = request(requests + ".noasa"); noAsa.due) {
        std::ofstream(stem + ".log") << " SOLVA: PROGRAM ENDS CORRECTLY\n";
        return 0;
    }
    if (const Request refuse = request(requests + ".refuse"); refuse.due) {
        std::ofstream(stem + ".log") << " PDB FILE INPUT " << pdbFile << "\n ERROR: " << pdbFile
                                     << ", refused on request\n";
        return 1;
    }
    Request hang, garbage, crash;
    {
        const int lock = shared && *shared ? open((requests + ".lock").c_str(),
                                                  O_RDWR | O_CREAT | O_CLOEXEC, 0600)
                                           : -1;
        if (lock >= 0) flock(lock, LOCK_EX);
        hang = request(requests + ".hang");
        garbage = request(requests + ".garbage");
        crash = request(requests + ".crash");
        if (hang.due) std::ofstream(requests + ".hanging") << getpid() << "\n";
        if (lock >= 0) close(lock);
    }
    if (hang.due) {
        std::this_thread::sleep_for(std::chrono::duration<double>(hang.seconds));
    }
    if (garbage.due) {
        std::ofstream(stem + ".log", std::ios::binary)
            << (garbage.log ? noise() : std::string(" SOLVA: PROGRAM ENDS CORRECTLY\n"));
        if (!garbage.log) std::ofstream(stem + ".asa", std::ios::binary) << noise();
        return 0;
    }
    if (crash.due) {
        std::ofstream(stem + ".log") << " SOLVA: PROGRAM ENDS CORRECTLY\n";
        std::ofstream(stem + ".asa") << "ATOM      1  N   MET A   1      27.340  24.430   2.6";
        // Default actions, so that a sanitizer's handler cannot turn the crash
        // into an ordinary exit.
        std::signal(SIGSEGV, SIG_DFL);
        std::signal(SIGABRT, SIG_DFL);
        if (crash.segv) std::raise(SIGSEGV);
        std::abort();
    }

    std::ofstream log(stem + ".log");
    log << "fake accall\n PDB FILE INPUT " << pdbFile << "\n";

    if (exists(stem + ".fail")) {
        log << " failure requested\n";
        return 1;
    }
#ifdef KAVZUR_DELEGATE_ENGINE
    // Standard input is the control file itself: read it again from the start.
    if (lseek(0, 0, SEEK_SET) == 0) {
        char program[] = KAVZUR_DELEGATE_ENGINE;
        char* argv[] = {program, nullptr};
        log.close();
        execv(program, argv);
    }
    log << " ERROR: cannot start " << KAVZUR_DELEGATE_ENGINE << "\n";
    return 1;
#endif
    if (exists(stem + ".asa.fixture")) {
        std::ifstream from(stem + ".asa.fixture", std::ios::binary);
        std::ofstream to(stem + ".asa", std::ios::binary);
        to << from.rdbuf();
        log << " SOLVA: PROGRAM ENDS CORRECTLY\n";
        return 0;
    }
    std::ifstream pdb(pdbFile);
    if (pdb.fail()) {
        log << " ERROR: cannot open " << pdbFile << "\n";
        return 1;
    }
    std::ofstream asa(stem + ".asa");
    while (std::getline(pdb, line)) {
        const bool atom = line.compare(0, 4, "ATOM") == 0;
        const bool het = line.compare(0, 6, "HETATM") == 0;
        if (!atom && !(het && hetatoms)) continue;
        if (line.size() < 54) continue;
        const double x = std::atof(line.substr(30, 8).c_str());
        const double y = std::atof(line.substr(38, 8).c_str());
        const double z = std::atof(line.substr(46, 8).c_str());
        char tail[64];
        std::snprintf(tail, sizeof tail, "%8.3f%8.3f%8.3f%8.3f %5.2f", x, y, z, 10.0, 1.80);
        asa << line.substr(0, 30) << tail << "\n";
    }
    log << " SOLVA: PROGRAM ENDS CORRECTLY\n";
    return 0;
}
