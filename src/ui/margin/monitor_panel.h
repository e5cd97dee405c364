// The window's Monitor tab: polls the chip's state and error counters and shows each link's
// errors per second over the whole run on a log scale (thinned for display, with markers where
// the setting changed, a counter ran full or time stopped counting), each link's totals, the
// segments (a change of channel, gain, hysteresis, power, clock or checker closes one), and
// exports the whole run as CSV or JSON Lines with wall-clock time and chip state. The counts
// arrive through the tap, from this window's polls and anyone else's reads alike.
#pragma once

#include <QTimer>
#include <QWidget>

#include <chrono>

#include "margin/error_monitor.h"
#include "margin/monitor_history.h"
#include "ui/margin/margin_shared.h"

class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace vrq::ui {

class PlotView;

class MonitorPanel : public QWidget {
    Q_OBJECT

  public:
    static constexpr double kMinPollSeconds = 0.2;
    static constexpr double kMaxPollSeconds = 10.0;
    // The plot draws at most this many points per link, whatever the run's length.
    static constexpr std::size_t kPlotColumns = 400;
    // The tables and the plot are drawn at most this often, whatever the poll interval.
    static constexpr board::Clock::Duration kDisplayRefresh = std::chrono::seconds(1);

    MonitorPanel(MarginShared& shared, QWidget* parent);
    ~MonitorPanel() override;

    // What the timer runs; tests on a virtual clock call it after moving the clock.
    void Tick();
    void Start();
    void Stop(const QString& why);
    bool Running() const { return monitor_.Running(); }
    const margin::ErrorMonitor& Monitor() const { return monitor_; }
    const margin::MonitorHistory& History() const { return history_; }
    // Another chip: its counters start afresh.
    void Rebase() { monitor_.Rebase(); }
    // Draws the figures now (the rate changed).
    void Refresh();
    // Writes the whole run: JSON Lines for a name ending in .jsonl or .json, CSV otherwise.
    bool Export(const QString& path);
    // Whether Start may be pressed (not while a sweep runs).
    void SetStartAllowed(bool allowed);

    bool busy = false;  // a tick of the window's own is under way

  private:
    void ShowSoon();
    void ShowSegments();

    MarginShared& shared_;
    margin::ErrorMonitor monitor_;
    margin::MonitorHistory history_;
    QTimer timer_;
    QTimer displayTimer_;
    board::Clock::TimePoint shownAt_{};
    bool startAllowed_ = true;

    QPushButton* cmdMonitorStart = nullptr;
    QPushButton* cmdMonitorStop = nullptr;
    QPushButton* cmdMonitorExport = nullptr;
    QDoubleSpinBox* spnPollInterval = nullptr;
    QLabel* lblMonitorStatus = nullptr;
    PlotView* plot_ = nullptr;
    QTableWidget* tblLinks = nullptr;
    QTableWidget* tblSegments = nullptr;
};

}  // namespace vrq::ui
