// The C++ extension _kav_zur: the engine and the results of the analysis as
// Python types. The calls users make (score, score_many, ...) are written in
// Python over it, in kav_zur/__init__.py.
#include "python/bridge.h"

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>

#ifndef KAVZUR_VERSION
#define KAVZUR_VERSION "unknown"
#endif

namespace py = pybind11;

namespace {

using kzpy::Interface;

template <class T>
py::object orNone(const std::optional<T>& value) {
    return value ? py::cast(*value) : py::none();
}

// The fields in the order of the record of a run's columns, under their
// Python names.
py::dict asDict(const kzpy::Interface& r) {
    py::dict d;
    d["name"] = r.name;
    d["sides"] = r.sides;
    d["status"] = r.status;
    d["atoms_a"] = orNone(r.atomsA);
    d["atoms_b"] = orNone(r.atomsB);
    d["interface_atoms_a"] = orNone(r.interfaceAtomsA);
    d["interface_atoms_b"] = orNone(r.interfaceAtomsB);
    d["buried_a"] = orNone(r.buriedA);
    d["buried_b"] = orNone(r.buriedB);
    d["interface_area"] = orNone(r.interfaceArea);
    d["packing_ratio"] = orNone(r.packingRatio);
    d["complementarity"] = orNone(r.complementarity);
    d["kav"] = orNone(r.kav);
    d["zur"] = orNone(r.zur);
    d["triangles_a"] = orNone(r.trianglesA);
    d["triangles_b"] = orNone(r.trianglesB);
    d["seconds"] = r.seconds;
    d["messages"] = r.messages;
    return d;
}

std::string repr(const kzpy::Interface& r) {
    std::string text = "<kav_zur.Result " + r.name + " " + r.sides + " " + r.status;
    if (r.kav && r.zur && r.interfaceArea) {
        char numbers[160];
        std::snprintf(numbers, sizeof numbers, " interface_area=%.1f kav=%.6f zur=%.6f",
                      static_cast<double>(*r.interfaceArea), static_cast<double>(*r.kav),
                      static_cast<double>(*r.zur));
        text += numbers;
    }
    return text + ">";
}

// A Result as pickle keeps it (to and from the workers of a cluster): every
// field, the texts as bytes since a name need not be UTF-8.
constexpr std::size_t kPickledFields = 18;

py::tuple pickled(const Interface& r) {
    return py::make_tuple(py::bytes(r.name), py::bytes(r.sides), py::bytes(r.status), r.atomsA,
                          r.atomsB, r.interfaceAtomsA, r.interfaceAtomsB, r.buriedA, r.buriedB,
                          r.interfaceArea, r.packingRatio, r.complementarity, r.kav, r.zur,
                          r.trianglesA, r.trianglesB, r.seconds, py::bytes(r.messages));
}

Interface unpickled(const py::tuple& t) {
    if (t.size() != kPickledFields)
        throw std::runtime_error("a pickled kav_zur.Result holds " + std::to_string(t.size()) +
                                 " fields, not " + std::to_string(kPickledFields));
    Interface r;
    r.name = t[0].cast<std::string>();
    r.sides = t[1].cast<std::string>();
    r.status = t[2].cast<std::string>();
    r.atomsA = t[3].cast<std::optional<int>>();
    r.atomsB = t[4].cast<std::optional<int>>();
    r.interfaceAtomsA = t[5].cast<std::optional<int>>();
    r.interfaceAtomsB = t[6].cast<std::optional<int>>();
    r.buriedA = t[7].cast<std::optional<float>>();
    r.buriedB = t[8].cast<std::optional<float>>();
    r.interfaceArea = t[9].cast<std::optional<float>>();
    r.packingRatio = t[10].cast<std::optional<float>>();
    r.complementarity = t[11].cast<std::optional<float>>();
    r.kav = t[12].cast<std::optional<float>>();
    r.zur = t[13].cast<std::optional<float>>();
    r.trianglesA = t[14].cast<std::optional<int>>();
    r.trianglesB = t[15].cast<std::optional<int>>();
    r.seconds = t[16].cast<double>();
    r.messages = t[17].cast<std::string>();
    return r;
}

}  // namespace

PYBIND11_MODULE(_kav_zur, m) {
    m.doc() = "The C++ part of kav_zur: Engine and Result. Use the calls of the kav_zur package.";
    m.attr("__version__") = KAVZUR_VERSION;

    py::class_<Interface>(m, "Result", R"(One interface of a structure, scored or not.

Fields (None where the analysis never got that far, as the empty cells of
the record of a run, --details):
  name               the structure's name; "<name> A:B" for a pair of all_pairs
  sides              "A:B": chains of side one and side two ("H,L:A" for sets)
  status             "scored", or why not (the details file's codes:
                     no_file, read_failed, chain_missing, one_chain,
                     engine_failed, too_small, no_frame, ...)
  interface_area     square angstroms: the mean of buried_a and buried_b
  kav                packing score KAV, per square angstrom (scored only)
  zur                complementarity score ZUr, per square angstrom (scored only)
  buried_a, buried_b area buried by each side, square angstroms
  atoms_a, atoms_b   atoms of each subunit
  interface_atoms_a, interface_atoms_b
  packing_ratio      the packing sum (KAV = packing_ratio / interface_area)
  complementarity    the complementarity sum (ZUr = complementarity / interface_area)
  triangles_a, triangles_b  kept triangles of each side's surface
  seconds            wall time of the analysis
  messages           what the command line prints for this interface
Areas, KAV and ZUr are single-precision values, exactly as the command line
computes them: '%.6f' % r.kav gives the score file's digits.)")
        .def_readonly("name", &Interface::name)
        .def_readonly("sides", &Interface::sides)
        .def_readonly("status", &Interface::status)
        .def_property_readonly("interface_area", [](const Interface& r) { return orNone(r.interfaceArea); })
        .def_property_readonly("kav", [](const Interface& r) { return orNone(r.kav); })
        .def_property_readonly("zur", [](const Interface& r) { return orNone(r.zur); })
        .def_property_readonly("buried_a", [](const Interface& r) { return orNone(r.buriedA); })
        .def_property_readonly("buried_b", [](const Interface& r) { return orNone(r.buriedB); })
        .def_property_readonly("atoms_a", [](const Interface& r) { return orNone(r.atomsA); })
        .def_property_readonly("atoms_b", [](const Interface& r) { return orNone(r.atomsB); })
        .def_property_readonly("interface_atoms_a",
                               [](const Interface& r) { return orNone(r.interfaceAtomsA); })
        .def_property_readonly("interface_atoms_b",
                               [](const Interface& r) { return orNone(r.interfaceAtomsB); })
        .def_property_readonly("packing_ratio", [](const Interface& r) { return orNone(r.packingRatio); })
        .def_property_readonly("complementarity",
                               [](const Interface& r) { return orNone(r.complementarity); })
        .def_property_readonly("triangles_a", [](const Interface& r) { return orNone(r.trianglesA); })
        .def_property_readonly("triangles_b", [](const Interface& r) { return orNone(r.trianglesB); })
        .def_readonly("seconds", &Interface::seconds)
        .def_readonly("messages", &Interface::messages)
        .def_property_readonly("ok", [](const Interface& r) { return r.status == "scored"; },
                               "True when the interface was scored.")
        .def("as_dict", &asDict, "The fields as a dict, in the order of the details file's columns.")
        .def("__repr__", &repr)
        .def(py::pickle(&pickled, &unpickled));

    py::class_<kzpy::Engine>(m, "Engine", R"(A surface-area engine set up once.

Made by kav_zur.engine(naccess_dir=None): the bundled engine (run inside this
process) by default, or a NACCESS-style directory honoured as on the command
line (its vdw.radii and standard.data; without the bundled engine's marker
its accall runs as a program).
One Engine may score in several threads at once.)")
        .def(py::init<const std::string&>(), py::arg("naccess_dir"))
        .def_property_readonly("naccess_dir", &kzpy::Engine::directory,
                               "The engine directory in use.")
        .def_property_readonly("in_process", &kzpy::Engine::inProcess,
                               "True when the engine runs inside this process.")
        .def(
            "_score",
            [](const kzpy::Engine& engine, const std::string& path, const std::string& text,
               const std::string& format, const std::string& name,
               const std::vector<std::string>& sideOne, const std::vector<std::string>& sideTwo,
               bool allPairs, int model, bool allModels, const std::string& assembly,
               bool crystal, const std::string& reportDir, bool mseAsMet) {
                kzpy::Request request;
                request.path = path;
                request.text = text;
                request.format = format;
                request.name = name;
                request.sideOne = sideOne;
                request.sideTwo = sideTwo;
                request.allPairs = allPairs;
                request.model = model;
                request.allModels = allModels;
                request.assembly = assembly;
                request.crystal = crystal;
                request.reportDir = reportDir;
                request.mseAsMet = mseAsMet;
                // The arguments are C++ copies now: other Python threads run
                // while this structure is scored.
                py::gil_scoped_release release;
                return engine.score(request);
            },
            py::arg("path"), py::arg("text"), py::arg("format"), py::arg("name"),
            py::arg("side_one"), py::arg("side_two"), py::arg("all_pairs"), py::arg("model"),
            py::arg("all_models"), py::arg("assembly"), py::arg("crystal"), py::arg("report_dir"),
            py::arg("mse_as_met") = false,
            "The raw call under kav_zur.score and friends: a list of Result, failures included.");
}
