// Whole-file reading and writing: line ends of every kind, and a write that
// fails leaves the previous file and no temporary file behind.
#include "data/Errors.h"
#include "data/TextFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <sys/stat.h>

namespace fs = std::filesystem;
using halvetra::FileError;
using halvetra::ReadTextLines;
using halvetra::SplitTextLines;
using halvetra::WriteTextFile;
using Lines = std::vector<std::string>;

namespace {

class TextFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "halvetra-textfile-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string Path(const std::string& name) const { return (folder_ / name).string(); }

    void WriteBytes(const std::string& name, const std::string& bytes) const {
        std::ofstream(Path(name), std::ios::binary) << bytes;
    }
    std::string Bytes(const std::string& name) const {
        std::ifstream in(Path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::vector<std::string> FolderEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path folder_;
};

TEST_F(TextFileTest, SplitsAtEveryKindOfLineEnd) {
    const std::pair<std::string, Lines> cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\n", {"a"}},
        {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        {"a\n\nb\r\n", {"a", "", "b"}},
        {"a\r\n\r\n", {"a", ""}},
        {"\r\r\n\n", {"", "", ""}},
        {"x\ty; z\r", {"x\ty; z"}},
    };
    for (const auto& [bytes, lines] : cases) {
        WriteBytes("in.txt", bytes);
        EXPECT_EQ(ReadTextLines(Path("in.txt")), lines) << "bytes: " << bytes;
        EXPECT_EQ(SplitTextLines(bytes), lines) << "bytes: " << bytes;
    }
}

// The text in memory and the same text in a file split alike, NUL bytes and
// a text larger than one read of the file included.
TEST_F(TextFileTest, TextInMemorySplitsAsTheFileDoes) {
    std::string large;
    for (int i = 0; i < 20000; ++i) large += (i % 3 == 0 ? "row\r\n" : i % 3 == 1 ? "x\ty\n" : "z\r");
    const std::string texts[] = {std::string("a\0b\r\n\0\n", 7), std::string("\0", 1), large + "tail"};
    for (const std::string& text : texts) {
        WriteBytes("in.txt", text);
        EXPECT_EQ(SplitTextLines(text), ReadTextLines(Path("in.txt")));
    }
    EXPECT_EQ(SplitTextLines(texts[0]), (Lines{std::string("a\0b", 3), std::string("\0", 1)}));
    EXPECT_EQ(SplitTextLines(large).size(), 20000u);
}

TEST_F(TextFileTest, ReadingAMissingFileOrAFolderFails) {
    const std::string missing = Path("missing.hvd");
    try {
        ReadTextLines(missing);
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + missing);
    }
    EXPECT_THROW(ReadTextLines(folder_.string()), FileError);
}

// Inputs every reader of the window and of halvetra-cli refuses by name
// before reading a line: a FIFO without a writer (opened without blocking),
// a device that never ends, a file beyond the size limit (sparse, so the test
// writes nothing), and UTF-16 text with or without a byte order mark.
TEST_F(TextFileTest, InputsThatAreNoReadableTextAreRefusedByName) {
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    { std::ofstream(Path("large.hvd")); }
    fs::resize_file(Path("large.hvd"), halvetra::MaxTextFileBytes + 1);
    WriteBytes("le.hvd", std::string("\xFF\xFEH\0A\0\r\0\n\0", 10));
    WriteBytes("be.hvd", std::string("\xFE\xFF\0H\0A", 6));
    WriteBytes("bare.txt", std::string("1\0.\0"
                                       "5\0\r\0\n\0"
                                       "2\0",
                                       12));
    const std::pair<std::string, std::string> cases[] = {
        {Path("fifo"), "Cannot open file " + Path("fifo") + ": it is not a regular file"},
        {"/dev/zero", "Cannot open file /dev/zero: it is not a regular file"},
        {Path("large.hvd"), "Cannot open file " + Path("large.hvd") + ": it is larger than 64 MB"},
        {Path("le.hvd"), "File " + Path("le.hvd") + " is a UTF-16 text file; save it as UTF-8 or ANSI text"},
        {Path("be.hvd"), "File " + Path("be.hvd") + " is a UTF-16 text file; save it as UTF-8 or ANSI text"},
        {Path("bare.txt"), "File " + Path("bare.txt") + " is a UTF-16 text file; save it as UTF-8 or ANSI text"},
    };
    for (const auto& [path, message] : cases) {
        try {
            ReadTextLines(path);
            ADD_FAILURE() << "no error for " << path;
        } catch (const FileError& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
    }
}

TEST_F(TextFileTest, WritesCrLfAndReplacesTheFileWhole) {
    WriteBytes("out.txt", "an older and much longer content\n");
    WriteTextFile(Path("out.txt"), {"first", "", "third"});
    EXPECT_EQ(Bytes("out.txt"), "first\r\n\r\nthird\r\n");
    EXPECT_EQ(ReadTextLines(Path("out.txt")), (Lines{"first", "", "third"}));
    EXPECT_EQ(FolderEntries(), Lines{"out.txt"});

    WriteTextFile(Path("empty.txt"), {});
    EXPECT_EQ(Bytes("empty.txt"), "");
}

TEST_F(TextFileTest, KeepsThePermissionsOfTheReplacedFile) {
    WriteBytes("out.txt", "old\r\n");
    fs::permissions(Path("out.txt"),
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    WriteTextFile(Path("out.txt"), {"new"});
    EXPECT_EQ(fs::status(Path("out.txt")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
}

TEST_F(TextFileTest, AFailedWriteLeavesThePreviousFileAndNoTemporary) {
    // A folder that does not exist.
    const std::string inMissingFolder = Path("nowhere/out.txt");
    try {
        WriteTextFile(inMissingFolder, {"x"});
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + inMissingFolder);
    }

    // The disk fills part way through the text: a file size limit makes the
    // write fail after some bytes, as a full disk would.
    WriteBytes("data.hvd", "previous\r\n");
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 4096;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    bool failed = false;
    try {
        WriteTextFile(Path("data.hvd"), Lines(2000, "0.123456789\t1\t2"));
    } catch (const FileError&) {
        failed = true;
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_TRUE(failed);
    EXPECT_EQ(Bytes("data.hvd"), "previous\r\n");

    EXPECT_EQ(FolderEntries(), Lines{"data.hvd"});
}

}  // namespace
