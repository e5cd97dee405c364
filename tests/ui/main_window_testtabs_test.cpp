// The hidden test tabs, their access word, and the multi-write test.
#include <QImage>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QWheelEvent>

#include "main_window_fixture.h"
#include "sim/chip_model.h"

namespace vrq::test {
namespace {

class MainWindowTestTabs : public MainWindowTest {
  protected:
    QTabWidget* Tabs() const { return Find<QTabWidget>(QStringLiteral("SSTab1")); }
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
    Start();
    window->Link().I2CAddress = 0x88;  // each key's release writes the box to the chip
    RegBox(2)->setFocus();
    QTest::keyClicks(RegBox(2), QStringLiteral("qzvk"));
    EXPECT_FALSE(TestTabsShown());
    TypeOnStrip("k");  // the box's keys left nothing behind on the strip
    EXPECT_FALSE(TestTabsShown());
}

TEST_F(MainWindowTestTabs, HiddenTabsAreOutOfReachOfArrowsCtrlTabAndWheel) {
    Start();
    window->Link().I2CAddress = 0x88;  // releasing Ctrl in a register box writes it
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
        Start();
        window->Link().I2CAddress = sim::kDefaultChipAddress7 << 1;
        window->ShowTestTabs(true);
        Tabs()->setCurrentIndex(2);
        for (int i = 6; i <= 8; ++i) {
            RegBox(i)->setText(QStringLiteral("AB"));
        }
        Board(0).ClearCommands();
        Board(0).Chip().ClearWriteLog();
    }
    void Click() {
        QTest::mouseClick(Find<QPushButton>(QStringLiteral("cmdMultiWriteTest")), Qt::LeftButton);
    }
    int I2CReads() {
        int reads = 0;
        for (const board::Report& report : transport.Board(0).Commands()) {
            reads += report[board::off::kCommand] == board::CommandI2C &&
                     (report[board::off::kAddress] & 1) == 1;
        }
        return reads;
    }
};

TEST_F(MultiWriteTest, WritesOneToRegisters6To8InOneReportAndShowsTheReadBack) {
    // Something changes register 0x07 during the pause: the box shows what is read back.
    DuringNextPause([this] { Board(0).Chip().Poke(0x07, 0x5A); });
    Click();

    const auto& log = Board(0).Chip().WriteLog();
    ASSERT_EQ(log.size(), 3U);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(log[i].reg, 0x06 + i);
        EXPECT_EQ(log[i].value, 0x01);
    }
    const auto& commands = Board(0).Commands();
    ASSERT_EQ(commands.size(), 2U);
    const board::Report& write = commands[0];
    EXPECT_EQ(write[board::off::kCommand], board::CommandI2C);
    EXPECT_EQ(write[board::off::kCount], 3);
    EXPECT_EQ(write[board::off::kAddress], 0x88);
    EXPECT_EQ(write[board::off::kFirstRegister], 0x06);
    EXPECT_EQ(write[board::off::kWriteData + 0], 0x01);
    EXPECT_EQ(write[board::off::kWriteData + 1], 0x01);
    EXPECT_EQ(write[board::off::kWriteData + 2], 0x01);
    const board::Report& read = commands[1];
    EXPECT_EQ(read[board::off::kCount], 3);
    EXPECT_EQ(read[board::off::kAddress], 0x89);
    EXPECT_EQ(read[board::off::kFirstRegister], 0x06);

    EXPECT_GT(pausePasses, 0);
    EXPECT_EQ(RegBox(6)->text(), QStringLiteral("01"));
    EXPECT_EQ(RegBox(7)->text(), QStringLiteral("5A"));
    EXPECT_EQ(RegBox(8)->text(), QStringLiteral("01"));
}

TEST_F(MultiWriteTest, ChipThatDoesNotAcknowledgeLeavesTheBoxes) {
    Board(0).Chip().SetAcknowledge(false);
    presenter->Script({board::AnswerRetry});
    Click();
    ASSERT_EQ(presenter->messages.size(), 1U);
    EXPECT_EQ(presenter->messages[0].text,
              "Invalid I2C address. Press Retry to return to GUI and enter valid address or "
              "Cancel to close GUI.");
    EXPECT_EQ(I2CReads(), 0);
    for (int i = 6; i <= 8; ++i) {
        EXPECT_EQ(RegBox(i)->text(), QStringLiteral("AB"));
    }
}

}  // namespace
}  // namespace vrq::test
