#include "ui/main/frm_main.h"

#include <QCloseEvent>
#include <QEvent>

#include <cstdio>
#include <cstdlib>

namespace vrq::ui {

FrmMain::FrmMain(board::HidTransport& transport, QWidget* parent)
    : QMainWindow(parent),
      link_(transport, *this),
      presenter_(std::make_unique<QtMessagePresenter>()),
      endAction_(&FrmMain::EndProcessNow) {
    BuildLayout();
    WireKeys();
    WireStartup();
    WireClock();
    WireTestTabs();
    WireRegisters();
    WireAddress();
    WireRecal();
    WireIndividual();
    WireFiles();
}

FrmMain::~FrmMain() = default;

void FrmMain::SetMessagePresenter(std::unique_ptr<MessagePresenter> presenter) {
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

void FrmMain::closeEvent(QCloseEvent* event) {
    event->accept();
    Form_Unload();
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Move || event->type() == QEvent::Resize) {
        if (watched == pageStack_ || watched->parent() == pageStack_) {
            PlaceTabPageControls();
        }
        return QMainWindow::eventFilter(watched, event);
    }
    if (FilterTabStrip(watched, event) || FilterBoxKeys(watched, event)) {
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace vrq::ui
