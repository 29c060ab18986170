#include "sasa/reference_data.h"

#include <cmath>
#include <fstream>
#include <sstream>

namespace sasa {

ReferenceResult readReference(std::istream& in) {
    ReferenceResult result;
    std::string line;
    long lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        std::istringstream words(line);
        std::string name;
        if (!(words >> name) || name[0] == '#') continue;
        AreaSums areas{};
        bool ok = true;
        for (double& a : areas) ok = ok && (words >> a) && std::isfinite(a) && a >= 0;
        std::string extra;
        if (!ok || (words >> extra)) {
            result.error = "line " + std::to_string(lineNumber) + ": expected a residue name and "
                           "five reference areas of at least 0";
            return result;
        }
        result.table.byResidue[name] = areas;
    }
    return result;
}

ReferenceResult readReference(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        ReferenceResult result;
        result.error = "cannot open " + path;
        return result;
    }
    ReferenceResult result = readReference(in);
    if (!result.error.empty()) result.error = path + ", " + result.error;
    return result;
}

}  // namespace sasa
