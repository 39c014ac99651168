#pragma once
// What happened to the plant link during one experiment run, beside its
// record: writes the plant refused, signals without a usable value, a server
// that stopped answering, a lost link, a controller-mode command that failed.
// The record itself (.hvd) keeps its layout; these events go into a small
// text file next to it, into the report, and into the command line's
// warnings, and they tell which samples are not the plant's own:
//   - samples taken from the built-in simulation after the link was lost;
//   - samples taken while the server had stopped answering (its last values,
//     repeated);
//   - samples in which U1, Y1 or Y2 had no usable value (the last usable one
//     was recorded);
//   - samples whose MV1 the plant refused to take (the record holds the
//     commanded MV1, not what the plant did).
// A run without any plant connection (the built-in simulation from its start)
// has no events: its record is the simulation's by design.
//
// Samples are numbered from 1, as the Data page's window counts them.
#include <string>
#include <vector>

namespace halvetra {

enum class RunEventKind {
    WritesRefused,   // a write of Subject the plant refused (Count writes)
    SignalUnusable,  // Subject had bad quality or no finite value
    ServerSilent,    // the server stopped answering; its last values repeated
    LinkLost,        // the link was given up; the simulation took over
    LoopModeFailed,  // the controller's manual/automatic command failed
};

struct RunEvent {
    RunEventKind Kind = RunEventKind::LinkLost;
    double Time = 0.0;    // s, of FirstSample
    int FirstSample = 1;  // counted from 1
    int LastSample = 1;   // inclusive
    int Count = 1;        // refused writes, or samples concerned
    std::string Subject;  // "MV1", "Y1", the M/A item, ...
    std::string Detail;   // the plant's error text, when there is one
};

class RunEvents {
public:
    // A new run: no events, every sample the plant's.
    void Reset();

    // Sample `sample` (from 1, at `time` s) had this event. Consecutive samples
    // with the same kind and subject extend one event (the detail of the first
    // stays); `notFromPlant` marks the sample as not the plant's own.
    void Note(RunEventKind kind, const std::string& subject, int sample, double time, const std::string& detail,
              bool notFromPlant);
    // Marks samples first .. last (from 1) as not the plant's own.
    void MarkNotFromPlant(int first, int last);
    // The record was cut or padded to `samples` rows: flags beyond it go.
    void SetSampleCount(int samples);

    const std::vector<RunEvent>& Events() const { return events_; }
    bool Empty() const { return events_.empty(); }
    // Whether sample `sample` (from 1) is not the plant's own.
    bool NotFromPlant(int sample) const;
    // Samples first .. last (from 1) that are not the plant's own.
    int CountNotFromPlant(int first, int last) const;

private:
    std::vector<RunEvent> events_;
    std::vector<unsigned char> notFromPlant_;  // by sample, from index 0 = sample 1
};

// One event as a person reads it, e.g. "MV1: 12 writes refused by the plant
// (BadNotWritable), samples 6 to 17; the record holds the commanded MV1,
// which the plant did not take".
std::string DescribeRunEvent(const RunEvent& event);

// The lines of the events file: a comment line naming the run and the
// columns, then one line per event: time in s (with a point), TAB, the first
// sample, TAB, the description.
std::vector<std::string> RunEventsFileLines(const RunEvents& events, const std::string& label);

// Short warnings, one per event, for the command line's "warnings" and the
// window's message after an unattended run: "t = 3.5 s, sample 8: ..."; the
// time is written with `separator`.
std::vector<std::string> RunEventWarnings(const RunEvents& events, char separator = '.');

// The identification window of a record whose run had events: [Start, End]
// within the chosen window that holds only the plant's own samples.
struct PlantSampleWindow {
    bool Clean = true;   // the chosen window holds only the plant's samples
    bool Usable = true;  // Start..End may be identified (Clean, or limited)
    int Start = 1;
    int End = 1;
    std::string Reason;  // when not Clean: what was done, or why nothing is identified
};

// Keeps the chosen window's start and ends it before its first sample that is
// not the plant's own. That is enough when it keeps at least half of the
// chosen window and at least MinimumPlantWindow samples; otherwise the window
// is not usable and Reason says why.
inline constexpr int MinimumPlantWindow = 10;
PlantSampleWindow PlantOnlyWindow(const RunEvents& events, int start, int end);

}  // namespace halvetra
