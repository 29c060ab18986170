// libFuzzer target over the engine's readers: control file, PDB file, radii
// file and reference data, and on whatever atoms the PDB reader accepts, the
// area calculation and both writers. The first byte chooses the reader
// (its low two bits), the probe (the next three) and, when its top bit is
// set, one radius for every atom (bits 5 and 6): probes and radii run up to
// the largest floats and doubles.
#include "sasa/control_file.h"
#include "sasa/lee_richards.h"
#include "sasa/pdb_reader.h"
#include "sasa/radii_file.h"
#include "sasa/reference_data.h"
#include "sasa/writers.h"

#include <cfloat>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

namespace {

const char* kRadiiFile =
    "RESIDUE ATOM ALA   5\nATOM N    1.65 1\nATOM CA   1.87 0\nATOM C    1.76 0\n"
    "ATOM O    1.40 1\nATOM CB   1.87 0\nRESIDUE WATER HOH   1\nATOM O    1.40 1\n";

// Probes from the ordinary to the absurd: a zero radius with the smallest
// probe gives vanishing spheres; the largest ones would make the slice
// thickness overflow.
const double kProbes[] = {1.4,  0.4,    1e-300, 50.0,
                          100.0, 999.99, static_cast<double>(FLT_MAX), DBL_MAX};
const double kRadii[] = {static_cast<double>(FLT_MAX), 1e308, 9999.0, 1000.0};

struct Choice {
    double probe;
    bool radiusGiven;
    double radius;
};

Choice choose(std::uint8_t first) {
    return Choice{kProbes[(first >> 2) % 8], (first & 0x80) != 0, kRadii[(first >> 5) % 4]};
}

void measure(const std::string& text, const sasa::RadiiTable& table, const Choice& choice) {
    const double probe = choice.probe;
    std::istringstream in(text);
    sasa::ReadOptions options;
    options.hetatoms = options.waters = options.hydrogens = (text.size() % 2) == 1;
    const sasa::PdbResult pdb = sasa::readPdb(in, options);
    if (!pdb.error.empty() || pdb.atoms.size() > 5000) return;
    auto radii = sasa::assignRadii(pdb.atoms, table);
    if (choice.radiusGiven)
        for (auto& r : radii) r.radius = choice.radius;
    std::vector<sasa::Sphere> spheres;
    for (std::size_t i = 0; i < pdb.atoms.size(); ++i)
        spheres.push_back({pdb.atoms[i].x, pdb.atoms[i].y, pdb.atoms[i].z, radii[i].radius + probe});
    const auto areas = sasa::leeRichardsAreas(spheres, 20);
    std::ostringstream out;
    sasa::writeAsa(out, pdb.atoms, areas, radii);
    sasa::writeRsa(out, "fuzz.pdb", "standard.data", sasa::sumResidues(pdb.atoms, areas, radii), {});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::istringstream in(text);
    switch (data[0] % 4) {
    case 0: {
        const auto r = sasa::readControl(in);
        if (r.error.empty()) (void)sasa::sliceCount(r.settings.zslice);
        break;
    }
    case 1: {
        std::istringstream radii(kRadiiFile);
        measure(text, sasa::readRadii(radii).table, choose(data[0]));
        break;
    }
    case 2: {
        const auto r = sasa::readRadii(in);
        if (r.error.empty())
            measure("ATOM      1  CA  ALA A   1       0.000   0.000   0.000\n"
                    "ATOM      2 FE   HEM A   2       0.500   0.500   0.500\n",
                    r.table, choose(data[0]));
        break;
    }
    default:
        (void)sasa::readReference(in);
        break;
    }
    return 0;
}
