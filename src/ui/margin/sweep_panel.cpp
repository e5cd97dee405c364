#include "ui/margin/sweep_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QFontInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>

#include "board/firmware_text.h"
#include "margin/compare.h"
#include "margin/margin_text.h"
#include "ui/margin/compare_window.h"
#include "ui/margin/margin_controls.h"
#include "ui/margin/plot_view.h"
#include "ui/plot/plot_painter.h"

namespace vrq::ui {

namespace {

constexpr auto kLastMoment = std::chrono::milliseconds(2);
constexpr double kDefaultDwellSeconds = 1.0;
constexpr double kTargets[] = {1e-6, 1e-7, 1e-8, 1e-9, 1e-10, 1e-11, 1e-12};
constexpr double kConfidences[] = {0.90, 0.95, 0.99};

QString Letter(int channel) {
    return QString(QChar(device::ChannelLetter(channel)));
}

QString Letters(const std::vector<int>& channels) {
    QStringList letters;
    for (const int channel : channels) {
        letters << Letter(channel);
    }
    return letters.join(QStringLiteral(", "));
}

QString Hex(int gain) {
    return QStringLiteral("0x") + QString::number(gain, 16).toUpper();
}

}  // namespace

SweepPanel::SweepPanel(MarginShared& shared, QWidget* parent) : QWidget(parent), shared_(shared) {
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    cboChannel = new QComboBox(this);
    cboChannel->setObjectName(QStringLiteral("cboChannel"));
    for (int channel = 0; channel < device::kChannelCount; ++channel) {
        cboChannel->addItem(Letter(channel));
    }
    cboChannel->addItem(QStringLiteral("All with a clock (each selected by hand)"));
    cboMeasure = new QComboBox(this);
    cboMeasure->setObjectName(QStringLiteral("cboMeasure"));
    cboMeasure->addItems(
        {QStringLiteral("to a target bit error ratio"), QStringLiteral("for a fixed dwell")});
    cboTarget = new QComboBox(this);
    cboTarget->setObjectName(QStringLiteral("cboTarget"));
    for (const double target : kTargets) {
        cboTarget->addItem(Qs(margin::ScientificText(target, 0)), target);
    }
    cboTarget->setCurrentIndex(3);  // 1e-9, HDMI's
    cboConfidence = new QComboBox(this);
    cboConfidence->setObjectName(QStringLiteral("cboConfidence"));
    for (const double c : kConfidences) {
        cboConfidence->addItem(QStringLiteral("%1%").arg(c * 100.0), c);
    }
    cboConfidence->setCurrentIndex(1);
    spnDwell =
        SpinBox(this, QStringLiteral("spnDwell"), margin::kMinDwellSeconds,
                margin::kMaxDwellSeconds, kDefaultDwellSeconds, 0.1, 1, QStringLiteral(" s"));
    chkHysteresis =
        new QCheckBox(QStringLiteral("Also at each input hysteresis (off, 10 mV, 20 mV)"), this);
    chkHysteresis->setObjectName(QStringLiteral("chkHysteresis"));
    auto* target = new QHBoxLayout;
    target->addWidget(cboTarget);
    target->addWidget(new QLabel(QStringLiteral("with confidence"), this));
    target->addWidget(cboConfidence);
    form->addRow(QStringLiteral("Input channel"), cboChannel);
    form->addRow(QStringLiteral("Measure each point"), cboMeasure);
    form->addRow(QStringLiteral("Target bit error ratio"), target);
    form->addRow(QStringLiteral("Dwell per point"), spnDwell);
    form->addRow(QStringLiteral("Equalization gain 0x0 to 0xF"), chkHysteresis);
    top->addLayout(form);
    auto* labels = new QFormLayout;
    txtLabel = new QLineEdit(this);
    txtLabel->setObjectName(QStringLiteral("txtLabel"));
    txtLabel->setPlaceholderText(QStringLiteral("cable, fixture, board revision"));
    txtNote = new QLineEdit(this);
    txtNote->setObjectName(QStringLiteral("txtNote"));
    txtNote->setPlaceholderText(QStringLiteral("temperature, anything else"));
    labels->addRow(QStringLiteral("Label"), txtLabel);
    labels->addRow(QStringLiteral("Note"), txtNote);
    top->addLayout(labels, 1);
    layout->addLayout(top);

    lblPlan = new QLabel(this);
    lblPlan->setObjectName(QStringLiteral("lblPlan"));
    lblPlan->setWordWrap(true);
    layout->addWidget(lblPlan);

    auto* run = new QHBoxLayout;
    cmdSweepStart = Button(this, QStringLiteral("cmdSweepStart"), QStringLiteral("&Start sweep"));
    cmdSweepCancel = Button(this, QStringLiteral("cmdSweepCancel"), QStringLiteral("Cancel"));
    cmdSweepCancel->setEnabled(false);
    prgSweep = new QProgressBar(this);
    prgSweep->setObjectName(QStringLiteral("prgSweep"));
    prgSweep->setRange(0, 1);
    prgSweep->setValue(0);
    prgSweep->setFormat(QString());
    run->addWidget(cmdSweepStart);
    run->addWidget(cmdSweepCancel);
    run->addWidget(prgSweep, 1);
    layout->addLayout(run);

    lblSweepStatus = new QLabel(this);
    lblSweepStatus->setObjectName(QStringLiteral("lblSweepStatus"));
    lblSweepStatus->setWordWrap(true);
    layout->addWidget(lblSweepStatus);
    lblRecommendation = new QLabel(this);
    lblRecommendation->setObjectName(QStringLiteral("lblRecommendation"));
    lblRecommendation->setWordWrap(true);
    QFont big = lblRecommendation->font();
    big.setPointSizeF(big.pointSizeF() * 1.2);
    big.setBold(true);
    lblRecommendation->setFont(big);
    lblRecommendation->setContentsMargins(4, 6, 4, 6);
    layout->addWidget(lblRecommendation);
    lblVerify = new QLabel(this);
    lblVerify->setObjectName(QStringLiteral("lblVerify"));
    lblVerify->setWordWrap(true);
    lblVerify->setFont(big);
    layout->addWidget(lblVerify);

    auto* buttons = new QHBoxLayout;
    cmdApply = Button(this, QStringLiteral("cmdApply"), QStringLiteral("&Apply"));
    cmdVerify = Button(this, QStringLiteral("cmdVerify"), QStringLiteral("&Verify"));
    cmdExportReport =
        Button(this, QStringLiteral("cmdExportReport"), QStringLiteral("Export &Report..."));
    cmdExportCsv = Button(this, QStringLiteral("cmdExportCsv"), QStringLiteral("Export CSV..."));
    cmdExportPng = Button(this, QStringLiteral("cmdExportPng"), QStringLiteral("Export PNG..."));
    cmdCompare = Button(this, QStringLiteral("cmdCompare"), QStringLiteral("&Compare..."));
    for (QPushButton* b :
         {cmdApply, cmdVerify, cmdExportReport, cmdExportCsv, cmdExportPng, cmdCompare}) {
        buttons->addWidget(b);
    }
    buttons->addStretch();
    buttons->addWidget(new QLabel(QStringLiteral("Show channel"), this));
    cboResultChannel = new QComboBox(this);
    cboResultChannel->setObjectName(QStringLiteral("cboResultChannel"));
    buttons->addWidget(cboResultChannel);
    layout->addLayout(buttons);

    auto* split = new QSplitter(Qt::Vertical, this);
    auto* plots = new QSplitter(Qt::Horizontal, split);
    bathtub_ = new PlotView(QStringLiteral("plotBathtub"), QSize(560, 420), plots);
    map_ = new PlotView(QStringLiteral("plotHeatMap"), QSize(640, 300), plots);
    plots->addWidget(bathtub_);
    plots->addWidget(map_);
    split->addWidget(plots);
    tblSweep = Table(split, QStringLiteral("tblSweep"),
                     {{QStringLiteral("Gain"), QStringLiteral("0xF")},
                      {QStringLiteral("Hysteresis"), QStringLiteral("20 mV")},
                      {QStringLiteral("Link 0"), QStringLiteral("at least 255")},
                      {QStringLiteral("Link 1"), QStringLiteral("at least 255")},
                      {QStringLiteral("Link 2"), QStringLiteral("at least 255")},
                      {QStringLiteral("Seconds"), QStringLiteral("60.00")},
                      {QStringLiteral("Verdict"), QStringLiteral("not measured")},
                      {QStringLiteral("Bit error ratio (worst link)"), QString()}});
    split->addWidget(tblSweep);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    layout->addWidget(split, 1);

    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
    connect(cmdSweepStart, &QPushButton::clicked, this, [this] { Start(); });
    connect(cmdSweepCancel, &QPushButton::clicked, this, [this] { Cancel(); });
    connect(cmdApply, &QPushButton::clicked, this, [this] { Apply(); });
    connect(cmdVerify, &QPushButton::clicked, this, [this] { StartVerify(); });
    connect(cmdCompare, &QPushButton::clicked, this, [this] { Compare(); });
    auto exportTo = [this](const QString& caption, const QString& filter, const QString& suffix,
                           bool (SweepPanel::*write)(const QString&)) {
        QString path = shared_.choose.saveFile(caption, filter);
        if (path.isEmpty()) {
            return;
        }
        if (QFileInfo(path).suffix().isEmpty()) {
            path += "." + suffix;
        }
        if (!(this->*write)(path)) {
            shared_.Say(QStringLiteral("Cannot write %1.").arg(path));
        }
    };
    connect(cmdExportCsv, &QPushButton::clicked, this, [=] {
        exportTo(QStringLiteral("Export the sweep as CSV"), QStringLiteral("CSV files (*.csv)"),
                 QStringLiteral("csv"), &SweepPanel::ExportCsv);
    });
    connect(cmdExportPng, &QPushButton::clicked, this, [=] {
        exportTo(QStringLiteral("Export the plots as PNG"), QStringLiteral("PNG images (*.png)"),
                 QStringLiteral("png"), &SweepPanel::ExportPng);
    });
    connect(cmdExportReport, &QPushButton::clicked, this, [this] {
        const QString dir =
            shared_.choose.folder(QStringLiteral("Export the report into a folder"));
        std::string error;
        if (!dir.isEmpty() && !ExportReport(dir, error)) {
            shared_.Say(Sentence(error));
        } else if (!dir.isEmpty()) {
            lblSweepStatus->setText(QStringLiteral("Report written: %1/index.html").arg(dir));
        }
    });
    connect(cboResultChannel, &QComboBox::currentIndexChanged, this, [this] {
        rowsShown_ = -1;
        ShowResult();
    });
    for (QComboBox* box : {cboChannel, cboMeasure, cboTarget, cboConfidence}) {
        connect(box, &QComboBox::currentIndexChanged, this, [this] { UpdatePlan(); });
    }
    connect(spnDwell, &QDoubleSpinBox::valueChanged, this, [this] { UpdatePlan(); });
    connect(chkHysteresis, &QCheckBox::toggled, this, [this] { UpdatePlan(); });
    SetIdle(true);
}

SweepPanel::~SweepPanel() {
    if (sweeps_) {
        shared_.tap.RemoveListener(sweeps_.get());
    }
    if (verify_) {
        shared_.tap.RemoveListener(verify_.get());
    }
}

bool SweepPanel::Sweeping() const {
    return sweeps_ && sweeps_->CurrentState() == margin::ChannelSweeps::State::Running;
}

bool SweepPanel::Verifying() const {
    return verify_ && !verify_->Over();
}

margin::SweepSettings SweepPanel::SettingsFromControls() const {
    margin::SweepSettings settings;
    settings.channel = std::min(cboChannel->currentIndex(), device::kChannelCount - 1);
    settings.characterRateMHz = shared_.rateMHz();
    settings.crossHysteresis = chkHysteresis->isChecked();
    if (cboMeasure->currentIndex() == 1) {
        settings.dwell = std::chrono::duration_cast<board::Clock::Duration>(
            std::chrono::duration<double>(spnDwell->value()));
    } else {
        settings.targetBer = cboTarget->currentData().toDouble();
        settings.confidence = cboConfidence->currentData().toDouble();
    }
    return settings;
}

void SweepPanel::UpdatePlan() {
    const bool fixed = cboMeasure->currentIndex() == 1;
    spnDwell->setEnabled(fixed && !Sweeping());
    cboTarget->setEnabled(!fixed && !Sweeping());
    cboConfidence->setEnabled(!fixed && !Sweeping());
    const margin::SweepSettings settings = SettingsFromControls();
    const std::size_t points = margin::SweepPoints(settings.crossHysteresis, {}).size();
    QString plan = Qs(margin::SweepPlanText(settings, points));
    if (cboChannel->currentIndex() == kAllChannels) {
        margin::ChannelSweepSettings all{settings, {0, 1, 2, 3}, true};
        plan = QStringLiteral("Each channel with a clock in turn: ") +
               plan.mid(plan.indexOf(':') + 2) +
               QStringLiteral(" Four channels take at most %1.")
                   .arg(Qs(margin::DurationText(
                       std::chrono::duration<double>(margin::ChannelSweeps::LongestTime(all))
                           .count())));
    }
    lblPlan->setText(plan);
}

void SweepPanel::SetIdle(bool idle) {
    for (QWidget* control :
         std::initializer_list<QWidget*>{cboChannel, cboMeasure, chkHysteresis, cmdSweepStart,
                                         txtLabel, txtNote, cmdVerify, cmdCompare}) {
        control->setEnabled(idle);
    }
    cmdSweepCancel->setEnabled(!idle);
    const bool over = idle && sweeps_ && sweeps_->Over();
    const bool any = over && !sweeps_->Results().empty();
    cmdExportCsv->setEnabled(any);
    cmdExportPng->setEnabled(any);
    cmdExportReport->setEnabled(idle && (any || verify_));
    const bool multi = sweeps_ && sweeps_->Settings().channels.size() > 1;
    cmdApply->setEnabled(over &&
                         sweeps_->CurrentState() == margin::ChannelSweeps::State::Finished &&
                         sweeps_->Choose(multi).Complete());
    UpdatePlan();
}

bool SweepPanel::Refused(const margin::LinkState& state, int channel) {
    const margin::SweepObstacle obstacle = margin::CheckSweep(state, channel);
    if (obstacle == margin::SweepObstacle::None) {
        return false;
    }
    shared_.Say(Sentence(margin::ObstacleText(obstacle, state, channel)));
    return true;
}

void SweepPanel::Start() {
    if (busy_ || Sweeping() || Verifying()) {
        return;
    }
    if (shared_.beforeRun) {
        shared_.beforeRun();
    }
    const bool all = cboChannel->currentIndex() == kAllChannels;
    busy_ = true;
    const auto state = margin::ReadLinkState(shared_.registers);
    QString refused;
    std::vector<int> channels;
    if (!state) {
        refused = QStringLiteral("Not started: the chip did not answer.");
    } else if (all) {
        for (int channel = 0; channel < device::kChannelCount; ++channel) {
            if (state->ClockActive(channel)) {
                channels.push_back(channel);
            }
        }
        if (channels.empty()) {
            shared_.Say(
                Sentence("no channel shows a TMDS clock (register 0x01); " + margin::PrbsHint()));
            refused = QStringLiteral("Not started.");
        }
    } else if (Refused(*state, cboChannel->currentIndex())) {
        refused = QStringLiteral("Not started.");
    } else {
        channels = {cboChannel->currentIndex()};
    }
    if (refused.isEmpty() && !shared_.CheckerReady(*state, QStringLiteral("sweep"))) {
        refused = QStringLiteral("Not started: the PRBS checker is off.");
    }
    if (!refused.isEmpty()) {
        busy_ = false;
        lblSweepStatus->setText(refused);
        return;
    }
    report_ = {};
    report_.info = shared_.StartInfo(txtLabel->text().toStdString(), txtNote->text().toStdString());
    if (sweeps_) {
        shared_.tap.RemoveListener(sweeps_.get());
    }
    sweeps_.reset();
    runRegisters_ =
        std::make_unique<link::LinkRegisters>(shared_.link, false, shared_.link.I2CAddress());
    sweeps_ = std::make_unique<margin::ChannelSweeps>(
        *runRegisters_, shared_.link.TheClock(),
        margin::ChannelSweepSettings{SettingsFromControls(), channels, all});
    shared_.tap.AddListener(sweeps_.get());
    sweeps_->Start(*state);
    busy_ = false;

    rowsShown_ = -1;
    tblSweep->setRowCount(0);
    lblRecommendation->clear();
    lblVerify->clear();
    lblSweepStatus->setText(
        QStringLiteral("Sweeping channel%1 %2.")
            .arg(channels.size() > 1 ? QStringLiteral("s") : QString(), Letters(channels)));
    SetIdle(false);
    emit running(true);
    Tick();
}

void SweepPanel::Tick() {
    if (!Sweeping() && !Verifying()) {
        return;
    }
    if (busy_) {
        // Inside one of this window's own steps (a message of the link): try again shortly.
        timer_.start(10);
        return;
    }
    const bool sweeping = Sweeping();
    busy_ = true;
    board::Clock& clock = shared_.link.TheClock();
    auto advance = [&] { return sweeping ? sweeps_->Advance() : verify_->Advance(); };
    auto next = advance();
    // The timer wakes a little early rather than late; the last moment of a dwell is slept
    // here, far shorter than anything the user would notice.
    while (next && *next - clock.Now() <= kLastMoment) {
        clock.SleepUntil(*next);
        next = advance();
    }
    busy_ = false;
    if (!sweeping) {
        if (next) {
            Schedule(next);
        } else {
            VerifyEnded();
        }
        return;
    }
    Show();
    if (next) {
        Schedule(next);
    } else {
        Ended();
    }
}

void SweepPanel::Schedule(std::optional<board::Clock::TimePoint> next) {
    const auto left = *next - shared_.link.TheClock().Now();
    // Rounded down: the tick sleeps what is left (at most kLastMoment).
    const auto ms = std::chrono::floor<std::chrono::milliseconds>(left).count();
    timer_.start(static_cast<int>(std::max<long long>(0, ms)));
}

void SweepPanel::Cancel() {
    if (busy_ || (!Sweeping() && !Verifying())) {
        return;
    }
    timer_.stop();
    busy_ = true;
    if (Sweeping()) {
        sweeps_->Cancel();
        busy_ = false;
        Show();
        Ended();
    } else {
        verify_->Cancel();
        busy_ = false;
        VerifyEnded();
    }
}

void SweepPanel::Ended() {
    shared_.tap.RemoveListener(sweeps_.get());
    if (shared_.afterRun) {
        shared_.afterRun();
    }
    const auto& channels = sweeps_->Settings().channels;
    const bool multi = channels.size() > 1;
    report_.sweeps = sweeps_->Results();
    report_.failure = sweeps_->FailureText();
    report_.info.ended = margin::WallClockNow();
    report_.info.registersAfter = shared_.Snapshot();
    const QString whose =
        multi ? QStringLiteral("registers 0x02, 0x03, 0x07 and 0x08 hold")
              : QStringLiteral("channel %1's registers hold").arg(Letter(channels.front()));
    std::size_t planned = 0;
    for (const auto& result : report_.sweeps) {
        planned += result.plan.size();
    }
    switch (sweeps_->CurrentState()) {
        case margin::ChannelSweeps::State::Finished:
            report_.end = margin::RunEnd::Finished;
            if (multi) {
                report_.choice = sweeps_->Choose(true);
            }
            lblSweepStatus->setText(
                QStringLiteral("Finished: %1 points; %2 their values from before again.")
                    .arg(sweeps_->PointsDone())
                    .arg(whose));
            break;
        case margin::ChannelSweeps::State::Cancelled:
            report_.end = margin::RunEnd::Cancelled;
            lblSweepStatus->setText(
                QStringLiteral(
                    "Cancelled after %1 of %2 points; %3 their values from before again.")
                    .arg(sweeps_->PointsDone())
                    .arg(std::max(planned, sweeps_->PointsTotal()))
                    .arg(whose));
            break;
        default:
            report_.end = margin::RunEnd::Failed;
            lblSweepStatus->setText(QStringLiteral("Stopped: ") + Sentence(sweeps_->FailureText()));
            shared_.Say(
                QStringLiteral("The sweep stopped: %1").arg(Sentence(sweeps_->FailureText())));
            break;
    }
    if (!multi) {
        lblRecommendation->setText(report_.sweeps.empty()
                                       ? QStringLiteral("No recommendation: nothing was measured.")
                                       : Qs(margin::RecommendationText(report_.sweeps.front())));
    } else if (report_.end != margin::RunEnd::Finished) {
        lblRecommendation->setText(QStringLiteral("No recommendation: the sweep did not finish."));
    } else {
        const margin::ChannelChoice& choice = *report_.choice;
        QString text = choice.Complete()
                           ? QStringLiteral("Recommended for all channels: hysteresis %1")
                           : QStringLiteral(
                                 "No recommendation: no hysteresis has a "
                                 "passing setting on every channel. At %1");
        text = text.arg(QString::fromUtf8(device::HysteresisText(choice.hysteresis)));
        for (const auto& [channel, r] : choice.channels) {
            text +=
                QStringLiteral("; channel %1 ").arg(Letter(channel)) +
                (r ? QStringLiteral("gain %1, margin %2").arg(Hex(r->point.gain)).arg(r->Margin())
                   : QStringLiteral("none passed"));
        }
        lblRecommendation->setText(text + ".");
    }
    SetIdle(true);
    emit running(false);
}

void SweepPanel::Show() {
    const auto done = static_cast<int>(sweeps_->PointsDone());
    const auto total = static_cast<int>(std::max(sweeps_->PointsTotal(), sweeps_->PointsDone()));
    prgSweep->setRange(0, std::max(1, total));
    prgSweep->setValue(done);
    if (Sweeping()) {
        const double left = std::chrono::duration<double>(sweeps_->TimeLeft()).count();
        prgSweep->setFormat(QStringLiteral("%1 of %2 points, %3 left")
                                .arg(done)
                                .arg(total)
                                .arg(Qs(margin::DurationText(left))));
    } else {
        prgSweep->setFormat(QStringLiteral("%1 of %2 points").arg(done).arg(total));
    }
    ShowResult();
}

void SweepPanel::ShowResult() {
    if (!sweeps_) {
        return;
    }
    // The channels with something to show: those done, and the one under way.
    std::vector<const margin::SweepResult*> results;
    for (const margin::SweepResult& r : sweeps_->Results()) {
        results.push_back(&r);
    }
    if (const margin::SweepRun* current = sweeps_->Current()) {
        results.push_back(&current->Result());
    }
    if (cboResultChannel->count() != static_cast<int>(results.size())) {
        const QSignalBlocker quiet(cboResultChannel);
        const bool followLatest = cboResultChannel->currentIndex() + 1 >= cboResultChannel->count();
        cboResultChannel->clear();
        for (const auto* r : results) {
            cboResultChannel->addItem(Letter(r->settings.channel));
        }
        if (followLatest) {
            cboResultChannel->setCurrentIndex(cboResultChannel->count() - 1);
            rowsShown_ = -1;
        }
    }
    cboResultChannel->setEnabled(results.size() > 1);
    const int index = cboResultChannel->currentIndex();
    if (index < 0 || index >= static_cast<int>(results.size())) {
        return;
    }
    const margin::SweepResult& result = *results[static_cast<std::size_t>(index)];
    if (rowsShown_ < 0 || rowsShown_ > static_cast<int>(result.points.size())) {
        tblSweep->setRowCount(0);
        rowsShown_ = 0;
    }
    for (; rowsShown_ < static_cast<int>(result.points.size()); ++rowsShown_) {
        const margin::PointResult& point = result.points[static_cast<std::size_t>(rowsShown_)];
        QStringList cells{Hex(point.point.gain),
                          QString::fromUtf8(device::HysteresisText(point.point.hysteresis))};
        for (const margin::LinkCount& link : point.tally.links) {
            cells << Qs(margin::CountText(link.errors, link.atLeast));
        }
        cells << Qs(margin::FixedText(point.tally.seconds, 2))
              << Qs(margin::VerdictText(point.verdict)) << Qs(margin::BerText(point.figure));
        SetRow(tblSweep, rowsShown_, cells);
    }
    // A point measured once more is replaced in place: its row again.
    for (int row = 0; row < rowsShown_; ++row) {
        const margin::PointResult& point = result.points[static_cast<std::size_t>(row)];
        if (point.measurements > 1) {
            tblSweep->item(row, 6)->setText(Qs(margin::VerdictText(point.verdict)) +
                                            QStringLiteral(" (measured twice)"));
        }
    }
    if (rowsShown_ > 0) {
        tblSweep->scrollToItem(tblSweep->item(rowsShown_ - 1, 0));
    }
    const auto current = sweeps_->Current() && &sweeps_->Current()->Result() == &result
                             ? sweeps_->Current()->CurrentPoint()
                             : std::nullopt;
    auto bathtub = std::make_shared<margin::BathtubModel>(
        margin::BathtubOf(result, margin::BathtubCaption(result, report_.info)));
    auto map = std::make_shared<margin::HeatMapModel>(margin::HeatMapOf(
        result, margin::HeatMapCaption(result, report_.info), current ? &*current : nullptr));
    bathtub_->SetPaint(
        [bathtub](QPainter& p, const QRect& r) { plot::PaintBathtub(p, r, *bathtub); });
    map_->SetPaint([map](QPainter& p, const QRect& r) {
        // Its cells keep their size: narrower than that, the whole map is drawn smaller.
        const QSize natural = plot::HeatMapSize(*map, QFontInfo(p.font()).pixelSize());
        const double scale = std::min(1.0, static_cast<double>(r.width()) / natural.width());
        p.save();
        p.scale(scale, scale);
        plot::PaintHeatMap(p, QRect(0, 0, natural.width(), static_cast<int>(r.height() / scale)),
                           *map);
        p.restore();
    });
    bathtub_->SetHint(plot::BathtubSize(*bathtub, 11) * 3 / 4);
}

void SweepPanel::Apply() {
    if (busy_ || Sweeping() || !sweeps_ || !sweeps_->Over()) {
        return;
    }
    const bool multi = sweeps_->Settings().channels.size() > 1;
    const margin::ChannelChoice choice = sweeps_->Choose(multi);
    if (!choice.Complete()) {
        return;
    }
    busy_ = true;
    const bool applied = sweeps_->Apply(choice, multi);
    busy_ = false;
    report_.applied = report_.applied || applied;
    if (!applied) {
        lblSweepStatus->setText(QStringLiteral("Not applied: the chip did not answer."));
    } else if (!multi) {
        lblSweepStatus->setText(
            QStringLiteral("Applied %1 to channel %2.")
                .arg(Qs(margin::PointText(choice.channels.front().second->point)),
                     Letter(choice.channels.front().first)));
    } else {
        QStringList gains;
        for (const auto& [channel, r] : choice.channels) {
            gains << Letter(channel) + " " + Hex(r->point.gain);
        }
        lblSweepStatus->setText(
            QStringLiteral("Applied hysteresis %1 and gains %2.")
                .arg(QString::fromUtf8(device::HysteresisText(choice.hysteresis)),
                     gains.join(QStringLiteral(", "))));
    }
}

void SweepPanel::StartVerify() {
    if (busy_ || Sweeping() || Verifying()) {
        return;
    }
    if (shared_.beforeRun) {
        shared_.beforeRun();
    }
    busy_ = true;
    const auto state = margin::ReadLinkState(shared_.registers);
    const bool ready = state && !Refused(*state, state->Selected()) &&
                       shared_.CheckerReady(*state, QStringLiteral("verification"));
    busy_ = false;
    if (!ready) {
        lblVerify->setText(QStringLiteral("Not verified."));
        return;
    }
    const margin::SweepSettings sweep = SettingsFromControls();
    margin::VerifySettings settings;
    settings.channel = state->Selected();
    settings.characterRateMHz = sweep.characterRateMHz;
    settings.targetBer = sweep.Target();
    settings.confidence = sweep.confidence;
    if (verify_) {
        shared_.tap.RemoveListener(verify_.get());
    }
    verify_ =
        std::make_unique<margin::VerifyRun>(shared_.registers, shared_.link.TheClock(), settings);
    shared_.tap.AddListener(verify_.get());
    verify_->Start(*state);
    lblVerify->setStyleSheet(QString());
    lblVerify->setText(
        QStringLiteral("Verifying channel %1 at the settings in force, up to %2...")
            .arg(Letter(settings.channel), Qs(margin::DurationText(settings.LimitSeconds()))));
    SetIdle(false);
    emit running(true);
    Tick();
}

void SweepPanel::VerifyEnded() {
    shared_.tap.RemoveListener(verify_.get());
    if (shared_.afterRun) {
        shared_.afterRun();
    }
    const margin::VerifyResult& result = verify_->Result();
    report_.verify = result;
    report_.verifySettings = verify_->Settings();
    const bool pass = result.outcome == margin::VerifyResult::Outcome::Pass;
    lblVerify->setStyleSheet(pass ? QStringLiteral("color: #1d6b1d;")
                                  : QStringLiteral("color: #a01010;"));
    lblVerify->setText(Qs(margin::VerifyText(result, verify_->Settings())));
    SetIdle(true);
    emit running(false);
}

bool SweepPanel::ExportCsv(const QString& path) {
    if (!sweeps_) {
        return false;
    }
    std::string csv = margin::SweepCsvHeader();
    for (const margin::SweepResult& result : sweeps_->Results()) {
        csv += margin::SweepCsv(result).substr(margin::SweepCsvHeader().size());
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(csv.data(), static_cast<qint64>(csv.size())) ==
               static_cast<qint64>(csv.size());
}

bool SweepPanel::ExportPng(const QString& path) {
    const int index = cboResultChannel->currentIndex();
    if (!sweeps_ || index < 0 || index >= static_cast<int>(sweeps_->Results().size())) {
        return false;
    }
    // The bathtub above the map, each with its title, in one picture.
    const margin::SweepResult& result = sweeps_->Results()[static_cast<std::size_t>(index)];
    const QImage bathtub =
        plot::BathtubImage(margin::BathtubOf(result, margin::BathtubCaption(result, report_.info)));
    const QImage map =
        plot::HeatMapImage(margin::HeatMapOf(result, margin::HeatMapCaption(result, report_.info)));
    QImage both(std::max(bathtub.width(), map.width()), bathtub.height() + map.height(),
                QImage::Format_RGB32);
    both.fill(Qt::white);
    QPainter painter(&both);
    painter.drawImage(0, 0, bathtub);
    painter.drawImage(0, bathtub.height(), map);
    painter.end();
    return both.save(path, "PNG");
}

bool SweepPanel::ExportReport(const QString& dir, std::string& error) {
    if (report_.info.firmware.empty()) {
        if (const auto firmware = shared_.link.ReadFirmwareVersion()) {
            report_.info.firmware = board::FirmwareVersionText(*firmware, board::EnglishMonthName);
        }
    }
    plot::PngPainter painter;
    return margin::WriteReport(dir.toStdString(), report_, &painter, {}, error);
}

void SweepPanel::Compare() {
    const QStringList paths = shared_.choose.openFiles(
        QStringLiteral("Compare with saved runs (a report's run.json, or sweep --json output)"),
        QStringLiteral("Runs (*.json *.jsonl);;All files (*)"));
    if (paths.isEmpty()) {
        return;
    }
    std::vector<margin::SavedRun> runs;
    if (sweeps_ && !report_.sweeps.empty()) {
        runs.push_back(margin::SavedRunOf(
            report_, report_.info.label.empty() ? std::string("this run") : report_.info.label));
    }
    for (const QString& path : paths) {
        std::string error;
        auto run = margin::LoadRun(path.toStdString(), error);
        if (!run) {
            shared_.Say(Sentence(error));
            return;
        }
        runs.push_back(std::move(*run));
    }
    auto* window = new CompareWindow(std::move(runs), this);
    window->show();
}

void SweepPanel::ShowSelectedChannel() {
    std::optional<int> selected;
    if (const auto known = shared_.KnownState()) {
        selected = known->Selected();
    } else {
        // Quietly: opening the window is no reason for an address message.
        link::LinkRegisters quiet(shared_.link, true);
        std::uint8_t select = 0;
        if (quiet.Read(device::kRegChannelSelect, {&select, 1})) {
            selected = device::SelectedChannel(select);
        }
    }
    if (selected) {
        MarkSelected(*selected);
    }
}

void SweepPanel::MarkSelected(int selected) {
    for (int channel = 0; channel < device::kChannelCount; ++channel) {
        cboChannel->setItemText(
            channel, channel == selected ? Letter(channel) + " (selected)" : Letter(channel));
    }
    if (cboChannel->currentIndex() != kAllChannels) {
        cboChannel->setCurrentIndex(selected);
    }
}

}  // namespace vrq::ui
