// Controller forms: the tuned parallel gains shown as general parallel,
// parallel with Ti or 1/Ti, or serial parameters, scaled for the plant.
#include "controller/ControllerForms.h"

#include "data/Errors.h"
#include "data/GlobalProcedures.h"
#include "data/NumberText.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace halvetra {

namespace {

constexpr int ValuePrecision = 15;
constexpr int KpDecimals = 3;
constexpr int KiDecimals = 6;  // also Ti and 1/Ti
constexpr int KdDecimals = 3;  // also Td

constexpr int NLPrecision = 8;
constexpr int NLDecimals = 4;
constexpr const char* NLCaption = "Maks. gain of NL:";

// The serial PID (Kp', Ti', Td') equivalent to a parallel PID; all three 0
// when there is none (Td above Ti/4).
struct SerialPID {
    double Kp = 0.0;
    double Ti = 0.0;
    double Td = 0.0;
};

SerialPID ToSerial(double Kp, double Ki, double Kd) {
    const double Td = SafeDivide(Kd, Kp, 0.0);
    const double Ti = SafeDivide(Kp, Ki, 0.0);
    const double ratio = SafeDivide(Td, Ti, -1.0);
    const double w = 1.0 - 4.0 * ratio;
    if (w < 0.0) return {};
    const double root = std::sqrt(w);
    return {0.5 * Kp * (1.0 + root), 0.5 * Ti * (1.0 + root), 0.5 * Ti * (1.0 - root)};
}

}  // namespace

void ParametersBoxState::SetText(ParametersText control, const std::string& text) {
    texts_[static_cast<std::size_t>(control)] = text;
}

void ParametersBoxState::SetEditVisible(ControllerTerm row, bool visible) {
    visible_[static_cast<std::size_t>(row)] = visible;
}

namespace {

// The box's writes of one calculation, kept until the calculation has ended
// so that they reach the real box all together or not at all.
class PlannedBox final : public ParametersBox {
public:
    void SetText(ParametersText control, const std::string& text) override {
        writes_.push_back({control, ControllerTerm::P, text, false, true});
    }
    void SetEditVisible(ControllerTerm row, bool visible) override {
        writes_.push_back({ParametersText::NLCaption, row, {}, visible, false});
    }
    void ApplyTo(ParametersBox& box) const {
        for (const Write& w : writes_) {
            if (w.isText)
                box.SetText(w.control, w.text);
            else
                box.SetEditVisible(w.row, w.visible);
        }
    }

private:
    struct Write {
        ParametersText control;
        ControllerTerm row;
        std::string text;
        bool visible;
        bool isText;
    };
    std::vector<Write> writes_;
};

void FillParameters(int form, int type, bool cascade, const TuningResult& G, double f, double q,
                    const ScaleReader& readScale, char decimalSeparator, ParametersBox& box);

}  // namespace

void ShowControllerParameters(int form, int type, bool cascade, const TuningResult& G, double f, double q,
                              const ScaleReader& readScale, char decimalSeparator, ParametersBox& box) {
    // A scaling text that is not a number stops the box part way, as each
    // factor is read just before its value; a value that is not finite (an
    // extreme scaling factor, gains whose product overflows) ends the
    // command before any control changes.
    PlannedBox planned;
    try {
        FillParameters(form, type, cascade, G, f, q, readScale, decimalSeparator, planned);
    } catch (const ConversionError&) {
        planned.ApplyTo(box);
        throw;
    }
    planned.ApplyTo(box);
}

ScaleReader ScaleTexts(std::string scaleP, std::string scaleI, std::string scaleD, char decimalSeparator) {
    return [texts = std::array<std::string, 3>{std::move(scaleP), std::move(scaleI), std::move(scaleD)},
            decimalSeparator](ControllerTerm term) {
        return TextToFloat(texts[static_cast<std::size_t>(term)], decimalSeparator);
    };
}

namespace {

void FillParameters(int form, int type, bool cascade, const TuningResult& G, double f, double q,
                    const ScaleReader& readScale, char decimalSeparator, ParametersBox& box) {
    // r corrects the outer loop gain for the non-linear element; a single
    // loop has none.
    double r = 1.0;
    if (cascade) {
        if (q == 0.0) throw FloatingPointError("Floating point division by zero");
        r = 1.0 / q;
    }

    if (form < 0) form = 0;
    if (form > 3) return;

    if (cascade) {
        box.SetText(ParametersText::NLCaption, NLCaption);
        box.SetText(ParametersText::NLValue, FormatFixedFinite(q, NLPrecision, NLDecimals, decimalSeparator));
    } else {
        box.SetText(ParametersText::NLCaption, "");
        box.SetText(ParametersText::NLValue, "");
    }
    if (type < 0 || type > 3) return;

    const auto show = [&](ParametersText edit, double value, int decimals) {
        box.SetText(edit, FormatFixedFinite(value, ValuePrecision, decimals, decimalSeparator));
    };
    const auto layout = [&](const char* kp, const char* ki, const char* kd, bool showKp, bool showKi, bool showKd) {
        box.SetText(ParametersText::NameKp, kp);
        box.SetText(ParametersText::NameKi, ki);
        box.SetText(ParametersText::NameKd, kd);
        box.SetEditVisible(ControllerTerm::P, showKp);
        box.SetEditVisible(ControllerTerm::I, showKi);
        box.SetEditVisible(ControllerTerm::D, showKd);
    };

    // The P and I controllers look the same in every form.
    if (type == 0) {
        layout("Kp:", "", "", true, false, false);
        show(ParametersText::EditKp, readScale(ControllerTerm::P) * G.KpP * f * r, KpDecimals);
        box.SetText(ParametersText::EditKi, "");
        box.SetText(ParametersText::EditKd, "");
        return;
    }
    if (type == 1) {
        layout("", "Ki:", "", false, true, false);
        box.SetText(ParametersText::EditKp, "");
        show(ParametersText::EditKi, readScale(ControllerTerm::I) * G.KiI * f * r, KiDecimals);
        box.SetText(ParametersText::EditKd, "");
        return;
    }

    const bool pid = type == 3;
    const double Kp = pid ? G.KpPID : G.KpPI;
    const double Ki = pid ? G.KiPID : G.KiPI;
    const double Kd = G.KdPID;

    static constexpr const char* SecondNames[4] = {"Ki:", "Ti:", "1/Ti:", "Ti:"};
    static constexpr const char* ThirdNames[4] = {"Kd:", "Td:", "Td:", "Td:"};
    layout("Kp:", SecondNames[form], pid ? ThirdNames[form] : "", true, true, pid);

    // Only the serial PID differs from the parallel form with Ti.
    const bool serial = form == 3 && pid;
    const SerialPID s = serial ? ToSerial(Kp, Ki, Kd) : SerialPID{};

    // Times and their inverse are ratios of gains: f and r do not enter them.
    const double sP = readScale(ControllerTerm::P);
    show(ParametersText::EditKp, serial ? sP * s.Kp * f * r : sP * Kp * f * r, KpDecimals);

    const double sI = readScale(ControllerTerm::I);
    double second = 0.0;
    if (form == 0)
        second = sI * Ki * f * r;
    else if (form == 2)
        second = sI * SafeDivide(Ki, Kp, 0.0);
    else if (serial)
        second = sI * s.Ti;
    else
        second = sI * SafeDivide(Kp, Ki, 0.0);
    show(ParametersText::EditKi, second, KiDecimals);

    if (!pid) {
        box.SetText(ParametersText::EditKd, "");
        return;
    }
    const double sD = readScale(ControllerTerm::D);
    double third = 0.0;
    if (form == 0)
        third = sD * Kd * f * r;
    else if (serial)
        third = sD * s.Td;
    else
        third = sD * SafeDivide(Kd, Kp, 0.0);
    show(ParametersText::EditKd, third, KdDecimals);
}

}  // namespace

double MaxGainOfNL(std::span<const NLPointText> rows, double yMin, double yMax, char decimalSeparator) {
    std::vector<double> X;
    std::vector<double> Y;
    for (std::size_t k = 0; k < rows.size() && k < NLTableRows && !rows[k].Input.empty(); ++k) {
        X.push_back(TextToFloat(rows[k].Input, decimalSeparator));
        Y.push_back(TextToFloat(rows[k].Output, decimalSeparator));
    }
    const std::size_t m = X.size();
    if (m < 2) return 1.0;

    std::vector<double> s(m);
    for (std::size_t k = 0; k + 1 < m; ++k) s[k] = SafeDivide(Y[k + 1] - Y[k], X[k + 1] - X[k], 1000.0);
    s[m - 1] = s[m - 2];

    // The segments from the one ending at the first point that reaches yMin
    // up to the one ending at the first point that reaches yMax.
    std::size_t j = m - 2;
    for (std::size_t k = 0; k + 1 < m; ++k)
        if (Y[k] >= yMin) {
            j = k;
            break;
        }
    const std::size_t i = std::max<std::size_t>(j, 1);
    std::size_t h = m - 1;
    for (std::size_t k = i - 1; k < m; ++k)
        if (Y[k] >= yMax) {
            h = k;
            break;
        }

    // A slope that overflows (cells such as -1e308 and 1e308) has no gain to
    // show: the floating-point error, not an infinity or a skipped NaN.
    RequireFinite(s[i - 1]);
    double largest = s[i - 1];
    for (std::size_t k = i; k <= h; ++k) {
        RequireFinite(s[k]);
        if (s[k] > largest) largest = s[k];
    }
    return largest;
}

}  // namespace halvetra
