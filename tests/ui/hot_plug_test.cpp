// Boards that come and go while the window runs, through the Simulation menu as a user meets
// them: the status bar says so at once, the instance list follows, nothing is asked or sent
// behind the user's back, and a board plugged in again works once chosen.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QLabel>

#include "app/simulated_boards.h"
#include "main_window_fixture.h"

namespace vrq::test {
namespace {

class HotPlugWindow : public MainWindowTest {
  protected:
    void SetUp() override {
        AddBoards(2);
        CreateWindow();
        window->SetSimulation(simulated);
        window->SetDeviceWatch(transport.Watch());
        StartOnChip();
        QCoreApplication::processEvents();  // the status bar's firmware query
    }
    void Choose(const char* action) {
        auto* entry = window->findChild<QAction*>(QString::fromLatin1(action));
        ASSERT_NE(entry, nullptr) << action;
        ASSERT_TRUE(entry->isEnabled()) << action;
        entry->trigger();
    }
    QString Status(const char* label) { return Find<QLabel>(label)->text(); }
    QComboBox* Instances() { return Find<QComboBox>("cboEVBinstance"); }
    std::size_t Sent() { return Board(0).Commands().size() + Board(1).Commands().size(); }

    app::SimulatedBoards simulated{transport};
};

TEST_F(HotPlugWindow, AnotherBoardUnpluggedAndBackIsMarkedThenWorksOnceChosen) {
    EXPECT_EQ(Status("lblStatusBoard"), "Board 0: sim:board0");
    EXPECT_EQ(Status("lblStatusFirmware"), "firmware 1.2 (2008-03-15)");
    EXPECT_EQ(Status("lblStatusChip"), "chip 0x44");
    const std::size_t sent = Sent();

    Choose("mnuUnplug_1");
    EXPECT_EQ(Instances()->itemText(1), "1 (unplugged)");
    EXPECT_EQ(Status("lblStatusNews"), "Board 1 was unplugged.");
    EXPECT_EQ(Status("lblStatusPresence"), "present") << "board 0 is the one in use";
    Choose("mnuPlug_1");
    EXPECT_EQ(Instances()->itemText(1), "1 (plugged in again)");
    Instances()->showPopup();  // the marks are wider than the box: the list shows them whole
    EXPECT_GE(Instances()->view()->width(), Instances()->view()->sizeHintForColumn(0));
    Instances()->hidePopup();
    EXPECT_EQ(Sent(), sent) << "nothing is sent behind the user's back";
    EXPECT_TRUE(presenter->messages.empty());

    Instances()->setCurrentIndex(1);  // chosen: opened again, its LED and clock read
    EXPECT_EQ(Instances()->itemText(1), "1");
    EXPECT_EQ(Status("lblStatusBoard"), "Board 1: sim:board1");
    EXPECT_EQ(Status("lblStatusNews"), "") << "board 0's news is not board 1's";
    Board(1).ClearCommands();
    Click("cmdReadAllRegisters");
    EXPECT_EQ(SentTo(Board(1), Sent::Kind::Read).size(), 2U);
    EXPECT_EQ(RegBox(0)->text(), "31");
    EXPECT_TRUE(presenter->messages.empty());
}

TEST_F(HotPlugWindow, TheBoardInUseUnpluggedIsSaidAtOnceAndTheNextOperationAsksRetry) {
    Choose("mnuUnplug_0");
    EXPECT_EQ(Status("lblStatusPresence"), "unplugged");
    EXPECT_EQ(Status("lblStatusNews"), "The board in use was unplugged.");
    EXPECT_EQ(Instances()->itemText(0), "0 (unplugged)");
    EXPECT_TRUE(presenter->messages.empty());

    Choose("mnuPlug_0");
    EXPECT_EQ(Status("lblStatusPresence"), "plugged in again");
    presenter->Script({link::AnswerRetry});
    Click("cmdReadAllRegisters");  // the old handle is dead: the message, and Retry
    ASSERT_EQ(presenter->messages.size(), 1U);
    EXPECT_EQ(presenter->messages[0].text.rfind("Please check USB connection.", 0), 0U);
    EXPECT_EQ(Instances()->count(), 2);
    EXPECT_EQ(Instances()->itemText(0), "0");
    EXPECT_EQ(Status("lblStatusPresence"), "present");
    EXPECT_EQ(RegBox(0)->text(), "31") << "Retry found the board again and read";
}

TEST_F(HotPlugWindow, ABoardPluggedInLaterIsListed) {
    transport.AddBoard();
    ASSERT_EQ(Instances()->count(), 3);
    EXPECT_EQ(Instances()->itemText(2), "2");
    EXPECT_EQ(Status("lblStatusNews"), "Board 2 arrived: sim:board2.");
    Instances()->setCurrentIndex(2);
    Click("cmdReadAllRegisters");
    EXPECT_EQ(SentTo(transport.Board(2), Sent::Kind::Read).size(), 2U);
}

}  // namespace
}  // namespace vrq::test
