#include "sasa/control_file.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace sasa {

namespace {

std::string trim(const std::string& s) {
    std::string::size_type b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

// The whole value must be a finite number: "1.4x" or "" are refused.
bool parseNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || errno == ERANGE || !std::isfinite(v)) return false;
    value = v;
    return true;
}

}  // namespace

// Above this many slices a sphere would cost more than any structure is worth.
constexpr double kMaxSlices = 10000;

int sliceCount(double zslice) {
    return static_cast<int>(1.0 / zslice + 0.5);
}

ControlResult readControl(std::istream& in) {
    ControlResult result;
    ControlSettings& s = result.settings;
    std::string raw;
    long lineNumber = 0;
    while (std::getline(in, raw)) {
        ++lineNumber;
        const std::string line = trim(raw);
        if (line.empty()) continue;
        std::string::size_type split = 0;
        while (split < line.size() && !std::isspace(static_cast<unsigned char>(line[split]))) ++split;
        const std::string word = line.substr(0, split);
        const std::string value = trim(line.substr(split));
        std::string key;
        for (std::string::size_type i = 0; i < word.size() && i < 4; ++i)
            key += static_cast<char>(std::toupper(static_cast<unsigned char>(word[i])));
        const std::string where = "line " + std::to_string(lineNumber) + ": ";

        if (key == "PDBF" || key == "VDWF" || key == "STDF") {
            if (value.empty()) {
                result.error = where + word + " names no file";
                return result;
            }
            (key == "PDBF" ? s.pdbFile : key == "VDWF" ? s.vdwFile : s.stdFile) = value;
        } else if (key == "PROB") {
            if (!parseNumber(value, s.probe) || !(s.probe > 0.0)) {
                result.error = where + "PROBE must be a number greater than 0, not '" + value + "'";
                return result;
            }
            if (s.probe > kMaxProbe) {
                result.error = where + "PROBE must be at most 100, not '" + value + "'";
                return result;
            }
        } else if (key == "ZSLI") {
            if (!parseNumber(value, s.zslice) || !(s.zslice > 0.0 && s.zslice <= 1.0)) {
                result.error = where + "ZSLICE must be a number in (0, 1], not '" + value + "'";
                return result;
            }
            if (1.0 / s.zslice + 0.5 > kMaxSlices) {
                result.error = where + "ZSLICE '" + value + "' asks for more than 10000 slices";
                return result;
            }
        } else if (key == "HETA") {
            s.hetatoms = true;
        } else if (key == "WATE") {
            s.waters = true;
        } else if (key == "HYDR") {
            s.hydrogens = true;
        } else if (key == "ASAO") {
            s.asaOnly = true;
        } else {
            s.ignoredLines.push_back(line);
        }
    }
    if (s.pdbFile.empty()) result.error = "no PDBFILE given";
    return result;
}

}  // namespace sasa
