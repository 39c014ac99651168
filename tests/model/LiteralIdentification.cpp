#include "model/LiteralIdentification.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "data/GlobalProcedures.h"

// Every stage written out as the identification procedure describes it: the
// scan tables, the candidate set and the current best as plain arrays and
// variables, one filtering, one fit and one simulation at a time, nothing
// shared with the fast identification but the shared numeric procedures.

namespace halvetra {

namespace {

using Signal = std::vector<double>;

struct Fit {
    double K = 0, T = 0, cK = 0, cT = 0;
};

// FitLeastSquares: regressors xf and -zf', target zf.
Fit FitLeastSquares(const Signal& xf, const Signal& zfd, const Signal& zf, int n) {
    double a11, a12, a21, a22, b1, b2, p11, p12, p21, p22;
    LeastSquaresMatrix(xf, zfd, n, a11, a12, a21, a22);
    LeastSquaresRightSide(xf, zfd, zf, n, b1, b2);
    Inverse2x2(a11, a12, a21, a22, p11, p12, p21, p22);
    return {p11 * b1 + p12 * b2, p21 * b1 + p22 * b2, std::sqrt(std::abs(p11)), std::sqrt(std::abs(p22))};
}

// FitInstrumental: instruments xf and -w', regressors xf and -zf', target zf.
Fit FitInstrumental(const Signal& xf, const Signal& zfd, const Signal& wd, const Signal& zf, int n) {
    double a11, a12, a21, a22, b1, b2, p11, p12, p21, p22;
    InstrumentalMatrix(xf, zfd, wd, n, a11, a12, a21, a22);
    LeastSquaresRightSide(xf, wd, zf, n, b1, b2);
    Inverse2x2(a11, a12, a21, a22, p11, p12, p21, p22);
    return {p11 * b1 + p12 * b2, p21 * b1 + p22 * b2, std::sqrt(std::abs(p11)), std::sqrt(std::abs(p22))};
}

// A negative time constant, or one that is not a number, becomes 0.
void ClipTimeConstant(Fit& f) {
    if (f.T < 0 || std::isnan(f.T)) f.T = 0;
}

ModelParameters IdentifyProcess(const Signal& x, const Signal& z, Signal& r, Signal& response, int n, double ts,
                                double tf) {
    // F(v; K, T, L) over samples 1 .. n from 0.
    auto F = [&](const Signal& v, double K, double T, double L, Signal& y, Signal& yd) {
        FirstOrderResponse(1, n, v, K, T, ts, 0.0, L, y, yd);
    };

    Signal xf(MaxSamples), xfd(MaxSamples), zf(MaxSamples), zfd(MaxSamples), s(MaxSamples), sd(MaxSamples),
        w(MaxSamples), wd(MaxSamples);
    // The five scan tables; entry k (from 1) for dead time k - 1 at index k - 1.
    // Entries never computed hold 0.
    Signal tableE(MaxSamples + 2), tableK(MaxSamples + 2), tableT(MaxSamples + 2), tableCK(MaxSamples + 2),
        tableCT(MaxSamples + 2);
    auto store = [&](int entry, double e, const Fit& f) {
        tableE[entry - 1] = e;
        tableK[entry - 1] = f.K;
        tableT[entry - 1] = f.T;
        tableCK[entry - 1] = f.cK;
        tableCT[entry - 1] = f.cT;
    };
    // The candidate set and the current best.
    int candD[3];
    double candK[3], candT[3], candCK[3], candCT[3];
    double bestE = 0, bestK = 0, bestT = 0, bestCK = 0, bestCT = 0;
    int bestD = 0;

    auto scan = [&](double tau) {
        for (int d = 0; d <= n - 2; ++d) {
            F(x, 1.0, tau, d * ts, xf, xfd);
            Fit f = FitLeastSquares(xf, zfd, zf, n);
            ClipTimeConstant(f);
            F(x, f.K, f.T, d * ts, s, sd);
            store(d + 1, MeanSquaredError(r, s, 1, n), f);
        }
    };
    // The smallest error among entries 1 .. n - 2: its entry and error.
    auto searchBest = [&](int& entry, double& e) {
        double maximum;
        int indexOfMaximum;
        MaxMinWithIndex(tableE, maximum, e, 1, n - 2, indexOfMaximum, entry);
    };
    auto takeBest = [&](int entry, double e) {
        bestE = e;
        bestK = tableK[entry - 1];
        bestT = tableT[entry - 1];
        bestCK = tableCK[entry - 1];
        bestCT = tableCT[entry - 1];
        bestD = entry - 1;
    };
    auto candidatesFrom = [&](int b) {
        const int entries[3] = {std::max(b - 1, 1), b, b + 1};
        for (int c = 0; c < 3; ++c) {
            const int k = entries[c] - 1;
            candD[c] = entries[c] - 1;
            candK[c] = tableK[k];
            candT[c] = tableT[k];
            candCK[c] = tableCK[k];
            candCT[c] = tableCT[k];
        }
    };
    // The entry 1 .. 3 with the smallest error, the earlier on a tie.
    auto smallestOfThree = [&] {
        int entry = 1;
        if (tableE[1] < tableE[entry - 1]) entry = 2;
        if (tableE[2] < tableE[entry - 1]) entry = 3;
        return entry;
    };

    // The filtered output and the reference.
    F(z, 1.0, tf, 0.0, zf, zfd);
    F(z, 1.0, 0.0, 0.0, r, sd);

    // Scan 1 and its best.
    scan(tf);
    int entry;
    double e;
    searchBest(entry, e);
    takeBest(entry, e);
    candidatesFrom(entry);

    // Scan 2 with the filter retuned to the best time constant.
    F(z, 1.0, bestT, 0.0, zf, zfd);
    scan(bestT);
    searchBest(entry, e);
    if (e < bestE) {
        takeBest(entry, e);
        candidatesFrom(entry);
    }

    // Candidate refit into entries 1 .. 3.
    for (int c = 0; c < 3; ++c) {
        F(x, 1.0, candT[c], candD[c] * ts, xf, xfd);
        F(z, 1.0, candT[c], 0.0, zf, zfd);
        Fit f = FitLeastSquares(xf, zfd, zf, n);
        ClipTimeConstant(f);
        F(x, f.K, f.T, candD[c] * ts, s, sd);
        store(c + 1, MeanSquaredError(r, s, 1, n), f);
    }
    entry = smallestOfThree();
    if (tableE[entry - 1] < bestE) {
        takeBest(entry, tableE[entry - 1]);
        bestD = candD[entry - 1];
        for (int c = 0; c < 3; ++c) {
            candK[c] = tableK[c];
            candT[c] = tableT[c];
            candCK[c] = tableCK[c];
            candCT[c] = tableCT[c];
        }
    }

    // Instrumental-variable polish, two iterations per candidate.
    for (int c = 0; c < 3; ++c) {
        const double L = candD[c] * ts;
        F(x, candK[c], candT[c], L, s, sd);
        F(s, 1.0, candT[c], 0.0, w, wd);
        F(x, 1.0, candT[c], L, xf, xfd);
        F(z, 1.0, candT[c], 0.0, zf, zfd);
        Fit f1 = FitInstrumental(xf, zfd, wd, zf, n);
        ClipTimeConstant(f1);
        F(x, f1.K, f1.T, L, s, sd);
        F(s, 1.0, f1.T, 0.0, w, wd);
        F(x, 1.0, f1.T, L, xf, xfd);
        F(z, 1.0, f1.T, 0.0, zf, zfd);
        Fit f2 = FitInstrumental(xf, zfd, wd, zf, n);
        ClipTimeConstant(f2);
        F(x, f2.K, f2.T, L, s, sd);
        store(c + 1, MeanSquaredError(r, s, 1, n), f2);
    }
    entry = smallestOfThree();
    if (tableE[entry - 1] < bestE) {
        takeBest(entry, tableE[entry - 1]);
        bestD = candD[entry - 1];
    }

    // The result.
    F(x, bestK, bestT, bestD * ts, response, sd);
    ModelParameters m;
    m.Std = std::sqrt(DifferenceVariance(response, r, 1, n));
    const double v = PopulationVariance(r, 1, n);
    m.RelativeError = v == 0.0 ? 1.0 : std::sqrt(MeanSquaredError(r, response, 1, n) / v);
    m.Gain = bestK;
    m.TimeConstant = bestT;
    m.DeadTime = bestD * ts;
    m.GainDeviation = bestCK * m.Std;
    m.TimeConstantDeviation = bestCT * m.Std;
    return m;
}

}  // namespace

void LiteralIdentify(TModel& model, IdentificationWindow& window, int n, double ts, double tf) {
    model.Inner =
        IdentifyProcess(window.WindowU, window.WindowY, window.InnerReference, window.InnerResponse, n, ts, tf);
    model.Outer =
        IdentifyProcess(window.WindowY, window.WindowY2, window.OuterReference, window.OuterResponse, n, ts, tf);
}

}  // namespace halvetra
