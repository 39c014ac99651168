#include "experiment/ExperimentQueue.h"

#include "data/Errors.h"
#include "data/NumberText.h"
#include "settings/SettingsFile.h"

#include <utility>

namespace halvetra {

namespace {

// "Set current time" looks 0.0001 day ahead.
constexpr qint64 ProposedStartDelayMs = 8640;

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// One or two decimal digits, below limit; -1 otherwise.
int TimeField(std::string_view text, int limit) {
    if (text.empty() || text.size() > 2) return -1;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value < limit ? value : -1;
}

}  // namespace

std::string RaiseSamplingTimeText(const std::string& samplingTimeText, char decimalSeparator) {
    if (TextToFloat(samplingTimeText, decimalSeparator) < MinimumExperimentSamplingTime)
        return FormatGeneral(MinimumExperimentSamplingTime, 15, decimalSeparator);
    return samplingTimeText;
}

std::string RaiseWaitingTimeText(const std::string& waitingTimeText, double samplingTime, char decimalSeparator) {
    const double minimum = 2.0 * samplingTime;
    if (TextToFloat(waitingTimeText, decimalSeparator) < minimum) return FormatGeneral(minimum, 10, decimalSeparator);
    return waitingTimeText;
}

QString ShortDateFormat(const QLocale& locale) {
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy"))) format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return format;
}

std::string ShortDateText(const QDate& date, const QLocale& locale) {
    return locale.toString(date, ShortDateFormat(locale)).toStdString();
}

std::string TimeText(const QTime& time) { return time.toString(QStringLiteral("hh:mm:ss")).toStdString(); }

QTime ParseTimeText(std::string_view text) {
    const std::string_view trimmed = Trimmed(text);
    const std::size_t first = trimmed.find(':');
    const std::size_t second = first == std::string_view::npos ? first : trimmed.find(':', first + 1);
    if (second != std::string_view::npos) {
        const int hours = TimeField(trimmed.substr(0, first), 24);
        const int minutes = TimeField(trimmed.substr(first + 1, second - first - 1), 60);
        const int seconds = TimeField(trimmed.substr(second + 1), 60);
        if (hours >= 0 && minutes >= 0 && seconds >= 0) return QTime(hours, minutes, seconds);
    }
    throw ConversionError("'" + std::string(text) + "' is not a valid time");
}

QDateTime ProposedStart(const QDateTime& now) { return now.addMSecs(ProposedStartDelayMs); }

bool StartIsEarlierThanNow(const QDate& date, const QTime& time, const QDateTime& now) {
    const QDate today = now.date();
    return (now.time() >= time && today >= date) || today > date;
}

ExperimentQueue::ExperimentQueue(QLocale locale) : locale_(std::move(locale)), dateFormat_(ShortDateFormat(locale_)) {}

std::string ExperimentQueue::StartText(const QDate& date, std::string_view timeText) const {
    return locale_.toString(date, dateFormat_).toStdString() + " " + std::string(timeText);
}

QDateTime ExperimentQueue::ParseStartText(std::string_view startText) const {
    // The time text holds no blank, the date text may: they part at the last blank.
    const std::string_view trimmed = Trimmed(startText);
    const std::size_t blank = trimmed.rfind(' ');
    if (blank != std::string_view::npos) {
        const std::string_view datePart = Trimmed(trimmed.substr(0, blank));
        const QDate date =
            locale_.toDate(QString::fromUtf8(datePart.data(), static_cast<qsizetype>(datePart.size())), dateFormat_);
        if (date.isValid()) {
            try {
                return QDateTime(date, ParseTimeText(trimmed.substr(blank + 1)));
            } catch (const ConversionError&) {
                // reported below with the whole text
            }
        }
    }
    throw ConversionError("'" + std::string(startText) + "' is not a valid date and time");
}

int ExperimentQueue::Insert(const std::string& startText, const std::string& label, const std::string& folder) {
    const QDateTime start = ParseStartText(startText);
    // A running experiment keeps its place at the top until it has finished.
    std::size_t position = runningEntryQueued_ ? 1 : 0;
    while (position < starts_.size() && !(starts_[position] > start)) ++position;
    const auto at = [position](auto& list) { return list.begin() + static_cast<std::ptrdiff_t>(position); };
    startTexts_.insert(at(startTexts_), startText);
    labels_.insert(at(labels_), label);
    folders_.insert(at(folders_), folder);
    starts_.insert(at(starts_), start);
    if (!running_) timerEnabled_ = true;
    return static_cast<int>(position);
}

Activation ExperimentQueue::ActivateAutomatic(const QDate& date, const std::string& timeText, const QDateTime& now,
                                              const std::function<std::optional<std::string>()>& saveSettings) {
    if (StartIsEarlierThanNow(date, ParseTimeText(timeText), now))
        return {ActivationOutcome::StartEarlierThanNow, -1, StartEarlierThanNowMessage};
    const std::optional<std::string> savedFile = saveSettings();
    if (!savedFile) return {ActivationOutcome::SettingsNotSaved, -1, SettingsNotSavedMessage};
    const int position = Insert(StartText(date, timeText), LabelOfSettingsFile(*savedFile), FolderOfFile(*savedFile));
    return {ActivationOutcome::Queued, position, {}};
}

void ExperimentQueue::Delete(int index) {
    if (index < 0 || index >= Count()) throw ListIndexError(index);
    const auto at = [index](auto& list) { return list.begin() + index; };
    startTexts_.erase(at(startTexts_));
    labels_.erase(at(labels_));
    folders_.erase(at(folders_));
    starts_.erase(at(starts_));
    if (index == 0 && runningEntryQueued_) runningEntryQueued_ = false;
    if (startTexts_.empty()) timerEnabled_ = false;
}

std::optional<DueExperiment> ExperimentQueue::Tick(const Clock& clock) {
    if (!timerEnabled_ || startTexts_.empty()) return std::nullopt;
    if (clock.now() < starts_.front()) return std::nullopt;
    timerEnabled_ = false;
    running_ = true;
    runningEntryQueued_ = true;
    return DueExperiment{folders_.front(), labels_.front(), SettingsFilePath(folders_.front(), labels_.front())};
}

void ExperimentQueue::RunFinished() { RemoveFirstAndResume(); }

void ExperimentQueue::RunFailed() { RemoveFirstAndResume(); }

void ExperimentQueue::RemoveFirstAndResume() {
    if (!running_) return;
    if (runningEntryQueued_) Delete(0);
    running_ = false;
    runningEntryQueued_ = false;
    timerEnabled_ = !startTexts_.empty();
}

}  // namespace halvetra
