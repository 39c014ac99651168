#pragma once
// The write log: every value a user's command writes to the plant, one line
// per item, appended to a text file that people and scripts can read.
//
//   # time<TAB>server<TAB>user<TAB>item<TAB>old value<TAB>new value<TAB>result
//   2026-12-08T07:52:22.123Z<TAB>opc.tcp://127.0.0.1:4840<TAB>anonymous<TAB>ns=1;s=Loop1.P<TAB>0.735<TAB>1.413<TAB>ok
//
// The time is UTC in ISO 8601 form with milliseconds; numbers are written with
// a point and in their shortest exact form; an old value that was not known
// is an empty field; the result is "ok" or the server's or client's text. A
// tab, carriage return or line feed inside a field becomes a space, so every
// line has exactly seven fields. The header comment is written when the file
// is new or empty.
//
// Appending never throws and never undoes anything: the lines of one call go
// to the file in one append and are flushed to the disk; a failure is handed
// to Failed (and returned) so its owner can tell the user.
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace halvetra {

struct WriteLogLine {
    std::string Item;
    std::optional<double> OldValue;  // unknown: empty field
    double NewValue = 0.0;
    std::string Result = "ok";
};

class WriteLog {
public:
    static constexpr const char* Header = "# time\tserver\tuser\titem\told value\tnew value\tresult\n";
    static constexpr const char* FileName = "writes.log";

    explicit WriteLog(std::string path) : path_(std::move(path)) {}

    const std::string& Path() const { return path_; }

    // Appends one line per entry (nothing for no entries). The folder of the
    // file is created when missing. Returns an empty text, or what went wrong.
    std::string Append(const std::string& serverUrl, const std::string& user, const std::vector<WriteLogLine>& lines,
                       std::chrono::system_clock::time_point when = std::chrono::system_clock::now());

    // Told about every failure to log, with a text for the user.
    std::function<void(const std::string&)> Failed;
    // How many appends failed so far, and the text of the last failure.
    int Failures() const { return failures_; }
    const std::string& LastFailure() const { return lastFailure_; }

private:
    std::string path_;
    int failures_ = 0;
    std::string lastFailure_;
};

// The text of one line without its line end.
std::string WriteLogText(std::chrono::system_clock::time_point when, const std::string& serverUrl,
                         const std::string& user, const WriteLogLine& line);

// The result field of item `id` from the text of a failed write: the line of
// a "Cannot write Items:" text that names the item, else the whole text.
std::string WriteResultOf(const std::string& errorText, const std::string& id);

}  // namespace halvetra
