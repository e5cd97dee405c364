// The hidden test tabs, their access word, and the multi-write test.
#include <QImage>
#include <QTabBar>
#include <QTabWidget>
#include <QWheelEvent>

#include "main_window_fixture.h"

namespace vrq::test {
namespace {

class MainWindowTestTabs : public MainWindowTest {
  protected:
    QTabWidget* Tabs() const { return Find<QTabWidget>("SSTab1"); }
    QTabBar* Strip() const { return Tabs()->tabBar(); }
    bool TestTabsShown() const {
        EXPECT_EQ(Tabs()->isTabVisible(1), Tabs()->isTabVisible(2));
        return Tabs()->isTabVisible(1);
    }
    void TypeOnStrip(const char* text) {
        Strip()->setFocus();
        QTest::keyClicks(Strip(), QString::fromLatin1(text));
    }
    void Wheel(int angle) {
        QWheelEvent wheel(QPointF(5, 5), Strip()->mapToGlobal(QPointF(5, 5)), QPoint(),
                          QPoint(0, angle), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(Strip(), &wheel);
    }
};

TEST_F(MainWindowTestTabs, OnlyRegistersShowsAtStart) {
    Start();
    ASSERT_EQ(Tabs()->count(), 3);
    EXPECT_TRUE(Tabs()->isTabVisible(0));
    EXPECT_FALSE(TestTabsShown());
    EXPECT_EQ(Tabs()->currentIndex(), 0);
    EXPECT_EQ(Tabs()->tabText(0), QStringLiteral("Registers"));
}

TEST_F(MainWindowTestTabs, TheStripShowsThatItHasTheFocusWhenClicked) {
    Start();
    QTest::mouseClick(Strip(), Qt::LeftButton, {}, Strip()->tabRect(0).center());
    ASSERT_TRUE(Strip()->hasFocus());
    const QImage focused = Strip()->grab().toImage();
    RegBox(2)->setFocus();
    EXPECT_NE(Strip()->grab().toImage(), focused);
}

TEST_F(MainWindowTestTabs, AccessWordInCapitalsRevealsBothTestTabs) {
    Start();
    TypeOnStrip("qzv");
    QTest::keyClick(Strip(), Qt::Key_K, Qt::AltModifier);  // an access key, not a letter typed
    EXPECT_FALSE(TestTabsShown());
    TypeOnStrip("QZVK");
    EXPECT_TRUE(TestTabsShown());
    EXPECT_EQ(Tabs()->currentIndex(), 0);
}

TEST_F(MainWindowTestTabs, AccessWordAfterOtherKeysInTwoBurstsRevealsAndTheyStay) {
    Start();
    TypeOnStrip("hello q");
    TypeOnStrip("z");
    EXPECT_FALSE(TestTabsShown());
    QTest::qWait(300);
    TypeOnStrip("v");
    EXPECT_FALSE(TestTabsShown());
    TypeOnStrip("k");
    EXPECT_TRUE(TestTabsShown());
    TypeOnStrip("more");
    EXPECT_TRUE(TestTabsShown());
}

TEST_F(MainWindowTestTabs, AccessWordTypedIntoARegisterBoxRevealsNothing) {
    StartOnChip();  // each key's release writes the box to the chip
    RegBox(2)->setFocus();
    QTest::keyClicks(RegBox(2), QStringLiteral("qzvk"));
    EXPECT_FALSE(TestTabsShown());
    TypeOnStrip("k");  // the box's keys left nothing behind on the strip
    EXPECT_FALSE(TestTabsShown());
}

TEST_F(MainWindowTestTabs, HiddenTabsAreOutOfReachOfArrowsCtrlTabAndWheel) {
    StartOnChip();  // releasing Ctrl in a register box writes it
    Strip()->setFocus();
    QTest::keyClick(Strip(), Qt::Key_Right);
    QTest::keyClick(Strip(), Qt::Key_Left);
    Wheel(-120);
    Wheel(120);
    QTest::keyClick(Strip(), Qt::Key_Tab, Qt::ControlModifier);
    QTest::keyClick(Strip(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(Strip(), Qt::Key_PageDown, Qt::ControlModifier);
    RegBox(3)->setFocus();
    QTest::keyClick(RegBox(3), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(Tabs()->currentIndex(), 0);

    // Once shown, the test tabs are reached as usual.
    window->ShowTestTabs(true);
    Strip()->setFocus();
    QTest::keyClick(Strip(), Qt::Key_Right);
    EXPECT_EQ(Tabs()->currentIndex(), 1);
    Wheel(-120);
    EXPECT_EQ(Tabs()->currentIndex(), 2);
    QTest::keyClick(Strip(), Qt::Key_Right);  // the last tab: no further
    EXPECT_EQ(Tabs()->currentIndex(), 2);
    QTest::keyClick(Strip(), Qt::Key_Tab, Qt::ControlModifier);  // Ctrl+Tab wraps
    EXPECT_EQ(Tabs()->currentIndex(), 0);
    QTest::keyClick(Strip(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Tabs()->currentIndex(), 2);
}

class MultiWriteTest : public MainWindowTestTabs {
  protected:
    void SetUp() override {
        StartOnChip();
        window->ShowTestTabs(true);
        Tabs()->setCurrentIndex(2);
        for (int i = 6; i <= 8; ++i) {
            RegBox(i)->setText(QStringLiteral("AB"));
        }
    }
};

TEST_F(MultiWriteTest, WritesOneToRegisters6To8InOneReportAndShowsTheReadBack) {
    // Something changes register 0x07 during the pause: the box shows what is read back.
    DuringNextPause([this] { Chip().Poke(0x07, 0x5A); });
    Click("cmdMultiWriteTest");
    EXPECT_EQ(Writes(Board(0)), (WriteList{{6, 0x01}, {7, 0x01}, {8, 0x01}}));
    EXPECT_EQ(SentTo(Board(0)), (std::vector<Sent>{Write(kChipAddress, 0x06, {1, 1, 1}),
                                                   Read(kChipAddress, 0x06, 3)}));
    EXPECT_GT(pausePasses, 0);
    EXPECT_EQ(RegBox(6)->text(), QStringLiteral("01"));
    EXPECT_EQ(RegBox(7)->text(), QStringLiteral("5A"));
    EXPECT_EQ(RegBox(8)->text(), QStringLiteral("01"));
}

// The write was acknowledged but the read-back fails: the boxes show what was written, not
// zeros the failed read never gave.
TEST_F(MultiWriteTest, AFailedReadBackShowsWhatWasWritten) {
    Board(0).onCommand = [this](const board::Report& command) {
        if (Decoded(command).kind == Sent::Kind::Read) {
            Chip().SetAcknowledge(false);
        }
    };
    Click("cmdMultiWriteTest");
    EXPECT_EQ(CountSent(Board(0), Sent::Kind::Read), 1U);
    EXPECT_TRUE(presenter->messages.empty());
    for (int i = 6; i <= 8; ++i) {
        EXPECT_EQ(RegBox(i)->text(), QStringLiteral("01")) << i;
    }
}

TEST_F(MultiWriteTest, ChipThatDoesNotAcknowledgeLeavesTheBoxes) {
    Chip().SetAcknowledge(false);
    presenter->Script({link::AnswerRetry});
    Click("cmdMultiWriteTest");
    ASSERT_EQ(presenter->messages.size(), 1U);
    EXPECT_EQ(presenter->messages[0].text,
              "Invalid I2C address. Press Retry to return to GUI and enter valid address or "
              "Cancel to close GUI.");
    EXPECT_EQ(CountSent(Board(0), Sent::Kind::Read), 0U);
    for (int i = 6; i <= 8; ++i) {
        EXPECT_EQ(RegBox(i)->text(), QStringLiteral("AB"));
    }
}

}  // namespace
}  // namespace vrq::test
