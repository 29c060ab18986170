// The one seam between the Python module and the analysis: a request and its
// results in the module's own plain terms. Only bridge.cpp knows how the
// analysis is reached; module.cpp binds these types to Python.
#pragma once

#include <atomic>
#include <memory>
#include <stdexcept>
#include <optional>
#include <string>
#include <vector>

struct StructureInput;  // analysis/analysis.h

namespace kzpy {

class FrameRecords;  // python/frame_text.h

// One structure to score: a file, or its text with its format.
struct Request {
    std::string path;          // a structure file (PDB or mmCIF, plain or gzipped); or
    std::string text;          // the structure's text, when `path` is empty,
    std::string format;        // "pdb" or "mmcif", for `text`
    std::string name;          // the results' name; "" gives the file name (or "structure")
    std::vector<std::string> sideOne;  // chains of side one; both sides empty: the first two
    std::vector<std::string> sideTwo;  // chains of side two
    bool allPairs = false;     // every touching pair of chains
    int model = 0;             // model number (1-based); 0: the first model
    bool allModels = false;    // every model, each its own results ("<name> model N")
    std::string assembly;      // a biological assembly's ID; "": the chains as written
    bool crystal = false;      // with allPairs: the crystal's interfaces (symmetry copies)
    bool mseAsMet = false;     // selenomethionine read as methionine
    std::string reportDir;     // "": no report; else the report files go into this folder
    double timeout = 0.0;      // > 0: seconds one engine run may take; 0: as the command line
    const std::atomic<bool>* cancel = nullptr;  // raised by another thread: stop at once
    bool confidence = false;   // the predictor's confidence from the files beside `path`
    double paeCutoff = 10.0;   // angstroms
    double distCutoff = 10.0;  // angstroms
};

// A call whose cancel flag was raised: nothing more is scored (the working
// files are gone, every engine process ended).
struct Cancelled : std::runtime_error {
    Cancelled() : std::runtime_error("the call was cancelled") {}
};

// The folder of a report in its output directory: the command line's
// --report rule (a plain name as it is, any other made plain with a hash of
// it), so that it is never "..", absolute or the output directory itself.
std::string reportFolderName(const std::string& resultName);

// One interface, scored or not: the columns of the record of a run. Areas in
// square angstroms, KAV and ZUr per square angstrom, seconds of wall time.
// A value the analysis never reached is empty.
struct Interface {
    std::string name;
    std::string sides;                 // "A:B" as chain names of the file; "" while unknown
    std::string status;                // "scored" or the failure's code
    std::optional<int> atomsA, atomsB;
    std::optional<int> interfaceAtomsA, interfaceAtomsB;
    std::optional<float> buriedA, buriedB;
    std::optional<float> interfaceArea;            // mean of the buried areas, single precision
    std::optional<float> packingRatio;             // the packing sum
    std::optional<float> complementarity;          // the complementarity sum
    std::optional<float> kav, zur;                 // scored interfaces only
    std::optional<int> trianglesA, trianglesB;
    double seconds = 0.0;
    std::string messages;              // what the command line prints for it
    // With Request::confidence: the details file's confidence columns (PAE
    // in angstroms, pLDDT 0-100), each empty when not read.
    bool confidenceAsked = false;
    std::optional<std::string> predictor;
    std::optional<double> iptm, ptm, ipsae, ipsaeAb, ipsaeBa, ipsaeD0chn, ipsaeD0dom, iptmD0chn;
    std::optional<double> pdockq, pdockq2, lis, ipae, interfacePlddt;
};

// A set-up engine: the bundled one, or a NACCESS-style directory honoured as
// on the command line. Scoring is safe from several threads at once.
class Engine {
public:
    // Throws std::invalid_argument (with a message naming the directory and
    // the problem) when `naccessDir` cannot serve as an engine.
    explicit Engine(const std::string& naccessDir);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    const std::string& directory() const;
    bool inProcess() const;  // the bundled engine, run inside this process

    // Every interface the request asks for (one, or one per touching pair),
    // failures included; an engine run longer than the time limit fails its
    // structure as the command line's does. Never throws for a bad
    // structure; throws Cancelled when `request.cancel` was raised,
    // std::invalid_argument when a report would overwrite the structure file
    // it reads (nothing is written then), and std::runtime_error only when the
    // analysis itself cannot run or a report file cannot be written.
    std::vector<Interface> score(const Request& request) const;

    // One frame of a trajectory: the text of `records` with the coordinates
    // `xyz` (`values` of them, 3 per atom, in angstroms) scored as
    // `request`'s text would be (its path and text unused). Throws
    // std::invalid_argument, scoring nothing, when a coordinate does not fit
    // its PDB columns; else as score().
    std::vector<Interface> scoreFrame(const FrameRecords& records, const double* xyz,
                                      std::size_t values, const Request& request) const;

private:
    std::vector<Interface> scoreInput(const StructureInput& input, const Request& request,
                                      const std::string& name, const std::string& shownPath) const;

    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace kzpy
