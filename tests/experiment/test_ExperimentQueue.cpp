#include "experiment/ExperimentQueue.h"

#include "data/Errors.h"
#include "data/TextFile.h"
#include "settings/SettingsFile.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <functional>

namespace halvetra {
namespace {

using Lines = std::vector<std::string>;

const QLocale German(QLocale::German, QLocale::Germany);  // dd.MM.yyyy
const QDate Today(2006, 12, 6);

QDateTime At(int h, int m, int s, int ms = 0) { return QDateTime(Today, QTime(h, m, s, ms)); }

// "Save settings" as the page runs it: the saved file's name, or nothing when cancelled.
struct FakeSave {
    std::optional<std::string> name;
    int calls = 0;
    std::optional<std::string> operator()() {
        ++calls;
        return name;
    }
};

TEST(ActivationTimes, SamplingAndWaitingTimeRaised) {
    EXPECT_EQ(RaiseSamplingTimeText("0.01", '.'), "0.05");
    EXPECT_EQ(RaiseSamplingTimeText("0,01", ','), "0,05");
    EXPECT_EQ(RaiseSamplingTimeText(" 1.50", '.'), " 1.50");  // kept as typed
    EXPECT_THROW(RaiseSamplingTimeText("0.01", ','), ConversionError);
    EXPECT_EQ(RaiseWaitingTimeText("0", 1.0, '.'), "2");
    EXPECT_EQ(RaiseWaitingTimeText("0", 0.05, ','), "0,1");
    EXPECT_EQ(RaiseWaitingTimeText("2", 1.0, '.'), "2");
    EXPECT_EQ(RaiseWaitingTimeText("0", 1.0 / 3.0, '.'), "0.6666666667");  // 10 digits
    EXPECT_THROW(RaiseWaitingTimeText("two", 1.0, '.'), ConversionError);
}

TEST(StartTimes, TimeAndStartTexts) {
    EXPECT_EQ(ParseTimeText(" 9:05:07 "), QTime(9, 5, 7));
    EXPECT_EQ(ParseTimeText("23:59:59"), QTime(23, 59, 59));
    for (const char* bad : {"", "12:00", "24:00:00", "12:60:00", "12:0a:00", "123:00:00", "__:__:__"})
        EXPECT_THROW(ParseTimeText(bad), ConversionError) << bad;
    EXPECT_EQ(TimeText(QTime(9, 5, 7, 640)), "09:05:07");

    const QDate date(2006, 12, 6);
    for (const QLocale& locale : {QLocale::c(), German, QLocale(QLocale::English, QLocale::UnitedStates),
                                  QLocale(QLocale::Slovenian, QLocale::Slovenia)}) {
        ExperimentQueue queue(locale);
        const std::string text = queue.StartText(date, "9:05:07");
        EXPECT_EQ(queue.ParseStartText(text), QDateTime(date, QTime(9, 5, 7))) << text;
        EXPECT_NE(text.find("2006"), std::string::npos) << text;
    }
    ExperimentQueue queue(German);
    EXPECT_EQ(queue.StartText(date, "12:00:00"), "06.12.2006 12:00:00");
    EXPECT_EQ(ProposedSettingsFileName("12:00:00", ShortDateText(date, German)), "12_00_00__06_12_2006.hvx");
    for (const char* bad : {"06.12.2006", "31.02.2006 12:00:00", "12/6/2006 12:00:00"})
        EXPECT_THROW(queue.ParseStartText(bad), ConversionError) << bad;
}

TEST(StartTimes, EarlierThanNowRule) {
    const QDateTime now = At(10, 0, 0);
    EXPECT_TRUE(StartIsEarlierThanNow(Today, QTime(10, 0, 0), now));
    EXPECT_TRUE(StartIsEarlierThanNow(Today, QTime(10, 0, 0), At(10, 0, 0, 1)));
    EXPECT_FALSE(StartIsEarlierThanNow(Today, QTime(10, 0, 1), now));
    EXPECT_TRUE(StartIsEarlierThanNow(Today.addDays(-1), QTime(23, 0, 0), now));
    EXPECT_FALSE(StartIsEarlierThanNow(Today.addDays(1), QTime(9, 0, 0), now));
}

TEST(QueueOrder, InsertionDeletionAndTimer) {
    ExperimentQueue queue(German);
    EXPECT_FALSE(queue.TimerEnabled());
    EXPECT_EQ(queue.Insert("06.12.2006 12:00:00", "noon", "/a"), 0);
    EXPECT_TRUE(queue.TimerEnabled());
    EXPECT_EQ(queue.Insert("06.12.2006 14:00:00", "two", "/b"), 1);
    EXPECT_EQ(queue.Insert("06.12.2006 13:00:00", "one", "/c"), 1);    // before the later 14:00
    EXPECT_EQ(queue.Insert("06.12.2006 12:0:00", "noon 2", "/d"), 1);  // equal start: after the first
    EXPECT_EQ(queue.Insert("05.12.2006 23:00:00", "early", "/e"), 0);
    EXPECT_THROW(queue.Insert("06.12.2006 12:00", "bad", "/f"), ConversionError);
    EXPECT_EQ(queue.Labels(), (Lines{"early", "noon", "noon 2", "one", "two"}));
    EXPECT_EQ(queue.Folders(), (Lines{"/e", "/a", "/d", "/c", "/b"}));
    EXPECT_EQ(queue.StartTexts()[2], "06.12.2006 12:0:00");

    queue.Delete(2);
    EXPECT_EQ(queue.Labels(), (Lines{"early", "noon", "one", "two"}));
    EXPECT_EQ(queue.Folders(), (Lines{"/e", "/a", "/c", "/b"}));
    EXPECT_EQ(queue.StartTexts()[2], "06.12.2006 13:00:00");
    EXPECT_THROW(queue.Delete(4), ListIndexError);
    while (queue.Count() > 1) queue.Delete(0);
    EXPECT_TRUE(queue.TimerEnabled());
    queue.Delete(0);
    EXPECT_FALSE(queue.TimerEnabled());
}

TEST(Activation, RefusedAtItsStartAcceptedAfterSetCurrentTime) {
    ManualClock clock(At(10, 0, 0));
    ExperimentQueue queue(German);
    FakeSave save{"/runs/x/10_00_08__06_12_2006.hvx"};
    const Activation refused = queue.ActivateAutomatic(Today, "10:00:00", clock.now(), std::ref(save));
    EXPECT_EQ(refused.Outcome, ActivationOutcome::StartEarlierThanNow);
    EXPECT_EQ(refused.Message, "Start of experiment is earlier than current time");
    EXPECT_EQ(save.calls, 0);
    EXPECT_TRUE(queue.Empty());

    EXPECT_EQ(ProposedStart(clock.now()), At(10, 0, 8, 640));  // 0.0001 day
    const std::string time = TimeText(ProposedStart(clock.now()).time());
    const Activation accepted = queue.ActivateAutomatic(Today, time, clock.now(), std::ref(save));
    EXPECT_EQ(accepted.Outcome, ActivationOutcome::Queued);
    EXPECT_EQ(save.calls, 1);
    EXPECT_EQ(queue.StartTexts(), Lines{"06.12.2006 10:00:08"});
    EXPECT_EQ(queue.Labels(), Lines{"10_00_08__06_12_2006"});
    EXPECT_EQ(queue.Folders(), Lines{"/runs/x"});

    clock.advance(7999);
    EXPECT_FALSE(queue.Tick(clock));
    clock.advance(1);
    const std::optional<DueExperiment> due = queue.Tick(clock);
    ASSERT_TRUE(due);
    EXPECT_EQ(due->SettingsPath, "/runs/x/10_00_08__06_12_2006.hvx");
    EXPECT_EQ(due->Folder, "/runs/x");
}

TEST(Activation, CancelledSaveOrBadTimeQueuesNothing) {
    ExperimentQueue queue(German);
    FakeSave cancelled;
    const Activation result = queue.ActivateAutomatic(Today, "12:00:00", At(10, 0, 0), std::ref(cancelled));
    EXPECT_EQ(result.Outcome, ActivationOutcome::SettingsNotSaved);
    EXPECT_EQ(result.Message, "The experiment was not activated because its settings were not saved");
    EXPECT_EQ(cancelled.calls, 1);
    EXPECT_THROW(queue.ActivateAutomatic(Today, "1_:00:00", At(10, 0, 0), std::ref(cancelled)), ConversionError);
    EXPECT_EQ(cancelled.calls, 1);
    EXPECT_TRUE(queue.Empty());
    EXPECT_FALSE(queue.TimerEnabled());
}

TEST(Scheduler, EqualStartsRunOneAfterTheOther) {
    ManualClock clock(At(11, 59, 59, 500));
    ExperimentQueue queue(German);
    queue.Insert("06.12.2006 12:00:00", "first", "/runs");
    queue.Insert("06.12.2006 12:00:00", "second", "/runs");
    queue.Insert("06.12.2006 13:00:00", "third", "/runs");
    clock.advance(499);
    EXPECT_FALSE(queue.Tick(clock));
    clock.advance(1);
    ASSERT_EQ(queue.Tick(clock)->Label, "first");
    EXPECT_FALSE(queue.TimerEnabled());
    EXPECT_EQ(queue.Count(), 3);  // listed while it runs
    clock.advance(600000);
    EXPECT_FALSE(queue.Tick(clock));  // the timer is off during the run
    queue.RunFinished();
    EXPECT_TRUE(queue.TimerEnabled());
    ASSERT_EQ(queue.Tick(clock)->Label, "second");
    queue.RunFinished();
    EXPECT_FALSE(queue.Tick(clock));  // "third" waits for 13:00
    clock.setNow(At(13, 0, 0));
    ASSERT_EQ(queue.Tick(clock)->Label, "third");
    queue.RunFinished();
    queue.RunFinished();  // nothing handed out: nothing happens
    EXPECT_TRUE(queue.Empty());
    EXPECT_FALSE(queue.TimerEnabled());
}

TEST(Scheduler, RunningEntryStaysFirst) {
    // Not reachable from the page, whose experiment window is modal.
    ManualClock clock(At(12, 0, 0));
    ExperimentQueue queue(German);
    queue.Insert("06.12.2006 12:00:00", "a", "f");
    queue.Insert("06.12.2006 12:00:00", "b", "f");
    ASSERT_TRUE(queue.Tick(clock));
    EXPECT_EQ(queue.Insert("06.12.2006 11:00:00", "early", "f"), 1);
    EXPECT_FALSE(queue.TimerEnabled());
    queue.RunFinished();
    EXPECT_EQ(queue.Labels(), (Lines{"early", "b"}));
    ASSERT_EQ(queue.Tick(clock)->Label, "early");
    queue.Delete(0);
    EXPECT_FALSE(queue.TimerEnabled());  // deleting never turns it on
    queue.RunFinished();
    EXPECT_EQ(queue.Labels(), Lines{"b"});
    EXPECT_TRUE(queue.TimerEnabled());
}

TEST(Scheduler, BrokenEntriesAreRemovedAndTheNextRuns) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    ExperimentSettings good;
    good.CasVzorcenjaEdit = "0.5";
    SaveSettingsFile(SettingsFilePath(folder, "good"), good);
    Lines shortLines = BuildSettingsLines(good);
    shortLines.resize(60);
    WriteTextFile(SettingsFilePath(folder, "short"), shortLines);

    ManualClock clock(At(12, 0, 0));
    ExperimentQueue queue(German);
    queue.Insert("06.12.2006 12:00:00", "missing", folder);
    queue.Insert("06.12.2006 12:00:10", "short", folder);
    queue.Insert("06.12.2006 12:00:30", "good", folder);

    Lines errors, started;
    ExperimentSettings page;
    for (int i = 0; i < 120; ++i, clock.advance(500)) {  // the page's timer, one minute
        const std::optional<DueExperiment> due = queue.Tick(clock);
        if (!due) continue;
        try {
            const ExperimentRunParameters run = RunParametersFromLines(LoadSettingsFile(due->SettingsPath, page), '.');
            started.push_back(due->Label + " " + std::to_string(run.SamplingMs) + " at " +
                              clock.now().time().toString().toStdString());
            queue.RunFinished();
        } catch (const HalvetraError& e) {
            errors.emplace_back(e.what());
            queue.RunFailed();
        }
    }
    EXPECT_EQ(errors,
              (Lines{"Cannot open file " + SettingsFilePath(folder, "missing"), "List index out of bounds (60)"}));
    EXPECT_EQ(started, Lines{"good 500 at 12:00:30"});
    EXPECT_EQ(page, good);
    EXPECT_TRUE(queue.Empty());
}

}  // namespace
}  // namespace halvetra
