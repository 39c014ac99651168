#include "experiment/RunEvents.h"

#include <algorithm>

#include "data/NumberText.h"

namespace halvetra {

namespace {

std::string Samples(const RunEvent& e) {
    if (e.FirstSample == e.LastSample) return "sample " + std::to_string(e.FirstSample);
    return "samples " + std::to_string(e.FirstSample) + " to " + std::to_string(e.LastSample);
}

std::string Time(double seconds, char separator) { return FormatShortest15(seconds, separator); }

}  // namespace

void RunEvents::Reset() {
    events_.clear();
    notFromPlant_.clear();
}

void RunEvents::Note(RunEventKind kind, const std::string& subject, int sample, double time, const std::string& detail,
                     bool notFromPlant) {
    if (notFromPlant) MarkNotFromPlant(sample, sample);
    // The latest event of the same kind and subject goes on when this sample follows it.
    for (auto it = events_.rbegin(); it != events_.rend(); ++it) {
        if (it->Kind != kind || it->Subject != subject) continue;
        if (it->LastSample == sample - 1 || it->LastSample == sample) {
            if (it->LastSample != sample || kind == RunEventKind::WritesRefused) ++it->Count;
            it->LastSample = sample;
            return;
        }
        break;
    }
    RunEvent event;
    event.Kind = kind;
    event.Time = time;
    event.FirstSample = sample;
    event.LastSample = sample;
    event.Count = 1;
    event.Subject = subject;
    event.Detail = detail;
    events_.push_back(std::move(event));
}

void RunEvents::MarkNotFromPlant(int first, int last) {
    first = std::max(first, 1);
    if (last < first) return;
    if (notFromPlant_.size() < static_cast<std::size_t>(last)) notFromPlant_.resize(static_cast<std::size_t>(last), 0);
    std::fill(notFromPlant_.begin() + (first - 1), notFromPlant_.begin() + last, 1);
}

void RunEvents::SetSampleCount(int samples) {
    if (samples >= 0 && notFromPlant_.size() > static_cast<std::size_t>(samples))
        notFromPlant_.resize(static_cast<std::size_t>(samples));
    for (RunEvent& e : events_) e.LastSample = std::min(e.LastSample, std::max(samples, e.FirstSample));
}

bool RunEvents::NotFromPlant(int sample) const {
    return sample >= 1 && static_cast<std::size_t>(sample) <= notFromPlant_.size() &&
           notFromPlant_[static_cast<std::size_t>(sample - 1)] != 0;
}

int RunEvents::CountNotFromPlant(int first, int last) const {
    int count = 0;
    for (int k = first; k <= last; ++k) count += NotFromPlant(k) ? 1 : 0;
    return count;
}

std::string DescribeRunEvent(const RunEvent& e) {
    const std::string detail = e.Detail.empty() ? std::string() : " (" + e.Detail + ")";
    switch (e.Kind) {
    case RunEventKind::WritesRefused:
        if (e.Subject == "MV1")
            return "MV1: " + std::to_string(e.Count) + (e.Count == 1 ? " write" : " writes") + " refused by the plant" +
                   detail + ", " + Samples(e) + "; the record holds the commanded MV1, which the plant did not take";
        return e.Subject + ": write refused by the plant" + detail;
    case RunEventKind::SignalUnusable:
        return e.Subject + " had no usable value" + detail + ", " + Samples(e) + "; its last usable value was recorded";
    case RunEventKind::ServerSilent:
        return "the OPC server stopped answering: " + Samples(e) + " repeat its last values and are not from the plant";
    case RunEventKind::LinkLost:
        return "link to the OPC server lost" + detail + ": " + Samples(e) +
               " are from the built-in simulation, not from the plant";
    case RunEventKind::LoopModeFailed:
        return "the controller's mode was not commanded" + (e.Subject.empty() ? std::string() : " " + e.Subject) +
               detail;
    }
    return {};
}

std::vector<std::string> RunEventsFileLines(const RunEvents& events, const std::string& label) {
    std::vector<std::string> lines;
    lines.push_back("# Events of the run " + label + ": time in s, first sample (counted from 1), what happened");
    for (const RunEvent& e : events.Events()) {
        std::string text = DescribeRunEvent(e);
        for (char& c : text)
            if (c == '\t' || c == '\r' || c == '\n') c = ' ';
        lines.push_back(Time(e.Time, '.') + '\t' + std::to_string(e.FirstSample) + '\t' + text);
    }
    return lines;
}

std::vector<std::string> RunEventWarnings(const RunEvents& events, char separator) {
    std::vector<std::string> warnings;
    for (const RunEvent& e : events.Events())
        warnings.push_back("t = " + Time(e.Time, separator) + " s, sample " + std::to_string(e.FirstSample) + ": " +
                           DescribeRunEvent(e));
    return warnings;
}

PlantSampleWindow PlantOnlyWindow(const RunEvents& events, int start, int end) {
    PlantSampleWindow w;
    w.Start = start;
    w.End = end;
    if (end < start) return w;
    int firstOther = 0;
    for (int k = start; k <= end && firstOther == 0; ++k)
        if (events.NotFromPlant(k)) firstOther = k;
    if (firstOther == 0) return w;
    w.Clean = false;
    const int chosen = end - start + 1;
    const int kept = firstOther - start;
    const std::string range = std::to_string(start) + " to " + std::to_string(end);
    if (kept >= MinimumPlantWindow && 2 * kept >= chosen) {
        w.End = firstOther - 1;
        w.Reason = "The identification window was limited to samples " + std::to_string(start) + " to " +
                   std::to_string(w.End) + ", the plant's own samples; samples from " + std::to_string(firstOther) +
                   " on are not from the plant.";
        return w;
    }
    w.Usable = false;
    w.Reason = "No model or controller was made: " + std::to_string(events.CountNotFromPlant(start, end)) +
               " of the samples " + range + " are not from the plant (from sample " + std::to_string(firstOther) +
               " on), and the plant's own samples before them are too few to identify a model.";
    return w;
}

}  // namespace halvetra
