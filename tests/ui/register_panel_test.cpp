// The register panel against a simulated board: Read All Registers, the keys of the register
// boxes, their pauses and writes, and the tool tips.
#include <QCheckBox>
#include <QPushButton>

#include <ostream>

#include "board/hex.h"
#include "device/register_decoder.h"
#include "main_window_fixture.h"
#include "panel_keys.h"

namespace vrq::test {
namespace {

// An I2C request as the board received it.
struct Request {
    bool read;
    int first;
    int count;
    bool operator==(const Request&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const Request& r) {
        return out << (r.read ? "read " : "write ") << r.first << " x" << r.count;
    }
};

class RegisterPanel : public MainWindowTest {
  protected:
    void StartOnChip() {
        Start();
        window->Link().I2CAddress = ChipAddressByte();
    }

    std::vector<Request> Requests() {
        std::vector<Request> requests;
        for (const board::Report& report : Board(0).Commands()) {
            if (report[board::off::kCommand] == board::CommandI2C) {
                requests.push_back({(report[board::off::kAddress] & 1) != 0,
                                    report[board::off::kFirstRegister],
                                    report[board::off::kCount]});
            }
        }
        return requests;
    }

    void ClickReadAll() {
        QTest::mouseClick(Find<QPushButton>(QStringLiteral("cmdReadAllRegisters")), Qt::LeftButton);
    }

    // Every box that Read All Registers fills, with a text of its own; the others as well.
    void MarkAllBoxes() {
        for (int i = 0; i < ui::FrmMain::kRegBoxCount; ++i) {
            RegBox(i)->setText(QStringLiteral("5A"));
        }
    }

    // Distinct values in every register of the working set (the test register's PRBS
    // checker stays off, so the error counters hold still).
    std::vector<int> PokeWorkingSet() {
        std::vector<int> expected(ui::FrmMain::kRegBoxCount, -1);
        for (int reg = 0; reg <= 0x10; ++reg) {
            if (reg > 0x0C && reg < 0x10) {
                continue;
            }
            const auto value = static_cast<std::uint8_t>(reg == 0x09 ? 0x03 : 0xA0 + reg);
            Board(0).Chip().Poke(static_cast<std::uint8_t>(reg), value);
            expected[static_cast<std::size_t>(reg)] =
                Board(0).Chip().Peek(static_cast<std::uint8_t>(reg));
        }
        return expected;
    }

    void ExpectBoxes(const std::vector<int>& expected, int firstUnread) {
        for (int i = 0; i < ui::FrmMain::kRegBoxCount; ++i) {
            const bool read = expected[static_cast<std::size_t>(i)] >= 0 && i < firstUnread;
            const QString want = read ? QString::fromStdString(board::ByteToHex(
                                            static_cast<std::uint8_t>(expected[i])))
                                      : QStringLiteral("5A");
            EXPECT_EQ(RegBox(i)->text(), want) << "box " << i;
        }
    }

    // The key-up write of one box, after the pause, as the chip logged it.
    void ExpectStep(int box, const char* before, Qt::Key key, const char* after, int written) {
        Board(0).Chip().ClearWriteLog();
        RegBox(box)->setText(QString::fromLatin1(before));
        QTest::keyClick(RegBox(box), key);
        EXPECT_EQ(RegBox(box)->text(), QString::fromLatin1(after)) << before << " key " << key;
        EXPECT_EQ(Writes(Board(0)), (WriteList{{box, written}})) << before << " key " << key;
    }
};

std::vector<Request> SingleReads(int first, int last) {
    std::vector<Request> reads;
    for (int reg = first; reg <= last; ++reg) {
        reads.push_back({true, reg, 1});
    }
    return reads;
}

TEST_F(RegisterPanel, ReadAllFillsTheWorkingSetInBurstAndSingleReads) {
    StartOnChip();
    std::vector<int> expected = PokeWorkingSet();

    MarkAllBoxes();
    Find<QCheckBox>(QStringLiteral("chkBurstRead"))->setChecked(true);
    ClickReadAll();
    ExpectBoxes(expected, 0x100);
    EXPECT_EQ(Requests(), (std::vector<Request>{{true, 0x00, 13}, {true, 0x10, 1}}));

    Board(0).ClearCommands();
    expected = PokeWorkingSet();  // the error counters cleared when read
    MarkAllBoxes();
    Find<QCheckBox>(QStringLiteral("chkBurstRead"))->setChecked(false);
    ClickReadAll();
    ExpectBoxes(expected, 0x100);
    std::vector<Request> single = SingleReads(0x00, 0x0C);
    single.push_back({true, 0x10, 1});
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
    auto* burst = Find<QCheckBox>(QStringLiteral("chkBurstRead"));

    // A silent chip: the burst changes no box, single reads stop at the first register.
    Board(0).Chip().SetAcknowledge(false);
    for (const bool burstRead : {true, false}) {
        MarkAllBoxes();
        Board(0).ClearCommands();
        presenter->messages.clear();
        presenter->Script({board::AnswerRetry});
        burst->setChecked(burstRead);
        ClickReadAll();
        ExpectBoxes(expected, 0);
        ASSERT_EQ(presenter->messages.size(), 1u) << burstRead;
        EXPECT_EQ(presenter->messages[0].text,
                  "Invalid I2C address. Press Retry to return to GUI and enter valid address or "
                  "Cancel to close GUI.");
        EXPECT_EQ(Requests(), (std::vector<Request>{{true, 0x00, burstRead ? 13 : 1}}));
    }

    // A chip that falls silent at register 0x05: the boxes before it are read, nothing after,
    // and 0x10 is not asked for.
    Board(0).Chip().SetAcknowledge(true);
    Board(0).onCommand = [this](const board::Report& report) {
        if (report[board::off::kFirstRegister] == 0x05) {
            Board(0).Chip().SetAcknowledge(false);
        }
    };
    MarkAllBoxes();
    Board(0).ClearCommands();
    presenter->messages.clear();
    presenter->Script({board::AnswerRetry});
    burst->setChecked(false);
    ClickReadAll();
    ExpectBoxes(expected, 0x05);
    EXPECT_EQ(presenter->messages.size(), 1u);
    EXPECT_EQ(Requests(), SingleReads(0x00, 0x05));
}

TEST_F(RegisterPanel, StepKeysWrapAndWriteAtOnce) {
    StartOnChip();
    const int passesBefore = pausePasses;
    const auto start = std::chrono::steady_clock::now();
    ExpectStep(4, "00", Qt::Key_Down, "FF", 0xFF);
    ExpectStep(4, "FF", Qt::Key_Up, "00", 0x00);
    ExpectStep(6, "F8", Qt::Key_PageUp, "08", 0x08);
    ExpectStep(7, "05", Qt::Key_PageDown, "F5", 0xF5);
    ExpectStep(8, "7", Qt::Key_Right, "08", 0x08);
    ExpectStep(8, "c", Qt::Key_Left, "0B", 0x0B);
    // Boxes of the test tab write the register of their index, 0x16 included.
    ExpectStep(17, "00", Qt::Key_Up, "01", 0x01);
    Board(0).Chip().ClearWriteLog();
    RegBox(22)->setText(QStringLiteral("41"));
    QTest::keyClick(RegBox(22), Qt::Key_Up);
    EXPECT_EQ(Writes(Board(0)), (WriteList{{0x16, 0x42}}));
    EXPECT_EQ(RegBox(22)->text(), QStringLiteral("00"));  // nothing there to hold it
    // Only the read-back's 0.2 s each: no typing pause.
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::milliseconds(8 * 200 + 400));
    EXPECT_GT(pausePasses, passesBefore);
}

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
    // (The platform reports the modifier state from before each event, as here.)
    QKeyEvent ctrlDown(QEvent::KeyPress, Qt::Key_Control, Qt::NoModifier);
    QApplication::sendEvent(box, &ctrlDown);
    QKeyEvent ctrlUp(QEvent::KeyRelease, Qt::Key_Control, Qt::ControlModifier);
    QApplication::sendEvent(box, &ctrlUp);
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
    QLineEdit* box = RegBox(4);
    QString during;

    box->clear();
    DuringNextPause([&] { during = box->text(); });
    QTest::keyClick(box, Qt::Key_A);
    EXPECT_EQ(during, QStringLiteral("A"));
    EXPECT_EQ(box->text(), QStringLiteral("0A"));

    // A dropped key still writes the box's value after the pause.
    DuringNextPause([&] { during = box->text(); });
    QTest::keyClick(box, Qt::Key_G);
    EXPECT_EQ(during, QStringLiteral("0A"));

    // Emptied with Backspace: 0x00.
    box->setText(QStringLiteral("5"));
    box->setCursorPosition(1);
    DuringNextPause([&] { during = box->text(); });
    QTest::keyClick(box, Qt::Key_Backspace);
    EXPECT_EQ(during, QString());
    EXPECT_EQ(Writes(Board(0)), (WriteList{{4, 0x0A}, {4, 0x0A}, {4, 0x00}}));
    EXPECT_EQ(box->text(), QStringLiteral("00"));

    // Emptied with Delete, the register's bits 7:4 not kept: the box shows what it holds.
    Board(0).Chip().ClearWriteLog();
    box = RegBox(5);
    box->setText(QStringLiteral("3"));
    box->setCursorPosition(0);
    DuringNextPause([&] { during = box->text(); });
    QTest::keyClick(box, Qt::Key_Delete);
    EXPECT_EQ(during, QString());
    EXPECT_EQ(Writes(Board(0)), (WriteList{{5, 0x00}}));
    EXPECT_EQ(box->text(), QStringLiteral("00"));
}

TEST_F(RegisterPanel, DeleteAndAltKeysAsX11DeliversThem) {
    StartOnChip();
    QLineEdit* box = RegBox(4);
    const auto deleteFirst = [&](const char* before, int written, const char* after) {
        Board(0).Chip().ClearWriteLog();
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
    Board(0).Chip().ClearWriteLog();
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
    QKeyEvent ctrlDown(QEvent::KeyPress, Qt::Key_Control, Qt::NoModifier);
    QApplication::sendEvent(box, &ctrlDown);
    QKeyEvent vDown(QEvent::KeyPress, Qt::Key_V, Qt::ControlModifier, QStringLiteral("\x16"));
    QApplication::sendEvent(box, &vDown);
    EXPECT_EQ(box->text(), QStringLiteral("3C"));
    // The user clicks elsewhere and lets go of both keys there.
    RegBox(5)->setFocus();
    box->setFocus();

    // A lone Ctrl, then a lone V, each written on its release.
    QKeyEvent ctrlAgain(QEvent::KeyPress, Qt::Key_Control, Qt::NoModifier);
    QApplication::sendEvent(box, &ctrlAgain);
    QKeyEvent ctrlUp(QEvent::KeyRelease, Qt::Key_Control, Qt::ControlModifier);
    QApplication::sendEvent(box, &ctrlUp);
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
    Board(0).Chip().Poke(4, 0x00);
    QTest::keyClick(box, Qt::Key_3);
    EXPECT_EQ(afterInner, QStringLiteral("3F"));
    EXPECT_EQ(writesAfterInner, (WriteList{{4, 0x3F}}));
    EXPECT_EQ(Writes(Board(0)), (WriteList{{4, 0x3F}, {4, 0x3F}}));
    EXPECT_EQ(box->text(), QStringLiteral("3F"));
    // Each write has its own read-back.
    EXPECT_EQ(Requests(),
              (std::vector<Request>{{false, 4, 1}, {true, 4, 1}, {false, 4, 1}, {true, 4, 1}}));
}

TEST_F(RegisterPanel, TheBoxShowsWhatTheChipHolds) {
    StartOnChip();
    Board(0).Chip().SetActiveClocks(0x01);  // channel A; auto-select is on at power-on
    QLineEdit* box = RegBox(2);
    box->setText(QStringLiteral("0"));
    box->setCursorPosition(1);
    QTest::keyClick(box, Qt::Key_7);
    EXPECT_EQ(Writes(Board(0)), (WriteList{{2, 0x07}}));
    EXPECT_EQ(Board(0).Chip().Peek(2), 0x04);
    EXPECT_EQ(box->text(), QStringLiteral("04"));
}

TEST_F(RegisterPanel, AnUnacknowledgedWriteKeepsTheTypedTextWithoutReadBack) {
    StartOnChip();
    Board(0).Chip().SetAcknowledge(false);
    presenter->Script({board::AnswerRetry});
    RegBox(4)->setText(QStringLiteral("1f"));
    QTest::keyClick(RegBox(4), Qt::Key_Up);
    EXPECT_EQ(RegBox(4)->text(), QStringLiteral("20"));
    EXPECT_EQ(presenter->messages.size(), 1u);
    EXPECT_EQ(Requests(), (std::vector<Request>{{false, 4, 1}}));
    EXPECT_EQ(pausePasses, 0);
}

}  // namespace
}  // namespace vrq::test
