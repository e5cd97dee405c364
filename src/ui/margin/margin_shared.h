// What the link-margin window's panels share: the board link and its register access with the
// window's Retry/Cancel policy, the counter tap on the exchange hub (every reading of the
// counters counts, whoever makes it), the chip model, the presenter for questions, the rate,
// the file choosers, and the texts both panels show.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <string>

#include "board/exchange_hub.h"
#include "device/known_chips.h"
#include "margin/counter_tap.h"
#include "margin/link_state.h"
#include "margin/report.h"
#include "ui/common/message_presenter.h"
#include "ui/link/board_link.h"
#include "ui/link/link_registers.h"

class QWidget;

namespace vrq::ui {

// Where a panel asks for a file or a folder ("" cancels). File dialogs by default.
struct MarginChoosers {
    std::function<QString(const QString& caption, const QString& filter)> saveFile;
    std::function<QString(const QString& caption)> folder;
    std::function<QStringList(const QString& caption, const QString& filter)> openFiles;
};

class MarginShared {
  public:
    MarginShared(link::BoardLink& link, board::ExchangeHub& hub, MessagePresenter& presenter,
                 const device::KnownChips* chips);
    MarginShared(const MarginShared&) = delete;
    MarginShared& operator=(const MarginShared&) = delete;

    link::BoardLink& link;
    MessagePresenter& presenter;
    const device::KnownChips* chips;  // may be null: then nothing is known without a read
    link::LinkRegisters registers;
    margin::CounterTap tap;
    MarginChoosers choose;
    // The TMDS character rate the window's field holds.
    std::function<double()> rateMHz;
    QWidget* window = nullptr;  // what messages are modal over
    // A sweep or verification is about to start (the monitor stops: its reads would take the
    // run's errors), and has ended (the tap follows the main window's chip again).
    std::function<void()> beforeRun;
    std::function<void()> afterRun;

    link::MessageAnswer Ask(const QString& text, link::MessageButtons buttons);
    void Say(const QString& text);
    // Offers to turn the checker on when state has it off; true when it is on now.
    bool CheckerReady(const margin::LinkState& state, const QString& toolName);
    // The metadata of a run starting now on the current chip (its registers read quietly).
    margin::RunInfo StartInfo(const std::string& label, const std::string& note);
    // The registers from 0x00, read quietly; empty when the chip did not answer.
    std::vector<std::uint8_t> Snapshot();
    // What the chip model knows of the link registers of the current chip; nullopt when any
    // of 0x01..0x09 is unknown.
    std::optional<margin::LinkState> KnownState() const;
    // "Board 0 (/dev/hidraw3), chip 0x44": what the window works on.
    QString TargetText() const;

  private:
    board::ScopedObserver tapOnHub_;
};

QString Qs(const std::string& text);
// A sentence from the engine's words: a capital first and a full stop.
QString Sentence(const std::string& text);

}  // namespace vrq::ui
