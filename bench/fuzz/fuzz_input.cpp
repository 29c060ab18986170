// libFuzzer target over the conversion of structure files: reading PDB and
// mmCIF text, plain or gzipped (corrupt or not), then the chain layouts, the
// engine's PDB file and the chains in contact. The first byte chooses the
// file name's suffix and how the rest is stored (its low three bits) and a
// model number (the next bit).
#include "input/contacts.h"
#include "input/input_structure.h"
#include "input/pdb_writer.h"

#include <unistd.h>
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

struct Mode {
    const char* suffix;
    bool compress;  // gzip the bytes first; else they are the file as it is
};

const Mode kModes[] = {{".cif", false},    {".pdb", false},   {".cif.gz", true}, {".pdb.gz", true},
                       {".cif.gz", false}, {".ent.gz", false}, {".mmcif", false}, {".ent", false}};

std::string gzipped(const uint8_t* data, size_t size) {
    std::string out(compressBound(static_cast<uLong>(size)) + 64, '\0');
    z_stream z{};
    deflateInit2(&z, 1, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const Mode& mode = kModes[data[0] & 7];
    const int model = (data[0] & 8) ? 2 : 0;
    const std::string base = "/tmp/kavzur-fuzz-" + std::to_string(getpid());
    const std::string path = base + mode.suffix;
    const std::string bytes = mode.compress ? gzipped(data + 1, size - 1)
                                            : std::string(reinterpret_cast<const char*>(data + 1), size - 1);
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    InputStructure s;
    std::string why;
    if (readStructure(path, model, s, why)) {
        ChainLayout layout;
        int skipped = 0;
        const std::string out = base + ".out.pdb";
        if (layoutAllChains(s, layout, why)) writePdb(s, layout, out, skipped, why);
        layoutRenames(s, layout);
        const auto pairs = touchingChains(s);
        if (!pairs.empty() &&
            layoutSides(s, {s.chains[static_cast<std::size_t>(pairs[0].first)]},
                        {s.chains[static_cast<std::size_t>(pairs[0].second)]}, layout, why)) {
            layoutSidesText(s, layout);
            writePdb(s, layout, out, skipped, why);
        }
        std::remove(out.c_str());
    } else if (why.empty()) {
        __builtin_trap();  // a failure must say why
    }
    std::remove(path.c_str());
    return 0;
}
