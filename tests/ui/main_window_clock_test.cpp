// The clock list on "Tab 2" as the window builds it from the board and sends what is chosen.
// The list's arithmetic is tested on its own in main_window_logic_test.cpp.
#include <QComboBox>

#include "main_window_fixture.h"

namespace vrq::test {
namespace {

class MainWindowClock : public MainWindowTest {
  protected:
    QComboBox* Clock() const { return Find<QComboBox>("cboSMBusFrequency"); }

    void Pick(Qt::Key key) {
        Clock()->setFocus();
        QTest::keyClick(Clock(), key);
    }
};

struct BoardClock {
    const char* name;
    int baseMHz;
    int divider;  // in force
    int entries;
    int selected;           // -1: none
    const char* firstText;  // of the first entry (largest divider), "" when there is none
    std::vector<int> sent;  // the dividers sent back
};
void PrintTo(const BoardClock& c, std::ostream* out) {
    *out << c.name;
}

class ClockListFromTheBoard : public MainWindowClock,
                              public ::testing::WithParamInterface<BoardClock> {};

// The list is built from the board's answer; the divider in force is selected and sent back
// once, unless it is below 100 kHz and so not listed.
TEST_P(ClockListFromTheBoard, SelectsAndSendsBackTheDividerInForce) {
    const BoardClock& c = GetParam();
    AddBoards(1);
    Board(0).SetBaseClockMHz(static_cast<std::uint8_t>(c.baseMHz));
    Board(0).SetDivider(static_cast<std::uint8_t>(c.divider));
    Start();
    ASSERT_EQ(Clock()->count(), c.entries);
    EXPECT_EQ(Clock()->currentIndex(), c.selected);
    EXPECT_EQ(Clock()->itemText(0), QString::fromLatin1(c.firstText));
    EXPECT_EQ(DividersSet(Board(0)), c.sent);
}

INSTANTIATE_TEST_SUITE_P(
    MainWindowClock, ClockListFromTheBoard,
    ::testing::Values(BoardClock{"Base12Divider120", 12, 120, 120, 0, "100", {120}},
                      BoardClock{"DividerBelow100kHz", 12, 200, 120, -1, "100", {}},  // 60 kHz
                      BoardClock{"BaseZeroIsEmpty", 0, 120, 0, -1, "", {}},
                      BoardClock{"Base40StartsAt255", 40, 255, 255, 0, "156", {255}}),
    CaseName<BoardClock>);

TEST_F(MainWindowClock, PicksSendTheirDividerAndARebuildSendsOnlyTheSelection) {
    Start();  // the simulated board: 12 MHz, divider 120
    Board(0).ClearCommands();
    Pick(Qt::Key_End);   // the base clock itself
    Pick(Qt::Key_Home);  // the first 100
    Pick(Qt::Key_Down);  // the second 100
    EXPECT_EQ(Clock()->currentText(), QStringLiteral("100"));
    EXPECT_EQ(DividersSet(Board(0)), (std::vector<int>{1, 120, 119}));
    EXPECT_EQ(Board(0).Divider(), 119);

    // A rebuild clears and refills without sending; only the selection is sent, once.
    Board(0).ClearCommands();
    Click("cmdReconnect");
    EXPECT_EQ(DividersSet(Board(0)), std::vector<int>{119});
    EXPECT_EQ(Clock()->currentIndex(), 1);
}

// The divider set does not go out; Retry finds the board again, which rebuilds the list around
// its old divider, and the pick is sent once more: list and board agree on it.
TEST_F(MainWindowClock, RetryAfterAFailedDividerSetLeavesListAndBoardOnThePick) {
    Start();
    Board(0).failWrites = 1;
    presenter->Script({link::AnswerRetry});
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
        if (armed && Decoded(command) == ClockQuery()) {
            armed = false;
            Board(0).dropAnswers = 1;
        }
    };
    Board(0).ClearCommands();
    presenter->Script({link::AnswerRetry});
    Click("cmdReconnect");

    ASSERT_EQ(presenter->messages.size(), 1U);
    EXPECT_EQ(presenter->messages[0].text, "Please check USB connection.\r\ncheckGPstatus");
    EXPECT_EQ(CountSent(Board(0), Sent::Kind::ClockQuery), 2U);
    EXPECT_EQ(DividersSet(Board(0)), std::vector<int>{120});
    EXPECT_EQ(Clock()->count(), 120);
    EXPECT_EQ(Clock()->currentIndex(), 0);
}

}  // namespace
}  // namespace vrq::test
