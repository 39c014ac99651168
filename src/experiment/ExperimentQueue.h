#pragma once
// The queue of automatic experiments and its scheduler.
//
// Three parallel lists: the start texts (date text, one blank, time text), the
// labels and the folders of the queued experiments; entry i of each belongs to
// the same experiment, and entry i's settings file is
// folder + separator + label + ".hvx". The queue is kept in start order.
//
// The scheduler timer is modelled as a flag that the Experiment page mirrors
// onto its 500 ms timer after every call:
//   idle     (timer off, queue empty)
//   waiting  (timer on, queue not empty)    Activate / Insert: idle -> waiting
//   running  (timer off, first entry due)   Tick: waiting -> running
//   RunFinished / RunFailed: the first entry is removed; waiting when entries
//   remain, idle otherwise. Deleting the last entry: waiting -> idle.
//
// A failed start (its settings file cannot be read or applied, the plant
// refuses an item, ...) is reported by the caller, which then calls RunFailed:
// the broken entry leaves the queue and the experiments queued after it still
// run at their times.
#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QTime>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "experiment/Clock.h"

namespace halvetra {

inline constexpr const char* StartEarlierThanNowMessage = "Start of experiment is earlier than current time";
inline constexpr const char* SettingsNotSavedMessage =
    "The experiment was not activated because its settings were not saved";

// The smallest sampling time an experiment runs with [s].
inline constexpr double MinimumExperimentSamplingTime = 0.05;

// Activation, first step: the sampling time text, replaced by the text of 0.05
// when it reads as less than 0.05. ConversionError when it is not a number.
std::string RaiseSamplingTimeText(const std::string& samplingTimeText, char decimalSeparator);

// Activation, second step: the waiting time text, replaced by 2 Ts in general
// format with 10 digits when it reads as less than 2 Ts.
// ConversionError when it is not a number.
std::string RaiseWaitingTimeText(const std::string& waitingTimeText, double samplingTime, char decimalSeparator);

// The date format of start texts: the locale's short date format with the year
// widened to four digits, so that a date text reads back as the same date.
QString ShortDateFormat(const QLocale& locale);
std::string ShortDateText(const QDate& date, const QLocale& locale);

// A time of day as the start-time box shows it: "hh:mm:ss".
std::string TimeText(const QTime& time);

// Reads a start-time text "h:mm:ss" (hours with one or two digits; blanks
// around are ignored). ConversionError "'<text>' is not a valid time" otherwise.
QTime ParseTimeText(std::string_view text);

// "Set current time": the start proposed for now, 0.0001 day (8.64 s) later.
// Its time without the fraction of a second goes into the start-time box.
QDateTime ProposedStart(const QDateTime& now);

// The refusal of an automatic start: with S the start time and D the start
// date, (now's time >= S and today >= D) or today > D.
bool StartIsEarlierThanNow(const QDate& date, const QTime& time, const QDateTime& now);

// The entry that is due, as the scheduler hands it to the page.
struct DueExperiment {
    std::string Folder;        // the new WorkingFolder
    std::string Label;         // the ExperimentLabel
    std::string SettingsPath;  // Folder + separator + Label + ".hvx"
};

enum class ActivationOutcome {
    Queued,               // inserted at Position; the timer is on
    StartEarlierThanNow,  // refused before anything was saved
    SettingsNotSaved,     // the save dialog was cancelled: nothing queued
};

struct Activation {
    ActivationOutcome Outcome = ActivationOutcome::Queued;
    int Position = -1;    // the new entry's index when queued
    std::string Message;  // the text to show when not queued
};

class ExperimentQueue {
public:
    // Start texts are written and read with the locale's short date format
    // (ShortDateFormat).
    explicit ExperimentQueue(QLocale locale = QLocale::system());

    int Count() const { return static_cast<int>(startTexts_.size()); }
    bool Empty() const { return startTexts_.empty(); }
    const std::vector<std::string>& StartTexts() const { return startTexts_; }
    const std::vector<std::string>& Labels() const { return labels_; }
    const std::vector<std::string>& Folders() const { return folders_; }
    bool TimerEnabled() const { return timerEnabled_; }
    bool Running() const { return running_; }

    // The start text of a date and a start-time text: date text + " " + time text.
    std::string StartText(const QDate& date, std::string_view timeText) const;
    // Reads a start text back; ConversionError
    // "'<text>' is not a valid date and time" when it cannot.
    QDateTime ParseStartText(std::string_view startText) const;

    // Inserts before the first entry whose start is later than the new one
    // (so equal starts keep their order of activation), or appends; turns the
    // timer on and returns the position. A start text that cannot be read
    // throws ConversionError and queues nothing.
    int Insert(const std::string& startText, const std::string& label, const std::string& folder);

    // The activation of an automatic experiment for the start date and the
    // text of the start-time box: refused when the start is earlier than now
    // (saveSettings is then not called); otherwise saveSettings runs the
    // "Save settings" command and returns the saved file's full name, or
    // nothing when the user cancelled, in which case nothing is queued. The
    // entry's label and folder are those of the saved file.
    // ConversionError when the time text is not a time.
    Activation ActivateAutomatic(const QDate& date, const std::string& timeText, const QDateTime& now,
                                 const std::function<std::optional<std::string>()>& saveSettings);

    // Removes entry index from the three lists (the Delete key in the time
    // list); the timer goes off when the queue becomes empty and is never
    // turned on here. ListIndexError when there is no such entry.
    // While an experiment runs (not possible from the page, whose experiment
    // window is modal) its entry stays first: new entries go after it, and
    // deleting it only keeps RunFinished from removing another one.
    void Delete(int index);

    // One tick of the scheduler timer. Nothing while the timer is off or
    // before the first entry's start; a start that passed while another
    // experiment ran is due at the first tick after it. When due: the timer
    // goes off and the first entry is returned; it stays first in the lists
    // until RunFinished or RunFailed.
    std::optional<DueExperiment> Tick(const Clock& clock);

    // After the due experiment's run and processing chain: the first entry is
    // removed and the timer turned on again when entries remain. Nothing
    // happens unless a Tick has handed out an experiment.
    void RunFinished();
    // After a due experiment could not be started (the caller reports the
    // error): the same as RunFinished, so one broken entry never blocks the
    // experiments queued after it.
    void RunFailed();

private:
    void RemoveFirstAndResume();

    QLocale locale_;
    QString dateFormat_;
    std::vector<std::string> startTexts_;
    std::vector<std::string> labels_;
    std::vector<std::string> folders_;
    std::vector<QDateTime> starts_;  // startTexts_ as read at insertion
    bool timerEnabled_ = false;
    bool running_ = false;             // between a due Tick and RunFinished / RunFailed
    bool runningEntryQueued_ = false;  // the running experiment is still entry 0
};

}  // namespace halvetra
