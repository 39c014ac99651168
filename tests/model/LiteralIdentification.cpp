#include "model/LiteralIdentification.h"

#include <cmath>
#include <vector>

#include "data/GlobalProcedures.h"

namespace halvetra {

namespace {

using Signal = std::vector<double>;

struct Fit {
    double K = 0, T = 0, cK = 0, cT = 0;
};

struct Entry {
    double e = 0, K = 0, T = 0, cK = 0, cT = 0;
};

struct Candidate {
    int d = 0;
    double K = 0, T = 0, cK = 0, cT = 0;
};

class Process {
public:
    Process(const Signal& x, const Signal& z, Signal& reference, Signal& response, int n, double ts)
        : x_(x), z_(z), r_(reference), response_(response), n_(n), ts_(ts) {}

    ModelParameters Identify(double tf) {
        // Step 1: filtered output and the reference (the output one sample late).
        Filter(z_, 1.0, tf, 0, zf_, zfd_);
        Filter(z_, 1.0, 0.0, 0, r_, scratch_);

        // Scan 1.
        Scan(tf);
        Entry best = SearchBest();
        int bestD = bestEntry_ - 1;
        std::vector<Candidate> candidates = CandidatesFrom(bestEntry_);

        // Scan 2 with the filter retuned to the best time constant.
        Filter(z_, 1.0, best.T, 0, zf_, zfd_);
        Scan(best.T);
        const Entry second = SearchBest();
        if (second.e < best.e) {
            best = second;
            bestD = bestEntry_ - 1;
            candidates = CandidatesFrom(bestEntry_);
        }

        // Candidate refit.
        for (int c = 0; c < 3; ++c) {
            Filter(x_, 1.0, candidates[c].T, candidates[c].d, xf_, xfd_);
            Filter(z_, 1.0, candidates[c].T, 0, zf_, zfd_);
            Fit f = FitLeastSquares();
            if (!(f.T >= 0)) f.T = 0;
            table_[c] = Score(f, candidates[c].d);
        }
        int smallest = Smallest();
        if (table_[smallest].e < best.e) {
            best = table_[smallest];
            bestD = candidates[smallest].d;
            for (int c = 0; c < 3; ++c)
                candidates[c] = {candidates[c].d, table_[c].K, table_[c].T, table_[c].cK, table_[c].cT};
        }

        // Instrumental-variable polish.
        for (int c = 0; c < 3; ++c) {
            const int d = candidates[c].d;
            Filter(x_, candidates[c].K, candidates[c].T, d, s_, scratch_);
            Filter(s_, 1.0, candidates[c].T, 0, w_, wd_);
            Filter(x_, 1.0, candidates[c].T, d, xf_, xfd_);
            Filter(z_, 1.0, candidates[c].T, 0, zf_, zfd_);
            Fit f1 = FitInstrumental();
            if (!(f1.T >= 0)) f1.T = 0;
            Filter(x_, f1.K, f1.T, d, s_, scratch_);
            Filter(s_, 1.0, f1.T, 0, w_, wd_);
            Filter(x_, 1.0, f1.T, d, xf_, xfd_);
            Filter(z_, 1.0, f1.T, 0, zf_, zfd_);
            Fit f2 = FitInstrumental();
            if (!(f2.T >= 0)) f2.T = 0;
            table_[c] = Score(f2, d);
        }
        smallest = Smallest();
        if (table_[smallest].e < best.e) {
            best = table_[smallest];
            bestD = candidates[smallest].d;
        }

        // Result.
        Filter(x_, best.K, best.T, bestD, response_, scratch_);
        ModelParameters m;
        m.Std = std::sqrt(DifferenceVariance(response_, r_, 1, n_));
        const double v = PopulationVariance(r_, 1, n_);
        m.RelativeError = v == 0.0 ? 1.0 : std::sqrt(MeanSquaredError(r_, response_, 1, n_) / v);
        m.Gain = best.K;
        m.TimeConstant = best.T;
        m.DeadTime = bestD * ts_;
        m.GainDeviation = best.cK * m.Std;
        m.TimeConstantDeviation = best.cT * m.Std;
        return m;
    }

private:
    void Filter(const Signal& v, double K, double T, int d, Signal& y, Signal& yd) {
        FirstOrderResponse(1, n_, v, K, T, ts_, 0.0, d * ts_, y, yd);
    }

    Fit FitLeastSquares() {
        double m11, m12, m21, m22, b1, b2, p11, p12, p21, p22;
        LeastSquaresMatrix(xf_, zfd_, n_, m11, m12, m21, m22);
        LeastSquaresRightSide(xf_, zfd_, zf_, n_, b1, b2);
        Inverse2x2(m11, m12, m21, m22, p11, p12, p21, p22);
        return {p11 * b1 + p12 * b2, p21 * b1 + p22 * b2, std::sqrt(std::abs(p11)), std::sqrt(std::abs(p22))};
    }

    Fit FitInstrumental() {
        double m11, m12, m21, m22, b1, b2, p11, p12, p21, p22;
        InstrumentalMatrix(xf_, zfd_, wd_, n_, m11, m12, m21, m22);
        LeastSquaresRightSide(xf_, wd_, zf_, n_, b1, b2);
        Inverse2x2(m11, m12, m21, m22, p11, p12, p21, p22);
        return {p11 * b1 + p12 * b2, p21 * b1 + p22 * b2, std::sqrt(std::abs(p11)), std::sqrt(std::abs(p22))};
    }

    // The model of fit f at dead time d, simulated with the raw input and scored.
    Entry Score(const Fit& f, int d) {
        Filter(x_, f.K, f.T, d, s_, scratch_);
        return {MeanSquaredError(r_, s_, 1, n_), f.K, f.T, f.cK, f.cT};
    }

    void Scan(double tau) {
        for (int d = 0; d <= n_ - 2; ++d) {
            Filter(x_, 1.0, tau, d, xf_, xfd_);
            Fit f = FitLeastSquares();
            if (!(f.T >= 0)) f.T = 0;
            table_[d] = Score(f, d);
        }
    }

    // The smallest error among entries 1 .. n - 2 (earliest on a tie); entry 1
    // with error 0 when that range holds at most one entry.
    Entry SearchBest() {
        std::vector<double> errors(table_.size());
        for (std::size_t i = 0; i < table_.size(); ++i) errors[i] = table_[i].e;
        double maximum, minimum;
        int indexOfMaximum, indexOfMinimum;
        MaxMinWithIndex(errors, maximum, minimum, 1, n_ - 2, indexOfMaximum, indexOfMinimum);
        bestEntry_ = indexOfMinimum;
        Entry best = table_[bestEntry_ - 1];
        best.e = minimum;
        return best;
    }

    std::vector<Candidate> CandidatesFrom(int b) {
        std::vector<Candidate> c;
        for (int entry : {std::max(b - 1, 1), b, b + 1}) {
            const Entry& t = table_[entry - 1];
            c.push_back({entry - 1, t.K, t.T, t.cK, t.cT});
        }
        return c;
    }

    int Smallest() const {
        int smallest = 0;
        for (int c = 1; c < 3; ++c)
            if (table_[c].e < table_[smallest].e) smallest = c;
        return smallest;
    }

    const Signal& x_;
    const Signal& z_;
    Signal& r_;
    Signal& response_;
    const int n_;
    const double ts_;
    Signal xf_ = Signal(MaxSamples), xfd_ = Signal(MaxSamples), zf_ = Signal(MaxSamples),
           zfd_ = Signal(MaxSamples), s_ = Signal(MaxSamples), w_ = Signal(MaxSamples), wd_ = Signal(MaxSamples),
           scratch_ = Signal(MaxSamples);
    std::vector<Entry> table_ = std::vector<Entry>(MaxSamples + 2);
    int bestEntry_ = 1;
};

}  // namespace

void LiteralIdentify(TModel& model, IdentificationWindow& window, int n, double ts, double tf) {
    model.Inner = Process(window.WindowU, window.WindowY, window.InnerReference, window.InnerResponse, n, ts).Identify(tf);
    model.Outer = Process(window.WindowY, window.WindowY2, window.OuterReference, window.OuterResponse, n, ts).Identify(tf);
}

}  // namespace halvetra
