// Start-up, board instances, the LED, the secondary windows and every way out.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>

#include "main_window_fixture.h"
#include "ui/about/frm_about.h"
#include "ui/regdef/frm_reg_def.h"

namespace vrq::test {
namespace {

using board::AnswerCancel;
using board::AnswerRetry;

class MainWindowStartup : public MainWindowTest {
  protected:
    QComboBox* Instances() const { return Find<QComboBox>(QStringLiteral("cboEVBinstance")); }
    QCheckBox* Led() const { return Find<QCheckBox>(QStringLiteral("chkLED")); }

    std::vector<QString> InstanceTexts() const {
        std::vector<QString> texts;
        for (int i = 0; i < Instances()->count(); ++i) {
            texts.push_back(Instances()->itemText(i));
            EXPECT_EQ(Instances()->itemData(i).toInt(), i);
        }
        return texts;
    }

    void ChooseLastInstance() {
        Instances()->setFocus();
        QTest::keyClick(Instances(), Qt::Key_End);
    }
};

TEST_F(MainWindowStartup, OneBoardIsInstanceZeroWithItsLedAndClockRead) {
    Start();
    EXPECT_EQ(InstanceTexts(), std::vector<QString>{QStringLiteral("0")});
    EXPECT_EQ(Instances()->currentIndex(), 0);
    EXPECT_EQ(window->Link().CurrentBoard(), 0U);
    EXPECT_TRUE(presenter->messages.empty());
    // The LED is off as the box is: no click, nothing sent back.
    EXPECT_FALSE(Led()->isChecked());
    EXPECT_TRUE(LedSets(Board(0)).empty());
    EXPECT_EQ(CommandValues(Board(0), board::CommandGpio, board::kSubQuery).size(), 1U);
    EXPECT_EQ(DividersSet(Board(0)), std::vector<int>{120});
}

TEST_F(MainWindowStartup, ThreeBoardsAmongOtherDevicesAreNumberedWithoutGaps) {
    transport.AddOtherDevice(0x046D, 0xC31C, "keyboard");
    AddBoards(1);
    transport.AddOtherDevice(0x046D, 0xC077, "mouse");
    AddBoards(2);
    Start();
    EXPECT_EQ(InstanceTexts(), (std::vector<QString>{QStringLiteral("0"), QStringLiteral("1"),
                                                     QStringLiteral("2")}));
    EXPECT_EQ(window->Link().CurrentBoard(), 0U);
    EXPECT_FALSE(Board(0).Commands().empty());
    EXPECT_TRUE(Board(1).Commands().empty());
    EXPECT_TRUE(Board(2).Commands().empty());
}

TEST_F(MainWindowStartup, NoBoardAsksRetryAndGoesOnOnceOneIsPluggedIn) {
    AddBoards(1);
    transport.Unplug(0);
    CreateWindow();
    presenter->Script({AnswerRetry});
    presenter->onMessage = [this](const ScriptedPresenter::Message&) { transport.Plug(0); };
    Start();
    ASSERT_EQ(presenter->messages.size(), 1U);
    EXPECT_EQ(presenter->messages[0].text,
              "Please check USB connection.\r\nVRQ66208A Evaluation Board not found.");
    EXPECT_EQ(presenter->messages[0].buttons, board::MessageButtons::RetryCancel);
    EXPECT_EQ(presenter->messages[0].title, "VRQ66208A");
    EXPECT_EQ(InstanceTexts(), std::vector<QString>{QStringLiteral("0")});
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindowStartup, NoBoardAndCancelEndsBeforeTheWindowIsShown) {
    AddBoards(1);
    transport.Unplug(0);
    CreateWindow();
    presenter->Script({AnswerCancel});
    EXPECT_EXIT(
        {
            window->Form_Load();
            window->show();
        },
        ::testing::ExitedWithCode(kProgramEndedExit), EndedWith(0, false));
}

TEST_F(MainWindowStartup, ChoosingInstanceTwoReadsThatBoardsLedAndClock) {
    AddBoards(3);
    Board(2).SetLed(true);
    Board(2).SetBaseClockMHz(24);
    Board(2).SetDivider(240);
    Start();
    for (std::size_t i = 0; i < 3; ++i) {
        Board(i).ClearCommands();
    }
    ChooseLastInstance();

    EXPECT_EQ(Instances()->currentIndex(), 2);
    EXPECT_EQ(window->Link().CurrentBoard(), 2U);
    EXPECT_TRUE(Board(0).Commands().empty());
    EXPECT_TRUE(Board(1).Commands().empty());
    // LED query, the box ticked sends the state back, clock query, the divider sent back.
    const auto& commands = Board(2).Commands();
    ASSERT_EQ(commands.size(), 4U);
    EXPECT_TRUE(IsCommand(commands[0], board::CommandGpio, board::kSubQuery));
    EXPECT_TRUE(IsCommand(commands[1], board::CommandGpio, board::kSubSet));
    EXPECT_EQ(commands[1][board::off::kSetValue], 1);
    EXPECT_TRUE(IsCommand(commands[2], board::CommandBusClock, board::kSubQuery));
    EXPECT_TRUE(IsCommand(commands[3], board::CommandBusClock, board::kSubSet));
    EXPECT_EQ(commands[3][board::off::kSetValue], 240);
    EXPECT_TRUE(Led()->isChecked());
    auto* clock = Find<QComboBox>(QStringLiteral("cboSMBusFrequency"));
    EXPECT_EQ(clock->count(), 240);
    EXPECT_EQ(clock->currentText(), QStringLiteral("100"));
}

TEST_F(MainWindowStartup, ReconnectWithInstanceTwoSelectedMakesInstanceZeroCurrent) {
    AddBoards(3);
    Start();
    ChooseLastInstance();
    ASSERT_EQ(window->Link().CurrentBoard(), 2U);
    const int closesBefore = transport.TotalCloses();
    Board(0).ClearCommands();

    QTest::mouseClick(Find<QPushButton>(QStringLiteral("cmdReconnect")), Qt::LeftButton);

    EXPECT_EQ(transport.TotalCloses() - closesBefore, 3);
    EXPECT_EQ(transport.OpenHandles(), 3);
    EXPECT_EQ(Instances()->count(), 3);
    EXPECT_EQ(Instances()->currentIndex(), 0);
    EXPECT_EQ(window->Link().CurrentBoard(), 0U);
    EXPECT_EQ(CommandValues(Board(0), board::CommandGpio, board::kSubQuery).size(), 1U);
    EXPECT_EQ(DividersSet(Board(0)), std::vector<int>{120});
}

TEST_F(MainWindowStartup, LedOnAtStartTicksTheBoxAndSendsOneLedSetWithStateOne) {
    AddBoards(1);
    Board(0).SetLed(true);
    Start();
    EXPECT_TRUE(Led()->isChecked());
    EXPECT_EQ(LedSets(Board(0)), std::vector<int>{1});

    QTest::mouseClick(Led(), Qt::LeftButton);
    EXPECT_EQ(LedSets(Board(0)), (std::vector<int>{1, 0}));
    EXPECT_FALSE(Board(0).Led());
}

// The LED set does not go out; Retry finds the board again, whose old state the box shows for
// a moment, and the setting is sent once more: box and board agree on the user's choice.
TEST_F(MainWindowStartup, RetryAfterAFailedLedSetLeavesBoxAndBoardOn) {
    Start();
    Board(0).failWrites = 1;
    presenter->Script({AnswerRetry});
    QTest::mouseClick(Led(), Qt::LeftButton);
    ASSERT_EQ(presenter->messages.size(), 1U);
    EXPECT_EQ(presenter->messages[0].text, "Please check USB connection.\r\ncheckGPstatus");
    EXPECT_TRUE(Board(0).Led());
    EXPECT_TRUE(Led()->isChecked());
    EXPECT_EQ(LedSets(Board(0)).back(), 1);
}

TEST_F(MainWindowStartup, ChipAddressIsZeroAfterStartUpWhateverTheBoxesShow) {
    AddBoards(1);
    CreateWindow();
    window->Link().I2CAddress = 0x88;
    Find<QCheckBox>(QStringLiteral("chkADDRbit_2"))->setChecked(true);
    Start();
    EXPECT_EQ(window->Link().I2CAddress, 0);
    EXPECT_TRUE(Find<QCheckBox>(QStringLiteral("chkADDRbit_2"))->isChecked());
}

TEST_F(MainWindowStartup, AboutIsModalAndOwnedByTheWindow) {
    Start();
    bool about = false;
    QWidget* owner = nullptr;
    // Runs inside the dialog's own event loop; the dialog is gone once the menu returns.
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr) {
            about = qobject_cast<ui::FrmAbout*>(modal) != nullptr;
            owner = modal->parentWidget();
            modal->close();
        }
    });
    Find<QAction>(QStringLiteral("mnuAbout"))->trigger();
    EXPECT_TRUE(about);
    EXPECT_EQ(owner, window.get());
}

TEST_F(MainWindowStartup, RegisterDefinitionsIsOneOwnerlessModelessDialog) {
    Start();
    auto* open = Find<QAction>(QStringLiteral("mnuRegisterDefinitions"));
    open->trigger();
    ui::FrmRegDef* first = ui::FrmRegDef::Instance();
    ASSERT_NE(first, nullptr);
    open->trigger();
    EXPECT_EQ(ui::FrmRegDef::Instance(), first);
    EXPECT_EQ(first->parentWidget(), nullptr);
    EXPECT_FALSE(first->isModal());
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(window->isEnabled());
    first->close();
}

// ---- Every way out closes every board before the process ends.

class MainWindowWayOut : public MainWindowStartup {
  protected:
    void SetUp() override {
        AddBoards(3);
        Start();
    }
};

TEST_F(MainWindowWayOut, Quit) {
    EXPECT_EXIT(QTest::mouseClick(Find<QPushButton>(QStringLiteral("cmdQuit")), Qt::LeftButton),
                ::testing::ExitedWithCode(kProgramEndedExit), EndedWith(0, true));
}

TEST_F(MainWindowWayOut, FileExitByItsShortcut) {
    EXPECT_EXIT(QTest::keyClick(window.get(), Qt::Key_T, Qt::ControlModifier),
                ::testing::ExitedWithCode(kProgramEndedExit), EndedWith(0, true));
}

TEST_F(MainWindowWayOut, FileExitFromTheMenu) {
    EXPECT_EXIT(Find<QAction>(QStringLiteral("mnuExit"))->trigger(),
                ::testing::ExitedWithCode(kProgramEndedExit), EndedWith(0, true));
}

TEST_F(MainWindowWayOut, CloseBox) {
    EXPECT_EXIT(window->close(), ::testing::ExitedWithCode(kProgramEndedExit), EndedWith(0, true));
}

TEST_F(MainWindowWayOut, CancelInABoardLinkMessage) {
    Board(0).failWrites = 1;
    presenter->Script({AnswerCancel});
    EXPECT_EXIT(QTest::mouseClick(Led(), Qt::LeftButton),
                ::testing::ExitedWithCode(kProgramEndedExit), EndedWith(0, true));
}

}  // namespace
}  // namespace vrq::test
