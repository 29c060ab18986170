// The triangulated surfaces of real structures and the triangulation's share
// of a structure's time. For each structure, in a fresh working directory:
//   1. a whole kav_zur run on it alone (runBatch with SC_P), timed, the
//      median of several runs;
//   2. a run whose analysis first takes both subunits' interface points and
//      frames as SC_P does, times delaunayMain on them (median of the same
//      number of calls) and notes the surfaces, then hands over to SC_P.
// Prints, per subunit: interface atoms, buried area, kept triangles, their
// total area and the delaunayMain time; then the share of the whole run.
//
// Usage: triangulation_surfaces [--runs N] <structure dir> <engine dir> <name>...
#include "common/text_file.h"
#include "driver/batch.h"
#include "analysis/engine_program.h"
#include "interface/frame.h"
#include "interface/interface_atoms.h"
#include "interface/pipeline.h"
#include "analysis/engine_link.h"
#include "triangulation/grid.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct SubunitSurface {
    int atoms = 0;
    float buried = 0.0f;
    int kept = 0;  // delaunayMain's result (negative: overfull cell)
    double area = 0.0;
    double medianMs = 0.0;
    bool framed = false;  // a reference triple was found
};

// What the collecting analysis notes for the structure at hand; the
// analysis is a plain function pointer, so it reports through here.
struct Collected {
    int runs = 5;
    bool ok = false;
    SubunitSurface sub[2];
};
Collected collected;

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// CPU time of this process alone.
double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return 1e3 * static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_nsec);
}

// CPU time of this process and of its ended children (the engine runs):
// on a shared machine a steadier measure of a run than the wall clock.
double cpuWithChildrenMs() {
    double ms = 0.0;
    for (const int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage u{};
        getrusage(who, &u);
        ms += 1e3 * static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
              1e-3 * static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
    }
    return ms;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// Frame and triangulation of one subunit as SC_P makes them, timed.
void triangulateTimed(std::vector<InterfacePoint>& points, SubunitInterface& s,
                      SubunitSurface& out) {
    out.atoms = s.n;
    out.buried = s.buriedArea;
    finishCentroids(s);
    int first = 100, second = 100, third = 100;
    const ClassCentroids& c = s.classes;
    if (getPoints(0, c.x, c.y, c.z, c.count, first, second, third) == 0.0f) return;
    out.framed = true;
    std::vector<FramePoint> frame, scratch;
    preprocess(points, frame, s.n, c.x, c.y, c.z, first, second, third);

    std::vector<Triangle> triangles;
    std::vector<float> areas;
    std::vector<Vector3> centroids, normals;
    std::vector<double> ms;
    for (int r = 0; r < collected.runs; ++r) {
        const double start = cpuMs();
        out.kept = delaunayMain(points, frame, scratch, s.n, triangles, areas, centroids, normals);
        ms.push_back(cpuMs() - start);
    }
    out.medianMs = median(ms);
    out.area = 0.0;
    for (float a : areas) out.area += a;
}

int collectThenScore(std::vector<InterfacePoint>& points, ScoreSet& scores,
                     const std::string& naccessDir) {
    collected.ok = false;
    if (runEngine(naccessDir, "Complex_accall.input", "Complex.log") &&
        runEngine(naccessDir, "ComplexA_accall.input", "ComplexA.log") &&
        runEngine(naccessDir, "ComplexB_accall.input", "ComplexB.log")) {
        File asaA = openFile("ComplexA.asa", "r");
        File asaB = openFile("ComplexB.asa", "r");
        File asaComplex = openFile("Complex.asa", "r");
        SubunitInterface s;
        if (asaA && asaB && asaComplex &&
            readInterfaceAtoms(asaA.get(), asaComplex.get(), points, s) == 0) {
            triangulateTimed(points, s, collected.sub[0]);
            if (readInterfaceAtoms(asaB.get(), asaComplex.get(), points, s) == 0) {
                triangulateTimed(points, s, collected.sub[1]);
                collected.ok = true;
            }
        }
    }
    return SC_P(points, scores, naccessDir);
}

int runOnce(const std::string& structureDir, const std::string& engineDir, Analysis analyse) {
    std::string a0 = "kav_zur", a1 = structureDir, a2 = engineDir;
    char* argv[] = {a0.data(), a1.data(), a2.data(), nullptr};
    return runBatch(3, argv, analyse);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) collected.runs = std::max(1, std::atoi(argv[++i]));
        else args.push_back(arg);
    }
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: triangulation_surfaces [--runs N] <structure dir> <engine dir> <name>...\n");
        return 2;
    }
    const std::string structureDir = fs::absolute(args[0]).string();
    const std::string engineDir = fs::absolute(args[1]).string();
    const fs::path home = fs::current_path();
    const fs::path work = fs::temp_directory_path() / ("tri_surfaces_" + std::to_string(::getpid()));

    std::string table;
    char line[512];
    for (std::size_t k = 2; k < args.size(); ++k) {
        fs::remove_all(work);
        fs::create_directories(work);
        fs::current_path(work);
        std::ofstream(work / "pdblist") << args[k] << "\n";

        std::vector<double> wall, cpu;
        for (int r = 0; r < collected.runs; ++r) {
            const auto start = std::chrono::steady_clock::now();
            const double cpuStart = cpuWithChildrenMs();
            runOnce(structureDir, engineDir, SC_P);
            wall.push_back(msSince(start));
            cpu.push_back(cpuWithChildrenMs() - cpuStart);
        }
        collected.sub[0] = collected.sub[1] = SubunitSurface{};
        runOnce(structureDir, engineDir, collectThenScore);
        std::fflush(stdout);
        fs::current_path(home);

        const SubunitSurface& a = collected.sub[0];
        const SubunitSurface& b = collected.sub[1];
        const double wallMs = median(wall);
        const double cpuRunMs = median(cpu);
        std::snprintf(line, sizeof line,
                      "%-10s %5d %8.1f %6d %8.1f %7.2f | %5d %8.1f %6d %8.1f %7.2f | %8.1f %8.1f %6.2f%%%s%s%s\n",
                      args[k].c_str(), a.atoms, a.buried, a.kept, a.area, a.medianMs, b.atoms,
                      b.buried, b.kept, b.area, b.medianMs, wallMs, cpuRunMs,
                      cpuRunMs > 0.0 ? 100.0 * (a.medianMs + b.medianMs) / cpuRunMs : 0.0,
                      collected.ok ? "" : "  (no interface read)",
                      collected.ok && !a.framed ? "  (A: no frame)" : "",
                      collected.ok && !b.framed ? "  (B: no frame)" : "");
        table += line;
    }
    fs::remove_all(work);

    std::printf("\n\nTriangulated surfaces, medians of %d runs. ms: CPU time of delaunayMain; "
                "run: the structure's whole run, wall and CPU ms (engine runs included);\n"
                "share: both delaunayMain calls / the run's CPU time\n",
                collected.runs);
    std::printf("%-10s %5s %8s %6s %8s %7s | %5s %8s %6s %8s %7s | %8s %8s %7s\n", "structure",
                "n A", "buried", "kept", "area", "ms", "n B", "buried", "kept", "area", "ms",
                "run wall", "run cpu", "share");
    std::printf("%s", table.c_str());
    return 0;
}
