// libFuzzer target: incremental engine runs against full ones. The input
// gives a set of spheres on a coarse grid (so that centres coincide, stand
// one above another and touch exactly) and a sequence of later sets, each
// a subset of the first or a set with new atoms; each later set is measured
// with the cache the earlier ones filled and afresh, and every area must be
// the same to the bit.
#include "sasa/area_cache.h"
#include "sasa/lee_richards.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Reader {
    const std::uint8_t* data;
    std::size_t size, at = 0;
    std::uint8_t next() { return at < size ? data[at++] : 0; }
    bool more() const { return at < size; }
};

sasa::Sphere sphereOf(Reader& in, double step) {
    const int x = in.next() % 24, y = in.next() % 24, z = in.next() % 24;
    const std::uint8_t r = in.next();
    // Radii of real atoms plus the two probes, and now and then a tiny one.
    static const double kRadii[] = {3.05, 3.16, 3.2, 3.27, 2.2, 1.9, 0.4, 1e-9};
    return {x * step, y * step, z * step, kRadii[r % 8]};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in{data, size};
    const double step = 0.25 + (in.next() % 8) * 0.25;
    const int slices = 1 + in.next() % 24;
    const std::size_t atoms = 1 + in.next() % 120;
    std::vector<sasa::Sphere> all;
    for (std::size_t k = 0; k < atoms && in.more(); ++k) all.push_back(sphereOf(in, step));

    sasa::AreaCache cache;
    std::vector<sasa::Sphere> set = all;
    for (int pass = 0; pass < 6; ++pass) {
        const std::vector<double> fresh = sasa::leeRichardsAreas(set, slices);
        const std::vector<double> cached = sasa::leeRichardsAreas(set, slices, nullptr, &cache);
        for (std::size_t i = 0; i < set.size(); ++i)
            if (std::memcmp(&fresh[i], &cached[i], sizeof(double)) != 0) std::abort();
        if (!in.more()) break;
        // The next set: a mask over the first one's atoms, and a few new ones.
        set.clear();
        for (std::size_t k = 0; k < all.size(); k += 8) {
            const std::uint8_t mask = in.next();
            for (std::size_t b = 0; b < 8 && k + b < all.size(); ++b)
                if (mask & (1u << b)) set.push_back(all[k + b]);
        }
        const int added = in.next() % 4;
        for (int k = 0; k < added; ++k) set.push_back(sphereOf(in, step));
    }
    return 0;
}
