#include "model/TModel.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <future>
#include <limits>
#include <memory>
#include <span>
#include <system_error>
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
//    errors start from the prefix sum of the reference over the dead time;
//  - every squared error term is >= 0, so a dead time whose error sum (or the
//    reference's squares before it, where its sum starts) already reaches the
//    best sum so far cannot win: its simulation stops there. Only a strictly
//    smaller error replaces the best, so the earliest dead time still wins a
//    tie, and the fits of the neighbours the candidate stage needs are
//    computed even where their errors were not;
//  - before the input's first nonzero sample the sums gain nothing but zeros
//    and the simulated models stay at exactly 0, so both start there.
// The fit sums and errors of the shared procedures are plain double sums in
// sample order, so every lane reproduces them exactly. Where the shortcuts
// would not hold (an output that is not finite, or dead times that do not map
// one to one onto samples), the scan falls back to the step-by-step form.
//
// The later stages filter the three candidates with their own parameters;
// those filter passes do not depend on each other and run side by side, each
// with the same arithmetic as FirstOrderResponse. The inner and the outer
// process share nothing but the read-only WindowY and are identified on two
// threads once the window is long enough to repay starting one.

namespace halvetra {

namespace {

using Signal = std::span<const double>;
using View = std::span<double>;

// ---------------------------------------------------------------------------
// Vector kernels, one set per instruction set, chosen at run time.

// W doubles in one native vector register.
template <int W>
struct NativeVector;
template <>
struct NativeVector<2> {
    typedef double Type __attribute__((vector_size(16)));
};
template <>
struct NativeVector<4> {
    typedef double Type __attribute__((vector_size(32)));
};
template <>
struct NativeVector<8> {
    typedef double Type __attribute__((vector_size(64)));
};
template <int W>
using Vec = typename NativeVector<W>::Type;

// The two sums of a block of dead times d0 .. d0 + W V - 1 that pair the
// delayed filtered input with the filtered output: lane l adds
// xf0[t - l] * zfd[t + d0] and xf0[t - l] * zf[t + d0] for t = 0 .. n - 1 - d0,
// where reversed[n - 1 - t + l] = xf0[t - l] (0 before the first sample).
// xf0 is 0 before sample `first`: those terms are zeros (the output is
// finite), and adding them to a sum that is still +0 leaves it +0, so the
// sums start there.
template <int W, int V>
[[gnu::always_inline]] inline void CorrelateImpl(const double* reversed, const double* zf, const double* zfd, int n,
                                                 int d0, int first, double* sxd, double* sxz) {
    using B = Vec<W>;
    B accD[V];
    B accZ[V];
    for (int v = 0; v < V; ++v) {
        accD[v] = B{};
        accZ[v] = B{};
    }
    for (int t = first; t <= n - 1 - d0; ++t) {
        const double* xf = reversed + (n - 1 - t);
        const double d = zfd[t + d0];
        const double z = zf[t + d0];
#pragma GCC unroll 8
        for (int v = 0; v < V; ++v) {
            B x;
            std::memcpy(&x, xf + v * W, sizeof x);
            accD[v] += x * d;
            accZ[v] += x * z;
        }
    }
    std::memcpy(sxd, accD, sizeof accD);
    std::memcpy(sxz, accZ, sizeof accZ);
}

// Simulates the models of a block of dead times d0 .. d0 + W V - 1 (gain
// k[l], filter coefficient c[l]) with the raw input, each lane in its own time
// from its dead time on, and adds their squared errors against the reference
// to sums[l], which start with the reference's squares before the lane's dead
// time. Lane l runs for t = 0 .. n - 1 - d0 - l. A lane whose sum reaches
// `bound` cannot win; once every lane has, the block stops early. Returns the
// lanes whose sums reached the bound (all of them after an early stop): the
// sums of the others are complete. A bound that is not a number stops nothing.
template <int W, int V>
[[gnu::always_inline]] inline std::uint64_t SimulateImpl(const double* x, const double* r, int n, int d0, double ts,
                                                         const double* k, const double* c, double* sums, double bound) {
    using B = Vec<W>;
    constexpr int L = W * V;
    constexpr int CheckEvery = 32;
    B K[V], C[V], acc[V], out[V], der[V], lane[V];
    std::memcpy(K, k, sizeof K);
    std::memcpy(C, c, sizeof C);
    std::memcpy(acc, sums, sizeof acc);
    double laneNumbers[L];
    for (int l = 0; l < L; ++l) laneNumbers[l] = l;
    std::memcpy(lane, laneNumbers, sizeof lane);
    for (int v = 0; v < V; ++v) {
        out[v] = B{};
        der[v] = C[v] * (K[v] * x[0] - out[v]);
    }
    const double* rr = r + d0;
    auto step = [&](int t) {
#pragma GCC unroll 8
        for (int v = 0; v < V; ++v) {
            out[v] = out[v] + ts * der[v];
            der[v] = C[v] * (K[v] * x[t] - out[v]);
            B ref;
            std::memcpy(&ref, rr + t + v * W, sizeof ref);
            const B e = ref - out[v];
            acc[v] += e * e;
        }
    };
    // Lanes still running at step t: l <= n - 1 - d0 - t.
    auto maskedStep = [&](int t) {
        const double lastLane = n - 1 - d0 - t;
#pragma GCC unroll 8
        for (int v = 0; v < V; ++v) {
            if (t > 0) {
                out[v] = out[v] + ts * der[v];
                der[v] = C[v] * (K[v] * x[t] - out[v]);
            }
            B ref;
            std::memcpy(&ref, rr + t + v * W, sizeof ref);
            const B e = ref - out[v];
            acc[v] += (lane[v] <= lastLane) ? e * e : B{};
        }
    };
    auto reached = [&]() -> std::uint64_t {
        double a[L];
        std::memcpy(a, acc, sizeof a);
        std::uint64_t bits = 0;
        for (int l = 0; l < L; ++l)
            if (a[l] >= bound) bits |= std::uint64_t{1} << l;
        return bits;
    };
    constexpr std::uint64_t all = L == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << L) - 1;

    const int steps = n - 1 - d0;      // lane 0's last step
    const int full = steps - (L - 1);  // the last step every lane takes
    int t = 0;
    if (full >= 0) {
        // Step 0 only compares the reference with the initial output.
#pragma GCC unroll 8
        for (int v = 0; v < V; ++v) {
            B ref;
            std::memcpy(&ref, rr + v * W, sizeof ref);
            const B e = ref - out[v];
            acc[v] += e * e;
        }
        t = 1;
        if (bound == bound) {
            while (t <= full) {
                if (reached() == all) return all;
                const int end = std::min(full, t + CheckEvery - 1);
                for (; t <= end; ++t) step(t);
            }
        } else {
            for (; t <= full; ++t) step(t);
        }
    }
    for (; t <= steps; ++t) maskedStep(t);
    std::memcpy(sums, acc, sizeof acc);
    return reached();
}

using CorrelateFn = void (*)(const double*, const double*, const double*, int, int, int, double*, double*);
using SimulateFn = std::uint64_t (*)(const double*, const double*, int, int, double, const double*, const double*,
                                     double*, double);

struct KernelSet {
    int lanes;  // dead times per block
    CorrelateFn correlate;
    SimulateFn simulate;
};

// Four native vectors per block: enough independent chains to hide the
// latency of the simulation's recursion, few enough to stay in registers
// (three with the baseline set's 16 registers; measured, three to six are
// alike there, as are three and four with AVX2).
#define HALVETRA_KERNELS(NAME, TARGET, W, V)                                                                           \
    TARGET void Correlate##NAME(const double* reversed, const double* zf, const double* zfd, int n, int d0, int first, \
                                double* sxd, double* sxz) {                                                            \
        CorrelateImpl<W, V>(reversed, zf, zfd, n, d0, first, sxd, sxz);                                                \
    }                                                                                                                  \
    TARGET std::uint64_t Simulate##NAME(const double* x, const double* r, int n, int d0, double ts, const double* k,   \
                                        const double* c, double* sums, double bound) {                                 \
        return SimulateImpl<W, V>(x, r, n, d0, ts, k, c, sums, bound);                                                 \
    }                                                                                                                  \
    constexpr KernelSet NAME##Kernels{W * V, Correlate##NAME, Simulate##NAME};

HALVETRA_KERNELS(Baseline, , 2, 3)
#if defined(__x86_64__)
HALVETRA_KERNELS(Avx2, __attribute__((target("avx2"))), 4, 4)
HALVETRA_KERNELS(Avx512, __attribute__((target("avx512f"))), 8, 4)
#endif
#undef HALVETRA_KERNELS

constexpr int MaxLanes = 32;

VectorKernels Supported() {
#if defined(__x86_64__)
    static const VectorKernels supported = [] {
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx512f")) return VectorKernels::Avx512;
        if (__builtin_cpu_supports("avx2")) return VectorKernels::Avx2;
        return VectorKernels::Baseline;
    }();
    return supported;
#else
    return VectorKernels::Baseline;
#endif
}

std::atomic<int> pinnedKernels{-1};

const KernelSet& Kernels() {
    const int pinned = pinnedKernels.load(std::memory_order_relaxed);
    const VectorKernels use = pinned < 0 ? Supported() : static_cast<VectorKernels>(pinned);
#if defined(__x86_64__)
    if (use == VectorKernels::Avx512) return Avx512Kernels;
    if (use == VectorKernels::Avx2) return Avx2Kernels;
#endif
    (void)use;
    return BaselineKernels;
}

// ---------------------------------------------------------------------------

struct FitResult {
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

// Sum of (a - b)^2 over the first n samples in sample order: the sum that
// MeanSquaredError divides by n.
double SquaredErrorSum(Signal a, Signal b, int n) {
    double s = 0.0;
    for (int k = 0; k < n; ++k) {
        const double d = a[k] - b[k];
        s += d * d;
    }
    return s;
}

// The best dead time of a scan so far: its error, the error sum before the
// division by n, and the dead time in samples (-1: none of this scan yet).
struct Best {
    double e = 0.0;
    double sum = 0.0;
    int d = -1;
};

struct Candidate {
    int d = 0;
    FitResult fit;
};

// One filter pass F(in; gain, T, d Ts) over samples 1 .. n from 0; an empty
// y or yd is not kept.
struct Pass {
    Signal in;
    double gain;
    double timeConstant;
    int deadTime;  // in sampling times
    View y;
    View yd;
};

// Filter passes prepared for running side by side: y[d + t] and yd[d + t]
// at each pass's own time t.
struct Chain {
    const double* in;
    double gain;
    double c;
    int d;
    double* y;
    double* yd;
};

// The recursion of FirstOrderResponse for N chains at once, each in its own
// time; the shortest sets the common length, the rest finish alone.
// A chain whose y or yd is null does not store it.
template <int N>
void RunChains(const Chain* chains, int n, double ts) {
    const double* in[N];
    double gain[N], c[N], y[N], der[N];
    double* yo[N];
    double* ydo[N];
    int common = n;
    for (int f = 0; f < N; ++f) {
        in[f] = chains[f].in;
        gain[f] = chains[f].gain;
        c[f] = chains[f].c;
        yo[f] = chains[f].y ? chains[f].y + chains[f].d : nullptr;
        ydo[f] = chains[f].yd ? chains[f].yd + chains[f].d : nullptr;
        common = std::min(common, n - chains[f].d);
        y[f] = 0.0;
        der[f] = c[f] * (gain[f] * in[f][0] - y[f]);
        if (yo[f]) yo[f][0] = y[f];
        if (ydo[f]) ydo[f][0] = der[f];
    }
    for (int t = 1; t < common; ++t) {
#pragma GCC unroll 8
        for (int f = 0; f < N; ++f) {
            y[f] = y[f] + ts * der[f];
            der[f] = c[f] * (gain[f] * in[f][t] - y[f]);
            if (yo[f]) yo[f][t] = y[f];
            if (ydo[f]) ydo[f][t] = der[f];
        }
    }
    for (int f = 0; f < N; ++f) {
        double yf = y[f], df = der[f];
        for (int t = common; t < n - chains[f].d; ++t) {
            yf = yf + ts * df;
            df = c[f] * (gain[f] * in[f][t] - yf);
            if (yo[f]) yo[f][t] = yf;
            if (ydo[f]) ydo[f][t] = df;
        }
    }
}

class Identification {
public:
    // The working signals share one block of memory; every sample is written
    // before it is read, so the block is not cleared.
    Identification(int n, double ts) : n_(n), ts_(ts), kernels_(Kernels()) {
        const std::size_t size = static_cast<std::size_t>(std::max(n, 1)) + 2 * MaxLanes + 2;
        View* views[] = {&zf_,         &zfd_,        &xf_,          &sink_,        &reversed_,    &paddedR_,
                         &prefixX_,    &prefixR_,    &work_[0].xf,  &work_[0].zf,  &work_[0].zfd, &work_[0].s,
                         &work_[0].wd, &work_[1].xf, &work_[1].zf,  &work_[1].zfd, &work_[1].s,   &work_[1].wd,
                         &work_[2].xf, &work_[2].zf, &work_[2].zfd, &work_[2].s,   &work_[2].wd};
        storage_.reset(new double[std::size(views) * size]);
        for (std::size_t i = 0; i < std::size(views); ++i) *views[i] = View(storage_.get() + i * size, size);
        fits_.assign(static_cast<std::size_t>(std::max(n, 3)) + MaxLanes + 2, FitResult{});
    }

    ModelParameters Identify(Signal x, Signal z, View r, View response, double tf) {
        x_ = x;
        z_ = z;
        r_ = r;
        std::fill(fits_.begin(), fits_.end(), FitResult{});

        // The filtered output, the reference (the output one sample late,
        // from 0) and the undelayed filtered input of scan 1.
        {
            Pass passes[] = {{z, 1.0, tf, 0, zf_, zfd_}, {z, 1.0, 0.0, 0, r, {}}, {x, 1.0, tf, 0, xf_, {}}};
            Filters(passes);
        }
        Best best = Scan(tf, nullptr);
        FitResult bestFit = fits_[best.d];
        Candidate candidates[3];
        CandidatesFrom(best.d, candidates);

        // Scan 2 with the filter retuned; it only matters where it beats scan 1.
        if (n_ >= 4 && best.e == best.e) {
            Pass passes[] = {{z, 1.0, bestFit.T, 0, zf_, zfd_}, {x, 1.0, bestFit.T, 0, xf_, {}}};
            Filters(passes);
            const Best second = Scan(bestFit.T, &best);
            if (second.d >= 0 && second.e < best.e) {
                best = second;
                bestFit = fits_[best.d];
                CandidatesFrom(best.d, candidates);
            }
        }
        int bestD = best.d;

        // Refit of the three candidates with their own time constants.
        {
            Pass passes[6];
            for (int c = 0; c < 3; ++c) {
                Work& w = work_[c];
                passes[2 * c] = {x, 1.0, candidates[c].fit.T, candidates[c].d, w.xf, {}};
                passes[2 * c + 1] = {z, 1.0, candidates[c].fit.T, 0, w.zf, w.zfd};
            }
            Filters(passes);
        }
        FitResult refit[3];
        for (int c = 0; c < 3; ++c) refit[c] = FitLeastSquares(work_[c]);
        double errors[3];
        Score(refit, candidates, errors);
        int smallest = Smallest(errors);
        if (errors[smallest] < best.e) {
            best.e = errors[smallest];
            bestFit = refit[smallest];
            bestD = candidates[smallest].d;
            for (int c = 0; c < 3; ++c) candidates[c].fit = refit[c];
        }

        // Two instrumental-variable iterations for each candidate.
        FitResult polished[3];
        for (int c = 0; c < 3; ++c) polished[c] = {candidates[c].fit.K, candidates[c].fit.T, 0, 0};
        for (int iteration = 0; iteration < 2; ++iteration) {
            Pass passes[9];
            for (int c = 0; c < 3; ++c) {
                Work& w = work_[c];
                const FitResult& f = polished[c];
                const int d = candidates[c].d;
                passes[3 * c] = {x, f.K, f.T, d, w.s, {}};
                passes[3 * c + 1] = {x, 1.0, f.T, d, w.xf, {}};
                passes[3 * c + 2] = {z, 1.0, f.T, 0, w.zf, w.zfd};
            }
            Filters(passes);
            // Only the instrument's derivative estimate is used.
            Pass instruments[3];
            for (int c = 0; c < 3; ++c) instruments[c] = {work_[c].s, 1.0, polished[c].T, 0, {}, work_[c].wd};
            Filters(instruments);
            for (int c = 0; c < 3; ++c) polished[c] = FitInstrumental(work_[c]);
        }
        Score(polished, candidates, errors);
        smallest = Smallest(errors);
        if (errors[smallest] < best.e) {
            bestFit = polished[smallest];
            bestD = candidates[smallest].d;
        }

        Filter(x, bestFit.K, bestFit.T, bestD, response, sink_);
        ModelParameters m;
        m.Std = std::sqrt(DifferenceVariance(response, r, 1, n_));
        const double v = PopulationVariance(r, 1, n_);
        m.RelativeError = v == 0.0 ? 1.0 : std::sqrt(MeanSquaredError(r, response, 1, n_) / v);
        m.Gain = bestFit.K;
        m.TimeConstant = bestFit.T;
        m.DeadTime = bestD * ts_;
        m.GainDeviation = bestFit.cK * m.Std;
        m.TimeConstantDeviation = bestFit.cT * m.Std;
        return m;
    }

private:
    // The working signals of one candidate: filtered input, filtered output
    // and its derivative estimate, simulated response, the instrument's
    // derivative estimate.
    struct Work {
        View xf, zf, zfd, s, wd;
    };

    // F(v; K, T, d Ts) over samples 1 .. n from 0.
    void Filter(Signal v, double K, double T, int d, View y, View yd) const {
        FirstOrderResponse(1, n_, v, K, T, ts_, 0.0, d * ts_, y, yd);
    }

    // The passes as FirstOrderResponse computes them, side by side.
    template <std::size_t Count>
    void Filters(Pass (&passes)[Count]) const {
        const double g = SafeDivide(1.0, ts_, 1.0);
        Chain chains[Count];
        int count = 0;
        for (const Pass& p : passes) {
            const int d = Samples(p.deadTime);
            for (int k = 0; k < d; ++k) {
                if (!p.y.empty()) p.y[k] = 0.0;
                if (!p.yd.empty()) p.yd[k] = 0.0;
            }
            if (d >= n_) continue;
            const double alpha = p.timeConstant > 0.01 * ts_ ? std::exp(-SafeDivide(ts_, p.timeConstant, 100.0)) : 0.0;
            chains[count++] = {p.in.data(),
                               p.gain,
                               (1.0 - alpha) * g,
                               d,
                               p.y.empty() ? nullptr : p.y.data(),
                               p.yd.empty() ? nullptr : p.yd.data()};
        }
        for (int first = 0; first < count;) {
            const int group = std::min(count - first, 9);
            RunGroup(chains + first, group);
            first += group;
        }
    }

    void RunGroup(const Chain* chains, int group) const {
        switch (group) {
        case 1: RunChains<1>(chains, n_, ts_); break;
        case 2: RunChains<2>(chains, n_, ts_); break;
        case 3: RunChains<3>(chains, n_, ts_); break;
        case 4: RunChains<4>(chains, n_, ts_); break;
        case 5: RunChains<5>(chains, n_, ts_); break;
        case 6: RunChains<6>(chains, n_, ts_); break;
        case 7: RunChains<7>(chains, n_, ts_); break;
        case 8: RunChains<8>(chains, n_, ts_); break;
        default: RunChains<9>(chains, n_, ts_); break;
        }
    }

    FitResult FitLeastSquares(const Work& w) const {
        double m11, m12, m21, m22, b1, b2;
        LeastSquaresMatrix(w.xf, w.zfd, n_, m11, m12, m21, m22);
        LeastSquaresRightSide(w.xf, w.zfd, w.zf, n_, b1, b2);
        return Solve(m11, m12, m21, m22, b1, b2);
    }

    FitResult FitInstrumental(const Work& w) const {
        double m11, m12, m21, m22, b1, b2;
        InstrumentalMatrix(w.xf, w.zfd, w.wd, n_, m11, m12, m21, m22);
        LeastSquaresRightSide(w.xf, w.wd, w.zf, n_, b1, b2);
        return Solve(m11, m12, m21, m22, b1, b2);
    }

    // The errors of the three candidates' models, simulated side by side.
    void Score(const FitResult (&fits)[3], const Candidate (&candidates)[3], double (&errors)[3]) {
        Pass passes[3];
        for (int c = 0; c < 3; ++c) passes[c] = {x_, fits[c].K, fits[c].T, candidates[c].d, work_[c].s, {}};
        Filters(passes);
        for (int c = 0; c < 3; ++c) errors[c] = MeanSquaredError(r_, work_[c].s, 1, n_);
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
        // With a normal positive sampling time and no overflow, d Ts / Ts is d
        // within a few units in the last place for every d < 5000: each dead
        // time is its own number of samples without checking them one by one.
        if (ts_ > 0 && std::isnormal(ts_) && std::isfinite((n_ - 2) * ts_)) return true;
        for (int d = 0; d <= n_ - 2; ++d)
            if (Samples(d) != d) return false;
        return true;
    }

    // Takes dead time d with error sum `sum` into the running search of the
    // smallest error over dead times 0 .. n - 3 (earliest on a tie). Scan 1
    // starts from dead time 0's error; scan 2 from scan 1's best, and a scan 2
    // whose error at dead time 0 is not a number finds nothing, as its own
    // search would have kept that error as its minimum.
    void Offer(Best& best, int d, double sum, bool& ended) const {
        if (ended || d > n_ - 3) return;
        const double e = SafeDivide(sum, n_, sum);
        if (d == 0 && best.d < 0 && !(e == e)) {
            if (!first_)
                ended = true;
            else
                best = {e, sum, 0};
            return;
        }
        if ((first_ && d == 0) || e < best.e) best = {e, sum, d};
    }

    // Scan over dead times 0 .. n - 2 with the filter time constant tau; zf_
    // and zfd_ hold the output and xf_ the input, filtered with tau. Fills
    // fits_ wherever the candidate stage can read it and returns the best of
    // the scan: scan 1 (previous null) searches dead times 0 .. n - 3 from
    // dead time 0 on (dead time 0 with error 0 when n <= 3); scan 2 returns a
    // dead time only where its error is strictly below previous->e.
    Best Scan(double tau, const Best* previous) {
        first_ = previous == nullptr;
        Best best = first_ ? Best{} : *previous;
        if (!first_) best.d = -1;
        bool ended = false;
        if (n_ < 2) return first_ ? Best{0.0, 0.0, 0} : best;
        const bool search = n_ >= 4;

        if (!ShortcutsHold()) {
            for (int d = 0; d <= n_ - 2; ++d) {
                Filter(x_, 1.0, tau, d, xf_, sink_);
                double m11, m12, m21, m22, b1, b2;
                LeastSquaresMatrix(xf_, zfd_, n_, m11, m12, m21, m22);
                LeastSquaresRightSide(xf_, zfd_, zf_, n_, b1, b2);
                const FitResult f = Solve(m11, m12, m21, m22, b1, b2);
                fits_[d] = f;
                if (search) {
                    Filter(x_, f.K, f.T, d, work_[0].s, sink_);
                    Offer(best, d, SquaredErrorSum(r_, work_[0].s, n_), ended);
                }
            }
            if (!search) return Best{0.0, 0.0, 0};
            return best;
        }

        const int n = n_;
        const Signal r = r_;
        const int lanes = kernels_.lanes;
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

        // The sums that do not depend on the dead time.
        double sdd = 0.0;
        double sdz = 0.0;
        for (int k = 0; k < n; ++k) {
            sdd += zfd_[k] * zfd_[k];
            sdz += zfd_[k] * zf_[k];
        }
        const double g = SafeDivide(1.0, ts_, 1.0);
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();

        // The input before its first nonzero sample, and so the filtered
        // input before its own, are exact zeros.
        int firstX = 0;
        while (firstX < n && x_[firstX] == 0.0) ++firstX;
        int firstXf = 0;
        while (firstXf < n && xf_[firstXf] == 0.0) ++firstXf;

        auto correlate = [&](int d0) {
            kernels_.correlate(reversed_.data(), zf_.data(), zfd_.data(), n, d0, firstXf, sxd_, sxz_);
            for (int l = 0; l < lanes && d0 + l <= n - 2; ++l) {
                const int d = d0 + l;
                fits_[d] = Solve(prefixX_[n - d], -sxd_[l], -sxd_[l], sdd, sxz_[l], -sdz);
            }
        };

        int d0 = 0;
        for (; d0 <= n - 2 && !ended; d0 += lanes) {
            // Dead time 0's error starts each search, whatever it is: the
            // first block runs without a bound.
            const double bound = d0 == 0 ? nan : best.sum;
            if (d0 > 0 && prefixR_[d0] >= bound) break;  // sums only grow with d
            correlate(d0);
            if (!search) continue;
            // While the input is 0, a model with finite gain and coefficient
            // stays at exactly +0 and its error terms are the reference's
            // squares: each lane starts where the input does, at own time
            // `skip`, its sum the reference's squares before that.
            bool finite = std::isfinite(ts_);
            for (int l = 0; l < lanes; ++l) {
                const int d = d0 + l;
                if (d > n - 3) {  // not searched: nothing to wait for
                    laneK_[l] = laneC_[l] = 0.0;
                    continue;
                }
                const FitResult& f = fits_[d];
                const double alpha = f.T > 0.01 * ts_ ? std::exp(-SafeDivide(ts_, f.T, 100.0)) : 0.0;
                laneK_[l] = f.K;
                laneC_[l] = (1.0 - alpha) * g;
                finite = finite && std::isfinite(laneK_[l]) && std::isfinite(laneC_[l]);
            }
            const int skip = finite ? std::min(firstX, n - 1 - d0) : 0;
            for (int l = 0; l < lanes; ++l) {
                const int d = d0 + l;
                laneSum_[l] = d > n - 3 ? inf : prefixR_[std::min(d + skip, n)];
            }
            const std::uint64_t reached = kernels_.simulate(x_.data() + skip, paddedR_.data() + skip, n - skip, d0, ts_,
                                                            laneK_, laneC_, laneSum_, bound);
            for (int l = 0; l < lanes; ++l)
                if (!(reached >> l & 1)) Offer(best, d0 + l, laneSum_[l], ended);
        }
        if (!search) return Best{0.0, 0.0, 0};
        // The candidate stage reads the fit one past the best.
        if (best.d >= 0 && best.d + 1 >= d0 && best.d + 1 <= n - 2) correlate(best.d + 1);
        return ended ? Best{best.e, best.sum, -1} : best;
    }

    // Dead times max(b - 1, 0), b and b + 1 around the best dead time b with
    // their fits.
    void CandidatesFrom(int b, Candidate (&candidates)[3]) const {
        const int d[3] = {std::max(b - 1, 0), b, b + 1};
        for (int c = 0; c < 3; ++c) candidates[c] = {d[c], fits_[d[c]]};
    }

    static int Smallest(const double (&errors)[3]) {
        int smallest = 0;
        for (int c = 1; c < 3; ++c)
            if (errors[c] < errors[smallest]) smallest = c;
        return smallest;
    }

    const int n_;
    const double ts_;
    const KernelSet& kernels_;
    Signal x_, z_;
    View r_;
    bool first_ = true;
    std::unique_ptr<double[]> storage_;
    // Output, filtered output and its derivative estimate, filtered input,
    // where the derivative estimates that are never read go, and the scan's
    // reversed input, padded reference and prefix sums.
    View zf_, zfd_, xf_, sink_, reversed_, paddedR_, prefixX_, prefixR_;
    Work work_[3];
    double laneK_[MaxLanes] = {}, laneC_[MaxLanes] = {}, laneSum_[MaxLanes] = {}, sxd_[MaxLanes] = {},
           sxz_[MaxLanes] = {};
    std::vector<FitResult> fits_;
};

// Below this many samples a second thread costs more than it saves.
constexpr int ParallelFrom = 1500;

}  // namespace

VectorKernels SupportedVectorKernels() { return Supported(); }

void PinVectorKernels(VectorKernels kernels) {
    pinnedKernels.store(static_cast<int>(std::min(kernels, Supported())), std::memory_order_relaxed);
}

void TModel::Identify(IdentificationWindow& window, int n, double ts, double tf) {
    if (n < 1 || n > MaxSamples) throw ListIndexError(n);
    auto inner = [&] {
        return Identification(n, ts).Identify(window.WindowU, window.WindowY, window.InnerReference,
                                              window.InnerResponse, tf);
    };
    auto outer = [&] {
        return Identification(n, ts).Identify(window.WindowY, window.WindowY2, window.OuterReference,
                                              window.OuterResponse, tf);
    };
    std::future<ModelParameters> outerModel;
    if (n >= ParallelFrom) {
        try {
            outerModel = std::async(std::launch::async, outer);
        } catch (const std::system_error&) {
            // No thread to be had: both on this one.
        }
    }
    Inner = inner();
    Outer = outerModel.valid() ? outerModel.get() : outer();
}

}  // namespace halvetra
