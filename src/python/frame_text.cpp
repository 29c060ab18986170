// The PDB text of a trajectory frame from records prepared once.
#include "python/frame_text.h"

#include "sasa/fixed_format.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

namespace kzpy {

namespace {

constexpr std::size_t kHeadColumns = 30;  // the coordinates start in column 31
constexpr std::size_t kCoordinateColumns = 8;

// `value` as "%8.3f" writes it, into `out` (eight characters); false when it
// needs more than eight or is not a number.
bool writeCoordinate(double value, char* out) {
    char text[48];
    if (!std::isfinite(value) ||
        sasa::formatFixed(text, sizeof text, value, static_cast<int>(kCoordinateColumns), 3) !=
            static_cast<int>(kCoordinateColumns))
        return false;
    std::memcpy(out, text, kCoordinateColumns);
    return true;
}

}  // namespace

FrameRecords::FrameRecords(std::vector<std::string> heads, std::vector<std::string> tails) {
    if (heads.size() != tails.size())
        throw std::invalid_argument("the records hold " + std::to_string(heads.size()) +
                                    " heads and " + std::to_string(tails.size()) + " tails");
    std::size_t bytes = 4;
    for (std::size_t i = 0; i < heads.size(); ++i) {
        if (heads[i].size() != kHeadColumns)
            throw std::invalid_argument("atom " + std::to_string(i + 1) + ": its record \"" +
                                        heads[i] + "\" is " + std::to_string(heads[i].size()) +
                                        " columns wide before the coordinates, not 30 (a name "
                                        "or a number too long for its PDB columns)");
        bytes += kHeadColumns + 3 * kCoordinateColumns + tails[i].size();
    }
    blank_.reserve(bytes);
    columns_.reserve(heads.size());
    for (std::size_t i = 0; i < heads.size(); ++i) {
        blank_ += heads[i];
        columns_.push_back(blank_.size());
        blank_.append(3 * kCoordinateColumns, ' ');
        blank_ += tails[i];
    }
    blank_ += "END\n";
}

std::string FrameRecords::text(const double* xyz, std::size_t values) const {
    std::string out;
    write(xyz, values, out);
    return out;
}

void FrameRecords::write(const double* xyz, std::size_t values, std::string& out) const {
    if (values != 3 * columns_.size())
        throw std::invalid_argument(std::to_string(values) + " coordinates for " +
                                    std::to_string(columns_.size()) + " atoms (3 each)");
    out.assign(blank_);
    char* text = out.data();
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        char* at = text + columns_[i];
        for (std::size_t k = 0; k < 3; ++k, at += kCoordinateColumns) {
            if (!writeCoordinate(xyz[3 * i + k], at))
                throw std::invalid_argument("atom " + std::to_string(i + 1) + ": coordinate " +
                                            std::to_string(xyz[3 * i + k]) +
                                            " does not fit a PDB record (-999.999 to 9999.999 A)");
        }
    }
}

}  // namespace kzpy
