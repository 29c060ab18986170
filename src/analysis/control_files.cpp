#include "analysis/control_files.h"

#include "analysis/engine_program.h"
#include "common/workfiles.h"

#include <cstdio>
#include <fstream>

namespace {

// Width of the engine's slices through each atom sphere, angstroms.
constexpr double kZSlice = 0.05;

std::string fixed2(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%4.2f", value);
    return text;
}

}  // namespace

std::string controlFileText(const std::string& pdbFile, const std::string& naccessDir,
                            double probe) {
    return "PDBFILE " + pdbFile + "\n" +
           "VDWFILE " + naccessDir + "/vdw.radii\n" +
           "STDFILE " + naccessDir + "/standard.data\n" +
           "PROBE " + fixed2(probe) + "\n" +
           "ZSLICE " + fixed2(kZSlice) + "\n";
}

const char* writeControlFiles(const std::string& naccessDir) {
    for (const ControlFile& control : kControlFiles) {
        std::ofstream out(control.name, std::ios::binary | std::ios::trunc);
        out << controlFileText(control.pdbFile, naccessDir, control.probe);
        out.close();
        if (!out) return control.name;
    }
    return nullptr;
}

void removeControlFiles() {
    for (const ControlFile& control : kControlFiles) removeFile(control.name);
}
