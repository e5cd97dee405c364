// File > Save Registers and Load Registers against the simulated board, with scripted file
// dialogs and messages and files in a temporary folder.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "main_window_fixture.h"
#include "support/file_size_limit.h"
#include "ui/common/file_dialogs.h"

namespace vrq::test {
namespace {

const std::vector<int> kWorkingSet = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06,
                                      0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x10};
const std::string kHeader = "//VRQ66208A Register File\r\n";

class ScriptedFileDialogs : public ui::FileDialogs {
  public:
    struct Asked {
        bool save;
        ui::FileDialogRequest request;
    };

    // The path chosen in the next dialog, or nothing for Cancel.
    void Script(std::optional<QString> answer) { answers_.push_back(std::move(answer)); }

    std::optional<QString> GetSaveFileName(QWidget*, const ui::FileDialogRequest& r) override {
        return Answer(true, r);
    }
    std::optional<QString> GetOpenFileName(QWidget*, const ui::FileDialogRequest& r) override {
        return Answer(false, r);
    }

    std::vector<Asked> asked;
    std::function<void()> onShow;  // runs while the dialog is up

  private:
    std::optional<QString> Answer(bool save, const ui::FileDialogRequest& request) {
        asked.push_back({save, request});
        if (onShow) {
            onShow();
        }
        if (answers_.empty()) {
            ADD_FAILURE() << "unscripted file dialog";
            return std::nullopt;
        }
        auto answer = std::move(answers_.front());
        answers_.pop_front();
        return answer;
    }
    std::deque<std::optional<QString>> answers_;
};

class RegisterFilesTest : public MainWindowTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        StartOnChip();
        auto scripted = std::make_unique<ScriptedFileDialogs>();
        dialogs = scripted.get();
        window->SetFileDialogs(std::move(scripted));
    }

    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    void Save(std::optional<QString> path) {
        dialogs->Script(std::move(path));
        Click("mnuSaveRegisters");
    }
    void Load(std::optional<QString> path) {
        dialogs->Script(std::move(path));
        Click("mnuLoadRegisters");
    }
    std::size_t I2CCommands() {
        return CountSent(Board(0), Sent::Kind::Read) + CountSent(Board(0), Sent::Kind::Write);
    }
    QString ChipText(int reg) { return Hex(Chip().Peek(static_cast<std::uint8_t>(reg))); }
    // Marks a box with a text the chip does not hold, to see whether a read-all followed.
    void MarkStale() {
        Chip().Poke(0x03, 0x12);
        RegBox(3)->setText(QStringLiteral("EE"));
    }
    bool Refreshed() { return RegBox(3)->text() == ChipText(3); }

    QTemporaryDir dir;
    ScriptedFileDialogs* dialogs = nullptr;  // owned by the window
};

void WriteFile(const QString& path, const std::string& content) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(content.data(), static_cast<qint64>(content.size())),
              static_cast<qint64>(content.size()));
}

std::string ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return "<missing>";
    }
    return file.readAll().toStdString();
}

int OpenDescriptors() {
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files).size());
}

TEST(RegisterFileDialogFilter, KeepsTheEntryTextsInQtSyntax) {
    EXPECT_EQ(ui::QtFileFilter("Text File (*.TXT)|*.txt| All Files (*.*)|*.*|"),
              "Text File (*.TXT) (*.txt);;All Files (*.*) (*)");
    EXPECT_EQ(ui::QtFileFilter("Text File (*.txt) |*.txt | All Files (*.*)|*.*|"),
              "Text File (*.txt) (*.txt);;All Files (*.*) (*)");
    EXPECT_EQ(ui::QtFileFilter("Sources|*.c;*.h|Lonely"), "Sources (*.c *.h)");
}

TEST_F(RegisterFilesTest, SaveThenLoadWritesEveryRegisterBackAndReadsThePanel) {
    Chip().SetActiveClocks(0x05);
    const std::vector<std::pair<int, int>> state = {{0x03, 0x5A}, {0x04, 0x21}, {0x05, 0x0B},
                                                    {0x06, 0x35}, {0x07, 0x77}, {0x08, 0x88},
                                                    {0x09, 0x03}, {0x10, 0x13}};
    for (const auto& [reg, value] : state) {
        Chip().Poke(static_cast<std::uint8_t>(reg), static_cast<std::uint8_t>(value));
    }
    const int descriptors = OpenDescriptors();
    QString boxAtDialog;
    dialogs->onShow = [&] { boxAtDialog = RegBox(3)->text(); };
    const QString path = Path("registers.txt");
    Save(path);

    EXPECT_EQ(boxAtDialog, QStringLiteral("5A")) << "the panel is read before the dialog";
    ASSERT_EQ(dialogs->asked.size(), 1U);
    const ui::FileDialogRequest& saveRequest = dialogs->asked[0].request;
    EXPECT_TRUE(dialogs->asked[0].save);
    EXPECT_EQ(saveRequest.fileName, QStringLiteral("registers.txt"));
    EXPECT_EQ(saveRequest.defaultSuffix, QStringLiteral("txt"));
    EXPECT_EQ(saveRequest.filter, QStringLiteral("Text File (*.TXT) (*.txt);;All Files (*.*) (*)"));
    EXPECT_TRUE(presenter->messages.empty());

    // The header, then 14 lines of seven characters with the tab in position 5, CR LF each.
    const std::string saved = ReadFile(path);
    std::string expected = kHeader;
    for (const int reg : kWorkingSet) {
        expected += "0x" + board::ByteToHex(static_cast<std::uint8_t>(reg)) + "\t" +
                    ChipText(reg).toStdString() + "\r\n";
    }
    EXPECT_EQ(saved, expected);
    EXPECT_EQ(saved.substr(kHeader.size(), 9), "0x00\t31\r\n");
    EXPECT_EQ(saved.substr(saved.size() - 9), "0x10\t13\r\n");

    WriteList expectedWrites;
    std::vector<QString> savedBoxes;
    for (const int reg : kWorkingSet) {
        expectedWrites.emplace_back(reg, Chip().Peek(static_cast<std::uint8_t>(reg)));
        savedBoxes.push_back(RegBox(reg)->text());
    }
    Chip().PowerOn();
    Chip().ClearWriteLog();
    RegBox(3)->setText(QStringLiteral("EE"));
    Load(path);

    ASSERT_EQ(dialogs->asked.size(), 2U);
    const ui::FileDialogRequest& loadRequest = dialogs->asked[1].request;
    EXPECT_FALSE(dialogs->asked[1].save);
    EXPECT_EQ(loadRequest.fileName, path) << "the name last chosen is offered";
    EXPECT_EQ(loadRequest.defaultSuffix, QStringLiteral("txt"));
    EXPECT_EQ(loadRequest.filter, QStringLiteral("Text File (*.txt) (*.txt);;All Files (*.*) (*)"));
    EXPECT_TRUE(presenter->messages.empty());
    EXPECT_EQ(Writes(Board(0)), expectedWrites) << "read-only registers included, in file order";
    for (std::size_t i = 0; i < kWorkingSet.size(); ++i) {
        EXPECT_EQ(RegBox(kWorkingSet[i])->text(), savedBoxes[i]) << "box " << kWorkingSet[i];
    }
    EXPECT_EQ(OpenDescriptors(), descriptors) << "every file closed";
}

TEST_F(RegisterFilesTest, LoadWritesEveryLineTheLoaderAccepts) {
    struct Case {
        const char* name;
        std::string lines;
        WriteList writes;
    };
    const std::vector<Case> cases = {
        {"header only", "", {}},
        {"0X lines skipped", "0X04\t55\r\n0x05\t0A\r\n", {{0x05, 0x0A}}},
        {"space for the tab", "0x04 55\r\n", {{0x04, 0x55}}},
        {"text after the value", "0x04\t55 as tuned\r\n", {{0x04, 0x55}}},
        {"a comma and a second item", "0x04\t11,0x05\t0A\r\n", {{0x04, 0x11}, {0x05, 0x0A}}},
        {"a register saves never hold", "0x13\t07\r\n", {{0x13, 0x07}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Path("case.txt");
        WriteFile(path, kHeader + c.lines);
        Chip().ClearWriteLog();
        MarkStale();
        Load(path);
        EXPECT_TRUE(presenter->messages.empty());
        EXPECT_EQ(Writes(Board(0)), c.writes);
        EXPECT_TRUE(Refreshed()) << "the panel is read at the end";
    }
}

TEST_F(RegisterFilesTest, LoadRefusesABadFileBeforeWritingAnything) {
    struct Case {
        const char* name;
        std::string content;
        std::string messageHas;  // empty: no message at all
        std::string title;
    };
    const std::string tooLarge = kHeader + std::string(1 << 20, '\n');
    const std::vector<Case> cases = {
        {"lower-case header", "//vrq66208a register file\r\n0x04\t55\r\n",
         "File selected is not a valid VRQ66208A register file", "Error"},
        {"ZZ in line 5", kHeader + "0x03\t12\r\n0x04\t55\r\n0x05\t01\r\n0x04\tZZ\r\n0x06\t35\r\n",
         "Line 5 is not a valid register line: 0x04\tZZ", "VRQ66208A"},
        {"no value field", kHeader + "0x04\r\n", "Line 2", "VRQ66208A"},
        {"too large", tooLarge, "too large", "VRQ66208A"},
        {"empty file", "", "", ""},
    };
    const int descriptors = OpenDescriptors();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Path("bad.txt");
        WriteFile(path, c.content);
        presenter->messages.clear();
        if (!c.messageHas.empty()) {
            presenter->Script({link::AnswerOk});
        }
        MarkStale();
        const std::size_t commands = I2CCommands();
        Load(path);
        if (c.messageHas.empty()) {
            EXPECT_TRUE(presenter->messages.empty());
        } else {
            ASSERT_EQ(presenter->messages.size(), 1U);
            const auto& message = presenter->messages[0];
            EXPECT_NE(message.text.find(c.messageHas), std::string::npos) << message.text;
            EXPECT_EQ(message.buttons, link::MessageButtons::Ok);
            EXPECT_EQ(message.title, c.title);
        }
        EXPECT_EQ(I2CCommands(), commands) << "nothing written, nothing read";
        EXPECT_EQ(RegBox(3)->text(), QStringLiteral("EE"));
    }
    EXPECT_TRUE(Chip().WriteLog().empty());
    EXPECT_EQ(OpenDescriptors(), descriptors) << "every file closed";
}

TEST_F(RegisterFilesTest, LoadOfAFileThatIsGoneSaysSoAndWritesNothing) {
    presenter->Script({link::AnswerOk});
    const QString path = Path("gone.txt");
    Load(path);
    ASSERT_EQ(presenter->messages.size(), 1U);
    EXPECT_NE(presenter->messages[0].text.find(path.toStdString()), std::string::npos);
    EXPECT_EQ(I2CCommands(), 0U);
}

TEST_F(RegisterFilesTest, DeviceErrorStopsTheLoadWithoutTheReadAll) {
    const QString path = Path("stop.txt");
    WriteFile(path, kHeader + "0x03\t12\r\n0x04\t55\r\n");
    MarkStale();
    Chip().SetAcknowledge(false);
    presenter->Script({link::AnswerRetry});
    const std::size_t commands = I2CCommands();
    Load(path);
    ASSERT_EQ(presenter->messages.size(), 1U);
    EXPECT_NE(presenter->messages[0].text.find("Invalid I2C address"), std::string::npos);
    EXPECT_EQ(I2CCommands(), commands + 1) << "one write, then nothing";
    EXPECT_EQ(RegBox(3)->text(), QStringLiteral("EE"));
}

TEST_F(RegisterFilesTest, CancelAtFileExistsLeavesTheFileAndOkReplacesIt) {
    const QString path = Path("registers.txt");
    const std::string old = "keep me\r\n\x01\xFF";
    WriteFile(path, old);
    presenter->Script({link::AnswerCancel});
    Save(path);
    ASSERT_EQ(presenter->messages.size(), 1U);
    EXPECT_EQ(presenter->messages[0].text, "File exists.  Press OK to overwrite, Cancel to abort.");
    EXPECT_EQ(presenter->messages[0].title, "File Exists");
    EXPECT_EQ(presenter->messages[0].buttons, link::MessageButtons::OkCancel);
    EXPECT_EQ(ReadFile(path), old);

    presenter->Script({link::AnswerOk});
    Save(path);
    EXPECT_EQ(presenter->messages.size(), 2U);
    EXPECT_EQ(ReadFile(path).substr(0, kHeader.size() + 9), kHeader + "0x00\t31\r\n");
}

TEST_F(RegisterFilesTest, FailedWriteLeavesTheOldFileWholeAndSaysWhy) {
    const QString path = Path("registers.txt");
    const std::string old = kHeader + "0x04\t55\r\n";
    WriteFile(path, old);

    // A file-size limit below the new file's size: the write fails part-way.
    presenter->Script({link::AnswerOk, link::AnswerOk});
    {
        const FileSizeLimit limit(64);
        ASSERT_TRUE(limit.Active());
        Save(path);
    }

    ASSERT_EQ(presenter->messages.size(), 2U);
    const auto& message = presenter->messages[1];
    EXPECT_NE(message.text.find(path.toStdString()), std::string::npos) << message.text;
    EXPECT_EQ(message.title, "VRQ66208A");
    EXPECT_EQ(message.buttons, link::MessageButtons::Ok);
    EXPECT_EQ(ReadFile(path), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("registers.txt")});

    // A folder that does not exist: nothing to replace, and the message says why.
    const QString nowhere = Path("no such folder/registers.txt");
    presenter->Script({link::AnswerOk});
    Save(nowhere);
    ASSERT_EQ(presenter->messages.size(), 3U);
    EXPECT_NE(presenter->messages[2].text.find(nowhere.toStdString()), std::string::npos)
        << presenter->messages[2].text;
    EXPECT_FALSE(QFile::exists(nowhere));
}

TEST_F(RegisterFilesTest, SaveWhoseReadAllFailedWritesNoFile) {
    Chip().SetAcknowledge(false);
    presenter->Script({link::AnswerRetry});
    Save(Path("registers.txt"));  // scripted, but never asked
    EXPECT_EQ(presenter->messages.size(), 1U);
    EXPECT_TRUE(dialogs->asked.empty());
    EXPECT_FALSE(QFile::exists(Path("registers.txt")));
}

TEST_F(RegisterFilesTest, CancelledDialogsDoNothingMore) {
    MarkStale();
    Save(std::nullopt);
    EXPECT_TRUE(Refreshed()) << "the save reads the panel before its dialog";
    EXPECT_TRUE(QDir(dir.path()).isEmpty());

    MarkStale();
    const std::size_t commands = I2CCommands();
    Load(std::nullopt);
    EXPECT_EQ(I2CCommands(), commands);
    EXPECT_EQ(RegBox(3)->text(), QStringLiteral("EE"));
    EXPECT_TRUE(presenter->messages.empty());
    EXPECT_EQ(dialogs->asked.size(), 2U);
}

// Ctrl+S opens the save dialog, Ctrl+O the load dialog.
class FileShortcut : public RegisterFilesTest, public ::testing::WithParamInterface<Qt::Key> {};

TEST_P(FileShortcut, OpensItsDialog) {
    dialogs->Script(std::nullopt);
    QTest::keyClick(window.get(), GetParam(), Qt::ControlModifier);
    ASSERT_EQ(dialogs->asked.size(), 1U);
    EXPECT_EQ(dialogs->asked[0].save, GetParam() == Qt::Key_S);
}

INSTANTIATE_TEST_SUITE_P(RegisterFilesTest, FileShortcut, ::testing::Values(Qt::Key_S, Qt::Key_O),
                         [](const auto& row) {
                             return std::string(row.param == Qt::Key_S ? "CtrlS" : "CtrlO");
                         });

}  // namespace
}  // namespace vrq::test
