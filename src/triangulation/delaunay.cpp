#include "triangulation/delaunay.h"

#include <cmath>
#include <cstdio>
#include <new>
#include <utility>

Circle circleThrough(double x1, double y1, double x2, double y2, double x3, double y3) {
    Circle c;
    if (std::fabs(y1 - y2) < kCircleTolerance && std::fabs(y2 - y3) < kCircleTolerance) return c;

    if (std::fabs(y2 - y1) < kCircleTolerance) {
        const double m2 = -(x3 - x2) / (y3 - y2);
        const double mx2 = (x2 + x3) / 2.0;
        const double my2 = (y2 + y3) / 2.0;
        c.xc = (x2 + x1) / 2.0;
        c.yc = m2 * (c.xc - mx2) + my2;
    } else if (std::fabs(y3 - y2) < kCircleTolerance) {
        const double m1 = -(x2 - x1) / (y2 - y1);
        const double mx1 = (x1 + x2) / 2.0;
        const double my1 = (y1 + y2) / 2.0;
        c.xc = (x3 + x2) / 2.0;
        c.yc = m1 * (c.xc - mx1) + my1;
    } else {
        // Edge 3-1 is never tested for being horizontal.
        const double m1 = -(x2 - x1) / (y2 - y1);
        const double m2 = -(x3 - x2) / (y3 - y2);
        const double mx1 = (x1 + x2) / 2.0;
        const double mx2 = (x2 + x3) / 2.0;
        const double my1 = (y1 + y2) / 2.0;
        const double my2 = (y2 + y3) / 2.0;
        c.xc = (m1 * mx1 - m2 * mx2 + my2 - my1) / (m1 - m2);
        c.yc = m1 * (c.xc - mx1) + my1;
    }
    const double dx = x2 - c.xc;
    const double dy = y2 - c.yc;
    c.rsqr = dx * dx + dy * dy;
    c.r = std::sqrt(c.rsqr);
    c.exists = true;
    return c;
}

bool insideCircle(const Circle& c, double xp, double yp) {
    const double dx = xp - c.xc;
    const double dy = yp - c.yc;
    const double drsqr = dx * dx + dy * dy;
    return drsqr <= c.rsqr;
}

int CircumCircle(double& xc, double& yc, double& r, double xp, double yp, double x1, double y1,
                 double x2, double y2, double x3, double y3) {
    const Circle c = circleThrough(x1, y1, x2, y2, x3, y3);
    if (!c.exists) return 0;
    xc = c.xc;
    yc = c.yc;
    r = c.r;
    return insideCircle(c, xp, yp) ? 1 : 0;
}

namespace {

// Replaces entry j by the last of the n entries; the caller shrinks n.
template <typename T>
void moveLastInto(std::vector<T>& list, int j, int n) {
    list[static_cast<std::size_t>(j)] = list[static_cast<std::size_t>(n - 1)];
}

// What Triangulate keeps beside each triangle: its completeness flag and its
// circumcircle, computed once when the triangle is made (the same values a
// call of CircumCircle per point would compute).
struct TriangleState {
    Circle circle;
    bool complete = false;
};

TriangleState stateOf(const Triangle& t, const std::vector<FramePoint>& points) {
    const FramePoint& p1 = points[static_cast<std::size_t>(t.v[0])];
    const FramePoint& p2 = points[static_cast<std::size_t>(t.v[1])];
    const FramePoint& p3 = points[static_cast<std::size_t>(t.v[2])];
    return TriangleState{circleThrough(p1.x, p1.y, p2.x, p2.y, p3.x, p3.y), false};
}

// Kept from one call to the next, one set a thread: a grid's walks make
// many small triangulations, which then allocate nothing once the first
// of their size is made. Only entries written in a call are read in it.
struct TriangulateWork {
    std::vector<TriangleState> state;
    std::vector<Edge> edges;
    std::vector<Triangle> triangles;  // mytri's
};
thread_local TriangulateWork work;

}  // namespace

int Triangulate(int nv, std::vector<FramePoint>& points, std::vector<Triangle>& triangles,
                int& ntri) {
    if (nv <= 0) {
        ntri = 0;
        return kTriangulateOk;
    }
    const int capacity = 4 * nv;

    std::vector<TriangleState>& state = work.state;
    std::vector<Edge>& edges = work.edges;
    try {
        if (state.size() < static_cast<std::size_t>(capacity))
            state.resize(static_cast<std::size_t>(capacity));
    } catch (const std::bad_alloc&) {
        return kNoFlagMemory;
    }
    try {
        edges.clear();
        edges.reserve(200);
        if (points.size() < static_cast<std::size_t>(nv) + 3) points.resize(static_cast<std::size_t>(nv) + 3);
        if (triangles.size() < static_cast<std::size_t>(capacity)) triangles.resize(static_cast<std::size_t>(capacity));
    } catch (const std::bad_alloc&) {
        return kNoEdgeMemory;
    }

    double xmin = points[0].x;
    double xmax = xmin;
    double ymin = points[0].y;
    double ymax = ymin;
    for (int i = 1; i < nv; ++i) {
        const FramePoint& p = points[static_cast<std::size_t>(i)];
        if (p.x < xmin) xmin = p.x;
        if (p.x > xmax) xmax = p.x;
        if (p.y < ymin) ymin = p.y;
        if (p.y > ymax) ymax = p.y;
    }
    const double dx = xmax - xmin;
    const double dy = ymax - ymin;
    const double dmax = dx > dy ? dx : dy;
    const double xmid = (xmax + xmin) / 2.0;
    const double ymid = (ymax + ymin) / 2.0;

    // The auxiliary triangle; its vertices' `index` fields are not written.
    FramePoint* aux = &points[static_cast<std::size_t>(nv)];
    aux[0].x = xmid - 20.0 * dmax;
    aux[0].y = ymid - dmax;
    aux[0].z = 0.0;
    aux[1].x = xmid;
    aux[1].y = ymid + 20.0 * dmax;
    aux[1].z = 0.0;
    aux[2].x = xmid + 20.0 * dmax;
    aux[2].y = ymid - dmax;
    aux[2].z = 0.0;

    triangles[0] = Triangle{{nv, nv + 1, nv + 2}};
    state[0] = stateOf(triangles[0], points);
    ntri = 1;

    for (int i = 0; i < nv; ++i) {
        const double xp = points[static_cast<std::size_t>(i)].x;
        const double yp = points[static_cast<std::size_t>(i)].y;
        edges.clear();

        for (int j = 0; j < ntri;) {
            TriangleState& st = state[static_cast<std::size_t>(j)];
            if (st.complete) {
                ++j;
                continue;
            }
            // A triangle without a circle is never complete and holds no
            // point. Otherwise: its circle ends left of this point and of
            // every later one.
            const Circle& c = st.circle;
            if (c.exists && xp > c.xc + c.r) st.complete = true;
            if (!c.exists || !insideCircle(c, xp, yp)) {
                ++j;
                continue;
            }
            const Triangle& t = triangles[static_cast<std::size_t>(j)];
            try {
                edges.push_back(Edge{t.v[0], t.v[1]});
                edges.push_back(Edge{t.v[1], t.v[2]});
                edges.push_back(Edge{t.v[2], t.v[0]});
            } catch (const std::bad_alloc&) {
                return kEdgeGrowthFailed;
            }
            moveLastInto(triangles, j, ntri);
            moveLastInto(state, j, ntri);
            --ntri;
        }

        // An edge shared by two removed triangles is inside the hole: each
        // edge, in order, goes with the first later one still there that
        // runs the other way or the same way. (Vertices are never negative:
        // an edge gone matches none still there, so once gone it is done.)
        const std::size_t ne = edges.size();
        for (std::size_t j = 0; j + 1 < ne; ++j) {
            Edge& a = edges[j];
            if (a.start < 0) continue;
            for (std::size_t k = j + 1; k < ne; ++k) {
                Edge& b = edges[k];
                if ((a.start == b.end && a.end == b.start) || (a.start == b.start && a.end == b.end)) {
                    a = b = Edge{-1, -1};
                    break;
                }
            }
        }

        for (const Edge& e : edges) {
            if (e.start < 0 || e.end < 0) continue;
            if (ntri >= capacity) return kTooManyTriangles;
            triangles[static_cast<std::size_t>(ntri)] = Triangle{{e.start, e.end, i}};
            state[static_cast<std::size_t>(ntri)] = stateOf(triangles[static_cast<std::size_t>(ntri)], points);
            ++ntri;
        }
    }

    for (int j = 0; j < ntri;) {
        const Triangle& t = triangles[static_cast<std::size_t>(j)];
        if (t.v[0] >= nv || t.v[1] >= nv || t.v[2] >= nv) {
            moveLastInto(triangles, j, ntri);
            --ntri;
        } else {
            ++j;
        }
    }
    return kTriangulateOk;
}

int mytri(int nTriIn, std::vector<FramePoint>& points, int nv, std::vector<Triangle>& out,
          std::FILE* console) {
    if (3 * nv >= kMytriLimit) {
        std::fprintf(console, "\nIn my tri ... nv=%d", nv);
        return nTriIn;
    }
    if (nv <= 0) return nTriIn;

    // Exchange sort by ascending x; its treatment of equal x values decides
    // the insertion order, so it is kept as it is.
    for (int p = 0; p < nv; ++p) {
        for (int q = p + 1; q < nv; ++q) {
            FramePoint& a = points[static_cast<std::size_t>(p)];
            FramePoint& b = points[static_cast<std::size_t>(q)];
            if (a.x > b.x) std::swap(a, b);
        }
    }

    std::vector<Triangle>& local = work.triangles;
    int count = 0;
    const int status = Triangulate(nv, points, local, count);
    // An incomplete list may still hold auxiliary vertices: append nothing.
    if (status != kTriangulateOk) return nTriIn;

    const std::size_t need = static_cast<std::size_t>(nTriIn) + static_cast<std::size_t>(count);
    if (out.size() < need) out.resize(need);
    for (int k = 0; k < count; ++k) {
        const Triangle& t = local[static_cast<std::size_t>(k)];
        out[static_cast<std::size_t>(nTriIn + k)] =
            Triangle{{points[static_cast<std::size_t>(t.v[0])].index,
                      points[static_cast<std::size_t>(t.v[1])].index,
                      points[static_cast<std::size_t>(t.v[2])].index}};
    }
    return nTriIn + count;
}
