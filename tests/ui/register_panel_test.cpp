// The register panel against a simulated board on virtual time: Read All Registers, the keys
// of the register boxes, their pauses and writes, and the tool tips.
#include <QCheckBox>

#include <chrono>

#include "device/register_decoder.h"
#include "main_window_fixture.h"

namespace vrq::test {
namespace {

class RegisterPanel : public VirtualTimeWindowTest {
  protected:
    std::vector<Sent> Requests() { return SentTo(Board(0)); }

    // Every box gets a text of its own, to see which ones a read fills.
    void MarkAllBoxes() {
        for (int i = 0; i < ui::RegisterPanel::kBoxCount; ++i) {
            RegBox(i)->setText(QStringLiteral("5A"));
        }
    }

    // Distinct values in every register of the working set (the test register's PRBS
    // checker stays off, so the error counters hold still); -1 for the other boxes.
    std::vector<int> PokeWorkingSet() {
        std::vector<int> expected(ui::RegisterPanel::kBoxCount, -1);
        for (const std::uint8_t reg : device::WorkingSetAddresses()) {
            Chip().Poke(reg, static_cast<std::uint8_t>(reg == 0x09 ? 0x03 : 0xA0 + reg));
            expected[reg] = Chip().Peek(reg);
        }
        return expected;
    }

    // The boxes of the registers below firstUnread show the chip's values, the rest "5A".
    void ExpectBoxes(const std::vector<int>& expected, int firstUnread) {
        for (int i = 0; i < ui::RegisterPanel::kBoxCount; ++i) {
            const int value = expected[static_cast<std::size_t>(i)];
            const bool read = value >= 0 && i < firstUnread;
            EXPECT_EQ(RegBox(i)->text(), read ? Hex(value) : QStringLiteral("5A")) << "box " << i;
        }
    }

    void ReadAll(bool burst) {
        MarkAllBoxes();
        Board(0).ClearCommands();
        presenter->messages.clear();
        CheckBox(QStringLiteral("chkBurstRead"))->setChecked(burst);
        Click("cmdReadAllRegisters");
    }
};

std::vector<Sent> SingleReads(int first, int last) {
    std::vector<Sent> reads;
    for (int reg = first; reg <= last; ++reg) {
        reads.push_back(Read(kChipAddress, reg));
    }
    return reads;
}

TEST_F(RegisterPanel, ReadAllFillsTheWorkingSetInBurstAndSingleReads) {
    StartOnChip();
    std::vector<int> expected = PokeWorkingSet();
    ReadAll(true);
    ExpectBoxes(expected, 0x100);
    EXPECT_EQ(Requests(),
              (std::vector<Sent>{Read(kChipAddress, 0x00, 13), Read(kChipAddress, 0x10)}));

    expected = PokeWorkingSet();  // the error counters cleared when read
    ReadAll(false);
    ExpectBoxes(expected, 0x100);
    std::vector<Sent> single = SingleReads(0x00, 0x0C);
    single.push_back(Read(kChipAddress, 0x10));
    EXPECT_EQ(Requests(), single);
    EXPECT_TRUE(presenter->messages.empty());

    // The working set's boxes explain what they show.
    EXPECT_EQ(RegBox(3)->toolTip().toStdString(),
              "Input Control (0x03)\n" + device::DescribeRegister(0x03, 0xA3));
    RegBox(3)->setText(QString());
    EXPECT_EQ(RegBox(3)->toolTip(), QStringLiteral("Input Control (0x03)"));
}

TEST_F(RegisterPanel, ReadAllStopsAtADeviceErrorWithOneMessage) {
    StartOnChip();
    const std::vector<int> expected = PokeWorkingSet();

    // A silent chip: the burst changes no box, single reads stop at the first register.
    Chip().SetAcknowledge(false);
    for (const bool burst : {true, false}) {
        presenter->Script({link::AnswerRetry});
        ReadAll(burst);
        ExpectBoxes(expected, 0);
        ASSERT_EQ(presenter->messages.size(), 1u) << burst;
        EXPECT_EQ(presenter->messages[0].text,
                  "Invalid I2C address. Press Retry to return to GUI and enter valid address or "
                  "Cancel to close GUI.");
        EXPECT_EQ(Requests(), (std::vector<Sent>{Read(kChipAddress, 0x00, burst ? 13 : 1)}));
    }

    // A chip that falls silent at register 0x05: the boxes before it are read, nothing after,
    // and 0x10 is not asked for.
    Chip().SetAcknowledge(true);
    Board(0).onCommand = [this](const board::Report& report) {
        if (Decoded(report).first == 0x05) {
            Chip().SetAcknowledge(false);
        }
    };
    presenter->Script({link::AnswerRetry});
    ReadAll(false);
    ExpectBoxes(expected, 0x05);
    EXPECT_EQ(presenter->messages.size(), 1u);
    EXPECT_EQ(Requests(), SingleReads(0x00, 0x05));
}

struct StepCase {
    const char* name;
    int box;
    const char* before;
    Qt::Key key;
    const char* after;
    int written;  // to the register of the box
};
void PrintTo(const StepCase& c, std::ostream* out) {
    *out << c.name;
}

class StepKey : public RegisterPanel, public ::testing::WithParamInterface<StepCase> {};

// No typing pause: the write goes out at once (after the drain's millisecond), the read-back
// 0.2 s later.
TEST_P(StepKey, StepsWrapAndWriteAtOnce) {
    const StepCase& c = GetParam();
    StartOnChip();
    RegBox(c.box)->setText(QString::fromLatin1(c.before));
    TimeCommands();
    const auto start = virtualClock.Now();
    QTest::keyClick(RegBox(c.box), c.key);
    ASSERT_EQ(commandTimes.size(), 2U);
    EXPECT_EQ(std::chrono::round<std::chrono::milliseconds>(commandTimes[0] - start),
              std::chrono::milliseconds(1));
    EXPECT_EQ(CommandGapsMs(), std::vector<long>{200});
    EXPECT_EQ(RegBox(c.box)->text(), QString::fromLatin1(c.after));
    EXPECT_EQ(Writes(Board(0)), (WriteList{{c.box, c.written}}));
    EXPECT_GT(pausePasses, 0);
}

INSTANTIATE_TEST_SUITE_P(
    RegisterPanel, StepKey,
    ::testing::Values(StepCase{"DownFrom00", 4, "00", Qt::Key_Down, "FF", 0xFF},
                      StepCase{"UpFromFF", 4, "FF", Qt::Key_Up, "00", 0x00},
                      StepCase{"PageUpFromF8", 6, "F8", Qt::Key_PageUp, "08", 0x08},
                      StepCase{"PageDownFrom05", 7, "05", Qt::Key_PageDown, "F5", 0xF5},
                      StepCase{"RightFromOneDigit", 8, "7", Qt::Key_Right, "08", 0x08},
                      StepCase{"LeftFromLowerCase", 8, "c", Qt::Key_Left, "0B", 0x0B},
                      // Boxes of the test tab write the register of their index, 0x16 included
                      // (nothing there to hold it).
                      StepCase{"TestTabBox17", 17, "00", Qt::Key_Up, "01", 0x01},
                      StepCase{"TestTabBox22", 22, "41", Qt::Key_Up, "00", 0x42}),
    CaseName<StepCase>);

TEST_F(RegisterPanel, ModifiedKeysAndARefusedPasteWriteNothing) {
    StartOnChip();
    QLineEdit* box = RegBox(4);
    box->setText(QStringLiteral("3C"));
    box->setCursorPosition(2);
    HeldChord(box, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(box->selectedText(), QStringLiteral("C"));
    HeldChord(box, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(box->text(), QStringLiteral("3C"));

    // Ctrl+A selects all, Ctrl+C copies the selection.
    HeldChord(box, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(box->selectedText(), QStringLiteral("3C"));
    box->setSelection(1, 1);
    HeldChord(box, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("C"));

    // Pastes that are not a byte leave the box as it was; with the release of Ctrl too,
    // as a user types it, nothing is written and nothing waits.
    for (const char* pasted : {"FFFF", "100", "G1", ""}) {
        SetClipboard(QString::fromLatin1(pasted));
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(box->text(), QStringLiteral("3C")) << pasted;
    }
    EXPECT_EQ(pausePasses, 0);
    EXPECT_TRUE(Writes(Board(0)).empty());
    EXPECT_TRUE(presenter->messages.empty());

    // Qt's own paste routes cannot bring such a text either: Shift+Insert does not paste
    // (the box would cut "FFFF" to "FF" before any check), nor does the middle button.
    box->selectAll();
    box->insert(QStringLiteral("G"));
    EXPECT_EQ(box->text(), QStringLiteral("3C"));
    SetClipboard(QStringLiteral("FFFF"));
    HeldChord(box, Qt::Key_Insert, Qt::ShiftModifier);
    QTest::mouseClick(box, Qt::MiddleButton);
    EXPECT_EQ(box->text(), QStringLiteral("3C"));
    EXPECT_EQ(box->contextMenuPolicy(), Qt::NoContextMenu);
    EXPECT_TRUE(Writes(Board(0)).empty());

    // Once the refused chord is up, Ctrl alone is a key like any other: its release writes.
    SendKey(box, QEvent::KeyPress, Qt::Key_Control);
    SendKey(box, QEvent::KeyRelease, Qt::Key_Control, Qt::ControlModifier);
    EXPECT_EQ(Writes(Board(0)), (WriteList{{0x04, 0x3C}}));
}

TEST_F(RegisterPanel, APastedByteReplacesTheWholeTextAndIsWrittenOnCtrlRelease) {
    StartOnChip();
    QLineEdit* box = RegBox(5);  // output options: bits 3:0 only
    box->setText(QStringLiteral("01"));
    box->setSelection(1, 1);
    SetClipboard(QStringLiteral("3c"));
    QString during;
    DuringNextPause([&] { during = box->text(); });
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(during, QStringLiteral("3c"));
    EXPECT_EQ(Writes(Board(0)), (WriteList{{5, 0x3C}}));
    EXPECT_EQ(box->text(), QStringLiteral("0C"));  // what the register holds
}

TEST_F(RegisterPanel, TypedKeysAreFilteredAndWrittenAfterTheirPause) {
    StartOnChip();
    // A key into box, with the text it shows during the pause, before the write.
    const auto key = [this](int index, const char* before, int cursor, Qt::Key pressed) {
        QLineEdit* box = RegBox(index);
        box->setText(QString::fromLatin1(before));
        box->setCursorPosition(cursor);
        QString during = QStringLiteral("<no pause>");
        DuringNextPause([&] { during = box->text(); });
        QTest::keyClick(box, pressed);
        return during;
    };
    EXPECT_EQ(key(4, "", 0, Qt::Key_A), QStringLiteral("A"));
    EXPECT_EQ(RegBox(4)->text(), QStringLiteral("0A"));
    // A dropped key still writes the box's value after the pause.
    EXPECT_EQ(key(4, "0A", 2, Qt::Key_G), QStringLiteral("0A"));
    // Emptied with Backspace: 0x00.
    EXPECT_EQ(key(4, "5", 1, Qt::Key_Backspace), QString());
    EXPECT_EQ(Writes(Board(0)), (WriteList{{4, 0x0A}, {4, 0x0A}, {4, 0x00}}));
    EXPECT_EQ(RegBox(4)->text(), QStringLiteral("00"));

    // Emptied with Delete, the register's bits 7:4 not kept: the box shows what it holds.
    Chip().ClearWriteLog();
    EXPECT_EQ(key(5, "3", 0, Qt::Key_Delete), QString());
    EXPECT_EQ(Writes(Board(0)), (WriteList{{5, 0x00}}));
    EXPECT_EQ(RegBox(5)->text(), QStringLiteral("00"));
}

TEST_F(RegisterPanel, DeleteAndAltKeysAsX11DeliversThem) {
    StartOnChip();
    QLineEdit* box = RegBox(4);
    const auto deleteFirst = [&](const char* before, int written, const char* after) {
        Chip().ClearWriteLog();
        box->setText(QString::fromLatin1(before));
        box->setCursorPosition(0);
        X11KeyClick(box, Qt::Key_Delete, Qt::NoModifier, kX11DeleteText);
        EXPECT_EQ(Writes(Board(0)), (WriteList{{4, written}})) << before;
        EXPECT_EQ(box->text(), QString::fromLatin1(after)) << before;
    };
    deleteFirst("3C", 0x0C, "0C");
    deleteFirst("C", 0x00, "00");  // emptied: 0x00 after the pause

    // Alt with a letter types nothing, even over a selection; its release writes the box's
    // value after the pause, as a key with Alt held does.
    Chip().ClearWriteLog();
    box->setText(QStringLiteral("5"));
    box->selectAll();
    QString during;
    DuringNextPause([&] { during = box->text(); });
    X11KeyClick(box, Qt::Key_A, Qt::AltModifier, QStringLiteral("a"));
    EXPECT_EQ(during, QStringLiteral("5"));
    EXPECT_EQ(Writes(Board(0)), (WriteList{{4, 0x05}}));
    EXPECT_EQ(box->text(), QStringLiteral("05"));
}

TEST_F(RegisterPanel, ARefusedPasteReleasedAfterTheFocusLeftRefusesNoLaterKey) {
    StartOnChip();
    QLineEdit* box = RegBox(4);
    box->setText(QStringLiteral("3C"));
    box->setFocus();
    SetClipboard(QStringLiteral("FFFF"));
    SendKey(box, QEvent::KeyPress, Qt::Key_Control);
    SendKey(box, QEvent::KeyPress, Qt::Key_V, Qt::ControlModifier, QStringLiteral("\x16"));
    EXPECT_EQ(box->text(), QStringLiteral("3C"));
    // The user clicks elsewhere and lets go of both keys there.
    RegBox(5)->setFocus();
    box->setFocus();

    // A lone Ctrl, then a lone V, each written on its release.
    SendKey(box, QEvent::KeyPress, Qt::Key_Control);
    SendKey(box, QEvent::KeyRelease, Qt::Key_Control, Qt::ControlModifier);
    EXPECT_EQ(Writes(Board(0)), (WriteList{{4, 0x3C}}));
    QTest::keyClick(box, Qt::Key_V);
    EXPECT_EQ(Writes(Board(0)), (WriteList{{4, 0x3C}, {4, 0x3C}}));
}

TEST_F(RegisterPanel, TwoDigitsWithinThePauseWriteTheirValueTwice) {
    StartOnChip();
    QLineEdit* box = RegBox(4);
    box->clear();
    QString afterInner;
    WriteList writesAfterInner;
    // The second digit comes while the first one's key-up waits, as a fast typist's would;
    // its own handler runs to its end in there.
    DuringNextPause([&] {
        QTest::keyClick(box, Qt::Key_F);
        afterInner = box->text();
        writesAfterInner = Writes(Board(0));
    });
    Chip().Poke(4, 0x00);
    QTest::keyClick(box, Qt::Key_3);
    EXPECT_EQ(afterInner, QStringLiteral("3F"));
    EXPECT_EQ(writesAfterInner, (WriteList{{4, 0x3F}}));
    EXPECT_EQ(Writes(Board(0)), (WriteList{{4, 0x3F}, {4, 0x3F}}));
    EXPECT_EQ(box->text(), QStringLiteral("3F"));
    // Each write has its own read-back.
    EXPECT_EQ(Requests(),
              (std::vector<Sent>{Write(kChipAddress, 4, {0x3F}), Read(kChipAddress, 4),
                                 Write(kChipAddress, 4, {0x3F}), Read(kChipAddress, 4)}));
}

TEST_F(RegisterPanel, TheBoxShowsWhatTheChipHolds) {
    StartOnChip();
    Chip().SetActiveClocks(0x01);  // channel A; auto-select is on at power-on
    QLineEdit* box = RegBox(2);
    box->setText(QStringLiteral("0"));
    box->setCursorPosition(1);
    QTest::keyClick(box, Qt::Key_7);
    EXPECT_EQ(Writes(Board(0)), (WriteList{{2, 0x07}}));
    EXPECT_EQ(Chip().Peek(2), 0x04);
    EXPECT_EQ(box->text(), QStringLiteral("04"));
}

// A typed key waits 0.5 s (after the drain's millisecond) before its write, the read-back
// 0.2 s after that, on the window's clock and not the machine's.
TEST_F(RegisterPanel, PausesRunOnTheClockTheWindowIsGiven) {
    StartOnChip();
    TimeCommands();
    const auto realStart = std::chrono::steady_clock::now();
    const auto start = virtualClock.Now();
    QTest::keyClick(RegBox(4), Qt::Key_5);
    ASSERT_EQ(commandTimes.size(), 2U);
    EXPECT_EQ(std::chrono::round<std::chrono::milliseconds>(commandTimes[0] - start),
              std::chrono::milliseconds(501));
    EXPECT_EQ(CommandGapsMs(), std::vector<long>{200});
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::milliseconds(500));
    EXPECT_EQ(Writes(Board(0)), (WriteList{{4, 0x05}}));
}

TEST_F(RegisterPanel, AnUnacknowledgedWriteKeepsTheTypedTextWithoutReadBack) {
    StartOnChip();
    Chip().SetAcknowledge(false);
    presenter->Script({link::AnswerRetry});
    RegBox(4)->setText(QStringLiteral("1f"));
    QTest::keyClick(RegBox(4), Qt::Key_Up);
    EXPECT_EQ(RegBox(4)->text(), QStringLiteral("20"));
    EXPECT_EQ(presenter->messages.size(), 1u);
    EXPECT_EQ(Requests(), (std::vector<Sent>{Write(kChipAddress, 4, {0x20})}));
    EXPECT_EQ(pausePasses, 0);
}

}  // namespace
}  // namespace vrq::test
