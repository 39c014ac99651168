#include "data/TextFile.h"

#include "data/Errors.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace halvetra {

namespace {

// Whether the first bytes of a file are UTF-16 text: a byte order mark, or
// (without one) text whose characters are mostly one NUL byte and one other
// byte, as plain letters and digits are in UTF-16.
bool LooksLikeUtf16(std::string_view bytes) {
    if (bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF')))
        return true;
    const std::size_t pairs = std::min<std::size_t>(bytes.size(), 256) / 2;
    if (pairs < 2) return false;
    std::size_t nulFirst = 0;
    std::size_t nulSecond = 0;
    for (std::size_t i = 0; i < pairs; ++i) {
        const bool first = bytes[2 * i] == '\0';
        const bool second = bytes[2 * i + 1] == '\0';
        if (first && !second) ++nulFirst;
        if (second && !first) ++nulSecond;
    }
    return 4 * std::max(nulFirst, nulSecond) >= 3 * pairs;
}

std::string ReadWholeFile(const std::string& path) {
    // Without blocking: a FIFO with no writer would otherwise hold the open
    // for ever. Only regular files are read; a FIFO or a device such as
    // /dev/zero would block or never end.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) throw FileError("Cannot open file " + path);
    struct stat status {};
    if (::fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
        ::close(fd);
        throw FileError("Cannot open file " + path);
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        throw FileError("Cannot open file " + path + ": it is not a regular file");
    }
    const FileError tooLarge("Cannot open file " + path + ": it is larger than " +
                             std::to_string(MaxTextFileBytes / (1024 * 1024)) + " MB");
    if (status.st_size > static_cast<off_t>(MaxTextFileBytes)) {
        ::close(fd);
        throw tooLarge;
    }
    std::string content;
    content.reserve(static_cast<std::size_t>(status.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);  // a read error
            throw FileError("Cannot open file " + path);
        }
        content.append(buffer, static_cast<std::size_t>(n));
        // A file that grows while it is read, or one whose size the system
        // does not report, is held to the same limit.
        if (content.size() > MaxTextFileBytes) {
            ::close(fd);
            throw tooLarge;
        }
    }
    ::close(fd);
    if (LooksLikeUtf16(content))
        throw FileError("File " + path + " is a UTF-16 text file; save it as UTF-8 or ANSI text");
    return content;
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The permissions a newly created file gets (0666 less the umask), or those of
// the file being replaced, so that the rename does not leave the private
// permissions of a temporary file behind.
mode_t PermissionsFor(const std::string& path) {
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0) return existing.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

}  // namespace

std::vector<std::string> ReadTextLines(const std::string& path) { return SplitTextLines(ReadWholeFile(path)); }

std::vector<std::string> SplitTextLines(std::string_view content) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < content.size()) {
        const char c = content[i];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(content.substr(start, i - start));
            i += (c == '\r' && i + 1 < content.size() && content[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < content.size()) lines.emplace_back(content.substr(start));
    return lines;
}

void WriteTextFile(const std::string& path, const std::vector<std::string>& lines) {
    std::string text;
    std::size_t size = 0;
    for (const auto& line : lines) size += line.size() + 2;
    text.reserve(size);
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }

    const FileError failure("Cannot create file " + path);
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) throw failure;

    bool ok = WriteAll(fd, text) && ::fchmod(fd, PermissionsFor(path)) == 0 && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        throw failure;
    }

    // Make the rename itself durable; the new file is complete either way.
    const int folder = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

const std::string& LineAt(const std::vector<std::string>& lines, std::size_t index) {
    if (index >= lines.size()) throw ListIndexError(static_cast<long long>(index));
    return lines[index];
}

}  // namespace halvetra
