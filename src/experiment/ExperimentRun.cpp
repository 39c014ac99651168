#include "experiment/ExperimentRun.h"

#include "experiment/QualityWait.h"
#include "experiment/WriteLog.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "data/Errors.h"
#include "data/GlobalProcedures.h"
#include "data/NumberText.h"

namespace halvetra {

ExperimentRun::ExperimentRun(PlantAccess* plant, const Clock& clock, MeasuredData& data, std::uint32_t seed,
                             std::function<void()> processEvents, char decimalSeparator)
    : plant_(plant),
      clock_(clock),
      data_(data),
      processEvents_(std::move(processEvents)),
      separator_(decimalSeparator),
      simulation_(seed) {
    if (plant_ != nullptr) {
        group_ = &plant_->AddGroup(ExperimentGroupName);
        plant_->SetDeadBand(*group_, 0.0);
        plant_->SetUpdateRate(*group_, ExperimentGroupUpdateRate);
    }
    simulation_.Reset();
}

std::string LinkLostStatusText(const std::string& time) {
    // Short enough for the window's status bar.
    return "  Warning: OPC server link lost at t = " + time +
           " s! Simulation since then; earlier samples are from the plant.";
}

std::string UnusableSignalsStatusText(const std::string& problems) {
    return "  Warning: " + problems + "! The last usable values are shown and recorded.";
}

std::string WriteErrorDetail(const std::string& error) {
    std::string text = error;
    static const std::string prefix = "Cannot write Items:";
    if (text.rfind(prefix, 0) == 0) text.erase(0, prefix.size());
    std::string line;
    for (char c : text) {
        if (c == '\n' || c == '\r') {
            if (!line.empty() && line.back() != ' ') line += "; ";
        } else {
            line += c;
        }
    }
    while (!line.empty() && (line.front() == ' ' || line.front() == ';')) line.erase(0, 1);
    while (!line.empty() && (line.back() == ' ' || line.back() == ';')) line.pop_back();
    return line;
}

std::string RefusedWritesStatusText(int count, const std::string& detail) {
    return "  Warning: the plant refused " + std::to_string(count) + (count == 1 ? " write" : " writes") + " of MV1 (" +
           detail + ")! The record holds the commanded MV1.";
}

std::string RefusedWriteMessage(const std::string& error) {
    return error +
           "\nThe experiment goes on, but the plant did not take MV1 as commanded: the record holds the "
           "commanded MV1 and the run's events list the samples concerned.";
}

std::string DurationText(double seconds) {
    const long long total =
        std::isfinite(seconds) && seconds > 0.0 ? static_cast<long long>(std::min(std::nearbyint(seconds), 1e12)) : 0LL;
    const long long hours = total / 3600;
    const long long minutes = total / 60 % 60;
    const long long rest = total % 60;
    char text[48];
    if (hours > 0)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", hours, minutes, rest);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", minutes, rest);
    return text;
}

int SilenceLimitMs(int samplingMs) { return std::max(800, samplingMs - 200); }

bool ExperimentRun::Connected() const { return plant_ != nullptr && plant_->IsConnected(); }

double ExperimentRun::SamplingPeriod() const { return Parameters.SamplingMs / 1000.0; }

double ExperimentRun::TimeOfSample(long long k) const {
    // The product is a whole number of milliseconds, exact in a double; one
    // division gives the double nearest the decimal time.
    return static_cast<double>(k * static_cast<long long>(Parameters.SamplingMs)) / 1000.0;
}

long long ExperimentRun::PhaseSamples(double seconds) const {
    // The phase ends with the sample whose count of sampling periods reaches
    // its time, and it holds at least one sample.
    if (!(seconds > 0.0) || Parameters.SamplingMs <= 0) return 1;
    const double periods = seconds * 1000.0 / Parameters.SamplingMs;
    if (!(periods < MaxSamples)) return MaxSamples;
    long long k = std::max(1LL, static_cast<long long>(std::ceil(periods)));
    while (TimeOfSample(k) < seconds) ++k;
    while (k > 1 && TimeOfSample(k - 1) >= seconds) --k;
    return k;
}

int ExperimentRun::PlannedSamples() const {
    const ExperimentParameters& p = Parameters;
    const long long limit = p.NoWrite ? 1LL : (p.BothDirections ? 2LL * p.NumberOfSteps : p.NumberOfSteps);
    const long long steps = std::clamp(limit, 0LL, static_cast<long long>(MaxSamples));
    const long long planned = PhaseSamples(p.WaitingTime) + steps * PhaseSamples(p.StepTime);
    return static_cast<int>(std::min<long long>(planned, MaxExperimentSamples));
}

void ExperimentRun::ShowProgress() {
    const ExperimentParameters& p = Parameters;
    // The time of the last sample taken, as the window's "t=" shows it; the
    // run ends with its planned last sample.
    const double elapsed = TimeOfSample(std::max(0, recorded_ - 1));
    if (!automaticRun_) {
        view_.ProgressStep = "Manual experiment";
        view_.ProgressTime = "Elapsed " + DurationText(elapsed);
        view_.ProgressPercent = -1;
        return;
    }
    const long long limit = p.NoWrite ? 1LL : (p.BothDirections ? 2LL * p.NumberOfSteps : p.NumberOfSteps);
    const long long step = std::min<long long>(stepCounter_, limit);
    view_.ProgressStep = step == 0 ? "Waiting before step 1 of " + std::to_string(limit)
                                   : "Step " + std::to_string(step) + " of " + std::to_string(limit);
    if (manualExperiment_) {
        // Switched to manual: the step sequence stands still, the run has no planned end.
        view_.ProgressStep += ", switched to manual";
        view_.ProgressTime = "Elapsed " + DurationText(elapsed);
        view_.ProgressPercent = -1;
        return;
    }
    const int planned = PlannedSamples();
    const int left = std::max(0, planned - recorded_);
    view_.ProgressTime = "Elapsed " + DurationText(elapsed) + ", remaining " + DurationText(TimeOfSample(left));
    view_.ProgressPercent = planned > 0 ? static_cast<int>(std::min<long long>(100, 100LL * recorded_ / planned)) : 100;
}

std::string ExperimentRun::Fixed(double v) const { return FormatFixed(v, 10, 4, separator_); }

// --- Before a run -----------------------------------------------------------

void ExperimentRun::PrepareItems(const ExperimentItemIds& ids) {
    ExperimentParameters& p = Parameters;
    p.MVItem.reset();
    p.UItem.reset();
    p.Y1Item.reset();
    p.Y2Item.reset();
    p.MAItem.reset();
    p.ManualItem.reset();
    p.AutomaticItem.reset();
    p.SingleMASwitch = ids.SingleMASwitch;
    p.ManualValue = ids.ManualValue;
    if (plant_ == nullptr) return;
    plant_->ClearItems(*group_);
    p.UItem = plant_->AddItem(*group_, ids.U);
    p.MVItem = plant_->AddItem(*group_, ids.MV);
    p.Y1Item = plant_->AddItem(*group_, ids.Y1);
    p.Y2Item = plant_->AddItem(*group_, ids.Y2);
    if (ids.SingleMASwitch) {
        p.MAItem = plant_->AddItem(*group_, ids.MA);
    } else {
        p.ManualItem = plant_->AddItem(*group_, ids.Manual);
        p.AutomaticItem = plant_->AddItem(*group_, ids.Automatic);
    }
}

bool ExperimentRun::WaitForQuality() {
    if (plant_ == nullptr || !Parameters.MVItem) return false;
    return WaitForGoodQuality(*plant_, Parameters.MVItem, clock_, processEvents_);
}

namespace {

// One mode command, recorded in the write log with the value the item held
// before (when its quality was good) and its outcome. Without a connection
// nothing is written and nothing recorded.
template <typename Value>
void WriteModeItem(PlantAccess& plant, const ItemHandle& item, Value value, WriteLog* log) {
    if (log == nullptr || item == nullptr || !plant.IsConnected()) {
        plant.WriteValue(item, value);
        return;
    }
    WriteLogLine line{item->Id, std::nullopt, static_cast<double>(value), "ok"};
    if (plant.QualityIsGood(item)) line.OldValue = plant.ReadValue(item);
    try {
        plant.WriteValue(item, value);
    } catch (const std::exception& e) {
        line.Result = WriteResultOf(e.what(), item->Id);
        log->Append(plant.ServerUrl(), plant.UserName(), {line});
        throw;
    }
    log->Append(plant.ServerUrl(), plant.UserName(), {line});
}

}  // namespace

void ExperimentRun::SetLoopManual() {
    const ExperimentParameters& p = Parameters;
    if (p.NoWrite || plant_ == nullptr) return;
    if (p.SingleMASwitch)
        WriteModeItem(*plant_, p.MAItem, p.ManualValue, writeLog_);
    else
        WriteModeItem(*plant_, p.ManualItem, 1, writeLog_);
}

void ExperimentRun::SetLoopAutomatic() {
    const ExperimentParameters& p = Parameters;
    if (p.NoWrite || plant_ == nullptr) return;
    if (p.SingleMASwitch)
        WriteModeItem(*plant_, p.MAItem, std::abs(p.ManualValue - 1), writeLog_);
    else
        WriteModeItem(*plant_, p.AutomaticItem, 1, writeLog_);
}

void ExperimentRun::CommandLoopForRun() {
    if (Parameters.ClosedLoopDuring)
        SetLoopAutomatic();
    else
        SetLoopManual();
}

bool ExperimentRun::StartManualRun(const std::function<void(const std::string&)>& showMessage) {
    state_ = State::Idle;
    const bool good = WaitForQuality();
    if (!good && showMessage) showMessage(NoConnectionMessage);
    manualExperiment_ = true;
    automaticRun_ = false;
    view_.SwitchButtonVisible = false;
    CommandLoopForRun();
    view_.SliderEnabled = true;
    view_.ValueBoxEnabled = true;
    view_.TimerEnabled = true;
    return good;
}

bool ExperimentRun::StartAutomaticRun() {
    state_ = State::Idle;
    const bool good = WaitForQuality();
    manualExperiment_ = false;
    automaticRun_ = true;
    view_.SwitchButtonVisible = true;
    view_.SwitchButtonEnabled = true;
    view_.SliderEnabled = false;
    view_.ValueBoxEnabled = false;
    CommandLoopForRun();
    nextSwitchTime_ = Parameters.WaitingTime;
    stepCounter_ = 0;
    stepSamples_ = 0;
    stepTimer_ = 0.0;
    return good;
}

// --- Slider -------------------------------------------------------------------

void ExperimentRun::SetUpSlider(const SliderSettings& slider) {
    const double range = slider.Maximum - slider.Minimum;
    const double steps = std::nearbyint(SafeDivide(range, slider.Step, range));
    // A negative or unbounded count of steps has no slider: keep the range valid.
    int maximum = 0;
    if (steps > SliderMaximumLimit)
        maximum = SliderMaximumLimit;
    else if (steps > 0)
        maximum = static_cast<int>(steps);
    view_.SliderMinimum = 0;
    view_.SliderMaximum = maximum;
    view_.SliderPosition = std::clamp(view_.SliderPosition, 0, maximum);
    sliderScale_ = SafeDivide(range, maximum, range);
    sliderOffset_ = slider.Minimum;
}

double ExperimentRun::SliderValue(int position) const {
    return (view_.SliderMaximum - position) * sliderScale_ + sliderOffset_;
}

void ExperimentRun::ShowInSlider(double v, bool runsChangeHandling) {
    const double d = v - sliderOffset_;
    const double p = std::nearbyint(SafeDivide(d, sliderScale_, d));
    const int before = view_.SliderPosition;
    bool onGrid = true;
    if (p > view_.SliderMaximum) {
        if (p <= SliderMaximumLimit)
            view_.SliderMaximum = static_cast<int>(p);
        else
            onGrid = false;  // beyond any slider: shown at the top
        view_.SliderPosition = 0;
    } else if (p >= view_.SliderMinimum) {
        view_.SliderPosition = view_.SliderMaximum - static_cast<int>(p);
    } else {
        // Below the range (or not a number): the slider shows its lowest value,
        // and the value stays as given.
        onGrid = false;
        view_.SliderPosition = view_.SliderMaximum;
    }
    if (onGrid && runsChangeHandling && view_.SliderPosition != before) ScrollBar1Change(view_.SliderPosition);
}

void ExperimentRun::ScrollBar1Change(int position) {
    view_.SliderPosition = std::clamp(position, view_.SliderMinimum, view_.SliderMaximum);
    if (elapsedTime_ == 0.0) return;
    inputValue_ = SliderValue(view_.SliderPosition);
    view_.ValueText = FormatGeneral(inputValue_, 8, separator_);
}

// --- The window -----------------------------------------------------------------

SampleOutcome ExperimentRun::FormShow(const SliderSettings& slider) {
    const ExperimentParameters& p = Parameters;
    simulation_.Reset();
    elapsedTime_ = 0.0;
    recorded_ = 0;
    data_.SampleCount = 1;
    data_.ColumnCount = 6;
    end_ = ExperimentEnd{};
    startedWithPlant_ = Connected();
    linkLost_ = false;
    linkLostTime_ = 0.0;
    plantSamples_ = 0;
    refusedWrites_ = 0;
    events_.Reset();
    sampleTicks_.assign(static_cast<std::size_t>(MaxSamples), 0);
    if (p.StartFromProcess) {
        // A plant value that is not a number is no value to start from.
        const double mv = startedWithPlant_ ? plant_->ReadValue(p.MVItem) : 10.0;
        inputValue_ = std::isfinite(mv) ? mv : 10.0;
    } else {
        inputValue_ = p.InitialInput;
    }
    // The simulated process starts at rest for the initial MV1: a record
    // holds no settling from the rest point before its first step.
    simulation_.SettleAt(inputValue_, p.NoWrite);
    SetUpSlider(slider);
    ShowInSlider(inputValue_);
    view_.ValueText = FormatGeneral(inputValue_, 15, separator_);
    chartPoints_ = 0;
    chartHoldsFirst_ = false;
    view_.Caption = "Eksperiment " + p.ExperimentLabel;
    view_.TimerInterval = p.SamplingMs;

    state_ = State::Running;
    SampleOutcome outcome;
    TakeSample(outcome);
    // A run that ended with its first sample keeps its timer off.
    view_.TimerEnabled = state_ == State::Running;
    return outcome;
}

SampleOutcome ExperimentRun::Timer1Timer() {
    SampleOutcome outcome;
    if (state_ != State::Running) return outcome;
    TakeSample(outcome);
    return outcome;
}

void ExperimentRun::ShowLabels() {
    view_.LabelMV = Fixed(inputValue_);
    view_.LabelU1 = Fixed(processInputValue_);
    view_.LabelY1 = Fixed(measurement1Value_);
    view_.LabelY2 = Fixed(measurement2Value_);
    view_.LabelTime = Fixed(elapsedTime_);
}

namespace {

// The link broke in the middle of a sample: the server hangs or is gone.
struct LinkBroken {};

bool TimedOut(const std::exception& e) {
    return std::string_view(e.what()).find("BadTimeout") != std::string_view::npos;
}

}  // namespace

bool ExperimentRun::ServerSilent() const {
    return plant_ != nullptr && plant_->ServerSilenceMs() >= SilenceLimitMs(Parameters.SamplingMs);
}

void ExperimentRun::NoteSilentSamples() {
    // The samples taken after the server's last answer hold what it said
    // then, not what the plant did.
    const std::int64_t silence = plant_->ServerSilenceMs();
    if (silence <= 0) return;
    const std::int64_t lastAnswer = clock_.ticks() - silence;
    for (int k = 0; k < recorded_; ++k)
        if (sampleTicks_[static_cast<std::size_t>(k)] > lastAnswer)
            events_.Note(RunEventKind::ServerSilent, "", k + 1, TimeOfSample(k), "", true);
}

void ExperimentRun::SamplePlant(SampleOutcome& outcome) {
    const ExperimentParameters& p = Parameters;
    const int sample = recorded_ + 1;
    enum Signal { MV1, U1, Y1, Y2 };
    bool notFinite[4] = {};
    bool bad[4] = {};
    std::string refusal;
    if (!p.NoWrite) {
        const double mv = plant_->ReadValue(p.MVItem);
        notFinite[MV1] = !std::isfinite(mv);
        bad[MV1] = !plant_->QualityIsGood(p.MVItem);
        // InputValue is finite (every way of setting it sees to that); the guard
        // keeps anything else off the plant all the same.
        if (mv != inputValue_ && std::isfinite(inputValue_)) {
            try {
                plant_->WriteValueWithin(p.MVItem, inputValue_, SampleWriteWaitMs);
            } catch (const std::exception& e) {
                // No answer from the server within the wait is no refusal: it hangs or is gone.
                if (!Connected() || TimedOut(e) || ServerSilent()) throw LinkBroken{};
                refusal = e.what();
            }
        }
    }
    // Only usable values replace the held ones, and only once all reads are done.
    double values[4] = {inputValue_, processInputValue_, measurement1Value_, measurement2Value_};
    const std::pair<Signal, const ItemHandle*> reads[] = {{Y1, &p.Y1Item}, {Y2, &p.Y2Item}, {U1, &p.UItem}};
    for (const auto& [signal, item] : reads) {
        const double v = plant_->ReadValue(*item);
        if (!std::isfinite(v))
            notFinite[signal] = true;
        else if (!plant_->QualityIsGood(*item))
            bad[signal] = true;
        else
            values[signal] = v;
    }
    processInputValue_ = values[U1];
    measurement1Value_ = values[Y1];
    measurement2Value_ = values[Y2];

    static const char* const names[] = {"MV1", "U1", "Y1", "Y2"};
    std::string problems;
    for (int k = MV1; k <= Y2; ++k) {
        if (!notFinite[k] && !bad[k]) continue;
        if (!problems.empty()) problems += ", ";
        problems += std::string(names[k]) + (notFinite[k] ? " is not a finite number" : " has bad quality");
        // MV1 is recorded as commanded: only the measured signals lose their sample.
        events_.Note(RunEventKind::SignalUnusable, names[k], sample, elapsedTime_,
                     notFinite[k] ? "not a finite number" : "bad quality", k != MV1);
    }
    view_.StatusText = problems.empty() ? std::string(ConnectedStatusText) : UnusableSignalsStatusText(problems);
    if (!refusal.empty()) {
        ++refusedWrites_;
        const std::string detail = WriteErrorDetail(refusal);
        events_.Note(RunEventKind::WritesRefused, "MV1", sample, elapsedTime_, detail, true);
        if (refusedWrites_ == 1) outcome.FirstWriteRefusal = RefusedWriteMessage(refusal);
        view_.StatusText = RefusedWritesStatusText(refusedWrites_, detail);
    }
}

void ExperimentRun::SampleSimulation() {
    const ProcessSimulation::Output out = simulation_.Step(inputValue_, Parameters.NoWrite);
    processInputValue_ = out.U1;
    measurement1Value_ = out.Y1;
    measurement2Value_ = out.Y2;
}

void ExperimentRun::TakeSample(SampleOutcome& outcome) {
    bool fromPlant = false;
    std::string lostBecause;
    if (!linkLost_ && Connected()) {
        if (ServerSilent()) {
            lostBecause = "the server stopped answering";
        } else {
            try {
                SamplePlant(outcome);
                fromPlant = true;
            } catch (const LinkBroken&) {
                lostBecause = Connected() ? "the server stopped answering" : "the connection ended";
            } catch (...) {
                // The link broke during the sample: not a failed sample but a lost link.
                const bool silent = ServerSilent();
                if (Connected() && !silent) throw;
                lostBecause = silent ? "the server stopped answering" : "the connection ended";
            }
        }
    } else if (!linkLost_ && (startedWithPlant_ || plantSamples_ > 0)) {
        lostBecause = "the connection ended";
    }
    if (!lostBecause.empty()) NoteSilentSamples();
    const auto row = static_cast<std::size_t>(recorded_);
    sampleTicks_[row] = clock_.ticks();
    if (fromPlant) {
        ++plantSamples_;
        lastPlantInput_ = inputValue_;
    } else {
        if (!linkLost_ && (startedWithPlant_ || plantSamples_ > 0)) {
            linkLost_ = true;
            linkLostTime_ = elapsedTime_;
            events_.Note(RunEventKind::LinkLost, "", recorded_ + 1, elapsedTime_, lostBecause, true);
            // Takes over where the plant was: the last recorded values (the
            // rest point when no sample came from the plant).
            if (plantSamples_ > 0)
                simulation_.StartFrom({lastPlantInput_, processInputValue_, measurement1Value_, measurement2Value_});
        } else if (linkLost_)
            events_.Note(RunEventKind::LinkLost, "", recorded_ + 1, elapsedTime_, "", true);
        SampleSimulation();
        view_.StatusText = linkLost_ ? LinkLostStatusText(Fixed(linkLostTime_)) : std::string(SimulationStatusText);
    }
    ShowLabels();

    data_.SampleTimes[row] = elapsedTime_;
    data_.RawColumns[0][row] = inputValue_;
    data_.RawColumns[1][row] = inputValue_;
    data_.RawColumns[2][row] = processInputValue_;
    data_.RawColumns[3][row] = processInputValue_;
    data_.RawColumns[4][row] = measurement1Value_;
    data_.RawColumns[5][row] = measurement2Value_;

    // Charts: the last 200 s, and never the point at t = 0 after the second sample.
    int drop = 0;
    if (elapsedTime_ > ChartSpanSeconds && chartPoints_ > 0) {
        ++drop;
        chartHoldsFirst_ = false;  // the oldest point goes first
    }
    if (recorded_ == 1 && chartHoldsFirst_) {
        ++drop;
        chartHoldsFirst_ = false;
    }
    if (recorded_ == 0) chartHoldsFirst_ = true;
    chartPoints_ = chartPoints_ - drop + 1;
    outcome.Chart.DropOldest = drop;
    outcome.Chart.Add =
        ChartPoint{elapsedTime_, inputValue_, processInputValue_, measurement1Value_, measurement2Value_};
    outcome.Taken = true;

    ++recorded_;
    data_.SampleCount = recorded_ + 1;
    elapsedTime_ = TimeOfSample(recorded_);

    if (!manualExperiment_) {
        ++stepSamples_;
        stepTimer_ = TimeOfSample(stepSamples_);
        // The switch comes with the sample that completes the phase, so that
        // each phase lasts the smallest whole number of samples not shorter
        // than its time, and the run lasts WaitingTime + k * StepTime.
        if (stepTimer_ >= nextSwitchTime_) NextStep();
    }
    if (recorded_ + 1 >= MaxSamples) EndExperiment();
    ShowProgress();
    outcome.Ended = state_ == State::Ended;
}

void ExperimentRun::NextStep() {
    const ExperimentParameters& p = Parameters;
    nextSwitchTime_ = p.StepTime;
    stepSamples_ = 0;
    stepTimer_ = 0.0;
    ++stepCounter_;
    const long long limit = p.NoWrite ? 1LL : (p.BothDirections ? 2LL * p.NumberOfSteps : p.NumberOfSteps);
    if (stepCounter_ > limit) {
        EndExperiment();
    } else if (!p.NoWrite) {
        if (stepCounter_ <= p.NumberOfSteps)
            inputValue_ += p.StepAmplitude;
        else
            inputValue_ -= p.StepAmplitude;
        // The value box and the slider follow MV1 through the steps; showing
        // it does not move MV1 to the slider's grid.
        view_.ValueText = FormatGeneral(inputValue_, 8, separator_);
        ShowInSlider(inputValue_, false);
    }
}

void ExperimentRun::SwitchToManual() {
    view_.SliderEnabled = true;
    view_.ValueBoxEnabled = true;
    manualExperiment_ = true;
    view_.ValueText = FormatGeneral(inputValue_, 15, separator_);
    // Switching must not move MV1: the slider only shows the value.
    ShowInSlider(inputValue_, false);
    view_.SwitchButtonEnabled = false;
    ShowProgress();
}

void ExperimentRun::EnterValue(std::string_view text) {
    const double v = TextToFloat(text, separator_);
    // Never a value that could not be written to the plant.
    if (!std::isfinite(v)) throw ConversionError("'" + std::string(text) + "' is not a valid floating point value");
    inputValue_ = v;
    view_.ValueText = std::string(text);
    ShowInSlider(v);
}

bool ExperimentRun::EndExperiment() {
    if (state_ != State::Running) return false;
    state_ = State::Ended;
    view_.TimerEnabled = false;

    const double ts = SamplingPeriod();
    data_.SamplingTime = ts;
    data_.SampleCount = recorded_;
    if (recorded_ < MinExperimentSamples) {
        // Copies of the last row (of the present values when nothing was
        // recorded), with the times going on in steps of Ts.
        double values[6] = {inputValue_,        inputValue_,        processInputValue_,
                            processInputValue_, measurement1Value_, measurement2Value_};
        if (recorded_ > 0)
            for (int c = 0; c < 6; ++c) values[c] = data_.RawColumns[c][static_cast<std::size_t>(recorded_ - 1)];
        for (int r = recorded_; r < MinExperimentSamples; ++r) {
            const auto row = static_cast<std::size_t>(r);
            data_.SampleTimes[row] = TimeOfSample(r);
            for (int c = 0; c < 6; ++c) data_.RawColumns[c][row] = values[c];
        }
        data_.SampleCount = MinExperimentSamples;
    }

    end_ = ExperimentEnd{};
    end_.SampleCount = data_.SampleCount;
    end_.SamplingTime = ts;
    end_.ApplyDataWindowStart = !manualExperiment_;
    // About 90 % of the waiting time, before the first step; within the
    // Data page's window range 1 .. N - 2.
    const double w = Parameters.WaitingTime;
    const double start = std::max(2.0, std::nearbyint(0.9 * SafeDivide(w, ts, w))) - 1.0;
    const double highest = std::max(1, data_.SampleCount - 2);
    end_.DataWindowStart = static_cast<int>(std::clamp(start, 1.0, highest));
    end_.ClosedLoopAfter = Parameters.ClosedLoopAfter;

    const char* const mode = Parameters.ClosedLoopAfter ? "after the run (automatic)" : "after the run (manual)";
    const bool writes = !Parameters.NoWrite && startedWithPlant_;
    if (linkLost_) {
        // Nothing reaches a plant that is gone or hangs; a command to a hanging
        // server would only wait for its timeout.
        if (writes)
            events_.Note(RunEventKind::LoopModeFailed, mode, std::max(recorded_, 1),
                         TimeOfSample(std::max(recorded_ - 1, 0)), "the link to the OPC server was lost", false);
    } else {
        try {
            if (Parameters.ClosedLoopAfter)
                SetLoopAutomatic();
            else
                SetLoopManual();
        } catch (const std::exception& e) {
            end_.LoopModeError = e.what();
            events_.Note(RunEventKind::LoopModeFailed, mode, std::max(recorded_, 1),
                         TimeOfSample(std::max(recorded_ - 1, 0)), WriteErrorDetail(e.what()), false);
        }
    }
    return true;
}

}  // namespace halvetra
