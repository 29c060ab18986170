// libFuzzer target over the engine's readers: control file, PDB file, radii
// file and reference data, and on whatever atoms the PDB reader accepts, the
// area calculation and both writers. The first byte chooses the reader
// (its low two bits) and the probe (the next two).
#include "sasa/control_file.h"
#include "sasa/lee_richards.h"
#include "sasa/pdb_reader.h"
#include "sasa/radii_file.h"
#include "sasa/reference_data.h"
#include "sasa/writers.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

namespace {

const char* kRadii =
    "RESIDUE ATOM ALA   5\nATOM N    1.65 1\nATOM CA   1.87 0\nATOM C    1.76 0\n"
    "ATOM O    1.40 1\nATOM CB   1.87 0\nRESIDUE WATER HOH   1\nATOM O    1.40 1\n";

// Probes from the ordinary to the absurd: a zero radius with the smallest
// probe gives vanishing spheres.
const double kProbes[] = {1.4, 0.4, 1e-300, 50.0};

void measure(const std::string& text, const sasa::RadiiTable& table, double probe) {
    std::istringstream in(text);
    sasa::ReadOptions options;
    options.hetatoms = options.waters = options.hydrogens = (text.size() % 2) == 1;
    const sasa::PdbResult pdb = sasa::readPdb(in, options);
    if (!pdb.error.empty() || pdb.atoms.size() > 5000) return;
    const auto radii = sasa::assignRadii(pdb.atoms, table);
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
        std::istringstream radii(kRadii);
        measure(text, sasa::readRadii(radii).table, kProbes[(data[0] >> 2) % 4]);
        break;
    }
    case 2: {
        const auto r = sasa::readRadii(in);
        if (r.error.empty())
            measure("ATOM      1  CA  ALA A   1       0.000   0.000   0.000\n"
                    "ATOM      2 FE   HEM A   2       0.500   0.500   0.500\n",
                    r.table, kProbes[(data[0] >> 2) % 4]);
        break;
    }
    default:
        (void)sasa::readReference(in);
        break;
    }
    return 0;
}
