// The clock list on "Tab 2" as the window builds it from the board and sends what is chosen.
// The list's arithmetic is tested on its own in main_window_logic_test.cpp.
#include <QComboBox>
#include <QPushButton>

#include "main_window_fixture.h"

namespace vrq::test {
namespace {

class MainWindowClock : public MainWindowTest {
  protected:
    QComboBox* Clock() const { return Find<QComboBox>(QStringLiteral("cboSMBusFrequency")); }

    void Pick(Qt::Key key) {
        Clock()->setFocus();
        QTest::keyClick(Clock(), key);
    }
};

TEST_F(MainWindowClock, DividerInForceIsSelectedAndSentBackOnceAndPicksSendTheirDivider) {
    Start();  // the simulated board: 12 MHz, divider 120
    ASSERT_EQ(Clock()->count(), 120);
    EXPECT_EQ(Clock()->currentIndex(), 0);
    EXPECT_EQ(Clock()->currentText(), QStringLiteral("100"));
    EXPECT_EQ(DividersSet(Board(0)), std::vector<int>{120});

    Board(0).ClearCommands();
    Pick(Qt::Key_End);   // the base clock itself
    Pick(Qt::Key_Home);  // the first 100
    Pick(Qt::Key_Down);  // the second 100
    EXPECT_EQ(Clock()->currentText(), QStringLiteral("100"));
    EXPECT_EQ(DividersSet(Board(0)), (std::vector<int>{1, 120, 119}));
    EXPECT_EQ(Board(0).Divider(), 119);

    // A rebuild clears and refills without sending; only the selection is sent, once.
    Board(0).ClearCommands();
    QTest::mouseClick(Find<QPushButton>(QStringLiteral("cmdReconnect")), Qt::LeftButton);
    EXPECT_EQ(DividersSet(Board(0)), std::vector<int>{119});
    EXPECT_EQ(Clock()->currentIndex(), 1);
}

TEST_F(MainWindowClock, DividerBelowOneHundredKilohertzSelectsNothingAndSendsNothing) {
    AddBoards(1);
    Board(0).SetDivider(200);  // 60 kHz
    Start();
    EXPECT_EQ(Clock()->count(), 120);
    EXPECT_EQ(Clock()->currentIndex(), -1);
    EXPECT_TRUE(DividersSet(Board(0)).empty());
}

TEST_F(MainWindowClock, BaseZeroGivesAnEmptyList) {
    AddBoards(1);
    Board(0).SetBaseClockMHz(0);
    Start();
    EXPECT_EQ(Clock()->count(), 0);
    EXPECT_TRUE(DividersSet(Board(0)).empty());
}

TEST_F(MainWindowClock, BaseFortyStartsAtDivider255) {
    AddBoards(1);
    Board(0).SetBaseClockMHz(40);
    Board(0).SetDivider(255);
    Start();
    ASSERT_EQ(Clock()->count(), 255);
    EXPECT_EQ(Clock()->itemData(0).toInt(), 255);
    EXPECT_EQ(Clock()->itemText(0), QStringLiteral("156"));
    EXPECT_EQ(DividersSet(Board(0)), std::vector<int>{255});
}

// The divider set does not go out; Retry finds the board again, which rebuilds the list around
// its old divider, and the pick is sent once more: list and board agree on it.
TEST_F(MainWindowClock, RetryAfterAFailedDividerSetLeavesListAndBoardOnThePick) {
    Start();
    Board(0).failWrites = 1;
    presenter->Script({board::AnswerRetry});
    Pick(Qt::Key_Down);  // the second 100 kHz entry: divider 119
    ASSERT_EQ(presenter->messages.size(), 1U);
    EXPECT_EQ(Board(0).Divider(), 119);
    EXPECT_EQ(Clock()->currentData().toInt(), 119);
    EXPECT_EQ(Clock()->currentIndex(), 1);
}

// The query's answer never comes: the Retry runs discovery again, which rebuilds the list for
// the board found; the failed rebuild adds, selects and sends nothing of its own.
TEST_F(MainWindowClock, NoAnswerToTheQueryLeavesTheListToTheRetry) {
    Start();
    window->Link().SetAnswerTimeoutMs(20);
    bool armed = true;
    Board(0).onCommand = [&](const board::Report& command) {
        if (armed && IsCommand(command, board::CommandBusClock, board::kSubQuery)) {
            armed = false;
            Board(0).dropAnswers = 1;
        }
    };
    Board(0).ClearCommands();
    presenter->Script({board::AnswerRetry});
    QTest::mouseClick(Find<QPushButton>(QStringLiteral("cmdReconnect")), Qt::LeftButton);

    ASSERT_EQ(presenter->messages.size(), 1U);
    EXPECT_EQ(presenter->messages[0].text, "Please check USB connection.\r\ncheckGPstatus");
    EXPECT_EQ(CommandValues(Board(0), board::CommandBusClock, board::kSubQuery).size(), 2U);
    EXPECT_EQ(DividersSet(Board(0)), std::vector<int>{120});
    EXPECT_EQ(Clock()->count(), 120);
    EXPECT_EQ(Clock()->currentIndex(), 0);
}

}  // namespace
}  // namespace vrq::test
