// The window's Sweep tab: one channel or every channel with a clock, each gain measured to a
// target bit error ratio with a confidence (or for a fixed dwell), the time it takes shown
// before the start; the bathtub and the heat map as the points come in; the recommendation
// with its margin; Apply; Verify (PASS or FAIL) of the settings in force; the report, CSV and
// PNG exports; and Compare with saved runs. The sweep itself is the engine's (ChannelSweeps),
// driven from a single-shot timer so the window stays responsive.
#pragma once

#include <QTimer>
#include <QWidget>

#include <memory>
#include <optional>

#include "margin/channel_sweeps.h"
#include "margin/report.h"
#include "margin/verify.h"
#include "ui/margin/margin_shared.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace vrq::ui {

class PlotView;

class SweepPanel : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kAllChannels = device::kChannelCount;  // the channel list's last entry

    SweepPanel(MarginShared& shared, QWidget* parent);
    ~SweepPanel() override;

    // What the timer runs; tests on a virtual clock call it after moving the clock.
    void Tick();
    void Cancel();
    bool Sweeping() const;
    bool Verifying() const;
    // The last run, going or over; null before the first.
    const margin::ChannelSweeps* Sweeps() const { return sweeps_.get(); }
    // The last run as its report has it.
    const margin::MarginReport& Report() const { return report_; }

    bool ExportCsv(const QString& path);
    bool ExportPng(const QString& path);
    bool ExportReport(const QString& dir, std::string& error);
    // Marks the selected channel in the channel list, from the chip model or a quiet read.
    void ShowSelectedChannel();
    // Marks selected as the selected channel (the chip model has just learnt it: no read).
    void MarkSelected(int selected);

  signals:
    // A sweep or verification started (true) or ended (false): the rate is locked meanwhile.
    void running(bool running);

  private:
    void Start();
    void Apply();
    void StartVerify();
    void Compare();
    void Schedule(std::optional<board::Clock::TimePoint> next);
    void Ended();
    void VerifyEnded();
    void Show();
    void ShowResult();
    void UpdatePlan();
    void SetIdle(bool idle);
    margin::SweepSettings SettingsFromControls() const;
    bool Refused(const margin::LinkState& state, int channel);

    MarginShared& shared_;
    // The run's chip: the one at the address it started with, whatever the main window sets
    // meanwhile, so that what it changed goes back where it was.
    std::unique_ptr<link::LinkRegisters> runRegisters_;
    std::unique_ptr<margin::ChannelSweeps> sweeps_;
    std::unique_ptr<margin::VerifyRun> verify_;
    margin::MarginReport report_;
    QTimer timer_;
    bool busy_ = false;
    int rowsShown_ = -1;

    QComboBox* cboChannel = nullptr;
    QComboBox* cboMeasure = nullptr;
    QComboBox* cboTarget = nullptr;
    QComboBox* cboConfidence = nullptr;
    QDoubleSpinBox* spnDwell = nullptr;
    QCheckBox* chkHysteresis = nullptr;
    QLineEdit* txtLabel = nullptr;
    QLineEdit* txtNote = nullptr;
    QLabel* lblPlan = nullptr;
    QPushButton* cmdSweepStart = nullptr;
    QPushButton* cmdSweepCancel = nullptr;
    QProgressBar* prgSweep = nullptr;
    QLabel* lblSweepStatus = nullptr;
    QLabel* lblRecommendation = nullptr;
    QLabel* lblVerify = nullptr;
    QComboBox* cboResultChannel = nullptr;
    PlotView* bathtub_ = nullptr;
    PlotView* map_ = nullptr;
    QTableWidget* tblSweep = nullptr;
    QPushButton* cmdApply = nullptr;
    QPushButton* cmdVerify = nullptr;
    QPushButton* cmdExportCsv = nullptr;
    QPushButton* cmdExportPng = nullptr;
    QPushButton* cmdExportReport = nullptr;
    QPushButton* cmdCompare = nullptr;
};

}  // namespace vrq::ui
