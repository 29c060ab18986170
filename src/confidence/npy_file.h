// One array of a NumPy .npz archive (a zip of .npy files), read strictly:
// little-endian float32 or float64, C order, one or two dimensions.
#pragma once

#include "common/huge_pages.h"

#include <cstddef>
#include <string>
#include <vector>

struct NpyArray {
    std::vector<std::size_t> shape;
    std::vector<double, HugePageAllocator<double>> values;  // row-major, float32 widened to double
};

// Reads the array `name` ("pae") of the archive at `path`. False, with the
// problem in `why`, when the archive, the member or its header is not usable.
bool readNpzArray(const std::string& path, const std::string& name, NpyArray& out,
                  std::string& why);

// The same for the bytes of one .npy file.
bool parseNpy(const std::string& bytes, NpyArray& out, std::string& why);
