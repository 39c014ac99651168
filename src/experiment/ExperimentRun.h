#pragma once
// One step-response experiment, manual or automatic, without its window: the
// run's parameters and state, the sampling of the plant (or of the built-in
// simulation while there is no connection), the recording into MeasuredData,
// the step sequence, the MV slider and value box, the controller's
// manual/automatic commands and the end of the run. The experiment window,
// the tests and the command-line companion drive it through plain calls and
// show what View() and the returned chart updates say.
//
// A run goes Idle -> Running (FormShow) -> Ended (EndExperiment, which the step
// sequence and the sample limit also call). The object is made once per
// plant connection and serves any number of runs, one after the other.
//
// Times are nominal: sample k (counted from 0) is at k * SamplingMs / 1000 s,
// computed from whole milliseconds, so that times and step switching agree
// with the decimal values the user typed instead of drifting with a running
// sum. While the step sequence runs, StepTimer counts the time since the last
// switch (including the sample just taken); when it reaches NextSwitchTime the
// next step comes: MV1 changes from the next sample on. With Ts = 1 s,
// WaitingTime 5 s and StepTime 10 s, samples t = 0 .. 4 hold the start value,
// t = 5 .. 14 the first step, and so on.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "data/MeasuredData.h"
#include "experiment/Clock.h"
#include "experiment/ProcessSimulation.h"
#include "experiment/QualityWait.h"
#include "experiment/RunEvents.h"
#include "opc/PlantAccess.h"

namespace halvetra {

inline constexpr const char* ExperimentGroupName = "Skupina1";
inline constexpr int ExperimentGroupUpdateRate = 10;  // ms
// A run records at most this many samples.
inline constexpr int MaxExperimentSamples = MaxSamples - 1;
// A record shorter than this is padded with copies of its last row.
inline constexpr int MinExperimentSamples = 10;
// Charts keep the points of the last 200 s.
inline constexpr double ChartSpanSeconds = 200.0;
// The slider's maximum never exceeds this (it is an int position).
inline constexpr int SliderMaximumLimit = 1000000000;

// Status bar text of a sample taken from the simulation.
inline constexpr const char* SimulationStatusText =
    "  Opozorilo: povezava s stre\xC5\xBEnikom ni vzpostavljena! Simulacija v teku...";
// Status bar text of a sample taken from the plant.
inline constexpr const char* ConnectedStatusText = "  ";
// Status bar text of every sample after the link to the plant was lost in the
// middle of a run; `time` is the time of the first sample the simulation
// took, as the labels show it.
std::string LinkLostStatusText(const std::string& time);
// Status bar text of a sample from the plant in which signals had no usable
// value: `problems` such as "Y1 has bad quality", "U1 is not a finite number".
std::string UnusableSignalsStatusText(const std::string& problems);
// Status bar text of a sample whose write of MV1 the plant refused: `count`
// refusals so far in this run, `detail` the plant's reason.
std::string RefusedWritesStatusText(int count, const std::string& detail);
// The message shown once per run at the first refused write of MV1.
std::string RefusedWriteMessage(const std::string& error);
// The plant's error of a failed write without the leading "Cannot write
// Items:", on one line.
std::string WriteErrorDetail(const std::string& error);
// A server that has not answered for this long (ms) is taken to hang. The
// client asks the server every 200 ms, so a server that hangs is noticed
// within 200 ms + this + one sampling period: max(2 s, 2 sampling periods).
int SilenceLimitMs(int samplingMs);
// The longest a sample's write of MV1 waits for the server (ms); a server
// that does not answer it within this time hangs or is gone.
inline constexpr int SampleWriteWaitMs = 1000;
// Shown when a manual run starts without a good MV1 quality.
inline constexpr const char* NoConnectionMessage =
    "Connection with OPC signals hasn not been established. Process simulation is activated.";

// Item identifiers of one run, as the OPC item table or the settings file give them.
struct ExperimentItemIds {
    std::string MV;
    std::string U;
    std::string Y1;
    std::string Y2;
    bool SingleMASwitch = true;  // one M/A item (true) or Manual + Automatic command items
    std::string MA;
    int ManualValue = 1;  // value of the M/A item that means manual
    std::string Manual;
    std::string Automatic;
};

// What the scheduler sets before each run.
struct ExperimentParameters {
    std::string ExperimentLabel;
    int SamplingMs = 1000;          // Ts = SamplingMs / 1000 s
    bool StartFromProcess = false;  // start from the plant's MV1 instead of InitialInput
    double InitialInput = 0.0;
    double WaitingTime = 0.0;  // s before the first step
    double StepTime = 0.0;     // s of each further step
    double StepAmplitude = 0.0;
    int NumberOfSteps = 1;  // steps in one direction
    bool BothDirections = false;
    bool ClosedLoopDuring = false;
    bool ClosedLoopAfter = true;
    bool NoWrite = false;  // nothing is written to the plant
    ItemHandle MVItem;
    ItemHandle UItem;
    ItemHandle Y1Item;
    ItemHandle Y2Item;
    bool SingleMASwitch = true;
    int ManualValue = 1;
    ItemHandle MAItem;
    ItemHandle ManualItem;
    ItemHandle AutomaticItem;
};

// The main window's "MV slider parametrers": MAX, MIN and Step.
struct SliderSettings {
    double Maximum = 100.0;
    double Minimum = 0.0;
    double Step = 1.0;
};

// What the window shows; it copies these into its controls after each call.
struct ExperimentView {
    std::string Caption;     // "Eksperiment " + label
    std::string StatusText;  // status bar
    std::string LabelMV;     // Label_Exp_MV
    std::string LabelU1;     // Label_Exp_U1
    std::string LabelY1;     // Label_Exp_Y1
    std::string LabelY2;     // Label_Exp_Y2
    std::string LabelTime;   // Label2, after "t="
    std::string ValueText;   // VrednostVhodaEdit
    int SliderMinimum = 0;   // ScrollBar1
    int SliderMaximum = 0;
    int SliderPosition = 0;
    bool SliderEnabled = false;
    bool ValueBoxEnabled = false;
    bool SwitchButtonVisible = false;  // RocniAvtomatski, automatic runs only
    bool SwitchButtonEnabled = true;
    bool TimerEnabled = false;  // Timer1
    int TimerInterval = 1000;   // ms
    // Progress of the run: "Step k of N" (or the wait before step 1) and the
    // elapsed and remaining time of an automatic run, the elapsed time of a
    // manual one; ProgressPercent is -1 when the run has no planned end.
    std::string ProgressStep;
    std::string ProgressTime;
    int ProgressPercent = -1;
};

// A duration in whole seconds as "m:ss" or "h:mm:ss".
std::string DurationText(double seconds);

// One point for each of the four charts.
struct ChartPoint {
    double Time = 0.0;
    double MV = 0.0;  // Chart1
    double U1 = 0.0;  // Chart_U
    double Y1 = 0.0;  // Chart3
    double Y2 = 0.0;  // Chart2
};

// What a sample does to each of the four series: first remove DropOldest
// points from the front, then append Add. The charts never show the point at
// t = 0 once the second sample is there, and keep the last 200 s.
struct ChartUpdate {
    int DropOldest = 0;
    ChartPoint Add;
};

struct SampleOutcome {
    bool Taken = false;  // false when no run was going on
    ChartUpdate Chart;   // valid when Taken
    bool Ended = false;  // the run ended with this sample
    // The message of the run's first refused write of MV1, at that sample
    // only: the window shows it once per run.
    std::string FirstWriteRefusal;
};

// The end of a run, for the Data page's loading of the record.
struct ExperimentEnd {
    int SampleCount = 0;        // rows of MeasuredData, at least 10
    double SamplingTime = 0.0;  // s
    // The Data page's window start (ScrollBar3): set it when ApplyDataWindowStart,
    // that is when the run ended with the step sequence active (an automatic run
    // that was not switched to manual). Already within 1 .. SampleCount - 2.
    bool ApplyDataWindowStart = false;
    int DataWindowStart = 1;
    bool ClosedLoopAfter = false;  // the controller mode commanded after the run
    // The text of a failed manual/automatic command after the run; the run has
    // ended all the same. Empty when the command succeeded.
    std::string LoopModeError;
};

class ExperimentRun {
public:
    // plant may be null (no plant access at all). When it is not, the group
    // "Skupina1" is added to it here, with dead band 0 and update rate 10 ms:
    // make one ExperimentRun per plant connection. processEvents is called
    // while waiting for MV1's quality (may be empty).
    ExperimentRun(PlantAccess* plant, const Clock& clock, MeasuredData& data, std::uint32_t seed,
                  std::function<void()> processEvents, char decimalSeparator = '.');

    ExperimentParameters Parameters;

    // --- Before a run -----------------------------------------------------
    // Removes all items of the experiment group and adds U1, MV1, Y1, Y2 and
    // the M/A item, or the Manual and Automatic items, into Parameters.
    // Without plant access the items stay empty.
    void PrepareItems(const ExperimentItemIds& ids);

    // A manual run: waits for MV1's quality; when it is not good,
    // showMessage(NoConnectionMessage); commands the controller mode for the
    // run; enables the slider, the value box and the timer; freezes the step
    // sequence. Returns whether the quality was good.
    bool StartManualRun(const std::function<void(const std::string&)>& showMessage = {});
    // An automatic run: the same wait without a message; the controller mode;
    // NextSwitchTime := WaitingTime, StepCounter := 0, StepTimer := 0; the
    // step sequence runs; the slider and the value box are disabled.
    bool StartAutomaticRun();

    // Repeats: process events, read the ticks, check MV1's quality; until good
    // or 3000 ms have passed; always checks once. Without plant access or an
    // MV1 item the quality cannot become good: one check, no wait.
    bool WaitForQuality();

    // The controller's mode, by the M/A item or the Manual/Automatic command
    // items; nothing when NoWrite or without plant access. While connected,
    // each write is recorded in the write log when one is set (not owned).
    void SetLoopManual();
    void SetLoopAutomatic();
    void SetWriteLog(class WriteLog* log) { writeLog_ = log; }

    // --- The window -------------------------------------------------------
    // Showing the window: resets the simulation, ElapsedTime := 0, the record
    // to one (empty) row of six columns; the starting value; the slider; the
    // caption and timer interval; the first sample (t = 0); the timer.
    // The charts are to be cleared before the returned update is applied.
    SampleOutcome FormShow(const SliderSettings& slider);

    // One sample (Timer1): the plant or the simulation, labels, record, chart
    // update, time, step sequence, sample limit. Does nothing unless running.
    // A failed plant read or write raises and leaves the sample untaken.
    //
    // From the plant, a signal whose value is not a finite number or whose
    // quality is not good keeps its last usable value of the run (in labels,
    // record and charts) and the status bar names it; MV1 is recorded as the
    // run commands it and written only when finite.
    //
    // A write of MV1 that the plant refuses (not writable, out of range, any
    // other status) while the server still answers does not stop the sample:
    // the reads follow, the sample is recorded with the commanded MV1, the
    // clock and the step sequence go on, the status bar counts the refusals,
    // the run's events note the samples (see Events()), and the first
    // refusal of the run comes back in the outcome's FirstWriteRefusal.
    //
    // A server that has not answered for SilenceLimitMs (it hangs, or the
    // network is gone, before the client's own check gives the connection
    // up) counts as a lost link; the samples taken since its last answer
    // repeat its last values and are noted as not from the plant.
    //
    // A link to the plant lost during a run (the connection ended, also in
    // the middle of the sample's write or reads): the run goes on in the
    // simulation for the rest of the run, even should a connection come back,
    // and every sample's status bar says when the link was lost. The samples
    // taken from the plant before stay in the record as they were. The
    // simulation takes over at the plant's last sample (MV1, U1, Y1, Y2 as
    // recorded) as its operating point, so the record has no jump at the
    // takeover; from there it follows MV1 with its own dynamics.
    SampleOutcome Timer1Timer();

    // "Switch to manual": enables the slider and the value box, freezes the
    // step sequence, shows InputValue in the value box and the slider (without
    // moving MV1 to the slider's grid), disables the button. The window also
    // checks the main window's "Manual experiment" button.
    void SwitchToManual();

    // Enter in the value box: InputValue := the number, then the slider shows
    // it. A text that is not a number raises ConversionError; nothing changes.
    void EnterValue(std::string_view text);

    // The slider moved to position (also by the window, ScrollBar1Change):
    // ignored while ElapsedTime is 0; else InputValue := the position's value
    // and the value box shows it with 8 significant digits.
    void ScrollBar1Change(int position);

    // "End of experiment", closing the window, the end of the step sequence or
    // the sample limit. Acts once per run; returns false when no run was going
    // on (already ended, or not shown yet). See EndResult().
    bool EndExperiment();

    // The main window's "Manual experiment" button: while checked the step
    // sequence stands still. Set by the start calls and by SwitchToManual.
    void SetManualExperiment(bool checked) { manualExperiment_ = checked; }
    bool ManualExperiment() const { return manualExperiment_; }

    // --- Slider -----------------------------------------------------------
    // Range from MAX, MIN, Step: maximum := round(SafeDivide(MAX - MIN, Step,
    // MAX - MIN)) held within 0 .. SliderMaximumLimit; SliderScale :=
    // SafeDivide(MAX - MIN, maximum, MAX - MIN); SliderOffset := MIN.
    void SetUpSlider(const SliderSettings& slider);
    // The value of a position: (maximum - position) * SliderScale + SliderOffset.
    double SliderValue(int position) const;
    // Shows v: p := round(SafeDivide(v - SliderOffset, SliderScale, v - SliderOffset));
    // p above the maximum raises the maximum to p (position 0); p within the
    // range sets position := maximum - p. A p below the range (or beyond the
    // limit) cannot be shown: the slider goes to its bottom (top) end and
    // InputValue stays as it is. When runsChangeHandling and the position
    // changed, the change is handled as ScrollBar1Change.
    void ShowInSlider(double v, bool runsChangeHandling = true);

    // --- State ------------------------------------------------------------
    const ExperimentView& View() const { return view_; }
    const ExperimentEnd& EndResult() const { return end_; }
    bool Running() const { return state_ == State::Running; }
    bool Ended() const { return state_ == State::Ended; }
    bool Connected() const;
    PlantGroup* ExperimentGroup() const { return group_; }

    double InputValue() const { return inputValue_; }
    double ProcessInputValue() const { return processInputValue_; }
    double Measurement1Value() const { return measurement1Value_; }
    double Measurement2Value() const { return measurement2Value_; }
    double ElapsedTime() const { return elapsedTime_; }
    double SliderScale() const { return sliderScale_; }
    double SliderOffset() const { return sliderOffset_; }
    double NextSwitchTime() const { return nextSwitchTime_; }
    double StepTimer() const { return stepTimer_; }
    int StepCounter() const { return stepCounter_; }
    int RecordedSamples() const { return recorded_; }
    double SamplingPeriod() const;  // Ts in s
    // Samples an automatic run records when it runs to its end: the waiting
    // phase and each step last the smallest whole number of samples not
    // shorter than their time (at least one); at most MaxExperimentSamples.
    int PlannedSamples() const;
    const ProcessSimulation& Simulation() const { return simulation_; }
    // The link to the plant was lost in this run; from LinkLostTime() on (the
    // time of the first simulated sample) the samples are the simulation's.
    bool LinkLost() const { return linkLost_; }
    double LinkLostTime() const { return linkLostTime_; }
    // Samples of this run taken from the plant.
    int PlantSamples() const { return plantSamples_; }
    // Writes of MV1 the plant refused in this run.
    int RefusedWrites() const { return refusedWrites_; }
    // What happened to the plant link in this run, and which samples are not
    // the plant's own (see RunEvents.h).
    const RunEvents& Events() const { return events_; }

private:
    enum class State { Idle, Running, Ended };

    double TimeOfSample(long long k) const;  // k * SamplingMs / 1000, exactly rounded
    void CommandLoopForRun();
    void NextStep();
    void TakeSample(SampleOutcome& outcome);
    void SamplePlant(SampleOutcome& outcome);
    bool ServerSilent() const;
    void NoteSilentSamples();
    void SampleSimulation();
    void ShowLabels();
    void ShowProgress();
    long long PhaseSamples(double seconds) const;
    std::string Fixed(double v) const;

    PlantAccess* plant_;
    PlantGroup* group_ = nullptr;
    class WriteLog* writeLog_ = nullptr;
    const Clock& clock_;
    MeasuredData& data_;
    std::function<void()> processEvents_;
    char separator_;
    ProcessSimulation simulation_;

    State state_ = State::Idle;
    ExperimentView view_;
    ExperimentEnd end_;
    bool manualExperiment_ = true;
    bool automaticRun_ = false;  // the run was started with its step sequence

    double inputValue_ = 0.0;
    double processInputValue_ = 0.0;
    double measurement1Value_ = 0.0;
    double measurement2Value_ = 0.0;
    double elapsedTime_ = 0.0;
    int recorded_ = 0;  // samples recorded in this run (n - 1)

    bool startedWithPlant_ = false;  // connected when the run was shown
    bool linkLost_ = false;
    double linkLostTime_ = 0.0;
    int plantSamples_ = 0;
    double lastPlantInput_ = 0.0;  // MV1 of the last sample from the plant
    int refusedWrites_ = 0;
    RunEvents events_;
    std::vector<std::int64_t> sampleTicks_;  // clock ticks (ms) at which each sample was taken

    double sliderScale_ = 1.0;
    double sliderOffset_ = 0.0;

    double nextSwitchTime_ = 0.0;
    double stepTimer_ = 0.0;
    long long stepSamples_ = 0;  // samples since the last switch (StepTimer = this * Ts)
    int stepCounter_ = 0;

    int chartPoints_ = 0;           // points each series holds
    bool chartHoldsFirst_ = false;  // the point at t = 0 is still in the series
};

}  // namespace halvetra
