// libFuzzer target: the area-file line reader against sscanf. The input is
// laid over an engine line (so that most inputs stay near the layout), and
// whenever the reader takes the result, sscanf must give the same fields,
// floats to the bit.
#include "common/asa_line.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string line = "ATOM  12345  CA  GLY B-999    -999.999 -12.345   0.000 123.456  1.87";
    // Pairs of (column, byte) overwrite the line; a column past its end extends it.
    for (std::size_t k = 0; k + 1 < size; k += 2) {
        const std::size_t at = data[k] % 80;
        if (at >= line.size()) line.resize(at + 1, ' ');
        line[at] = static_cast<char>(data[k + 1]);
    }
    line.resize(std::strlen(line.c_str()));  // a NUL ends the text as it ends a piece
    asa::AsaColumns mine;
    if (!asa::readAsaColumns(line.c_str(), mine)) return 0;
    asa::AsaColumns theirs;
    char name[100] = {}, res[100] = {};
    const int n = std::sscanf(line.c_str(), "%*s %d %99s %99s %c %d %f %f %f %f %f", &theirs.serial,
                              name, res, &theirs.chain, &theirs.resSeq, &theirs.x, &theirs.y,
                              &theirs.z, &theirs.area, &theirs.radius);
    if (n != 10 || mine.serial != theirs.serial || std::strcmp(mine.atomName, name) != 0 ||
        std::strcmp(mine.resName, res) != 0 || mine.chain != theirs.chain ||
        mine.resSeq != theirs.resSeq || std::memcmp(&mine.x, &theirs.x, sizeof(float)) != 0 ||
        std::memcmp(&mine.y, &theirs.y, sizeof(float)) != 0 ||
        std::memcmp(&mine.z, &theirs.z, sizeof(float)) != 0 ||
        std::memcmp(&mine.area, &theirs.area, sizeof(float)) != 0 ||
        std::memcmp(&mine.radius, &theirs.radius, sizeof(float)) != 0)
        std::abort();
    return 0;
}
