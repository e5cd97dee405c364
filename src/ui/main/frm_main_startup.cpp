// Start-up, the board instances, the LED, the secondary windows and every way out; and the
// window's side of the board link (its messages, the boards found, the end, the pauses).
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>
#include <QSignalBlocker>

#include <cstdlib>

#include "ui/about/frm_about.h"
#include "ui/main/frm_main.h"
#include "ui/regdef/frm_reg_def.h"

namespace vrq::ui {

void FrmMain::WireStartup() {
    connect(cboEVBinstance, &QComboBox::currentIndexChanged, this,
            [this](int) { cboEVBinstance_Click(); });
    // A change from code counts as a click as well as one by the user.
    connect(chkLED, &QCheckBox::toggled, this, [this](bool) { chkLED_Click(); });
    connect(cmdReconnect, &QPushButton::clicked, this, [this] { cmdReconnect_Click(); });
    connect(cmdQuit, &QPushButton::clicked, this, [this] { cmdQuit_Click(); });
    connect(mnuExit, &QAction::triggered, this, [this] { mnuExit_Click(); });
    connect(mnuAbout, &QAction::triggered, this, [this] { mnuAbout_Click(); });
    connect(mnuRegisterDefinitions, &QAction::triggered, this,
            [this] { mnuRegisterDefinitions_Click(); });
}

void FrmMain::Form_Load() {
    // The board link starts with no board open; discovery returns with instance 0 current,
    // its LED shown and its clock list built, or ends the program on Cancel.
    link_.FindBoards();
    link_.I2CAddress = 0;
    ShowTestTabs(false);
}

void FrmMain::Form_Unload() {
    link_.CloseBoards();
    endAction_();
    // An end action must not return; if one does, the program still ends here.
    std::_Exit(EXIT_SUCCESS);
}

void FrmMain::cboEVB_init() {
    {
        // Refilling is no choice of the user's: nothing may run until entry 0 is selected.
        const QSignalBlocker quiet(cboEVBinstance);
        cboEVBinstance->clear();
        for (std::size_t i = 0; i < link_.BoardCount(); ++i) {
            cboEVBinstance->addItem(QString::number(i), static_cast<int>(i));
        }
        cboEVBinstance->setCurrentIndex(-1);
    }
    cboEVBinstance->setCurrentIndex(0);  // runs cboEVBinstance_Click
}

void FrmMain::cboEVBinstance_Click() {
    const int instance = cboEVBinstance->currentIndex();
    if (instance < 0) {
        return;
    }
    link_.SelectBoard(static_cast<std::size_t>(instance));
    ShowLedState();
    cboSMBusFrequency_init();
}

void FrmMain::ShowLedState() {
    const auto state = link_.ReadLed();
    if (!state) {
        return;  // no answer: the box keeps its state
    }
    chkLED->setChecked(*state == 1);  // a change runs chkLED_Click
}

void FrmMain::chkLED_Click() {
    const bool on = chkLED->isChecked();
    link_.SetLed(on ? 1 : 0);
    // After a Retry the new discovery showed the board's old state here; the link has since
    // sent this setting again, so the box shows what the board now does.
    if (chkLED->isChecked() != on) {
        const QSignalBlocker quiet(chkLED);
        chkLED->setChecked(on);
    }
}

void FrmMain::cmdReconnect_Click() {
    link_.FindBoards();
}

void FrmMain::cmdQuit_Click() {
    close();
}

void FrmMain::mnuExit_Click() {
    close();
}

void FrmMain::mnuAbout_Click() {
    FrmAbout about(link_, this);
    about.exec();
}

void FrmMain::mnuRegisterDefinitions_Click() {
    FrmRegDef::ShowInstance();
}

// ---------------------------------------------------------------- board::BoardHost

board::MessageAnswer FrmMain::ShowMessage(const std::string& text, board::MessageButtons buttons,
                                          const std::string& title) {
    // Over whatever modal window is up (the About dialog), else over the main window; while
    // the window is still loading and not yet shown, in the middle of the screen.
    QWidget* parent = QApplication::activeModalWidget();
    if (parent == nullptr && isVisible()) {
        parent = this;
    }
    return presenter_->Show(parent, text, buttons,
                            title.empty() ? std::string(board::kProgramTitle) : title);
}

void FrmMain::BoardsFound() {
    cboEVB_init();
}

void FrmMain::EndProgram() {
    Form_Unload();
}

void FrmMain::HandlePendingEvents() {
    QCoreApplication::processEvents();
    if (pauseHook_) {
        pauseHook_();
    }
}

}  // namespace vrq::ui
