// The main window frmMain. It builds one object per concern, each owning its controls and its
// state, places them on the tabbed control SSTab1 and wires them together:
//   RegisterPanel    the register boxes, Read All Registers, the boxes' keys and read-backs
//   IndividualFrame  single-register read/write with toggle
//   AddressFrame     the chip address bits and the address scan
//   BoardFrame       board instances, LED, Reconnect and the bus clock list
//   Recalibration    Re-Cal Termination
//   HiddenTabs         the hidden test tabs and the multi-write test
//   RegisterFiles    File > Save Registers and Load Registers
// The other concerns change register boxes only through the panel. The window itself keeps
// the menu, Quit, the program's start and end, its tool windows, and is the board link's
// host: its messages, the boards found, the end of the program and the event passes of its
// pauses. Every exchange with the boards goes to its exchange hub.
#pragma once

#include <QMainWindow>

#include <functional>
#include <memory>
#include <string>

#include "board/clock.h"
#include "board/device_watch.h"
#include "board/exchange_hub.h"
#include "board/hid_transport.h"
#include "device/known_chips.h"
#include "ui/common/chip_signals.h"
#include "ui/common/file_dialogs.h"
#include "ui/common/message_presenter.h"
#include "ui/common/tool_windows.h"
#include "ui/link/board_link.h"
#include "ui/link/link_host.h"
#include "ui/main/box_keys.h"
#include "ui/trace/trace_log.h"

class QKeySequence;
class QLabel;
class QPushButton;
class QTabWidget;

namespace vrq::ui {

class AddressFrame;
class BoardFrame;
class Designer;
class IndividualFrame;
class Recalibration;
class HotPlug;
class RegisterFiles;
class RegisterPanel;
class SimulatedBoards;
class StatusLine;
class HiddenTabs;

// The control arrays of hex boxes whose keyboard events go to handlers.
enum class KeyedBoxes {
    RegVal,           // txtRegVal(0..22), index = register address
    Register,         // txtRegister, index 0
    WriteIndividual,  // txtWriteIndividual(0..1)
};

class FrmMain : public QMainWindow, public link::LinkHost {
    Q_OBJECT

  public:
    // The window with its board link on transport, pausing on clock. Nothing is sent before
    // Form_Load.
    explicit FrmMain(board::HidTransport& transport, board::Clock& clock = board::Clock::Real(),
                     QWidget* parent = nullptr);
    ~FrmMain() override;
    FrmMain(const FrmMain&) = delete;
    FrmMain& operator=(const FrmMain&) = delete;

    // ---- For the program and its tests
    link::BoardLink& Link() { return link_; }
    board::ExchangeHub& Hub() { return hub_; }
    ToolWindows& Tools() { return tools_; }
    TraceRecorder& Trace() { return trace_; }
    // Every modal message of the window and of the board link goes through the presenter
    // (a QtMessagePresenter unless replaced).
    void SetMessagePresenter(std::unique_ptr<MessagePresenter> presenter);
    // What ending the program does once the boards are closed; must not return. The default
    // is EndProcessNow.
    using EndAction = std::function<void()>;
    void SetEndAction(EndAction action);
    // Flushes the C streams and ends the process at once: no destructor, no further handler.
    [[noreturn]] static void EndProcessNow();
    // Runs after each pass of window events inside a pause (DelaySeconds): a test acts there
    // as a user would while the window waits.
    void SetPauseHook(std::function<void()> hook);
    // Replaces the handlers of a control array's keyboard events.
    void SetBoxKeyHandlers(KeyedBoxes boxes, BoxKeyHandlers handlers);
    // Replaces the register files' dialogs (QtFileDialogs until then).
    void SetFileDialogs(std::unique_ptr<FileDialogs> dialogs);
    // Follows boards plugged in and pulled out as watch tells (it must outlive the window).
    void SetDeviceWatch(board::DeviceWatch& watch);
    // Adds the Simulation menu, over boards (which must outlive the window).
    void SetSimulation(SimulatedBoards& boards);

    // ---- Start-up and shutdown
    // Finds the boards (their messages may show; Cancel ends the program), resets the chip
    // address to 0 and hides the test tabs. Called once, before the window is shown.
    void Form_Load();
    // Closes every board and ends the program. Every way out comes here.
    [[noreturn]] void Form_Unload();
    void ShowTestTabs(bool value);

    // ---- link::LinkHost
    link::MessageAnswer ShowMessage(const std::string& text, link::MessageButtons buttons,
                                    const std::string& title) override;
    void BoardsFound() override;
    [[noreturn]] void EndProgram() override;
    void HandlePendingEvents() override;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildLayout();
    void BuildMenu();
    // A menu entry named name under menu (a QMenu, or the menu bar for a top-level entry).
    template <class Menu>
    QAction* AddMenuEntry(Menu* menu, const char* name, const QString& caption,
                          const QKeySequence& shortcut, std::function<void()> handler);
    void cmdQuit_Click();
    void mnuExit_Click();
    void mnuAbout_Click();
    void mnuRegisterDefinitions_Click();
    void mnuBusTrace_Click();
    void mnuLinkMargin_Click();

    board::ExchangeHub hub_;  // before the link, whose sessions report to it
    device::KnownChips chips_;
    board::ScopedObserver chipsFed_{hub_, chips_};
    ChipSignals chipSignals_{chips_};
    TraceRecorder trace_;  // the bus trace, from the start of the session
    link::BoardLink link_;
    std::unique_ptr<MessagePresenter> presenter_;
    EndAction endAction_;
    std::function<void()> pauseHook_;

    std::unique_ptr<Designer> design_;
    std::unique_ptr<RegisterPanel> panel_;
    std::unique_ptr<Recalibration> recal_;
    std::unique_ptr<IndividualFrame> individual_;
    std::unique_ptr<HiddenTabs> hiddenTabs_;
    std::unique_ptr<BoardFrame> boards_;
    std::unique_ptr<AddressFrame> address_;
    std::unique_ptr<RegisterFiles> files_;
    StatusLine* status_ = nullptr;  // owned by the status bar
    std::unique_ptr<HotPlug> hotPlug_;
    // After everything they use, so that they go first.
    ToolWindows tools_;

    // The window's own controls; each is owned by its Qt parent.
    QTabWidget* SSTab1 = nullptr;
    QLabel* Picture1 = nullptr;
    QPushButton* cmdQuit = nullptr;
};

}  // namespace vrq::ui
