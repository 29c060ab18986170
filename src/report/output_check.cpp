#include "report/output_check.h"

#include "report/report_files.h"

#include <sys/stat.h>

std::string reportFileThatIsInput(const std::filesystem::path& input,
                                  const std::filesystem::path& outputDir) {
    struct stat in {};
    if (stat(input.c_str(), &in) != 0) return "";
    for (const char* name : {kComplexFile, kInterfaceFile, kResiduesFile, kSurfaceFiles[0],
                             kSurfaceFiles[1], kPairsFile, kPymolFile, kChimeraFile, kSummaryFile}) {
        struct stat out {};
        if (stat((outputDir / name).c_str(), &out) == 0 && out.st_dev == in.st_dev &&
            out.st_ino == in.st_ino)
            return name;
    }
    return "";
}
