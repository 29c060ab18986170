#include "interface/pipeline.h"

#include "common/text_file.h"
#include "interface/frame.h"
#include "interface/interface_atoms.h"
#include "common/interface_record.h"
#include "scores/complementarity.h"
#include "scores/packing.h"
#include "triangulation/grid.h"

#include <cstddef>
#include <cstdio>

namespace {

constexpr const char* kEngineProblem = "\nProblem in NACEESS program ... exiting";
constexpr const char* kTooSmall = "\nInterface is too small to triangulate ... exiting ... ";

// Result codes of SC_P.
constexpr int kEngineFailed = -1;
constexpr int kCannotOpen = -2;  // also: ComplexP.pdb could not be written whole
constexpr int kTooSmallInterface = -4;
constexpr int kNoSurface = -5;
constexpr int kGridOverfull = -6;  // delaunayMain has printed its own message
// No frame: reported to callers as kNoSurface, told apart only in the record.
constexpr int kNoFrame = -105;

// The smallest interface worth triangulating.
constexpr int kMinAtoms = 4;
constexpr float kMinBuriedArea = 100.0f;

// Atoms within 4 A of an interface point go into the packing structure.
constexpr float kNeighbourCutoffSq = 16.0f;
// Triangle pairs: centroids within 6 A, normals within about 25 degrees.
constexpr float kPairDistanceSq = 36.0f;
constexpr float kPairCosine = 0.906f;

// The streams of one call; all are closed before the structure files go.
struct Streams {
    File asaA, asaB, asaComplex, packing;
    void closeAll() {
        asaA.reset();
        asaB.reset();
        asaComplex.reset();
        packing.reset();
    }
};

// One subunit's triangulated surface, kept until both subunits are done.
struct Surface {
    std::vector<Triangle> triangles;
    std::vector<float> areas;
    std::vector<Vector3> centroids;
    std::vector<Vector3> normals;
    int count = 0;
};

// Tables shared by both subunits: the frame points and the triangulation's
// scratch space (subunit B reuses A's). Room for a usual interface is made
// once; a larger one grows them.
constexpr std::size_t kUsualPoints = 10000;
struct FrameTables {
    std::vector<FramePoint> frame;
    std::vector<FramePoint> scratch;
    FrameTables() {
        frame.reserve(kUsualPoints);
        scratch.reserve(kUsualPoints + 3);
    }
};

// The reason of a failure code, for the record.
EntryStatus statusFor(int code) {
    switch (code) {
    case kEngineFailed: return EntryStatus::EngineFailed;
    case kCannotOpen: return EntryStatus::SplitFailed;
    case kMismatchedRecords: return EntryStatus::Mismatch;
    case kTooSmallInterface: return EntryStatus::TooSmall;
    case kGridOverfull: return EntryStatus::OverfullCell;
    case kNoFrame: return EntryStatus::NoFrame;
    default: return EntryStatus::NoTriangles;
    }
}

// Closes everything, prints the code's message (if any) as a line, removes the
// four structure files and hands the code back.
int fail(Streams& streams, const AnalysisRun& run, AnalysisRecord& record, int code,
         const char* message) {
    record.status = statusFor(code);
    streams.closeAll();
    if (message) std::fprintf(run.console, "%s\n", message);
    for (const char* name : {"Complex.pdb", "ComplexA.pdb", "ComplexB.pdb", "ComplexP.pdb"})
        run.files.remove(name);
    return code == kNoFrame ? kNoSurface : code;
}

// What a report keeps of one side's triangulation.
void recordSurface(const SubunitInterface& s, int first, int second, int third, float angle,
                   const Surface& surface, ReportSide& side) {
    side.classes = s.classes;
    side.reference[0] = first;
    side.reference[1] = second;
    side.reference[2] = third;
    side.referenceAngle = angle;
    side.triangles.clear();
    // The measures are packed: one per kept (not discarded) list entry.
    std::size_t kept = 0;
    for (const Triangle& t : surface.triangles) {
        if (t.v[0] == -1 || kept >= surface.areas.size()) continue;
        side.triangles.push_back(ReportTriangle{{t.v[0], t.v[1], t.v[2]}, surface.areas[kept],
                                                surface.centroids[kept], surface.normals[kept]});
        ++kept;
    }
}

// Reference frame and triangulation of one subunit whose interface atoms are
// points[0..n-1]. 0, or the failure code. `side`, when given, receives the
// frame and the kept triangles.
int triangulateSubunit(const std::vector<InterfacePoint>& points, SubunitInterface& s,
                       FrameTables& tables, Surface& surface, ReportSide* side,
                       std::FILE* console) {
    finishCentroids(s);
    const ClassCentroids& c = s.classes;
    int first = 100, second = 100, third = 100;  // 100: no slot found
    const float angle = getPoints(0, c.x, c.y, c.z, c.count, first, second, third);
    if (first == 100 || second == 100 || third == 100 || angle == 0.0f) return kNoFrame;

    preprocess(points, tables.frame, s.n, c.x, c.y, c.z, first, second, third);
    const int kept = delaunayMain(points, tables.frame, tables.scratch, s.n, surface.triangles,
                                  surface.areas, surface.centroids, surface.normals,
                                  side ? &side->winner : nullptr, console);
    if (kept < 0) return kGridOverfull;
    if (kept == 0) return kNoSurface;
    surface.count = kept;
    if (side) recordSurface(s, first, second, third, angle, surface, *side);
    return 0;
}

// findneighbour on an area file of the workspace, on its lines when it
// holds them; one that cannot be opened adds nothing.
void findneighbourIn(Workspace& files, std::FILE* out, const char* asaName,
                     const std::vector<InterfacePoint>& points, int n,
                     std::vector<PackingAtom>* selected) {
    if (const std::vector<asa::HeldLine>* lines = files.areas(asaName)) {
        findneighbour(out, *lines, points, n, kNeighbourCutoffSq, selected);
        return;
    }
    File asa(files.open(asaName, "r"));
    if (asa) findneighbour(out, asa.get(), points, n, kNeighbourCutoffSq, selected);
}

const char* messageFor(int code) {
    return code == kGridOverfull ? nullptr : kTooSmall;
}

}  // namespace

int SC_P(std::vector<InterfacePoint>& points, ScoreSet& scores, const AnalysisRun& run,
         AnalysisRecord& record) {
    Streams streams;
    InterfaceReport* report = record.report;  // the caller's, kept across the reset
    record = AnalysisRecord{};
    record.report = report;
    if (report) *report = InterfaceReport{};
    ReportSide* sideA = report ? &report->sides[0] : nullptr;
    ReportSide* sideB = report ? &report->sides[1] : nullptr;
    std::vector<PackingAtom>* packingAtoms = report ? &report->packing : nullptr;

    // A failing run stops the call at once; the later runs are not made.
    // The control files of kControlFiles 1-3 and their logs.
    // A log that told of success is read no more (nor the structure, which
    // the engine step lets go of).
    static const char* const kLogs[3] = {"Complex.log", "ComplexA.log", "ComplexB.log"};
    for (int i = 0; i < 3; ++i) {
        if (!run.engine.run(kControlFiles[i + 1], kLogs[i])) {
            record.failedLog = kLogs[i];
            return fail(streams, run, record, kEngineFailed, kEngineProblem);
        }
        run.files.release(kLogs[i]);
    }

    // The engine in this process leaves the area files as their lines: then
    // no text is read. (Each stays valid until its file is released.)
    const std::vector<asa::HeldLine>* linesA = run.files.areas("ComplexA.asa");
    const std::vector<asa::HeldLine>* linesB = run.files.areas("ComplexB.asa");
    const std::vector<asa::HeldLine>* linesComplex = run.files.areas("Complex.asa");
    const bool asLines = linesA && linesB && linesComplex;
    std::size_t complexAt = 0;  // the complex's next line, read as lines
    // All four opens are attempted before any is tested.
    if (!asLines) {
        streams.asaA.reset(run.files.open("ComplexA.asa", "r"));
        streams.asaB.reset(run.files.open("ComplexB.asa", "r"));
        streams.asaComplex.reset(run.files.open("Complex.asa", "r"));
    }
    streams.packing.reset(run.files.open("ComplexP.pdb", "w"));
    if ((!asLines && (!streams.asaA || !streams.asaB || !streams.asaComplex)) || !streams.packing)
        return fail(streams, run, record, kCannotOpen, nullptr);

    FrameTables tables;
    Surface surfaceA, surfaceB;
    SubunitInterface s;

    // Subunit A: the first lines of Complex.asa.
    if ((asLines ? readInterfaceAtoms(*linesA, *linesComplex, complexAt, points, s,
                                      sideA ? &sideA->atoms : nullptr)
                 : readInterfaceAtoms(streams.asaA.get(), streams.asaComplex.get(), points, s,
                                      sideA ? &sideA->atoms : nullptr)) != 0)
        return fail(streams, run, record, kMismatchedRecords, nullptr);
    streams.asaA.reset();
    int total = s.n;
    scores.buriedAreaA = s.buriedArea;
    if (sideA) sideA->buriedArea = s.buriedArea;
    record.interfaceAtomsA = s.n;
    record.buriedA = true;
    if (s.n < kMinAtoms || s.buriedArea < kMinBuriedArea)
        return fail(streams, run, record, kTooSmallInterface, kTooSmall);
    if (const int code = triangulateSubunit(points, s, tables, surfaceA, sideA, run.console);
        code != 0)
        return fail(streams, run, record, code, messageFor(code));
    record.trianglesA = surfaceA.count;
    findneighbourIn(run.files, streams.packing.get(), "ComplexA.asa", points, s.n, packingAtoms);
    run.files.release("ComplexA.asa");

    // Subunit B: the complex lines that follow A's.
    if ((asLines ? readInterfaceAtoms(*linesB, *linesComplex, complexAt, points, s,
                                      sideB ? &sideB->atoms : nullptr)
                 : readInterfaceAtoms(streams.asaB.get(), streams.asaComplex.get(), points, s,
                                      sideB ? &sideB->atoms : nullptr)) != 0)
        return fail(streams, run, record, kMismatchedRecords, nullptr);
    streams.asaB.reset();
    streams.asaComplex.reset();
    run.files.release("Complex.asa");
    total += s.n;
    scores.buriedAreaB = s.buriedArea;
    if (sideB) sideB->buriedArea = s.buriedArea;
    record.interfaceAtomsB = s.n;
    record.buriedB = true;
    if (s.n < kMinAtoms || s.buriedArea < kMinBuriedArea)
        return fail(streams, run, record, kTooSmallInterface, kTooSmall);
    if (const int code = triangulateSubunit(points, s, tables, surfaceB, sideB, run.console);
        code != 0)
        return fail(streams, run, record, code, messageFor(code));
    record.trianglesB = surfaceB.count;
    findneighbourIn(run.files, streams.packing.get(), "ComplexB.asa", points, s.n, packingAtoms);
    run.files.release("ComplexB.asa");

    // The packing run reads ComplexP.pdb, so it must be complete on disk
    // first; a file that could not be written whole would give a wrong KAV.
    std::FILE* packing = streams.packing.release();
    const bool packingWritten = !std::ferror(packing);
    if (std::fclose(packing) != 0 || !packingWritten)
        return fail(streams, run, record, kCannotOpen, nullptr);
    scores.packingSum = computepack(run.engine, run.files, run.console);
    scores.complementaritySum =
        Sscore(surfaceA.centroids, surfaceA.normals, surfaceA.areas, surfaceA.count,
               surfaceB.centroids, surfaceB.normals, kPairDistanceSq, kPairCosine,
               scores.buriedAreaA, surfaceB.areas, surfaceB.count,
               report ? &report->pairsAB : nullptr, report ? &report->pairsBA : nullptr);
    record.sums = true;
    return total;
}
