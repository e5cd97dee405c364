// The link-margin window: how well the chip receives its inputs, from its PRBS7 checker's
// error counters. It names the board, its path and the chip address it works on, holds the
// TMDS character rate both tabs use (locked while a sweep or verification runs), and has two
// tabs: Monitor (MonitorPanel) and Sweep (SweepPanel), on the margin engine and the chip model.
//
// It works through the board link's register reads and writes only, with the window's
// Retry/Cancel policy, so it works on a real board as on the simulated one. Every reading of
// the counters on the exchange hub counts, whoever makes it (the tap): a Read All in the main
// window adds to the totals instead of taking errors away. It follows the chip the main
// window works on. One of the main window's tool windows; the board link, the hub, the chip
// model and the presenter must outlive it.
#pragma once

#include <QWidget>

#include <functional>

#include "board/exchange_hub.h"
#include "device/known_chips.h"
#include "margin/error_monitor.h"
#include "ui/common/chip_signals.h"
#include "ui/common/message_presenter.h"
#include "ui/link/board_link.h"
#include "ui/margin/margin_shared.h"

class QDoubleSpinBox;
class QLabel;
class QTabWidget;

namespace vrq::margin {
class ChannelSweeps;
}

namespace vrq::ui {

class MonitorPanel;
class SweepPanel;

class FrmLinkMargin : public QWidget {
    Q_OBJECT

  public:
    static constexpr const char* kTitle = "Link Margin";

    // chips and signals may be null (then the window reads what it needs).
    FrmLinkMargin(link::BoardLink& link, board::ExchangeHub& hub, MessagePresenter& presenter,
                  const device::KnownChips* chips = nullptr, ChipSignals* chipSignals = nullptr,
                  QWidget* parent = nullptr);
    ~FrmLinkMargin() override;
    FrmLinkMargin(const FrmLinkMargin&) = delete;
    FrmLinkMargin& operator=(const FrmLinkMargin&) = delete;

    // ---- What the timers run; tests on a virtual clock call them after moving the clock.
    void MonitorTick();
    void SweepTick();

    bool Monitoring() const;
    bool Sweeping() const;
    const margin::ErrorMonitor& Monitor() const;
    // The last sweep, running or over; null before the first.
    const margin::ChannelSweeps* Sweeps() const;
    const link::BoardLink& Link() const { return shared_.link; }
    MonitorPanel& MonitorTab() { return *monitor_; }
    SweepPanel& SweepTab() { return *sweep_; }

    // Where the window asks for files and folders; dialogs by default.
    using SaveFileChooser = std::function<QString(const QString& caption, const QString& filter)>;
    void SetSaveFileChooser(SaveFileChooser chooser) {
        shared_.choose.saveFile = std::move(chooser);
    }
    void SetFolderChooser(std::function<QString(const QString&)> chooser) {
        shared_.choose.folder = std::move(chooser);
    }
    void SetOpenFilesChooser(std::function<QStringList(const QString&, const QString&)> chooser) {
        shared_.choose.openFiles = std::move(chooser);
    }

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    // Counts the counters of chip from now on (another board or address starts afresh).
    void FollowChip(link::ChipRef chip);

    MarginShared shared_;
    link::BoardLink::ChipNotifier::Subscription chipFollowed_;
    QLabel* lblTarget = nullptr;
    QDoubleSpinBox* spnRate = nullptr;
    QTabWidget* tabs_ = nullptr;
    MonitorPanel* monitor_ = nullptr;
    SweepPanel* sweep_ = nullptr;
};

}  // namespace vrq::ui
