#pragma once
// The local date and time and a millisecond tick counter, behind an interface
// so that the scheduler, the experiment window and the pages can run in tests
// on a clock that moves only when the test moves it.
#include <QDateTime>
#include <cstdint>

namespace halvetra {

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;       // local date and time
    virtual std::int64_t ticks() const = 0;  // milliseconds, monotonic
};

// The real clock: QDateTime for the date, a steady clock for the ticks.
class SystemClock final : public Clock {
public:
    QDateTime now() const override;
    std::int64_t ticks() const override;
};

// A clock that stands still until advanced.
class ManualClock final : public Clock {
public:
    explicit ManualClock(QDateTime start) : current_(std::move(start)) {}
    QDateTime now() const override { return current_; }
    std::int64_t ticks() const override { return ticks_; }
    void advance(std::int64_t milliseconds) {
        ticks_ += milliseconds;
        current_ = current_.addMSecs(milliseconds);
    }
    void setNow(const QDateTime& when) { current_ = when; }

private:
    QDateTime current_;
    std::int64_t ticks_ = 0;
};

}  // namespace halvetra
