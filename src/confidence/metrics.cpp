#include "confidence/metrics.h"

#include <algorithm>
#include <cmath>

namespace {

double tmTerm(double pae, double d0) {
    const double r = pae / d0;
    return 1.0 / (1.0 + r * r);
}

double distance(const ConfidenceResidue& p, const ConfidenceResidue& q) {
    const double dx = p.x - q.x, dy = p.y - q.y, dz = p.z - q.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

double mean(const std::vector<double>& values) {
    if (values.empty()) return 0.0;
    double sum = 0.0;
    for (double v : values) sum += v;
    return sum / static_cast<double>(values.size());
}

// How many distinct residue numbers the marked residues hold (two residues
// may share one, told apart by an insertion code).
int distinctNumbers(const std::vector<ConfidenceResidue>& residues,
                    const std::vector<char>& marked) {
    std::vector<int> numbers;
    for (std::size_t i = 0; i < residues.size(); ++i)
        if (marked[i]) numbers.push_back(residues[i].number);
    std::sort(numbers.begin(), numbers.end());
    return static_cast<int>(std::unique(numbers.begin(), numbers.end()) - numbers.begin());
}

}  // namespace

double confidenceD0(int length, double floor) {
    const double l = std::max(length, 27);
    return std::max(floor, 1.24 * std::pow(l - 15.0, 1.0 / 3.0) - 1.8);
}

ConfidenceRow directionRow(const std::vector<ConfidenceResidue>& a,
                           const std::vector<ConfidenceResidue>& b, const PaeMatrix& pae,
                           bool nucleic, const ConfidenceCutoffs& cutoffs) {
    ConfidenceRow row;
    const double floor = nucleic ? 2.0 : 1.0;
    row.n0chn = static_cast<int>(a.size() + b.size());
    row.d0chn = confidenceD0(row.n0chn, floor);

    // One pass over the pairs for every sum and mark below; each sum is
    // taken in the order i, then j.
    // The residue numbers with a partner under the PAE cut-off (I1, I2) and
    // also within the distance cut-off (J1, J2): residues are marked, and
    // their distinct numbers counted once.
    std::vector<char> i1(a.size(), 0), i2(b.size(), 0), j1(a.size(), 0), j2(b.size(), 0);
    // The partners of residue i under the PAE cut-off are partners[first[i],
    // first[i + 1]), each with its TM term at d0chn (taken once, used twice).
    // Room is reserved for every pair (up to 64 MB): only what is used is
    // touched, and nothing is copied as it grows (a fresh worker's first
    // rows touched four times the memory, at a page fault a page).
    struct Partner {
        std::size_t j;
        double tmChn;
    };
    std::vector<Partner> partners;
    partners.reserve(std::min(a.size() * b.size(), std::size_t(1) << 22));
    std::vector<std::size_t> first(a.size() + 1, 0);
    // The mean TM term of each aligned residue over every partner, d0chn.
    std::vector<double> iptmOf(a.size(), 0.0);
    // The 8 A contact set of pDockQ and pDockQ2 (no PAE condition), LIS over
    // the pairs with PAE at most 12, ipae over every pair both ways.
    std::vector<char> inA(a.size(), 0), inB(b.size(), 0);  // in a contact
    double tmSum = 0.0, lisSum = 0.0, forward = 0.0, backward = 0.0;
    int contacts = 0, lisCount = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        double all = 0.0;
        first[i] = partners.size();
        for (std::size_t j = 0; j < b.size(); ++j) {
            const double p = pae.at(a[i].token, b[j].token);
            const double d = distance(a[i], b[j]);
            const double tmChn = tmTerm(p, row.d0chn);
            if (p < cutoffs.pae) {
                partners.push_back({j, tmChn});
                i1[i] = i2[j] = 1;
                if (d < cutoffs.distance) j1[i] = j2[j] = 1;
            }
            all += tmChn;
            forward += p;
            backward += pae.at(b[j].token, a[i].token);
            if (p <= 12.0) {
                lisSum += (12.0 - p) / 12.0;
                ++lisCount;
            }
            if (d <= 8.0) {
                ++contacts;
                tmSum += tmTerm(p, 10.0);
                inA[i] = inB[j] = 1;
            }
        }
        iptmOf[i] = b.empty() ? 0.0 : all / static_cast<double>(b.size());
    }
    first[a.size()] = partners.size();
    row.nres1 = distinctNumbers(a, i1);
    row.nres2 = distinctNumbers(b, i2);
    row.n0dom = row.nres1 + row.nres2;
    row.d0dom = confidenceD0(row.n0dom, floor);
    row.dist1 = distinctNumbers(a, j1);
    row.dist2 = distinctNumbers(b, j2);

    // Per aligned residue: the mean TM term over its valid partners with
    // the three d0s. The first residue that reaches a maximum gives it
    // (n0res, d0res of ipSAE).
    std::vector<double> positive;
    row.d0res = confidenceD0(0, floor);
    for (std::size_t i = 0; i < a.size(); ++i) {
        row.iptmD0chn = i == 0 ? iptmOf[i] : std::max(row.iptmD0chn, iptmOf[i]);
        const std::size_t count = first[i + 1] - first[i];
        if (count == 0) continue;
        const int n0res = static_cast<int>(count);
        const double d0res = confidenceD0(n0res, floor);
        double chn = 0.0, dom = 0.0, res = 0.0;
        for (std::size_t k = first[i]; k < first[i + 1]; ++k) {
            const double p = pae.at(a[i].token, b[partners[k].j].token);
            chn += partners[k].tmChn;
            dom += tmTerm(p, row.d0dom);
            res += tmTerm(p, d0res);
        }
        const double n = static_cast<double>(count);
        row.ipsaeD0chn = std::max(row.ipsaeD0chn, chn / n);
        row.ipsaeD0dom = std::max(row.ipsaeD0dom, dom / n);
        if (res / n > row.ipsae) {
            row.ipsae = res / n;
            row.n0res = n0res;
            row.d0res = d0res;
        }
        if (res / n > 0.0) positive.push_back(res / n);
    }
    row.ipsaeAvg = mean(positive);
    row.ipsaeMin = positive.empty() ? 0.0 : *std::min_element(positive.begin(), positive.end());

    const double pairs = static_cast<double>(a.size() * b.size());
    row.ipae = pairs > 0 ? 0.5 * (forward / pairs + backward / pairs) : 0.0;
    row.lis = lisCount > 0 ? lisSum / lisCount : 0.0;
    row.contacts = contacts;
    if (contacts > 0) {
        double plddt = 0.0, contactPlddt = 0.0;
        std::size_t marked = 0;
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (!inA[i]) continue;
            plddt += a[i].plddt;
            contactPlddt += a[i].contactPlddt;
            ++marked;
        }
        for (std::size_t j = 0; j < b.size(); ++j) {
            if (!inB[j]) continue;
            plddt += b[j].plddt;
            contactPlddt += b[j].contactPlddt;
            ++marked;
        }
        const double n = static_cast<double>(marked);
        row.interfacePlddt = plddt / n;
        const double meanPlddt = contactPlddt / n;
        const double x = meanPlddt * std::log10(static_cast<double>(contacts));
        row.pdockq = 0.724 / (1.0 + std::exp(-0.052 * (x - 152.611))) + 0.018;
        const double x2 = meanPlddt * (tmSum / contacts);
        row.pdockq2 = 1.31 / (1.0 + std::exp(-0.075 * (x2 - 84.733))) + 0.005;
    }
    return row;
}

ConfidenceRow combinedRow(const ConfidenceRow& x, const ConfidenceRow& y) {
    ConfidenceRow m = x;
    const ConfidenceRow& res = y.ipsae >= x.ipsae ? y : x;
    m.ipsae = res.ipsae;
    m.n0res = res.n0res;
    m.d0res = res.d0res;
    const ConfidenceRow& dom = y.ipsaeD0dom >= x.ipsaeD0dom ? y : x;
    m.ipsaeD0dom = dom.ipsaeD0dom;
    m.n0dom = dom.n0dom;
    m.d0dom = dom.d0dom;
    m.ipsaeAvg = std::max(x.ipsaeAvg, y.ipsaeAvg);
    m.ipsaeMin = std::max(x.ipsaeMin, y.ipsaeMin);
    m.ipsaeD0chn = std::max(x.ipsaeD0chn, y.ipsaeD0chn);
    m.iptmD0chn = std::max(x.iptmD0chn, y.iptmD0chn);
    m.pdockq = y.pdockq;
    m.pdockq2 = std::max(x.pdockq2, y.pdockq2);
    m.lis = (x.lis + y.lis) / 2.0;
    m.ipae = std::max(x.ipae, y.ipae);
    m.nres1 = std::max(x.nres1, y.nres2);
    m.nres2 = std::max(x.nres2, y.nres1);
    m.dist1 = std::max(x.dist1, y.dist2);
    m.dist2 = std::max(x.dist2, y.dist1);
    m.interfacePlddt = y.interfacePlddt;
    return m;
}
