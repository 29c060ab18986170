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
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace {

bool exists(const std::string& path) { return std::ifstream(path).good(); }

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
    std::ofstream log(stem + ".log");
    log << "fake accall\n PDB FILE INPUT " << pdbFile << "\n";

    if (exists(stem + ".fail")) {
        log << " failure requested\n";
        return 1;
    }
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
