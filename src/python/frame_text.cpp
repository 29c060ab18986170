// The PDB text of a trajectory frame from records prepared once.
#include "python/frame_text.h"

#include "common/fixed_format.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace kzpy {

namespace {

constexpr std::size_t kHeadColumns = 30;  // the coordinates start in column 31
constexpr std::size_t kCoordinateColumns = 8;

// Whether "%8.3f" writes `value` in its eight columns (a number, not "nan").
bool fitsColumns(double value) {
    return std::isfinite(value) && fitsFixed(value, static_cast<int>(kCoordinateColumns), 3);
}

// `value` as "%8.3f" writes it, into `out` (eight characters); false when it
// does not fit them.
bool writeCoordinate(double value, char* out) {
    if (!fitsColumns(value)) return false;
    char text[48];
    formatFixed(text, sizeof text, value, static_cast<int>(kCoordinateColumns), 3);
    std::memcpy(out, text, kCoordinateColumns);
    return true;
}

void checkCount(std::size_t values, std::size_t atoms) {
    if (values != 3 * atoms)
        throw std::invalid_argument(std::to_string(values) + " coordinates for " +
                                    std::to_string(atoms) + " atoms (3 each)");
}

[[noreturn]] void refuse(std::size_t atom, double value) {
    throw std::invalid_argument("atom " + std::to_string(atom + 1) + ": coordinate " +
                                std::to_string(value) +
                                " does not fit a PDB record (-999.999 to 9999.999 A)");
}

std::atomic<std::uint64_t> recordsMade{0};

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

    // The records read once, as a frame's text is read, with coordinates
    // that number the atoms: read back in their order, one atom a record,
    // they are each frame's structure but its coordinates.
    id_ = ++recordsMade;
    const std::size_t n = columns_.size();
    std::vector<double> numbered(3 * n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        numbered[3 * i] = static_cast<double>(i % 10000);
        numbered[3 * i + 1] = static_cast<double>(i / 10000 % 10000);
    }
    std::string why;
    if (n == 0 || n >= 100000000 ||
        !readStructureText(text(numbered.data(), numbered.size()), false, "frame", 0, atoms_, why,
                           false) ||
        atoms_.atoms.size() != n) {
        atoms_ = InputStructure{};
        return;
    }
    for (std::size_t i = 0; i < n; ++i)
        if (atoms_.atoms[i].x != numbered[3 * i] || atoms_.atoms[i].y != numbered[3 * i + 1]) {
            atoms_ = InputStructure{};
            return;
        }
    readable_ = true;
}

std::string FrameRecords::text(const double* xyz, std::size_t values) const {
    std::string out;
    write(xyz, values, out);
    return out;
}

void FrameRecords::write(const double* xyz, std::size_t values, std::string& out) const {
    checkCount(values, columns_.size());
    out.assign(blank_);
    char* text = out.data();
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        char* at = text + columns_[i];
        for (std::size_t k = 0; k < 3; ++k, at += kCoordinateColumns)
            if (!writeCoordinate(xyz[3 * i + k], at)) refuse(i, xyz[3 * i + k]);
    }
}

bool FrameRecords::structure(const double* xyz, std::size_t values, FrameAtoms& out) const {
    checkCount(values, columns_.size());
    if (!readable_) return false;
    if (out.records != id_) {
        out.records = 0;  // a copy half made is no copy
        out.structure = atoms_;
        out.records = id_;
    }
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const double* v = xyz + 3 * i;
        for (std::size_t k = 0; k < 3; ++k)
            if (!fitsColumns(v[k])) refuse(i, v[k]);
        InputAtom& a = out.structure.atoms[i];
        a.x = fixedValue(v[0], 3);
        a.y = fixedValue(v[1], 3);
        a.z = fixedValue(v[2], 3);
    }
    return true;
}

}  // namespace kzpy
