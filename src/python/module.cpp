// The C++ extension _kav_zur: the engine and the results of the analysis as
// Python types. The calls users make (score, score_many, ...) are written in
// Python over it, in kav_zur/__init__.py.
#include "python/bridge.h"
#include "python/frame_text.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <atomic>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

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

// A name as os.fsdecode gives it: bytes that are not UTF-8 become surrogates,
// and os.fsencode gives the file's own bytes back.
py::str nameText(const std::string& bytes) {
    PyObject* text = PyUnicode_DecodeFSDefaultAndSize(bytes.data(), static_cast<Py_ssize_t>(bytes.size()));
    if (!text) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(text);
}

// Messages quote the file's own bytes: what is not UTF-8 is shown as U+FFFD,
// so that the text can always be printed.
py::str messageText(const std::string& bytes) {
    PyObject* text = PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()), "replace");
    if (!text) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(text);
}

// The flag a call's engine runs look at: set by the thread that waits for
// the call (Ctrl-C), read by the one scoring.
struct Stop {
    std::atomic<bool> raised{false};
};

// The confidence columns of the details file but the predictor, in order.
const std::pair<const char*, std::optional<double> kzpy::Interface::*> kConfidenceFields[] = {
    {"iptm", &kzpy::Interface::iptm},
    {"ptm", &kzpy::Interface::ptm},
    {"ipsae", &kzpy::Interface::ipsae},
    {"ipsae_ab", &kzpy::Interface::ipsaeAb},
    {"ipsae_ba", &kzpy::Interface::ipsaeBa},
    {"ipsae_d0chn", &kzpy::Interface::ipsaeD0chn},
    {"ipsae_d0dom", &kzpy::Interface::ipsaeD0dom},
    {"iptm_d0chn", &kzpy::Interface::iptmD0chn},
    {"pdockq", &kzpy::Interface::pdockq},
    {"pdockq2", &kzpy::Interface::pdockq2},
    {"lis", &kzpy::Interface::lis},
    {"ipae", &kzpy::Interface::ipae},
    {"interface_plddt", &kzpy::Interface::interfacePlddt},
};

// The fields in the order of the record of a run's columns, under their
// Python names.
py::dict asDict(const kzpy::Interface& r) {
    py::dict d;
    d["name"] = nameText(r.name);
    d["sides"] = nameText(r.sides);
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
    if (r.confidenceAsked) {
        d["predictor"] = orNone(r.predictor);
        for (const auto& [name, field] : kConfidenceFields) d[name] = orNone(r.*field);
    }
    d["messages"] = messageText(r.messages);
    return d;
}

py::str repr(const kzpy::Interface& r) {
    std::string text = " " + r.status;
    if (r.kav && r.zur && r.interfaceArea) {
        char numbers[160];
        std::snprintf(numbers, sizeof numbers, " interface_area=%.1f kav=%.6f zur=%.6f",
                      static_cast<double>(*r.interfaceArea), static_cast<double>(*r.kav),
                      static_cast<double>(*r.zur));
        text += numbers;
    }
    // Bytes that are not UTF-8 shown as \xff, so that a repr always prints.
    const auto shown = [](const std::string& bytes) {
        PyObject* t = PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()),
                                           "backslashreplace");
        if (!t) throw py::error_already_set();
        return py::reinterpret_steal<py::str>(t);
    };
    return py::str("<kav_zur.Result {} {}{}>").format(shown(r.name), shown(r.sides), text);
}

// A Result as pickle keeps it (to and from the workers of a cluster): every
// field, the texts as bytes since a name need not be UTF-8.
constexpr std::size_t kPickledFields = 21;

// The confidence columns but the predictor, in kConfidenceFields' order.
py::tuple confidenceValues(const Interface& r) {
    py::tuple values(std::size(kConfidenceFields));
    std::size_t i = 0;
    for (const auto& field : kConfidenceFields) values[i++] = py::cast(r.*(field.second));
    return values;
}

py::tuple pickled(const Interface& r) {
    return py::make_tuple(py::bytes(r.name), py::bytes(r.sides), py::bytes(r.status), r.atomsA,
                          r.atomsB, r.interfaceAtomsA, r.interfaceAtomsB, r.buriedA, r.buriedB,
                          r.interfaceArea, r.packingRatio, r.complementarity, r.kav, r.zur,
                          r.trianglesA, r.trianglesB, r.seconds, py::bytes(r.messages),
                          r.confidenceAsked, r.predictor, confidenceValues(r));
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
    r.confidenceAsked = t[18].cast<bool>();
    r.predictor = t[19].cast<std::optional<std::string>>();
    const py::tuple values = t[20].cast<py::tuple>();
    if (values.size() != std::size(kConfidenceFields))
        throw std::runtime_error("a pickled kav_zur.Result holds " + std::to_string(values.size()) +
                                 " confidence values, not " +
                                 std::to_string(std::size(kConfidenceFields)));
    std::size_t i = 0;
    for (const auto& field : kConfidenceFields) r.*(field.second) = values[i++].cast<std::optional<double>>();
    return r;
}

void checkShape(const kzpy::FrameRecords& records, const py::array& xyz) {
    if (xyz.ndim() != 2 || xyz.shape(1) != 3 ||
        static_cast<std::size_t>(xyz.shape(0)) != records.atoms())
        throw std::invalid_argument("coordinates must be an array of shape (" +
                                    std::to_string(records.atoms()) +
                                    ", 3), one row per atom of the records");
}

// A frame's coordinates as the records take them: one row of x, y, z per
// atom, in angstroms, copied with the GIL held (the array may change once it
// is let go) into memory the calling thread keeps from frame to frame.
// MDAnalysis's float32 positions are widened in the copy itself, exactly;
// any other array is converted by numpy first.
const std::vector<double>& frameCoordinates(const kzpy::FrameRecords& records,
                                            const py::handle& xyz) {
    using Floats = py::array_t<float, py::array::c_style>;
    using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;
    thread_local std::vector<double> copy;
    if (Floats::check_(xyz)) {
        const auto values = py::reinterpret_borrow<Floats>(xyz);
        checkShape(records, values);
        copy.assign(values.data(), values.data() + values.size());
        return copy;
    }
    const Doubles values = Doubles::ensure(xyz);
    if (!values)
        throw py::type_error("coordinates must be an array of numbers, one row of x, y, z per "
                             "atom, not " + std::string(py::str(py::type::handle_of(xyz).attr("__name__"))));
    checkShape(records, values);
    copy.assign(values.data(), values.data() + values.size());
    return copy;
}

}  // namespace

PYBIND11_MODULE(_kav_zur, m) {
    m.doc() = "The C++ part of kav_zur: Engine and Result. Use the calls of the kav_zur package.";
    m.attr("__version__") = KAVZUR_VERSION;

    using kzpy::Interface;
    py::class_<Interface> result(m, "Result", R"(One interface of a structure, scored or not.

Fields (None where the analysis never got that far, as the empty cells of
the record of a run, --details):
  name               the structure's name; "<name> A:B" for a pair of all_pairs
  sides              "A:B": chains of side one and side two ("H,L:A" for sets)
  status             "scored", or why not (the details file's codes:
                     no_file, read_failed, chain_missing, one_chain,
                     engine_failed, too_small, no_frame, ...;
                     worker_died: an in-process engine run passed
                     its time limit, as the command line's worker)
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
                     (bytes that are not UTF-8 shown as U+FFFD)
Names are os.fsdecode's str: os.fsencode(r.name) gives the file's bytes.
With confidence=True, the predictor's confidence (None when its files were
not found or not usable; the messages say why):
  predictor          "colabfold", "alphafold3" or "boltz"
  iptm, ptm          the predictor's ipTM of the pair and its global pTM
  ipsae              ipSAE, the larger of ipsae_ab (side one aligned) and ipsae_ba
  ipsae_d0chn, ipsae_d0dom, iptm_d0chn   the ipSAE variants, larger direction
  pdockq, pdockq2    pDockQ and pDockQ2 (the larger direction)
  lis                LIS, the mean of both directions
  ipae               mean PAE between the sides, angstroms
  interface_plddt    mean pLDDT (0-100) of the residues within 8 A of the other side
Areas, KAV and ZUr are single-precision values, exactly as the command line
computes them: '%.6f' % r.kav gives the score file's digits.)");
    result.def_property_readonly("name", [](const Interface& r) { return nameText(r.name); })
        .def_property_readonly("sides", [](const Interface& r) { return nameText(r.sides); })
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
        .def_property_readonly("predictor", [](const Interface& r) { return orNone(r.predictor); })
        .def_readonly("seconds", &Interface::seconds)
        .def_property_readonly("messages", [](const Interface& r) { return messageText(r.messages); })
        .def_property_readonly("ok", [](const Interface& r) { return r.status == "scored"; },
                               "True when the interface was scored.")
        .def_property_readonly("_confidence_asked",
                               [](const Interface& r) { return r.confidenceAsked; })
        .def("as_dict", &asDict, "The fields as a dict, in the order of the details file's columns.")
        .def("__repr__", &repr)
        .def(py::pickle(&pickled, &unpickled));

    for (const auto& [name, field] : kConfidenceFields)
        result.def_property_readonly(name, [field = field](const Interface& r) { return orNone(r.*field); });

    py::class_<Stop>(m, "_Stop", "A call's cancel flag: set() stops its engine runs at once.")
        .def(py::init<>())
        .def("set", [](Stop& stop) { stop.raised = true; })
        .def_property_readonly("is_set", [](const Stop& stop) { return stop.raised.load(); });

    // A cancelled call raises KeyboardInterrupt: it is what cancels one.
    py::register_exception<kzpy::Cancelled>(m, "Cancelled", PyExc_KeyboardInterrupt);

    m.def("_report_folder_name", [](const std::string& name) { return nameText(kzpy::reportFolderName(name)); },
          py::arg("name"), "The folder of a result's report in its output directory.");

    py::class_<kzpy::Engine>(m, "Engine", R"(A surface-area engine set up once.

Made by kav_zur.engine(naccess_dir=None): the bundled engine (run inside this
process) by default, or a NACCESS-style directory honoured as on the command
line (its vdw.radii and standard.data; without the bundled engine's marker
its accall runs as a program).
One Engine may score in several threads at once.)")
        .def(py::init<const std::string&>(), py::arg("naccess_dir"))
        .def_property_readonly("naccess_dir", [](const kzpy::Engine& e) { return nameText(e.directory()); },
                               "The engine directory in use.")
        .def_property_readonly("in_process", &kzpy::Engine::inProcess,
                               "True when the engine runs inside this process.")
        .def(
            "_score",
            [](const kzpy::Engine& engine, const std::string& path, const std::string& text,
               const std::string& format, const std::string& name,
               const std::vector<std::string>& sideOne, const std::vector<std::string>& sideTwo,
               bool allPairs, int model, bool allModels, const std::string& assembly,
               bool crystal, const std::string& reportDir, double timeout, const Stop& stop,
               bool confidence, double paeCutoff, double distCutoff,
               bool mseAsMet) {
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
                request.timeout = timeout;
                request.cancel = &stop.raised;
                request.confidence = confidence;
                request.paeCutoff = paeCutoff;
                request.distCutoff = distCutoff;
                request.mseAsMet = mseAsMet;
                // The arguments are C++ copies now: other Python threads run
                // while this structure is scored.
                py::gil_scoped_release release;
                return engine.score(request);
            },
            py::arg("path"), py::arg("text"), py::arg("format"), py::arg("name"),
            py::arg("side_one"), py::arg("side_two"), py::arg("all_pairs"), py::arg("model"),
            py::arg("all_models"), py::arg("assembly"), py::arg("crystal"), py::arg("report_dir"),
            py::arg("timeout"), py::arg("stop"),
            py::arg("confidence") = false, py::arg("pae_cutoff") = 10.0, py::arg("dist_cutoff") = 10.0,
            py::arg("mse_as_met") = false,
            "The raw call under kav_zur.score and friends: a list of Result, failures included.\n"
            "Paths, names and text are bytes (the file system's own); timeout 0 is the command\n"
            "line's limit; stop.set() from another thread ends the call (KeyboardInterrupt).")
        .def(
            "_score_frame",
            [](const kzpy::Engine& engine, const kzpy::FrameRecords& records,
               const py::handle& xyz,
               const std::string& name, const std::vector<std::string>& sideOne,
               const std::vector<std::string>& sideTwo, double timeout, const Stop& stop) {
                const std::vector<double>& values = frameCoordinates(records, xyz);
                kzpy::Request request;
                request.name = name;
                request.sideOne = sideOne;
                request.sideTwo = sideTwo;
                request.timeout = timeout;
                request.cancel = &stop.raised;
                py::gil_scoped_release release;
                return engine.scoreFrame(records, values.data(), values.size(), request);
            },
            py::arg("records"), py::arg("xyz"), py::arg("name"), py::arg("side_one"),
            py::arg("side_two"), py::arg("timeout"), py::arg("stop"),
            "One frame of a trajectory: the PDB text of `records` with the coordinates `xyz`\n"
            "(angstroms, one row per atom) scored as _score scores text (as the atoms it reads\n"
            "as, with no text made), a list of Result.\n"
            "ValueError when the array's shape is not the records' or a coordinate does not\n"
            "fit its PDB columns.");

    py::class_<kzpy::FrameRecords>(m, "_FrameRecords",
                                   "A trajectory's PDB ATOM records but their coordinates, "
                                   "prepared once for _score_frame.")
        .def(py::init<std::vector<std::string>, std::vector<std::string>>(), py::arg("heads"),
             py::arg("tails"),
             "heads: each atom's record up to column 30, tails: the rest of its line after\n"
             "column 54 (newline included), as bytes. ValueError when a head is not 30 columns.")
        .def_property_readonly("atoms", &kzpy::FrameRecords::atoms)
        .def("text", [](const kzpy::FrameRecords& records, const py::handle& xyz) {
                 const std::vector<double>& values = frameCoordinates(records, xyz);
                 return py::bytes(records.text(values.data(), values.size()));
             }, py::arg("xyz"), "The PDB text _score_frame scores for `xyz`, as bytes.");
}
