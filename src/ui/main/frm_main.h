// The main window frmMain: the tabbed register panel, the board instances, the menu, and the
// host of the board link (its messages, the list of boards found, the end of the program and
// the event passes of its pauses). One source file per concern; each concern wires its own
// controls from the constructor.
#pragma once

#include <QMainWindow>
#include <QRect>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "board/board_host.h"
#include "board/board_link.h"
#include "board/hid_transport.h"
#include "device/register_file.h"
#include "ui/common/message_presenter.h"
#include "ui/main/access_word.h"
#include "ui/main/file_dialogs.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTabWidget;

namespace vrq::ui {

// The control arrays of text boxes whose keyboard events the window hands to handlers.
enum class KeyedBoxes {
    RegVal,           // txtRegVal(0..22), index = register address
    Register,         // txtRegister, index 0
    WriteIndividual,  // txtWriteIndividual(0..1)
};

// Keyboard handlers of one control array, in the window's event vocabulary (key_codes.h):
// KeyCode the virtual-key code, Shift the modifier mask (1 Shift, 2 Ctrl, 4 Alt), KeyAscii the
// character typed. Per key: keyDown, then keyPress when it types a character, then the box's
// own handling; keyUp once when the key is released (auto-repeat gives no key-ups). Tab moves
// the focus without keyDown or keyPress; its release reaches the box that got the focus. A key
// held with Alt or Meta, and Delete, type no character: no keyPress (and with Alt or Meta
// the box types nothing either).
struct BoxKeyHandlers {
    // Setting KeyCode to 0 swallows the key: no keyPress follows and the box ignores it.
    std::function<void(int index, int& KeyCode, int Shift)> keyDown;
    // Setting KeyAscii to 0 drops the character; another printable value is typed instead.
    std::function<void(int index, int& KeyAscii)> keyPress;
    std::function<void(int index, int KeyCode, int Shift)> keyUp;
    // The box lost the focus: keys still held are released elsewhere.
    std::function<void(int index)> focusLost;
};

class FrmMain : public QMainWindow, public board::BoardHost {
    Q_OBJECT

  public:
    static constexpr int kRegBoxCount = 23;    // txtRegVal(0..22)
    static constexpr int kRegLabelCount = 19;  // lblRegAdd(0..18)
    static constexpr int kAddressBitCount = 7;

    // The window with its board link on transport. Nothing is sent before Form_Load.
    explicit FrmMain(board::HidTransport& transport, QWidget* parent = nullptr);
    ~FrmMain() override;
    FrmMain(const FrmMain&) = delete;
    FrmMain& operator=(const FrmMain&) = delete;

    // ---- For the program and its tests
    board::BoardLink& Link() { return link_; }
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
    // Hands the keyboard events of a control array of text boxes to handlers (replacing any
    // handlers set before). Without handlers the boxes behave as plain line edits.
    void SetBoxKeyHandlers(KeyedBoxes boxes, BoxKeyHandlers handlers);

    // ---- Start-up, board instances, LED, shutdown (frm_main_startup.cpp)
    // Finds the boards (their messages may show; Cancel ends the program), resets the chip
    // address to 0 and hides the test tabs. Called once, before the window is shown.
    void Form_Load();
    // Closes every board and ends the program. Every way out comes here.
    [[noreturn]] void Form_Unload();
    // Lists the open boards and selects instance 0, which makes it current.
    void cboEVB_init();

    // ---- Bus clock (frm_main_clock.cpp)
    // Rebuilds the clock list from the current board, selecting the divider in force.
    void cboSMBusFrequency_init();

    // ---- Test tabs (frm_main_testtabs.cpp)
    void ShowTestTabs(bool value);

    // ---- Register panel (frm_main_registers.cpp); public for the register file commands
    // Reads the working set's registers into their boxes (one burst when chkBurstRead is set).
    void cmdReadAllRegisters_Click();
    // The same read; false when a device error stopped it (the boxes then hold older texts).
    bool ReadAllRegisters();
    // A key released in txtRegVal(index): steps or waits, writes the box, shows the read-back.
    void txtRegVal_KeyUp(int index, int KeyCode, int Shift);

    // ---- Register file save and load (frm_main_files.cpp)
    // Replaces the file dialogs (QtFileDialogs until then): tests install scripted ones, since
    // a modal file dialog would wait forever.
    void SetFileDialogs(std::unique_ptr<FileDialogs> dialogs);
    // Adds one register line per index startReg..stopReg: the "0x" and two digits that end
    // lblRegAdd(i)'s caption, and the text of txtRegVal(i).
    void writeRegsToFile(int startReg, int stopReg, std::vector<device::SavedRegister>& outFile);

    // ---- board::BoardHost (frm_main_startup.cpp)
    board::MessageAnswer ShowMessage(const std::string& text, board::MessageButtons buttons,
                                     const std::string& title) override;
    void BoardsFound() override;
    [[noreturn]] void EndProgram() override;
    void HandlePendingEvents() override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // ==== Layout (frm_main_layout.cpp)
    void BuildLayout();
    void BuildMenu();
    void BuildRegistersTab(QWidget* page);
    void BuildTab1(QWidget* page);
    void BuildTab2(QWidget* page);
    void BuildTabOrder();
    // Names a control and gives it its place in the keyboard order.
    void Design(QWidget* control, const QString& name, int tabIndex);
    // Places a control of a tab page where the design has it relative to the tabbed control.
    void PlaceOnPage(QWidget* control, QRect tabPlace);
    void PlaceTabPageControls();

    // ==== Start-up, board instances, LED, shutdown (frm_main_startup.cpp)
    void WireStartup();
    void cboEVBinstance_Click();
    void ShowLedState();
    void chkLED_Click();
    void cmdReconnect_Click();
    void cmdQuit_Click();
    void mnuExit_Click();
    void mnuAbout_Click();
    void mnuRegisterDefinitions_Click();

    // ==== Bus clock (frm_main_clock.cpp)
    void WireClock();
    void cboSMBusFrequency_Click();

    // ==== Test tabs and multi-write test (frm_main_testtabs.cpp)
    void WireTestTabs();
    void SSTab1_KeyPress(int& KeyAscii);
    void cmdMultiWriteTest_Click();
    bool FilterTabStrip(QObject* watched, QEvent* event);
    // Moves to the next shown tab in direction step (+1 or -1); a hidden tab is never
    // current. Wrap: past the last comes the first (Ctrl+Tab), else it stops at the end.
    void MoveToShownTab(int step, bool wrap);

    // ==== Keyboard events of the text-box arrays (frm_main_keys.cpp)
    void WireKeys();
    bool FilterBoxKeys(QObject* watched, QEvent* event);

    // ==== Register panel (frm_main_registers.cpp): Read All Registers, the register boxes'
    // keys (SetBoxKeyHandlers(KeyedBoxes::RegVal, ...)), the hex conventions
    void WireRegisters();
    // 1 when a device error stopped the reading, else 0.
    std::int16_t readRegsToBoxes(std::uint8_t startReg, std::uint8_t stopReg);
    void txtRegVal_KeyDown(int index, int& KeyCode, int Shift);
    void txtRegVal_KeyPress(int index, int& KeyAscii);
    // Ctrl+A, Ctrl+C, Ctrl+V on a hex box; KeyCode becomes 0 when one acted, so the box's own
    // handling of the key does not follow.
    enum class ClipboardKey { None, SelectAll, Copy, Pasted, PasteRefused };
    ClipboardKey handleClipboardKeys(QLineEdit* box, int& KeyCode, int Shift);
    void RegBoxTextChanged(int index);
    std::array<QString, kRegBoxCount> regBoxText_{};  // each box's last text that is a value
    // Keys of a refused Ctrl+V still down, per box: their releases must not write.
    static constexpr std::uint8_t kRefusedCtrl = 1;
    static constexpr std::uint8_t kRefusedV = 2;
    std::array<std::uint8_t, kRegBoxCount> pasteRefused_{};

    // ==== Device address selection and scan (frm_main_address.cpp)
    void WireAddress();
    // Runs on every change of a box's value, by the user or from code.
    void chkADDRbit_Click(int index);
    void updateI2Caddress();
    void cmdScanI2Caddress_Click();

    // ==== Termination re-calibration (frm_main_recal.cpp)
    void WireRecal();
    void cmdReCal_Click();

    // ==== Individual register read/write with toggle (frm_main_individual.cpp)
    void WireIndividual();
    // 1 when the device reported an error on the read, else 0.
    std::int16_t readIndividualReg();
    void cmdReadIndividual_Click();
    void cmdWriteIndividual_Click(int index);
    void txtRegister_KeyDown(int& KeyCode, int Shift);
    void txtRegister_KeyPress(int& KeyAscii);
    void txtWriteIndividual_KeyDown(int index, int& KeyCode, int Shift);
    void txtWriteIndividual_KeyPress(int index, int& KeyAscii);
    // False, after a message naming the first offending box, when a box the press needs does
    // not hold one or two hex digits.
    bool IndividualBoxesHoldBytes(bool withValues);

    // ==== Register file save and load (frm_main_files.cpp)
    void WireFiles();
    void mnuSaveRegisters_Click();
    void mnuLoadRegisters_Click();
    std::unique_ptr<FileDialogs> fileDialogs_;
    QString CommonDialog1FileName_;  // the name last chosen in either file dialog

    // ---- State
    board::BoardLink link_;
    std::unique_ptr<MessagePresenter> presenter_;
    EndAction endAction_;
    std::function<void()> pauseHook_;
    AccessWordMatcher typedKeys_;
    unsigned clockListBuilds_ = 0;  // counts rebuilds, to see one nested in a query's Retry

    struct BoxSlot {
        KeyedBoxes array;
        int index;
    };
    std::unordered_map<const QObject*, BoxSlot> keyedBoxes_;
    std::array<BoxKeyHandlers, 3> boxKeyHandlers_;

    struct PagePlace {
        QWidget* control;
        QRect tabPlace;  // in pixels, relative to SSTab1
    };
    std::vector<PagePlace> pagePlaces_;
    QWidget* pageStack_ = nullptr;  // the widget of SSTab1 that holds the pages
    std::vector<std::pair<int, QWidget*>> tabIndices_;

    // ---- Controls, named as the design names them; each is owned by its Qt parent.
    QTabWidget* SSTab1 = nullptr;
    // Tab 0 "Registers", and the boxes and labels of the test tab "Tab 1"
    std::array<QLineEdit*, kRegBoxCount> txtRegVal{};
    std::array<QLabel*, kRegLabelCount> lblRegAdd{};
    QPushButton* cmdReadAllRegisters = nullptr;
    QPushButton* cmdReCal = nullptr;
    QLabel* Picture1 = nullptr;
    QPushButton* cmdQuit = nullptr;
    QGroupBox* fraIndividualI2C = nullptr;
    QLineEdit* txtRegister = nullptr;
    QLabel* lblRegister = nullptr;
    QLineEdit* txtReadIndividual = nullptr;
    QPushButton* cmdReadIndividual = nullptr;
    std::array<QLineEdit*, 2> txtWriteIndividual{};
    std::array<QPushButton*, 2> cmdWriteIndividual{};
    QGroupBox* fraEVBinstance = nullptr;
    QPushButton* cmdReconnect = nullptr;
    QComboBox* cboEVBinstance = nullptr;
    QCheckBox* chkLED = nullptr;
    QGroupBox* fraADDR2 = nullptr;
    QGroupBox* fraADDR = nullptr;
    QLabel* lblADDRstatus = nullptr;
    std::array<QCheckBox*, kAddressBitCount> chkADDRbit{};
    QLineEdit* txtI2Caddress = nullptr;
    QPushButton* cmdScanI2Caddress = nullptr;
    // Test tab "Tab 2"
    QCheckBox* chkBurstRead = nullptr;
    QPushButton* cmdMultiWriteTest = nullptr;
    QLabel* lblI2Cfrequency2 = nullptr;  // the array lblI2Cfrequency has element 2 only
    QComboBox* cboSMBusFrequency = nullptr;
    // Menu
    QMenu* mnuFile = nullptr;
    QAction* mnuSaveRegisters = nullptr;
    QAction* mnuLoadRegisters = nullptr;
    QAction* mnuAbout = nullptr;
    QAction* mnuExit = nullptr;
    QAction* mnuRegisterDefinitions = nullptr;
};

}  // namespace vrq::ui
