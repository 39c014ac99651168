#include "model/TModel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "data/Errors.h"
#include "data/GlobalProcedures.h"

// Identification by a state-variable-filter fit over a grid of dead times.
//
// For every whole dead time d the input and the output go through the same
// first-order filter, gain and time constant are fitted by least squares to
// the filtered equation, the fitted model is simulated with the raw input, and
// the dead time whose response has the smallest mean squared error against the
// reference wins. The filter is retuned to the fitted time constant and the
// scan repeated; the three dead times around the best are refitted and each is
// polished by two instrumental-variable iterations.
//
// A scan costs O(n^2). It is done without changing a single bit of the result
// of the step-by-step procedure:
//  - the filtered, delayed input is the undelayed filtered input shifted by d
//    samples, so it is filtered once per scan;
//  - its sum of squares over the window is a prefix sum of the undelayed one;
//  - the two sums that pair it with the filtered output are computed for a
//    block of neighbouring dead times side by side, each lane still adding its
//    terms in sample order;
//  - the simulations of a block of dead times run side by side as well, each
//    in its own time so that all lanes read the same input sample, and their
//    errors start from the prefix sum of the reference over the dead time.
// The fit sums and errors of the shared procedures are plain double sums in
// sample order, so every lane reproduces them exactly. Where the shortcuts
// would not hold (an output that is not finite, or dead times that do not map
// one to one onto samples), the scan falls back to the step-by-step form.

namespace halvetra {

namespace {

using Signal = std::vector<double>;

// Dead times processed side by side.
constexpr int Lanes = 16;
typedef double Block __attribute__((vector_size(Lanes * sizeof(double))));
typedef long long Mask __attribute__((vector_size(Lanes * sizeof(long long))));

Block Broadcast(double v) {
    Block b;
    for (int l = 0; l < Lanes; ++l) b[l] = v;
    return b;
}

Block Load(const double* p) {
    Block b;
    std::memcpy(&b, p, sizeof b);
    return b;
}

struct FitResult {
    double K = 0, T = 0, cK = 0, cT = 0;
};

struct Entry {
    double e = 0, K = 0, T = 0, cK = 0, cT = 0;
};

struct Candidate {
    int d = 0;
    double K = 0, T = 0, cK = 0, cT = 0;
};

// K, T and the deviation factors from the normal matrix and right side.
FitResult Solve(double m11, double m12, double m21, double m22, double b1, double b2) {
    double p11, p12, p21, p22;
    Inverse2x2(m11, m12, m21, m22, p11, p12, p21, p22);
    FitResult f{p11 * b1 + p12 * b2, p21 * b1 + p22 * b2, std::sqrt(std::abs(p11)), std::sqrt(std::abs(p22))};
    if (!(f.T >= 0)) f.T = 0;  // negative or undefined time constants are clipped
    return f;
}

// The two sums of a block of dead times d0 .. d0 + Lanes - 1 that pair the
// delayed filtered input with the filtered output: lane l adds
// xf0[t - l] * zfd[t + d0] and xf0[t - l] * zf[t + d0] for t = 0 .. n - 1 - d0,
// where reversed[n - 1 - t + l] = xf0[t - l] (0 before the first sample).
__attribute__((target_clones("avx512f", "avx2", "default")))
void CorrelateBlock(const double* reversed, const double* zf, const double* zfd, int n, int d0, double* sxd,
                    double* sxz) {
    Block accD = Broadcast(0.0);
    Block accZ = Broadcast(0.0);
    for (int t = 0; t <= n - 1 - d0; ++t) {
        const Block xf = Load(reversed + (n - 1 - t));
        accD += xf * zfd[t + d0];
        accZ += xf * zf[t + d0];
    }
    std::memcpy(sxd, &accD, sizeof accD);
    std::memcpy(sxz, &accZ, sizeof accZ);
}

// Simulates the models of a block of dead times d0 .. d0 + Lanes - 1 (gain
// k[l], filter coefficient c[l]) with the raw input, each lane in its own
// time from its dead time on, and adds their squared errors against the
// reference to sums[l], which start with the reference's squares before the
// lane's dead time. Lane l runs for t = 0 .. n - 1 - d0 - l.
__attribute__((target_clones("avx512f", "avx2", "default")))
void SimulateBlock(const double* x, const double* r, int n, int d0, double ts, const double* k, const double* c,
                   double* sums) {
    const Block K = Load(k);
    const Block C = Load(c);
    const Block Ts = Broadcast(ts);
    Block acc = Load(sums);
    Block last;  // the last t of each lane
    for (int l = 0; l < Lanes; ++l) last[l] = n - 1 - d0 - l;
    Block out = Broadcast(0.0);
    Block der = C * (K * x[0] - out);
    const int steps = n - 1 - d0;  // the longest lane's last t
    {
        const Block e = Load(r + d0) - out;
        acc += (Broadcast(0.0) <= last) ? e * e : Broadcast(0.0);
    }
    for (int t = 1; t <= steps; ++t) {
        out = out + Ts * der;
        der = C * (K * x[t] - out);
        const Block e = Load(r + d0 + t) - out;
        const Block term = e * e;
        acc += (Broadcast(static_cast<double>(t)) <= last) ? term : Broadcast(0.0);
    }
    std::memcpy(sums, &acc, sizeof acc);
}

class Identification {
public:
    Identification(int n, double ts) : n_(n), ts_(ts) {
        const std::size_t size = static_cast<std::size_t>(std::max(n, 1)) + 2 * Lanes + 2;
        for (Signal* s : {&xf_, &xfd_, &zf_, &zfd_, &s_, &w_, &wd_, &scratch_, &reversed_, &paddedR_, &paddedX_,
                          &prefixX_, &prefixR_})
            s->assign(std::max<std::size_t>(size, MaxSamples), 0.0);
        table_.assign(static_cast<std::size_t>(std::max(n, 3)) + Lanes + 2, Entry{});
        laneK_.assign(Lanes, 0.0);
        laneC_.assign(Lanes, 0.0);
        laneSum_.assign(Lanes, 0.0);
        sxd_.assign(Lanes, 0.0);
        sxz_.assign(Lanes, 0.0);
    }

    ModelParameters Identify(const Signal& x, const Signal& z, Signal& r, Signal& response, double tf) {
        x_ = &x;
        z_ = &z;
        r_ = &r;
        std::fill(table_.begin(), table_.end(), Entry{});

        Filter(z, 1.0, tf, 0, zf_, zfd_);
        Filter(z, 1.0, 0.0, 0, r, scratch_);  // the reference: the output one sample late, from 0

        Scan(tf);
        Entry best = SearchBest();
        int bestD = bestEntry_ - 1;
        Candidate candidates[3];
        CandidatesFrom(bestEntry_, candidates);

        Filter(z, 1.0, best.T, 0, zf_, zfd_);
        Scan(best.T);
        const Entry second = SearchBest();
        if (second.e < best.e) {
            best = second;
            bestD = bestEntry_ - 1;
            CandidatesFrom(bestEntry_, candidates);
        }

        // Refit of the three candidates with their own time constants.
        for (int c = 0; c < 3; ++c) {
            Filter(x, 1.0, candidates[c].T, candidates[c].d, xf_, xfd_);
            Filter(z, 1.0, candidates[c].T, 0, zf_, zfd_);
            table_[c] = Score(FitLeastSquares(), candidates[c].d);
        }
        int smallest = Smallest();
        if (table_[smallest].e < best.e) {
            best = table_[smallest];
            bestD = candidates[smallest].d;
            for (int c = 0; c < 3; ++c)
                candidates[c] = {candidates[c].d, table_[c].K, table_[c].T, table_[c].cK, table_[c].cT};
        }

        // Two instrumental-variable iterations for each candidate.
        for (int c = 0; c < 3; ++c) {
            const int d = candidates[c].d;
            FitResult f{candidates[c].K, candidates[c].T, 0, 0};
            for (int iteration = 0; iteration < 2; ++iteration) {
                Filter(x, f.K, f.T, d, s_, scratch_);
                Filter(s_, 1.0, f.T, 0, w_, wd_);
                Filter(x, 1.0, f.T, d, xf_, xfd_);
                Filter(z, 1.0, f.T, 0, zf_, zfd_);
                f = FitInstrumental();
            }
            table_[c] = Score(f, d);
        }
        smallest = Smallest();
        if (table_[smallest].e < best.e) {
            best = table_[smallest];
            bestD = candidates[smallest].d;
        }

        Filter(x, best.K, best.T, bestD, response, scratch_);
        ModelParameters m;
        m.Std = std::sqrt(DifferenceVariance(response, r, 1, n_));
        const double v = PopulationVariance(r, 1, n_);
        m.RelativeError = v == 0.0 ? 1.0 : std::sqrt(MeanSquaredError(r, response, 1, n_) / v);
        m.Gain = best.K;
        m.TimeConstant = best.T;
        m.DeadTime = bestD * ts_;
        m.GainDeviation = best.cK * m.Std;
        m.TimeConstantDeviation = best.cT * m.Std;
        return m;
    }

private:
    // F(v; K, T, d Ts) over samples 1 .. n from 0.
    void Filter(const Signal& v, double K, double T, int d, Signal& y, Signal& yd) const {
        FirstOrderResponse(1, n_, v, K, T, ts_, 0.0, d * ts_, y, yd);
    }

    FitResult FitLeastSquares() const {
        double m11, m12, m21, m22, b1, b2;
        LeastSquaresMatrix(xf_, zfd_, n_, m11, m12, m21, m22);
        LeastSquaresRightSide(xf_, zfd_, zf_, n_, b1, b2);
        return Solve(m11, m12, m21, m22, b1, b2);
    }

    FitResult FitInstrumental() const {
        double m11, m12, m21, m22, b1, b2;
        InstrumentalMatrix(xf_, zfd_, wd_, n_, m11, m12, m21, m22);
        LeastSquaresRightSide(xf_, wd_, zf_, n_, b1, b2);
        return Solve(m11, m12, m21, m22, b1, b2);
    }

    Entry Score(const FitResult& f, int d) {
        Filter(*x_, f.K, f.T, d, s_, scratch_);
        return {MeanSquaredError(*r_, s_, 1, n_), f.K, f.T, f.cK, f.cT};
    }

    // The dead time in samples that the filter makes of d sampling times.
    int Samples(int d) const {
        const double deadTime = d * ts_;
        if (!(deadTime >= 0.0)) return 0;
        const double samples = std::nearbyint(SafeDivide(deadTime, ts_, deadTime));
        if (samples >= n_) return n_;
        return samples > 0.0 ? static_cast<int>(samples) : 0;
    }

    bool ShortcutsHold() const {
        for (int k = 0; k < n_; ++k)
            if (!std::isfinite(zf_[k]) || !std::isfinite(zfd_[k])) return false;
        for (int d = 0; d <= n_ - 2; ++d)
            if (Samples(d) != d) return false;
        return true;
    }

    // Scan tables for dead times 0 .. n - 2 with the filter time constant tau;
    // zf_ and zfd_ hold the output filtered with tau.
    void Scan(double tau) {
        if (n_ < 2) return;
        if (!ShortcutsHold()) {
            for (int d = 0; d <= n_ - 2; ++d) {
                Filter(*x_, 1.0, tau, d, xf_, xfd_);
                table_[d] = Score(FitLeastSquares(), d);
            }
            return;
        }
        const int n = n_;
        const Signal& x = *x_;
        const Signal& r = *r_;

        Filter(x, 1.0, tau, 0, xf_, xfd_);  // the undelayed filtered input
        // reversed_[n - 1 - i] = xf(i); zeros beyond, for samples before the first.
        std::fill(reversed_.begin(), reversed_.end(), 0.0);
        for (int i = 0; i < n; ++i) reversed_[n - 1 - i] = xf_[i];
        // Prefix sums in sample order: prefixX_[m] = sum of xf(i)^2 for i < m,
        // prefixR_[m] = sum of r(i)^2 for i < m.
        prefixX_[0] = 0.0;
        prefixR_[0] = 0.0;
        for (int i = 0; i < n; ++i) {
            prefixX_[i + 1] = prefixX_[i] + xf_[i] * xf_[i];
            const double ri = r[i] - 0.0;
            prefixR_[i + 1] = prefixR_[i] + ri * ri;
        }
        std::fill(paddedR_.begin(), paddedR_.end(), 0.0);
        std::copy(r.begin(), r.begin() + n, paddedR_.begin());
        std::fill(paddedX_.begin(), paddedX_.end(), 0.0);
        std::copy(x.begin(), x.begin() + n, paddedX_.begin());

        // The sums that do not depend on the dead time.
        double sdd = 0.0;
        double sdz = 0.0;
        for (int k = 0; k < n; ++k) {
            sdd += zfd_[k] * zfd_[k];
            sdz += zfd_[k] * zf_[k];
        }
        const double g = SafeDivide(1.0, ts_, 1.0);

        for (int d0 = 0; d0 <= n - 2; d0 += Lanes) {
            const int lanes = std::min(Lanes, n - 1 - d0);
            CorrelateBlock(reversed_.data(), zf_.data(), zfd_.data(), n, d0, sxd_.data(), sxz_.data());
            for (int l = 0; l < Lanes; ++l) {
                if (l >= lanes) {
                    laneK_[l] = 0.0;
                    laneC_[l] = 0.0;
                    laneSum_[l] = 0.0;
                    continue;
                }
                const int d = d0 + l;
                const double sxx = prefixX_[n - d];
                const FitResult f = Solve(sxx, -sxd_[l], -sxd_[l], sdd, sxz_[l], -sdz);
                table_[d] = {0.0, f.K, f.T, f.cK, f.cT};
                const double alpha = f.T > 0.01 * ts_ ? std::exp(-SafeDivide(ts_, f.T, 100.0)) : 0.0;
                laneK_[l] = f.K;
                laneC_[l] = (1.0 - alpha) * g;
                laneSum_[l] = prefixR_[d];
            }
            SimulateBlock(paddedX_.data(), paddedR_.data(), n, d0, ts_, laneK_.data(), laneC_.data(),
                          laneSum_.data());
            for (int l = 0; l < lanes; ++l) table_[d0 + l].e = SafeDivide(laneSum_[l], n, laneSum_[l]);
        }
    }

    // The smallest error among entries 1 .. n - 2, earliest on a tie; entry 1
    // with error 0 when that range holds at most one entry.
    Entry SearchBest() {
        bestEntry_ = 1;
        double minimum = 0.0;
        if (1 < n_ - 2) {
            minimum = table_[0].e;
            for (int entry = 2; entry <= n_ - 2; ++entry) {
                const double e = table_[entry - 1].e;
                // A new maximum is never a new minimum: only the minimum matters.
                if (e < minimum) {
                    minimum = e;
                    bestEntry_ = entry;
                }
            }
        }
        Entry best = table_[bestEntry_ - 1];
        best.e = minimum;
        return best;
    }

    void CandidatesFrom(int b, Candidate (&candidates)[3]) const {
        const int entries[3] = {std::max(b - 1, 1), b, b + 1};
        for (int c = 0; c < 3; ++c) {
            const Entry& t = table_[entries[c] - 1];
            candidates[c] = {entries[c] - 1, t.K, t.T, t.cK, t.cT};
        }
    }

    int Smallest() const {
        int smallest = 0;
        for (int c = 1; c < 3; ++c)
            if (table_[c].e < table_[smallest].e) smallest = c;
        return smallest;
    }

    const int n_;
    const double ts_;
    const Signal* x_ = nullptr;
    const Signal* z_ = nullptr;
    Signal* r_ = nullptr;
    Signal xf_, xfd_, zf_, zfd_, s_, w_, wd_, scratch_, reversed_, paddedR_, paddedX_, prefixX_, prefixR_;
    Signal laneK_, laneC_, laneSum_, sxd_, sxz_;
    std::vector<Entry> table_;
    int bestEntry_ = 1;
};

}  // namespace

void TModel::Identify(IdentificationWindow& window, int n, double ts, double tf) {
    if (n < 1 || n > MaxSamples) throw ListIndexError(n);
    Identification identification(n, ts);
    Inner = identification.Identify(window.WindowU, window.WindowY, window.InnerReference, window.InnerResponse, tf);
    Outer = identification.Identify(window.WindowY, window.WindowY2, window.OuterReference, window.OuterResponse, tf);
}

}  // namespace halvetra
