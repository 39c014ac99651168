#include "experiment/WriteLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <sys/stat.h>

namespace halvetra {

namespace {

std::string Field(const std::string& text) {
    std::string field = text;
    for (char& c : field)
        if (c == '\t' || c == '\r' || c == '\n') c = ' ';
    return field;
}

std::string Number(double value) {
    if (!std::isfinite(value)) return std::isnan(value) ? "nan" : (value > 0 ? "inf" : "-inf");
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return error == std::errc() ? std::string(buffer, end) : std::string();
}

std::string IsoTime(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(when.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000 - (ms % 1000 < 0 ? 1 : 0));
    const int millis = static_cast<int>(((ms % 1000) + 1000) % 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[64];  // room for any year the time type holds
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, millis);
    return text;
}

// Writes all of `bytes`, going on after a short write or an interruption.
bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::string WriteLogText(std::chrono::system_clock::time_point when, const std::string& serverUrl,
                         const std::string& user, const WriteLogLine& line) {
    std::string text = IsoTime(when);
    for (const std::string& field :
         {Field(serverUrl), Field(user.empty() ? std::string("anonymous") : user), Field(line.Item),
          line.OldValue ? Number(*line.OldValue) : std::string(), Number(line.NewValue),
          Field(line.Result.empty() ? std::string("ok") : line.Result)})
        text += '\t' + field;
    return text;
}

std::string WriteResultOf(const std::string& errorText, const std::string& id) {
    std::size_t start = 0;
    while (start <= errorText.size()) {
        std::size_t end = errorText.find('\n', start);
        if (end == std::string::npos) end = errorText.size();
        const std::string line = errorText.substr(start, end - start);
        if (!id.empty() && line.rfind(id + ": ", 0) == 0) return line.substr(id.size() + 2);
        start = end + 1;
    }
    return errorText;
}

std::string WriteLog::Append(const std::string& serverUrl, const std::string& user,
                             const std::vector<WriteLogLine>& lines, std::chrono::system_clock::time_point when) {
    if (lines.empty()) return {};
    std::string bytes;
    for (const WriteLogLine& line : lines) bytes += WriteLogText(when, serverUrl, user, line) + '\n';

    std::string failure;
    std::error_code ignored;
    const std::filesystem::path path(path_);
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ignored);
    // Non-blocking only so that a pipe in its place fails at once instead of waiting for a reader.
    const int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0) {
        failure = std::strerror(errno);
    } else {
        struct stat info {};
        // Only a regular file takes the log: never block on a pipe or write into a device.
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
            failure = "it is not a regular file";
        else if (info.st_size == 0)
            bytes = Header + bytes;
        // One append for all lines of the command, then onto the disk. A disk
        // that fills part way leaves no part of a line behind.
        if (failure.empty() && (!WriteAll(fd, bytes) || ::fsync(fd) != 0)) {
            failure = std::strerror(errno);
            if (::ftruncate(fd, info.st_size) != 0) failure += " (a part of a line may remain)";
        }
        if (::close(fd) != 0 && failure.empty()) failure = std::strerror(errno);
    }
    if (failure.empty()) return {};
    const std::string message =
        "A write to the plant could not be recorded in the write log " + path_ + ": " + failure + ".";
    ++failures_;
    lastFailure_ = message;
    if (Failed) Failed(message);
    return message;
}

}  // namespace halvetra
