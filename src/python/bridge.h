// The one seam between the Python module and the analysis: a request and its
// results in the module's own plain terms. Only bridge.cpp knows how the
// analysis is reached; module.cpp binds these types to Python.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kzpy {

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
};

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
    // failures included. Never throws for a bad structure; throws
    // std::runtime_error only when the analysis itself cannot run.
    std::vector<Interface> score(const Request& request) const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace kzpy
