// Triangulation benchmark: time of delaunayMain (median of several runs) on
// realistic interface points of real two-chain structures, and its growth
// with the number of points on synthetic patches.
//
// Interface points are built here, without the surface-area engine: the
// heavy atoms of each of the first two chains (first model, first altloc)
// within 5 A of the other chain, moved into a simple interface frame (origin
// at the interface centroid, z from subunit A's interface centroid towards
// B's). Usage: triangulation_bench [--runs N] [structure.pdb ...]
#include "triangulation/grid.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <time.h>

namespace {

// CPU time of this process: on a shared machine it is steadier than the
// wall clock, and delaunayMain does nothing but compute.
double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return 1e3 * static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_nsec);
}

struct Atom {
    float x, y, z;
};

struct Chains {
    std::vector<Atom> a, b;
};

// The first two chains of the first model: ATOM records, hydrogens and
// second altlocs left out.
Chains readFirstTwoChains(const std::string& path) {
    std::ifstream in(path);
    Chains c;
    std::string line;
    char first = 0, second = 0;
    bool haveFirst = false, haveSecond = false;
    while (std::getline(in, line)) {
        if (line.rfind("ENDMDL", 0) == 0) break;
        if (line.rfind("ATOM  ", 0) != 0 || line.size() < 54) continue;
        const char alt = line[16];
        if (alt != ' ' && alt != 'A') continue;
        const std::string element = line.size() >= 78 ? line.substr(76, 2) : "";
        if (element == " H" || element == " D" || (element.find_first_not_of(' ') == std::string::npos && line[13] == 'H'))
            continue;
        const char chain = line[21];
        if (!haveFirst) {
            first = chain;
            haveFirst = true;
        } else if (!haveSecond && chain != first) {
            second = chain;
            haveSecond = true;
        }
        const Atom atom{std::stof(line.substr(30, 8)), std::stof(line.substr(38, 8)),
                        std::stof(line.substr(46, 8))};
        if (chain == first) c.a.push_back(atom);
        else if (haveSecond && chain == second) c.b.push_back(atom);
    }
    return c;
}

std::vector<InterfacePoint> contacts(const std::vector<Atom>& mine, const std::vector<Atom>& other) {
    std::vector<InterfacePoint> out;
    for (const Atom& p : mine) {
        for (const Atom& q : other) {
            const float dx = p.x - q.x, dy = p.y - q.y, dz = p.z - q.z;
            if (dx * dx + dy * dy + dz * dz <= 25.0f) {
                out.push_back(InterfacePoint{p.x, p.y, p.z});
                break;
            }
        }
    }
    return out;
}

struct Vec {
    double x, y, z;
};

Vec centroid(const std::vector<InterfacePoint>& p) {
    Vec c{0, 0, 0};
    for (const InterfacePoint& q : p) c = {c.x + q.x, c.y + q.y, c.z + q.z};
    const double n = p.empty() ? 1.0 : static_cast<double>(p.size());
    return {c.x / n, c.y / n, c.z / n};
}

Vec unit(Vec v) {
    const double l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return {v.x / l, v.y / l, v.z / l};
}

Vec cross(Vec a, Vec b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

std::vector<FramePoint> toFrame(const std::vector<InterfacePoint>& p, Vec origin, Vec ez) {
    const Vec helper = std::fabs(ez.x) < 0.9 ? Vec{1, 0, 0} : Vec{0, 1, 0};
    const Vec ex = unit(cross(helper, ez));
    const Vec ey = cross(ez, ex);
    std::vector<FramePoint> f;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const Vec d{p[i].x - origin.x, p[i].y - origin.y, p[i].z - origin.z};
        f.push_back(FramePoint{d.x * ex.x + d.y * ex.y + d.z * ex.z,
                               d.x * ey.x + d.y * ey.y + d.z * ey.z,
                               d.x * ez.x + d.y * ez.y + d.z * ez.z, static_cast<int>(i)});
    }
    return f;
}

struct Timing {
    double medianMs = 0.0;
    int result = 0;
    double area = 0.0;
};

Timing timeDelaunay(const std::vector<InterfacePoint>& points, const std::vector<FramePoint>& frame,
                    int runs) {
    std::vector<double> ms;
    Timing t;
    std::vector<FramePoint> scratch;
    std::vector<Triangle> triangles;
    std::vector<float> areas;
    std::vector<Vector3> centroids, normals;
    for (int r = 0; r < runs; ++r) {
        const double start = cpuMs();
        t.result = delaunayMain(points, frame, scratch, static_cast<int>(points.size()), triangles,
                                areas, centroids, normals);
        ms.push_back(cpuMs() - start);
    }
    std::sort(ms.begin(), ms.end());
    t.medianMs = ms[ms.size() / 2];
    t.area = 0.0;
    for (float a : areas) t.area += a;
    return t;
}

// Points about an atom apart (>= 1.5 A) on a gently curved square patch.
std::vector<InterfacePoint> syntheticPatch(int count, unsigned seed) {
    const double side = std::sqrt(count * 4.0);  // about 4 A² a point
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, side);
    std::vector<InterfacePoint> pts;
    const int cells = static_cast<int>(side / 1.5) + 1;
    std::vector<std::vector<int>> bins(static_cast<std::size_t>(cells * cells));
    for (int tries = 0; static_cast<int>(pts.size()) < count && tries < 100 * count; ++tries) {
        const double x = u(rng), y = u(rng);
        const double z = 2.0 * std::sin(x / 5.0) + 1.5 * std::cos(y / 6.0);
        const int cx = static_cast<int>(x / 1.5), cy = static_cast<int>(y / 1.5);
        bool clear = true;
        for (int i = std::max(0, cx - 1); i <= std::min(cells - 1, cx + 1) && clear; ++i)
            for (int j = std::max(0, cy - 1); j <= std::min(cells - 1, cy + 1) && clear; ++j)
                for (int q : bins[static_cast<std::size_t>(i * cells + j)]) {
                    const double dx = pts[q].x - x, dy = pts[q].y - y, dz = pts[q].z - z;
                    if (dx * dx + dy * dy + dz * dz < 2.25) clear = false;
                }
        if (!clear) continue;
        bins[static_cast<std::size_t>(cx * cells + cy)].push_back(static_cast<int>(pts.size()));
        pts.push_back(InterfacePoint{static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)});
    }
    return pts;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 7;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
        else files.push_back(arg);
    }
#ifdef KAVZUR_SHARED_PDB
    if (files.empty()) {
        for (const char* name : {"1a0q", "1ake", "1hpv", "1tii", "1ycr", "2jo4", "2xhe", "3aid",
                                 "3al1", "3ub5", "4ake", "4hhb", "4jsv", "7ddo"})
            files.push_back(std::string(KAVZUR_SHARED_PDB) + "/" + name + ".pdb");
    }
#endif

    std::printf("delaunayMain on interface points (heavy atoms within 5 A of the other chain), "
                "CPU ms, median of %d runs\n",
                runs);
    std::printf("%-12s %6s %9s %8s %10s   %6s %9s %8s %10s\n", "structure", "n A", "ms A",
                "kept A", "area A", "n B", "ms B", "kept B", "area B");
    for (const std::string& path : files) {
        const Chains c = readFirstTwoChains(path);
        if (c.a.empty() || c.b.empty()) {
            std::printf("%-12s no two chains\n", path.substr(path.find_last_of('/') + 1).c_str());
            continue;
        }
        const std::vector<InterfacePoint> pa = contacts(c.a, c.b);
        const std::vector<InterfacePoint> pb = contacts(c.b, c.a);
        const Vec ca = centroid(pa), cb = centroid(pb);
        const Vec origin{(ca.x + cb.x) / 2, (ca.y + cb.y) / 2, (ca.z + cb.z) / 2};
        const Vec ez = unit({cb.x - ca.x, cb.y - ca.y, cb.z - ca.z});
        const Timing ta = timeDelaunay(pa, toFrame(pa, origin, ez), runs);
        const Timing tb = timeDelaunay(pb, toFrame(pb, origin, ez), runs);
        std::printf("%-12s %6zu %9.3f %8d %10.1f   %6zu %9.3f %8d %10.1f\n",
                    path.substr(path.find_last_of('/') + 1).c_str(), pa.size(), ta.medianMs,
                    ta.result, ta.area, pb.size(), tb.medianMs, tb.result, tb.area);
    }

    std::printf("\nGrowth with n: synthetic curved patches, about 4 A² a point, CPU ms, median of %d runs\n",
                runs);
    std::printf("%7s %10s %10s %8s\n", "n", "ms", "us/point", "kept");
    for (int n : {100, 200, 400, 800, 1600, 3200, 6400}) {
        const std::vector<InterfacePoint> p = syntheticPatch(n, 17);
        std::vector<FramePoint> frame;
        for (std::size_t i = 0; i < p.size(); ++i)
            frame.push_back(FramePoint{p[i].x, p[i].y, p[i].z, static_cast<int>(i)});
        const Timing t = timeDelaunay(p, frame, runs);
        std::printf("%7zu %10.3f %10.2f %8d\n", p.size(), t.medianMs, 1000.0 * t.medianMs / static_cast<double>(p.size()), t.result);
    }
    return 0;
}
