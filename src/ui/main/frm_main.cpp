#include "ui/main/frm_main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>

#include <array>
#include <cstdio>
#include <cstdlib>

#include "ui/about/frm_about.h"
#include "ui/common/pictures.h"
#include "ui/common/twips.h"
#include "ui/common/wrapping_button.h"
#include "ui/main/address_frame.h"
#include "ui/main/app_look.h"
#include "ui/main/board_frame.h"
#include "ui/main/design.h"
#include "ui/main/hidden_tabs.h"
#include "ui/main/hot_plug.h"
#include "ui/main/individual_frame.h"
#include "ui/main/recalibration.h"
#include "ui/main/register_files.h"
#include "ui/main/register_panel.h"
#include "ui/main/simulation_menu.h"
#include "ui/main/status_line.h"
#include "ui/margin/frm_link_margin.h"
#include "ui/regdef/frm_reg_def.h"
#include "ui/trace/frm_trace.h"

namespace vrq::ui {

FrmMain::FrmMain(board::HidTransport& transport, board::Clock& clock, QWidget* parent)
    : QMainWindow(parent),
      trace_(hub_, clock),
      link_(transport, *this, hub_, clock),
      presenter_(std::make_unique<QtMessagePresenter>()),
      endAction_(&FrmMain::EndProcessNow) {
    BuildLayout();
}

FrmMain::~FrmMain() {
    tools_.CloseAll();
    // The controls go before the concerns whose handlers their signals reach.
    delete takeCentralWidget();
}

// Every control of the window with its place, caption, state and keyboard order; each concern
// makes its own. Places are in twips as designed. Buttons break their captions into lines and
// frames carry theirs on the top line, as the classic controls the places were designed for do.
void FrmMain::BuildLayout() {
    setWindowTitle(QStringLiteral("VRQ66208A Evaluation Software"));
    setWindowIcon(QIcon(ResourcePixmap(kIconResource)));
    // Fixed single border: minimize and close, no maximize.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    auto* client = Owned<QWidget>(this);
    client->setObjectName(QStringLiteral("clientArea"));
    client->setFixedSize(Px(8985), Px(6345));
    setCentralWidget(client);
    BuildMenu();
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    SSTab1 = Owned<QTabWidget>(client);
    SSTab1->setGeometry(Tw(120, 120, 8775, 6135));
    // Clicking a tab caption gives the strip the keyboard focus, where the access word of the
    // test tabs is typed.
    SSTab1->tabBar()->setFocusPolicy(Qt::StrongFocus);
    ShowFocusAlways(*SSTab1->tabBar());
    const std::array<QString, 3> captions{QStringLiteral("Registers"), QStringLiteral("Tab 1"),
                                          QStringLiteral("Tab 2")};
    std::array<QWidget*, 3> page{};
    for (int i = 0; i < 3; ++i) {
        page[i] = Owned<QWidget>(SSTab1);
        page[i]->setObjectName(Indexed("SSTab1_page", i));
        SSTab1->addTab(page[i], captions[i]);
    }
    SSTab1->setCurrentIndex(0);
    const TabPages pages{page[0], page[1], page[2]};
    design_ = std::make_unique<Designer>(*SSTab1);
    Designer& design = *design_;
    design.Name(SSTab1, QStringLiteral("SSTab1"), 0);

    panel_ = std::make_unique<RegisterPanel>(link_, chipSignals_, design, pages);
    recal_ = std::make_unique<Recalibration>(link_, *panel_, design, pages.registers);

    Picture1 = design.OnPage(Owned<QLabel>(pages.registers), QStringLiteral("Picture1"), 42,
                             Tw(4080, 3120, 2175, 735));
    Picture1->setPixmap(ResourcePixmap(kLogoResource));
    Picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    cmdQuit = design.OnPage(Owned<WrappingButton>(pages.registers, QStringLiteral("Quit")),
                            QStringLiteral("cmdQuit"), 25, Tw(6960, 4680, 1215, 615));
    connect(cmdQuit, &QPushButton::clicked, this, [this] { cmdQuit_Click(); });

    individual_ =
        std::make_unique<IndividualFrame>(link_, chipSignals_, *panel_, design, pages.registers);
    hiddenTabs_ = std::make_unique<HiddenTabs>(link_, *panel_, design, *SSTab1, pages.tab2);
    boards_ = std::make_unique<BoardFrame>(link_, design, pages);
    address_ = std::make_unique<AddressFrame>(link_, design, pages.registers);
    files_ = std::make_unique<RegisterFiles>(link_, *panel_, *this);

    design.SetTabOrder();
    SSTab1->tabBar()->setFocus();
    status_ = new StatusLine(link_, *statusBar());  // owned by the bar
}

template <class Menu>
QAction* FrmMain::AddMenuEntry(Menu* menu, const char* name, const QString& caption,
                               const QKeySequence& shortcut, std::function<void()> handler) {
    QAction* entry = menu->addAction(caption);
    entry->setObjectName(QString::fromLatin1(name));
    entry->setShortcut(shortcut);
    connect(entry, &QAction::triggered, this, [handler = std::move(handler)] { handler(); });
    return entry;
}

// The menu bar. A window of its own gets a top-level entry after "Register Definitions".
void FrmMain::BuildMenu() {
    QMenu* mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    AddMenuEntry(mnuFile, "mnuSaveRegisters", QStringLiteral("&Save Registers"),
                 QKeySequence(Qt::CTRL | Qt::Key_S), [this] { files_->mnuSaveRegisters_Click(); });
    AddMenuEntry(mnuFile, "mnuLoadRegisters", QStringLiteral("Load Registers"),
                 QKeySequence(Qt::CTRL | Qt::Key_O), [this] { files_->mnuLoadRegisters_Click(); });
    AddMenuEntry(mnuFile, "mnuAbout", QStringLiteral("About"), {}, [this] { mnuAbout_Click(); });
    AddMenuEntry(mnuFile, "mnuExit", QStringLiteral("&Exit"), QKeySequence(Qt::CTRL | Qt::Key_T),
                 [this] { mnuExit_Click(); });
    AddMenuEntry(menuBar(), "mnuRegisterDefinitions", QStringLiteral("Register Definitions"), {},
                 [this] { mnuRegisterDefinitions_Click(); });
    AddMenuEntry(menuBar(), "mnuBusTrace", QStringLiteral("Bus &Trace"), {},
                 [this] { mnuBusTrace_Click(); });
    AddMenuEntry(menuBar(), "mnuLinkMargin", QStringLiteral("Link &Margin"), {},
                 [this] { mnuLinkMargin_Click(); });
}

void FrmMain::SetMessagePresenter(std::unique_ptr<MessagePresenter> presenter) {
    // The link margin window asks through the presenter it was given.
    tools_.CloseAll();
    presenter_ = presenter ? std::move(presenter) : std::make_unique<QtMessagePresenter>();
}

void FrmMain::SetEndAction(EndAction action) {
    endAction_ = action ? std::move(action) : EndAction(&FrmMain::EndProcessNow);
}

void FrmMain::EndProcessNow() {
    // The trace file is written line by line; this flushes what the C library still holds.
    std::fflush(nullptr);
    std::_Exit(EXIT_SUCCESS);
}

void FrmMain::SetPauseHook(std::function<void()> hook) {
    pauseHook_ = std::move(hook);
}

void FrmMain::SetBoxKeyHandlers(KeyedBoxes boxes, BoxKeyHandlers handlers) {
    switch (boxes) {
        case KeyedBoxes::RegVal:
            panel_->Keys().SetHandlers(std::move(handlers));
            break;
        case KeyedBoxes::Register:
            individual_->RegisterKeys().SetHandlers(std::move(handlers));
            break;
        case KeyedBoxes::WriteIndividual:
            individual_->ValueKeys().SetHandlers(std::move(handlers));
            break;
    }
}

void FrmMain::SetFileDialogs(std::unique_ptr<FileDialogs> dialogs) {
    files_->SetFileDialogs(std::move(dialogs));
}

void FrmMain::SetDeviceWatch(board::DeviceWatch& watch) {
    hotPlug_ = std::make_unique<HotPlug>(link_, watch, *status_);
}

void FrmMain::SetSimulation(SimulatedBoards& boards) {
    new SimulationMenu(*menuBar(), boards);  // owned by the menu bar
}

void FrmMain::Form_Load() {
    // The board link starts with no board open; discovery returns with instance 0 current,
    // its LED shown and its clock list built, or ends the program on Cancel.
    link_.FindBoards();
    link_.SetI2CAddress(0);
    ShowTestTabs(false);
}

void FrmMain::Form_Unload() {
    tools_.CloseAll();
    link_.CloseBoards();
    endAction_();
    // An end action must not return; if one does, the program still ends here.
    std::_Exit(EXIT_SUCCESS);
}

void FrmMain::ShowTestTabs(bool value) {
    hiddenTabs_->ShowTestTabs(value);
}

void FrmMain::closeEvent(QCloseEvent* event) {
    event->accept();
    Form_Unload();
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
    tools_.Show<FrmRegDef>();
}

void FrmMain::mnuBusTrace_Click() {
    tools_.Show<FrmTrace>(trace_);
}

void FrmMain::mnuLinkMargin_Click() {
    tools_.Show<FrmLinkMargin>(link_, hub_, *presenter_, &chips_, &chipSignals_);
}

// ---------------------------------------------------------------- link::LinkHost

link::MessageAnswer FrmMain::ShowMessage(const std::string& text, link::MessageButtons buttons,
                                         const std::string& title) {
    // Over whatever modal window is up (the About dialog), else over the main window; while
    // the window is still loading and not yet shown, in the middle of the screen.
    QWidget* parent = QApplication::activeModalWidget();
    if (parent == nullptr && isVisible()) {
        parent = this;
    }
    return presenter_->Show(parent, text, buttons,
                            title.empty() ? std::string(link::kProgramTitle) : title);
}

void FrmMain::BoardsFound() {
    boards_->cboEVB_init();
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
