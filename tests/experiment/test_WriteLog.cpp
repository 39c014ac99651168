// The write log: the line format scripts rely on, appending to what is there,
// and failures that are reported but never thrown.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "experiment/WriteLog.h"

#include "../data/FullDisk.h"

namespace fs = std::filesystem;
using namespace halvetra;

namespace {

fs::path MakeFolder() {
    std::string pattern = (fs::temp_directory_path() / "halvetra-writelog-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no temporary folder");
    return pattern;
}

std::string Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// 2026-12-08 07:52:22.123 UTC
const auto When = std::chrono::system_clock::time_point(std::chrono::milliseconds(1796716342123LL));

}  // namespace

TEST(WriteLog, LinesHaveSevenFieldsWhateverTheirText) {
    const struct {
        std::string user;
        WriteLogLine line;
        std::string expected;
    } rows[] = {
        {"",
         {"ns=1;s=Loop1.Inner.P", 0.735, 1.413, "ok"},
         "2026-12-08T07:52:22.123Z\turl\tanonymous\tns=1;s=Loop1.Inner.P\t0.735\t1.413\tok"},
        {"op",
         {"a\tb", std::nullopt, -2.5e-7, "BadNotWritable"},
         "2026-12-08T07:52:22.123Z\turl\top\ta b\t\t-2.5e-07\tBadNotWritable"},
        {"op\nx",
         {"M", 1.0, 0.0, "the connection\r\nwas lost"},
         "2026-12-08T07:52:22.123Z\turl\top x\tM\t1\t0\tthe connection  was lost"},
        {"", {"M", 0.1, 1e300, ""}, "2026-12-08T07:52:22.123Z\turl\tanonymous\tM\t0.1\t1e+300\tok"},
    };
    for (const auto& row : rows) EXPECT_EQ(WriteLogText(When, "url", row.user, row.line), row.expected);

    EXPECT_EQ(WriteResultOf("Cannot write Items:\nP: BadTypeMismatch\nD: BadNotWritable", "D"), "BadNotWritable");
    EXPECT_EQ(WriteResultOf("Cannot write Items:\nP: BadNotConnected", "D"), "Cannot write Items:\nP: BadNotConnected");
}

TEST(WriteLog, AppendsToWhatIsThereAndHeadsANewFileOnce) {
    const fs::path folder = MakeFolder();
    const fs::path path = folder / "sub" / "writes.log";
    WriteLog log(path.string());
    EXPECT_EQ(log.Append("url", "", {{"P", 1.0, 2.0, "ok"}, {"I", 3.0, 4.0, "ok"}}, When), "");
    EXPECT_EQ(log.Append("url", "", {}, When), "");
    EXPECT_EQ(log.Append("url", "op", {{"D", std::nullopt, 5.0, "BadOutOfRange"}}, When), "");
    const std::string t = "2026-12-08T07:52:22.123Z\turl\t";
    EXPECT_EQ(Bytes(path), std::string(WriteLog::Header) + t + "anonymous\tP\t1\t2\tok\n" + t +
                               "anonymous\tI\t3\t4\tok\n" + t + "op\tD\t\t5\tBadOutOfRange\n");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    fs::remove_all(folder);
}

// A log that cannot take its lines: the text names the file, Failed hears of
// it, nothing is thrown and no part of a line is left behind.
TEST(WriteLog, AFailureIsReportedAndNeverThrown) {
    const fs::path folder = MakeFolder();
    std::ofstream(folder / "file") << "x";
    fs::create_directory(folder / "folder");
    ::mkfifo((folder / "pipe").c_str(), 0600);
    for (const fs::path& path : {folder / "file" / "writes.log", folder / "folder", folder / "pipe"}) {
        WriteLog log(path.string());
        std::vector<std::string> heard;
        log.Failed = [&heard](const std::string& text) { heard.push_back(text); };
        const std::string text = log.Append("url", "", {{"P", 1.0, 2.0, "ok"}}, When);
        EXPECT_EQ(text.rfind("A write to the plant could not be recorded in the write log " + path.string() + ": ", 0),
                  0u)
            << text;
        EXPECT_EQ(heard, std::vector<std::string>{text});
        EXPECT_EQ(log.Failures(), 1);
    }

    const fs::path path = folder / "writes.log";
    WriteLog log(path.string());
    ASSERT_EQ(log.Append("url", "", {{"P", 1.0, 2.0, "ok"}}, When), "");
    const std::string before = Bytes(path);
    {
        halvetra::testing_disk::FullDisk disk(before.size() + 20);
        ASSERT_TRUE(disk.Active());
        EXPECT_NE(log.Append("url", "", {{"P", 1.0, 2.0, "ok"}}, When), "");
    }
    EXPECT_EQ(Bytes(path), before);
    fs::remove_all(folder);
}
