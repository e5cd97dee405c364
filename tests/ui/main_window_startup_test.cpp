// Start-up, board instances, the LED, the secondary windows and every way out.
#include <QComboBox>
#include <QPointer>
#include <QTimer>

#include "main_window_fixture.h"
#include "ui/about/frm_about.h"
#include "ui/margin/frm_link_margin.h"
#include "ui/regdef/frm_reg_def.h"
#include "ui/trace/frm_trace.h"

namespace vrq::test {
namespace {

using link::AnswerCancel;
using link::AnswerRetry;

class MainWindowStartup : public MainWindowTest {
  protected:
    QComboBox* Instances() const { return Find<QComboBox>("cboEVBinstance"); }
    QCheckBox* Led() const { return CheckBox(QStringLiteral("chkLED")); }

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
    // Then, once the window is idle, the status bar asks the firmware, once.
    EXPECT_EQ(SentTo(Board(0)),
              (std::vector<Sent>{LedQuery(), ClockQuery(), DividerSet(120), FirmwareQuery()}));
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
    EXPECT_EQ(presenter->messages[0].buttons, link::MessageButtons::RetryCancel);
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
    // The box ticked sends the state back, and the divider in force goes back.
    EXPECT_EQ(SentTo(Board(2)),
              (std::vector<Sent>{LedQuery(), LedSet(1), ClockQuery(), DividerSet(240)}));
    EXPECT_TRUE(Led()->isChecked());
    auto* clock = Find<QComboBox>("cboSMBusFrequency");
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

    Click("cmdReconnect");

    EXPECT_EQ(transport.TotalCloses() - closesBefore, 3);
    EXPECT_EQ(transport.OpenHandles(), 3);
    EXPECT_EQ(Instances()->count(), 3);
    EXPECT_EQ(Instances()->currentIndex(), 0);
    EXPECT_EQ(window->Link().CurrentBoard(), 0U);
    EXPECT_EQ(SentTo(Board(0)), (std::vector<Sent>{LedQuery(), ClockQuery(), DividerSet(120)}));
}

TEST_F(MainWindowStartup, LedOnAtStartTicksTheBoxAndSendsOneLedSetWithStateOne) {
    AddBoards(1);
    Board(0).SetLed(true);
    Start();
    EXPECT_TRUE(Led()->isChecked());
    EXPECT_EQ(LedSets(Board(0)), std::vector<int>{1});

    Click("chkLED");
    EXPECT_EQ(LedSets(Board(0)), (std::vector<int>{1, 0}));
    EXPECT_FALSE(Board(0).Led());
}

// The LED set does not go out; Retry finds the board again, whose old state the box shows for
// a moment, and the setting is sent once more: box and board agree on the user's choice.
TEST_F(MainWindowStartup, RetryAfterAFailedLedSetLeavesBoxAndBoardOn) {
    Start();
    Board(0).failWrites = 1;
    presenter->Script({AnswerRetry});
    Click("chkLED");
    ASSERT_EQ(presenter->messages.size(), 1U);
    EXPECT_EQ(presenter->messages[0].text, "Please check USB connection.\r\ncheckGPstatus");
    EXPECT_TRUE(Board(0).Led());
    EXPECT_TRUE(Led()->isChecked());
    EXPECT_EQ(LedSets(Board(0)).back(), 1);
}

TEST_F(MainWindowStartup, ChipAddressIsZeroAfterStartUpWhateverTheBoxesShow) {
    AddBoards(1);
    CreateWindow();
    window->Link().SetI2CAddress(kChipAddress);
    AddressBit(2)->setChecked(true);
    Start();
    EXPECT_EQ(window->Link().I2CAddress(), 0);
    EXPECT_TRUE(AddressBit(2)->isChecked());
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
    Click("mnuAbout");
    EXPECT_TRUE(about);
    EXPECT_EQ(owner, window.get());
}

TEST_F(MainWindowStartup, RegisterDefinitionsIsOneOwnerlessModelessDialog) {
    Start();
    Click("mnuRegisterDefinitions");
    ui::FrmRegDef* first = window->Tools().Find<ui::FrmRegDef>();
    ASSERT_NE(first, nullptr);
    Click("mnuRegisterDefinitions");
    EXPECT_EQ(window->Tools().Find<ui::FrmRegDef>(), first);
    EXPECT_EQ(first->parentWidget(), nullptr);
    EXPECT_FALSE(first->isModal());
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(window->isEnabled());
    first->close();
}

// The bus trace and link margin windows: one each, ownerless and modeless, on this window's
// board link and exchange hub, and gone with the window.
TEST_F(MainWindowStartup, ToolWindowsAreOneEachAndGoWithTheMainWindow) {
    Start();
    Click("mnuBusTrace");
    Click("mnuLinkMargin");
    QPointer<ui::FrmTrace> trace = window->Tools().Find<ui::FrmTrace>();
    QPointer<ui::FrmLinkMargin> margin = window->Tools().Find<ui::FrmLinkMargin>();
    ASSERT_FALSE(trace.isNull());
    ASSERT_FALSE(margin.isNull());
    Click("mnuBusTrace");
    Click("mnuLinkMargin");
    EXPECT_EQ(window->Tools().Find<ui::FrmTrace>(), trace.data());
    EXPECT_EQ(window->Tools().Find<ui::FrmLinkMargin>(), margin.data());
    for (QWidget* tool :
         {static_cast<QWidget*>(trace.data()), static_cast<QWidget*>(margin.data())}) {
        EXPECT_EQ(tool->parentWidget(), nullptr);
        EXPECT_FALSE(tool->isModal());
        EXPECT_TRUE(tool->isVisible());
    }
    EXPECT_EQ(&margin->Link(), &window->Link());

    // What the main window reads, the trace records.
    window->Link().SetI2CAddress(kChipAddress);
    Click("cmdReadAllRegisters");
    trace->Refresh();
    EXPECT_GT(trace->Model().rowCount(), 0);

    window.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(trace.isNull());
    EXPECT_TRUE(margin.isNull());
}

// ---- Every way out closes every board before the process ends.

class MainWindowWayOut : public MainWindowStartup {
  protected:
    void SetUp() override {
        AddBoards(3);
        Start();
    }
    void ExpectEnded(const std::function<void()>& wayOut) {
        EXPECT_EXIT(wayOut(), ::testing::ExitedWithCode(kProgramEndedExit), EndedWith(0, true));
    }
};

TEST_F(MainWindowWayOut, Quit) {
    ExpectEnded([this] { Click("cmdQuit"); });
}

TEST_F(MainWindowWayOut, FileExitByItsShortcut) {
    ExpectEnded([this] { QTest::keyClick(window.get(), Qt::Key_T, Qt::ControlModifier); });
}

TEST_F(MainWindowWayOut, FileExitFromTheMenu) {
    ExpectEnded([this] { Click("mnuExit"); });
}

TEST_F(MainWindowWayOut, CloseBox) {
    ExpectEnded([this] { window->close(); });
}

TEST_F(MainWindowWayOut, CancelInABoardLinkMessage) {
    Board(0).failWrites = 1;
    presenter->Script({AnswerCancel});
    ExpectEnded([this] { Click("chkLED"); });
}

}  // namespace
}  // namespace vrq::test
