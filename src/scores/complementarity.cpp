#include "scores/complementarity.h"

#include "common/interface_record.h"

#include <algorithm>
#include <cmath>

namespace {

// Triangles larger than this never take part in pairing.
constexpr float kAreaLimit = 11.0f;
// From this buried area of subunit A on, the large triangles count in the
// surface sums too.
constexpr float kLargeInterface = 1000.0f;

// One triangulated surface as handed in, with its usable triangle count.
struct Surface {
    const std::vector<Vector3>& centroids;
    const std::vector<Vector3>& normals;
    const std::vector<float>& areas;
    int count;
};

double length(const Vector3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

// Credits every eligible triangle of `self` with the smaller of its own area
// and the summed area of its still-free partners on `other`. A partner is
// consumed by the first (lowest-numbered) triangle it matches.
float directionalTotal(const Surface& self, const Surface& other, double maxDistSq,
                       double minCos, std::vector<CreditedPair>* pairs) {
    std::vector<char> taken(static_cast<std::size_t>(other.count), 0);
    float total = 0.0f;
    for (int i = 0; i < self.count; ++i) {
        if (self.areas[i] > kAreaLimit) continue;
        const Vector3& nI = self.normals[i];
        const double lenI = length(nI);
        if (lenI == 0.0) continue;  // degenerate: searches for nothing
        const Vector3& cI = self.centroids[i];
        float partner = 0.0f;
        for (int j = 0; j < other.count; ++j) {
            if (other.areas[j] > kAreaLimit || taken[j]) continue;
            const Vector3& cJ = other.centroids[j];
            const double dx = cI.x - cJ.x;
            const double dy = cI.y - cJ.y;
            const double dz = cI.z - cJ.z;
            const double d2 = dx * dx + dy * dy + dz * dz;
            if (d2 > maxDistSq) continue;
            const Vector3& nJ = other.normals[j];
            const double lenJ = length(nJ);
            if (lenJ == 0.0) continue;
            const double cosine = (nI.x * nJ.x + nI.y * nJ.y + nI.z * nJ.z) / (lenI * lenJ);
            // Facing and parallel normals count alike.
            if (std::fabs(cosine) > minCos) {
                partner += other.areas[j];
                taken[j] = 1;
                if (pairs) pairs->push_back(CreditedPair{i, j});
            }
        }
        total += partner > self.areas[i] ? self.areas[i] : partner;
    }
    return total;
}

// The surface's area: the pairing-eligible triangles only, or all of them.
float surfaceSum(const Surface& s, bool includeLarge) {
    float sum = 0.0f;
    for (int i = 0; i < s.count; ++i) {
        if (includeLarge || s.areas[i] <= kAreaLimit) sum += s.areas[i];
    }
    return sum;
}

// Only as many triangles as all three tables hold can be read.
int usableCount(int count, const std::vector<Vector3>& centroids,
                const std::vector<Vector3>& normals, const std::vector<float>& areas) {
    const std::size_t held = std::min({centroids.size(), normals.size(), areas.size()});
    return std::clamp(count, 0, static_cast<int>(std::min<std::size_t>(held, 0x7fffffff)));
}

}  // namespace

float Sscore(const std::vector<Vector3>& centroidsA, const std::vector<Vector3>& normalsA,
             const std::vector<float>& areasA, int countA, const std::vector<Vector3>& centroidsB,
             const std::vector<Vector3>& normalsB, float maxDistSq, float minCos, float buriedA,
             const std::vector<float>& areasB, int countB, std::vector<CreditedPair>* pairsAB,
             std::vector<CreditedPair>* pairsBA) {
    const Surface a{centroidsA, normalsA, areasA, usableCount(countA, centroidsA, normalsA, areasA)};
    const Surface b{centroidsB, normalsB, areasB, usableCount(countB, centroidsB, normalsB, areasB)};

    // The thresholds are compared in double, widened from their float values.
    const double distLimit = maxDistSq;
    const double cosLimit = minCos;
    const float totalA = directionalTotal(a, b, distLimit, cosLimit, pairsAB);
    const float totalB = directionalTotal(b, a, distLimit, cosLimit, pairsBA);
    const float best = totalA > totalB ? totalA : totalB;

    const bool includeLarge = !(buriedA < kLargeInterface);
    const float sA = surfaceSum(a, includeLarge);
    const float sB = surfaceSum(b, includeLarge);
    // The larger total over the smaller surface; 0/0 stays not a number.
    return sA > sB ? best / sB : best / sA;
}
