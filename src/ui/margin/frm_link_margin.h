// The link-margin window: how well the chip receives the selected input, from its PRBS7
// checker's error counters. Tab "Monitor" polls the counters and plots errors per second per
// data link, with totals, error-free time and bit error ratio; tab "Sweep" steps one
// channel's receive equalization (and optionally the input hysteresis) and maps the errors
// at each setting, recommending the centre of the widest error-free window.
//
// It works through the board link's register reads and writes only, with the window's
// Retry/Cancel policy, so it works on a real board as on the simulated one. Every reading of
// the counters on the exchange hub counts, whoever makes it (the tap): a Read All in the main
// window adds to the totals instead of taking errors away. It follows the chip the main
// window works on. One of the main window's tool windows; the board link, the hub and the
// presenter must outlive it.
#pragma once

#include <QTimer>
#include <QWidget>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "board/exchange_hub.h"
#include "margin/counter_tap.h"
#include "margin/error_monitor.h"
#include "margin/register_access.h"
#include "margin/sweep.h"
#include "ui/common/message_presenter.h"
#include "ui/link/board_link.h"
#include "ui/link/link_registers.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QChart;
class QLineSeries;
class QValueAxis;

namespace vrq::ui {

class HeatMap;

class FrmLinkMargin : public QWidget {
    Q_OBJECT

  public:
    static constexpr const char* kTitle = "Link Margin";
    static constexpr double kMinPollSeconds = 0.2;
    static constexpr double kMaxPollSeconds = 10.0;
    // The plot keeps this many readings per link.
    static constexpr int kPlotPoints = 600;
    // At most this many points are drawn per link (each the highest of its neighbours).
    static constexpr std::size_t kPlotDrawn = 200;
    // The table and the plot are drawn at most this often, whatever the poll interval.
    static constexpr board::Clock::Duration kDisplayRefresh = std::chrono::seconds(1);

    FrmLinkMargin(link::BoardLink& link, board::ExchangeHub& hub, MessagePresenter& presenter,
                  QWidget* parent = nullptr);
    ~FrmLinkMargin() override;
    FrmLinkMargin(const FrmLinkMargin&) = delete;
    FrmLinkMargin& operator=(const FrmLinkMargin&) = delete;

    // ---- What the timers run; tests on a virtual clock call them after moving the clock.
    void MonitorTick();
    void SweepTick();

    bool Monitoring() const { return monitor_.Running(); }
    bool Sweeping() const;
    const margin::ErrorMonitor& Monitor() const { return monitor_; }
    // The last sweep, running or over; null before the first.
    const margin::SweepRun* Sweep() const { return sweep_.get(); }
    const link::BoardLink& Link() const { return link_; }

    bool ExportCsv(const QString& path);
    bool ExportPng(const QString& path);
    // Where the export buttons ask for a file name ("" cancels); a file dialog by default.
    using SaveFileChooser = std::function<QString(const QString& caption, const QString& filter)>;
    void SetSaveFileChooser(SaveFileChooser chooser) { chooseSaveFile_ = std::move(chooser); }

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    // ==== Layout (frm_link_margin.cpp)
    void BuildMonitorTab(QWidget* page);
    void BuildSweepTab(QWidget* page);
    double PixelClockMHz() const;
    // Counts the counters of chip from now on (another board or address starts afresh).
    void FollowChip(link::ChipRef chip);
    // Offers to turn the checker on when state has it off; true when it is on now.
    bool CheckerReady(const margin::LinkState& state, const QString& toolName);
    link::MessageAnswer Ask(const QString& text, link::MessageButtons buttons);
    void Say(const QString& text);

    // ==== Monitor (frm_link_margin_monitor.cpp)
    void cmdMonitorStart_Click();
    void cmdMonitorStop_Click();
    void StopMonitor(const QString& why);
    // Shows the monitor's figures now, or when a second has passed since they were shown.
    void ShowMonitor();
    void RefreshMonitor();
    void PlotRates();

    // ==== Sweep (frm_link_margin_sweep.cpp)
    void cmdSweepStart_Click();
    void cmdSweepCancel_Click();
    void cmdApply_Click();
    void cmdExportCsv_Click();
    void cmdExportPng_Click();
    // Asks for a file name (adding suffix when none is typed) and writes it, or says why not.
    void ExportChosen(const QString& caption, const QString& filter, const QString& suffix,
                      bool (FrmLinkMargin::*write)(const QString&));
    void ScheduleSweep(std::optional<board::Clock::TimePoint> next);
    void SweepEnded();
    void ShowSweep();
    void ShowSelectedChannel();
    void SetSweepControlsEnabled(bool idle);

    // ---- State
    link::BoardLink& link_;
    MessagePresenter& presenter_;
    link::LinkRegisters registers_;
    margin::CounterTap tap_;
    margin::ErrorMonitor monitor_;
    board::ScopedObserver tapOnHub_;
    link::BoardLink::ChipNotifier::Subscription chipFollowed_;
    // The sweep's chip: the one at the address it started with, whatever the main window sets
    // meanwhile, so that what it changed goes back where it was.
    std::unique_ptr<link::LinkRegisters> sweepRegisters_;
    std::unique_ptr<margin::SweepRun> sweep_;
    QTimer monitorTimer_;
    QTimer sweepTimer_;
    // A tick running: a timer that fires inside one of its messages waits its turn.
    bool busy_ = false;
    std::uint64_t ratesPlotted_ = 0;
    board::Clock::TimePoint shownAt_{};  // when the figures were last drawn
    QTimer displayTimer_;                // draws the readings that came within the second
    int sweepRowsShown_ = 0;
    SaveFileChooser chooseSaveFile_;

    // ---- Controls, owned by their Qt parents.
    QTabWidget* tabs_ = nullptr;
    // Monitor
    QPushButton* cmdMonitorStart = nullptr;
    QPushButton* cmdMonitorStop = nullptr;
    QDoubleSpinBox* spnPollInterval = nullptr;
    QDoubleSpinBox* spnMonitorPixelClock = nullptr;
    QLabel* lblMonitorStatus = nullptr;
    QChart* chart_ = nullptr;
    std::array<QLineSeries*, device::kLinkCount> linkSeries_{};
    QLineSeries* atLeastSeries_ = nullptr;  // marks only, no line
    QValueAxis* timeAxis_ = nullptr;
    QValueAxis* rateAxis_ = nullptr;
    QTableWidget* tblLinks = nullptr;
    // Sweep
    QComboBox* cboChannel = nullptr;
    QDoubleSpinBox* spnDwell = nullptr;
    QDoubleSpinBox* spnSweepPixelClock = nullptr;
    QCheckBox* chkHysteresis = nullptr;
    QPushButton* cmdSweepStart = nullptr;
    QPushButton* cmdSweepCancel = nullptr;
    QProgressBar* prgSweep = nullptr;
    HeatMap* map_ = nullptr;
    QTableWidget* tblSweep = nullptr;
    QLabel* lblRecommendation = nullptr;
    QPushButton* cmdApply = nullptr;
    QPushButton* cmdExportCsv = nullptr;
    QPushButton* cmdExportPng = nullptr;
    QLabel* lblSweepStatus = nullptr;
};

}  // namespace vrq::ui
