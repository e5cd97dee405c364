#include "device/register_file.h"
#include "support/file_size_limit.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace vrq::device {
namespace {

namespace fs = std::filesystem;

const std::string kHeader(kRegisterFileHeader);

// The working set as a save writes it, with distinct values so that order mistakes show.
std::vector<SavedRegister> WorkingSetSave() {
    std::vector<SavedRegister> regs;
    const char* addresses[] = {"0x00", "0x01", "0x02", "0x03", "0x04", "0x05", "0x06",
                               "0x07", "0x08", "0x09", "0x0A", "0x0B", "0x0C", "0x10"};
    const char* values[] = {"1A", "00", "07", "80", "55", "FF", "0C",
                            "3E", "A1", "42", "9B", "00", "C8", "3F"};
    for (int i = 0; i < 14; ++i) {
        regs.push_back({addresses[i], values[i]});
    }
    return regs;
}

std::vector<std::string> SplitCrLf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (auto end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    EXPECT_EQ(start, text.size()) << "text after the last CR LF";
    return lines;
}

struct Expected {
    int address;
    int value;
    int line;
};

void ExpectWrites(const ParsedRegisterFile& parsed, const std::vector<Expected>& expected) {
    ASSERT_EQ(parsed.error, LoadError::None) << LoadErrorMessage(parsed);
    ASSERT_EQ(parsed.writes.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("write " + std::to_string(i));
        EXPECT_EQ(parsed.writes[i].address, expected[i].address);
        EXPECT_EQ(parsed.writes[i].value, expected[i].value);
        EXPECT_EQ(parsed.writes[i].line, expected[i].line);
    }
}

TEST(RegisterFileFormat, FullSaveIsHeaderAndFourteenSevenCharacterLines) {
    const auto regs = WorkingSetSave();
    const std::string text = FormatRegisterFile(regs);
    const auto lines = SplitCrLf(text);
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(lines[0], kHeader);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        ASSERT_EQ(lines[i].size(), 7u);
        EXPECT_EQ(lines[i][4], '\t');
        EXPECT_EQ(lines[i].substr(0, 4), regs[i - 1].addressText);
        EXPECT_EQ(lines[i].substr(5), regs[i - 1].valueText);
    }
    // CR and LF only ever as a pair.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 15);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 15);
}

TEST(RegisterFileFormat, BoxTextIsWrittenUnchanged) {
    const std::vector<SavedRegister> regs{{"0x02", "7"}, {"0x03", "xyz"}};
    EXPECT_EQ(FormatRegisterFile(regs), kHeader + "\r\n0x02\t7\r\n0x03\txyz\r\n");
    EXPECT_EQ(FormatRegisterFile({}), kHeader + "\r\n");
}

TEST(RegisterFileFormat, SavedFileReadsBackEveryRegisterInOrder) {
    // Addresses and values as numbers, each saved register on its own line from line 2.
    const int addresses[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06,
                             0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x10};
    const int values[] = {0x1A, 0x00, 0x07, 0x80, 0x55, 0xFF, 0x0C,
                          0x3E, 0xA1, 0x42, 0x9B, 0x00, 0xC8, 0x3F};
    std::vector<Expected> expected;
    for (int i = 0; i < 14; ++i) {
        expected.push_back({addresses[i], values[i], i + 2});
    }
    ExpectWrites(ParseRegisterFile(FormatRegisterFile(WorkingSetSave())), expected);
}

TEST(RegisterFileHeader, HeaderAloneWritesNothing) {
    for (const std::string& text : {kHeader, kHeader + "\r\n", kHeader + "\n", kHeader + "\r\n\r\n",
                                    "\xEF\xBB\xBF" + kHeader + "\r\n", "  " + kHeader + " \t\r\n",
                                    "\"" + kHeader + "\"\r\n"}) {
        SCOPED_TRACE(text);
        ExpectWrites(ParseRegisterFile(text), {});
    }
}

TEST(RegisterFileHeader, WrongFirstItemIsNotARegisterFile) {
    for (const std::string& text :
         {std::string("//vrq66208a register file\r\n0x04\t55\r\n"),
          std::string("//VRQ66208A Register File.\r\n0x04\t55\r\n"),
          std::string("//VRQ66208A  Register File\r\n"), "\r\n" + kHeader + "\r\n0x04\t55\r\n",
          std::string("0x04\t55\r\n"), std::string("\r\n")}) {
        SCOPED_TRACE(text);
        const auto parsed = ParseRegisterFile(text);
        EXPECT_EQ(parsed.error, LoadError::NotRegisterFile);
        EXPECT_TRUE(parsed.writes.empty());
        EXPECT_EQ(LoadErrorMessage(parsed), "File selected is not a valid VRQ66208A register file");
    }
}

TEST(RegisterFileHeader, EmptyFile) {
    for (std::string_view text : {"", "\xEF\xBB\xBF"}) {
        const auto parsed = ParseRegisterFile(text);
        EXPECT_EQ(parsed.error, LoadError::Empty);
        EXPECT_TRUE(parsed.writes.empty());
        EXPECT_FALSE(LoadErrorMessage(parsed).empty());
    }
    EXPECT_EQ(LoadErrorMessage(ParsedRegisterFile{}), "");
}

TEST(RegisterFileReading, AcceptsWhatTheLoaderAlwaysAccepted) {
    const std::string text = kHeader +
                             "\r\n"
                             "0X04\t11\r\n"                // 2: upper-case X: skipped
                             "0x04 55\r\n"                 // 3: space for the tab
                             "0x05\t66 was 60\r\n"         // 4: text after the value
                             "0x06\t77,0x07\t88\r\n"       // 5: two items on one line
                             "0x13\taa\r\n"                // 6: outside the saved set, lower case
                             "\r\n"                        // 7: blank
                             "// comment, with comma\r\n"  // 8: comment and its second item
                             "0x04-5F\r\n"                 // 9: position 5 is not examined
                             "0xff\tFf\r\n"                // 10
                             "0x04 55\r\n";                // 11: a duplicate is written again
    ExpectWrites(ParseRegisterFile(text), {{0x04, 0x55, 3},
                                           {0x05, 0x66, 4},
                                           {0x06, 0x77, 5},
                                           {0x07, 0x88, 5},
                                           {0x13, 0xAA, 6},
                                           {0x04, 0x5F, 9},
                                           {0xFF, 0xFF, 10},
                                           {0x04, 0x55, 11}});
}

TEST(RegisterFileReading, BlanksAndQuotesAroundAnItemAreDropped) {
    const std::string text = kHeader +
                             "\n"
                             "  \t0x04\t55  \n"        // 2
                             "\"0x05\t66\"\n"          // 3
                             " \"0x06\t77,x\" tail\n"  // 4: the comma belongs to the quote
                             "\"0x07\t88\n"            // 5: a quote ends at the line end
                             "\"  0x08\t99\"\n";       // 6: blanks inside quotes are kept
    ExpectWrites(ParseRegisterFile(text),
                 {{0x04, 0x55, 2}, {0x05, 0x66, 3}, {0x06, 0x77, 4}, {0x07, 0x88, 5}});
}

TEST(RegisterFileReading, EveryKindOfLineEndCountsOneLine) {
    const std::string body = "0x01\t11||0x02\t22|0x03\t33";
    for (std::string_view end : {"\r\n", "\n", "\r"}) {
        SCOPED_TRACE(end == "\r" ? "CR" : end == "\n" ? "LF" : "CR LF");
        std::string text = kHeader + "|" + body + "|";
        for (std::size_t pos; (pos = text.find('|')) != std::string::npos;) {
            text.replace(pos, 1, end);
        }
        ExpectWrites(ParseRegisterFile(text), {{1, 0x11, 2}, {2, 0x22, 4}, {3, 0x33, 5}});
    }
    // LF CR is two line ends, not one.
    ExpectWrites(ParseRegisterFile(kHeader + "\n\r0x01\t11"), {{1, 0x11, 3}});
    // A header item followed by a comma: the rest of line 1 is a register item.
    ExpectWrites(ParseRegisterFile(kHeader + ",0x01\t11\r\n"), {{1, 0x11, 1}});
}

TEST(RegisterFileReading, BadLineStopsEverythingAndNamesTheLine) {
    const std::string text = kHeader +
                             "\r\n"
                             "0x00\t1A\r\n"
                             "0x01\t00\r\n"
                             "0x02\t07\r\n"
                             "0x04\tZZ\r\n"
                             "0x05\t00\r\n";
    const auto parsed = ParseRegisterFile(text);
    EXPECT_EQ(parsed.error, LoadError::BadLine);
    EXPECT_EQ(parsed.errorLine, 5);
    EXPECT_EQ(parsed.errorText, "0x04\tZZ");
    EXPECT_TRUE(parsed.writes.empty());
    EXPECT_EQ(LoadErrorMessage(parsed), "Line 5 is not a valid register line: 0x04\tZZ");
}

TEST(RegisterFileReading, MissingShortOrNonHexFieldsAreBadLines) {
    for (const char* item : {"0x04", "0x", "0x04\t", "0x04\t5", "0x4 55", "0x4\t55", "0xZZ\t55",
                             "0x04\t5G", "0x04\t 5", "0x 4\t55", "0x04,55"}) {
        SCOPED_TRACE(item);
        const auto parsed = ParseRegisterFile(kHeader + "\r\n0x01\t11\r\n\r\n" + item + "\r\n");
        EXPECT_EQ(parsed.error, LoadError::BadLine);
        EXPECT_EQ(parsed.errorLine, 4);
        EXPECT_TRUE(parsed.writes.empty());
    }
}

TEST(RegisterFileReading, LongBadItemIsCutInTheMessage) {
    const auto parsed = ParseRegisterFile(kHeader + "\r\n0xZZ" + std::string(5000, 'q'));
    ASSERT_EQ(parsed.error, LoadError::BadLine);
    EXPECT_LT(LoadErrorMessage(parsed).size(), 120u);
}

// A scratch folder per test, removed with everything in it.
class WriteFileAtomicallyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "regfile-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void Write(const fs::path& path, const std::string& content) {
        std::ofstream(path, std::ios::binary) << content;
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
};

TEST_F(WriteFileAtomicallyTest, CreatesAndReplacesKeepingPermissions) {
    const auto path = (dir_ / "registers.txt").string();
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(path, "first\r\n", error)) << error;
    EXPECT_EQ(Read(path), "first\r\n");

    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    const std::string content = FormatRegisterFile(WorkingSetSave());
    ASSERT_TRUE(WriteFileAtomically(path, content, error)) << error;
    EXPECT_EQ(Read(path), content);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(Names(), std::vector<std::string>{"registers.txt"});
}

TEST_F(WriteFileAtomicallyTest, FailureLeavesNothingBehind) {
    std::string error;
    // The folder does not exist.
    EXPECT_FALSE(WriteFileAtomically((dir_ / "missing" / "r.txt").string(), "x", error));
    EXPECT_FALSE(error.empty());

    // The target is a folder: the rename fails after the temporary file was written.
    fs::create_directory(dir_ / "taken");
    Write(dir_ / "taken" / "keep.txt", "keep");
    error.clear();
    EXPECT_FALSE(WriteFileAtomically((dir_ / "taken").string(), "x", error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(Read(dir_ / "taken" / "keep.txt"), "keep");
    EXPECT_EQ(Names(), std::vector<std::string>{"taken"});
}

TEST_F(WriteFileAtomicallyTest, FailedWriteLeavesTheOldFileWhole) {
    // A file-size limit stands in for a full disk: it stops writes even for root.
    const auto path = dir_ / "registers.txt";
    const std::string old = FormatRegisterFile(WorkingSetSave());
    Write(path, old);

    std::string error;
    bool written = true;
    {
        const test::FileSizeLimit limit(64);
        ASSERT_TRUE(limit.Active());
        written = WriteFileAtomically(path.string(), std::string(4096, 'n'), error);
    }

    EXPECT_FALSE(written);
    EXPECT_NE(error.find("registers.txt"), std::string::npos) << error;
    EXPECT_EQ(Read(path), old);
    EXPECT_EQ(Names(), std::vector<std::string>{"registers.txt"});
}

}  // namespace
}  // namespace vrq::device

namespace vrq::device {
namespace {

TEST_F(WriteFileAtomicallyTest, SaveThroughALinkReplacesItsTargetAndKeepsTheLink) {
    fs::create_directory(dir_ / "real");
    const auto target = dir_ / "real" / "registers.txt";
    Write(target, "old");
    ASSERT_EQ(::chmod(target.c_str(), 0604), 0);
    fs::create_symlink("real/registers.txt", dir_ / "link.txt");  // relative, as users make them
    fs::create_symlink(dir_ / "link.txt", dir_ / "chain.txt");

    std::string message;
    ASSERT_TRUE(SaveRegisterFile((dir_ / "chain.txt").string(), WorkingSetSave(), message))
        << message;
    EXPECT_TRUE(fs::is_symlink(dir_ / "chain.txt"));
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.txt"));
    EXPECT_EQ(Read(target), FormatRegisterFile(WorkingSetSave()));
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    EXPECT_EQ(st.st_uid, ::geteuid());

    // A link whose target does not exist yet: the new file appears where it points.
    fs::create_symlink("real/new.txt", dir_ / "dangling.txt");
    ASSERT_TRUE(SaveRegisterFile((dir_ / "dangling.txt").string(), WorkingSetSave(), message));
    EXPECT_TRUE(fs::is_symlink(dir_ / "dangling.txt"));
    EXPECT_TRUE(fs::exists(dir_ / "real" / "new.txt"));
}

TEST_F(WriteFileAtomicallyTest, LoadSaysWhyAFileCannotBeUsedAndChecksItWhole) {
    using Status = LoadedRegisterFile::Status;
    const auto path = dir_ / "r.txt";
    EXPECT_EQ(LoadRegisterFile(path.string()).status, Status::CannotRead);
    EXPECT_EQ(LoadRegisterFile(path.string())
                  .message.rfind("Could not open " + path.string() + "\r\n", 0),
              0U);
    EXPECT_EQ(LoadRegisterFile(dir_.string()).message,
              "Could not open " + dir_.string() + "\r\nIt is not a regular file.");

    Write(path, "");
    EXPECT_EQ(LoadRegisterFile(path.string()).status, Status::Empty);
    Write(path, std::string(kLargestRegisterFile + 1, '\n'));
    EXPECT_EQ(LoadRegisterFile(path.string()).message,
              "File selected is too large to be a VRQ66208A register file");
    Write(path, "//VRQ66208A Register File\r\n0x04\t55\r\n0xZZ\t1\r\n");
    const LoadedRegisterFile bad = LoadRegisterFile(path.string());
    EXPECT_EQ(bad.status, Status::Invalid);
    EXPECT_TRUE(bad.parsed.writes.empty());
    EXPECT_EQ(bad.message.substr(bad.message.size() - 26), "\r\nNo register was written.");
    Write(path, "//VRQ66208A Register File\r\n0x04\t55\r\n");
    const LoadedRegisterFile good = LoadRegisterFile(path.string());
    ASSERT_EQ(good.status, Status::Ok);
    ASSERT_EQ(good.parsed.writes.size(), 1U);
    EXPECT_EQ(good.parsed.writes[0].value, 0x55);
}

}  // namespace
}  // namespace vrq::device

namespace vrq::device {
namespace {

// A link another user planted in a folder everyone may write to (/tmp) is not followed, as
// the system would not follow it for a shell; one of the folder's owner is. Making a link of
// another user's needs root.
TEST_F(WriteFileAtomicallyTest, SaveFollowsALinkInASharedFolderOnlyAsTheSystemWould) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "a link of another user's can be made by root only";
    }
    const fs::path shared = dir_ / "shared";
    fs::create_directory(shared);
    ::chmod(shared.c_str(), 01777);
    Write(dir_ / "mine.txt", "mine");
    fs::create_symlink(dir_ / "mine.txt", shared / "planted.txt");
    ASSERT_EQ(::lchown((shared / "planted.txt").c_str(), 65534, 65534), 0);
    std::string message;
    EXPECT_FALSE(SaveRegisterFile((shared / "planted.txt").string(), WorkingSetSave(), message));
    EXPECT_NE(message.find("not followed"), std::string::npos) << message;
    EXPECT_EQ(Read(dir_ / "mine.txt"), "mine");

    fs::create_symlink(dir_ / "mine.txt", shared / "owners.txt");  // root's: the folder's owner
    EXPECT_TRUE(SaveRegisterFile((shared / "owners.txt").string(), WorkingSetSave(), message))
        << message;
    EXPECT_NE(Read(dir_ / "mine.txt"), "mine");
}

}  // namespace
}  // namespace vrq::device
