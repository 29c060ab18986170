// accall: solvent-accessible areas of the atoms of a PDB file, driven by a
// control file on standard input. See accall_run.h.
#include "sasa/accall_run.h"

#include <filesystem>
#include <iostream>

int main(int, char** argv) {
    // vdw.radii and standard.data are looked for beside the executable
    // unless the control file names them.
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) self = std::filesystem::absolute(argv[0], error);
    return sasa::runJob(std::cin, self.parent_path().string());
}
