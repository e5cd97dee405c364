// Tab "Sweep": checks that the chosen channel can be swept, then drives the sweep from a
// single-shot timer (each step a few exchanges, so the window stays responsive), shows its
// progress, map and table, and applies or exports the result.
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

#include <chrono>
#include <cmath>

#include "margin/margin_text.h"
#include "ui/margin/frm_link_margin.h"
#include "ui/margin/heat_map.h"

namespace vrq::ui {

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

constexpr auto kLastMoment = std::chrono::milliseconds(2);

QString Letter(int channel) {
    return QString(QChar(device::ChannelLetter(channel)));
}

// A file name with the export's suffix when the user typed none.
QString WithSuffix(const QString& path, const QString& suffix) {
    return QFileInfo(path).suffix().isEmpty() ? path + "." + suffix : path;
}

}  // namespace

bool FrmLinkMargin::Sweeping() const {
    return sweep_ && sweep_->CurrentState() == margin::SweepRun::State::Running;
}

void FrmLinkMargin::ShowSelectedChannel() {
    // Quietly: opening the window is no reason for an address message.
    link::LinkRegisters quiet(link_, true);
    std::uint8_t select = 0;
    if (!quiet.Read(device::kRegChannelSelect, {&select, 1})) {
        return;
    }
    const int selected = device::SelectedChannel(select);
    for (int channel = 0; channel < device::kChannelCount; ++channel) {
        cboChannel->setItemText(
            channel, channel == selected ? Letter(channel) + " (selected)" : Letter(channel));
    }
    cboChannel->setCurrentIndex(selected);
}

void FrmLinkMargin::SetSweepControlsEnabled(bool idle) {
    for (QWidget* control :
         std::initializer_list<QWidget*>{cboChannel, spnDwell, chkHysteresis, cmdSweepStart}) {
        control->setEnabled(idle);
    }
    cmdSweepCancel->setEnabled(!idle);
    cmdMonitorStart->setEnabled(idle && !Monitoring());
    const bool result = idle && sweep_ && !sweep_->Result().points.empty();
    cmdExportCsv->setEnabled(result);
    cmdExportPng->setEnabled(result);
    cmdApply->setEnabled(idle && sweep_ && sweep_->Result().recommendation.has_value());
}

void FrmLinkMargin::cmdSweepStart_Click() {
    if (busy_ || Sweeping()) {
        return;
    }
    if (Monitoring()) {
        StopMonitor(
            QStringLiteral("Stopped for the sweep: its reads would take the sweep's "
                           "errors."));
    }
    const int channel = cboChannel->currentIndex();
    busy_ = true;
    const auto state = margin::ReadLinkState(registers_);
    QString refused;
    if (!state) {
        refused = QStringLiteral("Not started: the chip did not answer.");
    } else if (const auto obstacle = margin::CheckSweep(*state, channel);
               obstacle != margin::SweepObstacle::None) {
        switch (obstacle) {
            case margin::SweepObstacle::PoweredDown:
                Say(
                    QStringLiteral("The chip is powered down (register 0x02 bit 5): its inputs are "
                                   "open, so a sweep would measure nothing."));
                break;
            case margin::SweepObstacle::NoClock:
                Say(QStringLiteral("Channel %1 shows no TMDS clock (register 0x01): the checker "
                                   "counts nothing without one, so a sweep would measure nothing. "
                                   "Is the source sending PRBS7 on all three data links?")
                        .arg(Letter(channel)));
                break;
            default:
                Say(QStringLiteral("Channel %1 is not the selected channel: register 0x02 selects "
                                   "channel %2, and the error counters count the selected channel "
                                   "only.")
                        .arg(Letter(channel), Letter(state->Selected())));
                break;
        }
        refused = QStringLiteral("Not started.");
    } else if (!CheckerReady(*state, QStringLiteral("sweep"))) {
        refused = QStringLiteral("Not started: the PRBS checker is off.");
    }
    if (!refused.isEmpty()) {
        busy_ = false;
        lblSweepStatus->setText(refused);
        return;
    }
    margin::SweepSettings settings;
    settings.channel = channel;
    // A fixed dwell: each point shows what that time can show.
    settings.dwell = std::chrono::duration_cast<board::Clock::Duration>(
        std::chrono::duration<double>(spnDwell->value()));
    settings.crossHysteresis = chkHysteresis->isChecked();
    settings.characterRateMHz = PixelClockMHz();
    sweep_.reset();
    sweepRegisters_ = std::make_unique<link::LinkRegisters>(link_, false, link_.I2CAddress());
    sweep_ = std::make_unique<margin::SweepRun>(*sweepRegisters_, link_.TheClock(), settings);
    tap_.AddListener(sweep_.get());
    sweep_->Start(*state);
    busy_ = false;

    sweepRowsShown_ = 0;
    tblSweep->setRowCount(0);
    lblRecommendation->clear();
    lblSweepStatus->setText(QStringLiteral("Sweeping channel %1.").arg(Letter(channel)));
    SetSweepControlsEnabled(false);
    SweepTick();
}

void FrmLinkMargin::SweepTick() {
    if (!Sweeping()) {
        return;
    }
    if (busy_) {
        // Inside one of this window's own steps (a message of the link): try again shortly.
        sweepTimer_.start(10);
        return;
    }
    busy_ = true;
    board::Clock& clock = link_.TheClock();
    auto next = sweep_->Advance();
    // The timer wakes a little early rather than late; the last moment of a dwell is slept
    // here, far shorter than anything the user would notice.
    while (next && *next - clock.Now() <= kLastMoment) {
        clock.SleepUntil(*next);
        next = sweep_->Advance();
    }
    busy_ = false;
    ShowSweep();
    if (next) {
        ScheduleSweep(next);
    } else {
        SweepEnded();
    }
}

void FrmLinkMargin::ScheduleSweep(std::optional<board::Clock::TimePoint> next) {
    const auto left = *next - link_.TheClock().Now();
    // Rounded down: the tick sleeps what is left (at most kLastMoment).
    const auto ms = std::chrono::floor<std::chrono::milliseconds>(left).count();
    sweepTimer_.start(static_cast<int>(std::max<long long>(0, ms)));
}

void FrmLinkMargin::cmdSweepCancel_Click() {
    if (!Sweeping() || busy_) {
        return;
    }
    sweepTimer_.stop();
    busy_ = true;
    sweep_->Cancel();
    busy_ = false;
    ShowSweep();
    SweepEnded();
}

void FrmLinkMargin::SweepEnded() {
    FollowChip(link_.CurrentChip());  // the main window may have moved on meanwhile
    tap_.RemoveListener(sweep_.get());
    const margin::SweepResult& result = sweep_->Result();
    const QString channel = Letter(result.settings.channel);
    switch (sweep_->CurrentState()) {
        case margin::SweepRun::State::Finished:
            lblSweepStatus->setText(
                QStringLiteral("Finished: %1 points; channel %2's registers hold their values "
                               "from before again.")
                    .arg(result.points.size())
                    .arg(channel));
            break;
        case margin::SweepRun::State::Cancelled:
            lblSweepStatus->setText(
                QStringLiteral("Cancelled after %1 of %2 points; channel %3's registers hold "
                               "their values from before again.")
                    .arg(result.points.size())
                    .arg(result.plan.size())
                    .arg(channel));
            break;
        default:
            lblSweepStatus->setText(QStringLiteral("Stopped: ") + Text(sweep_->FailureText()) +
                                    ".");
            Say(QStringLiteral("The sweep stopped: %1.").arg(Text(sweep_->FailureText())));
            break;
    }
    lblRecommendation->setText(Text(margin::RecommendationText(result)));
    SetSweepControlsEnabled(true);
}

void FrmLinkMargin::ShowSweep() {
    const margin::SweepResult& result = sweep_->Result();
    const auto total = static_cast<int>(result.plan.size());
    const auto done = static_cast<int>(result.points.size());
    prgSweep->setRange(0, std::max(1, total));
    prgSweep->setValue(done);
    if (Sweeping()) {
        const double left = std::chrono::duration<double>(sweep_->TimeLeft()).count();
        prgSweep->setFormat(QStringLiteral("%1 of %2 points, %3 left")
                                .arg(done)
                                .arg(total)
                                .arg(Text(margin::DurationText(left))));
    } else {
        prgSweep->setFormat(QStringLiteral("%1 of %2 points").arg(done).arg(total));
    }
    for (; sweepRowsShown_ < done; ++sweepRowsShown_) {
        const margin::PointResult& point = result.points[static_cast<std::size_t>(sweepRowsShown_)];
        const int row = sweepRowsShown_;
        tblSweep->insertRow(row);
        QStringList cells{QStringLiteral("0x") + QString::number(point.point.gain, 16).toUpper(),
                          QString::fromUtf8(device::HysteresisText(point.point.hysteresis))};
        for (const margin::LinkCount& link : point.tally.links) {
            cells << Text(margin::CountText(link.errors, link.atLeast));
        }
        cells << QString::number(point.tally.seconds, 'f', 2);
        cells << Text(margin::BerText(point.figure));
        for (int column = 0; column < cells.size(); ++column) {
            tblSweep->setItem(row, column, new QTableWidgetItem(cells[column]));
        }
    }
    if (done > 0) {
        tblSweep->scrollToItem(tblSweep->item(done - 1, 0));
    }
    map_->SetResult(&result, sweep_->CurrentPoint());
}

void FrmLinkMargin::cmdApply_Click() {
    if (busy_ || Sweeping() || !sweep_ || !sweep_->Result().recommendation) {
        return;
    }
    const margin::SweepPoint point = sweep_->Result().recommendation->point;
    busy_ = true;
    const bool applied = sweep_->Apply(point);
    busy_ = false;
    const QString channel = Letter(sweep_->Result().settings.channel);
    lblSweepStatus->setText(applied ? QStringLiteral("Applied %1 to channel %2.")
                                          .arg(Text(margin::PointText(point)), channel)
                                    : QStringLiteral("Not applied: the chip did not answer."));
}

bool FrmLinkMargin::ExportCsv(const QString& path) {
    if (!sweep_) {
        return false;
    }
    const std::string csv = margin::SweepCsv(sweep_->Result());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(csv.data(), static_cast<qint64>(csv.size())) ==
               static_cast<qint64>(csv.size());
}

bool FrmLinkMargin::ExportPng(const QString& path) {
    if (!sweep_) {
        return false;
    }
    // At the map's own size, whether or not the window has laid it out yet.
    QPixmap image(map_->sizeHint());
    image.fill(map_->palette().window().color());
    map_->render(&image, QPoint(), QRegion(image.rect()));
    return image.save(path, "PNG");
}

void FrmLinkMargin::cmdExportCsv_Click() {
    ExportChosen(QStringLiteral("Export the sweep as CSV"), QStringLiteral("CSV files (*.csv)"),
                 QStringLiteral("csv"), &FrmLinkMargin::ExportCsv);
}

void FrmLinkMargin::cmdExportPng_Click() {
    ExportChosen(QStringLiteral("Export the sweep map as PNG"),
                 QStringLiteral("PNG images (*.png)"), QStringLiteral("png"),
                 &FrmLinkMargin::ExportPng);
}

void FrmLinkMargin::ExportChosen(const QString& caption, const QString& filter,
                                 const QString& suffix,
                                 bool (FrmLinkMargin::*write)(const QString&)) {
    const QString chosen = chooseSaveFile_(caption, filter);
    if (chosen.isEmpty()) {
        return;
    }
    const QString path = WithSuffix(chosen, suffix);
    if (!(this->*write)(path)) {
        Say(QStringLiteral("Cannot write %1.").arg(path));
    }
}

}  // namespace vrq::ui
